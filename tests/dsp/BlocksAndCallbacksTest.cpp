#include "dsp/BufferCallbacks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "DspHarness.h"
#include "dsp/BlockFill.h"
#include "dsp/DspEngine.h"
#include "dsp/PlaybackThread.h"
#include "dsp/ResamplingPlaybackThread.h"

namespace quoril {
namespace {

TEST(BlockHandOff, CopiesEveryFrameAndGivesBackTheUsedUpBlockAlternately) {
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
        std::vector<int> requests;  // switch index * 10 + block, for each signalled switch
        for (int s = 0; s < 4 * k; ++s) {
            std::vector<int32_t> words = device.switchBuffer(timeInfo);
            for (int32_t i = 0; i < 2 * b; ++i) {
                int32_t word = s * 2 * b % (2 * n) + i + 1;  // blocks 0, 1, 0, 1: each frame once, in order
                ASSERT_EQ(words[i], s / k % 2 == 0 ? word : -word) << b << ": switch " << s << " word " << i;
            }
            if (device.event.waitFor(0)) {
                for (int block = 0; block < 2; ++block) {
                    if (theTransport.blockState[block].load() == BlockRequested) {
                        requests.push_back(s * 10 + block);
                        theTransport.blockState[block].store(BlockReady);  // as the thread would
                    }
                }
            }
        }
        EXPECT_EQ(requests, (std::vector<int>{(k - 1) * 10, (2 * k - 1) * 10 + 1, (3 * k - 1) * 10,
                                              (4 * k - 1) * 10 + 1}))
            << b;
        EXPECT_EQ(theTransport.lateBlocks.load(), 0);
    }
}

// The playback thread held back (its wakes diverted) for a number of block switches while the
// callbacks go on. Every pass the driver gets is either a whole block of the disc, next in
// order, or silence; a silent pass counts late; nothing is played twice or skipped.
struct LateCase {
    int held;  // block switches the thread misses
    int late;  // silent passes that follow: the other block covers one missed switch
};

class LatePlaybackThread : public testing::TestWithParam<LateCase> {};

TEST_P(LatePlaybackThread, PresentsWholeBlocksInOrderOrSilenceAndCountsTheSilence) {
    constexpr int32_t b = 512, n = 6144, k = n / b, steps = 10, holdFrom = 3;
    const std::vector<int32_t> samples = test::makeSamples(2 * 44100, 16, 2, 7);
    test::TestDisc disc(samples, 16, 44100);
    ASSERT_TRUE(disc.ok());
    test::DspHarness device(b, n, 44100);
    TransportState& t = theTransport;
    ASSERT_TRUE(device.start(PlaybackThread, disc.cd()));
    ASSERT_TRUE(device.wake(-1, CmdStart));
    ASSERT_TRUE(device.wake(-1, CmdPlay));
    NamedEvent elsewhere("elsewhere");
    auto served = [&] {
        for (auto& state : t.blockState) {
            if (state.load() == BlockRequested || state.load() == BlockFilling) {
                return false;
            }
        }
        return true;
    };

    int32_t next = 0;  // the disc frame the next played block must begin with
    int silent = 0;
    bool wasHeld = false;
    for (int step = 0; step < steps; ++step) {
        const bool held = step >= holdFrom && step < holdFrom + GetParam().held;
        t.dspEvent.store(held ? &elsewhere : &device.event);
        std::vector<int32_t> pass;
        for (int s = 0; s < k; ++s) {
            std::vector<int32_t> words = device.switchBuffer();
            pass.insert(pass.end(), words.begin(), words.end());
        }
        if (!held) {
            if (wasHeld) {
                device.event.signal();  // the wakes diverted meanwhile reach the thread now
            }
            ASSERT_TRUE(test::waitUntil(served)) << "step " << step;
        }
        wasHeld = held;
        if (step == 0 || std::all_of(pass.begin(), pass.end(), [](int32_t word) { return word == 0; })) {
            silent += step == 0 ? 0 : 1;  // the first pass is the silence before play began
            continue;
        }
        for (int32_t i = 0; i < 2 * n; ++i) {
            ASSERT_EQ(pass[i], samples[2 * next + i] * 65536) << "step " << step << " word " << i;
        }
        next += n;
    }
    EXPECT_EQ(silent, GetParam().late);
    EXPECT_EQ(t.lateBlocks.load(), GetParam().late);
    EXPECT_EQ(next, (steps - 1 - GetParam().late) * n) << "a block was skipped or repeated";
}

INSTANTIATE_TEST_SUITE_P(Schedules, LatePlaybackThread,
                         testing::Values(LateCase{0, 0}, LateCase{1, 0}, LateCase{3, 2}));

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
