#pragma once

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/TerminalInput.h"
#include "ui/PlayerView.h"

namespace quoril {

// The player window for a terminal, for machines without a display. Message boxes and the
// diagnostics window print their caption as "== caption ==" and their text, and go on as if OK
// was pressed; the track list is printed once per session; every timer tick prints the
// track/time and volume fields (rewriting one line on a terminal, where the RAM load's progress
// follows while it runs). Keys come from standard
// input, one at a time on a terminal:
//   space play/pause   .  stop          [ ]  previous/next track   ;  phase
//   - +   volume       b f  back/forward 15 s   Enter  play the selected track
//   up/down arrows     move the selection      o  open a file   s  settings   q  close
// The end of standard input closes nothing: a script can let a disc play to its end. Only when
// no timer runs either (nothing can happen any more) does the end of input close the window.
// Runs on the one thread that calls runModal.
class ConsolePlayerView : public PlayerView {
  public:
    explicit ConsolePlayerView(std::FILE* out = stdout);
    ~ConsolePlayerView() override;

    int runModal(PlayerController& controller) override;
    void closeWindow(int result) override;
    void setTitle(const std::string& title) override;
    void setWaitCursor(bool) override {}
    void flashCaption() override {}
    void pause(int ms) override;
    void showMessageBox(const std::string& text, const std::string& caption) override;
    void showDiagnostics(const std::string& text) override;
    void showErrorBox(const std::string& text) override;
    bool chooseFile(int& filterIndex, std::string& path) override;
    std::unique_ptr<SettingsView> createSettingsView() override;
    void clearTrackList() override;
    void addTrackRow(const std::string& line, bool cut) override;
    void selectTrackRow(int row) override;
    int selectedTrackRow() const override { return m_selected; }
    void focusTrackList() override {}
    void showFields(const std::string& trackTime, const std::string& volume) override;
    void setProgressRange(int64_t maximum) override { m_progressMax = maximum; }
    void setProgressPosition(int64_t position) override { m_progressPosition = position; }
    void setProgressVisible(bool visible) override { m_progressVisible = visible; }
    void focusProgress() override {}
    void enableControl(int controlId, bool enabled) override;
    void setButtonPicture(int, int) override {}
    void startTimer(int timerId, int periodMs) override;
    void killTimer(int timerId) override;
    void watchSource(CommandSource* source) override { m_source = source; }

    // Writes a box: "== caption ==", then text with CR LF written as LF, ending on a new line.
    static std::string boxText(const std::string& caption, const std::string& text);

  private:
    using Clock = std::chrono::steady_clock;
    struct Timer {
        int id;
        std::chrono::milliseconds period;
        Clock::time_point next;
    };

    // Prints text, after ending a status line that is still open.
    void print(const std::string& text);
    void printTrackListOnce();
    void printStatus();
    void handleByte(char byte);
    void moveSelection(int step);
    bool enabled(int controlId) const { return m_disabled.count(controlId) == 0; }
    void fireDueTimers();

    std::FILE* m_out;
    bool m_outputTerminal;
    TerminalInput m_input;
    PlayerController* m_controller = nullptr;
    CommandSource* m_source = nullptr;  // watched beside standard input while set
    bool m_closed = false;
    int m_result = 0;
    bool m_statusOpen = false;  // a status line has been written without its line end
    int m_escape = 0;           // bytes of an escape sequence seen so far

    std::vector<Timer> m_timers;
    std::set<int> m_disabled;
    std::vector<std::string> m_rows;
    bool m_rowsPrinted = false;
    int m_selected = -1;
    std::string m_trackTime;
    std::string m_volume;
    int64_t m_progressMax = 0;
    int64_t m_progressPosition = 0;
    bool m_progressVisible = false;
};

}  // namespace quoril
