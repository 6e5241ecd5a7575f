#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quoril {

class SettingsView;

// Control ids of the player window, in the order the controls sit along the bottom row.
namespace PlayerControl {
inline constexpr int kProgress = 1;       // the RAM-load progress bar, centred over the list
inline constexpr int kClose = 2;          // "X", text only, no picture
inline constexpr int kTrackList = 1024;   // list box with the track lines
inline constexpr int kSettings = 1003;    // "Settings"
inline constexpr int kTrackTime = 1032;   // read-only field: track and time
inline constexpr int kFileOpen = 1014;    // "File Open"
inline constexpr int kStop = 1013;        // "#"
inline constexpr int kPrevious = 1006;    // "l<"
inline constexpr int kBack = 1008;        // "<<"
inline constexpr int kPlay = 1005;        // ">" (play/pause)
inline constexpr int kForward = 1009;     // ">>"
inline constexpr int kNext = 1007;        // ">l"
inline constexpr int kVolumeDown = 1010;  // "-"
inline constexpr int kVolumeUp = 1011;    // "+"
inline constexpr int kVolume = 1031;      // read-only field: volume
}  // namespace PlayerControl

// Picture (icon) numbers. The window shows kApplication as its own icon and when minimised.
namespace Picture {
inline constexpr int kApplication = 128;  // on "Settings" too
inline constexpr int kStop = 133;
inline constexpr int kVolumeUp = 134;
inline constexpr int kVolumeDown = 135;
inline constexpr int kPause = 136;  // on ">" while playing
inline constexpr int kPlay = 137;   // on ">" while halted
inline constexpr int kNext = 138;
inline constexpr int kPrevious = 139;
inline constexpr int kForward = 140;
inline constexpr int kBack = 141;
inline constexpr int kFolder = 148;  // on "File Open"
}  // namespace Picture

// The id of the one window timer and its period.
inline constexpr int kPlayerTimerId = 1;
inline constexpr int kPlayerTimerPeriodMs = 1000;
// The command id of the "&About Quoril..." menu entry.
inline constexpr int kAboutCommandId = 0x0010;

// Keys of the track list that the window logic looks at. A view maps the physical keys of a US
// layout: the bracket keys, the semicolon key, the period key, Home and End.
enum class ListKey { Home, End, LeftBracket, RightBracket, Semicolon, Period, Other };

// What the player window's user does, as the window logic receives it. The view calls these on
// the window thread, from inside PlayerView::runModal, one at a time.
class PlayerController {
  public:
    virtual ~PlayerController() = default;

    // Once, at the start of the modal run (the window exists; it may or may not be visible yet).
    // May open modal windows (diagnostics, file open, settings) and start the timer.
    virtual void onInitDialog() = 0;
    // The timer with this id fired (see PlayerView::startTimer).
    virtual void onTimer(int timerId) = 0;
    // A push button was clicked: one of the PlayerControl ids except kTrackList, kTrackTime,
    // kVolume and kProgress. kClose is handled like Escape (onCancel).
    virtual void onCommand(int controlId) = 0;
    // A key went down while the track list has the focus. shift tells whether Shift is held.
    // Returns true when the list must take no default action for the key (Home and End, with or
    // without Shift); false lets the list move its selection as usual. Enter and Escape are not
    // passed here: they go to onOK and onCancel.
    virtual bool onTrackListKey(ListKey key, bool shift) = 0;
    // A row of the track list was double-clicked (the row is selected by then).
    virtual void onTrackListDoubleClick() = 0;
    // Enter in the window.
    virtual void onOK() = 0;
    // Escape, the "X" button or the window's close box. The window closes only when the logic
    // calls PlayerView::closeWindow; a view must not close on its own.
    virtual void onCancel() = 0;
    // A window menu command; kAboutCommandId is the "&About Quoril..." entry.
    virtual void onSysCommand(int commandId) = 0;
};

// A way in to the player's commands besides the window itself (the session-bus service): a file
// descriptor that the view watches in its own event loop. When it becomes readable, the view
// calls dispatch() on the window thread, between the user's actions, so that whatever arrives
// there runs exactly like a click.
class CommandSource {
  public:
    virtual ~CommandSource() = default;
    virtual int fd() const = 0;
    virtual void dispatch() = 0;
};

// The player window as the window logic drives it: a track list, a row of picture buttons, two
// read-only fields, a progress bar and a timer, plus the modal windows it opens. Implemented
// with Qt widgets, for the terminal, and by the tests. Every method is called on the window
// thread. Until runModal, only showErrorBox may be used.
class PlayerView {
  public:
    virtual ~PlayerView() = default;

    // Shows the window and runs it modally: calls controller.onInitDialog() once, then delivers
    // the user's actions and the timer ticks to controller until closeWindow() is called.
    // Returns the result given to closeWindow.
    virtual int runModal(PlayerController& controller) = 0;
    // Ends the modal run with the given result (1 OK, 2 Cancel); runModal returns once the
    // current handler has returned.
    virtual void closeWindow(int result) = 0;

    // The window title (the caption is "Ravek" until a session names the disc).
    virtual void setTitle(const std::string& title) = 0;
    // Shows the wait cursor over the application (on) or restores the normal cursor (off).
    virtual void setWaitCursor(bool on) = 0;
    // Flashes the window caption once to draw the user's attention.
    virtual void flashCaption() = 0;
    // Blocks the window thread for ms milliseconds (the logic's short pauses before a window).
    virtual void pause(int ms) = 0;

    // A modal message box owned by the player window with one OK button. text has "\r\n" line
    // ends; a view shows them as line breaks. Returns when the user has pressed OK.
    virtual void showMessageBox(const std::string& text, const std::string& caption) = 0;
    // The modal diagnostics window: caption "Ravek Diagnostics", a read-only multi-line field
    // holding text ("\r\n" line ends), and OK. Returns when it is closed (OK, Enter, Escape).
    virtual void showDiagnostics(const std::string& text) = 0;
    // The error box that has no owner window: caption "Error", one OK button. Used before the
    // player window exists (a second running copy).
    virtual void showErrorBox(const std::string& text) = 0;
    // The file-open dialog with the filters 1 "Cue Files" (*.cue), 2 "Wav Files" (*.wav) and
    // 3 "FLAC Files" (*.flac), starting on filter filterIndex (1-based). Returns false when the
    // user cancels (path and filterIndex unchanged); otherwise sets path to the chosen file
    // and filterIndex to the filter the user ended with.
    virtual bool chooseFile(int& filterIndex, std::string& path) = 0;
    // Makes the settings window, owned by the player window, ready for one modal run.
    virtual std::unique_ptr<SettingsView> createSettingsView() = 0;

    // The track list (1024): removes every row.
    virtual void clearTrackList() = 0;
    // Appends a row with this text (the logic's list lines are 48 characters). cut says that the
    // title did not fit: a window marks the row's end with an ellipsis.
    virtual void addTrackRow(const std::string& line, bool cut) = 0;
    // Selects this row (and scrolls it into view); -1 clears the selection.
    virtual void selectTrackRow(int row) = 0;
    // The selected row, or -1 when none is selected.
    virtual int selectedTrackRow() const = 0;
    // Moves the keyboard focus to the track list.
    virtual void focusTrackList() = 0;

    // Gives the window the size the settings file remembered (0 x 0: none), and from then on
    // keeps the settings record's window size up to date as the user resizes the window, so
    // that saving the settings remembers it. A view without a size ignores it.
    virtual void restoreWindowSize(int /*width*/, int /*height*/) {}

    // Shows the track/time field (1032) and the volume field (1031).
    virtual void showFields(const std::string& trackTime, const std::string& volume) = 0;

    // The progress bar (child id 1), 500 x 60 pixels centred on the window, hidden at first.
    virtual void setProgressRange(int64_t maximum) = 0;  // the range is 0 .. maximum
    virtual void setProgressPosition(int64_t position) = 0;
    virtual void setProgressVisible(bool visible) = 0;
    // Brings the progress bar to the top and gives it the focus.
    virtual void focusProgress() = 0;

    // Enables or disables a control by its PlayerControl id (kTrackList included).
    virtual void enableControl(int controlId, bool enabled) = 0;
    // Shows picture (a Picture number) on the push button controlId.
    virtual void setButtonPicture(int controlId, int picture) = 0;

    // Starts (or restarts) the window timer timerId: controller.onTimer(timerId) every periodMs
    // milliseconds from now on, on the window thread, until killTimer.
    virtual void startTimer(int timerId, int periodMs) = 0;
    virtual void killTimer(int timerId) = 0;

    // Watches source's descriptor from now until the modal run ends (nullptr: stop watching).
    // A view that cannot watch descriptors ignores it.
    virtual void watchSource(CommandSource* source) { (void)source; }
    // Brings the window to the front, when there is one to bring.
    virtual void raiseWindow() {}
};

}  // namespace quoril
