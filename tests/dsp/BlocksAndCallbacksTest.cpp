#include "dsp/BufferCallbacks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "DspHarness.h"
#include "dsp/BlockFill.h"
#include "dsp/DspEngine.h"
#include "dsp/ResamplingPlaybackThread.h"

namespace quoril {
namespace {

TEST(BlockHandOff, CopiesEveryFrameAndAsksForTheUsedUpBlockAlternately) {
    const struct {
        int32_t buffer;
        double rate;
        bool timeInfo;
    } cases[] = {{512, 44100, false}, {441, 44100, true}, {64, 48000, false}, {1024, 176400, true}};
    for (const auto& [b, rate, timeInfo] : cases) {
        const int32_t n = DspEngine::ComputeBlockFrames(b, rate), k = n / b;
        test::DspHarness device(b, n, rate);
        for (int32_t i = 0; i < 2 * n; ++i) {  // every word of both blocks its own value
            theTransport.dspBlocks[0][i] = i + 1;
            theTransport.dspBlocks[1][i] = -i - 1;
        }
        std::vector<int> requests;  // switch index * 10 + request, for each signalled switch
        for (int s = 0; s < 4 * k; ++s) {
            std::vector<int32_t> words = device.switchBuffer(timeInfo);
            for (int32_t i = 0; i < 2 * b; ++i) {
                int32_t word = s * 2 * b % (2 * n) + i + 1;  // blocks 0, 1, 0, 1: each frame once, in order
                ASSERT_EQ(words[i], s / k % 2 == 0 ? word : -word) << b << ": switch " << s << " word " << i;
            }
            if (device.event.waitFor(0)) {
                requests.push_back(s * 10 + theTransport.deviceRequest.exchange(ReqNone));
            }
        }
        EXPECT_EQ(requests, (std::vector<int>{(k - 1) * 10 + 2, (2 * k - 1) * 10 + 3, (3 * k - 1) * 10 + 2,
                                              (4 * k - 1) * 10 + 3}))
            << b;
    }
}

// A block the driver begins while its refill is still outstanding is a dropout the listener hears;
// it counts only while the thread is playing.
TEST(LateBlocks, AreCountedWhenTheDriverBeginsABlockNotYetRefilledWhilePlaying) {
    for (int16_t playing : {0, 1}) {
        test::DspHarness device(512, 6144, 44100);
        theTransport.playing.store(playing);
        // Blocks 0 and 1 are asked for after switches 11 and 23 and never refilled; the driver
        // begins them again at switches 24 and 36.
        for (int s = 0; s < 4 * 12; ++s) {
            device.switchBuffer();
        }
        EXPECT_EQ(theTransport.lateBlocks.load(), playing ? 2 : 0) << "playing " << playing;
    }
}

TEST(HostMessage, AnswersAndTurnsResetResyncBufferSizeAndRateNoticesIntoSignalledRequests) {
    test::DspHarness device(512, 6144, 44100);
    // The request a notice left (ReqNone when none) must have been signalled exactly then.
    auto left = [&](int16_t request) {
        EXPECT_EQ(theTransport.deviceRequest.exchange(ReqNone), request);
        EXPECT_EQ(device.event.waitFor(0), request != ReqNone);
    };
    auto ask = [&](long selector, long value, long answer, int16_t request) {
        EXPECT_EQ(asioMessage(selector, value, nullptr, nullptr), answer) << selector << " " << value;
        left(request);
    };
    const long q = kAsioSelectorSupported;
    for (long s :
         {kAsioEngineVersion, kAsioResetRequest, kAsioBufferSizeChange, kAsioResyncRequest,
          kAsioLatenciesChanged, kAsioSupportsTimeInfo, kAsioSupportsTimeCode, kAsioSupportsInputMonitor}) {
        ask(q, s, 1, ReqNone);
    }
    for (long s : {long{kAsioMMCCommand}, q, long{kAsioSupportsInputGain}, long{kAsioOverload}, 99L,
                   long{kAsioLatenciesChanged}, long{kAsioSupportsTimeInfo}, long{kAsioSupportsTimeCode}}) {
        ask(s, 0, 0, ReqNone);
    }
    for (long s : {long{kAsioMMCCommand}, q, long{kAsioSupportsInputGain}, long{kAsioOverload}}) {
        ask(q, s, 0, ReqNone);
    }
    ask(kAsioEngineVersion, 0, 2, ReqNone);
    ask(kAsioResetRequest, 0, 1, ReqDriverReset);
    ask(kAsioResyncRequest, 0, 1, ReqDriverReset);
    ask(kAsioBufferSizeChange, 256, 1, ReqSettingsChanged);
    // Only a rate other than the session's asks the playback thread to end.
    for (double rate : {44100.0, 48000.0, 44100.0001, std::nan("")}) {
        sampleRateDidChange(rate);
        left(rate == 44100.0 ? ReqNone : ReqSettingsChanged);
    }
}

TEST(ComputeBlockFrames, GivesTheBlockSizeOfTheTableForEachBufferAndRate) {
    // clang-format off
    const double table[][3] = {  // buffer, rate, block
        {64, 44100, 6144}, {100, 44100, 6400}, {512, 96000, 12288}, {512, 192000, 24576}, {1000, 44100, 8000},
        {1536, 192000, 18432}, {2048, 192000, 12288}, {4096, 44100, 24576}, {512, 44100, 6144},
        {1024, 176400, 24576}, {16384, 44100, 98304}, {24000, 48000, 144000},
        // powers of two from 32 to 1,024: 6,144 frames times the rate factor
        {32, 44100, 6144}, {128, 48000, 6144}, {256, 88200, 12288}, {1024, 352800, 49152}, {32, 384000, 49152},
        // rate factor boundaries
        {512, 88199.9, 6144}, {512, 88200, 12288}, {512, 176399, 12288}, {512, 352799, 24576},
        // buffers that are not multiples of 32, and the caps above 1,024 frames
        {441, 44100, 7056}, {48, 44100, 6144}, {1025, 384000, 8200}, {2047, 384000, 16376}, {2048, 384000, 12288}};
    // clang-format on
    for (const auto& [buffer, rate, block] : table) {
        EXPECT_EQ(DspEngine::ComputeBlockFrames(static_cast<int32_t>(buffer), rate), block)
            << buffer << " at " << rate;
    }
}

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
