#pragma once

#include "asio/Asio.h"

namespace quoril {

// The four host callbacks the driver calls on its own thread while the device session runs.
// They reach the open device through driverInfo() and the DSP blocks through theTransport.
// The buffer switches only copy one device buffer out of the current DSP block and, once per
// block, give the block just used up back to the playback thread; they never lock, allocate or
// wait. Reset and change notices only set a request and then pause (the one wait allowed on a
// driver's thread, so that the driver does not flood the host); the playback thread ends the
// session.

// Copies the next B frames of the current DSP block into half `doubleBufferIndex` of the left
// and right output buffers; after N / B switches moves to the other block and requests a refill.
// A block that is not Ready when its first buffer is due plays as N frames of silence (counted
// late while playing), after which the callbacks try the same block again.
void bufferSwitch(long doubleBufferIndex, ASIOBool directProcess) noexcept;
// The same work as bufferSwitch; returns null (no time information).
ASIOTime* bufferSwitchTimeInfo(ASIOTime* params, long doubleBufferIndex, ASIOBool directProcess) noexcept;
// A rate other than the session's requested rate asks the playback thread to end.
void sampleRateDidChange(ASIOSampleRate sRate) noexcept;
// Answers the driver's questions and turns reset, resync and buffer-size notices into requests.
long asioMessage(long selector, long value, void* message, double* opt) noexcept;

// The record handed to the driver with these four functions, in their published order.
ASIOCallbacks dspCallbacks() noexcept;

}  // namespace quoril
