#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "content/CdDescriptor.h"
#include "dsp/DspEngine.h"
#include "dsp/TransportState.h"
#include "ui/FakeViews.h"
#include "ui/PlayerDialog.h"
#include "ui/PlayerEnvironment.h"
#include "ui/SettingsDialog.h"

namespace quoril::test {
namespace {

using namespace PlayerControl;

constexpr int kRate = 8000;
// Three tracks of 20, 10 and 15 seconds: starts 0, 160000, 240000; 360000 frames in all.
const std::vector<int> kThreeTracks = {20 * kRate, 10 * kRate, 15 * kRate};
constexpr int32_t kDiscFrames = 45 * kRate;
constexpr int32_t kSeekStep = 15 * kRate;

const char* const kPlayerStoppedText =
    "Player has stopped or did NOT start successfully. This may occur if:\r\n\r\n\t1. Settings has not been "
    "done\r\n\t2. No .cue, .wav or .flac was supplied\r\n\t3. An external ASIO event occurred\r\n\t\tNew "
    "sample "
    "rate or latency\r\n\t\tDriver requested resync or reset\r\n\t4. ASIO did NOT start successfully\r\n\t5. "
    "DSP "
    "did NOT start successfully\r\n\t6. Content file is invalid, too large or you don't have enough "
    "RAM\r\n\t7. "
    "No ASIO drivers installed\r\n\r\nRestart player and/or correct settings.";
const char* const kUsageText =
    "No .cue, .wav or .flac file supplied.\r\n\r\nUsage: Quoril <myCue.cue>\r\n\r\n";

const std::vector<int> kAllControls = {kFileOpen, kSettings, kTrackList, kVolumeUp, kVolumeDown, kNext,
                                       kPlay,     kPrevious, kBack,      kForward,  kClose,      kStop};

std::string padded(const std::string& text) {
    return text + std::string(48 - text.size(), ' ');
}

class PlayerTest : public ::testing::Test {
  protected:
    explicit PlayerTest(const std::string& speed = "0.001",
                        const std::vector<std::string>& captureValues = {})
        : env(speed, captureValues) {}

    ~PlayerTest() override { dialog.reset(); }

    void open(const std::string& commandLine) {
        dialog = std::make_unique<PlayerDialog>(view, commandLine);
        dialog->run();
    }

    // Starts a session on the three-track disc with these extra settings lines.
    void openDisc(const std::vector<std::string>& extraIni = {}, bool diagnostics = false,
                  const std::vector<int>& tracks = kThreeTracks) {
        env.writeIni(extraIni, kRate, diagnostics);
        open(env.writeDisc(tracks, kRate));
        ASSERT_NE(dialog->disc(), nullptr);
        ASSERT_TRUE(dialog->disc()->active.load()) << dialog->log();
    }

    // Waits for the RAM load and the playback thread, then lets the timer end the load, which
    // starts playback; waits until the playback thread has filled its first block.
    void loadAndPlay() {
        ASSERT_TRUE(waitUntil([this] {
            return dialog->loadProgress() == kLoadFinished && dialog->engine() &&
                   dialog->engine()->threadRunning();
        })) << dialog->log();
        int32_t before = theTransport.position();
        tick();
        ASSERT_TRUE(dialog->playing());
        ASSERT_TRUE(waitUntil(
            [before] { return theTransport.playing.load() == 1 && theTransport.position() != before; }));
    }

    // A halt through the stop command, waited for.
    void stop() {
        dialog->onTrackListKey(ListKey::Period, false);
        ASSERT_TRUE(waitUntil([] { return theTransport.playing.load() == 0; }));
    }

    void tick() { dialog->onTimer(kPlayerTimerId); }
    const CdDescriptor& disc() const { return *dialog->disc(); }
    int32_t start(int row) const { return disc().trackStart[static_cast<size_t>(row)]; }

    PlayerEnvironment env;
    FakePlayerView view;
    std::unique_ptr<PlayerDialog> dialog;
};

// ---------------------------------------------------------------------------------------------
// Start-up

TEST_F(PlayerTest, ValidSettingsWithAPathStartLoadingWithEveryControlDisabled) {
    openDisc();
    EXPECT_TRUE(view.shown.empty());
    EXPECT_EQ(view.title, "The Testers - Fixture Album");
    ASSERT_EQ(view.rows.size(), 3u);
    EXPECT_EQ(view.rows[0], padded("01 00:20 Track 1"));
    EXPECT_EQ(view.rows[1], padded("02 00:10 Track 2"));
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(view.trackTime, "01 00:00");
    EXPECT_EQ(view.volume, "-10.0");
    EXPECT_EQ(view.timers.at(kPlayerTimerId), 1000);
    EXPECT_TRUE(view.progressVisible);
    EXPECT_EQ(view.progressMax, kDiscFrames);
    EXPECT_EQ(view.pictures.at(kPlay), Picture::kPlay);
    for (int id : kAllControls) {
        EXPECT_FALSE(view.enabled(id)) << id;
    }
    EXPECT_TRUE(dialog->loading());
    EXPECT_FALSE(dialog->playing());
    EXPECT_TRUE(theTransport.repeatAtEnd.load());
}

TEST_F(PlayerTest, DiagnosticsShowTheStartUpTextThatEndsWithTheBypassLine) {
    openDisc({}, true);
    std::vector<std::string> texts = view.texts("diagnostics");
    ASSERT_EQ(texts.size(), 1u);
    const std::string& text = texts[0];
    EXPECT_NE(text.find("\r\nDSP Started.\r\n\r\nPlay starts after RAM load (available "), std::string::npos);
    const std::string tail =
        "MB).\r\n\tVolume (-10.0db, phase   0)\r\n\tSRC (1,     8000)\r\n"
        "\tSRC upsampling will be bypassed.\r\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(PlayerTest, InvalidSettingsShowTheReaderLinesThenTheSettingsWindow) {
    env.writeIniLines({"ASIO=Quoril Capture", "ASIOCHANNEL=0", "SRC=1", "RATE=8000"});
    open(env.writeDisc(kThreeTracks));
    EXPECT_EQ(view.sequence, (std::vector<std::string>{"diagnostics", "settings"}));
    const std::string text = view.texts("diagnostics").at(0);
    EXPECT_EQ(text.rfind("Processing .ini file...\r\n\r\n", 0), 0u);
    EXPECT_NE(text.find("Configuration is invalid."), std::string::npos);
    const std::string tail = "\r\nOn OK, settings will be activated.";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(dialog->engine(), nullptr);
}

TEST_F(PlayerTest, UnreadableSettingsOpenTheSettingsWindowAlone) {
    open(env.writeDisc(kThreeTracks));
    EXPECT_EQ(view.sequence, (std::vector<std::string>{"settings"}));
    EXPECT_EQ(dialog->engine(), nullptr);
    EXPECT_FALSE(settingsOpen);
}

TEST_F(PlayerTest, SettingsConfirmedAfterAnInvalidStartAreReadAgainAndTheSessionStarts) {
    env.writeIniLines({"ASIO=Quoril Capture", "ASIOCHANNEL=0", "SRC=1", "RATE=8000"});
    view.settingsScript = [](FakeSettingsView& settingsView, SettingsController& controller) {
        settingsView.click(SettingsControl::kDiagnosticsNo);
        controller.onOK();
    };
    open(env.writeDisc(kThreeTracks));
    EXPECT_EQ(view.settingsRuns, 1);
    EXPECT_NE(env.readIni().find("DIAGNOSTICS=No\n"), std::string::npos);
    ASSERT_NE(dialog->engine(), nullptr) << dialog->log();
    EXPECT_TRUE(dialog->loading());
    EXPECT_TRUE(settings().valid);
}

TEST_F(PlayerTest, WithoutAPathInLauncherModeTheUsageBoxShowsAndFileOpenStaysDisabled) {
    env.writeIni({"ZEB"});
    open("");
    ASSERT_EQ(view.shown.size(), 1u);
    EXPECT_EQ(view.shown[0].text, kUsageText);
    EXPECT_EQ(view.shown[0].caption, "Ravek");
    EXPECT_FALSE(view.enabled(kFileOpen));
    EXPECT_TRUE(view.fileDialogFilters.empty());
}

TEST_F(PlayerTest, WithoutAPathTheFileDialogOpensOnTheRememberedFilter) {
    env.writeIni({"FILTER=3"});
    open("");
    EXPECT_EQ(view.fileDialogFilters, std::vector<int>{3});
    EXPECT_EQ(dialog->engine(), nullptr);
    EXPECT_TRUE(view.enabled(kFileOpen));
}

struct CommandLineCase {
    const char* commandLine;
    const char* path;
};

class CommandLineTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTest, APathInDoubleQuotesLosesThemAndAnyOtherIsKept) {
    FakePlayerView view;
    PlayerDialog dialog(view, GetParam().commandLine);
    EXPECT_EQ(dialog.contentPath(), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Paths, CommandLineTest,
                         ::testing::Values(CommandLineCase{"\"/music/a b.cue\"", "/music/a b.cue"},
                                           CommandLineCase{"/music/a b.cue", "/music/a b.cue"},
                                           CommandLineCase{"disc.flac\"", "disc.flac\""},
                                           CommandLineCase{"", ""}));

// ---------------------------------------------------------------------------------------------
// Failures of a session start

class EngineFailureTest : public PlayerTest {
  protected:
    // A driver that offers 32-bit float samples: the engine refuses it.
    EngineFailureTest() : PlayerTest("0.001", {"\"SampleType\"=dword:00000013"}) {}
};

TEST_F(EngineFailureTest, AnEngineThatCannotStartShowsTheStartUpTextThenItsBoxAndIsKept) {
    env.writeIni();
    open(env.writeDisc(kThreeTracks));
    EXPECT_EQ(view.sequence, (std::vector<std::string>{"diagnostics", "box"}));
    EXPECT_NE(view.texts("diagnostics").at(0).find("Only 32 bit ASIO format supported."), std::string::npos);
    EXPECT_EQ(
        view.texts("box").at(0),
        "ASIO or DSP engine could not start.\r\n\r\nPlease check ALL Settings (ASIO & Player)!\r\n\r\n");
    ASSERT_NE(dialog->engine(), nullptr);
    EXPECT_FALSE(dialog->engine()->active);
    EXPECT_EQ(dialog->disc(), nullptr);
    EXPECT_TRUE(view.timers.empty());
}

TEST_F(PlayerTest, ContentThatCannotBeOpenedShowsItsBoxThenTheStartUpTextKeptAsTheLog) {
    env.writeIni();
    open(env.dir().file("missing.cue"));
    EXPECT_EQ(view.sequence, (std::vector<std::string>{"box", "diagnostics"}));
    EXPECT_EQ(
        view.texts("box").at(0),
        "Cue, wav or flac file could NOT be processed!\r\n\r\nDetails at bottom of diagnostics display.\r\n");
    EXPECT_EQ(dialog->log(), view.texts("diagnostics").at(0));
    EXPECT_NE(dialog->engine(), nullptr);
    ASSERT_NE(dialog->disc(), nullptr);
    EXPECT_FALSE(dialog->disc()->active.load());
}

TEST_F(PlayerTest, PlayStopAndFileOpenWithoutASessionShowTheLongBoxAndTheOthersStayQuiet) {
    open("");  // no settings file: no session
    view.shown.clear();
    for (int id : {kNext, kPrevious, kForward, kBack, kVolumeUp, kVolumeDown}) {
        dialog->onCommand(id);
    }
    EXPECT_TRUE(view.shown.empty());
    for (int id : {kPlay, kStop, kFileOpen}) {
        view.shown.clear();
        dialog->onCommand(id);
        ASSERT_FALSE(view.shown.empty()) << id;
        EXPECT_EQ(view.shown[0].kind, "box");
        EXPECT_EQ(view.shown[0].text, kPlayerStoppedText);
        EXPECT_EQ(view.shown[0].caption, "Ravek");
        // Only the stop command goes on to the log, and only with diagnostics on (the default).
        EXPECT_EQ(view.shown.size(), id == kStop ? 2u : 1u) << id;
    }
}

TEST_F(PlayerTest, TheAboutEntryShowsTheHintBox) {
    FakePlayerView plain;
    PlayerDialog player(plain, "");
    player.onSysCommand(kAboutCommandId);
    ASSERT_EQ(plain.shown.size(), 1u);
    EXPECT_EQ(plain.shown[0].text, "See About in Settings for more details.\r\n\r\n");
    EXPECT_EQ(plain.shown[0].caption, "Ravek");
}

// ---------------------------------------------------------------------------------------------
// The end of the load

TEST_F(PlayerTest, TheLoadEndStartsPlaybackAndEnablesEveryControl) {
    openDisc();
    loadAndPlay();
    for (int id : kAllControls) {
        EXPECT_TRUE(view.enabled(id)) << id;
    }
    EXPECT_FALSE(dialog->loading());
    EXPECT_TRUE(dialog->sessionPlaying());
    EXPECT_FALSE(view.progressVisible);
    EXPECT_EQ(view.pictures.at(kPlay), Picture::kPause);
    EXPECT_TRUE(view.shown.empty());
}

TEST_F(PlayerTest, InLauncherModeTheLoadEndLeavesFileOpenDisabled) {
    openDisc({"ZEB"});
    loadAndPlay();
    EXPECT_FALSE(view.enabled(kFileOpen));
    EXPECT_TRUE(view.enabled(kSettings));
}

TEST_F(PlayerTest, ClosingDuringTheLoadDoesNothing) {
    openDisc();
    dialog->onCancel();
    dialog->onCommand(kClose);
    EXPECT_FALSE(view.closed);
    EXPECT_NE(dialog->engine(), nullptr);
}

TEST_F(PlayerTest, ClosingAfterTheLoadEndsTheSessionAndSavesTheCurrentVolume) {
    openDisc();
    loadAndPlay();
    dialog->onCommand(kVolumeDown);
    dialog->onCancel();
    EXPECT_TRUE(view.closed);
    EXPECT_EQ(dialog->engine(), nullptr);
    EXPECT_EQ(dialog->disc(), nullptr);
    EXPECT_NE(env.readIni().find("VOLUME=-10.5\n"), std::string::npos) << env.readIni();
}

// ---------------------------------------------------------------------------------------------
// The timer

TEST_F(PlayerTest, TheSelectionAndTheTimeFollowThePosition) {
    openDisc();
    loadAndPlay();
    theTransport.setPosition(start(1) + 3 * kRate + 5);
    tick();
    EXPECT_EQ(dialog->currentTrack(), 1);
    EXPECT_EQ(view.selected, 1);
    EXPECT_EQ(view.trackTime, "02 00:03");
    // The playback thread wrapping to the start takes the selection back to row 0.
    theTransport.setPosition(100);
    tick();
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(view.trackTime, "01 00:00");
}

TEST_F(PlayerTest, ThePhaseToggleHoldsItsMessageForTwoTicks) {
    openDisc();
    loadAndPlay();
    dialog->onTrackListKey(ListKey::Semicolon, false);
    EXPECT_EQ(theTransport.phaseSign.load(), -1);
    EXPECT_EQ(settings().phase, 180);
    EXPECT_EQ(view.trackTime, "Phs 180");
    tick();
    EXPECT_EQ(view.trackTime, "Phs 180");
    tick();
    EXPECT_EQ(view.trackTime, "01^00:00");
    theTransport.setPosition(start(1) + 7 * kRate);
    tick();
    EXPECT_EQ(view.trackTime, "02^00:07");
    dialog->onTrackListKey(ListKey::Semicolon, false);
    EXPECT_EQ(view.trackTime, "Phs 0");
    EXPECT_EQ(settings().phase, 0);
}

TEST_F(PlayerTest, ThePhaseSettingStartsTheSessionInverted) {
    openDisc({"PHASE=180"});
    EXPECT_EQ(theTransport.phaseSign.load(), -1);
    EXPECT_EQ(view.trackTime, "Phs 180");
    EXPECT_EQ(dialog->holdTicks(), 2);
}

TEST_F(PlayerTest, RandomModeStartsOnTheChosenTrackAndNeverRepeatsTheCurrentOne) {
    openDisc({"PLAYBACK=N"}, false, {5 * kRate, 5 * kRate, 5 * kRate, 5 * kRate});
    EXPECT_EQ(theTransport.position(), start(dialog->currentTrack()));
    EXPECT_EQ(view.selected, dialog->currentTrack());
    EXPECT_TRUE(theTransport.repeatAtEnd.load());
    loadAndPlay();
    std::set<int> seen;
    for (int round = 0; round < 60; ++round) {
        int current = dialog->currentTrack();
        int next = (current + 1) % 4;
        theTransport.setPosition(start(next) + 10);
        tick();
        int chosen = dialog->currentTrack();
        ASSERT_NE(chosen, current);
        EXPECT_EQ(theTransport.position(), start(chosen));
        EXPECT_EQ(view.selected, chosen);
        seen.insert(chosen);
    }
    EXPECT_GE(seen.size(), 3u);
}

TEST_F(PlayerTest, StopModeStopsAtTheEndOfTheLastTrackAndRewindsToTrackOne) {
    openDisc({"PLAYBACK=S"});
    EXPECT_FALSE(theTransport.repeatAtEnd.load());
    loadAndPlay();
    theTransport.setPosition(start(2) + 10);
    tick();
    ASSERT_EQ(dialog->currentTrack(), 2);
    theTransport.setPosition(kDiscFrames);
    tick();
    EXPECT_FALSE(dialog->playing());
    EXPECT_EQ(dialog->currentTrack(), 0);
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(theTransport.position(), 0);
    EXPECT_EQ(view.pictures.at(kPlay), Picture::kPlay);
    EXPECT_EQ(view.trackTime, "03 00:15");
    EXPECT_NE(dialog->log().find("Playback stopped.\r\n\r\n"), std::string::npos);
    tick();
    EXPECT_EQ(view.trackTime, "01 00:00");
}

TEST_F(PlayerTest, ExitModeEndsTheSessionAndClosesTheWindowAtTheEnd) {
    openDisc({"PLAYBACK=X"}, true);
    loadAndPlay();
    dialog->onCommand(kVolumeUp);
    theTransport.setPosition(start(2) + 10);
    tick();
    theTransport.setPosition(kDiscFrames);
    tick();
    EXPECT_TRUE(view.closed);
    EXPECT_TRUE(view.timers.empty());
    EXPECT_EQ(dialog->engine(), nullptr);
    const std::string last = view.texts("diagnostics").back();
    const std::string tail = "\r\nPlayback ended. On OK Ravek exits.\r\n";
    EXPECT_EQ(last.substr(last.size() - tail.size()), tail);
    EXPECT_NE(env.readIni().find("VOLUME= -9.5\n"), std::string::npos) << env.readIni();
}

TEST_F(PlayerTest, ExitModeWithTheSettingsWindowOpenClosesOnlyAfterIt) {
    openDisc({"PLAYBACK=X"});
    loadAndPlay();
    theTransport.setPosition(start(2) + 10);
    tick();
    theTransport.setPosition(kDiscFrames);
    bool closedWhileOpen = true;
    view.settingsScript = [this, &closedWhileOpen](FakeSettingsView&, SettingsController&) {
        tick();  // the timer fires while the settings window runs
        closedWhileOpen = view.closed;
        EXPECT_TRUE(dialog->exitPending());
        EXPECT_EQ(dialog->engine(), nullptr);
    };
    dialog->onCommand(kSettings);
    EXPECT_FALSE(closedWhileOpen);
    EXPECT_EQ(view.flashes, 1);
    EXPECT_EQ(view.pauses, std::vector<int>{1000});
    EXPECT_TRUE(view.closed);
}

TEST_F(PlayerTest, APlaybackThreadThatEndsByItselfShowsTheLogAndStopsTheTimer) {
    openDisc();
    loadAndPlay();
    dialog->engine()->Terminate();  // the thread ends as it does after a driver reset
    ASSERT_TRUE(waitUntil([this] { return !dialog->engine()->threadRunning(); }));
    tick();
    EXPECT_TRUE(view.timers.empty());
    EXPECT_FALSE(dialog->engine()->active);
    EXPECT_FALSE(dialog->sessionPlaying());
    EXPECT_EQ(view.sequence, std::vector<std::string>{"diagnostics"});
    EXPECT_EQ(view.pictures.at(kPlay), Picture::kPlay);
    dialog->onCommand(kPlay);
    EXPECT_EQ(view.texts("box").at(0), kPlayerStoppedText);
}

// ---------------------------------------------------------------------------------------------
// Seeks, tracks and volume

struct SeekCase {
    const char* name;
    int command;
    int32_t from;
    int32_t to;
};

class SeekTest : public PlayerTest, public ::testing::WithParamInterface<SeekCase> {};

TEST_P(SeekTest, MovesByFifteenSecondsAndWrapsAtTheEdges) {
    openDisc();
    loadAndPlay();
    theTransport.setPosition(GetParam().from);
    dialog->onCommand(GetParam().command);
    EXPECT_EQ(theTransport.position(), GetParam().to);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, SeekTest,
    ::testing::Values(
        SeekCase{"ForwardFromTheStart", kForward, 0, kSeekStep},
        SeekCase{"ForwardTenSecondsBeforeTheEndWrapsToZero", kForward, kDiscFrames - 10 * kRate, 0},
        SeekCase{"ForwardOntoTheLastFrameStaysThere", kForward, kDiscFrames - kSeekStep, kDiscFrames},
        SeekCase{"BackInTheMiddle", kBack, 25 * kRate, 10 * kRate},
        SeekCase{"BackInTheFirstFifteenSecondsJumpsBeforeTheEnd", kBack, 12 * kRate, kDiscFrames - kSeekStep},
        SeekCase{"BackFromExactlyFifteenSecondsJumpsBeforeTheEnd", kBack, kSeekStep,
                 kDiscFrames - kSeekStep}),
    [](const ::testing::TestParamInfo<SeekCase>& info) { return std::string(info.param.name); });

TEST_F(PlayerTest, SeeksOnADiscShorterThanTheStepDoNothing) {
    openDisc({}, false, {10 * kRate});
    loadAndPlay();
    theTransport.setPosition(4 * kRate);
    dialog->onCommand(kForward);
    EXPECT_EQ(theTransport.position(), 4 * kRate);
    dialog->onCommand(kBack);
    EXPECT_EQ(theTransport.position(), 4 * kRate);
}

struct TrackJumpCase {
    const char* name;
    bool next;
    int fromRow;
    int toRow;
};

class TrackJumpTest : public PlayerTest, public ::testing::WithParamInterface<TrackJumpCase> {};

TEST_P(TrackJumpTest, GoesToTheNeighbouringTrackAndWrapsAround) {
    openDisc();
    loadAndPlay();
    theTransport.setPosition(start(GetParam().fromRow) + 2 * kRate);
    dialog->onTrackListKey(GetParam().next ? ListKey::RightBracket : ListKey::LeftBracket, false);
    EXPECT_EQ(theTransport.position(), start(GetParam().toRow));
    EXPECT_TRUE(dialog->playing());
}

INSTANTIATE_TEST_SUITE_P(Edges, TrackJumpTest,
                         ::testing::Values(TrackJumpCase{"NextFromTheFirst", true, 0, 1},
                                           TrackJumpCase{"NextOnTheLastGoesToTrackOne", true, 2, 0},
                                           TrackJumpCase{"PreviousOnTrackOneGoesToTheLast", false, 0, 2},
                                           TrackJumpCase{"PreviousFromTheSecond", false, 1, 0}),
                         [](const ::testing::TestParamInfo<TrackJumpCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(PlayerTest, NextAndPreviousOnASingleTrackDiscOnlyStartPlaybackWhenHalted) {
    openDisc({}, false, {20 * kRate});
    loadAndPlay();
    stop();
    theTransport.setPosition(3 * kRate);
    dialog->onCommand(kNext);
    EXPECT_TRUE(dialog->playing());
    EXPECT_EQ(view.pictures.at(kPlay), Picture::kPause);
    ASSERT_TRUE(waitUntil([] { return theTransport.playing.load() == 1; }));
    EXPECT_GE(theTransport.position(), 3 * kRate);  // played on from where it was, no jump
    dialog->onCommand(kPrevious);
    EXPECT_TRUE(dialog->playing());  // already playing: no toggle
}

TEST_F(PlayerTest, StopHaltsRewindsAndSelectsTrackOne) {
    openDisc();
    loadAndPlay();
    theTransport.setPosition(start(1) + 5);
    tick();
    stop();
    EXPECT_FALSE(dialog->playing());
    EXPECT_EQ(theTransport.position(), 0);
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(view.pictures.at(kPlay), Picture::kPlay);
    EXPECT_TRUE(view.shown.empty());  // diagnostics off: no window after the stop
}

TEST_F(PlayerTest, StopWithDiagnosticsWaitsAQuarterSecondAndShowsTheLog) {
    openDisc({}, true);
    loadAndPlay();
    view.shown.clear();
    dialog->onCommand(kStop);
    EXPECT_EQ(view.pauses, std::vector<int>{250});
    ASSERT_EQ(view.texts("diagnostics").size(), 1u);
    EXPECT_NE(view.texts("diagnostics")[0].find("Playback stopped.\r\n\r\n"), std::string::npos);
}

TEST_F(PlayerTest, EnterAndDoubleClickPlayTheSelectedTrack) {
    openDisc();
    loadAndPlay();
    stop();
    view.selectTrackRow(2);
    dialog->onOK();
    EXPECT_EQ(dialog->currentTrack(), 2);
    EXPECT_TRUE(dialog->playing());
    ASSERT_TRUE(waitUntil([] { return theTransport.playing.load() == 1; }));
    EXPECT_GE(theTransport.position(), start(2));
    view.selectTrackRow(1);
    dialog->onTrackListDoubleClick();
    EXPECT_EQ(dialog->currentTrack(), 1);
    EXPECT_EQ(theTransport.position(), start(1));
    EXPECT_TRUE(dialog->playing());
}

struct VolumeCase {
    const char* name;
    double from;
    int command;
    double to;
    const char* field;
};

class VolumeTest : public PlayerTest, public ::testing::WithParamInterface<VolumeCase> {};

TEST_P(VolumeTest, StepsByHalfADecibelWithinTheRange) {
    openDisc();
    loadAndPlay();
    theTransport.volumeDb.store(GetParam().from);
    dialog->onCommand(GetParam().command);
    EXPECT_DOUBLE_EQ(theTransport.volumeDb.load(), GetParam().to);
    EXPECT_EQ(view.volume, GetParam().field);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, VolumeTest,
    ::testing::Values(VolumeCase{"DownAtTheFloorOnlyRedraws", -100.0, kVolumeDown, -100.0, "-100.0"},
                      VolumeCase{"DownOntoTheFloor", -99.5, kVolumeDown, -100.0, "-100.0"},
                      VolumeCase{"DownInTheMiddle", -10.0, kVolumeDown, -10.5, "-10.5"},
                      VolumeCase{"DownJustAboveTheFloorStays", -99.7, kVolumeDown, -99.7, "-99.7"},
                      VolumeCase{"UpAtTheCeilingOnlyRedraws", 0.0, kVolumeUp, 0.0, " 0.0"},
                      VolumeCase{"UpOntoTheCeiling", -0.5, kVolumeUp, 0.0, " 0.0"},
                      VolumeCase{"UpJustBelowTheCeilingStays", -0.3, kVolumeUp, -0.3, "-0.3"},
                      VolumeCase{"UpInTheMiddle", -6.0, kVolumeUp, -5.5, "-5.5"}),
    [](const ::testing::TestParamInfo<VolumeCase>& info) { return std::string(info.param.name); });

TEST_F(PlayerTest, HomeAndEndNeverMoveTheListAndChangeTheVolumeOnlyWithShift) {
    openDisc();
    loadAndPlay();
    theTransport.volumeDb.store(-20.0);
    EXPECT_TRUE(dialog->onTrackListKey(ListKey::Home, false));
    EXPECT_TRUE(dialog->onTrackListKey(ListKey::End, false));
    EXPECT_DOUBLE_EQ(theTransport.volumeDb.load(), -20.0);
    EXPECT_TRUE(dialog->onTrackListKey(ListKey::Home, true));
    EXPECT_TRUE(dialog->onTrackListKey(ListKey::Home, true));
    EXPECT_DOUBLE_EQ(theTransport.volumeDb.load(), -19.0);
    EXPECT_TRUE(dialog->onTrackListKey(ListKey::End, true));
    EXPECT_DOUBLE_EQ(theTransport.volumeDb.load(), -19.5);
    EXPECT_FALSE(dialog->onTrackListKey(ListKey::Other, false));
    EXPECT_FALSE(dialog->onTrackListKey(ListKey::Semicolon, false));
}

TEST_F(PlayerTest, OpeningAnotherFileEndsTheSessionAndStartsANewOne) {
    openDisc({"FILTER=1"});
    loadAndPlay();
    std::string second = env.writeDisc({12 * kRate}, kRate, "second");
    view.fileDialog = [second](int& filterIndex, std::string& path) {
        filterIndex = 2;
        path = second;
        return true;
    };
    dialog->onCommand(kFileOpen);
    EXPECT_EQ(view.fileDialogFilters, std::vector<int>{1});
    EXPECT_EQ(dialog->contentPath(), second);
    EXPECT_EQ(settings().fileFilterIndex, 2);
    ASSERT_NE(dialog->disc(), nullptr);
    EXPECT_EQ(dialog->disc()->trackCount, 1);
    EXPECT_EQ(view.rows.size(), 1u);
    EXPECT_TRUE(dialog->loading());
    EXPECT_FALSE(dialog->playing());
    loadAndPlay();
    dialog->onCancel();
    EXPECT_NE(env.readIni().find("FILTER=2\n"), std::string::npos);
}

TEST_F(PlayerTest, TheSettingsWindowOfAPlayingSessionOpensTheDriversOwnPanel) {
    openDisc();
    loadAndPlay();
    view.settingsScript = [](FakeSettingsView& settingsView, SettingsController& controller) {
        EXPECT_TRUE(settingsOpen);
        EXPECT_EQ(settingsView.texts.at(SettingsControl::kAsioSettings), "Quoril Capture Settings");
        EXPECT_TRUE(settingsView.enabled(SettingsControl::kAsioSettings));
        controller.onAsioSettings();
        EXPECT_FALSE(settingsView.enabled(SettingsControl::kOK));
        controller.onCancel();
    };
    dialog->onCommand(kSettings);
    EXPECT_EQ(view.settingsRuns, 1);
    EXPECT_FALSE(settingsOpen);
    EXPECT_FALSE(view.closed);
}

}  // namespace
}  // namespace quoril::test
