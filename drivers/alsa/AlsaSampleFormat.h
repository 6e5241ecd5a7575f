#pragma once

#include <alsa/asoundlib.h>

#include <cstdint>

namespace quoril {

// The hardware sample formats the ALSA driver writes. The host always hands over 32-bit integers;
// a device that takes fewer bits gets the top bits of each sample, which for 16- and 24-bit
// content at 0 dB are all the bits there are, so nothing is lost and nothing is rounded.
enum class AlsaSampleFormat {
    S32LE,    // 4 bytes, passed unchanged
    S24LE,    // 4 bytes, the value in the low 24 bits, sign-extended
    S24_3LE,  // 3 bytes, packed
    S16LE,    // 2 bytes
};

// The order in which the driver asks a device for a format: the widest first.
inline constexpr AlsaSampleFormat kAlsaFormatPreference[] = {
    AlsaSampleFormat::S32LE, AlsaSampleFormat::S24LE, AlsaSampleFormat::S24_3LE, AlsaSampleFormat::S16LE};

// ALSA's own name of the format ("S24_3LE").
const char* alsaFormatName(AlsaSampleFormat format);
snd_pcm_format_t alsaFormatCode(AlsaSampleFormat format);
int alsaBytesPerSample(AlsaSampleFormat format);

// Builds one interleaved device period of `frames` frames and `channels` channels in `out`
// (frames × channels × alsaBytesPerSample(format) bytes). sources[c] is channel c's 32-bit
// samples, or null for a channel that plays silence. Runs on the driver thread: no allocation.
void interleaveFrames(const int32_t* const* sources, int channels, long frames, AlsaSampleFormat format,
                      uint8_t* out) noexcept;

}  // namespace quoril
