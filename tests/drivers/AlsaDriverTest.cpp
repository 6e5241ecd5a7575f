#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "AlsaDeviceList.h"
#include "AlsaSettings.h"
#include "DriverHost.h"
#include "platform/Registry.h"
#include "support/TempDir.h"
#include "support/WavWriter.h"

namespace quoril::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kDeadline = 20s;

// The test's ALSA world: a configuration with the devices below (nothing else, so no sound
// card is looked for), a registry file and a home directory, all in one temporary directory
// made once for the whole suite, because alsa-lib reads its configuration once per process.
class AlsaWorld {
  public:
    AlsaWorld() {
        const std::string pcmLib = buildDir() + "/tests/quoril_test_alsa_pcm.so";
        std::string conf = "pcm_type.quoriltest { lib \"" + pcmLib + "\" }\n";
        // A device that takes anything: the null plug-in, recorded by the file plug-in.
        conf += capture("cap_s32", "type null", "Takes any format");
        // Devices that take one format only.
        conf += capture("cap_s24", "type quoriltest format S24_LE", "Takes S24_LE only");
        conf += capture("cap_s24_3", "type quoriltest format S24_3LE", "Takes S24_3LE only");
        conf += capture("cap_s16", "type quoriltest format S16_LE", "Takes S16_LE only");
        conf += capture("quad", "type quoriltest format S32_LE channels 4", "Four channels");
        conf += capture("mapped", "type null chmap [ \"FL,FR\" ]", "Two mapped channels");
        conf += device("rates", "type quoriltest format S16_LE rates \"44100,48000\"");
        conf += device("unplugged", "type quoriltest format S16_LE fail_after 8192");
        conf += device("underrun", "type quoriltest format S16_LE xrun_after 4096");
        conf += device("no_linear_format", "type quoriltest format FLOAT_LE");
        m_dir.write("asound.conf", conf);
        setenv("ALSA_CONFIG_PATH", m_dir.file("asound.conf").c_str(), 1);
        setenv("QUORIL_REGISTRY", m_dir.file("registry.reg").c_str(), 1);
        setenv("HOME", m_dir.path().c_str(), 1);
    }

    std::string rawFile(const std::string& device) const { return m_dir.file(device + ".raw"); }

    // Makes `device` the driver's "Device" (and bufferSize its "BufferSize", when not empty).
    void choose(const std::string& device, const std::string& bufferSize = "") const {
        Registry registry;
        registry.setString(AlsaSettings::kKey, "Device", device);
        if (!bufferSize.empty()) {
            registry.setString(AlsaSettings::kKey, "BufferSize", bufferSize);
        }
        ASSERT_TRUE(registry.save(m_dir.file("registry.reg")));
    }

  private:
    std::string capture(const std::string& name, const std::string& slave,
                        const std::string& description) const {
        return "pcm." + name + " {\n  type file\n  slave.pcm { " + slave + " }\n  file \"" + rawFile(name) +
               "\"\n  format raw\n  hint { show on description \"" + description + "\" }\n}\n";
    }
    static std::string device(const std::string& name, const std::string& body) {
        return "pcm." + name + " { " + body + " }\n";
    }

    TempDir m_dir;
};

class AlsaDriverTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { s_world = new AlsaWorld; }
    static void TearDownTestSuite() {
        delete s_world;
        s_world = nullptr;
    }

    // A driver for `device`, initialised.
    void open(const std::string& device, const std::string& bufferSize = "") {
        s_world->choose(device, bufferSize);
        std::string error;
        ASSERT_TRUE(m_host.load(alsaDriverPath(), error)) << error;
        ASSERT_EQ(m_host.driver()->init(nullptr), ASIOTrue) << errorMessage();
    }

    std::string errorMessage() {
        char text[124] = {};
        m_host.driver()->getErrorMessage(text);
        return text;
    }

    std::string channelName(long channel) {
        ASIOChannelInfo info{};
        info.channel = channel;
        info.isInput = ASIOFalse;
        EXPECT_EQ(m_host.driver()->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.type, ASIOSTInt32LSB);
        return info.name;
    }

    static AlsaWorld* s_world;
    DriverHost m_host;
};

AlsaWorld* AlsaDriverTest::s_world = nullptr;

// 24-bit (or 16-bit) content as the player hands it over: in the top bits of 32-bit words.
std::vector<int32_t> asHostWords(const std::vector<int32_t>& content, int bits) {
    std::vector<int32_t> words(content.size());
    for (size_t i = 0; i < content.size(); ++i) {
        words[i] = static_cast<int32_t>(static_cast<uint32_t>(content[i]) << (32 - bits));
    }
    return words;
}

// True when every byte from `from` on is zero; where is the first that is not.
bool allZeroFrom(const std::string& bytes, size_t from, size_t& where) {
    for (where = from; where < bytes.size(); ++where) {
        if (bytes[where] != 0) {
            return false;
        }
    }
    return true;
}

struct FormatCase {
    const char* device;
    int contentBits;        // bits of the disc's samples
    const char* firstName;  // the name of channel 1
    int deviceBits;         // container bits per sample in the device's stream
    int deviceShift;        // how far the host's 32-bit word is shifted down for the device
    int channels = 2;
    long pair = 0;
};

void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << c.device;
}

class AlsaFormatTest : public AlsaDriverTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(AlsaFormatTest, theDeviceReceivesEverySampleUnchangedInItsOwnFormatAndChannels) {
    const FormatCase& c = GetParam();
    open(c.device);
    long inputs = -1, outputs = -1;
    ASSERT_EQ(m_host.driver()->getChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(inputs * 100 + outputs, c.channels);
    EXPECT_EQ(channelName(0), c.firstName);

    // 3000 frames: not a whole number of half-buffers, so the last half ends in silence.
    const std::vector<int32_t> words = asHostWords(makeSamples(3000, c.contentBits, 2, 7), c.contentBits);
    m_host.setProgram(words);
    ASSERT_EQ(m_host.createPair(c.pair, 512), ASE_OK) << errorMessage();
    for (long channel = 0; channel < c.channels; ++channel) {
        ASIOChannelInfo info{channel, ASIOFalse, 0, 0, 0, {}};
        ASSERT_EQ(m_host.driver()->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(info.isActive, channel / 2 == c.pair ? ASIOTrue : ASIOFalse) << "channel " << channel;
    }
    ASSERT_EQ(m_host.driver()->start(), ASE_OK) << errorMessage();
    // The driver writes each half to the device before it asks for the next one.
    ASSERT_TRUE(m_host.waitForProgramPlayed(2, kDeadline));
    m_host.releaseDriver();  // the file plug-in writes its last bytes on close

    std::vector<int32_t> expected(words.size() / 2 * c.channels, 0);
    for (size_t frame = 0; frame < words.size() / 2; ++frame) {
        for (int k = 0; k < 2; ++k) {
            expected[frame * c.channels + 2 * c.pair + k] = words[2 * frame + k] >> c.deviceShift;
        }
    }
    const std::string want = packSamples(expected, c.deviceBits);
    const std::string got = readFile(s_world->rawFile(c.device));
    ASSERT_GE(got.size(), want.size());
    ASSERT_TRUE(got.compare(0, want.size(), want) == 0)
        << "first difference at byte "
        << std::mismatch(want.begin(), want.end(), got.begin()).first - want.begin();
    size_t where = 0;
    EXPECT_TRUE(allZeroFrom(got, want.size(), where)) << "a non-zero byte after the program at " << where;
}

INSTANTIATE_TEST_SUITE_P(HardwareFormats, AlsaFormatTest,
                         ::testing::Values(FormatCase{"cap_s32", 24, "Out 1 (S32_LE)", 32, 0},
                                           FormatCase{"cap_s24", 24, "Out 1 (S24_LE)", 32, 8},
                                           FormatCase{"cap_s24_3", 24, "Out 1 (S24_3LE)", 24, 8},
                                           FormatCase{"cap_s16", 16, "Out 1 (S16_LE)", 16, 16},
                                           // Pair 1 of four channels: silence beside it.
                                           FormatCase{"quad", 24, "Out 1 (S32_LE)", 32, 0, 4, 1},
                                           // Names from the device's channel map.
                                           FormatCase{"mapped", 24, "FL (S32_LE)", 32, 0}),
                         [](const ::testing::TestParamInfo<FormatCase>& info) {
                             return std::string(info.param.device);
                         });

TEST_F(AlsaDriverTest, onlyRatesTheHardwareTakesAreAccepted) {
    open("rates");
    ASIOSampleRate rate = 0;
    ASSERT_EQ(m_host.driver()->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 44100.0);

    EXPECT_EQ(m_host.driver()->setSampleRate(48000.0), ASE_OK);
    ASSERT_EQ(m_host.driver()->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 48000.0);

    EXPECT_NE(m_host.driver()->setSampleRate(96000.0), ASE_OK);
    EXPECT_NE(m_host.driver()->setSampleRate(46000.0), ASE_OK);
    EXPECT_NE(m_host.driver()->canSampleRate(88200.0), ASE_OK);
    EXPECT_EQ(m_host.driver()->canSampleRate(44100.0), ASE_OK);
    ASSERT_EQ(m_host.driver()->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 48000.0) << "a refused rate or a question changed the rate";
}

TEST_F(AlsaDriverTest, aDeviceThatVanishesWhilePlayingEndsInAResetRequest) {
    open("unplugged");
    m_host.setProgram(asHostWords(makeSamples(44100, 16, 2, 5), 16));
    ASSERT_EQ(m_host.createPair(0, 512), ASE_OK);
    ASSERT_EQ(m_host.driver()->start(), ASE_OK);
    ASSERT_TRUE(m_host.waitFor([this] { return m_host.resetRequests() > 0; }, kDeadline));
    const long switches = m_host.switches();
    m_host.releaseDriver();
    EXPECT_EQ(m_host.resetRequests(), 1);
    // 8192 frames went in before the device failed: 16 halves of 512, and the one that failed.
    EXPECT_EQ(switches, 17);
}

TEST_F(AlsaDriverTest, anUnderrunIsRecoveredCountedAndPlayingGoesOn) {
    open("underrun");
    m_host.setProgram(asHostWords(makeSamples(20000, 16, 2, 9), 16));
    ASSERT_EQ(m_host.createPair(0, 512), ASE_OK);
    ASSERT_EQ(m_host.driver()->start(), ASE_OK);
    ASSERT_TRUE(m_host.waitForProgramPlayed(2, kDeadline));
    ASSERT_EQ(m_host.driver()->stop(), ASE_OK);
    EXPECT_EQ(m_host.resetRequests(), 0);
    EXPECT_NE(errorMessage().find(" 1 underrun(s) recovered"), std::string::npos) << errorMessage();
}

TEST_F(AlsaDriverTest, halvesAlternateFromZeroAndStopEndsTheCallbacks) {
    open("cap_s16");
    m_host.setProgram({});
    ASSERT_EQ(m_host.createPair(0, 64), ASE_OK);
    ASSERT_EQ(m_host.driver()->start(), ASE_OK);
    ASSERT_TRUE(m_host.waitFor([this] { return m_host.switches() >= 100; }, kDeadline));
    ASSERT_EQ(m_host.driver()->stop(), ASE_OK);
    const long afterStop = m_host.switches();
    EXPECT_TRUE(m_host.halvesAlternated());
    // A second start plays again from half 0 after a stop.
    ASSERT_EQ(m_host.driver()->start(), ASE_OK);
    ASSERT_TRUE(m_host.waitFor([&] { return m_host.switches() >= afterStop + 10; }, kDeadline));
    ASSERT_EQ(m_host.driver()->stop(), ASE_OK);
}

struct BufferSizeCase {
    const char* value;  // "BufferSize" in the registry; empty: not there
    long preferred;
};

void PrintTo(const BufferSizeCase& c, std::ostream* os) {
    *os << "\"" << c.value << "\"";
}

class AlsaBufferSizeTest : public AlsaDriverTest, public ::testing::WithParamInterface<BufferSizeCase> {};

TEST_P(AlsaBufferSizeTest, thePreferredSizeIsTheRegistryValueWithinWhatTheDeviceAllows) {
    open("cap_s16", GetParam().value);
    long minimum = 0, maximum = 0, preferred = 0, granularity = 0;
    ASSERT_EQ(m_host.driver()->getBufferSize(&minimum, &maximum, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(minimum, 16);  // the test device's smallest period
    EXPECT_EQ(maximum, 32767);
    EXPECT_EQ(preferred, GetParam().preferred);
    EXPECT_EQ(m_host.createPair(0, preferred), ASE_OK);
    EXPECT_EQ(m_host.createPair(0, maximum + 1), ASE_InvalidMode) << "buffers exist already";
}

INSTANTIATE_TEST_SUITE_P(Registry, AlsaBufferSizeTest,
                         ::testing::Values(BufferSizeCase{"", 512}, BufferSizeCase{"256", 256},
                                           BufferSizeCase{"441", 441}, BufferSizeCase{"8", 16},
                                           BufferSizeCase{"100000", 32767}, BufferSizeCase{"junk", 512}));

struct OpenFailureCase {
    const char* device;
    const char* messageStart;
};

void PrintTo(const OpenFailureCase& c, std::ostream* os) {
    *os << c.device;
}

class AlsaOpenFailureTest : public AlsaDriverTest, public ::testing::WithParamInterface<OpenFailureCase> {};

TEST_P(AlsaOpenFailureTest, initFailsAndSaysWhyNamingTheDevice) {
    s_world->choose(GetParam().device);
    std::string error;
    ASSERT_TRUE(m_host.load(alsaDriverPath(), error)) << error;
    EXPECT_EQ(m_host.driver()->init(nullptr), ASIOFalse);
    EXPECT_EQ(errorMessage().rfind(GetParam().messageStart, 0), 0u) << errorMessage();
    long inputs = 0, outputs = 0;
    EXPECT_EQ(m_host.driver()->getChannels(&inputs, &outputs), ASE_NotPresent);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, AlsaOpenFailureTest,
    ::testing::Values(OpenFailureCase{"no_such_device", "Cannot open ALSA device \"no_such_device\": "},
                      OpenFailureCase{
                          "no_linear_format",
                          "ALSA device \"no_linear_format\" takes none of S32_LE, S24_LE, S24_3LE, S16_LE"}));

TEST_F(AlsaDriverTest, theControlPanelWithoutAWindowPrintsTheAnnouncedDevicesInOrderWithTheChosenOneMarked) {
    open("cap_s24_3");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(m_host.driver()->controlPanel(), ASE_OK);
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("ALSA playback devices (* = \"Device\" of Quoril ALSA, now \"cap_s24_3\"):\n", 0), 0u)
        << out;
    EXPECT_NE(out.find("\n* cap_s24_3\tTakes S24_3LE only\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n  cap_s16\tTakes S16_LE only\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("unplugged"), std::string::npos) << "a device without a hint is listed";
    std::vector<std::string> names;
    for (const AlsaDevice& device : listAlsaPlaybackDevices()) {
        names.push_back(device.name);
    }
    const std::vector<std::string> expected = {"cap_s32", "cap_s24", "cap_s24_3",
                                               "cap_s16", "quad",    "mapped"};
    EXPECT_EQ(names, expected);
}

TEST_F(AlsaDriverTest, savingTheChosenDeviceKeepsTheRestOfTheRegistryFile) {
    Registry registry;
    registry.setString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek", "Path", "/opt/quoril");
    registry.setString(AlsaSettings::kKey, "Device", "cap_s16");
    registry.setString(AlsaSettings::kKey, "BufferSize", "1024");
    ASSERT_TRUE(registry.save(Registry::locate()));

    std::string error;
    ASSERT_TRUE(AlsaSettings::saveDevice("hw:CARD=DAC,DEV=0", error)) << error;
    const AlsaSettings settings = AlsaSettings::load();
    EXPECT_EQ(settings.device, "hw:CARD=DAC,DEV=0");
    EXPECT_EQ(settings.bufferSize, 1024);
    Registry reread;
    ASSERT_TRUE(reread.load(Registry::locate()));
    EXPECT_EQ(reread.stringValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek", "Path").value_or(""), "/opt/quoril");
}

}  // namespace
}  // namespace quoril::test
