#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>

#include "platform/CFormat.h"
#include "support/TempDir.h"
#include "support/WavWriter.h"
#include "ui/PlayerDialog.h"
#include "ui/PlayerEnvironment.h"
#include "ui/qt/PlayerWindow.h"
#include "ui/qt/QtTestEnvironment.h"
#include "ui/qt/SettingsWindow.h"

namespace quoril {
namespace {

using test::onNextModal;

// Hands every call on to the player's logic and, once its start-up has run, starts the test's
// script inside the modal run, as a user would act on the visible window.
class ScriptedPlayer : public PlayerController {
  public:
    ScriptedPlayer(PlayerDialog& logic, std::function<void()> script)
        : m_logic(logic), m_script(std::move(script)) {}

    void onInitDialog() override {
        m_logic.onInitDialog();
        QTimer::singleShot(0, [this] { m_script(); });
    }
    void onTimer(int timerId) override { m_logic.onTimer(timerId); }
    void onCommand(int controlId) override { m_logic.onCommand(controlId); }
    bool onTrackListKey(ListKey key, bool shift) override { return m_logic.onTrackListKey(key, shift); }
    void onTrackListDoubleClick() override { m_logic.onTrackListDoubleClick(); }
    void onOK() override { m_logic.onOK(); }
    void onCancel() override { m_logic.onCancel(); }
    void onSysCommand(int commandId) override { m_logic.onSysCommand(commandId); }

  private:
    PlayerDialog& m_logic;
    std::function<void()> m_script;
};

class QtPlayerTest : public test::QtWidgetTest {
  protected:
    QtPlayerTest() : env("1") {}

    QString field(int id) { return qobject_cast<QLineEdit*>(window.control(id))->text(); }
    QString trackTime() { return field(PlayerControl::kTrackTime); }
    QString volume() { return field(PlayerControl::kVolume); }
    QListWidget* trackList() { return qobject_cast<QListWidget*>(window.control(PlayerControl::kTrackList)); }
    void click(int id) { QTest::mouseClick(qobject_cast<QPushButton*>(window.control(id)), Qt::LeftButton); }
    // Waits on the window's own event loop (its timer keeps ticking) until condition holds.
    bool waitFor(const std::function<bool()>& condition, int ms = 10000) {
        return QTest::qWaitFor(condition, ms);
    }
    bool playingShown() { return window.buttonPicture(PlayerControl::kPlay) == Picture::kPause; }

    // Runs the player window with the real logic on path; script acts on it and must close it.
    int run(const std::string& path, const std::function<void()>& script) {
        PlayerDialog logic(window, path);
        m_logic = &logic;
        ScriptedPlayer player(logic, [this, script] {
            script();
            if (window.isVisible()) {
                ADD_FAILURE() << "the script left the window open";
                window.closeWindow(2);
            }
        });
        const int result = window.runModal(player);
        m_logic = nullptr;
        return result;
    }

    test::PlayerEnvironment env;
    PlayerWindow window;
    PlayerDialog* m_logic = nullptr;
};

TEST_F(QtPlayerTest, TheWindowLoadsTheDiscPlaysAndFollowsButtonsAndListKeys) {
    env.writeIni();
    const std::string cue = env.writeDisc({8000 * 20, 8000 * 20, 8000 * 20});
    run(cue, [&] {
        // The load ends, the timer starts playback and gives the controls back.
        ASSERT_TRUE(waitFor([&] { return playingShown(); })) << m_logic->log();
        EXPECT_EQ(window.windowTitle(), QStringLiteral("The Testers - Fixture Album"));
        ASSERT_EQ(trackList()->count(), 3);
        EXPECT_EQ(trackList()->item(1)->text().toStdString(), "02 00:20 Track 2" + std::string(32, ' '));
        for (int id : {PlayerControl::kTrackList, PlayerControl::kSettings, PlayerControl::kFileOpen,
                       PlayerControl::kStop, PlayerControl::kPrevious, PlayerControl::kBack,
                       PlayerControl::kPlay, PlayerControl::kForward, PlayerControl::kNext,
                       PlayerControl::kVolumeDown, PlayerControl::kVolumeUp, PlayerControl::kClose}) {
            EXPECT_TRUE(window.control(id)->isEnabled()) << id;
        }
        EXPECT_TRUE(window.control(PlayerControl::kProgress)->isHidden());
        EXPECT_EQ(volume(), QStringLiteral("-10.0"));
        ASSERT_TRUE(waitFor([&] { return trackTime() >= QStringLiteral("01 00:02"); }))
            << trackTime().toStdString();

        // Next track: the list follows the position.
        click(PlayerControl::kNext);
        ASSERT_TRUE(waitFor([&] { return window.selectedTrackRow() == 1 && trackTime().startsWith("02 "); }))
            << trackTime().toStdString();

        click(PlayerControl::kVolumeUp);
        EXPECT_EQ(volume(), QStringLiteral("-9.5"));
        QTest::keyClick(trackList(), Qt::Key_End, Qt::ShiftModifier);
        QTest::keyClick(trackList(), Qt::Key_End, Qt::ShiftModifier);
        EXPECT_EQ(volume(), QStringLiteral("-10.5"));

        // The phase key shows its message for two ticks, then the time with the circumflex.
        QTest::keyClick(trackList(), ';');
        EXPECT_EQ(trackTime(), QStringLiteral("Phs 180"));
        ASSERT_TRUE(waitFor([&] { return trackTime().startsWith(QStringLiteral("02^")); }))
            << trackTime().toStdString();

        // Stop rewinds to track 1 and shows the play picture.
        QTest::keyClick(trackList(), '.');
        EXPECT_FALSE(playingShown());
        EXPECT_EQ(window.selectedTrackRow(), 0);

        // Home alone leaves the selection where the arrows put it; Enter plays that row.
        QTest::keyClick(trackList(), Qt::Key_Down);
        QTest::keyClick(trackList(), Qt::Key_Down);
        QTest::keyClick(trackList(), Qt::Key_Home);
        EXPECT_EQ(window.selectedTrackRow(), 2);
        QTest::keyClick(trackList(), Qt::Key_Return);
        EXPECT_TRUE(playingShown());
        ASSERT_TRUE(waitFor([&] { return trackTime().startsWith(QStringLiteral("03^")); }))
            << trackTime().toStdString();

        // Play/pause halts and resumes.
        click(PlayerControl::kPlay);
        EXPECT_FALSE(playingShown());
        click(PlayerControl::kPlay);
        EXPECT_TRUE(playingShown());

        click(PlayerControl::kClose);
        EXPECT_FALSE(window.isVisible());
    });
    // Closing ended the session, which saved the volume.
    EXPECT_NE(env.readIni().find("VOLUME=-10.5\n"), std::string::npos) << env.readIni();
}

TEST_F(QtPlayerTest, TheAboutEntryOfTheWindowMenuShowsTheHintBox) {
    env.writeIni();
    const std::string cue = env.writeDisc({8000 * 5});
    QString caption, text;
    run(cue, [&] {
        ASSERT_TRUE(waitFor([&] { return playingShown(); })) << m_logic->log();
        onNextModal<QMessageBox>([&](QMessageBox* box) {
            caption = box->windowTitle();
            text = box->text();
            box->button(QMessageBox::Ok)->click();
        });
        window.windowMenu()->actions().back()->trigger();
        click(PlayerControl::kClose);
    });
    EXPECT_EQ(caption, QStringLiteral("Ravek"));
    EXPECT_EQ(text, QStringLiteral("See About in Settings for more details.\n\n"));
}

TEST_F(QtPlayerTest, TheSettingsButtonOpensTheSettingsWindowFilledFromTheSettings) {
    env.writeIni({"PLAYBACK=S", "ZEB=No"});
    const std::string cue = env.writeDisc({8000 * 5});
    QString driver, pair;
    bool okEnabled = false, stopChecked = false, anyRateChecked = true, asioSettingsEnabled = false;
    QString asioSettingsCaption;
    run(cue, [&] {
        ASSERT_TRUE(waitFor([&] { return playingShown(); })) << m_logic->log();
        onNextModal<SettingsWindow>([&](SettingsWindow* settings) {
            driver = qobject_cast<QComboBox*>(settings->control(SettingsControl::kDriverList))->currentText();
            pair = qobject_cast<QComboBox*>(settings->control(SettingsControl::kPairList))->currentText();
            okEnabled = settings->control(SettingsControl::kOK)->isEnabled();
            stopChecked = settings->isChecked(SettingsControl::kStop);
            anyRateChecked = false;
            for (int id :
                 {SettingsControl::kRate44100, SettingsControl::kRate48000, SettingsControl::kRate88200,
                  SettingsControl::kRate96000, SettingsControl::kRate176400, SettingsControl::kRate192000}) {
                anyRateChecked = anyRateChecked || settings->isChecked(id);
            }
            auto* asio = qobject_cast<QPushButton*>(settings->control(SettingsControl::kAsioSettings));
            asioSettingsCaption = asio->text();
            asioSettingsEnabled = asio->isEnabled();
            QTest::mouseClick(qobject_cast<QPushButton*>(settings->control(SettingsControl::kCancel)),
                              Qt::LeftButton);
        });
        click(PlayerControl::kSettings);
        click(PlayerControl::kClose);
    });
    EXPECT_EQ(driver, QStringLiteral("Quoril Capture"));
    EXPECT_FALSE(pair.isEmpty());
    EXPECT_TRUE(okEnabled);
    EXPECT_TRUE(stopChecked);
    // 8 kHz is none of the rate buttons.
    EXPECT_FALSE(anyRateChecked);
    EXPECT_EQ(asioSettingsCaption, QStringLiteral("Quoril Capture Settings"));
    EXPECT_TRUE(asioSettingsEnabled);
}

// Not a check: with QUORIL_SCREENSHOT set to a file name, saves a picture of the window playing a
// disc with a full track list (the project's documentation shows it).
TEST_F(QtPlayerTest, ScreenshotOfTheWindowPlaying) {
    const QByteArray shot = qgetenv("QUORIL_SCREENSHOT");
    if (shot.isEmpty()) {
        GTEST_SKIP() << "QUORIL_SCREENSHOT is not set";
    }
    constexpr int kRate = 8000;
    const struct {
        const char* title;
        int seconds;
    } tracks[] = {{"Morning Over the Estuary", 185},
                  {"Lantern Street", 242},
                  {"A Slow Return", 301},
                  {"Paper Boats", 156},
                  {"Copper and Salt", 274},
                  {"The Long Corridor", 338},
                  {"Night Ferry", 211},
                  {"Coda for Two Rooms", 129}};
    std::string cue = "PERFORMER \"Harbour Quartet\"\r\nTITLE \"Tidal Rooms\"\r\nFILE \"tidal.wav\" WAVE\r\n";
    int seconds = 0;
    size_t frames = 0;
    int number = 1;
    for (const auto& track : tracks) {
        cue += cformat("  TRACK %02d AUDIO\r\n    TITLE \"%s\"\r\n    INDEX 01 %02d:%02d:00\r\n", number++,
                       track.title, seconds / 60, seconds % 60);
        seconds += track.seconds;
        frames += static_cast<size_t>(track.seconds) * kRate;
    }
    test::WavWriter wav(16, 2, kRate);
    wav.samples(test::makeSamples(frames, 16, 2, 3));
    ASSERT_TRUE(wav.write(env.dir().file("tidal.wav")));
    env.writeIni();
    run(env.dir().write("tidal.cue", cue), [&] {
        ASSERT_TRUE(waitFor([&] { return playingShown(); }, 30000)) << m_logic->log();
        trackList()->setCurrentRow(2);
        QTest::keyClick(trackList(), Qt::Key_Return);
        for (int i = 0; i < 5; ++i) {
            click(PlayerControl::kForward);
        }
        ASSERT_TRUE(waitFor([&] { return trackTime() >= QStringLiteral("03 01:16"); }))
            << trackTime().toStdString();
        EXPECT_TRUE(window.grab().save(QString::fromLocal8Bit(shot)));
        click(PlayerControl::kClose);
    });
}

}  // namespace
}  // namespace quoril
