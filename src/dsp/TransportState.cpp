#include "dsp/TransportState.h"

#include "platform/NamedEvent.h"

namespace quoril {

TransportState theTransport;

void TransportState::setPosition(int32_t frame) noexcept {
    uint64_t old = positionWord.load();
    // The generation in the high half changes with every outside write, even to the same frame.
    while (!positionWord.compare_exchange_weak(old, advancedWord(old + (uint64_t{1} << 32), frame))) {
    }
}

bool TransportState::advancePosition(uint64_t from, int32_t to) noexcept {
    return positionWord.compare_exchange_strong(from, advancedWord(from, to));
}

bool TransportState::signal() noexcept {
    NamedEvent* event = dspEvent.load();
    if (event == nullptr || event->closed()) {
        return false;
    }
    event->signal();
    return true;
}

void TransportState::post(TransportCommand command) noexcept {
    transportCommand.store(command);
    signal();
}

void TransportState::reset() noexcept {
    volumeDb.store(0.0);
    phaseSign.store(1);
    repeatAtEnd.store(true);
    converterType.store(0);
    playing.store(0);
    deviceRequest.store(ReqNone);
    transportCommand.store(CmdNone);
    threadRunning.store(false);
    positionWord.store(0);
    logTarget.store(nullptr);
    outputRate.store(0.0);
    deviceBlockIndex.store(0);
    deviceBlockOffset.store(0);
    blockState[0].store(BlockReady);
    blockState[1].store(BlockReady);
    silentPass.store(false);
    logQueue.clear();
    lateBlocks.store(0);
    wakesHandled.store(0);
}

}  // namespace quoril
