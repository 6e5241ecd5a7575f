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

bool PlaybackLoop::serveBlocks() noexcept {
    TransportState& t = theTransport;
    // The block the callbacks are on first: when both wait, that is the one they play next.
    const int current = t.deviceBlockIndex.load(std::memory_order_acquire) & 1;
    for (int block : {current, current ^ 1}) {
        if (t.blockState[block].load(std::memory_order_acquire) != BlockRequested) {
            continue;
        }
        if (t.playing.load() == 1) {
            t.blockState[block].store(BlockFilling, std::memory_order_relaxed);
            if (!fill(block)) {
                return false;
            }
        }
        // Halted, the block already holds the zeros a halt wrote; otherwise the next frames.
        t.blockState[block].store(BlockReady, std::memory_order_release);
    }
    return true;
}

void PlaybackLoop::claimNextBlock() noexcept {
    TransportState& t = theTransport;
    const int next = (t.deviceBlockIndex.load(std::memory_order_acquire) & 1) ^ 1;
    uint8_t expected = BlockReady;
    // Fails when the callbacks have already begun it: then the disc starts one block later,
    // with the block they give back next. Either way serveBlocks does the filling.
    t.blockState[next].compare_exchange_strong(expected, BlockRequested, std::memory_order_acq_rel,
                                               std::memory_order_acquire);
}

void PlaybackLoop::run() noexcept {
    TransportState& t = theTransport;
    const int32_t n = t.blockFrames;
    NamedEvent* event = t.dspEvent.load();
    t.playing.store(0);
    t.threadRunning.store(true);

    bool woken = event != nullptr && event->wait();
    while (woken) {
        int16_t request = t.deviceRequest.exchange(ReqNone);
        int16_t command = t.transportCommand.exchange(CmdNone);

        if (request == ReqDriverReset || request == ReqSettingsChanged) {
            ASIOStop();
            playback::zeroBothBlocks(n);
            release();
            playback::log(
                request == ReqSettingsChanged
                    ? "ASIO buffer settings (Rate or Latency) have changed. Please restart player.\r\n"
                    : "ASIO driver requested a Reset. Please restart player.\r\n");
            endThread();
            return;
        }

        switch (command) {
            case CmdPlay:
                if (canPlay() && t.playing.load() != 1) {
                    t.playing.store(1);
                    // The block the driver comes to next holds silence: fill it now, so that the
                    // disc starts at the next block boundary without a gap.
                    claimNextBlock();
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

        if (!serveBlocks()) {
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
