#pragma once

#include <cstddef>
#include <string>

#include "DiscAudio.h"

namespace quoril::demo {

// How a capture of the player's output compares with the disc it played.
//
// The capture begins with the silence the driver plays before the RAM load has finished, then
// holds the disc, every sample shifted into the top bits of a 32-bit word, and ends in silence.
// At the end of a disc that does not repeat, the player silences the blocks it had already handed
// to the driver, so the last few blocks of the disc are not heard: those frames must be silent in
// the capture, and there may be at most maxUnheardFrames of them.
struct CaptureComparison {
    bool matches = false;
    size_t discFrames = 0;
    size_t captureFrames = 0;
    size_t leadingFrames = 0;  // silence before the disc's first frame
    size_t matchedFrames = 0;  // disc frames found bit for bit in the capture
    size_t unheardFrames = 0;  // disc frames at the end that fell silent
    std::string explanation;   // one line; where they differ when they do
};

CaptureComparison compareCapture(const DiscAudio& disc, const DiscAudio& capture, size_t maxUnheardFrames);

// "m:ss.mmm" for a frame count at a rate.
std::string frameTime(size_t frames, unsigned rate);

}  // namespace quoril::demo
