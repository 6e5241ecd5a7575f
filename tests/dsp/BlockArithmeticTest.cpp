#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dsp/BlockFill.h"
#include "dsp/DspEngine.h"
#include "dsp/ResamplingPlaybackThread.h"
#include "support/WavWriter.h"

namespace quoril {
namespace {

struct BlockCase {
    int32_t bufferSize;
    double rate;
    int32_t expected;
};

class BlockFramesFromBufferAndRate : public testing::TestWithParam<BlockCase> {};

TEST_P(BlockFramesFromBufferAndRate, GivesTheDocumentedBlockSize) {
    const BlockCase& c = GetParam();
    int32_t n = DspEngine::ComputeBlockFrames(c.bufferSize, c.rate);
    EXPECT_EQ(n, c.expected) << "B " << c.bufferSize << " at " << c.rate;
    EXPECT_EQ(n % c.bufferSize, 0) << "a block must hold whole device buffers";
}

INSTANTIATE_TEST_SUITE_P(
    Table, BlockFramesFromBufferAndRate,
    testing::Values(BlockCase{64, 44100, 6144}, BlockCase{100, 44100, 6400}, BlockCase{512, 96000, 12288},
                    BlockCase{512, 192000, 24576}, BlockCase{1000, 44100, 8000},
                    BlockCase{1536, 192000, 18432}, BlockCase{2048, 192000, 12288},
                    BlockCase{4096, 44100, 24576}, BlockCase{512, 44100, 6144},
                    BlockCase{1024, 176400, 24576}, BlockCase{16384, 44100, 98304},
                    BlockCase{24000, 48000, 144000},
                    // Every power of two from 32 to 1024 gives 6,144 frames times the rate factor.
                    BlockCase{32, 44100, 6144}, BlockCase{128, 48000, 6144}, BlockCase{256, 88200, 12288},
                    BlockCase{1024, 352800, 49152}, BlockCase{32, 384000, 49152},
                    // Rate factor boundaries.
                    BlockCase{512, 88199.9, 6144}, BlockCase{512, 88200, 12288},
                    BlockCase{512, 176399, 12288}, BlockCase{512, 352799, 24576},
                    // Buffer sizes that are not multiples of 32, and the caps above 1,024 frames.
                    BlockCase{441, 44100, 7056}, BlockCase{48, 44100, 6144}, BlockCase{1025, 384000, 8200},
                    BlockCase{2047, 384000, 16376}, BlockCase{2048, 384000, 12288}));

TEST(ResamplerInputFrames, FollowsTheBlockAndTheRatioAndIsEven) {
    EXPECT_EQ(ResamplerInputFrames(44100, 176400, 24576), 6146);
    EXPECT_EQ(ResamplerInputFrames(48000, 44100, 6144), 6688);
    EXPECT_EQ(ResamplerInputFrames(96000, 44100, 6144), 13376);  // 13,374.69 + 1 -> 13,375 -> even
}

TEST(BlockFill, FramesBeyondTheReadableStoreBecomeSilenceInsteadOfAnOverrun) {
    std::string bytes = test::packSamples({1000, -1000, 2000, -2000, 3000, -3000}, 16);
    auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    // Only two whole frames lie before the limit (the third is cut in half).
    std::vector<int32_t> block(6, 7);
    fillBlock(data, data + 10, true, 4, 65536.0, block.data(), 3);
    EXPECT_EQ(block, (std::vector<int32_t>{1000 * 65536, -1000 * 65536, 2000 * 65536, -2000 * 65536, 0, 0}));
    std::vector<float> floats(6, 7.0f);
    convertToFloat(data, data + 10, true, floats.data(), 3);
    EXPECT_EQ(floats, (std::vector<float>{1000 / 32767.0f, -1000 / 32767.0f, 2000 / 32767.0f,
                                          -2000 / 32767.0f, 0, 0}));
}

}  // namespace
}  // namespace quoril
