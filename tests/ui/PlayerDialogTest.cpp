#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

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

const char* const kPlayerStoppedText =
    "Player has stopped or did NOT start successfully. This may occur if:\r\n\r\n\t1. Settings has not been "
    "done\r\n\t2. No .cue, .wav or .flac was supplied\r\n\t3. An external ASIO event occurred\r\n\t\tNew "
    "sample rate or latency\r\n\t\tDriver requested resync or reset\r\n\t4. ASIO did NOT start "
    "successfully\r\n\t5. DSP did NOT start successfully\r\n\t6. Content file is invalid, too large or you "
    "don't have enough RAM\r\n\t7. No ASIO drivers installed\r\n\r\nRestart player and/or correct settings.";

class PlayerTest : public ::testing::Test {
  protected:
    void open(const std::string& commandLine) {
        (dialog = std::make_unique<PlayerDialog>(view, commandLine))->run();
    }
    // Starts a session on a three-track disc; unless loadOnly (which shows the diagnostics), lets
    // the timer end the RAM load, which starts playback, and waits for the first block.
    void play(bool loadOnly = false) {
        env.writeIni({}, kRate, loadOnly);
        open(env.writeDisc(kThreeTracks));
        ASSERT_TRUE(dialog->disc() && dialog->disc()->active.load()) << dialog->log();
        if (loadOnly) {
            return;
        }
        ASSERT_TRUE(waitUntil([this] {
            return dialog->loadProgress() == kLoadFinished && dialog->engine() &&
                   dialog->engine()->threadRunning();
        })) << dialog->log();
        tick();
        ASSERT_TRUE(dialog->playing());
        ASSERT_TRUE(
            waitUntil([] { return theTransport.playing.load() == 1 && theTransport.position() > 0; }));
    }
    void tick() { dialog->onTimer(kPlayerTimerId); }
    // The window at a glance: the selected row, the two fields and the play button's picture.
    std::string glance() {
        return std::to_string(view.selected) + " " + view.trackTime + " " + view.volume +
               (view.pictures[kPlay] == Picture::kPause ? " ||" : " >");
    }

    PlayerEnvironment env;
    FakePlayerView view;
    std::unique_ptr<PlayerDialog> dialog;
};

TEST_F(PlayerTest, ValidSettingsStartLoadingWithEveryControlDisabledAndShowTheStartUpText) {
    play(true);
    ASSERT_EQ(view.shown.size(), 1u);
    ASSERT_EQ(view.shown["diagnostics"].size(), 1u);
    const std::string text = view.shown["diagnostics"][0];
    EXPECT_NE(text.find("\r\nDSP Started.\r\n\r\nPlay starts after RAM load (available "), std::string::npos);
    EXPECT_TRUE(
        text.ends_with("MB).\r\n\tVolume (-10.0db, phase   0)\r\n\tSRC (1,     8000)\r\n"
                       "\tSRC upsampling will be bypassed.\r\n"))
        << text;
    EXPECT_EQ(view.title, "The Testers - Fixture Album");
    ASSERT_EQ(view.rows.size(), 3u);
    EXPECT_EQ(view.rows[1], "02 00:10 Track 2" + std::string(32, ' '));
    EXPECT_EQ(glance(), "0 01 00:00 -10.0 >");
    EXPECT_EQ(view.timers.at(kPlayerTimerId), 1000);
    EXPECT_TRUE(view.progressVisible && view.progressMax == kDiscFrames);
    for (int id : {kFileOpen, kSettings, kTrackList, kVolumeUp, kVolumeDown, kNext, kPlay, kPrevious, kBack,
                   kForward, kClose, kStop}) {
        EXPECT_TRUE(view.disabled.count(id)) << id;
    }
    EXPECT_TRUE(dialog->loading() && !dialog->playing() && theTransport.repeatAtEnd.load());
}

TEST_F(PlayerTest, ADiscThatCannotBeOpenedSaysSoAndShowsWhyInTheLog) {
    env.writeIni({}, kRate, false);
    open(env.dir().file("missing.wav"));
    EXPECT_EQ(view.shown["box"],
              std::vector<std::string>{"Cue, wav or flac file could NOT be processed!\r\n\r\n"
                                       "Details at bottom of diagnostics display.\r\n"});
    ASSERT_EQ(view.shown["diagnostics"].size(), 1u);
    EXPECT_NE(view.shown["diagnostics"][0].find("Wav file NOT found!"), std::string::npos);
}

TEST_F(PlayerTest, WithoutASessionPlayShowsTheLongBox) {
    open(env.writeDisc(kThreeTracks));  // no settings file: the settings window opens and is cancelled
    dialog->onCommand(kPlay);
    EXPECT_EQ(view.shown["box"], std::vector<std::string>{kPlayerStoppedText});
}

TEST_F(PlayerTest, TheSelectionAndTheTimeFollowThePositionAndThePhaseMessageHoldsForTwoTicks) {
    play();
    theTransport.setPosition(23 * kRate + 5);
    tick();
    EXPECT_EQ(glance(), "1 02 00:03 -10.0 ||");
    theTransport.setPosition(100);  // the playback thread wrapped to the start
    tick();
    EXPECT_EQ(glance(), "0 01 00:00 -10.0 ||");
    EXPECT_FALSE(dialog->onTrackListKey(ListKey::Semicolon, false));  // the list keeps the key too
    EXPECT_TRUE(theTransport.phaseSign.load() == -1 && settings().phase == 180);
    std::vector<std::string> fields = {view.trackTime};
    for (int32_t position : {0, 0, 27 * kRate}) {
        theTransport.setPosition(position);
        tick();
        fields.push_back(view.trackTime);
    }
    dialog->onTrackListKey(ListKey::Semicolon, false);
    fields.push_back(view.trackTime);
    EXPECT_EQ(fields, (std::vector<std::string>{"Phs 180", "Phs 180", "01^00:00", "02^00:07", "Phs 0"}));
    EXPECT_EQ(settings().phase, 0);
    // Minutes of a hundred or more show their first two digits; the field stays eight characters.
    EXPECT_EQ(PlayerDialog::trackTimeText(3, 123 * 60 + 4, -1), "03^12:04");
    EXPECT_EQ(PlayerDialog::volumeText(0.0), " 0.0");
}

TEST_F(PlayerTest, SeeksTrackJumpsAndVolumeStepsStayInTheirRangeOrWrapAndPlayOn) {
    constexpr int32_t kAny = -1, kEnd = kDiscFrames, kTrack2 = 20 * kRate, kTrack3 = 30 * kRate;
    constexpr int kKey = -1;  // the command is the list key of the row
    const struct {
        int command, from, to;  // kAny: not set, not checked
        double fromDb, toDb;
        ListKey key = ListKey::Other;
        bool shift = true;
    } cases[] = {
        {kForward, kEnd - 10 * kRate, 0, -10, -10},        // wraps to the start
        {kBack, 12 * kRate, kEnd - 15 * kRate, -10, -10},  // back in the first 15 s: 15 s before the end
        {kKey, 2 * kRate, kTrack2, -10, -10, ListKey::RightBracket},
        {kNext, kTrack3 + 2 * kRate, 0, -10, -10},
        {kPrevious, 2 * kRate, kTrack3, -10, -10},  // before the first track comes the last
        {kKey, 2 * kRate, kTrack3, -10, -10, ListKey::LeftBracket},
        {kVolumeDown, kAny, kAny, -100.0, -100.0},
        {kKey, kAny, kAny, -10.0, -10.5, ListKey::End},
        {kVolumeUp, kAny, kAny, -0.5, 0.0},
        {kKey, kAny, kAny, -6.0, -5.5, ListKey::Home},
        {kKey, kAny, kAny, -20.0, -20.0, ListKey::Home, false},
    };
    play();
    for (const auto& c : cases) {
        const std::string row = std::to_string(&c - cases);
        if (c.from != kAny) {
            theTransport.setPosition(c.from);
        }
        theTransport.volumeDb.store(c.fromDb);
        view.volume.clear();
        if (c.command == kKey) {
            // Home and End never reach the list; the other keys do.
            EXPECT_EQ(dialog->onTrackListKey(c.key, c.shift),
                      c.key == ListKey::Home || c.key == ListKey::End);
        } else {
            dialog->onCommand(c.command);
        }
        if (c.to != kAny) {
            EXPECT_EQ(theTransport.position(), c.to) << row;
        }
        EXPECT_DOUBLE_EQ(theTransport.volumeDb.load(), c.toDb) << row;
        const bool redrawn = c.fromDb != c.toDb || c.command == kVolumeUp || c.command == kVolumeDown;
        EXPECT_EQ(view.volume, redrawn ? PlayerDialog::volumeText(c.toDb) : "") << row;
        EXPECT_TRUE(dialog->playing()) << row;
    }
    dialog->onCommand(kStop);
    EXPECT_FALSE(dialog->playing());
}

TEST(SettingsWindow, WithoutDriversOrWithoutAnEngineSaysSoAndKeepsOkDisabled) {
    PlayerEnvironment env;
    EXPECT_EQ(SettingsDialog::noControlPanelText("Quoril Capture", "/home/u/.config/quoril/registry.reg"),
              "Quoril Capture has no control panel.\r\n\r\nIts settings are the values of the key\r\n"
              "\tHKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Quoril Capture\r\nin the registry file\r\n"
              "\t/home/u/.config/quoril/registry.reg\r\n");
    settings().driversFound = false;
    FakeSettingsView noDrivers([](FakeSettingsView&, SettingsController& c) { c.onAsioSettings(); });
    std::unique_ptr<DspEngine> noEngine;
    EXPECT_EQ(SettingsDialog(noDrivers, noEngine).run(), SettingsControl::kCancel);
    EXPECT_EQ(noDrivers.boxes,
              (std::vector<std::string>{
                  "No valid ASIO drivers found!\r\n\r\nPlayer requirers at least one ASIO driver to be "
                  "installed.\r\n\r\nIf an ASIO driver was installed, its not operational - make sure "
                  "soundcard is enabled (in hardware device manager).",
                  "ASIO driver is NOT active"}));
    EXPECT_TRUE(noDrivers.disabled.count(SettingsControl::kOK) &&
                noDrivers.disabled.count(SettingsControl::kDriverList));
}

std::string repeat(const std::string& text, int times) {
    return times ? text + repeat(text, times - 1) : "";
}

TEST(ListLine, IsNumberMinutesSecondsAndTitleInFortyEightCharactersNeverSplittingOne) {
    const std::string nihongo = "\u65e5\u672c\u8a9e";  // three characters, nine bytes
    auto padded = [](const std::string& text, size_t n) { return text + std::string(48 - n, ' '); };
    const struct {
        int row, seconds;  // at 44,100 Hz
        std::string title, line;
        bool cut;
    } cases[] = {
        {1, 90, std::string(39, 'x'), "02 01:30 " + std::string(39, 'x'), false},
        // The seconds are the whole part of the fraction of a minute times 60, in floating point:
        // 61 s comes out just below 1.
        {4, 61, "S", padded("05 01:00 S", 10), false},
        {0, 6000, "Long", padded("01 100:00 Long", 14), false},
        // UTF-8 titles are counted, padded and cut in characters.
        {0, 185, nihongo, padded("01 03:05 " + nihongo, 12), false},
        {1, 90, "x" + repeat(nihongo, 20), "02 01:30 x" + repeat(nihongo, 12) + "\u65e5\u672c", true},
        {1, 90, std::string(39, 'a') + "\U0001F600", "02 01:30 " + std::string(39, 'a'), true},  // 4 bytes
        // Bytes that are not UTF-8 (a Latin-1 sheet, a sequence broken off) count one each.
        {1, 90, "caf\xe9 " + std::string(40, 'x'), "02 01:30 caf\xe9 " + std::string(34, 'x'), true},
        {1, 90, "\xe6\x97" + nihongo, padded("02 01:30 \xe6\x97" + nihongo, 14), false},
    };
    for (const auto& c : cases) {
        bool cut = !c.cut;
        EXPECT_EQ(PlayerDialog::listLine(c.row, c.seconds * 44100, 44100.0, c.title, &cut), c.line)
            << c.title;
        EXPECT_EQ(cut, c.cut) << c.title;
    }
}

TEST(CommandLine, APathInDoubleQuotesLosesThemAndALongOneIsCutOnACharacter) {
    FakePlayerView view;
    EXPECT_EQ(PlayerDialog(view, "\"/music/a b.cue\"").contentPath(), "/music/a b.cue");
    EXPECT_EQ(PlayerDialog(view, "/a" + repeat("\u00e9", 600)).contentPath(), "/a" + repeat("\u00e9", 517));
}

}  // namespace
}  // namespace quoril::test
