#pragma once

#include <gtest/gtest.h>
#include <samplerate.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "config/Settings.h"
#include "content/CdDescriptor.h"
#include "content/RamLoadThread.h"
#include "platform/DiagnosticsLog.h"
#include "support/TempDir.h"
#include "support/WavWriter.h"

namespace quoril::test {

// Waits until condition() holds, at most until the deadline. True when it held.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
    for (auto end = std::chrono::steady_clock::now() + deadline; !condition();) {
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
        if (WavWriter(bits, 2, rate).samples(samples).write(dir.file("disc.wav"))) {
            disc = std::make_unique<CdDescriptor>(dir.file("disc.wav"), log, settings);
            LoadProgress progress{0};
            if (disc->active.load()) {
                RamLoadThread::run(RamLoadRequest{disc.get(), &progress, &log});
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

// libsamplerate run directly: I frames a call from the position (zeros past the end), room for
// n + 16 frames out, times gain, clipped to +-(2^31 - 1) and truncated. A call that reaches the
// end gives silence instead, and the converter and the disc start again.
inline std::vector<int32_t> referenceRun(const std::vector<int32_t>& samples, int bits, double discRate,
                                         double outputRate, int32_t n, int inputFrames, int converter,
                                         double gain, size_t frames, long position = 0) {
    const long frameCount = static_cast<long>(samples.size() / 2);
    const float divisor = bits == 16 ? 32767.0f : 8388607.0f;
    int error = 0;
    SRC_STATE* state = src_new(converter, 2, &error);
    std::vector<float> in(2 * static_cast<size_t>(inputFrames)), out(2 * static_cast<size_t>(n + 16));
    std::vector<int32_t> result;
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
