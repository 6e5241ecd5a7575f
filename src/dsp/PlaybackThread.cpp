#include "dsp/PlaybackThread.h"

#include "dsp/PlaybackLoop.h"
#include "dsp/PlaybackShared.h"

namespace quoril {

namespace {

// Fills block `block` with the next n frames and moves the position on.
void fillOneBlock(const CdDescriptor& cd, int block, int32_t n) noexcept {
    TransportState& t = theTransport;
    bool sixteenBit = cd.bitsPerSample == 16.0;
    double gain = directGain(t.volumeDb.load(), t.phaseSign.load(), cd.bitsPerSample);

    uint64_t word = t.readPosition();
    int32_t p = playback::clampedPosition(word, cd.frameCount);
    const uint8_t* start = cd.audioData + static_cast<int64_t>(p) * cd.blockAlign;
    fillBlock(start, playback::storeLimit(cd), sixteenBit, cd.blockAlign, gain, t.dspBlocks[block], n);

    int64_t q = static_cast<int64_t>(p) + n;
    if (static_cast<double>(q) < cd.frameCount) {
        // A seek written during the fill wins over the advance.
        if (t.advancePosition(word, static_cast<int32_t>(q))) {
            playback::keepPositionForHalt(word, p, static_cast<int32_t>(q));
        }
        return;
    }
    bool repeat = t.repeatAtEnd.load();
    if (!t.advancePosition(word, repeat ? 0 : static_cast<int32_t>(cd.frameCount))) {
        return;  // the window moved the position while the last block was being filled
    }
    if (repeat) {
        // The frames past the end came from the zero tail: the disc restarts after that silence.
        playback::log("\tWav processed. Repeating...\r\n");
    } else {
        t.playing.store(0);
        playback::zeroBothBlocks(n);
        playback::log("\tWav processed.\r\n");
    }
}

// The direct path: the disc's frames at the device rate, straight into the block.
class DirectPath final : public PlaybackLoop {
  public:
    explicit DirectPath(CdDescriptor* cd) noexcept : m_cd(cd) {}

  private:
    bool start(int32_t) noexcept override {
        playback::log("Playback starting (SRC upsampling is bypassed)...\r\n\r\n");
        return true;
    }
    bool canPlay() const noexcept override { return true; }
    void halt() noexcept override {}
    bool fill(int block) noexcept override {
        if (m_cd != nullptr) {
            fillOneBlock(*m_cd, block, theTransport.blockFrames);
        }
        return true;
    }
    void release() noexcept override {}

    CdDescriptor* m_cd;
};

}  // namespace

void PlaybackThread(CdDescriptor* cd) noexcept {
    DirectPath path(cd);
    path.run();
}

}  // namespace quoril
