#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "ui/qt/QtTestEnvironment.h"
#include "ui/qt/SettingsWindow.h"

namespace quoril {
namespace {

using test::onNextModal;
using namespace SettingsControl;

class RecordingSettingsController : public SettingsController {
  public:
    std::vector<std::string> calls;
    void onInitDialog() override {}
    void onDriverSelectionChanged() override { calls.push_back("driver changed"); }
    void onAsioSettings() override { calls.push_back("asio settings"); }
    void onOK() override { calls.push_back("ok"); }
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

}  // namespace
}  // namespace quoril
