#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
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
namespace C = SettingsControl;

class RecordingSettingsController : public SettingsController {
  public:
    std::vector<std::string> calls;
    std::function<void()> init;
    std::function<void()> ok;

    void onInitDialog() override {
        calls.push_back("init");
        if (init) {
            init();
        }
    }
    void onDriverSelectionChanged() override { calls.push_back("driver changed"); }
    void onAsioSettings() override { calls.push_back("asio settings"); }
    void onOK() override {
        calls.push_back("ok");
        if (ok) {
            ok();
        }
    }
    void onCancel() override { calls.push_back("cancel"); }
};

class SettingsWindowTest : public test::QtWidgetTest {
  protected:
    // Runs script once the window is up, then cancels it through the view.
    int runWith(const std::function<void()>& script) {
        onNextModal<SettingsWindow>([this, script](SettingsWindow*) {
            script();
            window.endDialog(C::kCancel);
        });
        return window.runModal(controller);
    }
    QAbstractButton* button(int id) { return qobject_cast<QAbstractButton*>(window.control(id)); }
    QComboBox* combo(int id) { return qobject_cast<QComboBox*>(window.control(id)); }
    std::vector<std::string> actions() const {
        return std::vector<std::string>(controller.calls.begin() + 1, controller.calls.end());
    }

    SettingsWindow window;
    RecordingSettingsController controller;
};

struct Caption {
    int id;
    const char* text;
};

TEST_F(SettingsWindowTest, ControlsCarryTheirCaptions) {
    const Caption captions[] = {
        {C::kOK, "OK"},
        {C::kCancel, "Cancel"},
        {C::kAbout, "About"},
        {C::kRate44100, "44.1"},
        {C::kRate48000, "48.0"},
        {C::kRate88200, "88.2"},
        {C::kRate96000, "96.0"},
        {C::kRate176400, "176.4"},
        {C::kRate192000, "192.0"},
        {C::kDiagnosticsYes, "Yes"},
        {C::kDiagnosticsNo, "No"},
        {C::kAsioSettings, "ASIO Settings"},
        {C::kRepeat, "Repeat"},
        {C::kStop, "Stop"},
        {C::kRandom, "Random"},
        {C::kExit, "Exit"},
        {C::kConverterBest, "145.68db SNR Best Sinc"},
        {C::kConverterMedium, "121.33db SNR Best Sinc "},
        {C::kZebYes, "Yes"},
        {C::kZebNo, "No"},
        {C::kAweYes, "Yes"},
        {C::kAweNo, "No"},
    };
    for (const Caption& caption : captions) {
        ASSERT_NE(button(caption.id), nullptr) << caption.id;
        EXPECT_EQ(button(caption.id)->text().toStdString(), caption.text) << caption.id;
    }
    EXPECT_EQ(qobject_cast<QLabel*>(window.control(C::kPlaybackLabel))->text(), QStringLiteral("Playback"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Ravek Settings"));
    EXPECT_EQ(window.asioGroup()->title(), QStringLiteral(" ASIO selection "));
    EXPECT_EQ(window.playerGroup()->title(), QStringLiteral(" Player settings "));

    // The labels and notes of the player settings.
    QStringList labels;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        labels << label->text();
    }
    for (const char* text :
         {"Driver", "Left / Right", "Rate", "Diagnostics", "Playback", "Upsampler", "zEB", "AWE",
          "(disables file browsing)", "(adv. RAM allocation: lock privilege required)"}) {
        EXPECT_TRUE(labels.contains(QString::fromLatin1(text))) << text;
    }
}

TEST_F(SettingsWindowTest, DriverControlsSitInTheAsioGroupAndTheRestInThePlayerGroup) {
    for (int id : {C::kDriverList, C::kPairList, C::kAsioSettings}) {
        EXPECT_TRUE(window.asioGroup()->isAncestorOf(window.control(id))) << id;
    }
    for (int id : kSettingsRadioIds) {
        EXPECT_TRUE(window.playerGroup()->isAncestorOf(window.control(id))) << id;
    }
    for (int id : {C::kOK, C::kCancel, C::kAbout}) {
        EXPECT_FALSE(window.asioGroup()->isAncestorOf(window.control(id))) << id;
        EXPECT_FALSE(window.playerGroup()->isAncestorOf(window.control(id))) << id;
    }
}

TEST_F(SettingsWindowTest, TabOrderIsTheControlOrder) {
    const std::vector<int> expected = {
        C::kOK,         C::kCancel,         C::kAbout,         C::kDriverList,    C::kPairList,
        C::kRate44100,  C::kRate48000,      C::kRate88200,     C::kRate96000,     C::kRate176400,
        C::kRate192000, C::kDiagnosticsYes, C::kDiagnosticsNo, C::kAsioSettings,  C::kRepeat,
        C::kStop,       C::kRandom,         C::kExit,          C::kConverterBest, C::kConverterMedium,
        C::kZebYes,     C::kZebNo,          C::kAweYes,        C::kAweNo};
    std::vector<int> order;
    QWidget* widget = window.control(C::kOK);
    for (int guard = 0; guard < 200 && order.size() < expected.size(); ++guard) {
        const QVariant id = widget->property("controlId");
        if (id.isValid() && widget->focusPolicy() != Qt::NoFocus && id.toInt() != C::kPlaybackLabel) {
            order.push_back(id.toInt());
        }
        widget = widget->nextInFocusChain();
    }
    EXPECT_EQ(order, expected);
}

TEST_F(SettingsWindowTest, ClickingARadioChecksItAndClearsOnlyItsOwnGroup) {
    runWith([&] {
        window.setChecked(C::kRate44100, true);
        window.setChecked(C::kRepeat, true);
        window.setChecked(C::kDiagnosticsYes, true);
        QTest::mouseClick(button(C::kRate96000), Qt::LeftButton);
        EXPECT_TRUE(window.isChecked(C::kRate96000));
        EXPECT_FALSE(window.isChecked(C::kRate44100));
        EXPECT_TRUE(window.isChecked(C::kRepeat));
        EXPECT_TRUE(window.isChecked(C::kDiagnosticsYes));
        // A second click keeps it checked, as an automatic radio button does.
        QTest::mouseClick(button(C::kRate96000), Qt::LeftButton);
        EXPECT_TRUE(window.isChecked(C::kRate96000));
        QTest::mouseClick(button(C::kExit), Qt::LeftButton);
        EXPECT_TRUE(window.isChecked(C::kExit));
        EXPECT_FALSE(window.isChecked(C::kRepeat));
        EXPECT_TRUE(window.isChecked(C::kRate96000));
        QTest::mouseClick(button(C::kAweYes), Qt::LeftButton);
        QTest::mouseClick(button(C::kZebNo), Qt::LeftButton);
        EXPECT_TRUE(window.isChecked(C::kAweYes));
        EXPECT_TRUE(window.isChecked(C::kZebNo));
        QTest::mouseClick(button(C::kConverterMedium), Qt::LeftButton);
        QTest::mouseClick(button(C::kConverterBest), Qt::LeftButton);
        EXPECT_TRUE(window.isChecked(C::kConverterBest));
        EXPECT_FALSE(window.isChecked(C::kConverterMedium));
    });
}

TEST_F(SettingsWindowTest, TheProgramSetsOrClearsSingleRadiosSoAGroupCanHaveNoneChecked) {
    for (int id : kSettingsRadioIds) {
        window.setChecked(id, true);
    }
    for (int id : kSettingsRadioIds) {
        EXPECT_TRUE(window.isChecked(id)) << id;
    }
    for (int id : kSettingsRadioIds) {
        window.setChecked(id, false);
    }
    for (int id : kSettingsRadioIds) {
        EXPECT_FALSE(window.isChecked(id)) << id;
    }
    EXPECT_FALSE(window.isChecked(C::kOK));
}

TEST_F(SettingsWindowTest, DropDownListsKeepOrderAndStartWithNothingSelected) {
    window.addComboItem(C::kDriverList, "A Driver");
    window.addComboItem(C::kDriverList, "B Driver");
    window.addComboItem(C::kDriverList, "Quoril Capture");
    EXPECT_EQ(window.comboCount(C::kDriverList), 3);
    EXPECT_EQ(window.comboSelection(C::kDriverList), -1);
    EXPECT_EQ(window.comboItemText(C::kDriverList, 2), "Quoril Capture");
    EXPECT_EQ(window.comboItemText(C::kDriverList, 3), "");
    EXPECT_EQ(window.comboItemText(C::kDriverList, -1), "");
    window.setComboSelection(C::kDriverList, 1);
    EXPECT_EQ(window.comboSelection(C::kDriverList), 1);
    window.addComboItem(C::kDriverList, "C Driver");
    EXPECT_EQ(window.comboSelection(C::kDriverList), 1);
    window.setComboSelection(C::kDriverList, 9);
    EXPECT_EQ(window.comboSelection(C::kDriverList), -1);
    window.setComboSelection(C::kDriverList, 0);
    window.setComboSelection(C::kDriverList, -1);
    EXPECT_EQ(window.comboSelection(C::kDriverList), -1);

    window.addComboItem(C::kPairList, "Out 1 / Out 2");
    EXPECT_EQ(window.comboCount(C::kPairList), 1);
    EXPECT_EQ(window.comboCount(C::kDriverList), 4);
    window.clearCombo(C::kDriverList);
    EXPECT_EQ(window.comboCount(C::kDriverList), 0);
    EXPECT_EQ(window.comboSelection(C::kDriverList), -1);
    EXPECT_EQ(window.comboCount(C::kPairList), 1);
}

TEST_F(SettingsWindowTest, OnlyTheUsersDriverChoiceIsReportedAsAChange) {
    controller.init = [&] {
        window.addComboItem(C::kDriverList, "A");
        window.addComboItem(C::kDriverList, "B");
        window.setComboSelection(C::kDriverList, 0);
        window.addComboItem(C::kPairList, "1 / 2");
        window.setComboSelection(C::kPairList, 0);
    };
    runWith([&] {
        QTest::keyClick(combo(C::kDriverList), Qt::Key_Down);
        EXPECT_EQ(window.comboSelection(C::kDriverList), 1);
        window.setComboSelection(C::kDriverList, 0);
        window.clearCombo(C::kPairList);
        // The pair list's own changes are nobody's business but OK's.
        window.addComboItem(C::kPairList, "1 / 2");
        window.addComboItem(C::kPairList, "3 / 4");
        QTest::keyClick(combo(C::kPairList), Qt::Key_Down);
    });
    EXPECT_EQ(actions(), std::vector<std::string>{"driver changed"});
}

TEST_F(SettingsWindowTest, ButtonsAndKeysReachTheLogicAndTheWindowStaysUntilItEnds) {
    runWith([&] {
        window.setControlText(C::kAsioSettings, "Quoril Capture Settings");
        EXPECT_EQ(button(C::kAsioSettings)->text(), QStringLiteral("Quoril Capture Settings"));
        QTest::mouseClick(button(C::kAsioSettings), Qt::LeftButton);
        QTest::mouseClick(button(C::kOK), Qt::LeftButton);
        QTest::mouseClick(button(C::kCancel), Qt::LeftButton);
        QTest::keyClick(&window, Qt::Key_Escape);
        QTest::keyClick(&window, Qt::Key_Return);
        window.close();
        EXPECT_TRUE(window.isVisible());
        // A disabled OK takes neither clicks nor Enter.
        window.enableControl(C::kOK, false);
        QTest::mouseClick(button(C::kOK), Qt::LeftButton);
        QTest::keyClick(&window, Qt::Key_Return);
    });
    const std::vector<std::string> expected = {"asio settings", "ok", "cancel", "cancel", "ok", "cancel"};
    EXPECT_EQ(actions(), expected);
}

TEST_F(SettingsWindowTest, OkThatEndsTheDialogReturnsOkAfterHidingTheWindow) {
    bool hiddenBeforeEnd = false;
    controller.ok = [&] {
        window.hide();
        hiddenBeforeEnd = !window.isVisible();
        window.endDialog(C::kOK);
    };
    onNextModal<SettingsWindow>([&](SettingsWindow*) { QTest::mouseClick(button(C::kOK), Qt::LeftButton); });
    EXPECT_EQ(window.runModal(controller), C::kOK);
    EXPECT_TRUE(hiddenBeforeEnd);
    EXPECT_EQ(controller.calls, (std::vector<std::string>{"init", "ok"}));
}

TEST_F(SettingsWindowTest, TheDialogCanEndBeforeItIsShown) {
    controller.init = [&] { window.endDialog(C::kCancel); };
    EXPECT_EQ(window.runModal(controller), C::kCancel);
    EXPECT_FALSE(window.isVisible());
}

TEST_F(SettingsWindowTest, MessageBoxFromOpeningComesBeforeTheWindowWithItsCaption) {
    QString caption, text;
    bool settingsVisible = true;
    controller.init = [&] {
        onNextModal<QMessageBox>([&](QMessageBox* box) {
            caption = box->windowTitle();
            text = box->text();
            settingsVisible = window.isVisible();
            box->button(QMessageBox::Ok)->click();
        });
        window.showMessageBox("No valid ASIO drivers found!\r\n\r\nPlayer requirers", "Ravek Settings");
    };
    runWith([] {});
    EXPECT_EQ(caption, QStringLiteral("Ravek Settings"));
    EXPECT_EQ(text, QStringLiteral("No valid ASIO drivers found!\n\nPlayer requirers"));
    EXPECT_FALSE(settingsVisible);
}

TEST_F(SettingsWindowTest, AboutOpensTheAboutWindowWithoutTheLogic) {
    QString aboutText;
    runWith([&] {
        onNextModal<AboutDialog>([&](AboutDialog* about) {
            aboutText = about->text();
            about->okButton()->click();
        });
        QTest::mouseClick(button(C::kAbout), Qt::LeftButton);
    });
    EXPECT_TRUE(aboutText.startsWith(QStringLiteral("Quoril ")));
    EXPECT_TRUE(actions().empty());
}

}  // namespace
}  // namespace quoril
