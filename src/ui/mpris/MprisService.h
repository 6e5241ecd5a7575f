#pragma once

#include <cstdint>
#include <string>

#include "ui/PlayerView.h"

struct sd_bus;
struct sd_bus_slot;

namespace quoril {

class PlayerDialog;

// The player on the session bus as a media player, for the desktop's media keys and controls,
// playerctl and phone remotes: org.mpris.MediaPlayer2 and its .Player interface at
// /org/mpris/MediaPlayer2, under the name org.mpris.MediaPlayer2.quoril (".instance<pid>"
// appended when that name is taken).
//
// There is no bus thread. The view watches the bus connection's descriptor in its own loop and
// calls dispatch() on the window thread, and every method call becomes the command that the
// window's buttons give (PlayerDialog), so nothing reaches the engine by another way. The
// service also stands between the view and the window logic as its PlayerController: after
// each of the user's actions and each timer tick it compares what the bus shows with what was
// last announced and emits PropertiesChanged for the playback status, the track and the
// volume. Every member runs on the window thread.
class MprisService : public PlayerController, public CommandSource {
  public:
    static constexpr const char* kBusName = "org.mpris.MediaPlayer2.quoril";
    static constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";

    // canRaise: the view is a window that can be brought to the front.
    MprisService(PlayerDialog& player, PlayerView& view, bool canRaise);
    ~MprisService() override;
    MprisService(const MprisService&) = delete;
    MprisService& operator=(const MprisService&) = delete;

    // PlayerController: forwarded to the window logic. onInitDialog connects to the bus once
    // the logic's start-up has run; without a session bus it adds one line to the log.
    void onInitDialog() override;
    void onTimer(int timerId) override;
    void onCommand(int controlId) override;
    bool onTrackListKey(ListKey key, bool shift) override;
    void onTrackListDoubleClick() override;
    void onOK() override;
    void onCancel() override;
    void onSysCommand(int commandId) override;

    // CommandSource: the bus connection.
    int fd() const override;
    void dispatch() override;

    bool connected() const { return m_bus != nullptr; }
    // The bus name owned, once connected.
    const std::string& busName() const { return m_busName; }

    // What the bus shows, from the window logic's state (public for the vtable's callbacks).
    // "Playing", "Paused" or "Stopped" (halted by a stop command or at the end of the disc, or
    // no disc to play).
    std::string playbackStatus() const;
    // The row of the track that holds the transport's position (-1 without a usable disc).
    int currentRow() const;
    // Microseconds into the current track.
    int64_t positionUs() const;
    double volume() const;
    bool sessionReady() const;
    // A bus command may run now: there is a disc to command, and no window command is still
    // running (one that has a modal window open, whose event loop also serves the bus). While
    // the disc loads or the settings window is open the buttons are disabled too.
    bool acceptsCommands() const;
    bool busy() const { return m_busy; }
    // Runs a call into the window logic as a running command, then tells the bus what changed.
    template <typename Call>
    void passThrough(Call call) {
        Busy busy(*this);
        call();
        announceChanges();
    }
    // Marks a command as running for its lifetime.
    class Busy {
      public:
        explicit Busy(MprisService& service) : m_service(service), m_was(service.m_busy) {
            service.m_busy = true;
        }
        ~Busy() { m_service.m_busy = m_was; }
        Busy(const Busy&) = delete;
        Busy& operator=(const Busy&) = delete;

      private:
        MprisService& m_service;
        bool m_was;
    };
    bool canRaise() const { return m_canRaise; }
    PlayerDialog& player() { return m_player; }
    PlayerView& view() { return m_view; }
    sd_bus* bus() { return m_bus; }
    // Frames of a time in microseconds at the disc's rate.
    int64_t framesOf(int64_t us) const;
    // The track's object path: /org/quoril/track/<row + 1>.
    static std::string trackId(int row);
    // A path as the part of a file:// URI after the scheme, percent-escaped.
    static std::string fileUriPath(const std::string& path);
    // The path of a file:// URI, percent escapes decoded; empty when it is no such URI.
    static std::string pathOfFileUri(const std::string& uri);
    // Linear amplitude and the digital volume's decibels.
    static double amplitudeOfDb(double db);
    static double dbOfAmplitude(double amplitude);
    // A stop command has halted the transport: stopped, not paused, until it plays again.
    void noteStopped() { m_stopped = true; }
    // Emits Seeked with the current position.
    void announceSeek();
    // Emits PropertiesChanged for what changed since the last announcement.
    void announceChanges();

  private:
    void connect();
    void disconnect();

    PlayerDialog& m_player;
    PlayerView& m_view;
    bool m_canRaise;
    sd_bus* m_bus = nullptr;
    sd_bus_slot* m_rootSlot = nullptr;
    sd_bus_slot* m_playerSlot = nullptr;
    std::string m_busName;
    bool m_stopped = true;
    bool m_busy = false;  // a command runs (see Busy)

    // What was last announced.
    std::string m_shownStatus;
    int m_shownRow = -1;
    const void* m_shownDisc = nullptr;
    double m_shownVolume = 0.0;
    bool m_shownLoop = false;
    bool m_shownShuffle = false;
};

}  // namespace quoril
