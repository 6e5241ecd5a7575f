#include "app/PlayerApp.h"

#include <cstdio>
#include <cstring>

#include "app/FirstRun.h"
#include "config/Settings.h"
#include "platform/CFormat.h"
#include "platform/ProcessList.h"
#include "ui/PlayerDialog.h"
#include "ui/PlayerView.h"
#include "ui/mpris/MprisService.h"

namespace quoril {

PlayerApp::PlayerApp(PlayerView& view, std::string commandLine, bool window)
    : m_view(view), m_commandLine(std::move(commandLine)), m_window(window) {}

std::string PlayerApp::errorBoxText(const std::string& text) {
    std::string message = cformat("%s failed with error %d: %s", text.c_str(), 0, std::strerror(0));
    // The box's text buffer holds 1,024 characters with its terminator.
    if (message.size() > 1023) {
        message.resize(1023);
    }
    return message;
}

bool PlayerApp::InitInstance() {
    // An unreadable process list counts as "too many". A disc check or a registration running
    // beside the player is no second player.
    int running = countProcessesNamed(kProcessName, {"--check", "--register", "--version", "--help"});
    if (running <= 0 || running > 1) {
        m_refused = true;
        m_view.showErrorBox(errorBoxText(kAlreadyRunningText));
        return false;
    }
    // A first start registers the installation and the bundled drivers, so that the settings
    // window can list them and nobody has to write a registry file by hand.
    std::string firstRun;
    ensureRegistered(firstRun);
    if (!firstRun.empty()) {
        for (size_t pos = 0; (pos = firstRun.find("\r\n", pos)) != std::string::npos;) {
            firstRun.erase(pos, 1);
        }
        std::fputs(firstRun.c_str(), stdout);
        std::fflush(stdout);
    }
    PlayerDialog dialog(m_view, m_commandLine);
    settings().mainWindow = &dialog;
    {
        // The session bus reaches the same logic through the service, on this thread.
        MprisService bus(dialog, m_view, m_window);
        m_view.runModal(bus);
    }
    settings().mainWindow = nullptr;
    return false;
}

}  // namespace quoril
