#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include "JackRecorder.h"
#include "JackServer.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "support/WavWriter.h"

namespace quoril::test {
namespace {

using namespace std::chrono_literals;

constexpr unsigned kRate = 44100;

// The real player, installed in a temporary directory with "Quoril JACK" as its driver, playing
// a generated 16-bit disc at 0 dB through a private JACK server, where a recording client
// listens to its ports.
class JackPlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string why;
        // Long periods, so that a busy machine does not make the recorder miss a cycle.
        if (!m_server.start(kRate, 2048, why)) {
            GTEST_SKIP() << "No JACK server can start here, so the player is not tested on JACK: " << why;
        }
        m_environment = {{"HOME", m_dir.path()}, {"QUORIL_REGISTRY", m_dir.file("registry.reg")}};
        const ProcessResult registered =
            runProcess({player(), "--register", "--install-dir", m_dir.file("inst")}, m_environment);
        ASSERT_EQ(registered.exitCode, 0) << registered.out << registered.err;
        // Volume 0 dB, no phase inversion, the disc's own rate, and exit at the end of the disc.
        m_dir.write("inst/Quoril.ini",
                    "ASIO=Quoril JACK\nASIOCHANNEL=0\nSRC=1\nRATE= 44100.000\nVOLUME=  0.0\nPHASE=0\n"
                    "PLAYBACK=X\nDIAGNOSTICS=No\nFILTER=2\n");
    }

    static std::string player() { return buildDir() + "/bin/quoril"; }

    // Writes a 16-bit disc of `frames` frames of sound followed by one second of digital silence;
    // returns the sound. In exit mode the session ends as soon as the last block has been filled,
    // while up to two blocks are still on their way to the driver: the silence covers them.
    std::vector<int32_t> writeDisc(size_t frames) {
        std::vector<int32_t> samples = makeSamples(frames, 16, 2, 21);
        samples[0] = samples[0] == 0 ? 1 : samples[0];  // the recording is aligned on the first sample
        std::vector<int32_t> disc = samples;
        disc.resize(disc.size() + 2 * kRate, 0);
        EXPECT_TRUE(WavWriter(16, 2, kRate).samples(disc).write(m_dir.file("disc.wav")));
        return samples;
    }

    // Starts the player in console mode on the disc, on a thread of its own.
    std::future<ProcessResult> startPlayer() {
        return std::async(std::launch::async, [this] {
            return runProcess({player(), "--console", m_dir.file("disc.wav")}, m_environment, m_dir.path(),
                              90s);
        });
    }

    JackServer m_server;
    TempDir m_dir;
    std::vector<std::pair<std::string, std::string>> m_environment;
};

TEST_F(JackPlayerTest, aServerShutdownDuringPlaybackEndsTheSessionWithTheResetMessage) {
    writeDisc(30 * kRate);
    JackRecorder recorder(60 * kRate);
    std::string why;
    ASSERT_TRUE(recorder.open(why)) << why;

    std::future<ProcessResult> run = startPlayer();
    ASSERT_TRUE(recorder.waitForPort("Quoril:out_1", 60s)) << "the player never opened the JACK driver";
    ASSERT_TRUE(recorder.connectFrom("Quoril:out_1", "Quoril:out_2"));
    ASSERT_TRUE(recorder.waitForSound(60s)) << "the disc never played";
    m_server.stop();

    const ProcessResult result = run.get();
    EXPECT_TRUE(result.finished) << "the player hung after the server went away\n" << result.out;
    EXPECT_NE(result.out.find("ASIO driver requested a Reset. Please restart player."), std::string::npos)
        << result.out;
}

}  // namespace
}  // namespace quoril::test
