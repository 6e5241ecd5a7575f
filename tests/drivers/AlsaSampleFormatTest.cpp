#include <gtest/gtest.h>

#include <algorithm>
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
                      SampleCase{"s24Positive", AlsaSampleFormat::S24LE, 0x12345600, "56 34 12 00"},
                      SampleCase{"s24NegativeIsSignExtended", AlsaSampleFormat::S24LE, -256, "ff ff ff ff"},
                      SampleCase{"s24Highest", AlsaSampleFormat::S24LE, 0x7fffff00, "ff ff 7f 00"},
                      SampleCase{"s24Lowest", AlsaSampleFormat::S24LE, INT32_MIN, "00 00 80 ff"},
                      SampleCase{"s24_3Positive", AlsaSampleFormat::S24_3LE, 0x12345600, "56 34 12"},
                      SampleCase{"s24_3Negative", AlsaSampleFormat::S24_3LE, -512, "fe ff ff"},
                      SampleCase{"s24_3DropsTheLowByte", AlsaSampleFormat::S24_3LE, 0x123456ff, "56 34 12"},
                      SampleCase{"s16Positive", AlsaSampleFormat::S16LE, 0x12340000, "34 12"},
                      SampleCase{"s16Negative", AlsaSampleFormat::S16LE, -65536, "ff ff"},
                      SampleCase{"s16Lowest", AlsaSampleFormat::S16LE, INT32_MIN, "00 80"},
                      SampleCase{"s16DropsTheLowBitsTowardMinusInfinity", AlsaSampleFormat::S16LE, -1,
                                 "ff ff"}),
    [](const ::testing::TestParamInfo<SampleCase>& info) { return std::string(info.param.what); });

class AlsaInterleaveTest : public ::testing::TestWithParam<AlsaSampleFormat> {};

TEST_P(AlsaInterleaveTest, eachChannelLandsInItsOwnSlotOfEveryFrameAndChannelsWithoutSourceAreSilent) {
    const AlsaSampleFormat format = GetParam();
    const int bytes = alsaBytesPerSample(format);
    // Channel 1 and 3 of four play; samples whose top byte names channel and frame.
    const int32_t left[3] = {0x11000000, 0x12000000, 0x13000000};
    const int32_t right[3] = {0x31000000, 0x32000000, 0x33000000};
    const int32_t* sources[4] = {nullptr, left, nullptr, right};
    std::vector<uint8_t> out(3 * 4 * static_cast<size_t>(bytes), 0xAA);
    interleaveFrames(sources, 4, 3, format, out.data());
    for (int frame = 0; frame < 3; ++frame) {
        for (int channel = 0; channel < 4; ++channel) {
            const uint8_t* sample = out.data() + (frame * 4 + channel) * bytes;
            const uint8_t top = channel == 1 ? 0x11 + frame : channel == 3 ? 0x31 + frame : 0;
            // The top byte of the host's word is the device sample's most significant byte.
            const int topIndex = format == AlsaSampleFormat::S24LE ? 2 : bytes - 1;
            for (int b = 0; b < bytes; ++b) {
                const uint8_t want = b == topIndex ? top : 0;
                EXPECT_EQ(sample[b], want) << "frame " << frame << " channel " << channel << " byte " << b;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, AlsaInterleaveTest,
                         ::testing::Values(AlsaSampleFormat::S32LE, AlsaSampleFormat::S24LE,
                                           AlsaSampleFormat::S24_3LE, AlsaSampleFormat::S16LE),
                         [](const ::testing::TestParamInfo<AlsaSampleFormat>& info) {
                             std::string name = alsaFormatName(info.param);
                             name.erase(std::remove(name.begin(), name.end(), '_'), name.end());
                             return name;
                         });

}  // namespace
}  // namespace quoril::test
