#include "dsp/PlaybackThread.h"

#include "asio/AsioHost.h"
#include "dsp/PlaybackShared.h"
#include "platform/NamedEvent.h"

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

}  // namespace

void PlaybackThread(CdDescriptor* cd) noexcept {
    TransportState& t = theTransport;
    const int32_t n = t.blockFrames;
    NamedEvent* event = t.dspEvent.load();
    t.playing.store(0);
    t.threadRunning.store(true);

    int block = 0;
    bool requestSeen = false;
    bool woken = event != nullptr && event->wait();
    while (woken) {
        // Taken with an exchange: a request or command written from here on stays for the next
        // wake, which its signal guarantees.
        int16_t request = t.deviceRequest.exchange(ReqNone);
        int16_t command = t.transportCommand.exchange(CmdNone);

        switch (request) {
            case ReqFillBlock0:
                block = 0;
                requestSeen = true;
                break;
            case ReqFillBlock1:
                block = 1;
                requestSeen = true;
                break;
            case ReqDriverReset:
            case ReqSettingsChanged:
                ASIOStop();
                playback::zeroBothBlocks(n);
                playback::log(
                    request == ReqSettingsChanged
                        ? "ASIO buffer settings (Rate or Latency) have changed. Please restart player.\r\n"
                        : "ASIO driver requested a Reset. Please restart player.\r\n");
                t.playing.store(0);
                t.threadRunning.store(false);
                return;
            default:
                break;
        }

        switch (command) {
            case CmdPlay:
                if (!requestSeen) {
                    // No block has been asked for yet: fill the one the driver comes to next,
                    // so that the disc starts with its first frame and without a gap.
                    block = playback::blockAfterCurrent();
                }
                t.playing.store(1);
                break;
            case CmdHalt:
                playback::zeroBothBlocks(n);
                t.playing.store(0);
                break;
            case CmdQuit:
                playback::zeroBothBlocks(n);
                t.playing.store(0);
                t.threadRunning.store(false);
                return;
            case CmdStart:
                t.playing.store(0);
                playback::log("Playback starting (SRC upsampling is bypassed)...\r\n\r\n");
                break;
            default:
                break;
        }

        if (t.playing.load() == 1 && cd != nullptr) {
            fillOneBlock(*cd, block, n);
            playback::refillDone(block);
        }
        t.wakesHandled.fetch_add(1);
        woken = event->wait();
    }

    playback::zeroBothBlocks(n);
    playback::log("\r\nPlayback ended.");
    t.playing.store(0);
    t.threadRunning.store(false);
}

}  // namespace quoril
