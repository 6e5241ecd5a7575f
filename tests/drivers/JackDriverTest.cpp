#include <gtest/gtest.h>
#include <jack/jack.h>

#include <chrono>
#include <string>

#include "DriverHost.h"
#include "JackServer.h"
#include "support/TempDir.h"

namespace quoril::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kDeadline = 30s;
constexpr unsigned kRate = 44100;
// Long periods: on a busy machine a client thread that waits longer than one period misses a
// cycle, and the recording would lose it.
constexpr unsigned kPeriod = 2048;

class JackDriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string why;
        if (!m_server.start(kRate, kPeriod, why)) {
            GTEST_SKIP() << "No JACK server can start here, so the JACK driver is not tested: " << why;
        }
        ASSERT_TRUE(m_host.load(jackDriverPath(), why)) << why;
        ASSERT_EQ(m_host.driver()->init(nullptr), ASIOTrue) << errorMessage();
    }

    std::string errorMessage() {
        char text[124] = {};
        m_host.driver()->getErrorMessage(text);
        return text;
    }

    JackServer m_server;
    DriverHost m_host;
};

TEST_F(JackDriverTest, theDriverReportsTheServersChannelsRateAndPeriodAndRefusesAnyOtherRate) {
    long inputs = -1, outputs = -1;
    ASSERT_EQ(m_host.driver()->getChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(inputs, 0);
    EXPECT_EQ(outputs, 2);  // the dummy server's two system playback ports

    ASIOSampleRate rate = 0;
    ASSERT_EQ(m_host.driver()->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 44100.0);
    EXPECT_EQ(m_host.driver()->setSampleRate(44100.0), ASE_OK);
    EXPECT_NE(m_host.driver()->setSampleRate(48000.0), ASE_OK);
    EXPECT_NE(m_host.driver()->canSampleRate(96000.0), ASE_OK);

    long minimum = 0, maximum = 0, preferred = 0, granularity = -1;
    ASSERT_EQ(m_host.driver()->getBufferSize(&minimum, &maximum, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(minimum, static_cast<long>(kPeriod));
    EXPECT_EQ(maximum, static_cast<long>(kPeriod));
    EXPECT_EQ(preferred, static_cast<long>(kPeriod));
    EXPECT_EQ(m_host.createPair(0, kPeriod / 2), ASE_InvalidParameter);

    ASIOChannelInfo info{};
    info.channel = 1;
    ASSERT_EQ(m_host.driver()->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt32LSB);
    EXPECT_STREQ(info.name, "Out 2");
}

TEST_F(JackDriverTest, aNewServerPeriodReachesTheHostAsABufferSizeChange) {
    m_host.setProgram({});
    ASSERT_EQ(m_host.createPair(0, kPeriod), ASE_OK);
    ASSERT_EQ(m_host.driver()->start(), ASE_OK);
    ASSERT_TRUE(m_host.waitFor([&] { return m_host.switches() >= 4; }, kDeadline));
    EXPECT_EQ(m_host.bufferSizeChanges(), 0) << "the period the buffers were made for is no change";

    jack_status_t status{};
    jack_client_t* control = jack_client_open("QuorilControl", JackNoStartServer, &status);
    ASSERT_NE(control, nullptr);
    const int changed = jack_set_buffer_size(control, kPeriod / 2);
    jack_client_close(control);
    if (changed != 0) {
        GTEST_SKIP() << "this JACK server cannot change its period";
    }
    ASSERT_TRUE(m_host.waitFor([&] { return m_host.bufferSizeChanges() > 0; }, kDeadline));
    EXPECT_EQ(m_host.lastBufferSizeValue(), static_cast<long>(kPeriod / 2));
}

}  // namespace
}  // namespace quoril::test
