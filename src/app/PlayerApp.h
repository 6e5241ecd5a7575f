#pragma once

#include <string>

namespace quoril {

class PlayerView;

// The application object: refuses a second running player, then runs the player window for
// the whole life of the process. Window thread.
class PlayerApp {
  public:
    // The name the single-instance check counts processes by.
    static constexpr const char* kProcessName = "quoril";
    static constexpr const char* kAlreadyRunningText =
        "Ravek is already running!\r\n\r\nOnly one instance allowed.\r\n\r\n";

    // view is the player window to run; commandLine the text after the program name; window
    // tells whether the view is a window that can be brought to the front.
    PlayerApp(PlayerView& view, std::string commandLine, bool window = false);

    // The start-up: the single-instance check, then the player window until it closes. Returns
    // false always: the process ends with the window. refused() tells whether it ran at all.
    bool InitInstance();
    bool refused() const { return m_refused; }

    // The error box without owner: "<text> failed with error 0: <the system's text for 0>".
    static std::string errorBoxText(const std::string& text);

  private:
    PlayerView& m_view;
    std::string m_commandLine;
    bool m_window;
    bool m_refused = false;
};

}  // namespace quoril
