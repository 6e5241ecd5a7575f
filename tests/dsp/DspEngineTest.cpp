#include "dsp/DspEngine.h"

#include <gtest/gtest.h>
#include <samplerate.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "asio/AsioSession.h"
#include "asio/DriverTestSupport.h"
#include "config/Settings.h"
#include "content/CdDescriptor.h"
#include "content/RamLoadThread.h"
#include "dsp/BufferCallbacks.h"
#include "dsp/PlaybackThread.h"
#include "dsp/ResamplerLibrary.h"
#include "dsp/ResamplingPlaybackThread.h"
#include "dsp/TransportState.h"
#include "platform/CFormat.h"
#include "platform/DiagnosticsLog.h"
#include "platform/NamedEvent.h"
#include "support/TempDir.h"
#include "support/WavWriter.h"

namespace quoril {
namespace {

template <typename Condition>
bool waitUntil(Condition condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return condition();
}

// Generated stereo samples (16 or 24 bits) as a WAV file, opened and loaded by the content code.
struct TestDisc {
    TestDisc(const std::vector<int32_t>& samples, int bits, uint32_t rate) {
        test::WavWriter(bits, 2, rate).samples(samples).write(dir.file("disc.wav"));
        cd = std::make_unique<CdDescriptor>(dir.file("disc.wav"), log, settings);
        LoadProgress progress{0};
        if (cd->active.load()) {
            RamLoadThread::run(RamLoadRequest{cd.get(), &progress, &log});
        }
    }
    bool ok() const { return cd->active.load() && cd->frameCount > 0; }

    test::TempDir dir;
    Settings settings;
    DiagnosticsLog log;
    std::unique_ptr<CdDescriptor> cd;
};

// libsamplerate run directly: inputFrames a call (zeros past the end), n + 16 out, times gain, clipped
// and truncated. A call that reaches the end gives silence; the converter and the disc start again.
inline std::vector<int32_t> referenceRun(const std::vector<int32_t>& samples, int bits, double discRate,
                                         double outputRate, int32_t n, int inputFrames, int converter,
                                         double gain, size_t frames, long position = 0) {
    const long frameCount = static_cast<long>(samples.size() / 2);
    const float divisor = bits == 16 ? 32767.0f : 8388607.0f;
    int error = 0;
    SRC_STATE* state = src_new(converter, 2, &error);
    std::vector<float> in(2 * static_cast<size_t>(inputFrames)), out(2 * static_cast<size_t>(n + 16));
    std::vector<int32_t> result;
    while (result.size() < 2 * frames) {
        for (long k = 0; k < 2 * inputFrames; ++k) {
            in[k] = position + k / 2 < frameCount ? static_cast<float>(samples[2 * position + k]) / divisor
                                                  : 0.0f;
        }
        SRC_DATA data{in.data(), out.data(), inputFrames, n + 16, 0, 0, 0, outputRate / discRate};
        EXPECT_EQ(src_process(state, &data), 0);
        position += data.input_frames_used;
        if (position >= frameCount) {
            src_reset(state);
            std::fill(out.begin(), out.begin() + 2 * data.output_frames_gen, 0.0f);
            position = 0;
        }
        for (long i = 0; i < 2 * data.output_frames_gen; ++i) {
            result.push_back(static_cast<int32_t>(std::clamp(out[i] * gain, -2147483647.0, 2147483647.0)));
        }
    }
    src_delete(state);
    result.resize(2 * frames);
    return result;
}

// Either playback thread on a two-second disc, driven by the test as the driver and the engine would.
constexpr int32_t kBlock = 6144, kBuffer = 512;
constexpr int kNone = -1;  // no block given back
const std::string kDirect = "Playback starting (SRC upsampling is bypassed)...\r\n\r\n";
const std::string kResampling = "Playback starting using SRC...\r\n\r\n";

class PlaybackThreadTest : public testing::Test {
  protected:
    PlaybackThreadTest() {
        theTransport.reset();
        for (int k = 0; k < 2; ++k) {
            theTransport.dspBlocks[k] = blocks[k].data();
            driverInfo().bufferInfos[k].buffers[0] = outputs[k][0];
            driverInfo().bufferInfos[k].buffers[1] = outputs[k][1];
        }
        theTransport.blockFrames = kBlock;
        theTransport.dspEvent.store(&event);
        theTransport.logTarget.store(&m_log);
        theTransport.outputRate.store(driverInfo().requestedRate = 44100);
        driverInfo().preferredSize = kBuffer;
        driverInfo().outputsAreInt32 = true;
        DiagnosticsLog bindLog;
        theResampler = m_resampler.load("", bindLog) ? &m_resampler : nullptr;
    }
    ~PlaybackThreadTest() override {
        if (m_thread.joinable()) {
            theTransport.post(CmdQuit);
            waitUntil([] { return !theTransport.threadRunning.load(); });
            event.close();
            m_thread.join();
        }
        driverInfo() = DriverInfo{};
        theResampler = nullptr;
        theTransport.reset();
        theTransport.dspEvent.store(nullptr);
        theTransport.dspBlocks[0] = theTransport.dspBlocks[1] = nullptr;
    }

    void start(uint32_t rate) {
        samples = test::makeSamples(2 * rate, 16, 2, rate);
        disc = std::make_unique<TestDisc>(samples, 16, rate);
        ASSERT_TRUE(disc->ok()) << disc->log.snapshot();
        theTransport.converterType.store(1);
        m_thread = std::thread(rate == 44100 ? PlaybackThread : ResamplingPlaybackThread, disc->cd.get());
        ASSERT_TRUE(waitUntil([] { return theTransport.threadRunning.load(); }));
        ASSERT_TRUE(wake(kNone, CmdStart));
    }
    // Gives `block` back as the callbacks do, posts a command, and waits until the thread handled it.
    bool wake(int block, int16_t command = CmdNone) {
        const uint32_t before = theTransport.wakesHandled.load();
        if (block >= 0) {
            theTransport.blockState[block].store(BlockRequested);
        }
        theTransport.post(static_cast<TransportCommand>(command));
        return waitUntil(
            [&] { return theTransport.wakesHandled.load() != before || !theTransport.threadRunning; });
    }
    void switchBuffer(bool timeInfo, std::vector<int32_t>& words) {  // appends what the driver got
        timeInfo ? (void)bufferSwitchTimeInfo(nullptr, m_half, ASIOFalse) : bufferSwitch(m_half, ASIOTrue);
        for (int32_t i = 0; i < kBuffer; ++i) {
            words.insert(words.end(), {outputs[0][m_half][i], outputs[1][m_half][i]});
        }
        m_half ^= 1;
    }
    bool blocksSilent() const {
        return blocks[0] == std::vector<int32_t>(2 * kBlock) && blocks[0] == blocks[1];
    }
    // The thread's lines so far, drained from the queue as the window's timer does.
    std::string log() {
        theTransport.logQueue.drain([this](const char* line) { m_log.append(line); });
        return m_log.snapshot();
    }
    // `count` blocks of the disc from frame `from` as the direct thread places them at 0 dB.
    std::vector<int32_t> exact(int32_t from, int32_t count = 1) const {
        std::vector<int32_t> words;
        for (int32_t i = 2 * from; i < 2 * (from + count * kBlock); ++i) {
            words.push_back(samples[i] * 65536);
        }
        return words;
    }

    NamedEvent event{"_tamu_DSP_732"};
    std::vector<int32_t> blocks[2]{std::vector<int32_t>(2 * kBlock), std::vector<int32_t>(2 * kBlock)};
    int32_t outputs[2][2][kBuffer] = {};  // [channel][half]
    std::vector<int32_t> samples;
    std::unique_ptr<TestDisc> disc;
    long m_half = 0;
    DiagnosticsLog m_log;
    ResamplerLibrary m_resampler;
    std::thread m_thread;
};

// Halt silences both blocks and keeps the position; play goes on from there, the converter afresh.
class PlaybackThreadHalt : public PlaybackThreadTest, public testing::WithParamInterface<uint32_t> {};

TEST_P(PlaybackThreadHalt, SilencesBothBlocksKeepsThePositionAndPlayGoesOnFromIt) {
    const uint32_t rate = GetParam();
    start(rate);
    auto playThreeBlocks = [&] {
        std::vector<int32_t> played;
        for (int k = 0; k < 3; ++k) {
            EXPECT_TRUE(wake(k - 1, k == 0 ? CmdPlay : CmdNone));
            EXPECT_TRUE(k > 0 || blocks[0] == std::vector<int32_t>(2 * kBlock)) << "play filled one block";
            played.insert(played.end(), blocks[(k + 1) % 2].begin(), blocks[(k + 1) % 2].end());
        }
        return played;
    };
    auto expected = [&](int32_t from) {
        return rate == 44100
                   ? exact(from, 3)
                   : referenceRun(samples, 16, 48000, 44100, kBlock, 6688, 1, 2147483647.0, 3 * kBlock, from);
    };
    EXPECT_TRUE(playThreeBlocks() == expected(0));
    ASSERT_TRUE(wake(0, CmdHalt));
    EXPECT_TRUE(blocksSilent());
    EXPECT_EQ(theTransport.playing.load(), 0);
    EXPECT_EQ(theTransport.blockState[0].load(), BlockReady) << "halted, a request is handed back silent";
    const int32_t kept = theTransport.position();
    EXPECT_TRUE(rate != 44100 || kept == 3 * kBlock) << kept;
    ASSERT_TRUE(wake(1));
    EXPECT_EQ(theTransport.position(), kept);
    EXPECT_TRUE(playThreeBlocks() == expected(kept));
    EXPECT_EQ(log(), rate == 44100 ? kDirect : kResampling);
}

INSTANTIATE_TEST_SUITE_P(Rates, PlaybackThreadHalt, testing::Values(44100u, 48000u));

// A closed event, a converter error, or (without repeat) the end of the disc ends playing.
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
    ASSERT_TRUE(wake(kNone, CmdPlay));
    if (c.closeEvent) {
        event.close();
    }
    // 2 s of disc is 15 blocks: the end, then more requests that find the thread halted.
    for (int k = 0; k < 24 && !c.closeEvent && theTransport.threadRunning.load(); ++k) {
        ASSERT_TRUE(wake(k % 2));
    }
    ASSERT_TRUE(toTheEnd || waitUntil([] { return !theTransport.threadRunning.load(); }));
    EXPECT_EQ(log(), (c.rate == 44100 ? kDirect : kResampling) + c.tail);
    EXPECT_TRUE(blocksSilent());
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

// The thread held back (its wakes diverted) for some block switches: every pass the driver gets is
// the next whole block of the disc, or silence counted late; nothing is played twice or skipped.
struct LateCase {
    int held;  // block switches the thread misses
    int late;  // silent passes that follow: the other block covers one missed switch
};

class LatePlaybackThread : public PlaybackThreadTest, public testing::WithParamInterface<LateCase> {};

TEST_P(LatePlaybackThread, PresentsWholeBlocksInOrderOrSilenceAndCountsTheSilence) {
    constexpr int32_t n = kBlock, k = n / 512, steps = 10, holdFrom = 3;
    TransportState& t = theTransport;
    start(44100);
    ASSERT_TRUE(wake(kNone, CmdPlay));
    NamedEvent elsewhere("elsewhere");
    auto served = [&] {
        return std::ranges::none_of(t.blockState,
                                    [](auto& b) { return b == BlockRequested || b == BlockFilling; });
    };

    int32_t next = 0;  // the disc frame the next played block must begin with
    int silent = 0;
    bool wasHeld = false;
    for (int step = 0; step < steps; ++step) {
        const bool held = step >= holdFrom && step < holdFrom + GetParam().held;
        t.dspEvent.store(held ? &elsewhere : &event);
        std::vector<int32_t> pass;
        for (int s = 0; s < k; ++s) {
            switchBuffer(s % 2 == 1, pass);
        }
        if (!held) {
            if (wasHeld) {
                event.signal();  // the wakes diverted meanwhile reach the thread now
            }
            ASSERT_TRUE(waitUntil(served)) << "step " << step;
        }
        wasHeld = held;
        if (step == 0 || std::all_of(pass.begin(), pass.end(), [](int32_t word) { return word == 0; })) {
            silent += step == 0 ? 0 : 1;  // the first pass is the silence before play began
            continue;
        }
        ASSERT_EQ(pass, exact(next)) << "step " << step;
        next += n;
    }
    EXPECT_EQ(silent, GetParam().late);
    EXPECT_EQ(t.lateBlocks.load(), GetParam().late);
    EXPECT_EQ(next, (steps - 1 - GetParam().late) * n) << "a block was skipped or repeated";
}

INSTANTIATE_TEST_SUITE_P(Schedules, LatePlaybackThread,
                         testing::Values(LateCase{0, 0}, LateCase{1, 0}, LateCase{3, 2}));

TEST(ComputeBlockFrames, GivesTheBlockSizeOfTheTableForEachBufferAndRate) {
    // Each rate factor boundary (88,200, 176,400, 352,800 Hz), buffer divisor, and cap above 1,024.
    const double table[][3] = {{32, 44100, 6144},    {100, 44100, 6400},    {128, 48000, 6144},
                               {256, 88200, 12288},  {512, 88199.9, 6144},  {512, 176399, 12288},
                               {512, 176400, 24576}, {512, 352799, 24576},  {1024, 352800, 49152},
                               {1025, 384000, 8200}, {1536, 192000, 18432}, {2048, 192000, 12288}};
    for (const auto& [buffer, rate, block] : table) {
        EXPECT_EQ(DspEngine::ComputeBlockFrames(static_cast<int32_t>(buffer), rate), block)
            << buffer << " at " << rate;
    }
}

// A play session as the window runs it, on the capture driver writing capturePath at `speed`.
struct EngineSession {
    EngineSession(long bufferSize, double rate, double speed, uint16_t converter = 1, double volumeDb = 0.0,
                  const char* sampleType = "18") {
        drivers.addCaptureDriver();
        drivers.set(test::kCaptureName, "File", capturePath);
        drivers.set(test::kCaptureName, "Speed", cformat("%g", speed));
        drivers.setDword(test::kCaptureName, "BufferSize", static_cast<uint32_t>(bufferSize));
        drivers.set(test::kCaptureName, "Rate", cformat("%.4f", rate));
        drivers.set(test::kCaptureName, "SampleType", sampleType);
        drivers.save();
        engine = std::make_unique<DspEngine>(test::kCaptureName, drivers.dir().path(), rate, 0, converter,
                                             volumeDb, startLog);
    }
    ~EngineSession() { end(); }
    bool start(const TestDisc& disc) {
        engine->StartThread(disc.cd.get(), theTransport.volumeDb.load(), log);
        return disc.ok() &&
               waitUntil([&] { return runLog().find("Playback starting") != std::string::npos; });
    }
    void end() {  // as the window's exit path does
        if (engine) {
            engine->Terminate();
        }
        engine.reset();
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

// A refused 24-bit driver's thread calls the callbacks, which must not write 32-bit words into its
// 3-byte samples. No playback thread starts then, nor without a disc or with an inactive one.
TEST(DspEngineSetUp, ARefusedDriverIsNotOverrunAndNoThreadStartsWithoutADiscOrASession) {
    DiagnosticsLog log;
    TestDisc disc(test::makeSamples(2 * 44100), 16, 44100);
    EngineSession session(512, 44100, 50, 1, 0.0, "17");
    CdDescriptor inactive(session.drivers.dir().file("missing.wav"), disc.log, disc.settings);
    EXPECT_FALSE(session.engine->active) << session.startLog.snapshot();
    EXPECT_FALSE(driverInfo().outputsAreInt32);
    EXPECT_TRUE(waitUntil([&] {
        std::error_code ec;
        return std::filesystem::file_size(session.capturePath, ec) > 64 * 1024 && !ec;
    }));
    for (CdDescriptor* cd : {static_cast<CdDescriptor*>(nullptr), &inactive, disc.cd.get()}) {
        session.engine->StartThread(cd, -3.0, log);
        EXPECT_FALSE(session.engine->active);
        EXPECT_EQ(session.engine->cd, nullptr);
    }
    EXPECT_EQ(log.snapshot(),
              "\r\nDSP Thread cannot start: CD is NULL (not defined).\r\n"
              "\r\nDSP Thread cannot start: CD is inactive.\r\n\r\nDSP Thread FAILED to start.\r\n");
}

struct CaptureCase {
    uint32_t discRate;
    double deviceRate;
    long buffer;
    uint16_t converter;
    int bits;
    double volumeDb;
    int phaseSign;
};

class PlaybackOnTheCaptureDriver : public testing::TestWithParam<CaptureCase> {};

// Every sample placed exactly (or as libsamplerate run directly gives it) across the repeat.
TEST_P(PlaybackOnTheCaptureDriver, GivesExactlyTheExpectedWordsAcrossTheRepeat) {
    const CaptureCase& c = GetParam();
    std::vector<int32_t> samples = test::makeSamples(c.discRate * 2 + 777, c.bits, 2, 41);
    samples[0] = -(1 << (c.bits - 1));  // the most negative: inverted, it does not fit 32 bits
    TestDisc disc(samples, c.bits, c.discRate);
    EngineSession session(c.buffer, c.deviceRate, c.discRate == c.deviceRate ? 10 : 2, c.converter,
                          c.volumeDb);
    ASSERT_TRUE(session.engine->active) << session.startLog.snapshot();
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
        expected = referenceRun(
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
    }
    const auto [wrong, _] =
        std::mismatch(expected.begin() + 2 * want, expected.end(), captured.begin() + 2 * got);
    EXPECT_EQ(wrong, expected.end()) << "word " << wrong - expected.begin() - 2 * want;
}

INSTANTIATE_TEST_SUITE_P(Formats, PlaybackOnTheCaptureDriver,
                         testing::Values(CaptureCase{44100, 44100, 512, 1, 16, 0.0, -1},
                                         CaptureCase{44100, 44100, 512, 1, 16, -6.0, 1},
                                         CaptureCase{44100, 44100, 512, 1, 24, -6.0, -1},
                                         CaptureCase{48000, 44100, 512, 0, 16, 0.0, 1},
                                         CaptureCase{44100, 176400, 1024, 1, 16, 0.0, 1},
                                         CaptureCase{44100, 96000, 512, 1, 24, -3.5, -1}));

// Transport operations from the window thread while the capture driver runs faster than real time:
// none may be lost, and the playback thread must keep up (under ThreadSanitizer: no data race).
TEST(DspEngineStress, ThousandsOfTransportOperationsAreAllCarriedOutWithoutALateBlock) {
    const long frames = 10 * 44100;
    TestDisc disc(test::makeSamples(frames, 16, 2, 61), 16, 44100);
    EngineSession session(512, 44100, 6);
    ASSERT_TRUE(session.engine->active) << session.startLog.snapshot();
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
        } else if (op < 18) {
            t.phaseSign.store(static_cast<int16_t>(-t.phaseSign.load()));
        } else if (t.playing.load() == 1) {
            // A seek to a frame off the current block grid: a lost seek would leave the grid.
            const int32_t now = t.position(), wakes = static_cast<int32_t>(t.wakesHandled.load());
            int32_t target = static_cast<int32_t>(random() % static_cast<unsigned>(frames - 20 * n));
            target += (target - now) % n == 0 ? 1 : 0;
            t.setPosition(target);
            ASSERT_TRUE(waitUntil([&] { return static_cast<int32_t>(t.wakesHandled.load()) >= wakes + 2; }));
            const int32_t after = t.position();
            ASSERT_TRUE(after > target && (after - target) % n == 0)
                << "seek " << i << " to " << target << " was overwritten";
            ++seeks;
        }
    }
    EXPECT_TRUE(toggles > 500 && stops > 100 && seeks > 20) << toggles << " " << stops << " " << seeks;
    EXPECT_EQ(engine.lateBlocks(), 0) << "the playback thread fell behind the driver";
    const std::string log = session.runLog(), line = "Playback stopped.\r\n\r\n";
    int said = 0;
    for (size_t at = 0; (at = log.find(line, at)) != std::string::npos; at += line.size()) {
        ++said;
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
