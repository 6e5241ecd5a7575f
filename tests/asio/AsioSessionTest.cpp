#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "asio/AsioDriverList.h"
#include "asio/AsioSession.h"
#include "asio/DriverTestSupport.h"
#include "config/Settings.h"
#include "platform/DiagnosticsLog.h"

namespace quoril {
namespace {

using test::DriverRegistry;
using test::TestHost;

// The lines every session with a default fault driver named "Fault" writes first.
const std::string kFaultHeader =
    "ASIO Driver Initializing...\r\n"
    "\tName (Fault)\r\n"
    "\tPlayer ASIO version (2)\r\n"
    "\tDriver ASIO version (7)\r\n"
    "\tMessage (No ASIO Driver Error)\r\n";
const std::string kInitFailed = "\r\nASIO Driver initialization FAILED!\r\n";
const std::string kDefaultBufferLine =
    "\tBuffer details (min: 32, max: 4096, preferred: 256, granularity: 1)\r\n";
const std::string kPreparedDefault =
    "\tPreparing buffers... successful\r\n"
    "\tLatencies (input: 11, output: 22)\r\n";
const std::string kOptimization = "\tHardware supports additional optimization - enabled\r\n";
const std::string kInitialized = "\r\nASIO Driver initialized.\r\n";
const std::string kStarting = "\r\nASIO Driver starting...\r\n";
const std::string kStarted = "\r\nASIO started successfully.\r\n\r\n";
const std::string kChannels2 = "\tChannels (inputs: 0, outputs: 2)\r\n";
const std::string kRate = "\tSample rate (   44100)\r\n";
const std::string kRateSet = "\tSample rate (   44100)\r\n\t\tbeing set to    48000\r\n";
const std::string kNoOutputReady = "\tOutput Ready? Not supported\r\n";
// Everything a default fault driver logs up to a successful initialisation at its own rate.
const std::string kUpToInitialized = kFaultHeader + kChannels2 + kDefaultBufferLine + kRate + kNoOutputReady +
                                     kPreparedDefault + kOptimization;

std::string outputLine(int number, const std::string& name, bool active, const std::string& tail = "") {
    std::string padded = number < 10 ? " " + std::to_string(number) : std::to_string(number);
    return "\tOutput " + padded + "\t[ " + name + " ]\tActive (" + (active ? "1" : "0") + ") type (32bits)" +
           tail + "\r\n";
}
// Outputs 1 and 2 of the fault driver as the left and right channel.
const std::string kPlayingPair0 = outputLine(1, "Fault Out 1", true, " > Left Channel") +
                                  outputLine(2, "Fault Out 2", true, " > Right Channel");

class Session : public ::testing::Test {
  protected:
    void SetUp() override {
        TestHost::reset();
        drivers.addFaultDriver("Fault", 1);
        journalPath = drivers.journal("Fault");
        settings.asioDriverName = "Fault";
    }
    void TearDown() override {
        session.reset();
        EXPECT_EQ(asioDrivers, nullptr) << "teardown destroys the session's driver list";
        EXPECT_EQ(theAsioDriver.load(), nullptr);
    }
    void open(double rate = 44100.0, int16_t pair = 0, const std::string& name = "Fault") {
        drivers.save();
        session = std::make_unique<AsioSession>(name, rate, pair, log, TestHost::callbacks(), settings);
    }
    std::string journal() const { return test::readFile(journalPath); }
    // The journal up to (not including) the Release line, whose counts vary with timing.
    std::string journalBeforeRelease() const {
        std::string text = journal();
        size_t at = text.find("Release");
        return at == std::string::npos ? text : text.substr(0, at);
    }

    DriverRegistry drivers;
    std::string journalPath;
    Settings settings;
    DiagnosticsLog log;
    std::unique_ptr<AsioSession> session;
};

// A driver already at the rate logs no rate line and is never asked to change it; one that refuses
// the optimization starts without that line.
class SessionStart : public Session, public ::testing::WithParamInterface<bool> {};

TEST_P(SessionStart, logsTheDriverAndItsPairAndCallsTheDriverInOrder) {
    const bool refusesFuture = GetParam();
    drivers.set("Fault", "Refuse", refusesFuture ? "future" : "");
    open(44100.0);
    ASSERT_TRUE(session->initialized());
    session->silence();
    session->start();
    EXPECT_TRUE(session->initialized());
    EXPECT_EQ(session->sampleType(), ASIOSTInt32LSB);
    EXPECT_EQ(log.snapshot(), kFaultHeader + kChannels2 + kDefaultBufferLine + kRate + kNoOutputReady +
                                  kPreparedDefault + (refusesFuture ? "" : kOptimization) + kInitialized +
                                  kStarting + "\r\n" + kPlayingPair0 + kStarted);
    session.reset();
    EXPECT_EQ(
        journalBeforeRelease(),
        "create\ninit\ngetChannels\ngetBufferSize\ngetSampleRate\ncreateBuffers 2 256\n"
        "getChannelInfo out 0\ngetChannelInfo out 1\ngetLatencies\nfuture 2\nstart\nstop\ndisposeBuffers\n");
}

INSTANTIATE_TEST_SUITE_P(Optimization, SessionStart, ::testing::Bool());

TEST_F(Session, aRateChangeAcceptedIsLoggedWithTheRateReadBack) {
    open(48000.0);
    ASSERT_TRUE(session->initialized());
    EXPECT_EQ(log.snapshot(), kFaultHeader + "\tChannels (inputs: 0, outputs: 2)\r\n" + kDefaultBufferLine +
                                  "\tSample rate (   44100)\r\n"
                                  "\t\tbeing set to    48000\r\n"
                                  "\tNew sample rate (   48000)\r\n" +
                                  kNoOutputReady + kPreparedDefault + kOptimization + kInitialized);
    EXPECT_EQ(driverInfo().sampleRate, 48000.0);
    EXPECT_NE(journal().find("getSampleRate\nsetSampleRate 48000\ngetSampleRate\ngetChannels\n"),
              std::string::npos)
        << journal();
}

TEST_F(Session, channelsChangedByARateChangeFailAndRebuildTheDriverList) {
    drivers.setDword("Fault", "OutputsAfterRateChange", 4);
    drivers.addCaptureDriver();
    settings.driverCount = 1;
    settings.drivers[0].name = "stale";
    open(96000.0);
    EXPECT_FALSE(session->initialized());
    EXPECT_EQ(log.snapshot(),
              kFaultHeader + "\tChannels (inputs: 0, outputs: 2)\r\n" + kDefaultBufferLine +
                  "\tSample rate (   44100)\r\n"
                  "\t\tbeing set to    96000\r\n"
                  "\tNew sample rate (   96000)\r\n"
                  "\t\tNew channels effective (inputs: 0, outputs: 4) due to rate change.\r\n\r\n"
                  "\t\tRESET left & right output channel mapping in settings.\r\n\r\n" +
                  kInitFailed);
    ASSERT_EQ(settings.driverCount, 2);
    EXPECT_EQ(settings.drivers[0].name, "Fault");
    EXPECT_TRUE(settings.drivers[0].selected);
    EXPECT_EQ(settings.drivers[1].name, "Quoril Capture");
    EXPECT_FALSE(settings.drivers[1].selected);
    EXPECT_EQ(driverInfo().outputChannels, 2) << "the counts read first stay";
    session.reset();
    EXPECT_EQ(journal().find("createBuffers"), std::string::npos);
}

TEST_F(Session, onlyTheFirstHundredOfManyInputsAreDescribedAndOutputsFollowThem) {
    drivers.setDword("Fault", "Inputs", 120);
    open();
    ASSERT_TRUE(session->initialized());
    EXPECT_EQ(driverInfo().inputBuffers, 100);
    EXPECT_EQ(driverInfo().outputBuffers, 2);
    EXPECT_EQ(driverInfo().channelInfos[100].isInput, ASIOFalse);
    EXPECT_EQ(driverInfo().channelInfos[100].channel, 0);
    EXPECT_EQ(driverInfo().channelInfos[101].channel, 1);
    session->start();
    ASSERT_TRUE(session->initialized());

    std::string expected = kFaultHeader + "\tChannels (inputs: 120, outputs: 2)\r\n" + kDefaultBufferLine +
                           kRate + kNoOutputReady + kPreparedDefault + kOptimization + kInitialized +
                           kStarting;
    for (int i = 1; i <= 100; ++i) {
        std::string padded = i < 10 ? " " + std::to_string(i) : std::to_string(i);
        expected +=
            "\tInput " + padded + "\t[ Fault In " + std::to_string(i) + " ]\tActive (0) type (32bits)\r\n";
    }
    expected += "\r\n" + kPlayingPair0 + kStarted;
    EXPECT_EQ(log.snapshot(), expected);
    EXPECT_EQ(journal().find("getChannelInfo in 100\n"), std::string::npos);
    EXPECT_NE(journal().find("getChannelInfo in 99\ngetChannelInfo out 0\ngetChannelInfo out 1\n"),
              std::string::npos);
}

TEST_F(Session, aTwentyFourBitInputRefusesTheStartAndTeardownStillStopsTheDriver) {
    drivers.setDword("Fault", "Inputs", 1);
    drivers.setDword("Fault", "InputSampleType", ASIOSTInt24LSB);
    open();
    ASSERT_TRUE(session->initialized());
    session->start();
    EXPECT_FALSE(session->initialized());
    EXPECT_TRUE(session->mustStop());
    EXPECT_EQ(session->sampleType(), ASIOSTInt32LSB) << "the left output is still 32-bit";
    EXPECT_EQ(log.snapshot(),
              kFaultHeader + "\tChannels (inputs: 1, outputs: 2)\r\n" + kDefaultBufferLine + kRate +
                  kNoOutputReady + kPreparedDefault + kOptimization + kInitialized + kStarting +
                  "\tInput  1\t[ Fault In 1 ]\tActive (0) type (NOT SUPPORTED, type=17)\r\n\r\n" +
                  kPlayingPair0 + "\r\nASIO start FAILED.  Only 32 bit ASIO format supported.\r\n\r\n");
    session.reset();
    std::string text = journal();
    EXPECT_NE(text.find("start\nstop\ndisposeBuffers\nRelease"), std::string::npos) << text;
}

TEST_F(Session, theSessionValuesAreRecordedForTheCallbacksAndPairOneMarksOutputsThreeAndFour) {
    drivers.setDword("Fault", "Outputs", 4);
    drivers.setDword("Fault", "BufferSize", 441);
    drivers.setDword("Fault", "OutputLatency", 900);
    drivers.setDword("Fault", "OutputReady", 1);
    open(44100.0, 1);
    ASSERT_TRUE(session->initialized());
    EXPECT_EQ(session->bufferSize(), 441);
    EXPECT_EQ(session->outputLatency(), 900);
    EXPECT_TRUE(driverInfo().postOutput);
    EXPECT_EQ(driverInfo().bufferInfos[0].channelNum, 2);
    EXPECT_EQ(driverInfo().bufferInfos[1].channelNum, 3);
    session->start();
    const std::string text = log.snapshot();
    EXPECT_NE(text.find("\tOutput Ready? Supported\r\n"), std::string::npos);
    const std::string listing = "\r\n" + outputLine(1, "Fault Out 1", false) +
                                outputLine(2, "Fault Out 2", false) +
                                outputLine(3, "Fault Out 3", true, " > Left Channel") +
                                outputLine(4, "Fault Out 4", true, " > Right Channel") + kStarted;
    ASSERT_GE(text.size(), listing.size());
    EXPECT_EQ(text.substr(text.size() - listing.size()), listing);
}

struct SilenceCase {
    const char* name;
    long type;
    size_t bytesPerSample;
};

class SessionSilence : public Session, public ::testing::WithParamInterface<SilenceCase> {};

TEST_P(SessionSilence, zeroesExactlyBothHalvesOfBothOutputsInTheirSampleSize) {
    drivers.setDword("Fault", "OutputSampleType", static_cast<uint32_t>(GetParam().type));
    open();
    ASSERT_TRUE(session->initialized());
    const size_t frames = 256;
    const size_t room = frames * 8;  // what the fault driver allocates per half
    for (int k = 0; k < 2; ++k) {
        for (void* half : driverInfo().bufferInfos[k].buffers) {
            std::memset(half, 0xAA, room);
        }
    }
    session->silence();
    const size_t zeroed = frames * GetParam().bytesPerSample;
    for (int k = 0; k < 2; ++k) {
        for (void* half : driverInfo().bufferInfos[k].buffers) {
            auto* bytes = static_cast<unsigned char*>(half);
            for (size_t i = 0; i < room; ++i) {
                ASSERT_EQ(bytes[i], i < zeroed ? 0 : 0xAA) << "entry " << k << " byte " << i;
            }
        }
    }
}

const SilenceCase kSilenceCases[] = {
    {"int16", ASIOSTInt16LSB, 2},     {"int24", ASIOSTInt24LSB, 3},        {"int32", ASIOSTInt32LSB, 4},
    {"float32", ASIOSTFloat32MSB, 4}, {"int32lsb24", ASIOSTInt32LSB24, 4}, {"float64", ASIOSTFloat64LSB, 8},
    {"dsd", ASIOSTDSDInt8LSB1, 0},
};
INSTANTIATE_TEST_SUITE_P(Types, SessionSilence, ::testing::ValuesIn(kSilenceCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Session, silenceDoesNothingOnceTheStartFailed) {
    drivers.set("Fault", "Refuse", "start");
    open();
    ASSERT_TRUE(session->initialized());
    session->start();
    EXPECT_FALSE(session->initialized());
    EXPECT_FALSE(session->mustStop());
    std::memset(driverInfo().bufferInfos[0].buffers[0], 0x55, 16);
    session->silence();
    EXPECT_EQ(static_cast<unsigned char*>(driverInfo().bufferInfos[0].buffers[0])[0], 0x55);
    EXPECT_EQ(log.snapshot(), kUpToInitialized + kInitialized + "\r\nASIO start failed!\r\n");
    session.reset();
    std::string text = journal();
    EXPECT_NE(text.find("future 2\nstart\nRelease"), std::string::npos) << "teardown only closes the driver\n"
                                                                        << text;
}

struct FailureCase {
    const char* name;
    const char* refuse;  // value of "Refuse"
    double rate;
    std::string tail;  // the log after the header
};

class SessionFailure : public Session, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SessionFailure, logsTheReasonAndLeavesTheSessionUninitialised) {
    const FailureCase& c = GetParam();
    drivers.set("Fault", "Refuse", c.refuse);
    open(c.rate);
    EXPECT_FALSE(session->initialized());
    EXPECT_EQ(log.snapshot(), kFaultHeader + c.tail);
    session.reset();
    EXPECT_NE(journal().find("\nRelease"), std::string::npos) << "the driver is released by the teardown";
    EXPECT_EQ(journal().find("\nstart\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, SessionFailure,
    ::testing::Values(
        FailureCase{"channels", "getChannels", 44100,
                    "\tDriver NOT providing channel information!\r\n\r\nASIO Driver is not operational.\r\n" +
                        kInitFailed},
        FailureCase{"bufferSize", "getBufferSize", 44100,
                    kChannels2 +
                        "\tDriver NOT providing buffer details!\r\n\r\nASIO Driver is not operational.\r\n" +
                        kInitFailed},
        FailureCase{"sampleRate", "getSampleRate", 44100,
                    kChannels2 + kDefaultBufferLine +
                        "\tDriver NOT providing sample rate!\r\n\r\nASIO Driver is not operational.\r\n" +
                        kInitFailed},
        FailureCase{"setSampleRate", "setSampleRate", 48000,
                    kChannels2 + kDefaultBufferLine + kRateSet +
                        "\tDriver does NOT support this sample rate!\r\n\r\nChange to valid rate in player "
                        "settings.\r\n" +
                        kInitFailed},
        FailureCase{
            "confirmRate", "confirmRate", 48000,
            kChannels2 + kDefaultBufferLine + kRateSet +
                "\tCannot confirm new sample rate.\r\n\r\nChange to valid rate in player settings.\r\n" +
                kInitFailed},
        FailureCase{
            "confirmChannels", "confirmChannels", 48000,
            kChannels2 + kDefaultBufferLine + kRateSet + "\tNew sample rate (   48000)\r\n" +
                "\tCannot confirm channels after sample rate changed.\r\n\r\nChange to valid rate in player "
                "settings.\r\n" +
                kInitFailed},
        FailureCase{"createBuffers", "createBuffers", 44100,
                    kChannels2 + kDefaultBufferLine + kRate + kNoOutputReady +
                        "\tPreparing buffers...FAILED!" + kInitFailed},
        FailureCase{"latencies", "getLatencies", 44100,
                    kChannels2 + kDefaultBufferLine + kRate + kNoOutputReady +
                        "\tPreparing buffers...FAILED!" + kInitFailed}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(Session, aDriverThatIsNotRegisteredFailsAtOnce) {
    open(44100.0, 0, "Nobody");
    EXPECT_FALSE(session->initialized());
    EXPECT_EQ(log.snapshot(), kInitFailed);
}

TEST_F(Session, aDriverWhoseInitFailsKeepsItsErrorTextAndIsReleasedByTheTeardown) {
    drivers.set("Fault", "InitError", "Device unplugged");
    open();
    EXPECT_FALSE(session->initialized());
    EXPECT_EQ(log.snapshot(), kInitFailed);
    EXPECT_STREQ(driverInfo().driverInfo.errorMessage, "Device unplugged");
    EXPECT_EQ(theAsioDriver.load(), nullptr);
    ASSERT_NE(asioDrivers, nullptr);
    EXPECT_EQ(asioDrivers->getCurrentDriverIndex(), 0) << "the driver stays open in its record";
    session.reset();
    EXPECT_EQ(journal(), "create\ninit\ngetErrorMessage\nRelease outputReady=0 switches=0\n");
}

}  // namespace
}  // namespace quoril
