#include "dsp/BufferCallbacks.h"

#include <chrono>
#include <thread>

#include "asio/AsioDriverList.h"
#include "asio/AsioHost.h"
#include "asio/AsioSession.h"
#include "dsp/BlockFill.h"
#include "dsp/TransportState.h"

namespace quoril {

namespace {

// After a reset or change notice the driver's thread pauses, so that the driver does not
// hammer the host with more notices while the playback thread winds down.
void pauseAfterNotice() noexcept {
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
}

void requestAndSignal(DeviceRequest request) noexcept {
    theTransport.deviceRequest.store(request);
    theTransport.signal();
}

}  // namespace

void bufferSwitch(long doubleBufferIndex, ASIOBool) noexcept {
    TransportState& t = theTransport;
    const DriverInfo& info = driverInfo();
    const long b = info.preferredSize;
    const int32_t n = t.blockFrames;
    const long half = doubleBufferIndex & 1;
    auto* left = static_cast<int32_t*>(info.bufferInfos[0].buffers[half]);
    auto* right = static_cast<int32_t*>(info.bufferInfos[1].buffers[half]);
    const uint16_t blockIndex = t.deviceBlockIndex.load(std::memory_order_relaxed) & 1;
    int32_t offset = t.deviceBlockOffset.load(std::memory_order_relaxed);
    const int32_t* block = t.dspBlocks[blockIndex];
    if (b <= 0 || n <= 0 || block == nullptr || left == nullptr || right == nullptr || offset + b > n ||
        !info.outputsAreInt32) {
        return;  // no session set up (or torn down): nothing to hand over
    }

    if (offset == 0) {
        // Take the block only when the playback thread has finished it (acquire: its words are
        // complete). Otherwise this pass is silence, never a block caught while it is rewritten.
        uint8_t expected = BlockReady;
        const bool ready = t.blockState[blockIndex].compare_exchange_strong(
            expected, BlockPresenting, std::memory_order_acq_rel, std::memory_order_acquire);
        t.silentPass.store(!ready, std::memory_order_relaxed);
        if (!ready && t.playing.load(std::memory_order_relaxed) == 1) {
            t.lateBlocks.fetch_add(1, std::memory_order_relaxed);
        }
    }
    const bool silent = t.silentPass.load(std::memory_order_relaxed);

    if (silent) {
        for (long i = 0; i < b; ++i) {
            left[i] = 0;
            right[i] = 0;
        }
    } else {
        const int32_t* source = block + 2 * static_cast<long>(offset);
        for (long i = 0; i < b; ++i) {
            left[i] = loadWord(source + 2 * i);
            right[i] = loadWord(source + 2 * i + 1);
        }
    }
    offset += static_cast<int32_t>(b);

    if (info.postOutput && theAsioDriver.load() != nullptr) {
        ASIOOutputReady();
    }

    if (offset < n) {
        t.deviceBlockOffset.store(offset, std::memory_order_relaxed);
        return;
    }
    t.deviceBlockOffset.store(0, std::memory_order_relaxed);
    if (silent) {
        return;  // the late block is played once it is Ready: stay on it
    }
    // The index first, so that a playback thread which sees the request also sees where the
    // callbacks went next, and fills that block first if both wait.
    t.deviceBlockIndex.store(blockIndex ^ 1, std::memory_order_release);
    t.blockState[blockIndex].store(BlockRequested, std::memory_order_release);
    if (!t.signal()) {
        ASIOStop();
    }
}

ASIOTime* bufferSwitchTimeInfo(ASIOTime*, long doubleBufferIndex, ASIOBool directProcess) noexcept {
    bufferSwitch(doubleBufferIndex, directProcess);
    return nullptr;
}

void sampleRateDidChange(ASIOSampleRate sRate) noexcept {
    // Not equal also when the two cannot be compared (NaN).
    if (!(sRate == driverInfo().requestedRate)) {
        requestAndSignal(ReqSettingsChanged);
        pauseAfterNotice();
    }
}

long asioMessage(long selector, long value, void*, double*) noexcept {
    switch (selector) {
        case kAsioSelectorSupported:
            switch (value) {
                case kAsioEngineVersion:
                case kAsioResetRequest:
                case kAsioBufferSizeChange:
                case kAsioResyncRequest:
                case kAsioLatenciesChanged:
                case kAsioSupportsTimeInfo:
                case kAsioSupportsTimeCode:
                case kAsioSupportsInputMonitor:
                    return 1;
                default:
                    return 0;
            }
        case kAsioEngineVersion:
            return 2;
        case kAsioResetRequest:
        case kAsioResyncRequest:
            requestAndSignal(ReqDriverReset);
            pauseAfterNotice();
            return 1;
        case kAsioBufferSizeChange:
            requestAndSignal(ReqSettingsChanged);
            pauseAfterNotice();
            return 1;
        default:
            return 0;
    }
}

ASIOCallbacks dspCallbacks() noexcept {
    ASIOCallbacks callbacks{};
    callbacks.bufferSwitch = bufferSwitch;
    callbacks.sampleRateDidChange = sampleRateDidChange;
    callbacks.asioMessage = asioMessage;
    callbacks.bufferSwitchTimeInfo = bufferSwitchTimeInfo;
    return callbacks;
}

}  // namespace quoril
