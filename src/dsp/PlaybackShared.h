#pragma once

#include <cstdint>

#include "content/CdDescriptor.h"
#include "dsp/BlockFill.h"
#include "dsp/TransportState.h"

namespace quoril::playback {

// Pieces both playback threads use; playback thread only.

// Queues a line for the window thread, which appends it to the session's log. The text must
// live as long as the program (a literal or a library's static message): no copy is made.
inline void log(const char* line) noexcept {
    theTransport.logQueue.push(line);
}

inline void zeroBothBlocks(int32_t frames) noexcept {
    for (int32_t* block : theTransport.dspBlocks) {
        if (block != nullptr) {
            zeroBlock(block, frames);
        }
    }
}

// The end of the readable store: the whole mapping when the disc knows it, else the audio
// followed by its zero tail.
inline const uint8_t* storeLimit(const CdDescriptor& cd) noexcept {
    if (cd.storeBytes() > 0 && cd.storeStart() != nullptr) {
        return cd.storeStart() + cd.storeBytes();
    }
    auto audioBytes = static_cast<int64_t>(cd.frameCount) * cd.blockAlign;
    return cd.audioData + audioBytes + CdDescriptor::kTailBytes;
}

// The position to read from, kept within 0 ... frameCount so a stray seek cannot read outside
// the store.
inline int32_t clampedPosition(uint64_t word, double frameCount) noexcept {
    int32_t p = TransportState::framesOf(word);
    if (p < 0) {
        return 0;
    }
    if (static_cast<double>(p) > frameCount) {
        return static_cast<int32_t>(frameCount);
    }
    return p;
}

// After moving the position from p to q for a block that a halt, posted meanwhile, will
// silence: moves it back to p, so that Stop (halt, then rewind) cannot be undone by a fill
// that read the rewound position just before the halt was taken, and a pause resumes with
// the frames that were never heard. Leaves any other outside write alone.
inline void keepPositionForHalt(uint64_t word, int32_t p, int32_t q) noexcept {
    if (theTransport.transportCommand.load() == CmdHalt) {
        theTransport.advancePosition(TransportState::advancedWord(word, q), p);
    }
}

}  // namespace quoril::playback
