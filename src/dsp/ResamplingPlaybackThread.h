#pragma once

#include <cstdint>

namespace quoril {

class CdDescriptor;

// The playback thread for a disc whose rate differs from the device rate: the same wake
// protocol, commands and messages as PlaybackThread, but the disc's frames go through
// libsamplerate (theResampler) at outputRate / sampleRate, and volume and phase are applied to
// the converted frames with symmetric clipping. Runs on its own thread.
void ResamplingPlaybackThread(CdDescriptor* cd) noexcept;

// I, the disc frames converted per call for blocks of n frames:
// floor(sampleRate * (n / outputRate) + 1), made even.
int32_t ResamplerInputFrames(double sampleRate, double outputRate, int32_t n) noexcept;

}  // namespace quoril
