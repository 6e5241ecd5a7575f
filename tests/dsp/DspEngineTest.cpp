#include "dsp/DspEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "DspHarness.h"
#include "asio/AsioSession.h"
#include "asio/DriverTestSupport.h"
#include "content/CdDescriptor.h"
#include "dsp/BlockFill.h"
#include "dsp/ResamplerLibrary.h"
#include "dsp/ResamplingPlaybackThread.h"
#include "platform/CFormat.h"

namespace quoril {
namespace {

using test::waitUntil;

// A play session as the window runs it, on the capture driver (registered in a temporary
// registry, writing capturePath at `speed` times real time), with its start-up and running logs.
struct EngineSession {
    EngineSession(long bufferSize, double deviceRate, double speed) {
        drivers.addCaptureDriver();
        drivers.set(test::kCaptureName, "File", capturePath);
        drivers.set(test::kCaptureName, "Speed", cformat("%g", speed));
        drivers.setDword(test::kCaptureName, "BufferSize", static_cast<uint32_t>(bufferSize));
        drivers.set(test::kCaptureName, "Rate", cformat("%.4f", deviceRate));
    }
    ~EngineSession() { end(); }
    // Builds the engine (installation directory = the temporary directory).
    bool open(double outputRate, uint16_t converterType = 1, double volumeDb = 0.0) {
        drivers.save();
        engine = std::make_unique<DspEngine>(test::kCaptureName, drivers.dir().path(), outputRate, 0,
                                             converterType, volumeDb, startLog);
        return engine->active;
    }
    // StartThread with the disc, then waits for the thread to announce itself.
    bool start(const test::TestDisc& disc) {
        engine->StartThread(disc.cd(), theTransport.volumeDb.load(), log);
        return disc.ok() &&
               waitUntil([&] { return runLog().find("Playback starting") != std::string::npos; });
    }
    void end() {  // as the window's exit path does
        if (engine) {
            engine->Terminate();
            engine.reset();
        }
    }
    std::string runLog() {
        engine->drainLog();  // as the window's timer does
        return log.snapshot();
    }

    test::DriverRegistry drivers;
    std::string capturePath = drivers.dir().file("capture.wav");
    DiagnosticsLog startLog, log;
    std::unique_ptr<DspEngine> engine;
};

// A driver that reports 24-bit samples is started before its channels are listed and refused;
// meanwhile its thread calls the callbacks, which must not write 32-bit words into its 3-byte
// samples.
TEST(DspEngineSetUp, ADriverWithNarrowSamplesIsRefusedWithoutItsBuffersBeingOverrun) {
    EngineSession session(512, 44100, 50);
    session.drivers.set(test::kCaptureName, "SampleType", "17");
    EXPECT_FALSE(session.open(44100));
    EXPECT_NE(session.startLog.snapshot().find("ASIO start FAILED.  Only 32 bit ASIO format supported."),
              std::string::npos)
        << session.startLog.snapshot();
    EXPECT_FALSE(driverInfo().outputsAreInt32);
    // Let the driver's thread make a good number of buffer switches before the teardown.
    EXPECT_TRUE(waitUntil([&] {
        std::error_code ec;
        return std::filesystem::file_size(session.capturePath, ec) > 64 * 1024 && !ec;
    }));
}

TEST(DspEngineStartThread, WithoutADiscOrWithAnInactiveDiscLeavesTheEngineInactive) {
    for (bool withDisc : {false, true}) {
        EngineSession session(512, 44100, 1);
        ASSERT_TRUE(session.open(44100));
        Settings settings;
        DiagnosticsLog discLog, log;
        CdDescriptor inactive(session.drivers.dir().file("missing.wav"), discLog, settings);
        session.engine->StartThread(withDisc ? &inactive : nullptr, -3.0, log);
        EXPECT_FALSE(session.engine->active);
        EXPECT_EQ(session.engine->cd, nullptr);
        EXPECT_EQ(log.snapshot(), withDisc ? "\r\nDSP Thread cannot start: CD is inactive.\r\n"
                                           : "\r\nDSP Thread cannot start: CD is NULL (not defined).\r\n");
    }
}

// ---- End to end on the capture driver, running faster than real time ----

struct CaptureCase {
    uint32_t discRate;
    double deviceRate;
    long buffer;
    uint16_t converter;
    int bits;
    double volumeDb;
    int phaseSign;
    int32_t planted;  // the disc's second sample, after its most negative first one
    int32_t word;     // what the driver must get for it (direct rows)
};

class PlaybackOnTheCaptureDriver : public testing::TestWithParam<CaptureCase> {};

// Direct rows: every sample placed exactly, the zero tail up to the end of the last block, then
// the disc again. Resampling rows: what a direct run of libsamplerate gives, across the end.
TEST_P(PlaybackOnTheCaptureDriver, GivesExactlyTheExpectedWordsAcrossTheRepeat) {
    const CaptureCase& c = GetParam();
    std::vector<int32_t> samples = test::makeSamples(c.discRate * 2 + 777, c.bits, 2, 41);
    samples[0] = -(1 << (c.bits - 1));
    samples[1] = c.planted;
    test::TestDisc disc(samples, c.bits, c.discRate);
    EngineSession session(c.buffer, c.deviceRate, c.discRate == c.deviceRate ? 10 : 2);
    ASSERT_TRUE(session.open(c.deviceRate, c.converter, c.volumeDb)) << session.startLog.snapshot();
    const int32_t n = theTransport.blockFrames;
    theTransport.phaseSign.store(static_cast<int16_t>(c.phaseSign));
    ASSERT_TRUE(session.start(disc)) << disc.log.snapshot() << session.runLog();
    session.engine->TogglePlay();
    ASSERT_TRUE(waitUntil(
        [&] { return session.runLog().find("\tWav processed. Repeating...\r\n") != std::string::npos; }));
    const uint32_t repeated = theTransport.wakesHandled.load();  // and a few blocks more
    ASSERT_TRUE(waitUntil([&] { return theTransport.wakesHandled.load() >= repeated + 4; }));
    EXPECT_EQ(session.engine->lateBlocks(), 0) << "the comparison below assumes no late block";
    session.end();

    const long frames = static_cast<long>(samples.size() / 2), blocks = (frames + n - 1) / n;
    const double level = c.phaseSign * std::pow(10.0, c.volumeDb / 20.0);
    std::vector<int32_t> expected;
    if (c.discRate == c.deviceRate) {
        for (long i = 0; i < 2 * (blocks * n + n); ++i) {
            long f = i < 2 * blocks * n ? i : i - 2 * blocks * n;
            double product = f < 2 * frames ? samples[f] * level * (c.bits == 16 ? 65536.0 : 256.0) : 0.0;
            expected.push_back(product >= 2147483648.0 ? INT32_MIN
                                                       : static_cast<int32_t>(std::trunc(product)));
        }
    } else {
        expected = test::referenceRun(
            samples, c.bits, c.discRate, c.deviceRate, n, ResamplerInputFrames(c.discRate, c.deviceRate, n),
            c.converter, level * 2147483647.0, static_cast<size_t>(frames * c.deviceRate / c.discRate) + n);
    }
    uint32_t rate = 0;
    std::vector<int32_t> captured;
    std::string why;
    ASSERT_TRUE(test::readCaptureWav(session.capturePath, rate, captured, why)) << why;
    auto firstSound = [](const std::vector<int32_t>& w) {
        return (std::find_if(w.begin(), w.end(), [](int32_t word) { return word != 0; }) - w.begin()) / 2;
    };
    const long got = firstSound(captured), want = firstSound(expected);
    ASSERT_GE(captured.size() - 2 * got, expected.size() - 2 * want);
    if (c.discRate == c.deviceRate) {
        EXPECT_EQ(got % n, 0) << "playback begins at a block boundary";
        EXPECT_EQ(captured[2 * got + 1], c.word);
    }
    for (size_t i = 0; i < expected.size() - 2 * want; ++i) {
        ASSERT_EQ(captured[2 * got + i], expected[2 * want + i]) << "word " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PlaybackOnTheCaptureDriver,
    testing::Values(CaptureCase{44100, 44100, 512, 1, 16, 0.0, 1, 10000, 10000 * 65536},
                    CaptureCase{44100, 44100, 512, 1, 16, 0.0, -1, -32768, INT32_MIN},
                    CaptureCase{44100, 44100, 512, 1, 16, -6.0, 1, 10000, 328458065},
                    CaptureCase{44100, 44100, 512, 1, 24, 0.0, 1, 8388607, 8388607 * 256},
                    CaptureCase{44100, 44100, 512, 1, 24, -6.0, -1, 8388607, -1076291260},
                    CaptureCase{48000, 44100, 512, 0, 16, 0.0, 1, 32767, 0},
                    CaptureCase{44100, 176400, 1024, 1, 16, 0.0, 1, 32767, 0},
                    CaptureCase{44100, 96000, 512, 1, 24, -3.5, -1, 8388607, 0}));

// Transport operations from the window thread while the capture driver runs faster than real
// time: each one must be carried out (none lost or overwritten by the playback thread), and the
// playback thread must keep up. Built with -DQUORIL_SANITIZE=thread it also shows any data race.
TEST(DspEngineStress, ThousandsOfTransportOperationsAreAllCarriedOutWithoutALateBlock) {
    const long frames = 10 * 44100;
    test::TestDisc disc(test::makeSamples(frames, 16, 2, 61), 16, 44100);
    EngineSession session(512, 44100, 6);
    ASSERT_TRUE(session.open(44100)) << session.startLog.snapshot();
    ASSERT_TRUE(session.start(disc)) << disc.log.snapshot() << session.runLog();
    DspEngine& engine = *session.engine;
    TransportState& t = theTransport;
    const int32_t n = t.blockFrames;

    std::mt19937 random(12345);
    int toggles = 0, stops = 0, seeks = 0;
    for (int i = 0; i < 2000; ++i) {
        unsigned op = random() % 20;
        if (op < 8) {
            const int16_t expected = t.playing.load() == 1 ? 0 : 1;
            engine.TogglePlay();
            ASSERT_TRUE(waitUntil([&] { return t.playing.load() == expected && !t.transportCommand.load(); }))
                << "toggle " << i << " was lost";
            ++toggles;
        } else if (op < 10) {
            const uint32_t wakes = t.wakesHandled.load();
            engine.Stop();
            ASSERT_TRUE(waitUntil([&] {
                return t.wakesHandled.load() != wakes && !t.transportCommand.load() && !t.playing.load();
            })) << "stop "
                << i << " was lost";
            ASSERT_EQ(t.position(), 0) << "stop " << i << " did not rewind";
            ++stops;
        } else if (op < 15) {
            t.volumeDb.store(-static_cast<double>(random() % 201) / 2.0);
        } else if (op < 18) {
            t.phaseSign.store(static_cast<int16_t>(-t.phaseSign.load()));
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
    EXPECT_TRUE(toggles > 500 && stops > 100 && seeks > 20) << toggles << " " << stops << " " << seeks;
    EXPECT_EQ(engine.lateBlocks(), 0) << "the playback thread fell behind the driver";
    const std::string log = session.runLog(), line = "Playback stopped.\r\n\r\n";
    int said = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1), ++said) {
    }
    EXPECT_EQ(said, stops);
}

TEST(ResamplerLibrary, PrefersTheInstallationDirectoryAndNamesTheFirstMissingEntryPointOrTheMissingFile) {
    for (std::string missing :
         {"src_new", "src_delete", "src_process", "src_reset", "src_strerror", "src_process_and_src_reset"}) {
        test::TempDir dir;
        std::filesystem::copy_file(test::buildDir() + "/tests/stand_in_resampler_without_" + missing + ".so",
                                   dir.file(ResamplerLibrary::kFileName));
        DiagnosticsLog log;
        ResamplerLibrary library;
        EXPECT_FALSE(library.load(dir.path(), log));
        EXPECT_FALSE(library.loaded());
        EXPECT_EQ(log.snapshot(), "DLL \"libsamplerate.so.0\": [" + missing.substr(0, missing.find("_and")) +
                                      "] runtime function not found. DLL is invalid.\r\n");
    }
    DiagnosticsLog log;
    EXPECT_FALSE(ResamplerLibrary().loadFile("/nonexistent/libsamplerate.so.0", log));
    EXPECT_EQ(log.snapshot(),
              "DLL \"libsamplerate.so.0\" not found. Make sure this DLL is located in the "
              "installation directory.\r\n");
}

}  // namespace
}  // namespace quoril
