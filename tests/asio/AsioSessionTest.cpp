#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "asio/AsioDriverList.h"
#include "asio/AsioSession.h"
#include "asio/DriverTestSupport.h"
#include "config/Settings.h"
#include "platform/CFormat.h"
#include "platform/DiagnosticsLog.h"

namespace quoril {
namespace {

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
const std::string kChannels2 = "\tChannels (inputs: 0, outputs: 2)\r\n";
const std::string kRate = "\tSample rate (   44100)\r\n";
const std::string kRateSet = "\tSample rate (   44100)\r\n\t\tbeing set to    48000\r\n";
const std::string kNoOutputReady = "\tOutput Ready? Not supported\r\n";
const std::string kNotOperational = "\r\n\r\nASIO Driver is not operational.\r\n" + kInitFailed;
const std::string kChangeRate = "\r\n\r\nChange to valid rate in player settings.\r\n" + kInitFailed;

std::string outputLine(int number, bool active, const std::string& tail = "") {
    return cformat("\tOutput %2d\t[ Fault Out %d ]\tActive (%d) type (32bits)", number, number, active) +
           tail + "\r\n";
}

class Session : public ::testing::Test {
  protected:
    void SetUp() override {
        TestHost::reset();
        drivers.addFaultDriver("Fault", 1);
        settings.asioDriverName = "Fault";
    }
    void TearDown() override {
        session.reset();
        EXPECT_EQ(asioDrivers, nullptr) << "teardown destroys the session's driver list";
        EXPECT_EQ(theAsioDriver.load(), nullptr);
    }
    void open(double rate, int16_t pair = 0) {
        drivers.save();
        session = std::make_unique<AsioSession>("Fault", rate, pair, log, TestHost::callbacks(), settings);
    }
    std::string journal() const { return test::readFile(journalPath); }

    test::DriverRegistry drivers;
    const std::string journalPath = drivers.journal("Fault");
    Settings settings;
    DiagnosticsLog log;
    std::unique_ptr<AsioSession> session;
};

// A driver already at the rate is never asked to change it; one that refuses the optimization
// starts without that line.
struct StartCase {
    const char* name;
    const char* refuse;
    double rate;
    std::string rateLines;    // in the log
    std::string rateJournal;  // the calls between getBufferSize and createBuffers
};

class SessionStart : public Session, public ::testing::WithParamInterface<StartCase> {};

TEST_P(SessionStart, logsTheDriverAndItsPairAndCallsTheDriverInOrder) {
    const StartCase& c = GetParam();
    drivers.set("Fault", "Refuse", c.refuse);
    open(c.rate);
    ASSERT_TRUE(session->initialized());
    EXPECT_EQ(driverInfo().sampleRate, c.rate);
    // Silence zeroes exactly both halves of both outputs, 256 32-bit samples each.
    for (int k = 0; k < 4; ++k) {
        std::memset(driverInfo().bufferInfos[k / 2].buffers[k % 2], 0xAA, 256 * 8);
    }
    session->silence();
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(std::string(static_cast<char*>(driverInfo().bufferInfos[k / 2].buffers[k % 2]), 256 * 8),
                  std::string(256 * 4, '\0') + std::string(256 * 4, '\xAA'))
            << "half " << k;
    }
    session->start();
    EXPECT_TRUE(session->initialized());
    EXPECT_EQ(session->sampleType(), ASIOSTInt32LSB);
    EXPECT_EQ(log.snapshot(), kFaultHeader + kChannels2 + kDefaultBufferLine + c.rateLines + kNoOutputReady +
                                  kPreparedDefault + (*c.refuse ? "" : kOptimization) + kInitialized +
                                  kStarting + "\r\n" + outputLine(1, true, " > Left Channel") +
                                  outputLine(2, true, " > Right Channel") +
                                  "\r\nASIO started successfully.\r\n\r\n");
    session.reset();
    EXPECT_EQ(journal(), "create\ninit\ngetChannels\ngetBufferSize\n" + c.rateJournal +
                             "createBuffers 2 256\ngetChannelInfo out 0\ngetChannelInfo out 1\n"
                             "getLatencies\nfuture 2\nstart\nstop\ndisposeBuffers\nRelease\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SessionStart,
    ::testing::Values(StartCase{"atItsRate", "", 44100, kRate, "getSampleRate\n"},
                      StartCase{"noOptimization", "future", 44100, kRate, "getSampleRate\n"},
                      StartCase{"rateChanged", "", 48000, kRateSet + "\tNew sample rate (   48000)\r\n",
                                "getSampleRate\nsetSampleRate 48000\ngetSampleRate\ngetChannels\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// Only the first hundred inputs are described; a 24-bit one refuses the start, and the teardown
// still stops the driver. Pair one is outputs three and four.
TEST_F(Session, manyInputsAreDescribedUpToAHundredAndATwentyFourBitOneRefusesTheStart) {
    drivers.setDword("Fault", "Inputs", 120);
    drivers.setDword("Fault", "InputSampleType", ASIOSTInt24LSB);
    drivers.setDword("Fault", "Outputs", 4);
    drivers.setDword("Fault", "BufferSize", 441);
    drivers.setDword("Fault", "OutputLatency", 900);
    drivers.setDword("Fault", "OutputReady", 1);
    open(44100.0, 1);
    ASSERT_TRUE(session->initialized());
    EXPECT_EQ(session->bufferSize(), 441);
    EXPECT_EQ(session->outputLatency(), 900);
    session->start();
    EXPECT_FALSE(session->initialized());
    EXPECT_TRUE(session->mustStop());
    EXPECT_EQ(session->sampleType(), ASIOSTInt32LSB) << "the left output is still 32-bit";
    std::string expected = kFaultHeader + "\tChannels (inputs: 120, outputs: 4)\r\n" +
                           "\tBuffer details (min: 32, max: 4096, preferred: 441, granularity: 1)\r\n" +
                           kRate +
                           "\tOutput Ready? Supported\r\n\tPreparing buffers... successful\r\n"
                           "\tLatencies (input: 11, output: 900)\r\n" +
                           kOptimization + kInitialized + kStarting;
    for (int i = 1; i <= 100; ++i) {
        expected +=
            cformat("\tInput %2d\t[ Fault In %d ]\tActive (0) type (NOT SUPPORTED, type=17)\r\n", i, i);
    }
    EXPECT_EQ(log.snapshot(), expected + "\r\n" + outputLine(1, false) + outputLine(2, false) +
                                  outputLine(3, true, " > Left Channel") +
                                  outputLine(4, true, " > Right Channel") +
                                  "\r\nASIO start FAILED.  Only 32 bit ASIO format supported.\r\n\r\n");
    session.reset();
    EXPECT_NE(journal().find("getChannelInfo in 99\ngetChannelInfo out 0\ngetChannelInfo out 1\n"),
              std::string::npos);
    EXPECT_NE(journal().find("start\nstop\ndisposeBuffers\nRelease"), std::string::npos) << journal();
}

struct FailureCase {
    const char* name;
    const char* value;  // "Name=text" for the driver's key
    double rate;
    std::string log;
    const char* lastCalls;  // the end of the journal
};

class SessionFailure : public Session, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SessionFailure, logsTheReasonAndLeavesTheSessionUninitialisedAndTheTeardownReleasesTheDriver) {
    const FailureCase& c = GetParam();
    const std::string value = c.value;
    drivers.set("Fault", value.substr(0, value.find('=')), value.substr(value.find('=') + 1));
    drivers.addCaptureDriver();
    settings.driverCount = 1;
    settings.drivers[0].name = "stale";
    open(c.rate);
    if (session->initialized()) {
        session->start();
    }
    EXPECT_FALSE(session->initialized());
    EXPECT_FALSE(session->mustStop());
    EXPECT_EQ(log.snapshot(), c.log);
    // Only channels changed by a rate change rebuild the driver list, the driver in it selected.
    const bool rebuilt = value.starts_with("OutputsAfterRateChange");
    EXPECT_EQ(settings.drivers[0].name, rebuilt ? "Fault" : "stale");
    EXPECT_EQ(settings.driverCount, rebuilt ? 2 : 1);
    EXPECT_EQ(settings.drivers[0].selected, rebuilt);
    session.reset();
    EXPECT_TRUE(journal().ends_with(c.lastCalls)) << journal();
}

const FailureCase kFailureCases[] = {
    {"notRegistered", "clsid=none", 44100, kInitFailed, ""},
    {"init", "InitError=Device unplugged", 44100, kInitFailed, "create\ninit\ngetErrorMessage\nRelease\n"},
    {"channels", "Refuse=getChannels", 44100,
     kFaultHeader + "\tDriver NOT providing channel information!" + kNotOperational,
     "init\ngetChannels\nRelease\n"},
    {"bufferSize", "Refuse=getBufferSize", 44100,
     kFaultHeader + kChannels2 + "\tDriver NOT providing buffer details!" + kNotOperational,
     "getChannels\ngetBufferSize\nRelease\n"},
    {"sampleRate", "Refuse=getSampleRate", 44100,
     kFaultHeader + kChannels2 + kDefaultBufferLine + "\tDriver NOT providing sample rate!" + kNotOperational,
     "getBufferSize\ngetSampleRate\nRelease\n"},
    {"setSampleRate", "Refuse=setSampleRate", 48000,
     kFaultHeader + kChannels2 + kDefaultBufferLine + kRateSet +
         "\tDriver does NOT support this sample rate!" + kChangeRate,
     "getSampleRate\nsetSampleRate 48000\nRelease\n"},
    {"confirmRate", "Refuse=confirmRate", 48000,
     kFaultHeader + kChannels2 + kDefaultBufferLine + kRateSet + "\tCannot confirm new sample rate." +
         kChangeRate,
     "setSampleRate 48000\ngetSampleRate\nRelease\n"},
    {"confirmChannels", "Refuse=confirmChannels", 48000,
     kFaultHeader + kChannels2 + kDefaultBufferLine + kRateSet + "\tNew sample rate (   48000)\r\n" +
         "\tCannot confirm channels after sample rate changed." + kChangeRate,
     "setSampleRate 48000\ngetSampleRate\ngetChannels\nRelease\n"},
    {"createBuffers", "Refuse=createBuffers", 44100,
     kFaultHeader + kChannels2 + kDefaultBufferLine + kRate + kNoOutputReady +
         "\tPreparing buffers...FAILED!" + kInitFailed,
     "getSampleRate\ncreateBuffers 2 256\nRelease\n"},
    {"channelsChangedByTheRate", "OutputsAfterRateChange=4", 96000,
     kFaultHeader + kChannels2 + kDefaultBufferLine +
         "\tSample rate (   44100)\r\n\t\tbeing set to    96000\r\n\tNew sample rate (   96000)\r\n"
         "\t\tNew channels effective (inputs: 0, outputs: 4) due to rate change.\r\n\r\n"
         "\t\tRESET left & right output channel mapping in settings.\r\n\r\n" +
         kInitFailed,
     "getChannelInfo out 1\nRelease\nRelease\n"},  // the rescan's instance, then the session's
    // The teardown only closes a driver whose start failed.
    {"start", "Refuse=start", 44100,
     kFaultHeader + kChannels2 + kDefaultBufferLine + kRate + kNoOutputReady + kPreparedDefault +
         kOptimization + kInitialized + "\r\nASIO start failed!\r\n",
     "future 2\nstart\nRelease\n"},
};
INSTANTIATE_TEST_SUITE_P(Refusals, SessionFailure, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quoril
