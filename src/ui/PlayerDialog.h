#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "content/RamLoadThread.h"
#include "platform/DiagnosticsLog.h"
#include "ui/PlayerView.h"

namespace quoril {

class CdDescriptor;
class DspEngine;

// The player window's logic, without a toolkit: the play session (start and end), the
// one-second timer that drives the display and the end of the disc, and every command of the
// buttons and the track list. It draws through a PlayerView and receives the user's actions as
// its PlayerController. Everything here runs on the window thread, except where a field says
// otherwise.
class PlayerDialog : public PlayerController {
  public:
    // The longest path the window keeps (the rest of a longer one is cut).
    static constexpr size_t kMaxPathChars = 519;
    // A track list line is padded or cut to this many characters.
    static constexpr size_t kListLineChars = 48;

    // commandLine is the text after the program name; a path in double quotes loses them.
    PlayerDialog(PlayerView& view, const std::string& commandLine);
    // Ends a session that is still running (the window normally ends it itself on close).
    ~PlayerDialog() override;
    PlayerDialog(const PlayerDialog&) = delete;
    PlayerDialog& operator=(const PlayerDialog&) = delete;

    // Runs the window modally until it closes; returns the view's result.
    int run();

    // PlayerController (called by the view).
    void onInitDialog() override;
    void onTimer(int timerId) override;
    void onCommand(int controlId) override;
    bool onTrackListKey(ListKey key, bool shift) override;
    void onTrackListDoubleClick() override;
    void onOK() override;
    void onCancel() override;
    void onSysCommand(int commandId) override;

    // Reads the settings file and starts a session for the content path, or asks for a file,
    // or opens the settings window. At start-up and after a settings window that made the
    // configuration complete.
    void ReadSettingsAndStart();
    // Builds the engine and the disc for the content path, starts the playback thread halted,
    // fills the window and starts the RAM load. Failures show one box and the start-up text.
    void StartSession();
    // Quits the engine, saves the settings (with the current volume) and releases engine and disc.
    void EndSession();
    // Refills the track list from the disc.
    void FillTrackList();
    void OnTimer(int timerId);
    void OnOK();
    void OnCancel();

    // The commands of the buttons and keys.
    void OnPlayPause();
    void OnStop();
    void OnNextTrack();
    void OnPreviousTrack();
    void OnForward();
    void OnBack();
    void OnVolumeDown();
    void OnVolumeUp();
    void OnPhase();
    void OnPlaySelected();
    void OnFileOpen();
    void OnSettings();
    // Commands that only other ways in (the session bus) give: move the transport to a frame of
    // the disc, set the volume (moved to the nearest 0.5 dB step within -100..0 dB), and open a
    // file by path as the file-open button does after its dialog.
    void SeekToFrame(int64_t frame);
    void SetVolumeDb(double volumeDb);
    void OpenPath(const std::string& path, int filterIndex);
    // Adds a line to the session's log (the diagnostics text).
    void appendToLog(std::string_view text) { m_log.append(text); }

    // The track list line of a track: "NN MM:SS title", padded or cut to 48 characters (UTF-8
    // characters, never split). cut, when given, tells whether the line was cut.
    static std::string listLine(int row, int32_t lengthFrames, double sampleRate, const std::string& title,
                                bool* cut = nullptr);
    // The eight-character track/time field: two-digit track number, a blank (phase 0) or a
    // circumflex (phase 180), minutes and seconds with two digits each.
    static std::string trackTimeText(int trackNumber, int64_t seconds, int phaseSign);
    // The volume field: "%4.1f".
    static std::string volumeText(double volumeDb);

    // State, for the view and for tests.
    const std::string& contentPath() const { return m_contentPath; }
    bool loading() const { return m_loading; }
    bool playing() const { return m_playing; }
    bool sessionPlaying() const { return m_sessionPlaying; }
    bool exitPending() const { return m_exitPending; }
    int currentTrack() const { return m_currentTrack; }
    int holdTicks() const { return m_holdTicks; }
    int32_t loadProgress() const { return m_loadProgress.load(); }
    const std::string& trackTimeField() const { return m_trackTimeText; }
    const std::string& volumeField() const { return m_volumeText; }
    std::string log() const { return m_log.snapshot(); }
    DspEngine* engine() const { return m_engine.get(); }
    CdDescriptor* disc() const { return m_disc.get(); }

  private:
    // Settings valid, engine and disc made, and a playback thread running.
    bool usableSession() const;
    // The row of the last track whose first frame is at or before position (0 if none).
    int rowAtPosition(int32_t position) const;
    // Moves the transport to the first frame of row, when the engine's disc is active and has tracks.
    void jumpToRow(int row);
    // What every transport command does first: the list gets the focus back; true when there is
    // a session to command.
    bool focusListAndCheckSession();
    void playIfHalted();
    // The shared steps of the commands: direction +1 or -1.
    void stepTrack(int direction);
    void seekBy(int direction);
    void stepVolume(double stepDb);
    void showPlayerStoppedBox();
    void showFields();
    void setPlayPicture(bool playing);
    // Enables or disables the twelve controls a session disables while it loads.
    void enableSessionControls(bool enabled);
    // Joins the RAM-load thread and deletes the disc.
    void releaseDisc();

    PlayerView& m_view;

    bool m_exitPending = false;
    bool m_loading = false;
    // Frames loaded so far; -1 when the RAM load has ended. Written by the RAM-load thread,
    // read by the timer.
    LoadProgress m_loadProgress{0};
    int16_t m_holdTicks = 0;
    // The session's running log; the playback and RAM-load threads append to it.
    DiagnosticsLog m_log;
    std::string m_contentPath;
    std::string m_volumeText;
    std::string m_trackTimeText;
    int32_t m_currentTrack = 0;
    bool m_sessionPlaying = false;
    bool m_playing = false;
    std::unique_ptr<DspEngine> m_engine;
    std::unique_ptr<CdDescriptor> m_disc;

    RamLoadRequest m_loadRequest;
    // One per session: the thread that fills the disc's store.
    std::unique_ptr<RamLoadThread> m_loadThread;
};

}  // namespace quoril
