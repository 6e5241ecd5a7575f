#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "asio/AsioDriverList.h"
#include "asio/DriverTestSupport.h"

namespace quoril {
namespace {

using test::DriverRegistry;
using test::TestHost;

class Capture : public ::testing::Test {
  protected:
    void SetUp() override {
        TestHost::reset();
        drivers.addCaptureDriver();
        wavPath = drivers.dir().file("capture.wav");
        drivers.set(test::kCaptureName, "File", wavPath);
    }
    void TearDown() override {
        if (list) {
            list->removeCurrentDriver();
        }
    }
    void set(const std::string& name, const std::string& value) {
        drivers.set(test::kCaptureName, name, value);
    }

    // Loads and initialises the driver with the configuration set so far.
    IASIO* open() {
        drivers.save();
        list = std::make_unique<AsioDrivers>();
        if (!list->loadDriver(test::kCaptureName)) {
            return nullptr;
        }
        IASIO* driver = theAsioDriver.load();
        TestHost::driver = driver;
        return driver->init(nullptr) ? driver : nullptr;
    }
    // Buffers for output channels left and right of the given size, filled by the test host.
    ASIOError createBuffers(IASIO* driver, long size, long left = 0, long right = 1) {
        buffers[0] = ASIOBufferInfo{ASIOFalse, left, {nullptr, nullptr}};
        buffers[1] = ASIOBufferInfo{ASIOFalse, right, {nullptr, nullptr}};
        callbacks = TestHost::callbacks();
        TestHost::buffers = buffers;
        TestHost::bufferSize = size;
        return driver->createBuffers(buffers, 2, size, &callbacks);
    }
    static bool waitForSwitches(uint64_t count) {
        return TestHost::waitFor([count] { return TestHost::switches.load() >= count; });
    }
    // The samples of the file, checked to be a complete 32-bit stereo WAV.
    std::vector<int32_t> readWav(uint32_t expectedRate) {
        uint32_t rate = 0;
        std::vector<int32_t> samples;
        std::string why;
        EXPECT_TRUE(test::readCaptureWav(wavPath, rate, samples, why)) << why;
        EXPECT_EQ(rate, expectedRate);
        return samples;
    }
    // Checks that the file holds the host's pattern for frames first .. first + frames - 1.
    static void expectPattern(const std::vector<int32_t>& samples, uint64_t first, uint64_t frames) {
        ASSERT_EQ(samples.size(), 2 * frames);
        for (uint64_t i = 0; i < frames; ++i) {
            ASSERT_EQ(samples[2 * i], TestHost::leftSample(first + i)) << "left of frame " << i;
            ASSERT_EQ(samples[2 * i + 1], TestHost::rightSample(first + i)) << "right of frame " << i;
        }
    }

    DriverRegistry drivers;
    std::string wavPath;
    std::unique_ptr<AsioDrivers> list;
    ASIOBufferInfo buffers[2] = {};
    ASIOCallbacks callbacks = {};
};

std::string run(const std::string& command) {
    std::string output;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[256];
        while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) {
            output += chunk;
        }
        pclose(pipe);
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) {
        output.pop_back();
    }
    return output;
}

TEST_F(Capture, runForSecondsItWritesAFileThatSoxReadsWithTheRightRateChannelsAndLength) {
    set("Rate", "48000");
    set("BufferSize", "480");
    IASIO* driver = open();
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(createBuffers(driver, 480), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    // 200 periods of 10 ms: two seconds at real time.
    ASSERT_TRUE(TestHost::waitFor([] { return TestHost::switches.load() >= 200; }, std::chrono::seconds(60)));
    ASSERT_EQ(driver->stop(), ASE_OK);
    const uint64_t switches = TestHost::switches.load();

    EXPECT_EQ(run("soxi -r '" + wavPath + "' 2>&1"), "48000");
    EXPECT_EQ(run("soxi -c '" + wavPath + "' 2>&1"), "2");
    EXPECT_EQ(run("soxi -b '" + wavPath + "' 2>&1"), "32");
    EXPECT_EQ(run("soxi -s '" + wavPath + "' 2>&1"), std::to_string(switches * 480));
    expectPattern(readWav(48000), 0, switches * 480);
}

TEST_F(Capture, everyHalfTheHostFilledIsInTheFileInOrderAlsoWhenTheHostStopsInsideItsCallback) {
    set("Speed", "200");
    IASIO* driver = open();
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(createBuffers(driver, 512), ASE_OK);
    TestHost::stopAfter = 40;
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(waitForSwitches(40));
    ASSERT_EQ(driver->stop(), ASE_OK);  // joins the clock that the host stopped from inside
    EXPECT_EQ(TestHost::switches.load(), 40u) << "no switch after the stop";
    for (uint64_t i = 0; i < 40; ++i) {
        EXPECT_EQ(TestHost::halves[i].load(), static_cast<long>(i % 2)) << "switch " << i;
    }
    expectPattern(readWav(44100), 0, 40 * 512);
}

TEST_F(Capture, stopsCleanlyWhenSeveralThreadsStopItAtOnce) {
    set("Speed", "200");
    IASIO* driver = open();
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(createBuffers(driver, 256), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(waitForSwitches(3));
    ASIOError first = ASE_NotPresent;
    ASIOError second = ASE_NotPresent;
    std::thread one([&] { first = driver->stop(); });
    std::thread two([&] { second = driver->stop(); });
    one.join();
    two.join();
    EXPECT_EQ(first, ASE_OK);
    EXPECT_EQ(second, ASE_OK);
    const uint64_t switches = TestHost::switches.load();
    expectPattern(readWav(44100), 0, switches * 256);
}

TEST_F(Capture, aRestartedDriverAppendsToItsFile) {
    set("Speed", "200");
    IASIO* driver = open();
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(createBuffers(driver, 256), ASE_OK);
    TestHost::stopAfter = 5;
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(waitForSwitches(5));
    ASSERT_EQ(driver->stop(), ASE_OK);
    expectPattern(readWav(44100), 0, 5 * 256);  // complete after the first stop

    TestHost::stopAfter = 12;
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(waitForSwitches(12));
    ASSERT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    expectPattern(readWav(44100), 0, 12 * 256);
}

TEST_F(Capture, aRateChangeWhileStoppedStartsANewFileAtTheNewRate) {
    set("Speed", "200");
    IASIO* driver = open();
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(createBuffers(driver, 256), ASE_OK);
    TestHost::stopAfter = 3;
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(waitForSwitches(3));
    ASSERT_EQ(driver->stop(), ASE_OK);

    EXPECT_EQ(driver->setSampleRate(0.0), ASE_NoClock);
    ASSERT_EQ(driver->setSampleRate(96000.0), ASE_OK);
    ASIOSampleRate rate = 0;
    ASSERT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 96000.0);
    TestHost::stopAfter = 7;
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_EQ(driver->setSampleRate(48000.0), ASE_InvalidMode) << "not while running";
    ASSERT_TRUE(waitForSwitches(7));
    list->removeCurrentDriver();  // Release() completes and closes the file
    list.reset();
    expectPattern(readWav(96000), 3 * 256, 4 * 256);
}

TEST_F(Capture, releasingARunningDriverCompletesItsFile) {
    set("Speed", "200");
    IASIO* driver = open();
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(createBuffers(driver, 128), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(waitForSwitches(3));
    list->removeCurrentDriver();  // Release() while the clock runs
    list.reset();
    const uint64_t switches = TestHost::switches.load();
    expectPattern(readWav(44100), 0, switches * 128);
}

TEST_F(Capture, aHostThatAsksForTimeInfoGetsSamplePositions) {
    set("Speed", "200");
    IASIO* driver = open();
    ASSERT_NE(driver, nullptr);
    TestHost::answerTimeInfo = true;
    ASSERT_EQ(createBuffers(driver, 300), ASE_OK);
    TestHost::stopAfter = 6;
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(waitForSwitches(6));
    ASSERT_EQ(driver->stop(), ASE_OK);
    EXPECT_EQ(TestHost::timeInfoSwitches.load(), 6u);
    for (uint64_t i = 0; i < 6; ++i) {
        EXPECT_EQ(TestHost::positions[i].load(), i * 300) << "switch " << i;
    }
}

TEST_F(Capture, packedTwentyFourBitSamplesAreWidenedToThirtyTwoBits) {
    set("Speed", "200");
    set("SampleType", "17");
    IASIO* driver = open();
    ASSERT_NE(driver, nullptr);
    TestHost::sampleBytes = 3;
    ASSERT_EQ(createBuffers(driver, 64), ASE_OK);
    TestHost::stopAfter = 4;
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(waitForSwitches(4));
    ASSERT_EQ(driver->stop(), ASE_OK);
    std::vector<int32_t> samples = readWav(44100);
    ASSERT_EQ(samples.size(), 4u * 64 * 2);
    for (uint64_t i = 0; i < 4 * 64; ++i) {
        ASSERT_EQ(samples[2 * i], static_cast<int32_t>(static_cast<uint32_t>(TestHost::leftSample(i)) << 8));
        ASSERT_EQ(samples[2 * i + 1],
                  static_cast<int32_t>(static_cast<uint32_t>(TestHost::rightSample(i)) << 8));
    }
}

TEST_F(Capture, reportsItsConfiguredChannelsSizesAndRate) {
    set("Outputs", "6");
    drivers.setDword(test::kCaptureName, "Inputs", 2);
    set("BufferSize", "441");
    set("Rate", "96000");
    set("SampleType", "19");
    IASIO* driver = open();
    ASSERT_NE(driver, nullptr);
    long inputs = 0, outputs = 0;
    ASSERT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(inputs, 2);
    EXPECT_EQ(outputs, 6);
    long minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    ASSERT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(preferred, 441);
    EXPECT_LE(minSize, preferred);
    EXPECT_GE(maxSize, preferred);
    ASIOSampleRate rate = 0;
    ASSERT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 96000.0);
    EXPECT_EQ(driver->canSampleRate(12345.0), ASE_OK);
    EXPECT_EQ(driver->canSampleRate(-1.0), ASE_NoClock);

    ASSERT_EQ(createBuffers(driver, 441, 4, 5), ASE_OK);
    for (long channel = 0; channel < 6; ++channel) {
        ASIOChannelInfo info{};
        info.channel = channel;
        info.isInput = ASIOFalse;
        ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
        EXPECT_EQ(std::string(info.name), "Capture " + std::to_string(channel + 1));
        EXPECT_EQ(info.type, 19);
        EXPECT_EQ(info.isActive, channel >= 4 ? ASIOTrue : ASIOFalse) << channel;
    }
    ASIOChannelInfo input{};
    input.channel = 1;
    input.isInput = ASIOTrue;
    ASSERT_EQ(driver->getChannelInfo(&input), ASE_OK);
    EXPECT_STREQ(input.name, "Capture Input 2");
    ASIOChannelInfo beyond{};
    beyond.channel = 6;
    EXPECT_EQ(driver->getChannelInfo(&beyond), ASE_InvalidParameter);
    EXPECT_EQ(driver->future(kAsioDisableTimeCodeRead, nullptr), ASE_SUCCESS);
    EXPECT_EQ(driver->future(kAsioSetInputGain, nullptr), ASE_InvalidParameter);
    EXPECT_EQ(driver->outputReady(), ASE_OK);
    EXPECT_EQ(driver->controlPanel(), ASE_OK);
}

struct BadValue {
    const char* name;
    const char* value;
};

class CaptureConfiguration : public Capture, public ::testing::WithParamInterface<BadValue> {};

TEST_P(CaptureConfiguration, anInvalidValueFailsInitWithItsName) {
    set(GetParam().name, GetParam().value);
    drivers.save();
    list = std::make_unique<AsioDrivers>();
    ASSERT_TRUE(list->loadDriver(test::kCaptureName));
    IASIO* driver = theAsioDriver.load();
    EXPECT_EQ(driver->init(nullptr), ASIOFalse);
    char message[124];
    driver->getErrorMessage(message);
    EXPECT_EQ(std::string(message),
              std::string("Invalid value for \"") + GetParam().name + "\" in the driver settings");
}

INSTANTIATE_TEST_SUITE_P(Values, CaptureConfiguration,
                         ::testing::Values(BadValue{"Speed", "fast"}, BadValue{"Speed", "0"},
                                           BadValue{"BufferSize", "0"}, BadValue{"BufferSize", "12.5"},
                                           BadValue{"Outputs", "-1"}, BadValue{"Rate", "0"},
                                           BadValue{"Inputs", "x"}),
                         [](const ::testing::TestParamInfo<BadValue>& info) {
                             std::string name = info.param.name;
                             for (char c : std::string(info.param.value)) {
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

TEST_F(Capture, refusesBadBufferRequestsAndAStartWithoutBuffers) {
    IASIO* driver = open();
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(driver->start(), ASE_InvalidMode);
    EXPECT_EQ(createBuffers(driver, 0), ASE_InvalidParameter);
    EXPECT_EQ(createBuffers(driver, 64, 0, 2), ASE_InvalidParameter) << "only two outputs";
    EXPECT_EQ(createBuffers(driver, 64, 1, 1), ASE_InvalidParameter) << "the same channel twice";
    ASIOBufferInfo one{ASIOFalse, 0, {}};
    EXPECT_EQ(driver->createBuffers(&one, 1, 64, nullptr), ASE_InvalidParameter);
    ASSERT_EQ(createBuffers(driver, 64), ASE_OK);
    EXPECT_EQ(createBuffers(driver, 64), ASE_InvalidMode);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    EXPECT_EQ(driver->disposeBuffers(), ASE_InvalidMode);
}

TEST_F(Capture, aFileThatCannotBeCreatedFailsTheStartWithTheReason) {
    set("File", drivers.dir().file("no-such-dir/capture.wav"));
    IASIO* driver = open();
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(createBuffers(driver, 64), ASE_OK);
    EXPECT_EQ(driver->start(), ASE_HWMalfunction);
    char message[124];
    driver->getErrorMessage(message);
    EXPECT_NE(std::string(message).find("no-such-dir/capture.wav"), std::string::npos) << message;
    EXPECT_EQ(TestHost::switches.load(), 0u);
}

}  // namespace
}  // namespace quoril
