#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/Commands.h"
#include "app/PlayerApp.h"
#include "ui/console/ConsolePlayerView.h"

#ifdef QUORIL_HAVE_QT_VIEW
#include <QApplication>

#include "ui/qt/NumericLocale.h"
#include "ui/qt/PlayerWindow.h"
#endif

namespace quoril {

namespace {

// The text after the program name (and after the mode's option), as one line: a path that
// arrived in pieces is put back together with blanks.
std::string commandLineFrom(int argc, char** argv, int first) {
    std::string line;
    for (int i = first; i < argc; ++i) {
        if (!line.empty()) {
            line += ' ';
        }
        line += argv[i];
    }
    return line;
}

// Whether a window can be shown: a display server, or a Qt platform chosen explicitly.
[[maybe_unused]] bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            return true;
        }
    }
    return false;
}

// Exit status: 0 when the player ran, 1 when a second copy was refused.
int runConsole(const std::string& commandLine) {
    ConsolePlayerView view;
    PlayerApp app(view, commandLine);
    app.InitInstance();
    return app.refused() ? 1 : 0;
}

}  // namespace

int runPlayer(int argc, char** argv, bool console) {
    if (console) {
        return runConsole(commandLineFrom(argc, argv, 2));
    }
    std::string commandLine = commandLineFrom(argc, argv, 1);
#ifdef QUORIL_HAVE_QT_VIEW
    if (!hasDisplay()) {
        std::fputs("quoril: no display; playing in the terminal (quoril --console)\n", stderr);
        return runConsole(commandLine);
    }
    QApplication application(argc, argv);
    restoreCNumericLocale();
    PlayerWindow window;
    PlayerApp app(window, commandLine, true);
    app.InitInstance();
    return app.refused() ? 1 : 0;
#else
    std::fputs("quoril: built without the window; playing in the terminal\n", stderr);
    return runConsole(commandLine);
#endif
}

}  // namespace quoril
