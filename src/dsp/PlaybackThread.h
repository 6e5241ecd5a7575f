#pragma once

namespace quoril {

class CdDescriptor;

// The playback thread for a disc at the device rate: on each wake it takes the device request
// and the transport command from theTransport and, while playing, fills the requested DSP block
// with the next N frames of the disc as 32-bit words with volume and phase applied. Ends on
// CmdQuit, a driver reset or changed settings, or when the event is closed. Runs on its own
// thread (started by DspEngine::StartThread); tests may run it on a thread of their own.
void PlaybackThread(CdDescriptor* cd) noexcept;

}  // namespace quoril
