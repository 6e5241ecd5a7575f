#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "app/DiagnosticsLog.h"
#include "asio/AsioSession.h"
#include "dsp/BufferCallbacks.h"
#include "dsp/ResamplerLibrary.h"
#include "dsp/TransportState.h"
#include "platform/NamedEvent.h"

namespace quoril {
class CdDescriptor;
}

namespace quoril::test {

// Waits until condition() holds, at most until the deadline. True when it held.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
    auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// theTransport and the device record set up as the engine sets them, without a driver: two DSP
// blocks of n frames, the event, a log, the system's resampler, and left and right output
// buffers of b frames for the callbacks. A test plays the driver itself (switchBuffer) or runs a
// playback thread and wakes it step by step (wake). Everything is put back when it goes.
class DspHarness {
  public:
    DspHarness(int32_t b, int32_t n, double rate) : m_b(b) {
        TransportState& t = theTransport;
        t.reset();
        for (int k = 0; k < 2; ++k) {
            m_blocks[k].assign(2 * static_cast<size_t>(n), 0);
            t.dspBlocks[k] = m_blocks[k].data();
            for (int half = 0; half < 2; ++half) {
                m_outputs[k][half].assign(static_cast<size_t>(b), 0);
                driverInfo().bufferInfos[k].buffers[half] = m_outputs[k][half].data();
            }
        }
        t.blockFrames = n;
        t.dspEvent.store(&event);
        t.logTarget.store(&m_log);
        t.outputRate.store(rate);
        driverInfo().preferredSize = b;
        driverInfo().outputsAreInt32 = true;
        driverInfo().requestedRate = rate;
        DiagnosticsLog bindLog;
        theResampler = m_resampler.load("", bindLog) ? &m_resampler : nullptr;
    }
    ~DspHarness() {
        if (m_thread.joinable()) {
            theTransport.post(CmdQuit);
            waitUntil([] { return !theTransport.threadRunning.load(); });
            event.close();
            m_thread.join();
        }
        for (auto& entry : driverInfo().bufferInfos) {
            entry.buffers[0] = entry.buffers[1] = nullptr;
        }
        driverInfo().outputsAreInt32 = false;
        theResampler = nullptr;
        theTransport.reset();
        theTransport.dspEvent.store(nullptr);
        theTransport.logTarget.store(nullptr);
        theTransport.dspBlocks[0] = theTransport.dspBlocks[1] = nullptr;
    }

    // Runs the playback procedure on a thread of its own; true once it waits for its first wake.
    bool start(void (*procedure)(CdDescriptor*) noexcept, CdDescriptor* cd) {
        m_thread = std::thread(procedure, cd);
        return waitUntil([] { return theTransport.threadRunning.load(); });
    }
    // Stores a device request and a command, signals, and waits until the thread has handled
    // the wake or ended.
    bool wake(int16_t request, int16_t command = CmdNone) {
        uint32_t before = theTransport.wakesHandled.load();
        theTransport.deviceRequest.store(request);
        theTransport.post(static_cast<TransportCommand>(command));
        return waitUntil([&] { return theTransport.wakesHandled.load() != before || !running(); });
    }
    bool waitForEnd() {
        bool ended = waitUntil([this] { return !running(); });
        if (ended && m_thread.joinable()) {
            m_thread.join();
        }
        return ended;
    }
    // One buffer switch; the interleaved words the driver got.
    std::vector<int32_t> switchBuffer(bool timeInfo = false) {
        if (timeInfo) {
            bufferSwitchTimeInfo(nullptr, m_half, ASIOFalse);
        } else {
            bufferSwitch(m_half, ASIOTrue);
        }
        std::vector<int32_t> words;
        for (int32_t i = 0; i < m_b; ++i) {
            words.push_back(m_outputs[0][m_half][i]);
            words.push_back(m_outputs[1][m_half][i]);
        }
        m_half ^= 1;
        return words;
    }
    const std::vector<int32_t>& block(int k) const { return m_blocks[k]; }
    bool blocksSilent() const {
        return std::vector<int32_t>(m_blocks[0].size(), 0) == m_blocks[0] && m_blocks[0] == m_blocks[1];
    }
    std::string log() const { return m_log.snapshot(); }

    NamedEvent event{"_tamu_DSP_732"};

  private:
    static bool running() { return theTransport.threadRunning.load(); }

    int32_t m_b;
    long m_half = 0;
    DiagnosticsLog m_log;
    ResamplerLibrary m_resampler;
    std::vector<int32_t> m_blocks[2];
    std::vector<int32_t> m_outputs[2][2];  // [channel][half]
    std::thread m_thread;
};

}  // namespace quoril::test
