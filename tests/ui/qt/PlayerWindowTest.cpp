#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "support/TempDir.h"
#include "ui/qt/AboutDialog.h"
#include "ui/qt/DiagnosticsDialog.h"
#include "ui/qt/LibraryVersions.h"
#include "ui/qt/PlayerWindow.h"
#include "ui/qt/QtTestEnvironment.h"

namespace quoril {
namespace {

using namespace PlayerControl;

// Records what the window hands to the window logic, one line per call.
class RecordingController : public PlayerController {
  public:
    std::vector<std::string> calls;
    std::function<void()> script;  // runs inside the modal run, in place of the logic's start-up

    void onInitDialog() override { script(); }
    void onTimer(int) override {}
    void onCommand(int controlId) override { calls.push_back(std::to_string(controlId)); }
    bool onTrackListKey(ListKey key, bool shift) override {
        calls.push_back(std::string("key ") + "HE[];.o"[static_cast<int>(key)] + (shift ? " shift" : ""));
        return key == ListKey::Home || key == ListKey::End;  // as the player's logic answers
    }
    void onTrackListDoubleClick() override {}
    void onOK() override { calls.push_back("ok"); }
    void onCancel() override { calls.push_back("cancel"); }
    void onSysCommand(int) override {}
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
    QListWidget* list() { return qobject_cast<QListWidget*>(window.control(kTrackList)); }

    PlayerWindow window;
    RecordingController controller;
};

TEST_F(PlayerWindowTest, AtEverySizeTheListFillsTheTopAndTheBottomRowStaysWholeAlongTheBottom) {
    Settings record;
    setSettingsInstance(&record);
    const QSize minimum = window.minimumSize();
    const int rowHeight = window.height() - list()->height(),
              fieldWidth = window.control(kTrackTime)->width();
    // Asked for by the user or restored from the settings file (0 0: none saved; sizes are remembered
    // from the restore on); never smaller than the first size.
    const struct {
        int width, height;
        bool restored;
    } sizes[] = {{0, 0, true}, {900, 700, false}, {100, 2000, false}, {1200, 50, true}, {1, 1, true}};
    runWith([&] {
        for (const auto& size : sizes) {
            size.restored ? window.restoreWindowSize(size.width, size.height)
                          : window.resize(size.width, size.height);
            const QSize expected = QSize(size.width, size.height).expandedTo(minimum);
            ASSERT_TRUE(QTest::qWaitFor([&] { return window.size() == expected; })) << size.width;
            EXPECT_EQ(QSize(record.windowWidth, record.windowHeight), expected);
            EXPECT_EQ(list()->geometry(), QRect(0, 0, expected.width(), expected.height() - rowHeight));
            int left = 0;  // the row in order, whole and not overlapping
            for (int id : {kSettings, kTrackTime, kFileOpen, kStop, kPrevious, kBack, kPlay, kForward, kNext,
                           kVolumeDown, kVolumeUp, kVolume, kClose}) {
                const QRect place = window.control(id)->geometry();
                EXPECT_TRUE(window.rect().contains(place) && window.control(id)->isVisible()) << id;
                EXPECT_TRUE(place.top() == list()->geometry().bottom() + 1 && place.left() >= left) << id;
                left = place.right() + 1;
            }
            EXPECT_EQ(left, expected.width());  // "X" in the right corner
            EXPECT_EQ(window.control(kTrackTime)->width(), fieldWidth);
            EXPECT_EQ(window.control(kProgress)->geometry(),
                      QRect(expected.width() / 2 - 250, expected.height() / 2 - 30, 500, 60));
        }
        // The widest texts show whole: one wider than its field would scroll with the cursor, so
        // the distance from its first to its last cursor position would be shorter than the text.
        for (auto [id, text] :
             {std::pair(kTrackTime, "88^88:88"), {kTrackTime, "Phs 180"}, {kVolume, "-100.0"}}) {
            auto* field = qobject_cast<QLineEdit*>(window.control(id));
            field->setText(QString::fromLatin1(text));
            field->setCursorPosition(0);
            const int first = field->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
            field->end(false);
            const int last = field->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x();
            EXPECT_EQ(last - first, QFontMetrics(field->font()).horizontalAdvance(field->text())) << text;
            EXPECT_TRUE(first > 0 && last < field->width()) << text;
        }
    });
    setSettingsInstance(nullptr);
}

TEST_F(PlayerWindowTest, ButtonsKeysAndTheCloseBoxReachTheLogicAndOnlyTheLogicClosesTheWindow) {
    const struct {
        int key, modifiers;  // key is a button id when modifiers is -1
        const char* call;    // what the logic receives
    } cases[] = {            // clang-format off
        {kFileOpen, -1, "1014"}, {kClose, -1, "cancel"}, {Qt::Key_Home, Qt::ShiftModifier, "key H shift"},
        {Qt::Key_End, Qt::ShiftModifier, "key E shift"}, {Qt::Key_Home, 0, "key H"}, {']', 0, "key ]"},
        {Qt::Key_BraceLeft, Qt::ShiftModifier, "key [ shift"},  // the shifted keys count as theirs
        {Qt::Key_Colon, Qt::ShiftModifier, "key ; shift"}, {Qt::Key_Greater, Qt::ShiftModifier, "key . shift"},
        {Qt::Key_Period, Qt::KeypadModifier, "key o"},  // the keypad's decimal key is no period
        {Qt::Key_Down, 0, "key o"}, {Qt::Key_Enter, Qt::KeypadModifier, "ok"}, {Qt::Key_Escape, 0, "cancel"}};
    // clang-format on
    list()->addItems({"01", "02", "03", "04", "05"});
    EXPECT_EQ(runWith([&] {
                  window.selectTrackRow(2);
                  for (const auto& c : cases) {
                      controller.calls.clear();
                      if (c.modifiers < 0) {
                          QTest::mouseClick(window.control(c.key), Qt::LeftButton);
                      } else {
                          QTest::keyClick(list(), Qt::Key(c.key), Qt::KeyboardModifiers(c.modifiers));
                      }
                      EXPECT_EQ(controller.calls, std::vector<std::string>{c.call}) << c.call;
                  }
                  EXPECT_EQ(window.selectedTrackRow(), 3);  // only the arrow moved it
                  window.enableControl(kPlay, false);       // a disabled button delivers nothing
                  QTest::mouseClick(window.control(kPlay), Qt::LeftButton);
                  window.close();  // the close box asks the logic, which keeps the window
                  EXPECT_TRUE(window.isVisible());
                  EXPECT_EQ(controller.calls, (std::vector<std::string>{"cancel", "cancel"}));
              }),
              1);
    EXPECT_FALSE(window.isVisible());
}

using DialogsTest = test::QtWidgetTest;

TEST_F(DialogsTest, TheDiagnosticsWindowOpensAtTheEndOfItsTextClosesWithOkEnterOrEscapeAndKeepsAnyBytes) {
    for (int key : {0, int(Qt::Key_Return), int(Qt::Key_Escape)}) {  // 0: the OK button
        DiagnosticsDialog dialog;
        dialog.m_source = "bad \xff\xfe name\r\n\tdetail\r\n" + std::string(4000, '\n');
        QString shown;
        int scroll = -1, end = -2;
        test::onNextModal<DiagnosticsDialog>([&](DiagnosticsDialog* d) {
            shown = d->textField()->toPlainText();
            scroll = d->textField()->verticalScrollBar()->value();
            end = d->textField()->verticalScrollBar()->maximum();
            key ? QTest::keyClick(d->textField(), Qt::Key(key))
                : QTest::mouseClick(d->okButton(), Qt::LeftButton);
        });
        dialog.exec();
        EXPECT_FALSE(dialog.isVisible()) << key;
        EXPECT_TRUE(shown.startsWith(QStringLiteral("bad ")) &&
                    shown.contains(QStringLiteral(" name\n\tdetail\n")))
            << shown.toStdString();
        EXPECT_TRUE(scroll == end && end > 0) << key;
    }
}

// The About window names the libraries in use; a broken private resampler gives way to the system's.
TEST_F(DialogsTest, TheAboutWindowNamesTheLibrariesAndABrokenPrivateResamplerGivesWay) {
    const std::string version = samplerateVersion("");
    EXPECT_EQ(version.rfind("libsamplerate-", 0), 0u) << version;
    EXPECT_EQ(version.find('('), std::string::npos) << version;
    const QStringList lines = AboutDialog("").text().split(QLatin1Char('\n'));
    EXPECT_TRUE(lines.contains(QString::fromStdString(version)));
    EXPECT_TRUE(lines.contains(QStringLiteral("Qt ") + QString::fromLatin1(qVersion())));
    test::TempDir install;
    install.write("libsamplerate.so.0", "this is not a shared library");
    EXPECT_EQ(samplerateVersion(install.path()), version);
}

}  // namespace
}  // namespace quoril
