#include <gtest/gtest.h>

#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <string>

#include "platform/CFormat.h"
#include "ui/PlayerDialog.h"
#include "ui/PlayerEnvironment.h"
#include "ui/qt/PlayerWindow.h"
#include "ui/qt/QtTestEnvironment.h"
#include "ui/qt/SettingsWindow.h"

namespace quoril {
namespace {

using QtPlayerTest = test::QtWidgetTest;

TEST_F(QtPlayerTest, TheWindowLoadsTheDiscPlaysOpensTheSettingsAndSavesOnClose) {
    test::PlayerEnvironment env("1");
    env.writeIni({"PLAYBACK=S"});
    const QString title = QStringLiteral(
        "\u4ea4\u97ff\u66f2\u7b2c\u4e5d\u756a\u30cb\u77ed\u8abf\u300c\u5408\u5531\u4ed8\u304d\u300d"
        "\u7b2c\u56db\u697d\u7ae0\uff1a\u30d7\u30ec\u30b9\u30c8\u2015\u30a2\u30ec\u30b0\u30ed\u30fb"
        "\u30a2\u30c3\u30b5\u30a4\u2015\u30a2\u30ec\u30b0\U0001F600\u30fb\u30f4\u30a3\u30f4\u30a1\u30fc"
        "\u30c1\u30a7");  // 47 characters; the 39th, the last the list line holds, is two UTF-16 units
    PlayerWindow window;
    PlayerDialog player(window, env.writeDisc({8000 * 20, 8000 * 20, 8000 * 20},
                                              {"Overture", title.toStdString(), "Finale"}));
    auto click = [&](int id) { QTest::mouseClick(window.control(id), Qt::LeftButton); };
    QString panelBox;
    // Acts from inside the window's modal run, as a user would, once the timer has started playback.
    QTimer::singleShot(0, [&] {
        if (!QTest::qWaitFor([&] { return window.buttonPicture(PlayerControl::kPlay) == Picture::kPause; },
                             30000)) {
            ADD_FAILURE() << "playback did not start\n" << player.log();
            return window.closeWindow(2);
        }
        // The title is cut after its 39th character, which an ellipsis replaces whole.
        EXPECT_EQ(qobject_cast<QListWidget*>(window.control(PlayerControl::kTrackList))->item(1)->text(),
                  QStringLiteral("02 00:20 ") + title.left(38) + QChar(0x2026));
        click(PlayerControl::kVolumeUp);
        EXPECT_EQ(qobject_cast<QLineEdit*>(window.control(PlayerControl::kVolume))->text(),
                  QStringLiteral("-9.5"));
        // With QUORIL_SCREENSHOT_DIR set (a run under Xvfb), the window is saved there for the docs.
        if (const QString dir = qEnvironmentVariable("QUORIL_SCREENSHOT_DIR"); !dir.isEmpty()) {
            QTest::qWait(200);  // the window manager and the first paint
            EXPECT_TRUE(window.grab().save(dir + QStringLiteral("/player.png")));
        }
        window.resize(1, 1);
        // A file dialog left with Cancel changes nothing: the disc plays on.
        test::onNextModal<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
        click(PlayerControl::kFileOpen);
        EXPECT_EQ(window.buttonPicture(PlayerControl::kPlay), Picture::kPause);

        // The settings window opens filled from the settings; 8 kHz is none of the rate buttons.
        // The capture driver has no control panel: its button says where its values are, and
        // OK stays usable and writes the choices.
        test::onNextModal<SettingsWindow>([&](SettingsWindow* settings) {
            EXPECT_TRUE(settings->isChecked(SettingsControl::kStop));
            EXPECT_FALSE(settings->isChecked(SettingsControl::kRate44100));
            test::onNextModal<QMessageBox>([&](QMessageBox* box) {
                panelBox = box->text();
                box->button(QMessageBox::Ok)->click();
            });
            for (int id : {SettingsControl::kAsioSettings, SettingsControl::kRate96000,
                           SettingsControl::kConverterBest, SettingsControl::kZebYes, SettingsControl::kOK}) {
                QTest::mouseClick(settings->control(id), Qt::LeftButton);
            }
        });
        click(PlayerControl::kSettings);
        click(PlayerControl::kClose);
        EXPECT_FALSE(window.isVisible());
        if (window.isVisible()) {
            window.closeWindow(2);
        }
    });
    window.runModal(player);
    EXPECT_TRUE(panelBox.startsWith(QStringLiteral("Quoril Capture has no control panel.\n")))
        << panelBox.toStdString();
    // Closing ended the session, which saved the volume and the window's size, its smallest.
    EXPECT_EQ(env.readIni(),
              cformat("ASIO=Quoril Capture\nASIOCHANNEL=0\nSRC=0\nRATE= 96000.000\nVOLUME= -9.5\n"
                      "PHASE=0\nPLAYBACK=S\nDIAGNOSTICS=No\nFILTER=1\nZEB\nWINDOW=%d %d\n",
                      window.minimumWidth(), window.minimumHeight()));
}

}  // namespace
}  // namespace quoril
