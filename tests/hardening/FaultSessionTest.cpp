// Whole player sessions on a misbehaving fault driver, and sessions ended while work is under way:
// the window must always close, without hanging and without touching freed memory.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <memory>

#include "content/CdDescriptor.h"
#include "content/RamLoadThread.h"
#include "dsp/DspEngine.h"
#include "dsp/TransportState.h"
#include "platform/CFormat.h"
#include "support/FlacWriter.h"
#include "support/WavWriter.h"
#include "ui/FakeViews.h"
#include "ui/PlayerDialog.h"
#include "ui/PlayerEnvironment.h"

namespace quoril::test {
namespace {

using namespace PlayerControl;
using namespace std::chrono_literals;

constexpr const char* kSettingsChanged =
    "ASIO buffer settings (Rate or Latency) have changed. Please restart player.\r\n";
constexpr const char* kResetRequested = "ASIO driver requested a Reset. Please restart player.\r\n";

// Runs step on another thread and waits for it at most deadline. A step that does not finish is
// a hang: the process ends at once, since a thread stuck in the player cannot be taken back.
void finishesWithin(const char* what, const std::function<void()>& step,
                    std::chrono::seconds deadline = 20s) {
    auto done = std::async(std::launch::async, step);
    if (done.wait_for(deadline) != std::future_status::ready) {
        std::fprintf(stderr, "%s did not finish within %lld s: the player hangs\n", what,
                     static_cast<long long>(deadline.count()));
        std::fflush(stderr);
        std::_Exit(1);
    }
    done.get();
}

class FaultSessionTest : public ::testing::Test {
  protected:
    ~FaultSessionTest() override {
        if (dialog) {
            finishesWithin("ending the player", [this] { dialog.reset(); });
        }
    }

    // The fault driver, with these values (registry file lines), as the only driver, played at rate.
    void useFaultDriver(const std::string& values, int rate, int converter = 1) {
        const std::string id = "{3B9E7D21-5A4C-4F18-B6E2-0000000000F1}";
        env.dir().write(
            "registry.reg",
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ravek]\r\n\"Path\"=\"" +
                env.dir().path() + "\"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Fault]\r\n\"clsid\"=\"" +
                id + "\"\r\n" + values + "\r\n\r\n[HKEY_CLASSES_ROOT\\clsid\\" + id +
                "\\InprocServer32]\r\n@=\"" + buildDir() + "/tests/drivers/quoril-fault.so\"\r\n");
        env.writeIniLines({"ASIO=Fault", "ASIOCHANNEL=0", cformat("SRC=%d", converter),
                           cformat("RATE=%d", rate), "VOLUME=-10.0", "DIAGNOSTICS=No", "PLAYBACK=R"});
    }

    // Forty seconds of FLAC at 44,100 Hz: its decode is still running when the test acts.
    std::string writeLongFlac() {
        std::string path = env.dir().file("long.flac");
        FlacOptions options;
        options.compressionLevel = 0;
        EXPECT_TRUE(writeFlac(path, makeSamples(40 * 44100, 16, 2, 41), options));
        return path;
    }

    void open(const std::string& path) {
        (dialog = std::make_unique<PlayerDialog>(view, path))->run();
        ASSERT_NE(dialog->disc(), nullptr) << dialog->log();
    }

    void tick() { dialog->onTimer(kPlayerTimerId); }

    void closeWindow() {
        finishesWithin("closing the window", [this] { dialog->onCancel(); });
        EXPECT_TRUE(view.closed);
        EXPECT_EQ(dialog->engine(), nullptr);
        EXPECT_EQ(dialog->disc(), nullptr);
    }

    PlayerEnvironment env;
    FakePlayerView view;
    std::unique_ptr<PlayerDialog> dialog;
};

// Playing a disc of 8,000 Hz audio, the driver misbehaves; the window must still close.
struct PlayingCase {
    const char* name;
    const char* values;  // of the driver key, in registry file form
    int rate, converter;
    bool playing;         // playback runs when the window's first tick has passed
    const char* message;  // the notice's line, shown once; nullptr: no notice, playback moves
};

const PlayingCase kPlayingCases[] = {
    // The reset comes from the driver's thread while the playback thread is busy with the blocks.
    {"ResetNoticeWhileBlocksAreFilled", "\"Speed\"=\"4\"\r\n\"EventAfter\"=\"60\"\r\n\"Event\"=\"reset\"",
     8000, 1, true, kResetRequested},
    {"DriverSilentFromTheStart", "\"Speed\"=\"4\"\r\n\"EventAfter\"=\"1\"\r\n\"Event\"=\"silence\"", 8000, 1,
     false, nullptr},
    // To 192,000 Hz at the best converter: every block is an expensive fill.
    {"ResampledBlocksAreFilled", "\"Speed\"=\"2\"", 192000, 0, true, nullptr},
};

class PlayingFaultTest : public FaultSessionTest, public ::testing::WithParamInterface<PlayingCase> {};

TEST_P(PlayingFaultTest, EndsPlaybackAsItMustAndTheWindowCloses) {
    const PlayingCase& c = GetParam();
    useFaultDriver(c.values, c.rate, c.converter);
    open(env.writeDisc({20 * 8000, 20 * 8000}));
    ASSERT_TRUE(waitUntil([this] {
        return dialog->loadProgress() == kLoadFinished && dialog->engine() &&
               dialog->engine()->threadRunning();
    })) << dialog->log();
    tick();
    ASSERT_TRUE(dialog->playing() || !c.playing) << dialog->log();
    if (c.message) {
        ASSERT_TRUE(waitUntil([this] { return !dialog->engine()->threadRunning(); }, 20s)) << dialog->log();
        tick();
        EXPECT_NE(dialog->log().find(c.message), std::string::npos) << dialog->log();
        EXPECT_FALSE(dialog->sessionPlaying());
        EXPECT_EQ(view.shown["diagnostics"].size(), 1u);
    } else if (c.playing) {
        ASSERT_TRUE(waitUntil([] { return theTransport.position() > 0; }, 20s)) << dialog->log();
    }
    closeWindow();
}

INSTANTIATE_TEST_SUITE_P(Drivers, PlayingFaultTest, ::testing::ValuesIn(kPlayingCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FaultSessionTest, RateChangeNoticeDuringTheRamLoadEndsPlaybackAndTheLoadStillEnds) {
    // The notice comes with the second buffer, while the FLAC file is still being decoded.
    useFaultDriver("\"Speed\"=\"1\"\r\n\"EventAfter\"=\"2\"\r\n\"Event\"=\"rate\"\r\n\"EventRate\"=\"48000\"",
                   44100);
    open(writeLongFlac());
    ASSERT_TRUE(waitUntil([this] { return dialog->loadProgress() == kLoadFinished; }, 60s));
    ASSERT_TRUE(waitUntil([this] { return dialog->engine() && !dialog->engine()->threadRunning(); }, 20s))
        << dialog->log();
    EXPECT_TRUE(dialog->disc()->active.load()) << dialog->log();
    // The first tick sees the end of the load, the next one the thread that is gone.
    tick();
    tick();
    EXPECT_NE(dialog->log().find(kSettingsChanged), std::string::npos) << dialog->log();
    EXPECT_FALSE(dialog->sessionPlaying());
    closeWindow();
}

TEST_F(FaultSessionTest, EndingThePlayerWhileTheStoreIsStillBeingFilledStopsTheLoad) {
    useFaultDriver("\"Speed\"=\"1\"", 44100);
    open(writeLongFlac());
    // The window refuses to close during the load; the process ending takes the session down.
    EXPECT_NE(dialog->loadProgress(), kLoadFinished) << "the load ended before the test could act";
    dialog->onCancel();
    EXPECT_FALSE(view.closed);
    finishesWithin("ending the player during the load", [this] { dialog.reset(); });
}

}  // namespace
}  // namespace quoril::test
