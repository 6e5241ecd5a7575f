#include <gtest/gtest.h>
#include <jack/jack.h>

#include <memory>
#include <string>

#include "JackServer.h"
#include "asio/AsioDriverList.h"
#include "asio/DriverTestSupport.h"
#include "support/TempDir.h"

namespace quoril::test {
namespace {

constexpr unsigned kRate = 44100;
constexpr unsigned kPeriod = 2048;

// The JACK plug-in, registered and loaded as the player loads it, on a private dummy server.
class JackDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestHost::reset();
        std::string why;
        if (!m_server.start(kRate, kPeriod, why)) {
            GTEST_SKIP() << "No JACK server can start here, so the JACK driver is not tested: " << why;
        }
        m_drivers.addDriver("Quoril JACK", "{C7E2941B-3D58-4A06-B8F1-6F0D2A9C5E84}",
                            buildDir() + "/lib/quoril/drivers/quoril-jack.so");
        m_drivers.save();
        m_list = std::make_unique<AsioDrivers>();
        ASSERT_TRUE(m_list->loadDriver("Quoril JACK"));
        m_driver = TestHost::driver = theAsioDriver.load();
        ASSERT_EQ(m_driver->init(nullptr), ASIOTrue);
    }
    void TearDown() override {
        if (m_list) {
            m_list->removeCurrentDriver();
        }
    }
    ASIOError createPair(long frames) {
        m_buffers[0] = ASIOBufferInfo{ASIOFalse, 0, {}};
        m_buffers[1] = ASIOBufferInfo{ASIOFalse, 1, {}};
        m_callbacks = TestHost::callbacks();
        TestHost::buffers = m_buffers;
        TestHost::bufferSize = frames;
        return m_driver->createBuffers(m_buffers, 2, frames, &m_callbacks);
    }

    JackServer m_server;
    DriverRegistry m_drivers;
    std::unique_ptr<AsioDrivers> m_list;
    IASIO* m_driver = nullptr;
    ASIOBufferInfo m_buffers[2] = {};
    ASIOCallbacks m_callbacks = {};
};

TEST_F(JackDriverTest, theDriverReportsTheServersChannelsRateAndPeriodAndRefusesAnyOtherRate) {
    long inputs = -1, outputs = -1;
    ASSERT_EQ(m_driver->getChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(inputs, 0);
    EXPECT_EQ(outputs, 2);  // the dummy server's two system playback ports

    ASIOSampleRate rate = 0;
    ASSERT_EQ(m_driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 44100.0);
    EXPECT_EQ(m_driver->setSampleRate(44100.0), ASE_OK);
    EXPECT_NE(m_driver->setSampleRate(48000.0), ASE_OK);
    EXPECT_NE(m_driver->canSampleRate(96000.0), ASE_OK);

    long minimum = 0, maximum = 0, preferred = 0, granularity = -1;
    ASSERT_EQ(m_driver->getBufferSize(&minimum, &maximum, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(minimum, static_cast<long>(kPeriod));
    EXPECT_EQ(maximum, static_cast<long>(kPeriod));
    EXPECT_EQ(preferred, static_cast<long>(kPeriod));
    EXPECT_EQ(createPair(kPeriod / 2), ASE_InvalidParameter);

    ASIOChannelInfo info{1, ASIOFalse, 0, 0, 0, {}};
    ASSERT_EQ(m_driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt32LSB);
    EXPECT_STREQ(info.name, "Out 2");
}

TEST_F(JackDriverTest, aNewServerPeriodReachesTheHostAsABufferSizeChange) {
    ASSERT_EQ(createPair(kPeriod), ASE_OK);
    ASSERT_EQ(m_driver->start(), ASE_OK);
    ASSERT_TRUE(TestHost::waitFor([] { return TestHost::switches.load() >= 4; }));
    EXPECT_EQ(TestHost::messages[kAsioBufferSizeChange].load(), 0)
        << "the period of the buffers is no change";

    jack_status_t status{};
    jack_client_t* control = jack_client_open("QuorilControl", JackNoStartServer, &status);
    ASSERT_NE(control, nullptr);
    const int changed = jack_set_buffer_size(control, kPeriod / 2);
    jack_client_close(control);
    if (changed != 0) {
        GTEST_SKIP() << "this JACK server cannot change its period";
    }
    ASSERT_TRUE(TestHost::waitFor([] { return TestHost::messages[kAsioBufferSizeChange].load() > 0; }));
    EXPECT_EQ(TestHost::lastValues[kAsioBufferSizeChange].load(), static_cast<long>(kPeriod / 2));
}

}  // namespace
}  // namespace quoril::test
