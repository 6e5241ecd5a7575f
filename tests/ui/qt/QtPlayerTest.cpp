#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>

#include "platform/CFormat.h"
#include "ui/PlayerDialog.h"
#include "ui/PlayerEnvironment.h"
#include "ui/qt/PlayerWindow.h"
#include "ui/qt/QtTestEnvironment.h"
#include "ui/qt/SettingsWindow.h"

namespace quoril {
namespace {

// The player's logic that, once its start-up has run, starts the test's script inside the modal
// run, as a user would act on the visible window.
class ScriptedPlayer : public PlayerDialog {
  public:
    ScriptedPlayer(PlayerView& view, const std::string& path, std::function<void()> script)
        : PlayerDialog(view, path), m_script(std::move(script)) {}
    void onInitDialog() override {
        PlayerDialog::onInitDialog();
        QTimer::singleShot(0, m_script);
    }

  private:
    std::function<void()> m_script;
};

class QtPlayerTest : public test::QtWidgetTest {
  protected:
    QtPlayerTest() : env("1") {}

    QString trackTime() {
        return qobject_cast<QLineEdit*>(window.control(PlayerControl::kTrackTime))->text();
    }
    QListWidget* trackList() { return qobject_cast<QListWidget*>(window.control(PlayerControl::kTrackList)); }
    void click(int id) { QTest::mouseClick(qobject_cast<QPushButton*>(window.control(id)), Qt::LeftButton); }
    bool playingShown() { return window.buttonPicture(PlayerControl::kPlay) == Picture::kPause; }
    // Waits on the window's own event loop (its timer keeps ticking) until the time field starts so.
    bool waitForTime(const char* prefix) {
        return QTest::qWaitFor([&] { return trackTime().startsWith(QLatin1String(prefix)); }, 10000);
    }

    // Runs the player window with the real logic on path; script acts on it and must close it.
    void run(const std::string& path, const std::function<void()>& script) {
        ScriptedPlayer player(window, path, [&] {
            if (QTest::qWaitFor([&] { return playingShown(); }, 30000)) {
                script();
            } else {
                ADD_FAILURE() << "playback did not start\n" << player.log();
            }
            if (window.isVisible()) {
                ADD_FAILURE() << "the script left the window open";
                window.closeWindow(2);
            }
        });
        window.runModal(player);
    }

    test::PlayerEnvironment env;
    PlayerWindow window;
};

// With QUORIL_SCREENSHOT_DIR set (a run under Xvfb), the window is saved there as name.
void snapshot(QWidget& window, const char* name) {
    const QString dir = qEnvironmentVariable("QUORIL_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QTest::qWait(200);  // the window manager and the first paint
        EXPECT_TRUE(window.grab().save(dir + QLatin1Char('/') + QLatin1String(name))) << name;
    }
}

TEST_F(QtPlayerTest, TheWindowLoadsTheDiscPlaysAndFollowsButtonsAndListKeys) {
    env.writeIni({"PLAYBACK=S"});
    QString panelBox;
    const QString title = QStringLiteral(
        "\u4ea4\u97ff\u66f2\u7b2c\u4e5d\u756a\u30cb\u77ed\u8abf\u300c\u5408\u5531\u4ed8\u304d\u300d"
        "\u7b2c\u56db\u697d\u7ae0\uff1a\u30d7\u30ec\u30b9\u30c8\u2015\u30a2\u30ec\u30b0\u30ed\u30fb"
        "\u30a2\u30c3\u30b5\u30a4\u2015\u30a2\u30ec\u30b0\u30ed\u30fb\u30f4\u30a3\u30f4\u30a1\u30fc"
        "\u30c1\u30a7");  // 52 characters, 156 bytes of UTF-8
    run(env.writeDisc({8000 * 20, 8000 * 20, 8000 * 20}, 8000, "disc",
                      {"Overture", title.toStdString(), "Finale"}),
        [&] {
            // The load has ended and the timer started playback. The title is cut after its 38th character,
            // whole, and ends in an ellipsis.
            EXPECT_EQ(trackList()->item(1)->text(),
                      QStringLiteral("02 00:20 ") + title.left(38) + QChar(0x2026));
            ASSERT_TRUE(QTest::qWaitFor([&] { return trackTime() >= QStringLiteral("01 00:02"); }, 10000));

            click(PlayerControl::kNext);  // the list follows the position
            ASSERT_TRUE(waitForTime("02 ")) << trackTime().toStdString();
            EXPECT_EQ(window.selectedTrackRow(), 1);
            click(PlayerControl::kVolumeUp);
            EXPECT_EQ(qobject_cast<QLineEdit*>(window.control(PlayerControl::kVolume))->text(),
                      QStringLiteral("-9.5"));

            // The phase key shows its message for two ticks, then the time with the circumflex.
            QTest::keyClick(trackList(), ';');
            EXPECT_EQ(trackTime(), QStringLiteral("Phs 180"));
            ASSERT_TRUE(waitForTime("02^")) << trackTime().toStdString();
            snapshot(window, "player.png");
            window.resize(window.width() * 3 / 2, window.height() * 2);
            snapshot(window, "player-grown.png");
            window.resize(1, 1);
            snapshot(window, "player-minimum.png");

            // The settings window opens filled from the settings; 8 kHz is none of the rate buttons.
            // The capture driver has no control panel: its button says where its values are, and
            // OK stays usable.
            test::onNextModal<SettingsWindow>([&](SettingsWindow* settings) {
                EXPECT_TRUE(settings->isChecked(SettingsControl::kStop));
                EXPECT_FALSE(settings->isChecked(SettingsControl::kRate44100));
                test::onNextModal<QMessageBox>([&](QMessageBox* box) {
                    panelBox = box->text();
                    box->button(QMessageBox::Ok)->click();
                });
                QTest::mouseClick(
                    qobject_cast<QPushButton*>(settings->control(SettingsControl::kAsioSettings)),
                    Qt::LeftButton);
                EXPECT_TRUE(settings->control(SettingsControl::kOK)->isEnabled());
                QTest::mouseClick(qobject_cast<QPushButton*>(settings->control(SettingsControl::kCancel)),
                                  Qt::LeftButton);
            });
            click(PlayerControl::kSettings);
            click(PlayerControl::kClose);
            EXPECT_FALSE(window.isVisible());
        });
    EXPECT_TRUE(panelBox.startsWith(QStringLiteral("Quoril Capture has no control panel.\n")))
        << panelBox.toStdString();
    // Closing ended the session, which saved the volume and the window's size, its smallest.
    EXPECT_NE(env.readIni().find("VOLUME= -9.5\n"), std::string::npos) << env.readIni();
    EXPECT_NE(env.readIni().find(cformat("WINDOW=%d %d\n", window.minimumWidth(), window.minimumHeight())),
              std::string::npos)
        << env.readIni();
}

}  // namespace
}  // namespace quoril
