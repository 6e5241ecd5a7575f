#include "dsp/DspEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "EngineSession.h"
#include "ReferenceResampler.h"
#include "SteppedDevice.h"
#include "TestDisc.h"
#include "asio/AsioSession.h"
#include "content/CdDescriptor.h"
#include "dsp/BlockFill.h"
#include "dsp/ResamplingPlaybackThread.h"
#include "dsp/TransportState.h"

namespace quoril {
namespace {

using test::EngineSession;
using test::waitUntil;

bool logHas(const EngineSession& session, const std::string& text) {
    return session.runLog().find(text) != std::string::npos;
}

// Waits until the disc has wrapped round and four more blocks have been filled, so that the
// driver has played at least two blocks from its start again.
bool playPastTheWrap(const EngineSession& session) {
    if (!waitUntil([&] { return logHas(session, "\tWav processed. Repeating...\r\n"); })) {
        return false;
    }
    uint32_t wakes = theTransport.wakesHandled.load();
    return waitUntil([&] { return theTransport.wakesHandled.load() >= wakes + 4; });
}

// ---- Set-up ----

TEST(DspEngineSetUp, OnTheCaptureDriverLogsItsBlockAndBecomesActive) {
    auto session = EngineSession::onCapture(512, 44100, 1);
    ASSERT_TRUE(session->open(44100)) << session->startLog();
    EXPECT_EQ(session->engine()->driverName, "Quoril Capture");
    EXPECT_EQ(theTransport.blockFrames, 6144);
    EXPECT_EQ(theTransport.outputRate.load(), 44100.0);
    const std::string log = session->startLog();
    EXPECT_NE(log.find("\r\nDSP starting...\r\n\tDSP Buffer (6144 samples or  139ms/ 7.2/   86.1) allocation "
                       "successful\r\n\r\nASIO Driver starting...\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("not optimal"), std::string::npos);
}

TEST(DspEngineSetUp, AVeryLargeDeviceBufferTakesTheBlocksFromTheHeapAndSaysSo) {
    auto session = EngineSession::onCapture(24000, 48000, 1);
    ASSERT_TRUE(session->open(48000)) << session->startLog();
    EXPECT_EQ(theTransport.blockFrames, 144000);
    EXPECT_NE(
        session->startLog().find("\r\nDSP starting...\r\n\tDSP Buffer allocation not optimal - try lowering "
                                 "ASIO latency\r\n\tDSP Buffer (144000 samples or 3000ms/ 0.3/    2.0) "
                                 "allocation successful\r\n"),
        std::string::npos)
        << session->startLog();
}

TEST(DspEngineSetUp, ALargeBufferThatStillFitsUsesTheReservedBlocks) {
    auto session = EngineSession::onCapture(16384, 44100, 1);
    ASSERT_TRUE(session->open(44100)) << session->startLog();
    EXPECT_EQ(theTransport.blockFrames, 98304);
    EXPECT_EQ(session->startLog().find("not optimal"), std::string::npos);
}

TEST(DspEngineSetUp, AnIncompleteResamplerInTheInstallationDirectoryLeavesTheEngineInactive) {
    auto session = EngineSession::onCapture(512, 44100, 1);
    std::filesystem::copy_file(test::buildDir() + "/tests/stand_in_resampler_without_src_reset.so",
                               session->drivers().dir().file("libsamplerate.so.0"));
    EXPECT_FALSE(session->open(44100));
    const std::string log = session->startLog();
    EXPECT_NE(
        log.find("\r\nDSP starting...\r\nDLL \"libsamplerate.so.0\": [src_reset] runtime function not found. "
                 "DLL is invalid.\r\n"),
        std::string::npos)
        << log;
    EXPECT_EQ(log.find("DSP Buffer"), std::string::npos);
}

TEST(DspEngineSetUp, AMissingDriverLeavesTheEngineInactiveWithTheSessionsReason) {
    test::DriverRegistry drivers;
    DiagnosticsLog log;
    DspEngine engine("No Such Driver", drivers.dir().path(), 44100, 0, 1, 0.0, log);
    EXPECT_FALSE(engine.active);
    EXPECT_EQ(engine.driverName, "");
    EXPECT_NE(log.snapshot().find("\r\nASIO Driver initialization FAILED!\r\n"), std::string::npos);
    EXPECT_EQ(log.snapshot().find("DSP starting"), std::string::npos);
    // Nothing runs, so nothing may be posted.
    engine.TogglePlay();
    engine.Stop();
    EXPECT_EQ(theTransport.transportCommand.load(), CmdNone);
}

// A driver that reports 24-bit samples is started before its channels are listed and refused;
// meanwhile its thread calls the callbacks, which must not write 32-bit words into its 3-byte
// samples.
TEST(DspEngineSetUp, ADriverWithNarrowSamplesIsRefusedWithoutItsBuffersBeingOverrun) {
    auto session = EngineSession::onCapture(512, 44100, 50);
    session->drivers().set("Quoril Capture", "SampleType", "17");
    session->drivers().save();
    EXPECT_FALSE(session->open(44100));
    EXPECT_NE(session->startLog().find("ASIO start FAILED.  Only 32 bit ASIO format supported."),
              std::string::npos)
        << session->startLog();
    EXPECT_FALSE(driverInfo().outputsAreInt32);
    // Let the driver's thread make a good number of buffer switches before the teardown.
    EXPECT_TRUE(waitUntil([&] {
        std::error_code ec;
        return std::filesystem::file_size(session->capturePath(), ec) > 64 * 1024 && !ec;
    }));
    session->end();
}

TEST(DspEngineStartThread, WithoutADiscOrWithAnInactiveDiscLeavesTheEngineInactive) {
    auto session = EngineSession::onCapture(512, 44100, 1);
    ASSERT_TRUE(session->open(44100));
    DiagnosticsLog log;
    session->engine()->StartThread(nullptr, -3.0, log);
    EXPECT_FALSE(session->engine()->active);
    EXPECT_EQ(log.snapshot(), "\r\nDSP Thread cannot start: CD is NULL (not defined).\r\n");
    EXPECT_EQ(theTransport.volumeDb.load(), -3.0);

    auto again = EngineSession::onCapture(512, 44100, 1);
    session->end();
    ASSERT_TRUE(again->open(44100));
    Settings settings;
    DiagnosticsLog discLog;
    CdDescriptor inactive(again->drivers().dir().file("missing.wav"), discLog, settings);
    ASSERT_FALSE(inactive.active.load());
    DiagnosticsLog log2;
    again->engine()->StartThread(&inactive, 0.0, log2);
    EXPECT_FALSE(again->engine()->active);
    EXPECT_EQ(again->engine()->cd, nullptr);
    EXPECT_EQ(log2.snapshot(), "\r\nDSP Thread cannot start: CD is inactive.\r\n");
}

TEST(DspEngineStartThread, TogglePlayBeforeTheThreadRunsChangesNothingAndTerminateStillDetachesTheDisc) {
    auto session = EngineSession::onCapture(512, 44100, 1);
    ASSERT_TRUE(session->open(44100));
    session->engine()->TogglePlay();
    session->engine()->Stop();
    EXPECT_EQ(theTransport.transportCommand.load(), CmdNone);
    session->engine()->cd = reinterpret_cast<CdDescriptor*>(0x1);  // as if attached
    session->engine()->Terminate();
    EXPECT_EQ(session->engine()->cd, nullptr);
    EXPECT_EQ(theTransport.transportCommand.load(), CmdNone);
}

struct ThreadChoice {
    const char* name;
    uint32_t discRate;
    double deviceRate;
    const char* announcement;
};

class DspEngineThreadChoice : public testing::TestWithParam<ThreadChoice> {};

TEST_P(DspEngineThreadChoice, PlaysAtTheDiscRateOnlyWhenTheRatesAreExactlyEqual) {
    test::TestDisc disc(test::discSamples(2 * GetParam().discRate, 16, 31), 16, GetParam().discRate);
    ASSERT_TRUE(disc.ok()) << disc.log();
    auto session = EngineSession::onCapture(512, GetParam().deviceRate, 1);
    ASSERT_TRUE(session->open(GetParam().deviceRate)) << session->startLog();
    ASSERT_TRUE(session->start(disc.cd())) << session->runLog();
    EXPECT_TRUE(session->engine()->threadRunning());
    EXPECT_EQ(session->engine()->cd, disc.cd());
    EXPECT_TRUE(logHas(*session, GetParam().announcement)) << session->runLog();
    session->end();
    EXPECT_FALSE(theTransport.threadRunning.load());
}

INSTANTIATE_TEST_SUITE_P(
    Rates, DspEngineThreadChoice,
    testing::Values(ThreadChoice{"Equal", 44100, 44100,
                                 "Playback starting (SRC upsampling is bypassed)...\r\n\r\n"},
                    ThreadChoice{"AlmostEqual", 44100, 44100.0001, "Playback starting using SRC...\r\n\r\n"},
                    ThreadChoice{"Different", 48000, 44100, "Playback starting using SRC...\r\n\r\n"}),
    [](const testing::TestParamInfo<ThreadChoice>& info) { return std::string(info.param.name); });

// ---- End to end on the capture driver ----

constexpr double kSpeed = 10;  // the capture driver's clock, times real time

struct CaptureCase {
    const char* name;
    int bits;
    double volumeDb;
    int phaseSign;
};

class PlaybackOnTheCaptureDriver : public testing::TestWithParam<CaptureCase> {};

TEST_P(PlaybackOnTheCaptureDriver, PlacesEverySampleExactlyAndRepeatsAfterTheZeroTail) {
    const CaptureCase& c = GetParam();
    const uint32_t rate = 44100;
    std::vector<int32_t> samples = test::discSamples(2 * rate + 777, c.bits, 41);
    const int32_t top = (1 << (c.bits - 1)) - 1;
    samples[0] = -top - 1;  // the most negative value first: it also marks where the disc starts
    samples[1] = 10000;
    samples[2] = top;
    samples[3] = -10000;
    test::TestDisc disc(samples, c.bits, rate);
    ASSERT_TRUE(disc.ok()) << disc.log();
    const long frames = static_cast<long>(samples.size() / 2);

    auto session = EngineSession::onCapture(512, rate, kSpeed);
    ASSERT_TRUE(session->open(rate, 1, c.volumeDb)) << session->startLog();
    const int32_t n = theTransport.blockFrames;
    theTransport.phaseSign.store(static_cast<int16_t>(c.phaseSign));
    ASSERT_TRUE(session->start(disc.cd())) << session->runLog();
    session->engine()->TogglePlay();
    ASSERT_TRUE(playPastTheWrap(*session)) << session->runLog();
    EXPECT_EQ(session->engine()->lateBlocks(), 0) << "the comparison below assumes no late block";
    session->end();

    std::vector<int32_t> captured = session->captured();
    const double scale = c.bits == 16 ? 65536.0 : 256.0;
    const double gain = c.phaseSign * std::pow(10.0, c.volumeDb / 20.0) * scale;
    auto expected = [&](int32_t s) {
        double product = s * gain;
        return product >= 2147483648.0 ? INT32_MIN : static_cast<int32_t>(std::trunc(product));
    };
    long start = test::firstSoundFrame(captured);
    ASSERT_GE(start, 0) << "nothing was played";
    EXPECT_EQ(start % n, 0) << "playback begins at a block boundary";
    const long blocks = (frames + n - 1) / n;
    ASSERT_GE(static_cast<long>(captured.size() / 2), start + blocks * n + n);
    for (long i = 0; i < 2 * frames; ++i) {
        ASSERT_EQ(captured[2 * start + i], expected(samples[i])) << "word " << i << " of the disc";
    }
    for (long i = 2 * frames; i < 2 * blocks * n; ++i) {
        ASSERT_EQ(captured[2 * start + i], 0) << "the zero tail, word " << i;
    }
    for (long i = 0; i < 2 * n; ++i) {
        ASSERT_EQ(captured[2 * (start + blocks * n) + i], expected(samples[i]))
            << "after the wrap, word " << i;
    }
    // The planted values.
    if (c.bits == 16 && c.volumeDb == 0.0 && c.phaseSign == 1) {
        EXPECT_EQ(captured[2 * start], INT32_MIN);
        EXPECT_EQ(captured[2 * start + 1], 10000 * 65536);
    }
    if (c.bits == 16 && c.volumeDb == 0.0 && c.phaseSign == -1) {
        EXPECT_EQ(captured[2 * start], INT32_MIN);  // -32,768 negated does not fit
        EXPECT_EQ(captured[2 * start + 2], -2147418112);
    }
    if (c.bits == 16 && c.volumeDb == -6.0) {
        EXPECT_EQ(captured[2 * start + 1], 328458065);
        EXPECT_EQ(captured[2 * start + 3], -328458065);
    }
    if (c.bits == 24 && c.volumeDb == 0.0 && c.phaseSign == 1) {
        EXPECT_EQ(captured[2 * start], INT32_MIN);
        EXPECT_EQ(captured[2 * start + 2], 8388607 * 256);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, PlaybackOnTheCaptureDriver,
                         testing::Values(CaptureCase{"SixteenBitAtZeroDb", 16, 0.0, 1},
                                         CaptureCase{"SixteenBitPhase180", 16, 0.0, -1},
                                         CaptureCase{"SixteenBitMinusSixDb", 16, -6.0, 1},
                                         CaptureCase{"TwentyFourBitAtZeroDb", 24, 0.0, 1},
                                         CaptureCase{"TwentyFourBitMinusSixDbPhase180", 24, -6.0, -1}),
                         [](const testing::TestParamInfo<CaptureCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(PlaybackOnTheCaptureDriverStopMode, HaltsSilentAtTheFrameCountAndSaysSoOnce) {
    const uint32_t rate = 44100;
    std::vector<int32_t> samples = test::discSamples(2 * rate + 123, 16, 42);
    samples[0] = 1234;
    test::TestDisc disc(samples, 16, rate);
    ASSERT_TRUE(disc.ok()) << disc.log();
    const long frames = static_cast<long>(samples.size() / 2);

    auto session = EngineSession::onCapture(512, rate, kSpeed);
    ASSERT_TRUE(session->open(rate)) << session->startLog();
    const int32_t n = theTransport.blockFrames;
    theTransport.repeatAtEnd.store(false);
    ASSERT_TRUE(session->start(disc.cd()));
    session->engine()->TogglePlay();
    ASSERT_TRUE(waitUntil([&] { return logHas(*session, "\tWav processed.\r\n"); })) << session->runLog();
    // A few more block requests come and go without another end.
    uint32_t wakes = theTransport.wakesHandled.load();
    ASSERT_TRUE(waitUntil([&] { return theTransport.wakesHandled.load() >= wakes + 3; }));
    EXPECT_EQ(theTransport.playing.load(), 0);
    EXPECT_EQ(theTransport.position(), frames);
    EXPECT_EQ(test::countOf(session->runLog(), "\tWav processed.\r\n"), 1) << session->runLog();
    EXPECT_EQ(test::countOf(session->runLog(), "Repeating"), 0);
    for (int b = 0; b < 2; ++b) {
        for (int32_t i = 0; i < 2 * n; ++i) {
            ASSERT_EQ(loadWord(theTransport.dspBlocks[b] + i), 0) << "block " << b << " word " << i;
        }
    }
    session->end();

    std::vector<int32_t> captured = session->captured();
    long start = test::firstSoundFrame(captured);
    ASSERT_GE(start, 0);
    // What was heard is the disc, exactly, up to the moment both blocks were cleared, which is
    // at most two blocks before its end; silence follows.
    long heard = 0;
    while (start + heard < static_cast<long>(captured.size() / 2) && heard < frames &&
           captured[2 * (start + heard)] == samples[2 * heard] * 65536 &&
           captured[2 * (start + heard) + 1] == samples[2 * heard + 1] * 65536) {
        ++heard;
    }
    EXPECT_GE(heard, frames - 2 * n - 5);
    for (size_t i = 2 * (start + heard); i < captured.size(); ++i) {
        ASSERT_EQ(captured[i], 0) << "after the end, word " << i;
    }
}

TEST(PlaybackOnTheCaptureDriverStop, StopHaltsRewindsAndSaysSo) {
    const uint32_t rate = 44100;
    test::TestDisc disc(test::discSamples(4 * rate, 16, 43), 16, rate);
    ASSERT_TRUE(disc.ok());
    auto session = EngineSession::onCapture(512, rate, kSpeed);
    ASSERT_TRUE(session->open(rate));
    ASSERT_TRUE(session->start(disc.cd()));
    session->engine()->TogglePlay();
    ASSERT_TRUE(waitUntil([&] { return theTransport.position() >= 3 * theTransport.blockFrames; }));
    session->engine()->Stop();
    ASSERT_TRUE(waitUntil([&] { return theTransport.playing.load() == 0; }));
    EXPECT_EQ(theTransport.position(), 0);
    EXPECT_TRUE(logHas(*session, "Playback stopped.\r\n\r\n"));
    session->engine()->TogglePlay();
    ASSERT_TRUE(waitUntil([&] { return theTransport.playing.load() == 1; }));
    EXPECT_LE(theTransport.position(), 2 * theTransport.blockFrames);
}

TEST(DspEngineTerminate, ReportsLateBlocksOnlyWhenThereWereAny) {
    test::TestDisc disc(test::discSamples(2 * 44100, 16, 44), 16, 44100);
    ASSERT_TRUE(disc.ok());
    auto session = EngineSession::onCapture(512, 44100, 1);
    ASSERT_TRUE(session->open(44100));
    ASSERT_TRUE(session->start(disc.cd()));
    theTransport.lateBlocks.store(3);
    session->engine()->Terminate();
    EXPECT_NE(session->runLog().find("Late DSP blocks: 3\r\n"), std::string::npos) << session->runLog();
    ASSERT_TRUE(waitUntil([] { return !theTransport.threadRunning.load(); }));

    auto quiet = EngineSession::onCapture(512, 44100, 1);
    session->end();
    ASSERT_TRUE(quiet->open(44100));
    ASSERT_TRUE(quiet->start(disc.cd()));
    quiet->engine()->Terminate();
    EXPECT_EQ(quiet->runLog().find("Late DSP blocks"), std::string::npos);
}

// ---- Resampling end to end ----

struct ResampleCase {
    const char* name;
    uint32_t discRate;
    double deviceRate;
    long bufferSize;
    uint16_t converter;
    double speed;
};

class ResamplingOnTheCaptureDriver : public testing::TestWithParam<ResampleCase> {};

TEST_P(ResamplingOnTheCaptureDriver, GivesWhatADirectRunOfTheConverterGives) {
    const ResampleCase& c = GetParam();
    std::vector<int32_t> samples = test::discSamples(2 * c.discRate, 16, 45);
    test::TestDisc disc(samples, 16, c.discRate);
    ASSERT_TRUE(disc.ok()) << disc.log();
    auto session = EngineSession::onCapture(c.bufferSize, c.deviceRate, c.speed);
    ASSERT_TRUE(session->open(c.deviceRate, c.converter)) << session->startLog();
    const int32_t n = theTransport.blockFrames;
    ASSERT_TRUE(session->start(disc.cd()));
    session->engine()->TogglePlay();
    ASSERT_TRUE(playPastTheWrap(*session)) << session->runLog();
    EXPECT_EQ(session->engine()->lateBlocks(), 0) << "the comparison below assumes no late block";
    session->end();

    uint32_t fileRate = 0;
    std::vector<int32_t> captured = session->captured(&fileRate);
    EXPECT_EQ(fileRate, static_cast<uint32_t>(c.deviceRate));
    const long outputFrames = static_cast<long>(2 * c.deviceRate) + n;  // across the end of the disc
    std::vector<int32_t> expected = test::referenceRun(samples, 16, c.discRate, c.deviceRate, n,
                                                       ResamplerInputFrames(c.discRate, c.deviceRate, n),
                                                       c.converter, 2147483647.0, outputFrames);
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
                         testing::Values(ResampleCase{"From48000To44100", 48000, 44100, 512, 0, 4},
                                         ResampleCase{"From44100To176400", 44100, 176400, 1024, 1, 2}),
                         [](const testing::TestParamInfo<ResampleCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace quoril
