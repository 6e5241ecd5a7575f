#include "dsp/BufferCallbacks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "SteppedDevice.h"
#include "asio/AsioSession.h"
#include "dsp/DspEngine.h"
#include "dsp/TransportState.h"

namespace quoril {
namespace {

// The callbacks alone, with no playback thread: the device record and the DSP blocks are set
// up by SteppedDevice, and the test plays the driver.
class BufferCallbacksTest : public testing::Test {
  protected:
    // Gives every word of both blocks its own value: block b, frame f, channel c.
    static int32_t mark(int block, int32_t frame, int channel) {
        return block * 1000000 + frame * 2 + channel + 1;
    }
    void markBlocks(int32_t n) {
        for (int b = 0; b < 2; ++b) {
            for (int32_t f = 0; f < n; ++f) {
                theTransport.dspBlocks[b][2 * f] = mark(b, f, 0);
                theTransport.dspBlocks[b][2 * f + 1] = mark(b, f, 1);
            }
        }
    }
};

struct SwitchCase {
    int32_t buffer;
    double rate;
};

class BlockHandOff : public BufferCallbacksTest, public testing::WithParamInterface<SwitchCase> {};

TEST_P(BlockHandOff, CopiesEveryFrameAndAsksForTheUsedUpBlockAlternately) {
    const int32_t b = GetParam().buffer;
    const int32_t n = DspEngine::ComputeBlockFrames(b, GetParam().rate);
    test::SteppedDevice device(b, n, GetParam().rate);
    markBlocks(n);

    std::vector<int16_t> requests;
    std::vector<int> signalledAt;
    const int switches = 4 * (n / b);
    for (int s = 0; s < switches; ++s) {
        ASSERT_TRUE(device.playBuffer());
        int16_t request = theTransport.deviceRequest.exchange(ReqNone);
        if (request != ReqNone) {
            requests.push_back(request);
        }
        if (device.event().waitFor(0)) {
            signalledAt.push_back(s);
        }
    }
    EXPECT_EQ(requests, (std::vector<int16_t>{ReqFillBlock0, ReqFillBlock1, ReqFillBlock0, ReqFillBlock1}));
    const int perBlock = n / b;
    EXPECT_EQ(signalledAt,
              (std::vector<int>{perBlock - 1, 2 * perBlock - 1, 3 * perBlock - 1, 4 * perBlock - 1}));

    // Block 0, block 1, block 0, block 1: every frame once, left and right apart.
    const std::vector<int32_t>& played = device.played();
    ASSERT_EQ(played.size(), 2u * 4 * n);
    for (int k = 0; k < 4; ++k) {
        for (int32_t f = 0; f < n; ++f) {
            size_t at = 2 * (static_cast<size_t>(k) * n + f);
            ASSERT_EQ(played[at], mark(k % 2, f, 0)) << "block " << k << " frame " << f;
            ASSERT_EQ(played[at + 1], mark(k % 2, f, 1)) << "block " << k << " frame " << f;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlockHandOff,
                         testing::Values(SwitchCase{512, 44100}, SwitchCase{441, 44100},
                                         SwitchCase{64, 48000}, SwitchCase{1024, 176400},
                                         SwitchCase{100, 44100}));

TEST_F(BufferCallbacksTest, TheTimeInfoSwitchDoesTheSameWorkAndReturnsNoTimeInformation) {
    test::SteppedDevice device(512, 6144, 44100);
    markBlocks(6144);
    DriverInfo& info = driverInfo();
    for (int s = 0; s < 12; ++s) {
        EXPECT_EQ(bufferSwitchTimeInfo(nullptr, s % 2, ASIOFalse), nullptr);
    }
    EXPECT_EQ(theTransport.deviceRequest.load(), ReqFillBlock0);
    EXPECT_EQ(theTransport.deviceBlockIndex.load(), 1);
    // The last switch (half 1) took frames 5,632 ... 6,143 of block 0.
    auto* left = static_cast<int32_t*>(info.bufferInfos[0].buffers[1]);
    auto* right = static_cast<int32_t*>(info.bufferInfos[1].buffers[1]);
    EXPECT_EQ(left[0], mark(0, 5632, 0));
    EXPECT_EQ(right[511], mark(0, 6143, 1));
}

struct LateCase {
    const char* name;
    int16_t playing;
    bool refilled;
    int32_t late;
};

class LateBlockCount : public BufferCallbacksTest, public testing::WithParamInterface<LateCase> {};

TEST_P(LateBlockCount, CountsABlockBegunBeforeItsRefillOnlyWhilePlaying) {
    test::SteppedDevice device(512, 6144, 44100);
    theTransport.playing.store(GetParam().playing);
    ASSERT_TRUE(device.playBlocks(1));  // asks for block 0, moves to block 1 (never asked for)
    EXPECT_TRUE(theTransport.refillPending[0].load());
    EXPECT_EQ(theTransport.lateBlocks.load(), 0);
    if (GetParam().refilled) {
        theTransport.refillPending[0].store(false);  // as the playback thread does after a fill
    }
    ASSERT_TRUE(device.playBlocks(1));  // plays block 1, asks for it, moves to block 0
    ASSERT_TRUE(device.playBuffer());   // begins block 0
    EXPECT_EQ(theTransport.lateBlocks.load(), GetParam().late);
}

INSTANTIATE_TEST_SUITE_P(Cases, LateBlockCount,
                         testing::Values(LateCase{"PlayingAndNotRefilled", 1, false, 1},
                                         LateCase{"PlayingAndRefilled", 1, true, 0},
                                         LateCase{"HaltedAndNotRefilled", 0, false, 0}),
                         [](const testing::TestParamInfo<LateCase>& info) {
                             return std::string(info.param.name);
                         });

struct MessageCase {
    long selector;
    long value;
    long answer;
    int16_t request;
};

class HostMessage : public testing::TestWithParam<MessageCase> {};

TEST_P(HostMessage, AnswersAndRequestsAsDocumented) {
    test::SteppedDevice device(512, 6144, 44100);
    const MessageCase& c = GetParam();
    EXPECT_EQ(asioMessage(c.selector, c.value, nullptr, nullptr), c.answer);
    EXPECT_EQ(theTransport.deviceRequest.load(), c.request);
    EXPECT_EQ(device.event().waitFor(0), c.request != ReqNone) << "signalled exactly when a request is made";
}

INSTANTIATE_TEST_SUITE_P(
    Selectors, HostMessage,
    testing::Values(
        MessageCase{kAsioSelectorSupported, kAsioEngineVersion, 1, ReqNone},
        MessageCase{kAsioSelectorSupported, kAsioResetRequest, 1, ReqNone},
        MessageCase{kAsioSelectorSupported, kAsioBufferSizeChange, 1, ReqNone},
        MessageCase{kAsioSelectorSupported, kAsioResyncRequest, 1, ReqNone},
        MessageCase{kAsioSelectorSupported, kAsioLatenciesChanged, 1, ReqNone},
        MessageCase{kAsioSelectorSupported, kAsioSupportsTimeInfo, 1, ReqNone},
        MessageCase{kAsioSelectorSupported, kAsioSupportsTimeCode, 1, ReqNone},
        MessageCase{kAsioSelectorSupported, kAsioSupportsInputMonitor, 1, ReqNone},
        MessageCase{kAsioSelectorSupported, kAsioMMCCommand, 0, ReqNone},
        MessageCase{kAsioSelectorSupported, kAsioSelectorSupported, 0, ReqNone},
        MessageCase{kAsioSelectorSupported, kAsioSupportsInputGain, 0, ReqNone},
        MessageCase{kAsioSelectorSupported, kAsioOverload, 0, ReqNone},
        MessageCase{kAsioEngineVersion, 0, 2, ReqNone}, MessageCase{kAsioResetRequest, 0, 1, ReqDriverReset},
        MessageCase{kAsioBufferSizeChange, 256, 1, ReqSettingsChanged},
        MessageCase{kAsioResyncRequest, 0, 1, ReqDriverReset},
        MessageCase{kAsioLatenciesChanged, 0, 0, ReqNone}, MessageCase{kAsioSupportsTimeInfo, 0, 0, ReqNone},
        MessageCase{kAsioSupportsTimeCode, 0, 0, ReqNone}, MessageCase{kAsioMMCCommand, 0, 0, ReqNone},
        MessageCase{kAsioOverload, 0, 0, ReqNone}, MessageCase{99, 0, 0, ReqNone}));

struct RateCase {
    double rate;
    int16_t request;
};

class RateChange : public testing::TestWithParam<RateCase> {};

TEST_P(RateChange, OnlyAnotherRateAsksThePlaybackThreadToEnd) {
    test::SteppedDevice device(512, 6144, 44100);
    sampleRateDidChange(GetParam().rate);
    EXPECT_EQ(theTransport.deviceRequest.load(), GetParam().request);
    EXPECT_EQ(device.event().waitFor(0), GetParam().request != ReqNone);
}

INSTANTIATE_TEST_SUITE_P(Rates, RateChange,
                         testing::Values(RateCase{44100, ReqNone}, RateCase{48000, ReqSettingsChanged},
                                         RateCase{44100.0001, ReqSettingsChanged},
                                         RateCase{std::nan(""), ReqSettingsChanged}));

TEST(DspCallbacks, AreHandedToTheDriverInTheirPublishedOrder) {
    ASIOCallbacks callbacks = dspCallbacks();
    EXPECT_EQ(callbacks.bufferSwitch, &bufferSwitch);
    EXPECT_EQ(callbacks.sampleRateDidChange, &sampleRateDidChange);
    EXPECT_EQ(callbacks.asioMessage, &asioMessage);
    EXPECT_EQ(callbacks.bufferSwitchTimeInfo, &bufferSwitchTimeInfo);
}

TEST(TransportPosition, AnAdvanceNeverOverwritesAnOutsideWriteEvenOfTheSameFrame) {
    theTransport.reset();
    theTransport.setPosition(100);
    uint64_t word = theTransport.readPosition();
    EXPECT_TRUE(theTransport.advancePosition(word, 200));
    EXPECT_EQ(theTransport.position(), 200);

    word = theTransport.readPosition();
    theTransport.setPosition(5000);  // a seek during the fill
    EXPECT_FALSE(theTransport.advancePosition(word, 6144));
    EXPECT_EQ(theTransport.position(), 5000);

    word = theTransport.readPosition();
    theTransport.setPosition(5000);  // a rewind to the very frame the fill started from
    EXPECT_FALSE(theTransport.advancePosition(word, 11144));
    EXPECT_EQ(theTransport.position(), 5000);
    theTransport.reset();
}

}  // namespace
}  // namespace quoril
