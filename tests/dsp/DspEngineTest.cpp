#include "dsp/DspEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "EngineSession.h"
#include "ReferenceResampler.h"
#include "TestDisc.h"
#include "content/CdDescriptor.h"
#include "dsp/BlockFill.h"
#include "dsp/ResamplingPlaybackThread.h"

namespace quoril {
namespace {

using test::EngineSession;
using test::waitUntil;

struct SetUpCase {
    long buffer;
    double rate;
    int32_t blockFrames;
    const char* log;
};

class DspEngineBlocks : public testing::TestWithParam<SetUpCase> {};

TEST_P(DspEngineBlocks, SizesTheBlocksAndLogsWhereTheyCameFrom) {
    EngineSession session(GetParam().buffer, GetParam().rate, 1);
    ASSERT_TRUE(session.open(GetParam().rate)) << session.startLog();
    EXPECT_EQ(session.engine()->driverName, "Quoril Capture");
    EXPECT_EQ(theTransport.blockFrames, GetParam().blockFrames);
    EXPECT_NE(session.startLog().find(GetParam().log), std::string::npos) << session.startLog();
}

INSTANTIATE_TEST_SUITE_P(
    Buffers, DspEngineBlocks,
    testing::Values(
        SetUpCase{512, 44100, 6144,
                  "\r\nDSP starting...\r\n\tDSP Buffer (6144 samples or  139ms/ 7.2/   86.1) allocation "
                  "successful\r\n\r\nASIO Driver starting...\r\n"},
        SetUpCase{16384, 44100, 98304, "\r\nDSP starting...\r\n\tDSP Buffer (98304 samples or "},
        SetUpCase{24000, 48000, 144000,
                  "\r\nDSP starting...\r\n\tDSP Buffer allocation not optimal - try lowering ASIO "
                  "latency\r\n\tDSP Buffer (144000 samples or 3000ms/ 0.3/    2.0) allocation "
                  "successful\r\n"}));

// A driver that reports 24-bit samples is started before its channels are listed and refused;
// meanwhile its thread calls the callbacks, which must not write 32-bit words into its 3-byte
// samples.
TEST(DspEngineSetUp, ADriverWithNarrowSamplesIsRefusedWithoutItsBuffersBeingOverrun) {
    EngineSession session(512, 44100, 50);
    session.drivers().set("Quoril Capture", "SampleType", "17");
    EXPECT_FALSE(session.open(44100));
    EXPECT_NE(session.startLog().find("ASIO start FAILED.  Only 32 bit ASIO format supported."),
              std::string::npos)
        << session.startLog();
    EXPECT_FALSE(driverInfo().outputsAreInt32);
    // Let the driver's thread make a good number of buffer switches before the teardown.
    EXPECT_TRUE(waitUntil([&] {
        std::error_code ec;
        return std::filesystem::file_size(session.capturePath(), ec) > 64 * 1024 && !ec;
    }));
    session.end();
}

TEST(DspEngineStartThread, WithoutADiscOrWithAnInactiveDiscLeavesTheEngineInactive) {
    for (bool withDisc : {false, true}) {
        EngineSession session(512, 44100, 1);
        ASSERT_TRUE(session.open(44100));
        Settings settings;
        DiagnosticsLog discLog, log;
        CdDescriptor inactive(session.drivers().dir().file("missing.wav"), discLog, settings);
        session.engine()->StartThread(withDisc ? &inactive : nullptr, -3.0, log);
        EXPECT_FALSE(session.engine()->active);
        EXPECT_EQ(session.engine()->cd, nullptr);
        EXPECT_EQ(theTransport.volumeDb.load(), -3.0);
        EXPECT_EQ(log.snapshot(), withDisc ? "\r\nDSP Thread cannot start: CD is inactive.\r\n"
                                           : "\r\nDSP Thread cannot start: CD is NULL (not defined).\r\n");
    }
}

struct ThreadChoice {
    uint32_t discRate;
    double deviceRate;
    int32_t lateBlocks;
    const char* logEnd;
};

class DspEngineThreadChoice : public testing::TestWithParam<ThreadChoice> {};

TEST_P(DspEngineThreadChoice,
       PlaysAtTheDiscRateOnlyWhenTheRatesAreExactlyEqualAndEndsReportingOnlyLateBlocks) {
    test::TestDisc disc(test::makeSamples(2 * GetParam().discRate), 16, GetParam().discRate);
    ASSERT_TRUE(disc.ok()) << disc.log();
    EngineSession session(512, GetParam().deviceRate, 1);
    ASSERT_TRUE(session.open(GetParam().deviceRate)) << session.startLog();
    ASSERT_TRUE(session.start(disc.cd())) << session.runLog();
    EXPECT_EQ(session.engine()->cd, disc.cd());
    theTransport.lateBlocks.store(GetParam().lateBlocks);
    session.engine()->Terminate();
    EXPECT_EQ(session.engine()->cd, nullptr);
    ASSERT_TRUE(waitUntil([] { return !theTransport.threadRunning.load(); }));
    EXPECT_TRUE(session.runLog().ends_with(GetParam().logEnd)) << session.runLog();
}

INSTANTIATE_TEST_SUITE_P(
    Rates, DspEngineThreadChoice,
    testing::Values(
        ThreadChoice{44100, 44100, 0, "Playback starting (SRC upsampling is bypassed)...\r\n\r\n"},
        ThreadChoice{44100, 44100.0001, 0, "Playback starting using SRC...\r\n\r\n"},
        ThreadChoice{48000, 44100, 3, "Playback starting using SRC...\r\n\r\nLate DSP blocks: 3\r\n"}));

// ---- End to end on the capture driver, running at ten times real time ----

struct CaptureCase {
    int bits;
    double volumeDb;
    int phaseSign;
    int32_t planted;  // the disc's second sample
    int32_t word;     // what the driver must get for it
};

class PlaybackOnTheCaptureDriver : public testing::TestWithParam<CaptureCase> {};

TEST_P(PlaybackOnTheCaptureDriver, PlacesEverySampleExactlyAndRepeatsAfterTheZeroTail) {
    const CaptureCase& c = GetParam();
    std::vector<int32_t> samples = test::makeSamples(2 * 44100 + 777, c.bits, 2, 41);
    samples[0] = -(1 << (c.bits - 1));  // the most negative value first: it marks where the disc starts
    samples[1] = c.planted;
    test::TestDisc disc(samples, c.bits, 44100);
    ASSERT_TRUE(disc.ok()) << disc.log();
    const long frames = static_cast<long>(samples.size() / 2);

    EngineSession session(512, 44100, 10);
    ASSERT_TRUE(session.open(44100, 1, c.volumeDb)) << session.startLog();
    const int32_t n = theTransport.blockFrames;
    theTransport.phaseSign.store(static_cast<int16_t>(c.phaseSign));
    ASSERT_TRUE(session.start(disc.cd())) << session.runLog();
    session.engine()->TogglePlay();
    ASSERT_TRUE(session.waitFor("\tWav processed. Repeating...\r\n", 4)) << session.runLog();
    EXPECT_EQ(session.engine()->lateBlocks(), 0) << "the comparison below assumes no late block";
    session.end();

    std::vector<int32_t> captured = session.captured();
    const double gain = c.phaseSign * std::pow(10.0, c.volumeDb / 20.0) * (c.bits == 16 ? 65536.0 : 256.0);
    long start = test::firstSoundFrame(captured);
    ASSERT_GE(start, 0) << "nothing was played";
    EXPECT_EQ(start % n, 0) << "playback begins at a block boundary";
    EXPECT_EQ(captured[2 * start + 1], c.word);
    // The disc, its zero tail up to the end of its last block, and the disc again.
    const long blocks = (frames + n - 1) / n;
    ASSERT_GE(static_cast<long>(captured.size() / 2), start + blocks * n + n);
    for (long i = 0; i < 2 * (blocks * n + n); ++i) {
        long f = i < 2 * blocks * n ? i : i - 2 * blocks * n;
        double product = f < 2 * frames ? samples[f] * gain : 0.0;
        int32_t expected = product >= 2147483648.0 ? INT32_MIN : static_cast<int32_t>(std::trunc(product));
        ASSERT_EQ(captured[2 * start + i], expected) << "word " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PlaybackOnTheCaptureDriver,
                         testing::Values(CaptureCase{16, 0.0, 1, 10000, 10000 * 65536},
                                         CaptureCase{16, 0.0, -1, -32768, INT32_MIN},
                                         CaptureCase{16, -6.0, 1, 10000, 328458065},
                                         CaptureCase{24, 0.0, 1, 8388607, 8388607 * 256},
                                         CaptureCase{24, -6.0, -1, 8388607, -1076291260}));

TEST(PlaybackOnTheCaptureDriverStopMode, HaltsSilentAtTheFrameCountAndSaysSoOnce) {
    std::vector<int32_t> samples = test::makeSamples(2 * 44100 + 123, 16, 2, 42);
    samples[0] = 1234;
    test::TestDisc disc(samples, 16, 44100);
    ASSERT_TRUE(disc.ok()) << disc.log();
    const long frames = static_cast<long>(samples.size() / 2);

    EngineSession session(512, 44100, 10);
    ASSERT_TRUE(session.open(44100)) << session.startLog();
    const int32_t n = theTransport.blockFrames;
    theTransport.repeatAtEnd.store(false);
    ASSERT_TRUE(session.start(disc.cd()));
    session.engine()->TogglePlay();
    // A few more block requests come and go without another end.
    ASSERT_TRUE(session.waitFor("\tWav processed.\r\n", 3)) << session.runLog();
    EXPECT_EQ(theTransport.playing.load(), 0);
    EXPECT_EQ(theTransport.position(), frames);
    EXPECT_EQ(test::countOf(session.runLog(), "\tWav processed."), 1) << session.runLog();
    for (int32_t i = 0; i < 2 * n; ++i) {
        ASSERT_EQ(loadWord(theTransport.dspBlocks[0] + i), 0) << "block 0 word " << i;
        ASSERT_EQ(loadWord(theTransport.dspBlocks[1] + i), 0) << "block 1 word " << i;
    }
    session.end();

    std::vector<int32_t> captured = session.captured();
    long start = test::firstSoundFrame(captured);
    ASSERT_GE(start, 0);
    // The disc up to the moment both blocks were cleared, at most two blocks before its end;
    // then silence.
    long heard = 0;
    while (heard < frames && captured[2 * (start + heard)] == samples[2 * heard] * 65536) {
        ++heard;
    }
    EXPECT_GE(heard, frames - 2 * n);
    EXPECT_EQ(
        test::firstSoundFrame(std::vector<int32_t>(captured.begin() + 2 * (start + heard), captured.end())),
        -1);
}

struct ResampleCase {
    uint32_t discRate;
    double deviceRate;
    long bufferSize;
    uint16_t converter;
    int bits;
    double volumeDb;
    int phaseSign;
};

class ResamplingOnTheCaptureDriver : public testing::TestWithParam<ResampleCase> {};

TEST_P(ResamplingOnTheCaptureDriver, GivesWhatADirectRunOfTheConverterGives) {
    const ResampleCase& c = GetParam();
    std::vector<int32_t> samples = test::makeSamples(2 * c.discRate, c.bits, 2, 45);
    for (int i = 0; i < 40; ++i) {  // full scale, where the clipping shows
        samples[i] = (i % 4 < 2) ? (1 << (c.bits - 1)) - 1 : -(1 << (c.bits - 1));
    }
    test::TestDisc disc(samples, c.bits, c.discRate);
    ASSERT_TRUE(disc.ok()) << disc.log();
    EngineSession session(c.bufferSize, c.deviceRate, 2);
    ASSERT_TRUE(session.open(c.deviceRate, c.converter, c.volumeDb)) << session.startLog();
    const int32_t n = theTransport.blockFrames;
    theTransport.phaseSign.store(static_cast<int16_t>(c.phaseSign));
    ASSERT_TRUE(session.start(disc.cd()));
    session.engine()->TogglePlay();
    ASSERT_TRUE(session.waitFor("\tWav processed. Repeating...\r\n", 4)) << session.runLog();
    EXPECT_EQ(session.engine()->lateBlocks(), 0) << "the comparison below assumes no late block";
    session.end();

    uint32_t fileRate = 0;
    std::vector<int32_t> captured = session.captured(&fileRate);
    EXPECT_EQ(fileRate, static_cast<uint32_t>(c.deviceRate));
    const long outputFrames = static_cast<long>(2 * c.deviceRate) + n;  // across the end of the disc
    double gain = c.phaseSign * std::pow(10.0, c.volumeDb / 20.0) * 2147483647.0;
    std::vector<int32_t> expected = test::referenceRun(samples, c.bits, c.discRate, c.deviceRate, n,
                                                       ResamplerInputFrames(c.discRate, c.deviceRate, n),
                                                       c.converter, gain, outputFrames);
    long got0 = test::firstSoundFrame(captured);
    long want0 = test::firstSoundFrame(expected);
    ASSERT_GE(got0, 0);
    ASSERT_GE(want0, 0);
    ASSERT_GE(static_cast<long>(captured.size() / 2) - got0, outputFrames - want0);
    for (long i = 0; i < 2 * (outputFrames - want0); ++i) {
        ASSERT_EQ(captured[2 * got0 + i], expected[2 * want0 + i]) << "word " << i << " of the conversion";
    }
}

INSTANTIATE_TEST_SUITE_P(Conversions, ResamplingOnTheCaptureDriver,
                         testing::Values(ResampleCase{48000, 44100, 512, 0, 16, 0.0, 1},
                                         ResampleCase{44100, 176400, 1024, 1, 16, 0.0, 1},
                                         ResampleCase{44100, 96000, 512, 1, 24, -3.5, -1}));

// ---- Driver notices, on the fault driver ----

// The engine on the fault driver: 512-frame buffers at 44,100 Hz (blocks of 6,144 frames).
struct NoticeCase {
    const char* event;
    const char* rate;
    const char* message;
};

class DriverNoticeEndsPlayback : public testing::TestWithParam<NoticeCase> {};

TEST_P(DriverNoticeEndsPlayback, WithItsMessageAndTheThreadGone) {
    test::TestDisc disc(test::makeSamples(2 * 44100), 16, 44100);
    ASSERT_TRUE(disc.ok()) << disc.log();
    test::EngineSession session;
    session.drivers().setDword("Fault", "BufferSize", 512);
    session.drivers().set("Fault", "Speed", "10");
    session.drivers().set("Fault", "Event", GetParam().event);
    session.drivers().setDword("Fault", "EventAfter", 40);  // buffer switches before the notice
    session.drivers().set("Fault", "EventRate", GetParam().rate);
    ASSERT_TRUE(session.open(44100)) << session.startLog();
    ASSERT_TRUE(session.start(disc.cd())) << session.runLog();
    session.engine()->TogglePlay();
    ASSERT_TRUE(waitUntil([] { return !theTransport.threadRunning.load(); })) << session.runLog();
    EXPECT_TRUE(session.runLog().ends_with(GetParam().message)) << session.runLog();
    EXPECT_EQ(test::countOf(session.runLog(), "Please restart player."), 1);
    // Nothing is posted to a thread that is gone.
    session.engine()->TogglePlay();
    EXPECT_EQ(theTransport.transportCommand.load(), CmdNone);
}

INSTANTIATE_TEST_SUITE_P(
    Notices, DriverNoticeEndsPlayback,
    testing::Values(
        NoticeCase{"reset", "", "ASIO driver requested a Reset. Please restart player.\r\n"},
        NoticeCase{"resync", "", "ASIO driver requested a Reset. Please restart player.\r\n"},
        NoticeCase{"buffersize", "",
                   "ASIO buffer settings (Rate or Latency) have changed. Please restart player.\r\n"},
        NoticeCase{"rate", "48000",
                   "ASIO buffer settings (Rate or Latency) have changed. Please restart player.\r\n"}));

TEST(DriverBlockRequests, AlternateBetweenTheTwoBlocksOncePerTwelveBuffers) {
    // No playback thread: the test takes the requests itself, as the thread would.
    test::EngineSession session;
    session.drivers().setDword("Fault", "BufferSize", 512);
    session.drivers().set("Fault", "Speed", "2");
    ASSERT_TRUE(session.open(44100)) << session.startLog();
    ASSERT_EQ(theTransport.blockFrames, 6144);
    NamedEvent* event = theTransport.dspEvent.load();
    ASSERT_NE(event, nullptr);
    std::vector<int16_t> requests;
    for (int i = 0; i < 7; ++i) {
        ASSERT_TRUE(event->waitFor(5000)) << "no block request from the driver";
        requests.push_back(theTransport.deviceRequest.exchange(ReqNone));
    }
    // The first wake may carry a request from before the wait began; from then on: 2, 3, 2, 3 ...
    for (size_t i = 2; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i], requests[i - 1] == ReqFillBlock0 ? ReqFillBlock1 : ReqFillBlock0) << i;
    }
    session.end();
}

// ---- Stress ----

// Transport operations from the window thread while the capture driver runs faster than real
// time: each one must be carried out (none lost or overwritten by the playback thread), and the
// playback thread must keep up. Built with -DQUORIL_SANITIZE=thread it also shows any data race.
TEST(DspEngineStress, ThousandsOfTransportOperationsAreAllCarriedOutWithoutALateBlock) {
    const uint32_t rate = 44100;
    const long frames = 10 * rate;
    test::TestDisc disc(test::makeSamples(frames, 16, 2, 61), 16, rate);
    ASSERT_TRUE(disc.ok()) << disc.log();
    test::EngineSession session(512, rate, 6);
    ASSERT_TRUE(session.open(rate)) << session.startLog();
    ASSERT_TRUE(session.start(disc.cd())) << session.runLog();
    DspEngine& engine = *session.engine();
    TransportState& t = theTransport;
    const int32_t n = t.blockFrames;

    std::mt19937 random(12345);
    int toggles = 0, stops = 0, seeks = 0, volumes = 0, phases = 0;
    for (int i = 0; i < 2000; ++i) {
        unsigned op = random() % 20;
        if (op < 8) {
            int16_t expected = t.playing.load() == 1 ? 0 : 1;
            engine.TogglePlay();
            ASSERT_TRUE(waitUntil([&] {
                return t.playing.load() == expected && t.transportCommand.load() == 0;
            })) << "toggle "
                << i << " was lost";
            ++toggles;
        } else if (op < 10) {
            uint32_t wakes = t.wakesHandled.load();
            engine.Stop();
            ASSERT_TRUE(waitUntil([&] {
                return t.wakesHandled.load() != wakes && t.transportCommand.load() == 0 &&
                       t.playing.load() == 0;
            })) << "stop "
                << i << " was lost";
            ASSERT_EQ(t.position(), 0) << "stop " << i << " did not rewind";
            ++stops;
        } else if (op < 15) {
            t.volumeDb.store(-static_cast<double>(random() % 201) / 2.0);
            ++volumes;
        } else if (op < 18) {
            t.phaseSign.store(static_cast<int16_t>(-t.phaseSign.load()));
            ++phases;
        } else if (t.playing.load() == 1) {
            // A seek to a frame off the current block grid: a lost seek would leave the grid.
            int32_t now = t.position();
            int32_t target = static_cast<int32_t>(random() % static_cast<unsigned>(frames - 20 * n));
            if ((target - now) % n == 0) {
                ++target;
            }
            uint32_t wakes = t.wakesHandled.load();
            t.setPosition(target);
            ASSERT_TRUE(waitUntil([&] { return t.wakesHandled.load() >= wakes + 2; }));
            int32_t after = t.position();
            ASSERT_GT(after, target) << "seek " << i;
            ASSERT_EQ((after - target) % n, 0) << "seek " << i << " to " << target << " was overwritten";
            ++seeks;
        }
    }
    EXPECT_GT(toggles, 500);
    EXPECT_GT(stops, 100);
    EXPECT_GT(seeks, 20);
    EXPECT_GT(volumes + phases, 500);
    EXPECT_EQ(engine.lateBlocks(), 0) << "the playback thread fell behind the driver";
    EXPECT_EQ(test::countOf(session.runLog(), "Playback stopped.\r\n\r\n"), stops);
}

}  // namespace
}  // namespace quoril
