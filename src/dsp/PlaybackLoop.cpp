#include "dsp/PlaybackLoop.h"

#include "asio/AsioHost.h"
#include "dsp/PlaybackShared.h"
#include "platform/NamedEvent.h"

namespace quoril {

namespace {

void endThread() noexcept {
    theTransport.playing.store(0);
    theTransport.threadRunning.store(false);
}

}  // namespace

void PlaybackLoop::run() noexcept {
    TransportState& t = theTransport;
    const int32_t n = t.blockFrames;
    NamedEvent* event = t.dspEvent.load();
    t.playing.store(0);
    t.threadRunning.store(true);

    int block = 0;
    bool requestSeen = false;
    bool woken = event != nullptr && event->wait();
    while (woken) {
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
                release();
                playback::log(
                    request == ReqSettingsChanged
                        ? "ASIO buffer settings (Rate or Latency) have changed. Please restart player.\r\n"
                        : "ASIO driver requested a Reset. Please restart player.\r\n");
                endThread();
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
                if (canPlay()) {
                    t.playing.store(1);
                }
                break;
            case CmdHalt:
                playback::zeroBothBlocks(n);
                t.playing.store(0);
                halt();
                break;
            case CmdQuit:
                playback::zeroBothBlocks(n);
                release();
                endThread();
                return;
            case CmdStart:
                t.playing.store(0);
                if (!start(n)) {
                    release();
                    endThread();
                    return;
                }
                break;
            default:
                break;
        }

        if (t.playing.load() == 1 && !fill(block)) {
            playback::zeroBothBlocks(n);
            release();
            endThread();
            return;
        }
        t.wakesHandled.fetch_add(1);
        woken = event->wait();
    }

    playback::zeroBothBlocks(n);
    release();
    playback::log("\r\nPlayback ended.");
    endThread();
}

}  // namespace quoril
