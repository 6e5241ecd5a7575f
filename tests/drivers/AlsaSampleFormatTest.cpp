#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "AlsaSampleFormat.h"

namespace quoril::test {
namespace {

// Bytes written as text, "12 34 ..", so a failure shows where the bytes differ.
std::string hex(const std::vector<uint8_t>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (uint8_t b : bytes) {
        if (!out.empty()) {
            out.push_back(' ');
        }
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

struct SampleCase {
    const char* what;
    AlsaSampleFormat format;
    int32_t sample;
    const char* bytes;  // what the device gets for it
};

class AlsaSampleNarrowingTest : public ::testing::TestWithParam<SampleCase> {};

TEST_P(AlsaSampleNarrowingTest, aSampleReachesTheDeviceAsItsTopBitsLittleEndian) {
    const SampleCase& c = GetParam();
    const int32_t one[1] = {c.sample};
    const int32_t* sources[1] = {one};
    std::vector<uint8_t> out(static_cast<size_t>(alsaBytesPerSample(c.format)), 0xAA);
    interleaveFrames(sources, 1, 1, c.format, out.data());
    EXPECT_EQ(hex(out), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, AlsaSampleNarrowingTest,
    ::testing::Values(SampleCase{"s32Positive", AlsaSampleFormat::S32LE, 0x12345678, "78 56 34 12"},
                      SampleCase{"s32Lowest", AlsaSampleFormat::S32LE, INT32_MIN, "00 00 00 80"},
                      SampleCase{"s24NegativeIsSignExtended", AlsaSampleFormat::S24LE, -256, "ff ff ff ff"},
                      SampleCase{"s24Lowest", AlsaSampleFormat::S24LE, INT32_MIN, "00 00 80 ff"},
                      SampleCase{"s24_3Negative", AlsaSampleFormat::S24_3LE, -512, "fe ff ff"},
                      SampleCase{"s24_3DropsTheLowByte", AlsaSampleFormat::S24_3LE, 0x123456ff, "56 34 12"},
                      SampleCase{"s16Negative", AlsaSampleFormat::S16LE, -65536, "ff ff"},
                      SampleCase{"s16Lowest", AlsaSampleFormat::S16LE, INT32_MIN, "00 80"},
                      SampleCase{"s16DropsTheLowBitsTowardMinusInfinity", AlsaSampleFormat::S16LE, -1,
                                 "ff ff"}),
    [](const ::testing::TestParamInfo<SampleCase>& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace quoril::test
