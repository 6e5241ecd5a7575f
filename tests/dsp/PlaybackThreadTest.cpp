#include "dsp/PlaybackThread.h"

#include <gtest/gtest.h>
#include <samplerate.h>

#include <memory>
#include <string>
#include <vector>

#include "DspHarness.h"
#include "dsp/ResamplingPlaybackThread.h"

namespace quoril {
namespace {

// Either playback thread on a two-second disc, woken step by step as the callbacks and the
// engine would wake it: blocks of 6,144 frames at 44,100 Hz.
constexpr int32_t kBlock = 6144;
constexpr int kNone = -1;  // no block given back
const std::string kDirect = "Playback starting (SRC upsampling is bypassed)...\r\n\r\n";
const std::string kResampling = "Playback starting using SRC...\r\n\r\n";

class PlaybackThreadTest : public testing::Test {
  protected:
    // Starts the thread matching a disc at `rate` and, with `announce`, posts CmdStart.
    void start(uint32_t rate, bool announce = true) {
        samples = test::makeSamples(2 * rate, 16, 2, rate);
        disc = std::make_unique<test::TestDisc>(samples, 16, rate);
        ASSERT_TRUE(disc->ok()) << disc->log.snapshot();
        theTransport.converterType.store(1);
        ASSERT_TRUE(device.start(rate == 44100 ? PlaybackThread : ResamplingPlaybackThread, disc->cd()));
        ASSERT_TRUE(!announce || device.wake(kNone, CmdStart));
    }
    // The disc's frames [from, from + kBlock) as the direct thread places them at 0 dB.
    std::vector<int32_t> exact(int32_t from) const {
        std::vector<int32_t> words;
        for (int32_t i = 2 * from; i < 2 * (from + kBlock); ++i) {
            words.push_back(samples[i] * 65536);
        }
        return words;
    }

    test::DspHarness device{512, kBlock, 44100};
    std::vector<int32_t> samples;
    std::unique_ptr<test::TestDisc> disc;
};

TEST_F(PlaybackThreadTest, HaltSilencesBothBlocksKeepsThePositionAndPlayContinuesFromIt) {
    start(44100);
    ASSERT_TRUE(device.wake(kNone, CmdPlay));  // play fills block 1, the one after the current
    ASSERT_TRUE(device.wake(0));
    EXPECT_EQ(device.block(1), exact(0));
    EXPECT_EQ(device.block(0), exact(kBlock));
    ASSERT_TRUE(device.wake(1, CmdHalt));
    EXPECT_TRUE(device.blocksSilent());
    EXPECT_EQ(theTransport.position(), 2 * kBlock);
    EXPECT_EQ(theTransport.playing.load(), 0);
    EXPECT_EQ(theTransport.blockState[1].load(), BlockReady) << "halted, a request is handed back silent";
    ASSERT_TRUE(device.wake(kNone, CmdPlay));
    EXPECT_EQ(device.block(1), exact(2 * kBlock));
    EXPECT_EQ(device.block(0), std::vector<int32_t>(2 * kBlock, 0));
    EXPECT_EQ(device.log(), kDirect);
}

TEST_F(PlaybackThreadTest, AfterHaltAndPlayTheConverterStartsFreshAtTheKeptPosition) {
    start(48000);
    EXPECT_EQ(device.log(), kResampling);
    ASSERT_TRUE(device.wake(kNone, CmdPlay));
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(device.wake(k % 2));
    }
    ASSERT_TRUE(device.wake(kNone, CmdHalt));
    int32_t kept = theTransport.position();
    ASSERT_TRUE(device.wake(0));
    EXPECT_EQ(theTransport.position(), kept);
    std::vector<int32_t> played;
    for (int k = 0; k < 3; ++k) {
        // Play fills block 1 (the next one); then 0, 1 as they are given back.
        ASSERT_TRUE(device.wake(k == 0 ? kNone : k % 2 == 1 ? 0 : 1, k == 0 ? CmdPlay : CmdNone));
        const std::vector<int32_t>& block = device.block(k % 2 == 0 ? 1 : 0);
        played.insert(played.end(), block.begin(), block.end());
    }
    EXPECT_TRUE(played == test::referenceRun(samples, 16, 48000, 44100, kBlock, 6688, 1, 2147483647.0,
                                             3 * kBlock, kept));
}

// How the thread ends: a closed event, a converter error, or (without repeat) the end of the
// disc, where it halts with the position at the frame count and says so once.
struct EndCase {
    uint32_t rate;
    bool closeEvent;
    std::string tail;  // the log after the starting line
};

class PlaybackThreadEnd : public PlaybackThreadTest, public testing::WithParamInterface<EndCase> {};

TEST_P(PlaybackThreadEnd, LeavesBothBlocksSilentAndSaysWhy) {
    const EndCase& c = GetParam();
    const bool toTheEnd = c.tail == "\tWav processed.\r\n";
    theTransport.repeatAtEnd.store(!toTheEnd);
    start(c.rate);
    ASSERT_TRUE(device.wake(kNone, CmdPlay));
    if (c.closeEvent) {
        device.event.close();
    }
    // 2 s of disc is 15 blocks: the end, then more requests that find the thread halted.
    for (int k = 0; k < 24 && !c.closeEvent && theTransport.threadRunning.load(); ++k) {
        ASSERT_TRUE(device.wake(k % 2));
    }
    ASSERT_TRUE(toTheEnd || device.waitForEnd());
    EXPECT_EQ(device.log(), (c.rate == 44100 ? kDirect : kResampling) + c.tail);
    EXPECT_TRUE(device.blocksSilent());
    if (toTheEnd) {
        EXPECT_EQ(theTransport.playing.load(), 0);
        EXPECT_EQ(theTransport.position(), 2 * static_cast<int32_t>(c.rate));
    }
}

INSTANTIATE_TEST_SUITE_P(Ends, PlaybackThreadEnd,
                         testing::Values(EndCase{44100, true, "\r\nPlayback ended."},
                                         EndCase{44100, false, "\tWav processed.\r\n"},
                                         EndCase{48000, false, "\tWav processed.\r\n"},
                                         // 300 times below the device rate: a ratio the converter
                                         // refuses (6: the library's code for it).
                                         EndCase{147, false,
                                                 std::string("srcERROR: ") + src_strerror(6) + "\r\n"}));

}  // namespace
}  // namespace quoril
