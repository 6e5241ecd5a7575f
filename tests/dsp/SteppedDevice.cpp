#include "SteppedDevice.h"

#include "asio/AsioSession.h"
#include "dsp/BufferCallbacks.h"

namespace quoril::test {

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
    auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

SteppedDevice::SteppedDevice(int32_t bufferFrames, int32_t blockFrames, double outputRate)
    : m_bufferFrames(bufferFrames), m_blockFrames(blockFrames) {
    TransportState& t = theTransport;
    t.reset();
    m_blocks[0].assign(2 * static_cast<size_t>(blockFrames), 0);
    m_blocks[1].assign(2 * static_cast<size_t>(blockFrames), 0);
    t.blockFrames = blockFrames;
    t.dspBlocks[0] = m_blocks[0].data();
    t.dspBlocks[1] = m_blocks[1].data();
    t.dspEvent.store(&m_event);
    t.logTarget.store(&m_log);
    t.outputRate.store(outputRate);

    DriverInfo& info = driverInfo();
    info.preferredSize = bufferFrames;
    info.postOutput = false;
    info.outputsAreInt32 = true;
    info.requestedRate = outputRate;
    for (int channel = 0; channel < 2; ++channel) {
        for (int half = 0; half < 2; ++half) {
            m_outputs[channel][half].assign(static_cast<size_t>(bufferFrames), 0);
            info.bufferInfos[channel].buffers[half] = m_outputs[channel][half].data();
        }
    }

    DiagnosticsLog bindLog;
    if (m_resampler.load("", bindLog)) {
        theResampler = &m_resampler;
    }
}

SteppedDevice::~SteppedDevice() {
    TransportState& t = theTransport;
    if (m_thread.joinable()) {
        if (t.threadRunning.load()) {
            t.post(CmdQuit);
            waitUntil([&] { return !t.threadRunning.load(); }, std::chrono::seconds(5));
        }
        m_event.close();
        m_thread.join();
    }
    DriverInfo& info = driverInfo();
    for (auto& entry : info.bufferInfos) {
        entry.buffers[0] = entry.buffers[1] = nullptr;
    }
    info.preferredSize = 0;
    info.outputsAreInt32 = false;
    theResampler = nullptr;
    t.dspEvent.store(nullptr);
    t.logTarget.store(nullptr);
    t.dspBlocks[0] = t.dspBlocks[1] = nullptr;
    t.blockFrames = 0;
    t.reset();
}

bool SteppedDevice::start(void (*procedure)(CdDescriptor*) noexcept, CdDescriptor* cd) {
    m_thread = std::thread(procedure, cd);
    return waitUntil([] { return theTransport.threadRunning.load(); });
}

bool SteppedDevice::command(TransportCommand command) {
    TransportState& t = theTransport;
    uint32_t before = t.wakesHandled.load();
    t.post(command);
    if (command == CmdQuit) {
        return waitForEnd();
    }
    return waitUntil([&] { return t.wakesHandled.load() != before || !t.threadRunning.load(); });
}

bool SteppedDevice::request(DeviceRequest request) {
    theTransport.deviceRequest.store(request);
    theTransport.signal();
    return waitForEnd();
}

bool SteppedDevice::playBuffer() {
    TransportState& t = theTransport;
    uint32_t before = t.wakesHandled.load();
    bufferSwitch(m_half, ASIOTrue);
    for (int32_t i = 0; i < m_bufferFrames; ++i) {
        m_played.push_back(m_outputs[0][m_half][i]);
        m_played.push_back(m_outputs[1][m_half][i]);
    }
    m_half ^= 1;
    if (t.deviceBlockOffset.load() != 0 || !t.threadRunning.load()) {
        return true;
    }
    // The switch used up a block and asked for its refill.
    return waitUntil([&] { return t.wakesHandled.load() != before || !t.threadRunning.load(); });
}

bool SteppedDevice::playBlocks(int blocks) {
    for (int32_t i = 0; i < blocks * (m_blockFrames / m_bufferFrames); ++i) {
        if (!playBuffer()) {
            return false;
        }
    }
    return true;
}

bool SteppedDevice::waitForEnd() {
    bool ended = waitUntil([] { return !theTransport.threadRunning.load(); });
    if (ended && m_thread.joinable()) {
        m_thread.join();
    }
    return ended;
}

}  // namespace quoril::test
