#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "ui/qt/AboutDialog.h"
#include "ui/qt/QtTestEnvironment.h"
#include "ui/qt/SettingsWindow.h"

namespace quoril {
namespace {

using test::onNextModal;
using namespace SettingsControl;

class RecordingSettingsController : public SettingsController {
  public:
    std::vector<std::string> calls;
    std::function<void()> init = [] {};
    std::function<void()> ok = [] {};

    void onInitDialog() override { init(); }
    void onDriverSelectionChanged() override { calls.push_back("driver changed"); }
    void onAsioSettings() override { calls.push_back("asio settings"); }
    void onOK() override {
        calls.push_back("ok");
        ok();
    }
    void onCancel() override { calls.push_back("cancel"); }
};

class SettingsWindowTest : public test::QtWidgetTest {
  protected:
    // Runs script once the window is up, then ends it through the view.
    int runWith(const std::function<void()>& script) {
        onNextModal<SettingsWindow>([this, script](SettingsWindow*) {
            script();
            window.endDialog(kCancel);
        });
        return window.runModal(controller);
    }
    void click(int id) {
        QTest::mouseClick(qobject_cast<QAbstractButton*>(window.control(id)), Qt::LeftButton);
    }

    SettingsWindow window;
    RecordingSettingsController controller;
};

TEST_F(SettingsWindowTest, DriverControlsSitInTheAsioGroupAndTheRadiosInThePlayerGroup) {
    for (int id : {kDriverList, kPairList, kAsioSettings, kOK}) {
        EXPECT_EQ(window.asioGroup()->isAncestorOf(window.control(id)), id != kOK) << id;
    }
    for (int id : kSettingsRadioIds) {
        EXPECT_TRUE(window.playerGroup()->isAncestorOf(window.control(id))) << id;
    }
}

TEST_F(SettingsWindowTest, ClickingARadioChecksItAndClearsOnlyItsOwnGroupWhileTheProgramSetsSingleOnes) {
    runWith([&] {
        for (int id : kSettingsRadioIds) {
            window.setChecked(id, true);  // the program may check every button
        }
        for (int id : kSettingsRadioIds) {
            EXPECT_TRUE(window.isChecked(id)) << id;
        }
        click(kRate96000);
        click(kRate96000);  // a second click keeps it checked
        click(kExit);
        click(kConverterBest);
        click(kAweYes);
        for (int id : kSettingsRadioIds) {
            const bool clicked = id == kRate96000 || id == kExit || id == kConverterBest || id == kAweYes;
            const bool untouchedGroup =
                id == kDiagnosticsYes || id == kDiagnosticsNo || id == kZebYes || id == kZebNo;
            EXPECT_EQ(window.isChecked(id), clicked || untouchedGroup) << id;
        }
        window.setChecked(kExit, false);
        EXPECT_FALSE(window.isChecked(kExit));
    });
}

TEST_F(SettingsWindowTest, OnlyTheUsersDriverChoiceIsReportedAndAListClearsItsSelection) {
    controller.init = [&] {
        window.addComboItem(kDriverList, "A");
        window.addComboItem(kDriverList, "B");
        window.setComboSelection(kDriverList, 0);
        window.addComboItem(kPairList, "1 / 2");
        window.addComboItem(kPairList, "3 / 4");
    };
    runWith([&] {
        QTest::keyClick(window.control(kDriverList), Qt::Key_Down);
        EXPECT_EQ(window.comboSelection(kDriverList), 1);
        QTest::keyClick(window.control(kPairList), Qt::Key_Down);  // OK reads the pair list itself
        window.clearCombo(kDriverList);
        EXPECT_EQ(window.comboSelection(kDriverList), -1);
    });
    EXPECT_EQ(controller.calls, std::vector<std::string>{"driver changed"});
}

TEST_F(SettingsWindowTest, ButtonsAndKeysReachTheLogicAndTheWindowStaysUntilItEnds) {
    runWith([&] {
        window.setControlText(kAsioSettings, "Quoril Capture Settings");
        EXPECT_EQ(qobject_cast<QAbstractButton*>(window.control(kAsioSettings))->text(),
                  QStringLiteral("Quoril Capture Settings"));
        click(kAsioSettings);
        click(kOK);
        click(kCancel);
        QTest::keyClick(&window, Qt::Key_Escape);
        QTest::keyClick(&window, Qt::Key_Return);
        window.close();
        EXPECT_TRUE(window.isVisible());
        window.enableControl(kOK, false);  // a disabled OK takes neither clicks nor Enter
        click(kOK);
        QTest::keyClick(&window, Qt::Key_Return);
    });
    EXPECT_EQ(controller.calls,
              (std::vector<std::string>{"asio settings", "ok", "cancel", "cancel", "ok", "cancel"}));
}

TEST_F(SettingsWindowTest, OkThatEndsTheDialogReturnsOkAfterHidingTheWindow) {
    bool hiddenBeforeEnd = false;
    controller.ok = [&] {
        window.hide();
        hiddenBeforeEnd = !window.isVisible();
        window.endDialog(kOK);
    };
    onNextModal<SettingsWindow>([&](SettingsWindow*) { click(kOK); });
    EXPECT_EQ(window.runModal(controller), kOK);
    EXPECT_TRUE(hiddenBeforeEnd);
}

TEST_F(SettingsWindowTest, AMessageBoxFromOpeningComesBeforeTheWindowAndAboutNeedsNoLogic) {
    bool settingsVisible = true;
    controller.init = [&] {
        onNextModal<QMessageBox>([&](QMessageBox* box) {
            EXPECT_EQ(box->windowTitle(), QStringLiteral("Ravek Settings"));
            EXPECT_EQ(box->text(), QStringLiteral("No valid ASIO drivers found!\n\nPlayer"));
            settingsVisible = window.isVisible();
            box->button(QMessageBox::Ok)->click();
        });
        window.showMessageBox("No valid ASIO drivers found!\r\n\r\nPlayer", "Ravek Settings");
    };
    QString aboutText;
    runWith([&] {
        onNextModal<AboutDialog>([&](AboutDialog* about) {
            aboutText = about->text();
            about->okButton()->click();
        });
        click(kAbout);
    });
    EXPECT_FALSE(settingsVisible);
    EXPECT_TRUE(aboutText.startsWith(QStringLiteral("Quoril ")));
    EXPECT_TRUE(controller.calls.empty());
}

}  // namespace
}  // namespace quoril
