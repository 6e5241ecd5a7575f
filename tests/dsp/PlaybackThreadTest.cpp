#include "dsp/PlaybackThread.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "SteppedDevice.h"
#include "TestDisc.h"
#include "dsp/TransportState.h"

namespace quoril {
namespace {

constexpr int32_t kBuffer = 512;
constexpr int32_t kBlock = 6144;   // the block size for 512-frame buffers at 44.1 or 48 kHz
constexpr uint32_t kRate = 22050;  // low, so that a disc of a few blocks still lasts two seconds

// What the driver should get for the disc's frames [from, to): each sample through `expected`.
template <typename Fn>
std::vector<int32_t> transformed(const std::vector<int32_t>& samples, size_t from, size_t to, Fn expected) {
    std::vector<int32_t> out;
    for (size_t i = 2 * from; i < 2 * to; ++i) {
        out.push_back(expected(samples[i]));
    }
    return out;
}

std::vector<int32_t> slice(const std::vector<int32_t>& words, size_t fromFrame, size_t frames) {
    return std::vector<int32_t>(words.begin() + 2 * fromFrame, words.begin() + 2 * (fromFrame + frames));
}

// Runs the thread on a disc: started, one block played halted, then CmdPlay. From then on the
// driver first finishes the block it is on (silence), then hears the disc.
class PlaybackThreadTest : public testing::Test {
  protected:
    void startPlaying(const test::TestDisc& disc) {
        ASSERT_TRUE(disc.ok()) << disc.log();
        ASSERT_TRUE(device.start(PlaybackThread, disc.cd()));
        ASSERT_TRUE(device.command(CmdStart));
        ASSERT_TRUE(device.playBlocks(1));
        ASSERT_TRUE(device.command(CmdPlay));
        device.clearPlayed();
    }

    test::SteppedDevice device{kBuffer, kBlock, kRate};
};

TEST_F(PlaybackThreadTest, StartAnnouncesItselfAndStaysHalted) {
    test::TestDisc disc(test::discSamples(2 * kRate, 16, 1), 16, kRate);
    ASSERT_TRUE(disc.ok()) << disc.log();
    ASSERT_TRUE(device.start(PlaybackThread, disc.cd()));
    ASSERT_TRUE(device.command(CmdStart));
    EXPECT_EQ(device.log(), "Playback starting (SRC upsampling is bypassed)...\r\n\r\n");
    EXPECT_EQ(theTransport.playing.load(), 0);
    ASSERT_TRUE(device.playBlocks(3));
    EXPECT_EQ(device.played(), std::vector<int32_t>(3 * 2 * kBlock, 0));
    EXPECT_EQ(theTransport.position(), 0);
}

struct GainCase {
    const char* name;
    int bits;
    double volumeDb;
    int phaseSign;
};

class DirectPlayback : public PlaybackThreadTest, public testing::WithParamInterface<GainCase> {};

TEST_P(DirectPlayback, DeliversEveryFrameWithVolumeAndPhaseApplied) {
    const GainCase& c = GetParam();
    std::vector<int32_t> samples = test::discSamples(2 * kRate, c.bits, 7);
    // The extremes of the range, where placement and overflow go wrong first.
    int32_t top = (1 << (c.bits - 1)) - 1;
    samples[0] = -top - 1;
    samples[1] = top;
    samples[2] = 10000;
    samples[3] = -10000;
    test::TestDisc disc(samples, c.bits, kRate);
    theTransport.volumeDb.store(c.volumeDb);
    theTransport.phaseSign.store(static_cast<int16_t>(c.phaseSign));
    startPlaying(disc);
    ASSERT_TRUE(device.playBlocks(6));

    double scale = c.bits == 16 ? 65536.0 : 256.0;
    double gain = c.phaseSign * std::pow(10.0, c.volumeDb / 20.0) * scale;
    auto expected = [&](int32_t s) {
        double product = s * gain;
        return product >= 2147483648.0 ? INT32_MIN : static_cast<int32_t>(std::trunc(product));
    };
    EXPECT_EQ(slice(device.played(), 0, kBlock), std::vector<int32_t>(2 * kBlock, 0));
    EXPECT_EQ(slice(device.played(), kBlock, 5 * kBlock), transformed(samples, 0, 5 * kBlock, expected));
    // The switch into the sixth block already asked for the seventh.
    EXPECT_EQ(theTransport.position(), 7 * kBlock);
}

INSTANTIATE_TEST_SUITE_P(Gains, DirectPlayback,
                         testing::Values(GainCase{"SixteenBitAtZeroDb", 16, 0.0, 1},
                                         GainCase{"SixteenBitPhase180", 16, 0.0, -1},
                                         GainCase{"SixteenBitMinusSixDb", 16, -6.0, 1},
                                         GainCase{"SixteenBitMinus37AndAHalfDbPhase180", 16, -37.5, -1},
                                         GainCase{"TwentyFourBitAtZeroDb", 24, 0.0, 1},
                                         GainCase{"TwentyFourBitPhase180", 24, 0.0, -1},
                                         GainCase{"TwentyFourBitMinusSixDb", 24, -6.0, 1}),
                         [](const testing::TestParamInfo<GainCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(PlaybackThreadTest, WithRepeatTheDiscRestartsAfterTheZeroTailOfItsLastBlock) {
    // 10 blocks and 5 frames: the eleventh block holds 5 frames of audio and N - 5 of silence.
    const size_t frames = 10 * kBlock + 5;
    ASSERT_GE(frames, 2u * kRate);
    std::vector<int32_t> samples = test::discSamples(frames, 16, 3);
    test::TestDisc disc(samples, 16, kRate);
    startPlaying(disc);
    ASSERT_TRUE(device.playBlocks(14));

    auto exact = [](int32_t s) { return s * 65536; };
    const std::vector<int32_t>& played = device.played();
    EXPECT_EQ(slice(played, kBlock, frames), transformed(samples, 0, frames, exact));
    EXPECT_EQ(slice(played, kBlock + frames, kBlock - 5), std::vector<int32_t>(2 * (kBlock - 5), 0));
    EXPECT_EQ(slice(played, 12 * kBlock, 2 * kBlock), transformed(samples, 0, 2 * kBlock, exact));
    EXPECT_EQ(device.log(),
              "Playback starting (SRC upsampling is bypassed)...\r\n\r\n\tWav processed. Repeating...\r\n");
    EXPECT_EQ(theTransport.playing.load(), 1);
}

TEST_F(PlaybackThreadTest, WithoutRepeatTheDiscEndsSilentHaltedAtItsFrameCount) {
    const size_t frames = 10 * kBlock + 5;
    std::vector<int32_t> samples = test::discSamples(frames, 16, 4);
    test::TestDisc disc(samples, 16, kRate);
    theTransport.repeatAtEnd.store(false);
    startPlaying(disc);
    ASSERT_TRUE(device.playBlocks(16));

    // The eleventh block is filled while the tenth starts playing; both are then cleared.
    auto exact = [](int32_t s) { return s * 65536; };
    const std::vector<int32_t>& played = device.played();
    EXPECT_EQ(slice(played, kBlock, 9 * kBlock), transformed(samples, 0, 9 * kBlock, exact));
    EXPECT_EQ(slice(played, 10 * kBlock, 6 * kBlock), std::vector<int32_t>(2 * 6 * kBlock, 0));
    EXPECT_EQ(theTransport.playing.load(), 0);
    EXPECT_EQ(theTransport.position(), static_cast<int32_t>(frames));
    EXPECT_EQ(device.log(), "Playback starting (SRC upsampling is bypassed)...\r\n\r\n\tWav processed.\r\n");
    EXPECT_EQ(device.block(0), std::vector<int32_t>(2 * kBlock, 0));
    EXPECT_EQ(device.block(1), std::vector<int32_t>(2 * kBlock, 0));
}

TEST_F(PlaybackThreadTest, HaltSilencesAtOnceKeepsThePositionAndPlayContinuesFromIt) {
    std::vector<int32_t> samples = test::discSamples(2 * kRate, 16, 5);
    test::TestDisc disc(samples, 16, kRate);
    startPlaying(disc);
    ASSERT_TRUE(device.playBlocks(3));
    // Halfway through a block.
    for (int i = 0; i < kBlock / kBuffer / 2; ++i) {
        ASSERT_TRUE(device.playBuffer());
    }
    int32_t kept = theTransport.position();
    ASSERT_TRUE(device.command(CmdHalt));
    device.clearPlayed();
    ASSERT_TRUE(device.playBuffer());
    EXPECT_EQ(device.played(), std::vector<int32_t>(2 * kBuffer, 0)) << "silent within one device buffer";
    EXPECT_EQ(theTransport.position(), kept);
    EXPECT_EQ(theTransport.playing.load(), 0);

    // Finish this block and one more, then play again at a block boundary.
    ASSERT_TRUE(device.playBlocks(1));
    while (theTransport.deviceBlockOffset.load() != 0) {
        ASSERT_TRUE(device.playBuffer());
    }
    ASSERT_TRUE(device.command(CmdPlay));
    device.clearPlayed();
    ASSERT_TRUE(device.playBlocks(3));
    auto exact = [](int32_t s) { return s * 65536; };
    EXPECT_EQ(slice(device.played(), kBlock, 2 * kBlock),
              transformed(samples, kept, kept + 2 * kBlock, exact));
}

TEST_F(PlaybackThreadTest, ASeekBetweenBlocksIsWhereTheNextBlockStarts) {
    std::vector<int32_t> samples = test::discSamples(2 * kRate, 16, 6);
    test::TestDisc disc(samples, 16, kRate);
    startPlaying(disc);
    ASSERT_TRUE(device.playBlocks(2));
    theTransport.setPosition(20000);
    device.clearPlayed();
    ASSERT_TRUE(device.playBlocks(3));
    // The block playing and the one already prepared come first; the next starts at the seek.
    auto exact = [](int32_t s) { return s * 65536; };
    EXPECT_EQ(slice(device.played(), 0, 2 * kBlock), transformed(samples, kBlock, 3 * kBlock, exact));
    EXPECT_EQ(slice(device.played(), 2 * kBlock, kBlock), transformed(samples, 20000, 20000 + kBlock, exact));
}

struct EndCase {
    const char* name;
    DeviceRequest request;
    const char* message;
};

class DriverNotice : public PlaybackThreadTest, public testing::WithParamInterface<EndCase> {};

TEST_P(DriverNotice, EndsTheThreadWithItsMessageAndSilence) {
    std::vector<int32_t> samples = test::discSamples(2 * kRate, 16, 8);
    test::TestDisc disc(samples, 16, kRate);
    startPlaying(disc);
    ASSERT_TRUE(device.playBlocks(2));
    ASSERT_TRUE(device.request(GetParam().request));
    EXPECT_FALSE(theTransport.threadRunning.load());
    EXPECT_EQ(device.log(),
              std::string("Playback starting (SRC upsampling is bypassed)...\r\n\r\n") + GetParam().message);
    EXPECT_EQ(device.block(0), std::vector<int32_t>(2 * kBlock, 0));
    EXPECT_EQ(device.block(1), std::vector<int32_t>(2 * kBlock, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Requests, DriverNotice,
    testing::Values(
        EndCase{"Reset", ReqDriverReset, "ASIO driver requested a Reset. Please restart player.\r\n"},
        EndCase{"SettingsChanged", ReqSettingsChanged,
                "ASIO buffer settings (Rate or Latency) have changed. Please restart player.\r\n"}),
    [](const testing::TestParamInfo<EndCase>& info) { return std::string(info.param.name); });

TEST_F(PlaybackThreadTest, QuitEndsTheThreadSilentlyWithoutAMessage) {
    test::TestDisc disc(test::discSamples(2 * kRate, 16, 9), 16, kRate);
    startPlaying(disc);
    ASSERT_TRUE(device.playBlocks(1));
    ASSERT_TRUE(device.command(CmdQuit));
    EXPECT_EQ(device.log(), "Playback starting (SRC upsampling is bypassed)...\r\n\r\n");
    EXPECT_EQ(device.block(0), std::vector<int32_t>(2 * kBlock, 0));
    EXPECT_EQ(device.block(1), std::vector<int32_t>(2 * kBlock, 0));
}

TEST_F(PlaybackThreadTest, AClosedEventEndsTheThreadWithPlaybackEnded) {
    test::TestDisc disc(test::discSamples(2 * kRate, 16, 10), 16, kRate);
    startPlaying(disc);
    device.closeEvent();
    ASSERT_TRUE(device.waitForEnd());
    EXPECT_EQ(device.log(), "Playback starting (SRC upsampling is bypassed)...\r\n\r\n\r\nPlayback ended.");
}

TEST_F(PlaybackThreadTest, ARequestAndACommandArrivingTogetherAreBothCarriedOut) {
    std::vector<int32_t> samples = test::discSamples(2 * kRate, 16, 11);
    test::TestDisc disc(samples, 16, kRate);
    ASSERT_TRUE(disc.ok());
    ASSERT_TRUE(device.start(PlaybackThread, disc.cd()));
    ASSERT_TRUE(device.command(CmdStart));
    // A block request and the play command land before the thread wakes: one wake does both,
    // filling the requested block.
    theTransport.deviceRequest.store(ReqFillBlock1);
    ASSERT_TRUE(device.command(CmdPlay));
    EXPECT_EQ(theTransport.playing.load(), 1);
    EXPECT_EQ(theTransport.position(), kBlock);
    EXPECT_EQ(device.block(1)[0], samples[0] * 65536);
    EXPECT_EQ(device.block(0), std::vector<int32_t>(2 * kBlock, 0));
}

}  // namespace
}  // namespace quoril
