#pragma once

#include <samplerate.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace quoril::test {

// libsamplerate run directly, the way the player is meant to use it: I disc frames per call
// from the current position (the zero tail read past the end), end_of_input always 0, room
// for n + 16 output frames, each output sample times the gain, clipped to +-(2^31 - 1) and
// truncated. When a call takes the position to the end of the disc its output becomes silence,
// the converter is reset and the disc starts again at frame 0.
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
        for (long k = 0; k < inputFrames; ++k) {
            long f = position + k;
            in[2 * k] = f < frameCount ? static_cast<float>(samples[2 * f]) / divisor : 0.0f;
            in[2 * k + 1] = f < frameCount ? static_cast<float>(samples[2 * f + 1]) / divisor : 0.0f;
        }
        SRC_DATA data{};
        data.data_in = in.data();
        data.data_out = out.data();
        data.input_frames = inputFrames;
        data.output_frames = n + 16;
        data.end_of_input = 0;
        data.src_ratio = outputRate / discRate;
        EXPECT_EQ(src_process(state, &data), 0);
        position += data.input_frames_used;
        if (position >= frameCount) {
            src_reset(state);
            std::fill(out.begin(), out.begin() + 2 * data.output_frames_gen, 0.0f);
            position = 0;
        }
        for (long i = 0; i < 2 * data.output_frames_gen; ++i) {
            double value = out[i] * gain;
            value = value > 2147483647.0 ? 2147483647.0 : (value < -2147483647.0 ? -2147483647.0 : value);
            result.push_back(static_cast<int32_t>(value));
        }
    }
    src_delete(state);
    result.resize(2 * frames);
    return result;
}

}  // namespace quoril::test
