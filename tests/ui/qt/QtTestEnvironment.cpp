#include "ui/qt/QtTestEnvironment.h"

#include "ui/qt/NumericLocale.h"

namespace quoril::test {

QApplication& qtApplication() {
    static int argc = 1;
    static char name[] = "quoril-qt-test";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        // Headless unless the caller chose a platform (a screenshot under Xvfb uses xcb).
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        auto* app = new QApplication(argc, argv);
        restoreCNumericLocale();
        return app;
    }();
    return *application;
}

}  // namespace quoril::test
