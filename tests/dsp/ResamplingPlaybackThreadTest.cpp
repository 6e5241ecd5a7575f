#include "dsp/ResamplingPlaybackThread.h"

#include <gtest/gtest.h>
#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "ReferenceResampler.h"
#include "SteppedDevice.h"
#include "TestDisc.h"
#include "dsp/DspEngine.h"
#include "dsp/TransportState.h"

namespace quoril {
namespace {

std::vector<int32_t> slice(const std::vector<int32_t>& words, size_t fromFrame, size_t frames) {
    return std::vector<int32_t>(words.begin() + 2 * fromFrame, words.begin() + 2 * (fromFrame + frames));
}

// Index of the first differing word, for a readable failure.
long firstDifference(const std::vector<int32_t>& a, const std::vector<int32_t>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] != b[i]) {
            return static_cast<long>(i);
        }
    }
    return a.size() == b.size() ? -1 : static_cast<long>(std::min(a.size(), b.size()));
}

TEST(ResamplerInputFrames, FollowsTheBlockAndTheRatioAndIsEven) {
    EXPECT_EQ(ResamplerInputFrames(44100, 176400, 24576), 6146);
    EXPECT_EQ(ResamplerInputFrames(48000, 44100, 6144), 6688);
    EXPECT_EQ(ResamplerInputFrames(44100, 48000, 6144), 5646);  // 5,645.32 + 1 -> 5,646
    EXPECT_EQ(ResamplerInputFrames(44100, 88200, 12288), 6146);
    EXPECT_EQ(ResamplerInputFrames(96000, 44100, 6144), 13376);  // 13,374.69 + 1 -> 13,375 -> even
}

struct ConversionCase {
    const char* name;
    int bits;
    uint32_t discRate;
    double outputRate;
    int32_t buffer;
    int converter;
    double volumeDb;
    int phaseSign;
};

class ResamplingPlayback : public testing::TestWithParam<ConversionCase> {};

TEST_P(ResamplingPlayback, MatchesADirectRunOfTheConverterFrameForFrameAcrossTheEndOfTheDisc) {
    const ConversionCase& c = GetParam();
    const int32_t n = DspEngine::ComputeBlockFrames(c.buffer, c.outputRate);
    std::vector<int32_t> samples = test::discSamples(2 * c.discRate + 1000, c.bits, 21);
    // Full scale at the start: the clipping of -32,768 / 32,767 shows at once.
    int32_t top = (1 << (c.bits - 1)) - 1;
    for (int i = 0; i < 40; ++i) {
        samples[i] = (i % 4 < 2) ? top : -top - 1;
    }
    test::TestDisc disc(samples, c.bits, c.discRate);
    ASSERT_TRUE(disc.ok()) << disc.log();

    test::SteppedDevice device(c.buffer, n, c.outputRate);
    theTransport.converterType.store(static_cast<int16_t>(c.converter));
    theTransport.volumeDb.store(c.volumeDb);
    theTransport.phaseSign.store(static_cast<int16_t>(c.phaseSign));
    ASSERT_TRUE(device.start(ResamplingPlaybackThread, disc.cd()));
    ASSERT_TRUE(device.command(CmdStart));
    EXPECT_EQ(device.log(), "Playback starting using SRC...\r\n\r\n");
    ASSERT_TRUE(device.playBlocks(1));
    ASSERT_TRUE(device.command(CmdPlay));
    device.clearPlayed();

    // Far enough to cross the end of the disc and come back round.
    const double outputFrames = (samples.size() / 2) * c.outputRate / c.discRate;
    const int blocks = static_cast<int>(outputFrames / n) + 3;
    ASSERT_TRUE(device.playBlocks(blocks + 1));

    const int inputFrames = ResamplerInputFrames(c.discRate, c.outputRate, n);
    double gain = std::pow(10.0, c.volumeDb / 20.0) * 2147483647.0 * c.phaseSign;
    std::vector<int32_t> expected = test::referenceRun(samples, c.bits, c.discRate, c.outputRate, n,
                                                       inputFrames, c.converter, gain, blocks * n);
    std::vector<int32_t> got = slice(device.played(), n, blocks * n);
    EXPECT_EQ(slice(device.played(), 0, n), std::vector<int32_t>(2 * n, 0));
    EXPECT_EQ(firstDifference(got, expected), -1);
    EXPECT_NE(std::count(got.begin(), got.end(), 0), static_cast<long>(got.size()));
    EXPECT_EQ(device.log(), "Playback starting using SRC...\r\n\r\n\tWav processed. Repeating...\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, ResamplingPlayback,
    testing::Values(
        ConversionCase{"From44100To176400BestSinc", 16, 44100, 176400, 1024, 0, 0.0, 1},
        ConversionCase{"From48000To44100MediumSinc", 16, 48000, 44100, 512, 1, 0.0, 1},
        ConversionCase{"From48000To44100BestSincMinusSixDbPhase180", 16, 48000, 44100, 512, 0, -6.0, -1},
        ConversionCase{"TwentyFourBitFrom44100To96000MediumSinc", 24, 44100, 96000, 512, 1, -3.5, 1}),
    [](const testing::TestParamInfo<ConversionCase>& info) { return std::string(info.param.name); });

class ResamplingThreadTest : public testing::Test {
  protected:
    static constexpr int32_t kBuffer = 512;
    static constexpr int32_t kBlock = 6144;
    static constexpr double kOutputRate = 44100;
    static constexpr uint32_t kDiscRate = 48000;
};

TEST_F(ResamplingThreadTest, AfterHaltAndPlayTheConverterStartsFreshAtTheKeptPosition) {
    std::vector<int32_t> samples = test::discSamples(2 * kDiscRate, 16, 22);
    test::TestDisc disc(samples, 16, kDiscRate);
    ASSERT_TRUE(disc.ok()) << disc.log();
    test::SteppedDevice device(kBuffer, kBlock, kOutputRate);
    theTransport.converterType.store(1);
    ASSERT_TRUE(device.start(ResamplingPlaybackThread, disc.cd()));
    ASSERT_TRUE(device.command(CmdStart));
    ASSERT_TRUE(device.playBlocks(1));
    ASSERT_TRUE(device.command(CmdPlay));
    ASSERT_TRUE(device.playBlocks(4));
    ASSERT_TRUE(device.command(CmdHalt));
    int32_t kept = theTransport.position();
    EXPECT_GT(kept, 0);
    ASSERT_TRUE(device.playBlocks(2));
    EXPECT_EQ(theTransport.position(), kept);
    ASSERT_TRUE(device.command(CmdPlay));
    device.clearPlayed();
    ASSERT_TRUE(device.playBlocks(4));

    int inputFrames = ResamplerInputFrames(kDiscRate, kOutputRate, kBlock);
    std::vector<int32_t> expected = test::referenceRun(samples, 16, kDiscRate, kOutputRate, kBlock,
                                                       inputFrames, 1, 2147483647.0, 3 * kBlock, kept);
    EXPECT_EQ(firstDifference(slice(device.played(), kBlock, 3 * kBlock), expected), -1);
}

TEST_F(ResamplingThreadTest, WithoutRepeatTheEndHaltsAtTheFrameCountAndSilencesBothBlocks) {
    std::vector<int32_t> samples = test::discSamples(2 * kDiscRate, 16, 23);
    test::TestDisc disc(samples, 16, kDiscRate);
    ASSERT_TRUE(disc.ok()) << disc.log();
    test::SteppedDevice device(kBuffer, kBlock, kOutputRate);
    theTransport.repeatAtEnd.store(false);
    theTransport.converterType.store(1);
    ASSERT_TRUE(device.start(ResamplingPlaybackThread, disc.cd()));
    ASSERT_TRUE(device.command(CmdStart));
    ASSERT_TRUE(device.command(CmdPlay));
    ASSERT_TRUE(device.playBlocks(20));
    EXPECT_EQ(theTransport.playing.load(), 0);
    EXPECT_EQ(theTransport.position(), 2 * static_cast<int32_t>(kDiscRate));
    EXPECT_EQ(device.log(), "Playback starting using SRC...\r\n\r\n\tWav processed.\r\n");
    EXPECT_EQ(device.block(0), std::vector<int32_t>(2 * kBlock, 0));
    EXPECT_EQ(device.block(1), std::vector<int32_t>(2 * kBlock, 0));
}

TEST_F(ResamplingThreadTest, PlayBeforeStartIsIgnoredBecauseNoBuffersArePlacedYet) {
    test::TestDisc disc(test::discSamples(2 * kDiscRate, 16, 24), 16, kDiscRate);
    ASSERT_TRUE(disc.ok());
    test::SteppedDevice device(kBuffer, kBlock, kOutputRate);
    ASSERT_TRUE(device.start(ResamplingPlaybackThread, disc.cd()));
    ASSERT_TRUE(device.command(CmdPlay));
    EXPECT_EQ(theTransport.playing.load(), 0);
    EXPECT_EQ(theTransport.position(), 0);
}

struct EndCase {
    const char* name;
    DeviceRequest request;
    const char* message;
};

class ResamplingDriverNotice : public testing::TestWithParam<EndCase> {};

TEST_P(ResamplingDriverNotice, EndsTheThreadWithItsMessage) {
    test::TestDisc disc(test::discSamples(96000, 16, 25), 16, 48000);
    ASSERT_TRUE(disc.ok());
    test::SteppedDevice device(512, 6144, 44100);
    ASSERT_TRUE(device.start(ResamplingPlaybackThread, disc.cd()));
    ASSERT_TRUE(device.command(CmdStart));
    ASSERT_TRUE(device.command(CmdPlay));
    ASSERT_TRUE(device.playBlocks(2));
    ASSERT_TRUE(device.request(GetParam().request));
    EXPECT_EQ(device.log(), std::string("Playback starting using SRC...\r\n\r\n") + GetParam().message);
    EXPECT_EQ(device.block(0), std::vector<int32_t>(2 * 6144, 0));
    EXPECT_EQ(device.block(1), std::vector<int32_t>(2 * 6144, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ResamplingDriverNotice,
    testing::Values(
        EndCase{"Reset", ReqDriverReset, "ASIO driver requested a Reset. Please restart player.\r\n"},
        EndCase{"SettingsChanged", ReqSettingsChanged,
                "ASIO buffer settings (Rate or Latency) have changed. Please restart player.\r\n"}),
    [](const testing::TestParamInfo<EndCase>& info) { return std::string(info.param.name); });

TEST(ResamplingThread, AnUnknownConverterTypeCannotStart) {
    test::TestDisc disc(test::discSamples(96000, 16, 26), 16, 48000);
    ASSERT_TRUE(disc.ok());
    test::SteppedDevice device(512, 6144, 44100);
    theTransport.converterType.store(99);
    std::thread thread(ResamplingPlaybackThread, disc.cd());
    thread.join();
    EXPECT_FALSE(theTransport.threadRunning.load());
    EXPECT_EQ(device.log(), "Cannot initialize SRC!\r\n");
}

TEST(ResamplingThread, AConverterErrorIsLoggedWithItsTextAndEndsTheThread) {
    // A disc at a rate 300 times below the device rate asks for a ratio the converter refuses.
    test::TestDisc disc(test::discSamples(2 * 200, 16, 27), 16, 200);
    ASSERT_TRUE(disc.ok()) << disc.log();
    test::SteppedDevice device(512, 6144, 60000.0);
    theTransport.converterType.store(1);
    ASSERT_TRUE(device.start(ResamplingPlaybackThread, disc.cd()));
    ASSERT_TRUE(device.command(CmdStart));
    ASSERT_TRUE(device.command(CmdPlay));
    ASSERT_TRUE(device.waitForEnd());
    // What the library itself says about such a ratio.
    int error = 0;
    SRC_STATE* state = src_new(1, 2, &error);
    float in[4] = {}, out[4000] = {};
    SRC_DATA data{in, out, 2, 2000, 0, 0, 0, 300.0};
    int refused = src_process(state, &data);
    src_delete(state);
    ASSERT_NE(refused, 0);
    EXPECT_EQ(device.log(), std::string("Playback starting using SRC...\r\n\r\nsrcERROR: ") +
                                src_strerror(refused) + "\r\n");
}

}  // namespace
}  // namespace quoril
