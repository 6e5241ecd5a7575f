#include <gtest/gtest.h>
#include <jack/jack.h>

#include <chrono>
#include <cmath>
#include <string>
#include <vector>

#include "DriverHost.h"
#include "JackRecorder.h"
#include "JackServer.h"
#include "support/TempDir.h"
#include "support/WavWriter.h"

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

TEST_F(JackDriverTest, aSixteenBitProgramReachesARecordingClientExactly) {
    const size_t frames = 60000;
    std::vector<int32_t> content = makeSamples(frames, 16, 2, 11);
    content[0] = content[0] == 0 ? 1 : content[0];  // the recording is aligned on the first sample
    std::vector<int32_t> words(content.size());
    for (size_t i = 0; i < content.size(); ++i) {
        words[i] = static_cast<int32_t>(static_cast<uint32_t>(content[i]) << 16);
    }
    // Silence until the recorder listens, then the program.
    m_host.setProgram(words, true);
    ASSERT_EQ(m_host.createPair(0, kPeriod), ASE_OK);
    ASSERT_EQ(m_host.driver()->start(), ASE_OK);

    JackRecorder recorder(frames + 40 * kPeriod);
    std::string why;
    ASSERT_TRUE(recorder.open(why)) << why;
    ASSERT_TRUE(recorder.connectFrom("Quoril:out_1", "Quoril:out_2"));
    ASSERT_TRUE(m_host.waitFor([&] { return recorder.recorded() >= 4 * kPeriod; }, kDeadline));
    const size_t silentLead = recorder.recorded();
    m_host.release();
    ASSERT_TRUE(
        m_host.waitFor([&] { return recorder.recorded() >= silentLead + frames + 8 * kPeriod; }, kDeadline));
    m_host.stopAndDispose();
    EXPECT_TRUE(m_host.halvesAlternated());

    const std::vector<float>& left = recorder.left();
    const std::vector<float>& right = recorder.right();
    size_t start = 0;
    while (start < recorder.recorded() && left[start] == 0.0f && right[start] == 0.0f) {
        ++start;
    }
    ASSERT_GE(start, silentLead) << "sound before the program was released";
    ASSERT_LE(start + frames, recorder.recorded());
    size_t wrong = 0;
    for (size_t i = 0; i < frames; ++i) {
        // Back from JACK's floats to 16 bits: exact, or the driver lost bits.
        const float l = left[start + i] * 32768.0f;
        const float r = right[start + i] * 32768.0f;
        if (l != static_cast<float>(content[2 * i]) || r != static_cast<float>(content[2 * i + 1])) {
            if (++wrong <= 5) {
                ADD_FAILURE() << "frame " << i << ": got " << l << " / " << r << ", sent " << content[2 * i]
                              << " / " << content[2 * i + 1];
            }
        }
    }
    EXPECT_EQ(wrong, 0u) << "cycles the recorder missed: " << recorder.missedCycles();
    for (size_t i = start + frames; i < recorder.recorded(); ++i) {
        ASSERT_TRUE(left[i] == 0.0f && right[i] == 0.0f) << "sound after the program at frame " << i - start;
    }
}

TEST_F(JackDriverTest, aServerShutdownDuringPlaybackReachesTheHostAsAResetRequest) {
    m_host.setProgram(makeSamples(kRate * 60, 16, 2, 2));
    ASSERT_EQ(m_host.createPair(0, kPeriod), ASE_OK);
    ASSERT_EQ(m_host.driver()->start(), ASE_OK);
    ASSERT_TRUE(m_host.waitFor([&] { return m_host.switches() >= 20; }, kDeadline));
    m_server.stop();
    ASSERT_TRUE(m_host.waitFor([&] { return m_host.resetRequests() > 0; }, kDeadline));
    // The host then stops and releases the driver; none of it may hang on the vanished server.
    m_host.releaseDriver();
    EXPECT_EQ(m_host.resetRequests(), 1);
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
