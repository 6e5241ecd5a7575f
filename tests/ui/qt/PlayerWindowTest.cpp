#include <gtest/gtest.h>

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <climits>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "ui/qt/DiagnosticsDialog.h"
#include "ui/qt/PlayerWindow.h"
#include "ui/qt/QtTestEnvironment.h"

namespace quoril {
namespace {

using test::onNextModal;

// Records what the window hands to the window logic, as one line per call.
class RecordingController : public PlayerController {
  public:
    explicit RecordingController(PlayerWindow& window) : m_window(window) {}

    std::vector<std::string> calls;
    // What onTrackListKey answers for Home and End (the player's logic answers true).
    bool blockHomeAndEnd = true;
    // Runs inside the modal run, in place of the logic's start-up.
    std::function<void()> script;

    void onInitDialog() override {
        calls.push_back("init");
        if (script) {
            script();
        }
    }
    void onTimer(int timerId) override { calls.push_back("timer " + std::to_string(timerId)); }
    void onCommand(int controlId) override { calls.push_back("command " + std::to_string(controlId)); }
    bool onTrackListKey(ListKey key, bool shift) override {
        static const char* const names[] = {"Home", "End", "[", "]", ";", ".", "other"};
        calls.push_back(std::string("key ") + names[static_cast<int>(key)] + (shift ? " shift" : ""));
        return blockHomeAndEnd && (key == ListKey::Home || key == ListKey::End);
    }
    void onTrackListDoubleClick() override {
        calls.push_back("double-click row " + std::to_string(m_window.selectedTrackRow()));
    }
    void onOK() override { calls.push_back("ok"); }
    void onCancel() override { calls.push_back("cancel"); }
    void onSysCommand(int commandId) override { calls.push_back("sys " + std::to_string(commandId)); }

  private:
    PlayerWindow& m_window;
};

class PlayerWindowTest : public test::QtWidgetTest {
  protected:
    // Runs script inside the window's modal run, then closes the window; returns runModal's result.
    int runWith(const std::function<void()>& script) {
        controller.script = [this, script] {
            script();
            window.closeWindow(1);
        };
        return window.runModal(controller);
    }

    QListWidget* trackList() { return qobject_cast<QListWidget*>(window.control(PlayerControl::kTrackList)); }
    QPushButton* button(int id) { return qobject_cast<QPushButton*>(window.control(id)); }
    void fillRows(int count) {
        for (int i = 0; i < count; ++i) {
            window.addTrackRow("0" + std::to_string(i + 1) + " 03:05 Track");
        }
    }
    // The calls recorded after "init".
    std::vector<std::string> actions() const {
        std::vector<std::string> after(controller.calls.begin(), controller.calls.end());
        if (!after.empty() && after.front() == "init") {
            after.erase(after.begin());
        }
        return after;
    }

    PlayerWindow window;
    RecordingController controller{window};
};

// The bottom row, left to right, as the window lays it out.
const int kBottomRow[] = {PlayerControl::kSettings,   PlayerControl::kTrackTime, PlayerControl::kFileOpen,
                          PlayerControl::kStop,       PlayerControl::kPrevious,  PlayerControl::kBack,
                          PlayerControl::kPlay,       PlayerControl::kForward,   PlayerControl::kNext,
                          PlayerControl::kVolumeDown, PlayerControl::kVolumeUp,  PlayerControl::kVolume,
                          PlayerControl::kClose};

TEST_F(PlayerWindowTest, BottomRowSitsUnderTheListInItsOrderWithoutGapsOrOverlaps) {
    QWidget* list = window.control(PlayerControl::kTrackList);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->geometry().topLeft(), QPoint(0, 0));
    int expectedLeft = 0;
    for (int id : kBottomRow) {
        QWidget* widget = window.control(id);
        ASSERT_NE(widget, nullptr) << id;
        EXPECT_EQ(widget->y(), list->geometry().bottom() + 1) << id;
        EXPECT_EQ(widget->x(), expectedLeft) << id;
        expectedLeft = widget->geometry().right() + 1;
    }
    EXPECT_EQ(expectedLeft, list->width());
    EXPECT_EQ(window.width(), list->width());
    // The fields are taller than the buttons and reach the bottom of the window.
    EXPECT_EQ(window.control(PlayerControl::kVolume)->geometry().bottom() + 1, window.height());
    EXPECT_GT(window.control(PlayerControl::kTrackTime)->height(),
              window.control(PlayerControl::kPlay)->height());
}

TEST_F(PlayerWindowTest, TabOrderFollowsTheListThenTheBottomRow) {
    std::vector<int> focusable;
    QWidget* widget = window.control(PlayerControl::kTrackList);
    for (int i = 0; i < 20; ++i) {
        const int id = [&] {
            for (int candidate : kBottomRow) {
                if (window.control(candidate) == widget) {
                    return candidate;
                }
            }
            return widget == window.control(PlayerControl::kTrackList) ? int(PlayerControl::kTrackList) : 0;
        }();
        if (id != 0 && (focusable.empty() || id != focusable.front())) {
            focusable.push_back(id);
        } else if (id != 0) {
            break;
        }
        widget = widget->nextInFocusChain();
    }
    std::vector<int> expected = {PlayerControl::kTrackList};
    expected.insert(expected.end(), std::begin(kBottomRow), std::end(kBottomRow));
    EXPECT_EQ(focusable, expected);
}

TEST_F(PlayerWindowTest, ButtonsShowTheirPicturesAndOnlyCloseShowsText) {
    const std::pair<int, int> pictures[] = {
        {PlayerControl::kSettings, Picture::kApplication},
        {PlayerControl::kFileOpen, Picture::kFolder},
        {PlayerControl::kStop, Picture::kStop},
        {PlayerControl::kPrevious, Picture::kPrevious},
        {PlayerControl::kBack, Picture::kBack},
        {PlayerControl::kPlay, Picture::kPlay},
        {PlayerControl::kForward, Picture::kForward},
        {PlayerControl::kNext, Picture::kNext},
        {PlayerControl::kVolumeDown, Picture::kVolumeDown},
        {PlayerControl::kVolumeUp, Picture::kVolumeUp},
    };
    for (const auto& [id, picture] : pictures) {
        EXPECT_EQ(window.buttonPicture(id), picture) << id;
        EXPECT_FALSE(button(id)->icon().isNull()) << id;
        EXPECT_TRUE(button(id)->text().isEmpty()) << id;
    }
    EXPECT_EQ(button(PlayerControl::kClose)->text(), QStringLiteral("X"));
    EXPECT_TRUE(button(PlayerControl::kClose)->icon().isNull());
    EXPECT_EQ(button(PlayerControl::kStop)->toolTip(), QStringLiteral("#"));
    EXPECT_EQ(button(PlayerControl::kNext)->toolTip(), QStringLiteral(">l"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Ravek"));
    EXPECT_FALSE(window.windowIcon().isNull());

    window.setButtonPicture(PlayerControl::kPlay, Picture::kPause);
    EXPECT_EQ(window.buttonPicture(PlayerControl::kPlay), Picture::kPause);
    window.setButtonPicture(PlayerControl::kPlay, Picture::kPlay);
    EXPECT_EQ(window.buttonPicture(PlayerControl::kPlay), Picture::kPlay);
}

TEST_F(PlayerWindowTest, ClickingEachButtonHandsItsIdToTheLogicAndCloseAsksToCancel) {
    const int clickable[] = {PlayerControl::kSettings, PlayerControl::kFileOpen, PlayerControl::kStop,
                             PlayerControl::kPrevious, PlayerControl::kBack,     PlayerControl::kPlay,
                             PlayerControl::kForward,  PlayerControl::kNext,     PlayerControl::kVolumeDown,
                             PlayerControl::kVolumeUp, PlayerControl::kClose};
    EXPECT_EQ(runWith([&] {
                  for (int id : clickable) {
                      QTest::mouseClick(button(id), Qt::LeftButton);
                  }
                  // The window does not close on its own: the logic decides.
                  EXPECT_TRUE(window.isVisible());
              }),
              1);
    std::vector<std::string> expected;
    for (int id : clickable) {
        expected.push_back(id == PlayerControl::kClose ? "cancel" : "command " + std::to_string(id));
    }
    EXPECT_EQ(actions(), expected);
}

TEST_F(PlayerWindowTest, DisabledButtonsDeliverNothing) {
    runWith([&] {
        window.enableControl(PlayerControl::kPlay, false);
        window.enableControl(PlayerControl::kTrackList, false);
        EXPECT_FALSE(button(PlayerControl::kPlay)->isEnabled());
        EXPECT_FALSE(trackList()->isEnabled());
        QTest::mouseClick(button(PlayerControl::kPlay), Qt::LeftButton);
        window.enableControl(PlayerControl::kPlay, true);
        QTest::mouseClick(button(PlayerControl::kPlay), Qt::LeftButton);
    });
    EXPECT_EQ(actions(), std::vector<std::string>{"command 1005"});
}

TEST_F(PlayerWindowTest, TrackListKeysReachTheLogicAndHomeAndEndNeverMoveTheSelection) {
    fillRows(5);
    runWith([&] {
        window.selectTrackRow(2);
        QListWidget* list = trackList();
        QTest::keyClick(list, Qt::Key_Home, Qt::ShiftModifier);
        QTest::keyClick(list, Qt::Key_End, Qt::ShiftModifier);
        QTest::keyClick(list, Qt::Key_Home);
        QTest::keyClick(list, Qt::Key_End);
        EXPECT_EQ(window.selectedTrackRow(), 2);
        QTest::keyClick(list, '[');
        QTest::keyClick(list, ']');
        QTest::keyClick(list, ';');
        QTest::keyClick(list, '.');
        // Arrows keep their usual meaning.
        QTest::keyClick(list, Qt::Key_Down);
        EXPECT_EQ(window.selectedTrackRow(), 3);
        QTest::keyClick(list, Qt::Key_Return);
        QTest::keyClick(list, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(list, Qt::Key_Escape);
    });
    const std::vector<std::string> expected = {
        "key Home shift", "key End shift", "key Home",  "key End", "key [", "key ]",
        "key ;",          "key .",         "key other", "ok",      "ok",    "cancel"};
    EXPECT_EQ(actions(), expected);
}

TEST_F(PlayerWindowTest, TheListTakesItsDefaultActionWhenTheLogicAllowsIt) {
    fillRows(5);
    controller.blockHomeAndEnd = false;
    runWith([&] {
        window.selectTrackRow(2);
        QTest::keyClick(trackList(), Qt::Key_End);
        EXPECT_EQ(window.selectedTrackRow(), 4);
        QTest::keyClick(trackList(), Qt::Key_Home);
        EXPECT_EQ(window.selectedTrackRow(), 0);
    });
}

TEST_F(PlayerWindowTest, ShiftedBracketSemicolonAndPeriodKeysCountAsThoseKeysWithShift) {
    fillRows(2);
    runWith([&] {
        QTest::keyClick(trackList(), Qt::Key_BraceLeft, Qt::ShiftModifier);
        QTest::keyClick(trackList(), Qt::Key_BraceRight, Qt::ShiftModifier);
        QTest::keyClick(trackList(), Qt::Key_Colon, Qt::ShiftModifier);
        QTest::keyClick(trackList(), Qt::Key_Greater, Qt::ShiftModifier);
        // The keypad's decimal key is not the period key.
        QTest::keyClick(trackList(), Qt::Key_Period, Qt::KeypadModifier);
    });
    const std::vector<std::string> expected = {"key [ shift", "key ] shift", "key ; shift", "key . shift",
                                               "key other"};
    EXPECT_EQ(actions(), expected);
}

TEST_F(PlayerWindowTest, DoubleClickOnARowSelectsItAndAsksToPlayIt) {
    fillRows(4);
    runWith([&] {
        QListWidget* list = trackList();
        const QRect row = list->visualItemRect(list->item(1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());
    });
    const std::vector<std::string> calls = actions();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), "double-click row 1");
}

TEST_F(PlayerWindowTest, EnterAndEscapeInTheWindowGoToOkAndCancel) {
    runWith([&] {
        QTest::keyClick(&window, Qt::Key_Return);
        QTest::keyClick(&window, Qt::Key_Escape);
    });
    EXPECT_EQ(actions(), (std::vector<std::string>{"ok", "cancel"}));
}

TEST_F(PlayerWindowTest, TheCloseBoxAsksTheLogicAndTheWindowStaysUntilItSaysSo) {
    const int result = runWith([&] {
        window.close();
        EXPECT_TRUE(window.isVisible());
    });
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(actions(), std::vector<std::string>{"cancel"});
}

TEST_F(PlayerWindowTest, CloseWindowFromTheStartUpEndsTheModalRunWithItsResult) {
    controller.script = [&] { window.closeWindow(2); };
    EXPECT_EQ(window.runModal(controller), 2);
    EXPECT_EQ(controller.calls, std::vector<std::string>{"init"});
}

TEST_F(PlayerWindowTest, TheWindowTimerTicksWithItsIdUntilKilled) {
    runWith([&] {
        window.startTimer(kPlayerTimerId, 10);
        const bool ticked = QTest::qWaitFor([&] { return controller.calls.size() >= 4; }, 5000);
        window.killTimer(kPlayerTimerId);
        EXPECT_TRUE(ticked);
    });
    for (const std::string& call : actions()) {
        EXPECT_EQ(call, "timer 1");
    }
}

TEST_F(PlayerWindowTest, ContextMenuCarriesTheAboutEntryWithItsCommandId) {
    QMenu* menu = window.windowMenu();
    const QList<QAction*> entries = menu->actions();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_TRUE(entries[0]->isSeparator());
    EXPECT_EQ(entries[1]->text(), QStringLiteral("&About Quoril..."));
    EXPECT_EQ(entries[1]->data().toInt(), kAboutCommandId);

    runWith([&] {
        // A right click anywhere in the window opens the menu; choosing the entry sends its id.
        QTimer::singleShot(0, [] {
            const bool shown =
                QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 5000);
            ASSERT_TRUE(shown);
            auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(popup, nullptr);
            popup->actions().back()->trigger();
            popup->close();
        });
        QWidget* field = window.control(PlayerControl::kTrackTime);
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), field->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(&window, &click);
    });
    EXPECT_EQ(actions(), std::vector<std::string>{"sys 16"});
}

TEST_F(PlayerWindowTest, FieldsListAndProgressShowWhatTheLogicSets) {
    window.showFields("02^01:17", "-30.0");
    EXPECT_EQ(qobject_cast<QLineEdit*>(window.control(PlayerControl::kTrackTime))->text(),
              QStringLiteral("02^01:17"));
    EXPECT_EQ(qobject_cast<QLineEdit*>(window.control(PlayerControl::kVolume))->text(),
              QStringLiteral("-30.0"));
    EXPECT_TRUE(qobject_cast<QLineEdit*>(window.control(PlayerControl::kVolume))->isReadOnly());

    const std::string line = "01 03:05 A title padded to forty-eight chars   ";
    window.addTrackRow(line);
    window.addTrackRow("02 00:10 B");
    EXPECT_EQ(trackList()->count(), 2);
    EXPECT_EQ(trackList()->item(0)->text().toStdString(), line);
    EXPECT_EQ(window.selectedTrackRow(), -1);
    window.selectTrackRow(1);
    EXPECT_EQ(window.selectedTrackRow(), 1);
    window.selectTrackRow(-1);
    EXPECT_EQ(window.selectedTrackRow(), -1);
    window.clearTrackList();
    EXPECT_EQ(trackList()->count(), 0);

    auto* progress = qobject_cast<QProgressBar*>(window.control(PlayerControl::kProgress));
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isHidden());
    EXPECT_EQ(progress->size(), QSize(500, 60));
    EXPECT_EQ(progress->pos(), QPoint(window.width() / 2 - 250, window.height() / 2 - 30));
    window.setProgressRange(1000);
    window.setProgressPosition(250);
    window.setProgressVisible(true);
    EXPECT_FALSE(progress->isHidden());
    EXPECT_EQ(progress->maximum(), 1000);
    EXPECT_EQ(progress->value(), 250);
    // A range beyond what the bar counts in is scaled, keeping the proportion.
    const int64_t huge = int64_t(INT_MAX) * 3;
    window.setProgressRange(huge);
    window.setProgressPosition(huge / 2);
    EXPECT_NEAR(double(progress->value()) / progress->maximum(), 0.5, 0.001);
    window.setProgressPosition(huge);
    EXPECT_EQ(progress->value(), progress->maximum());
    window.setProgressVisible(false);
    EXPECT_TRUE(progress->isHidden());

    window.setTitle("Performer - Album");
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Performer - Album"));
}

TEST_F(PlayerWindowTest, FocusMovesToTheListOrTheProgressBarOnRequest) {
    runWith([&] {
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        window.setProgressVisible(true);
        window.focusProgress();
        EXPECT_TRUE(window.control(PlayerControl::kProgress)->hasFocus());
        window.focusTrackList();
        EXPECT_TRUE(trackList()->hasFocus());
    });
}

TEST_F(PlayerWindowTest, MessageBoxShowsCaptionAndLinesAndReturnsOnOk) {
    QString caption, text;
    runWith([&] {
        onNextModal<QMessageBox>([&](QMessageBox* box) {
            caption = box->windowTitle();
            text = box->text();
            EXPECT_EQ(box->buttons().size(), 1);
            box->button(QMessageBox::Ok)->click();
        });
        window.showMessageBox("DSP could NOT be started.\r\n\r\nSecond line", "Ravek");
    });
    EXPECT_EQ(caption, QStringLiteral("Ravek"));
    EXPECT_EQ(text, QStringLiteral("DSP could NOT be started.\n\nSecond line"));
}

TEST_F(PlayerWindowTest, ErrorBoxHasNoOwnerAndTheCaptionError) {
    QString caption, text;
    QWidget* owner = &window;
    onNextModal<QMessageBox>([&](QMessageBox* box) {
        caption = box->windowTitle();
        text = box->text();
        owner = box->parentWidget();
        box->button(QMessageBox::Ok)->click();
    });
    window.showErrorBox(
        "Ravek is already running!\r\n\r\nOnly one instance allowed.\r\n\r\n failed with error 0: Success");
    EXPECT_EQ(caption, QStringLiteral("Error"));
    EXPECT_EQ(owner, nullptr);
    EXPECT_EQ(
        text,
        QStringLiteral(
            "Ravek is already running!\n\nOnly one instance allowed.\n\n failed with error 0: Success"));
}

TEST_F(PlayerWindowTest, DiagnosticsWindowShowsTheTextReadOnly) {
    QString caption, shown;
    bool readOnly = false;
    runWith([&] {
        onNextModal<DiagnosticsDialog>([&](DiagnosticsDialog* dialog) {
            caption = dialog->windowTitle();
            shown = dialog->textField()->toPlainText();
            readOnly = dialog->textField()->isReadOnly();
            dialog->okButton()->click();
        });
        window.showDiagnostics("Processing .ini file...\r\n\r\n\tVolume (-30.0db, phase   0)\r\n");
    });
    EXPECT_EQ(caption, QStringLiteral("Ravek Diagnostics"));
    EXPECT_EQ(shown, QStringLiteral("Processing .ini file...\n\n\tVolume (-30.0db, phase   0)\n"));
    EXPECT_TRUE(readOnly);
}

class FileOpenTest : public PlayerWindowTest {
  protected:
    void SetUp() override {
        for (const char* name : {"disc.cue", "one.wav", "two.flac"}) {
            std::ofstream(dir.file(name)) << "x";
        }
    }
    test::TempDir dir;
};

TEST_F(FileOpenTest, OpensOnTheRememberedFilterAndReportsTheFilterTheUserEndedWith) {
    QStringList filters;
    QString startFilter;
    int filterIndex = 2;
    std::string path = "unchanged";
    bool chosen = false;
    runWith([&] {
        onNextModal<QFileDialog>([&](QFileDialog* dialog) {
            filters = dialog->nameFilters();
            startFilter = dialog->selectedNameFilter();
            dialog->setDirectory(QString::fromStdString(dir.path()));
            dialog->selectNameFilter(QStringLiteral("FLAC Files (*.flac)"));
            dialog->selectFile(QString::fromStdString(dir.file("two.flac")));
            static_cast<QDialog*>(dialog)->accept();
        });
        chosen = window.chooseFile(filterIndex, path);
    });
    EXPECT_EQ(filters, (QStringList{"Cue Files (*.cue)", "Wav Files (*.wav)", "FLAC Files (*.flac)"}));
    EXPECT_EQ(startFilter, QStringLiteral("Wav Files (*.wav)"));
    EXPECT_TRUE(chosen);
    EXPECT_EQ(path, dir.file("two.flac"));
    EXPECT_EQ(filterIndex, 3);
}

TEST_F(FileOpenTest, CancellingChangesNothing) {
    int filterIndex = 1;
    std::string path = "unchanged";
    bool chosen = true;
    QString startFilter;
    runWith([&] {
        onNextModal<QFileDialog>([&](QFileDialog* dialog) {
            startFilter = dialog->selectedNameFilter();
            dialog->selectNameFilter(QStringLiteral("Wav Files (*.wav)"));
            dialog->reject();
        });
        chosen = window.chooseFile(filterIndex, path);
    });
    EXPECT_EQ(startFilter, QStringLiteral("Cue Files (*.cue)"));
    EXPECT_FALSE(chosen);
    EXPECT_EQ(filterIndex, 1);
    EXPECT_EQ(path, "unchanged");
}

TEST_F(FileOpenTest, AnIndexOutsideTheFiltersOpensOnTheFirst) {
    for (int index : {0, 4, -1}) {
        int filterIndex = index;
        std::string path;
        QString startFilter;
        onNextModal<QFileDialog>([&](QFileDialog* dialog) {
            startFilter = dialog->selectedNameFilter();
            dialog->reject();
        });
        window.chooseFile(filterIndex, path);
        EXPECT_EQ(startFilter, QStringLiteral("Cue Files (*.cue)")) << index;
        EXPECT_EQ(filterIndex, index);
    }
}

}  // namespace
}  // namespace quoril
