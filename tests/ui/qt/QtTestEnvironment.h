#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QTimer>
#include <functional>

namespace quoril::test {

// One QApplication for the whole test program, on the offscreen platform so the tests need no
// display. Made on first use; lives until the process ends.
QApplication& qtApplication();

// Base of the test fixtures that hold widgets: the application exists before any member widget.
class QtWidgetTest : public ::testing::Test {
  protected:
    QtWidgetTest() { qtApplication(); }
};

// Calls action with the next modal window of type W once it is up, from inside that window's own
// event loop (so the code that opened it is blocked in exec(), as it is for a user). Waits for
// the window at most deadlineMs; then it fails the test and closes whatever modal window blocks,
// so a test never hangs.
template <typename W>
void onNextModal(std::function<void(W*)> action, int deadlineMs = 5000) {
    auto* timer = new QTimer;
    const QDeadlineTimer deadline(deadlineMs);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, deadline, action] {
        QWidget* modal = QApplication::activeModalWidget();
        if (W* window = qobject_cast<W*>(modal); window && window->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(window);
            return;
        }
        if (deadline.hasExpired()) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the expected modal window did not appear";
            if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->done(0);
            }
        }
    });
    timer->start();
}

}  // namespace quoril::test
