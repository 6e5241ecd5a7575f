#include "dsp/BlockFill.h"

#include <cmath>

namespace quoril {

double directGain(double volumeDb, int phaseSign, double bitsPerSample) noexcept {
    double scale = bitsPerSample == 16.0 ? 65536.0 : 256.0;
    return phaseSign * std::pow(10.0, volumeDb / 20.0) * scale;
}

double resamplingGain(double volumeDb, int phaseSign) noexcept {
    return std::pow(10.0, volumeDb / 20.0) * 2147483647.0 * phaseSign;
}

namespace {

// Frames of stride bytes that lie wholly before limit, at most wanted.
int32_t readableFrames(const uint8_t* source, const uint8_t* limit, uint32_t stride,
                       int32_t wanted) noexcept {
    if (source >= limit || stride == 0) {
        return 0;
    }
    auto available = static_cast<uint64_t>(limit - source) / stride;
    return available < static_cast<uint64_t>(wanted) ? static_cast<int32_t>(available) : wanted;
}

}  // namespace

void fillBlock(const uint8_t* source, const uint8_t* limit, bool sixteenBit, uint32_t blockAlign, double gain,
               int32_t* block, int32_t frames) noexcept {
    uint32_t stride = sixteenBit ? 4 : blockAlign;
    int32_t readable = readableFrames(source, limit, stride, frames);
    if (sixteenBit) {
        for (int32_t i = 0; i < readable; ++i) {
            const uint8_t* frame = source + 4 * static_cast<size_t>(i);
            storeWord(block + 2 * i, truncateToInt32(readSample16(frame) * gain));
            storeWord(block + 2 * i + 1, truncateToInt32(readSample16(frame + 2) * gain));
        }
    } else {
        for (int32_t i = 0; i < readable; ++i) {
            const uint8_t* frame = source + static_cast<size_t>(i) * blockAlign;
            storeWord(block + 2 * i, truncateToInt32(readSample24(frame) * gain));
            storeWord(block + 2 * i + 1, truncateToInt32(readSample24(frame + 3) * gain));
        }
    }
    zeroBlock(block + 2 * readable, frames - readable);
}

void zeroBlock(int32_t* block, int32_t frames) noexcept {
    for (int32_t i = 0; i < 2 * frames; ++i) {
        storeWord(block + i, 0);
    }
}

void convertToFloat(const uint8_t* source, const uint8_t* limit, bool sixteenBit, float* out,
                    int32_t frames) noexcept {
    int32_t readable = readableFrames(source, limit, sixteenBit ? 4 : 6, frames);
    if (sixteenBit) {
        for (int32_t i = 0; i < readable; ++i) {
            const uint8_t* frame = source + 4 * static_cast<size_t>(i);
            out[2 * i] = static_cast<float>(readSample16(frame)) / 32767.0f;
            out[2 * i + 1] = static_cast<float>(readSample16(frame + 2)) / 32767.0f;
        }
    } else {
        for (int32_t i = 0; i < readable; ++i) {
            const uint8_t* frame = source + 6 * static_cast<size_t>(i);
            out[2 * i] = static_cast<float>(readSample24(frame)) / 8388607.0f;
            out[2 * i + 1] = static_cast<float>(readSample24(frame + 3)) / 8388607.0f;
        }
    }
    for (int32_t i = 2 * readable; i < 2 * frames; ++i) {
        out[i] = 0.0f;
    }
}

void placeConverted(const float* converted, double gain, int32_t* block, int32_t frames) noexcept {
    for (int32_t i = 0; i < 2 * frames; ++i) {
        storeWord(block + i, clipToInt32(converted[i] * gain));
    }
}

}  // namespace quoril
