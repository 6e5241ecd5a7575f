#include "dsp/BlockFill.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/WavWriter.h"

namespace quoril {
namespace {

struct DirectCase {
    const char* name;
    int bits;
    double volumeDb;
    int phaseSign;
    int32_t sample;
    int32_t expected;
};

class DirectSampleConversion : public testing::TestWithParam<DirectCase> {};

TEST_P(DirectSampleConversion, PlacesTheSampleAsExpected) {
    const DirectCase& c = GetParam();
    // The same sample left and right, in a frame as the store holds it.
    std::string bytes = test::packSamples({c.sample, c.sample}, c.bits);
    bytes.append(64, '\0');
    auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    int32_t block[2] = {7, 7};
    double gain = directGain(c.volumeDb, c.phaseSign, c.bits);
    fillBlock(data, data + bytes.size(), c.bits == 16, c.bits / 4, gain, block, 1);
    EXPECT_EQ(block[0], c.expected);
    EXPECT_EQ(block[1], c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DirectSampleConversion,
    testing::Values(DirectCase{"SixteenBitMaxAtZeroDb", 16, 0.0, 1, 32767, 2147418112},
                    DirectCase{"SixteenBitMinAtZeroDb", 16, 0.0, 1, -32768, INT32_MIN},
                    DirectCase{"SixteenBitOneAtZeroDb", 16, 0.0, 1, 1, 65536},
                    DirectCase{"SixteenBitMinusOneAtZeroDb", 16, 0.0, 1, -1, -65536},
                    DirectCase{"SixteenBitMinAtPhase180OverflowsToMin", 16, 0.0, -1, -32768, INT32_MIN},
                    DirectCase{"SixteenBitMaxAtPhase180Negates", 16, 0.0, -1, 32767, -2147418112},
                    DirectCase{"SixteenBitMinusSixDbTruncates", 16, -6.0, 1, 10000, 328458065},
                    DirectCase{"SixteenBitMinusSixDbTruncatesTowardZeroWhenNegative", 16, -6.0, 1, -10000,
                               -328458065},
                    DirectCase{"SixteenBitMinusSixDbAtPhase180", 16, -6.0, -1, 10000, -328458065},
                    DirectCase{"SixteenBitSilenceAtMinus100Db", 16, -100.0, 1, 1, 0},
                    DirectCase{"TwentyFourBitMinAtZeroDb", 24, 0.0, 1, -8388608, INT32_MIN},
                    DirectCase{"TwentyFourBitMaxAtZeroDb", 24, 0.0, 1, 8388607, 2147483392},
                    DirectCase{"TwentyFourBitOneAtZeroDb", 24, 0.0, 1, 1, 256},
                    DirectCase{"TwentyFourBitMinAtPhase180OverflowsToMin", 24, 0.0, -1, -8388608, INT32_MIN},
                    DirectCase{"TwentyFourBitMinusSixDb", 24, -6.0, 1, 8388607, 1076291260}),
    [](const testing::TestParamInfo<DirectCase>& info) { return std::string(info.param.name); });

TEST(BlockFill, SixteenBitFramesKeepLeftAndRightApartAndInOrder) {
    std::vector<int32_t> samples = test::makeSamples(1000, 16, 2, 5);
    std::string bytes = test::packSamples(samples, 16);
    auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    std::vector<int32_t> block(2000, 7);
    fillBlock(data, data + bytes.size(), true, 4, directGain(0.0, 1, 16.0), block.data(), 1000);
    for (size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(block[i], samples[i] * 65536) << "word " << i;
    }
}

TEST(BlockFill, TwentyFourBitFramesAreReadAtTheirBlockAlign) {
    std::vector<int32_t> samples = test::makeSamples(1000, 24, 2, 6);
    std::string bytes = test::packSamples(samples, 24);
    auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    std::vector<int32_t> block(2000, 7);
    fillBlock(data, data + bytes.size(), false, 6, directGain(0.0, 1, 24.0), block.data(), 1000);
    for (size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(block[i], samples[i] * 256) << "word " << i;
    }
}

TEST(BlockFill, TheBytesZeroZeroEightyDecodeToTheMostNegative24BitValue) {
    const uint8_t frame[6] = {0x00, 0x00, 0x80, 0xff, 0xff, 0x7f};
    EXPECT_EQ(readSample24(frame), -8388608);
    EXPECT_EQ(readSample24(frame + 3), 8388607);
}

TEST(BlockFill, FramesBeyondTheReadableStoreBecomeSilenceInsteadOfAnOverrun) {
    std::string bytes = test::packSamples({1000, -1000, 2000, -2000, 3000, -3000}, 16);
    auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    std::vector<int32_t> block(10, 7);
    // Only two whole frames lie before the limit (the third is cut in half).
    fillBlock(data, data + 10, true, 4, 65536.0, block.data(), 5);
    EXPECT_EQ(block, (std::vector<int32_t>{1000 * 65536, -1000 * 65536, 2000 * 65536, -2000 * 65536, 0, 0, 0,
                                           0, 0, 0}));
}

struct TruncateCase {
    double value;
    int32_t expected;
};

class TruncationToInt32 : public testing::TestWithParam<TruncateCase> {};

TEST_P(TruncationToInt32, TruncatesTowardZeroAndMapsOutOfRangeToTheMinimum) {
    EXPECT_EQ(truncateToInt32(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, TruncationToInt32,
    testing::Values(TruncateCase{328458065.43, 328458065}, TruncateCase{-1.99, -1},
                    TruncateCase{2147483647.9, 2147483647}, TruncateCase{2147483648.0, INT32_MIN},
                    TruncateCase{-2147483648.0, INT32_MIN}, TruncateCase{-2147483648.9, INT32_MIN},
                    TruncateCase{-2147483650.0, INT32_MIN}, TruncateCase{1e300, INT32_MIN}));

class ClippingToInt32 : public testing::TestWithParam<TruncateCase> {};

TEST_P(ClippingToInt32, ClampsSymmetricallyThenTruncates) {
    EXPECT_EQ(clipToInt32(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, ClippingToInt32,
                         testing::Values(TruncateCase{-32768.0 / 32767.0 * 2147483647.0, -2147483647},
                                         TruncateCase{32767.0 / 32767.0 * 2147483647.0, 2147483647},
                                         TruncateCase{3e9, 2147483647}, TruncateCase{-3e9, -2147483647},
                                         TruncateCase{-0.7, 0}, TruncateCase{12345.9, 12345}));

TEST(BlockFill, ConversionForTheResamplerDividesBy32767And8388607InSinglePrecision) {
    std::string sixteen = test::packSamples({-32768, 32767, 1, -1}, 16);
    float out[4];
    auto* d16 = reinterpret_cast<const uint8_t*>(sixteen.data());
    convertToFloat(d16, d16 + sixteen.size(), true, out, 2);
    EXPECT_EQ(out[0], -32768.0f / 32767.0f);
    EXPECT_EQ(out[1], 1.0f);
    EXPECT_EQ(out[2], 1.0f / 32767.0f);
    EXPECT_EQ(out[3], -1.0f / 32767.0f);

    std::string twentyFour = test::packSamples({-8388608, 8388607, 4096, -3}, 24);
    auto* d24 = reinterpret_cast<const uint8_t*>(twentyFour.data());
    convertToFloat(d24, d24 + twentyFour.size(), false, out, 2);
    EXPECT_EQ(out[0], -8388608.0f / 8388607.0f);
    EXPECT_EQ(out[1], 1.0f);
    EXPECT_EQ(out[2], 4096.0f / 8388607.0f);
    EXPECT_EQ(out[3], -3.0f / 8388607.0f);
}

TEST(BlockFill, ConvertedFramesAreScaledClippedAndTruncated) {
    const float converted[4] = {1.5f, -1.5f, 0.25f, -0.25f};
    int32_t block[4];
    double gain = resamplingGain(0.0, 1);
    placeConverted(converted, gain, block, 2);
    EXPECT_EQ(block[0], 2147483647);
    EXPECT_EQ(block[1], -2147483647);
    EXPECT_EQ(block[2], 536870911);  // 0.25 * 2,147,483,647 = 536,870,911.75
    EXPECT_EQ(block[3], -536870911);
    placeConverted(converted + 2, resamplingGain(0.0, -1), block, 1);
    EXPECT_EQ(block[0], -536870911);
    EXPECT_EQ(block[1], 536870911);
}

}  // namespace
}  // namespace quoril
