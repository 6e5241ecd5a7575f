#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "asio/AsioDriverList.h"
#include "asio/DriverTestSupport.h"

namespace quoril {
namespace {

using test::TestHost;

class Capture : public ::testing::Test {
  protected:
    void SetUp() override {
        TestHost::reset();
        drivers.addCaptureDriver();
        set("File", wavPath);
        set("Speed", "200");
    }
    void set(const char* name, const std::string& text) { drivers.set(test::kCaptureName, name, text); }

    // Loads and initialises the driver with the configuration set so far.
    IASIO* open() {
        drivers.save();
        list = std::make_unique<AsioDrivers>();
        if (!list->loadDriver(test::kCaptureName)) {
            return nullptr;
        }
        TestHost::driver = theAsioDriver.load();
        return TestHost::driver->init(nullptr) ? TestHost::driver : nullptr;
    }
    // Buffers for output channels 1 and 2, filled by the test host.
    ASIOError createBuffers(IASIO* driver, long size) {
        buffers[0] = ASIOBufferInfo{ASIOFalse, 0, {nullptr, nullptr}};
        buffers[1] = ASIOBufferInfo{ASIOFalse, 1, {nullptr, nullptr}};
        callbacks = TestHost::callbacks();
        TestHost::buffers = buffers;
        TestHost::bufferSize = size;
        return driver->createBuffers(buffers, 2, size, &callbacks);
    }
    static bool waitForSwitches(uint64_t count) {
        return TestHost::waitFor([count] { return TestHost::switches.load() >= count; });
    }
    // Starts; the host stops the driver from inside its callback at switch `total`.
    static void runUntil(IASIO* driver, uint64_t total) {
        TestHost::stopAfter = total;
        ASSERT_EQ(driver->start(), ASE_OK);
        ASSERT_TRUE(waitForSwitches(total));
        ASSERT_EQ(driver->stop(), ASE_OK);
    }
    // The file is a complete WAV at the rate holding the host's pattern for frames first onwards.
    void expectFile(uint32_t expectedRate, uint64_t first, uint64_t frames) {
        uint32_t rate = 0;
        std::vector<int32_t> samples;
        std::string why;
        ASSERT_TRUE(test::readCaptureWav(wavPath, rate, samples, why)) << why;
        EXPECT_EQ(rate, expectedRate);
        ASSERT_EQ(samples.size(), 2 * frames);
        for (uint64_t i = 0; i < frames; ++i) {
            ASSERT_EQ(samples[2 * i], TestHost::leftSample(first + i)) << "left of frame " << i;
            ASSERT_EQ(samples[2 * i + 1], TestHost::rightSample(first + i)) << "right of frame " << i;
        }
    }

    test::DriverRegistry drivers;
    const std::string wavPath = drivers.dir().file("capture.wav");
    std::unique_ptr<AsioDrivers> list;
    ASIOBufferInfo buffers[2] = {};
    ASIOCallbacks callbacks = {};
};

TEST_F(Capture, everyHalfIsInTheFileInOrderAcrossARestartAndARateChangeStartsANewFile) {
    IASIO* driver = open();
    ASSERT_NE(driver, nullptr);
    ASSERT_EQ(createBuffers(driver, 512), ASE_OK);
    runUntil(driver, 40);  // the host stops the driver inside its callback
    EXPECT_EQ(TestHost::switches.load(), 40u) << "no switch after the stop";
    for (uint64_t i = 0; i < 40; ++i) {
        EXPECT_EQ(TestHost::halves[i].load(), static_cast<long>(i % 2)) << "switch " << i;
    }
    expectFile(44100, 0, 40 * 512);  // complete after the first stop
    runUntil(driver, 52);
    expectFile(44100, 0, 52 * 512);
    EXPECT_EQ(driver->setSampleRate(0.0), ASE_NoClock);
    ASSERT_EQ(driver->setSampleRate(96000.0), ASE_OK);
    // Released while its clock runs, it still completes the new file.
    TestHost::stopAfter = 0;
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_EQ(driver->setSampleRate(48000.0), ASE_InvalidMode) << "not while running";
    ASSERT_TRUE(waitForSwitches(55));
    list.reset();  // Release() completes and closes the file
    expectFile(96000, 52 * 512, (TestHost::switches.load() - 52) * 512);
}

TEST_F(Capture, packedTwentyFourBitSamplesAreWidenedToThirtyTwoBits) {
    set("SampleType", "17");
    IASIO* driver = open();
    ASSERT_NE(driver, nullptr);
    TestHost::sampleBytes = 3;
    ASSERT_EQ(createBuffers(driver, 65), ASE_OK);  // odd: halves of 195 bytes
    runUntil(driver, 4);
    TestHost::shift = 8;  // what the file holds: the 24 bits sent, in the top of the words
    expectFile(44100, 0, 4 * 65);
}

// Not a number, out of range, not whole; each set back to a good value after.
TEST_F(Capture, anInvalidSettingFailsInitAndAnUncreatableFileTheStartWithTheReason) {
    for (const auto& [name, bad, good] :
         {std::tuple{"Speed", "fast", "200"}, {"Rate", "0", "44100"}, {"BufferSize", "12.5", "512"}}) {
        set(name, bad);
        EXPECT_EQ(open(), nullptr) << name;
        char message[124];
        theAsioDriver.load()->getErrorMessage(message);
        EXPECT_EQ(std::string(message),
                  std::string("Invalid value for \"") + name + "\" in the driver settings");
        set(name, good);
        list.reset();
    }
    // A file that cannot be created fails the start, with the reason.
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
