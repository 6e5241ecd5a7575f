#pragma once

#include <gtest/gtest.h>
#include <samplerate.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "asio/AsioSession.h"
#include "config/Settings.h"
#include "content/CdDescriptor.h"
#include "content/RamLoadThread.h"
#include "dsp/BufferCallbacks.h"
#include "dsp/ResamplerLibrary.h"
#include "dsp/TransportState.h"
#include "platform/DiagnosticsLog.h"
#include "platform/NamedEvent.h"
#include "support/TempDir.h"
#include "support/WavWriter.h"

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

// Generated stereo samples (16 or 24 bits) as a WAV file, opened and loaded by the content code.
struct TestDisc {
    TestDisc(const std::vector<int32_t>& samples, int bits, uint32_t rate) {
        std::string path = dir.file("disc.wav");
        if (WavWriter(bits, 2, rate).samples(samples).write(path)) {
            disc = std::make_unique<CdDescriptor>(path, log, settings);
            LoadProgress progress{0};
            RamLoadRequest request{disc.get(), &progress, &log};
            if (disc->active.load()) {
                RamLoadThread::run(request);
            }
        }
    }
    CdDescriptor* cd() const { return disc.get(); }
    bool ok() const { return disc && disc->active.load() && disc->frameCount > 0; }

    TempDir dir;
    Settings settings;
    DiagnosticsLog log;
    std::unique_ptr<CdDescriptor> disc;
};

// The engine's set-up without a driver (blocks of n frames, outputs of b): a test plays the driver
// itself (switchBuffer) or wakes a playback thread step by step (wake). All is put back at the end.
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
        t.outputRate.store(driverInfo().requestedRate = rate);
        driverInfo().preferredSize = b;
        driverInfo().outputsAreInt32 = true;
        DiagnosticsLog bindLog;
        theResampler = m_resampler.load("", bindLog) ? &m_resampler : nullptr;
    }
    ~DspHarness() {
        if (m_thread.joinable()) {
            theTransport.post(CmdQuit);
            waitForEnd();
            event.close();
            m_thread.join();
        }
        driverInfo() = DriverInfo{};
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
    // Gives block `block` back (none when negative) as the callbacks do, posts a command, and
    // waits until the thread has handled the wake or ended.
    bool wake(int block, int16_t command = CmdNone) {
        uint32_t before = theTransport.wakesHandled.load();
        if (block >= 0) {
            theTransport.blockState[block].store(BlockRequested);
        }
        theTransport.post(static_cast<TransportCommand>(command));
        return waitUntil(
            [&] { return theTransport.wakesHandled.load() != before || !theTransport.threadRunning; });
    }
    bool waitForEnd() {
        return waitUntil([] { return !theTransport.threadRunning.load(); });
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
            words.insert(words.end(), {m_outputs[0][m_half][i], m_outputs[1][m_half][i]});
        }
        m_half ^= 1;
        return words;
    }
    const std::vector<int32_t>& block(int k) const { return m_blocks[k]; }
    bool blocksSilent() const {
        return m_blocks[0] == std::vector<int32_t>(m_blocks[0].size()) && m_blocks[0] == m_blocks[1];
    }
    // The thread's lines so far, drained from the queue as the window's timer does.
    std::string log() {
        theTransport.logQueue.drain([this](const char* line) { m_log.append(line); });
        return m_log.snapshot();
    }

    NamedEvent event{"_tamu_DSP_732"};

  private:
    int32_t m_b;
    long m_half = 0;
    DiagnosticsLog m_log;
    ResamplerLibrary m_resampler;
    std::vector<int32_t> m_blocks[2];
    std::vector<int32_t> m_outputs[2][2];  // [channel][half]
    std::thread m_thread;
};

// libsamplerate run directly: I frames a call from the position (zeros past the end), room for
// n + 16 frames out, times gain, clipped to +-(2^31 - 1) and truncated. A call that reaches the
// end gives silence instead, and the converter and the disc start again.
inline std::vector<int32_t> referenceRun(const std::vector<int32_t>& samples, int bits, double discRate,
                                         double outputRate, int32_t n, int inputFrames, int converter,
                                         double gain, size_t frames, long startFrame = 0) {
    const long frameCount = static_cast<long>(samples.size() / 2);
    const float divisor = bits == 16 ? 32767.0f : 8388607.0f;
    int error = 0;
    SRC_STATE* state = src_new(converter, 2, &error);
    std::vector<float> in(2 * static_cast<size_t>(inputFrames));
    std::vector<float> out(2 * static_cast<size_t>(n + 16));
    std::vector<int32_t> result;
    long position = startFrame;
    while (result.size() < 2 * frames) {
        for (long k = 0; k < 2 * inputFrames; ++k) {
            in[k] = position + k / 2 < frameCount ? static_cast<float>(samples[2 * position + k]) / divisor
                                                  : 0.0f;
        }
        SRC_DATA data{in.data(), out.data(), inputFrames, n + 16, 0, 0, 0, outputRate / discRate};
        EXPECT_EQ(src_process(state, &data), 0);
        position += data.input_frames_used;
        if (position >= frameCount) {
            src_reset(state);
            std::fill(out.begin(), out.begin() + 2 * data.output_frames_gen, 0.0f);
            position = 0;
        }
        for (long i = 0; i < 2 * data.output_frames_gen; ++i) {
            result.push_back(static_cast<int32_t>(std::clamp(out[i] * gain, -2147483647.0, 2147483647.0)));
        }
    }
    src_delete(state);
    result.resize(2 * frames);
    return result;
}

}  // namespace quoril::test
