#include "dsp/BufferCallbacks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "DspHarness.h"
#include "dsp/DspEngine.h"

namespace quoril {
namespace {

struct SwitchCase {
    int32_t buffer;
    double rate;
    bool timeInfo;
};

class BlockHandOff : public testing::TestWithParam<SwitchCase> {};

TEST_P(BlockHandOff, CopiesEveryFrameAndAsksForTheUsedUpBlockAlternately) {
    const int32_t b = GetParam().buffer, n = DspEngine::ComputeBlockFrames(b, GetParam().rate);
    test::DspHarness device(b, n, GetParam().rate);
    for (int32_t i = 0; i < 2 * n; ++i) {  // every word of both blocks its own value
        theTransport.dspBlocks[0][i] = i + 1;
        theTransport.dspBlocks[1][i] = -i - 1;
    }
    std::vector<int> requests;  // switch index * 10 + request, for each signalled switch
    for (int s = 0; s < 4 * (n / b); ++s) {
        std::vector<int32_t> words = device.switchBuffer(GetParam().timeInfo);
        for (int32_t i = 0; i < 2 * b; ++i) {
            int32_t word = s * 2 * b % (2 * n) + i + 1;  // block 0, 1, 0, 1: each frame once, in order
            ASSERT_EQ(words[i], s / (n / b) % 2 == 0 ? word : -word) << "switch " << s << " word " << i;
        }
        if (device.event.waitFor(0)) {
            requests.push_back(s * 10 + theTransport.deviceRequest.exchange(ReqNone));
        }
    }
    const int k = n / b;
    EXPECT_EQ(requests, (std::vector<int>{(k - 1) * 10 + 2, (2 * k - 1) * 10 + 3, (3 * k - 1) * 10 + 2,
                                          (4 * k - 1) * 10 + 3}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, BlockHandOff,
                         testing::Values(SwitchCase{512, 44100, false}, SwitchCase{441, 44100, true},
                                         SwitchCase{64, 48000, false}, SwitchCase{1024, 176400, true}));

TEST(LateBlockCount, CountsABlockBegunBeforeItsRefillOnlyWhilePlaying) {
    struct Case {
        int16_t playing;
        bool refilled;
        int32_t late;
    };
    for (Case c : {Case{1, false, 1}, Case{1, true, 0}, Case{0, false, 0}}) {
        test::DspHarness device(512, 1024, 44100);
        theTransport.playing.store(c.playing);
        device.switchBuffer();
        device.switchBuffer();  // asks for block 0, moves to block 1 (never asked for)
        EXPECT_EQ(theTransport.lateBlocks.load(), 0);
        theTransport.refillPending[0].store(!c.refilled);  // cleared by the thread after a fill
        device.switchBuffer();
        device.switchBuffer();  // asks for block 1, moves to block 0
        device.switchBuffer();  // begins block 0
        EXPECT_EQ(theTransport.lateBlocks.load(), c.late) << c.playing << c.refilled;
    }
}

TEST(HostMessage, AnswersAndTurnsResetResyncBufferSizeAndRateNoticesIntoSignalledRequests) {
    test::DspHarness device(512, 6144, 44100);
    // The request a notice left (ReqNone when none), checking that it was signalled exactly then.
    auto taken = [&] {
        int16_t request = theTransport.deviceRequest.exchange(ReqNone);
        EXPECT_EQ(device.event.waitFor(0), request != ReqNone);
        return request;
    };
    const long q = kAsioSelectorSupported;
    for (long s :
         {kAsioEngineVersion, kAsioResetRequest, kAsioBufferSizeChange, kAsioResyncRequest,
          kAsioLatenciesChanged, kAsioSupportsTimeInfo, kAsioSupportsTimeCode, kAsioSupportsInputMonitor}) {
        EXPECT_EQ(asioMessage(q, s, nullptr, nullptr), 1) << "supported " << s;
        EXPECT_EQ(taken(), ReqNone);
    }
    for (long s : {long{kAsioMMCCommand}, q, long{kAsioSupportsInputGain}, long{kAsioOverload}, 99L}) {
        EXPECT_EQ(asioMessage(q, s, nullptr, nullptr), 0) << "supported " << s;
        EXPECT_EQ(asioMessage(s, 0, nullptr, nullptr), 0) << s;
        EXPECT_EQ(taken(), ReqNone);
    }
    for (long s : {kAsioLatenciesChanged, kAsioSupportsTimeInfo, kAsioSupportsTimeCode}) {
        EXPECT_EQ(asioMessage(s, 0, nullptr, nullptr), 0) << s;
        EXPECT_EQ(taken(), ReqNone);
    }
    EXPECT_EQ(asioMessage(kAsioEngineVersion, 0, nullptr, nullptr), 2);
    EXPECT_EQ(taken(), ReqNone);
    EXPECT_EQ(asioMessage(kAsioResetRequest, 0, nullptr, nullptr), 1);
    EXPECT_EQ(taken(), ReqDriverReset);
    EXPECT_EQ(asioMessage(kAsioResyncRequest, 0, nullptr, nullptr), 1);
    EXPECT_EQ(taken(), ReqDriverReset);
    EXPECT_EQ(asioMessage(kAsioBufferSizeChange, 256, nullptr, nullptr), 1);
    EXPECT_EQ(taken(), ReqSettingsChanged);
    // Only a rate other than the session's asks the playback thread to end.
    for (double rate : {44100.0, 48000.0, 44100.0001, std::nan("")}) {
        sampleRateDidChange(rate);
        EXPECT_EQ(taken(), rate == 44100.0 ? ReqNone : ReqSettingsChanged) << rate;
    }
}

TEST(TransportPosition, AnAdvanceNeverOverwritesAnOutsideWriteEvenOfTheSameFrame) {
    theTransport.reset();
    uint64_t word = theTransport.readPosition();
    theTransport.setPosition(5000);  // a seek during the fill
    EXPECT_FALSE(theTransport.advancePosition(word, 6144));
    word = theTransport.readPosition();
    EXPECT_TRUE(theTransport.advancePosition(word, 6000));
    word = theTransport.readPosition();
    theTransport.setPosition(6000);  // a seek to the very frame the fill started from
    EXPECT_FALSE(theTransport.advancePosition(word, 7000));
    EXPECT_EQ(theTransport.position(), 6000);
    theTransport.reset();
}

}  // namespace
}  // namespace quoril
