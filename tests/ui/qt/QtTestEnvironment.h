#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>
#include <functional>

#include "ui/qt/NumericLocale.h"

namespace quoril::test {

// Base of the fixtures with widgets: one QApplication for the program, made before any widget, on
// the offscreen platform unless the caller chose one (a screenshot under Xvfb uses xcb).
class QtWidgetTest : public ::testing::Test {
  protected:
    QtWidgetTest() {
        static int argc = 1;
        static char* argv[] = {const_cast<char*>("quoril-qt-test"), nullptr};
        if (!QApplication::instance()) {
            if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
                qputenv("QT_QPA_PLATFORM", "offscreen");
            }
            new QApplication(argc, argv);
            restoreCNumericLocale();
        }
    }
};

// Calls action with the next modal window of type W once it is up, from inside its own event
// loop (the code that opened it is blocked in exec(), as for a user). After deadlineMs without
// it, fails the test and closes whatever modal window blocks, so a test never hangs.
template <typename W>
void onNextModal(std::function<void(W*)> action, int deadlineMs = 5000) {
    QTimer::singleShot(0, [action, deadlineMs] {
        auto up = [] {
            W* window = qobject_cast<W*>(QApplication::activeModalWidget());
            return window && window->isVisible() ? window : nullptr;
        };
        if (QTest::qWaitFor([&] { return up() != nullptr; }, deadlineMs)) {
            return action(up());
        }
        ADD_FAILURE() << "the expected modal window did not appear";
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->done(0);
        }
    });
}

}  // namespace quoril::test
