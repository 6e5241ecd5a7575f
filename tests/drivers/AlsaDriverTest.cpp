#include <fcntl.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "AlsaSettings.h"
#include "asio/AsioDriverList.h"
#include "asio/DriverTestSupport.h"
#include "platform/Registry.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/WavWriter.h"

namespace quoril::test {
namespace {

// A private `jackd -d dummy`, named anew each time (libjack keeps per-server state for ever).
struct JackServer {
    bool start() {
        static int started = 0;
        const std::string name = "quoril-test-" + std::to_string(getpid()) + "-" + std::to_string(++started);
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);  // the dummy backend has no device to reserve
        const int out = open(dir.file("jackd.log").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        pid = spawnProcess(
            {"/usr/bin/jackd", "--no-realtime", "-n", name, "-d", "dummy", "-r", "44100", "-p", "1024"}, {},
            "", -1, out, out);
        close(out);
        jack_set_error_function([](const char*) {});  // complaints while the server is not up yet
        // Ready when a client can connect; given up when jackd exits or after 15 s.
        for (int tries = 0; pid > 0 && tries < 300 && waitpid(pid, &status, WNOHANG) == 0; ++tries) {
            if (jack_client_t* probe = jack_client_open("QuorilProbe", JackNoStartServer, nullptr)) {
                return jack_client_close(probe) == 0;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    ~JackServer() {
        if (pid > 0 && kill(pid, SIGTERM) == 0) {  // then reaped
            waitForChild(pid, std::chrono::seconds(10), status);
        }
    }
    TempDir dir;
    pid_t pid = -1;
    int status = 0;
};

// The test's ALSA devices only (no sound card is looked for), once per process as alsa-lib reads it.
// The file-plug-in devices record what they get in <device>.raw.
struct AlsaWorld {
    AlsaWorld() {
        std::string conf = "pcm_type.quoriltest { lib \"" + buildDir() +
                           "/tests/quoril_test_alsa_pcm.so\" }\n"
                           "pcm.unplugged { type quoriltest fail_after 8192 }\n"
                           "pcm.underrun { type quoriltest xrun_after 4096 }\n"
                           "pcm.hung { type quoriltest stall_after 4096 }\n"
                           "pcm.float_only { type quoriltest format FLOAT_LE }\n";
        for (const auto& [name, slave] : {std::pair{"cap_s24", "type quoriltest format S24_LE"},
                                          {"cap_s24_3", "type quoriltest format S24_3LE"},
                                          {"cap_s16", "type quoriltest format S16_LE"},
                                          {"quad", "type quoriltest format S32_LE channels 4"},
                                          {"mapped", "type null chmap [ \"FL,FR\" ]"}}) {  // null: any format
            conf += std::string("pcm.") + name + " { type file slave.pcm { " + slave + " } file \"" +
                    rawFile(name) + "\" format raw }\n";
        }
        m_dir.write("asound.conf", conf);
        setenv("ALSA_CONFIG_PATH", m_dir.file("asound.conf").c_str(), 1);
    }
    std::string rawFile(const std::string& device) const { return m_dir.file(device + ".raw"); }
    TempDir m_dir;
};

// The ALSA plug-in, registered and loaded as the player loads it, played by the test host.
class AlsaDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        static AlsaWorld made;
        world = &made;
        TestHost::reset();
    }
    void TearDown() override {
        if (m_list) {
            m_list->removeCurrentDriver();
        }
    }

    // The "alsa" driver on `device`, the "jack" one or the "capture" one at 20 times real time.
    IASIO* load(const std::string& kind, const std::string& device = "") {
        const bool jack = kind == "jack";
        const std::string name = kind == "capture" ? kCaptureName : jack ? "Quoril JACK" : "Quoril ALSA";
        if (kind == "capture") {
            m_drivers.addCaptureDriver();
            m_drivers.set(name, "File", m_dir.file("capture.wav"));
            m_drivers.set(name, "Speed", "20");
        } else {
            const char* clsid =
                jack ? "{C7E2941B-3D58-4A06-B8F1-6F0D2A9C5E84}" : "{5A0C3E61-7B2D-4F8A-9C41-2E6B8D0F7A13}";
            m_drivers.addDriver(name, clsid, buildDir() + "/lib/quoril/drivers/quoril-" + kind + ".so");
            m_drivers.set(name, "Device", device);
        }
        m_drivers.save();
        m_list = std::make_unique<AsioDrivers>();
        m_driver = m_list->loadDriver(name) ? theAsioDriver.load() : nullptr;
        TestHost::driver = m_driver;
        return m_driver;
    }
    // Buffers for output channels 2·pair and 2·pair + 1, filled by the test host.
    ASIOError createPair(long pair, long frames) {
        m_buffers[0] = ASIOBufferInfo{ASIOFalse, 2 * pair, {}};
        m_buffers[1] = ASIOBufferInfo{ASIOFalse, 2 * pair + 1, {}};
        m_callbacks = TestHost::callbacks();
        TestHost::buffers = m_buffers;
        TestHost::bufferSize = frames;
        return m_driver->createBuffers(m_buffers, 2, frames, &m_callbacks);
    }
    std::string errorMessage() {
        char text[124] = {};
        m_driver->getErrorMessage(text);
        return text;
    }

    static inline AlsaWorld* world = nullptr;
    DriverRegistry m_drivers;
    std::unique_ptr<AsioDrivers> m_list;
    IASIO* m_driver = nullptr;
    ASIOBufferInfo m_buffers[2] = {};
    ASIOCallbacks m_callbacks = {};
    TempDir m_dir;
};

struct FormatCase {
    const char* device;
    int contentShift;       // 8: 24-bit content in the host's words, 16: 16-bit
    const char* firstName;  // the name of channel 1 ("mapped": from the device's channel map)
    int deviceBits;         // container bits per sample in the device's stream
    int deviceShift;        // how far the host's 32-bit word is shifted down for the device
    int channels = 2;       // "quad": four, its pair 1 played, silence beside it
    long pair = 0;
};

class AlsaFormatTest : public AlsaDriverTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(AlsaFormatTest, theDeviceReceivesEverySampleUnchangedInItsOwnFormatAndChannels) {
    const FormatCase& c = GetParam();
    ASSERT_NE(load("alsa", c.device), nullptr);
    ASSERT_EQ(m_driver->init(nullptr), ASIOTrue) << errorMessage();
    long inputs = -1, outputs = -1;
    ASSERT_EQ(m_driver->getChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(inputs * 100 + outputs, c.channels);
    TestHost::shift = c.contentShift;
    ASSERT_EQ(createPair(c.pair, 512), ASE_OK) << errorMessage();
    for (long channel = 0; channel < c.channels; ++channel) {
        ASIOChannelInfo info{channel, ASIOFalse, 0, 0, 0, {}};
        ASSERT_EQ(m_driver->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.type, ASIOSTInt32LSB);
        EXPECT_EQ(info.isActive, channel / 2 == c.pair ? ASIOTrue : ASIOFalse) << "channel " << channel;
        EXPECT_TRUE(channel > 0 || std::string(info.name) == c.firstName) << info.name;
    }
    // Stopped inside the 8th switch: the device plays the 7 halves before but the two the stop drops.
    TestHost::stopAfter = 8;
    ASSERT_EQ(m_driver->start(), ASE_OK) << errorMessage();
    ASSERT_TRUE(TestHost::waitFor([] { return TestHost::switches.load() >= 8; }));
    m_list->removeCurrentDriver();  // the file plug-in writes its last bytes on close

    std::vector<int32_t> expected(7 * 512 * static_cast<size_t>(c.channels), 0);
    for (size_t frame = 0; frame < 7 * 512; ++frame) {
        expected[frame * c.channels + 2 * c.pair] = TestHost::leftSample(frame) >> c.deviceShift;
        expected[frame * c.channels + 2 * c.pair + 1] = TestHost::rightSample(frame) >> c.deviceShift;
    }
    const std::string want = packSamples(expected, c.deviceBits);
    const std::string got = readFile(world->rawFile(c.device));
    ASSERT_GE(got.size(), want.size() / 7 * 5);
    EXPECT_TRUE(want.compare(0, got.size(), got) == 0)
        << "first difference at byte "
        << std::mismatch(got.begin(), got.end(), want.begin()).first - got.begin();
}

INSTANTIATE_TEST_SUITE_P(HardwareFormats, AlsaFormatTest,
                         ::testing::Values(FormatCase{"cap_s24", 8, "Out 1 (S24_LE)", 32, 8},
                                           FormatCase{"cap_s24_3", 8, "Out 1 (S24_3LE)", 24, 8},
                                           FormatCase{"cap_s16", 16, "Out 1 (S16_LE)", 16, 16},
                                           FormatCase{"quad", 8, "Out 1 (S32_LE)", 32, 0, 4, 1},
                                           FormatCase{"mapped", 8, "FL (S32_LE)", 32, 0}),
                         [](const auto& info) { return std::string(info.param.device); });

// Devices that cannot be opened fail init; an underrun is recovered, counted, and play goes on.
struct DeviceFaultCase {
    const char* device;
    const char* message;  // the start of the error message; for an open device, a part of it
};

class AlsaDeviceFault : public AlsaDriverTest, public ::testing::WithParamInterface<DeviceFaultCase> {};

TEST_P(AlsaDeviceFault, isReportedInTheErrorMessage) {
    ASSERT_NE(load("alsa", GetParam().device), nullptr);
    long inputs = 0, outputs = 0;
    if (m_driver->init(nullptr) == ASIOFalse) {
        EXPECT_EQ(errorMessage().rfind(GetParam().message, 0), 0u) << errorMessage();
        EXPECT_EQ(m_driver->getChannels(&inputs, &outputs), ASE_NotPresent);
        return;
    }
    ASSERT_EQ(createPair(0, 512), ASE_OK);
    ASSERT_EQ(m_driver->start(), ASE_OK);
    ASSERT_TRUE(TestHost::waitFor([] { return TestHost::switches.load() >= 40; }));
    ASSERT_EQ(m_driver->stop(), ASE_OK);
    EXPECT_EQ(TestHost::messages[kAsioResetRequest].load(), 0);
    EXPECT_NE(errorMessage().find(GetParam().message), std::string::npos) << errorMessage();
}

INSTANTIATE_TEST_SUITE_P(
    Devices, AlsaDeviceFault,
    ::testing::Values(DeviceFaultCase{"no_such_device", "Cannot open ALSA device \"no_such_device\": "},
                      DeviceFaultCase{
                          "float_only",
                          "ALSA device \"float_only\" takes none of S32_LE, S24_LE, S24_3LE, S16_LE"},
                      DeviceFaultCase{"underrun", " 1 underrun(s) recovered"}));

// Stopping from several threads: each schedule is set by gates in the test host.
enum class Schedule {
    TwoStopsInSwitch,  // two threads stop while the driver's thread is inside a buffer switch
    StopsInReset,      // the playback thread and a teardown stop while a reset notice is handled
    StopHungDevice,    // a stop while the device has stopped taking frames
    TwoStopsPlaying,   // two threads stop while the switches run (JACK cancels a held process thread)
};

struct StopCase {
    std::string driver;  // "alsa", "jack" or "capture"
    const char* device;  // ALSA device
    Schedule schedule;
};

class DriverStopRace : public AlsaDriverTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(DriverStopRace, EveryStopReturnsAndNoSwitchFollows) {
    const StopCase& c = GetParam();
    JackServer server;
    const long frames = c.driver == "jack" ? 1024 : 512;  // the server's period
    if (c.driver == "jack" && !server.start()) {
        GTEST_SKIP() << "No JACK server can start here: " << readFile(server.dir.file("jackd.log"));
    }
    ASSERT_NE(load(c.driver, c.device), nullptr);
    ASSERT_EQ(m_driver->init(nullptr), ASIOTrue) << errorMessage();
    if (c.driver == "jack") {  // the server's rate is the only one, its period the preferred size
        long minimum = 0, maximum = 0, preferred = 0, granularity = 0, in = -1, out = -1;
        ASSERT_EQ(m_driver->getBufferSize(&minimum, &maximum, &preferred, &granularity), ASE_OK);
        EXPECT_EQ(preferred, frames);
        EXPECT_EQ(m_driver->getLatencies(&in, &out), ASE_OK);
        EXPECT_TRUE(in == 0 && out >= frames) << in << " " << out;
        EXPECT_EQ(m_driver->setSampleRate(44100), ASE_OK);
        EXPECT_EQ(m_driver->canSampleRate(48000), ASE_NoClock);
    }
    ASSERT_EQ(createPair(0, frames), ASE_OK) << errorMessage();
    TestHost::holdSwitch.store(c.schedule == Schedule::TwoStopsInSwitch);
    TestHost::holdReset.store(c.schedule == Schedule::StopsInReset);
    ASSERT_EQ(m_driver->start(), ASE_OK);
    if (c.schedule == Schedule::StopHungDevice || c.schedule == Schedule::TwoStopsPlaying) {
        // The hung device takes 4,096 frames and its buffer, then nothing: the switches stop.
        ASSERT_TRUE(TestHost::waitFor([] { return TestHost::switches.load() >= 8; }));
    } else {
        ASSERT_TRUE(TestHost::waitFor([] { return TestHost::held.load(); })) << "the gate was not reached";
    }

    const int count = c.schedule == Schedule::StopHungDevice ? 1 : 2;
    std::latch started(count);
    std::vector<std::future<void>> stoppers;
    for (int i = 0; i < count; ++i) {
        stoppers.push_back(std::async(std::launch::async, [&, i] {
            started.arrive_and_wait();  // both stop at the same moment
            m_driver->stop();
            if (i == 1 && c.schedule == Schedule::StopsInReset) {
                m_driver->disposeBuffers();  // the teardown goes on while the other stopper waits
            }
        }));
    }
    started.wait();
    // Both stoppers are on their way into stop() before the driver's thread may leave its callback.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    TestHost::release();
    for (auto& stopper : stoppers) {
        if (stopper.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            std::fprintf(stderr, "a stop() did not return: the driver hangs\n");  // and holds up the suite
            std::_Exit(1);
        }
    }

    const uint64_t switches = TestHost::switches.load();
    if (c.schedule == Schedule::StopsInReset) {
        // 8,192 frames went in before the device vanished: 16 halves of 512, and the one that failed.
        EXPECT_EQ(switches, 17u);
        EXPECT_EQ(TestHost::messages[kAsioResetRequest].load(), 1);
    }
    EXPECT_EQ(m_driver->stop(), ASE_OK) << "a third stop, after the others";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(TestHost::switches.load(), switches) << "a buffer switch came after stop() returned";
    if (c.driver == "jack") {  // a server that goes away asks the host for a reset
        ASSERT_EQ(kill(server.pid, SIGTERM), 0);
        EXPECT_TRUE(TestHost::waitFor([] { return TestHost::messages[kAsioResetRequest].load() == 1; }));
    }
    m_list->removeCurrentDriver();  // while a JACK server still runs
}

INSTANTIATE_TEST_SUITE_P(Schedules, DriverStopRace,
                         ::testing::Values(StopCase{"alsa", "cap_s16", Schedule::TwoStopsInSwitch},
                                           StopCase{"alsa", "unplugged", Schedule::StopsInReset},
                                           StopCase{"alsa", "hung", Schedule::StopHungDevice},
                                           StopCase{"jack", "", Schedule::TwoStopsPlaying},
                                           StopCase{"capture", "", Schedule::TwoStopsInSwitch}),
                         [](const auto& info) { return info.param.driver + std::to_string(info.index); });

// Without a window the control panel prints the devices with the chosen one's name; a device chosen
// later is saved into the registry file, whose other keys stay.
TEST_F(AlsaDriverTest, theControlPanelNamesTheChosenDeviceAndAChoiceIsSavedBesideTheOtherKeys) {
    ASSERT_NE(load("alsa", "mapped"), nullptr);
    ASSERT_EQ(m_driver->init(nullptr), ASIOTrue) << errorMessage();
    // A question about a rate changes nothing; a rate between two whole numbers is never taken.
    long in = -1, latency = -1;
    EXPECT_EQ(m_driver->getLatencies(&in, &latency), ASE_OK);
    EXPECT_EQ(in, 0);
    EXPECT_EQ(m_driver->canSampleRate(44100.5), ASE_NoClock);
    EXPECT_EQ(m_driver->canSampleRate(48000), ASE_OK);
    ASSERT_EQ(createPair(0, 512), ASE_OK) << errorMessage();
    EXPECT_EQ(m_driver->setSampleRate(48000), ASE_OK);
    ASIOSampleRate rate = 0;
    EXPECT_EQ(m_driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 48000);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(m_driver->controlPanel(), ASE_OK);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("ALSA playback devices (* = \"Device\" of Quoril ALSA, now \"mapped\"):\n", 0), 0u)
        << out;
    EXPECT_NE(out.find("] in the registry file; it takes effect at the next session.\n"), std::string::npos)
        << out;
    std::string error;
    ASSERT_TRUE(AlsaSettings::saveDevice("hw:CARD=DAC,DEV=0", error)) << error;
    EXPECT_EQ(AlsaSettings::load().device, "hw:CARD=DAC,DEV=0");
    EXPECT_NE(readFile(Registry::locate()).find("{5A0C3E61-7B2D-4F8A-9C41-2E6B8D0F7A13}"), std::string::npos);
}

}  // namespace
}  // namespace quoril::test
