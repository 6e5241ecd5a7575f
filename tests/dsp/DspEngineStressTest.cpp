#include <gtest/gtest.h>

#include <random>
#include <string>

#include "EngineSession.h"
#include "SteppedDevice.h"
#include "TestDisc.h"
#include "dsp/DspEngine.h"
#include "dsp/TransportState.h"

namespace quoril {
namespace {

using test::EngineSession;
using test::waitUntil;

// Transport operations from the window thread while the capture driver runs faster than real
// time: each one must be carried out (none lost or overwritten by the playback thread), and the
// playback thread must keep up. Built with -DQUORIL_SANITIZE=thread it also shows any data race.
TEST(DspEngineStress, ThousandsOfTransportOperationsAreAllCarriedOutWithoutALateBlock) {
    const uint32_t rate = 44100;
    const long frames = 10 * rate;
    test::TestDisc disc(test::discSamples(frames, 16, 61), 16, rate);
    ASSERT_TRUE(disc.ok()) << disc.log();
    auto session = EngineSession::onCapture(512, rate, 6);
    ASSERT_TRUE(session->open(rate)) << session->startLog();
    ASSERT_TRUE(session->start(disc.cd())) << session->runLog();
    DspEngine& engine = *session->engine();
    TransportState& t = theTransport;
    const int32_t n = t.blockFrames;

    std::mt19937 random(12345);
    int toggles = 0, stops = 0, seeks = 0, volumes = 0, phases = 0;
    for (int i = 0; i < 2000; ++i) {
        unsigned op = random() % 20;
        if (op < 8) {
            int16_t expected = t.playing.load() == 1 ? 0 : 1;
            engine.TogglePlay();
            ASSERT_TRUE(waitUntil([&] {
                return t.playing.load() == expected && t.transportCommand.load() == 0;
            })) << "toggle "
                << i << " was lost";
            ++toggles;
        } else if (op < 10) {
            uint32_t wakes = t.wakesHandled.load();
            engine.Stop();
            ASSERT_TRUE(waitUntil([&] {
                return t.wakesHandled.load() != wakes && t.transportCommand.load() == 0 &&
                       t.playing.load() == 0;
            })) << "stop "
                << i << " was lost";
            ASSERT_EQ(t.position(), 0) << "stop " << i << " did not rewind";
            ++stops;
        } else if (op < 15) {
            t.volumeDb.store(-static_cast<double>(random() % 201) / 2.0);
            ++volumes;
        } else if (op < 18) {
            t.phaseSign.store(static_cast<int16_t>(-t.phaseSign.load()));
            ++phases;
        } else if (t.playing.load() == 1) {
            // A seek to a frame off the current block grid: a lost seek would leave the grid.
            int32_t now = t.position();
            int32_t target = static_cast<int32_t>(random() % static_cast<unsigned>(frames - 20 * n));
            if ((target - now) % n == 0) {
                ++target;
            }
            uint32_t wakes = t.wakesHandled.load();
            t.setPosition(target);
            ASSERT_TRUE(waitUntil([&] { return t.wakesHandled.load() >= wakes + 2; }));
            int32_t after = t.position();
            ASSERT_GT(after, target) << "seek " << i;
            ASSERT_EQ((after - target) % n, 0) << "seek " << i << " to " << target << " was overwritten";
            ++seeks;
        }
    }
    EXPECT_GT(toggles, 500);
    EXPECT_GT(stops, 100);
    EXPECT_GT(seeks, 20);
    EXPECT_GT(volumes + phases, 500);
    EXPECT_EQ(engine.lateBlocks(), 0) << "the playback thread fell behind the driver";
    EXPECT_EQ(test::countOf(session->runLog(), "Playback stopped.\r\n\r\n"), stops);
    session->end();
}

}  // namespace
}  // namespace quoril
