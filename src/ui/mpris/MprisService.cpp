#include "ui/mpris/MprisService.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "config/Settings.h"
#include "content/CdDescriptor.h"
#include "dsp/DspEngine.h"
#include "dsp/TransportState.h"
#include "platform/CFormat.h"
#include "ui/PlayerDialog.h"
#include "ui/SettingsDialog.h"

namespace quoril {

namespace {

constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr int16_t kRepeatMode = 1;
constexpr int16_t kRandomMode = 3;
constexpr double kMicroseconds = 1e6;

MprisService& serviceOf(void* userdata) {
    return *static_cast<MprisService*>(userdata);
}

// ---- org.mpris.MediaPlayer2 ----

int getString(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void*,
              sd_bus_error*) {
    const char* value = std::strcmp(property, "Identity") == 0 ? "Quoril" : "quoril";
    return sd_bus_message_append(reply, "s", value);
}

int getBool(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void* userdata,
            sd_bus_error*) {
    MprisService& service = serviceOf(userdata);
    int value = 0;
    if (std::strcmp(property, "CanQuit") == 0 || std::strcmp(property, "CanControl") == 0) {
        value = 1;
    } else if (std::strcmp(property, "CanRaise") == 0) {
        value = service.canRaise();
    } else if (std::strcmp(property, "Shuffle") == 0) {
        value = settings().playbackMode == kRandomMode;
    } else if (std::strcmp(property, "HasTrackList") != 0) {
        // CanGoNext, CanGoPrevious, CanPlay, CanPause, CanSeek: a disc is there to command.
        value = service.sessionReady();
    }
    return sd_bus_message_append(reply, "b", value);
}

int getUriSchemes(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                  sd_bus_error*) {
    return sd_bus_message_append(reply, "as", 1, "file");
}

int getMimeTypes(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                 sd_bus_error*) {
    return sd_bus_message_append(reply, "as", 5, "application/x-cue", "audio/x-wav", "audio/wav",
                                 "audio/flac", "audio/x-flac");
}

int methodQuit(sd_bus_message* message, void* userdata, sd_bus_error*) {
    // As the close button: the session ends, the settings are saved and the window closes.
    MprisService& service = serviceOf(userdata);
    if (!service.busy()) {
        service.onCancel();
    }
    return sd_bus_reply_method_return(message, "");
}

int methodRaise(sd_bus_message* message, void* userdata, sd_bus_error*) {
    serviceOf(userdata).view().raiseWindow();
    return sd_bus_reply_method_return(message, "");
}

// ---- org.mpris.MediaPlayer2.Player ----

int getPlaybackStatus(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata,
                      sd_bus_error*) {
    return sd_bus_message_append(reply, "s", serviceOf(userdata).playbackStatus().c_str());
}

int getLoopStatus(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                  sd_bus_error*) {
    return sd_bus_message_append(reply, "s", settings().playbackMode == kRepeatMode ? "Playlist" : "None");
}

int getDouble(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void* userdata,
              sd_bus_error*) {
    double value = std::strcmp(property, "Volume") == 0 ? serviceOf(userdata).volume() : 1.0;
    return sd_bus_message_append(reply, "d", value);
}

int getPosition(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata,
                sd_bus_error*) {
    return sd_bus_message_append(reply, "x", serviceOf(userdata).positionUs());
}

int getMetadata(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void* userdata,
                sd_bus_error*) {
    MprisService& service = serviceOf(userdata);
    int row = service.currentRow();
    int r = sd_bus_message_open_container(reply, 'a', "{sv}");
    if (r < 0 || row < 0) {
        return r < 0 ? r : sd_bus_message_close_container(reply);
    }
    const CdDescriptor& disc = *service.player().disc();
    std::string id = MprisService::trackId(row);
    auto lengthUs =
        static_cast<int64_t>(std::llround(disc.trackLength[row] / disc.sampleRate * kMicroseconds));
    std::string url = "file://";
    int file = disc.trackFile[row];
    if (file >= 0 && file < CdDescriptor::kMaxFiles) {
        url += MprisService::fileUriPath(disc.openPath(file));
    }
    const char* artist = disc.performer.c_str();
    r = sd_bus_message_append(reply, "{sv}{sv}{sv}{sv}{sv}{sv}{sv}", "mpris:trackid", "o", id.c_str(),
                              "mpris:length", "x", lengthUs, "xesam:title", "s", disc.trackTitle[row].c_str(),
                              "xesam:album", "s", disc.albumTitle.c_str(), "xesam:artist", "as", 1, artist,
                              "xesam:trackNumber", "i", row + 1, "xesam:url", "s", url.c_str());
    return r < 0 ? r : sd_bus_message_close_container(reply);
}

int setVolume(sd_bus*, const char*, const char*, const char*, sd_bus_message* value, void* userdata,
              sd_bus_error*) {
    double amplitude = 0.0;
    int r = sd_bus_message_read(value, "d", &amplitude);
    if (r < 0) {
        return r;
    }
    MprisService& service = serviceOf(userdata);
    if (service.acceptsCommands()) {
        MprisService::Busy busy(service);
        service.player().SetVolumeDb(MprisService::dbOfAmplitude(amplitude));
        service.announceChanges();
    }
    return 0;
}

// Writing LoopStatus, Rate and Shuffle is accepted and changes nothing: the playback mode
// belongs to the settings window.
int setIgnored(sd_bus*, const char*, const char*, const char*, sd_bus_message*, void*, sd_bus_error*) {
    return 0;
}

enum class Transport { Play, Pause, PlayPause, Stop, Next, Previous };

int transport(sd_bus_message* message, void* userdata, Transport command) {
    MprisService& service = serviceOf(userdata);
    PlayerDialog& player = service.player();
    if (service.acceptsCommands()) {
        MprisService::Busy busy(service);
        switch (command) {
            case Transport::Play:
                if (!player.playing()) {
                    player.OnPlayPause();
                }
                break;
            case Transport::Pause:
                if (player.playing()) {
                    player.OnPlayPause();
                }
                break;
            case Transport::PlayPause:
                player.OnPlayPause();
                break;
            case Transport::Stop:
                player.OnStop();
                service.noteStopped();
                break;
            case Transport::Next:
                player.OnNextTrack();
                break;
            case Transport::Previous:
                player.OnPreviousTrack();
                break;
        }
        service.announceChanges();
    }
    return sd_bus_reply_method_return(message, "");
}

// One bus method per transport command; all of them take no arguments.
template <Transport command>
int methodTransport(sd_bus_message* m, void* u, sd_bus_error*) {
    return transport(m, u, command);
}

int methodSeek(sd_bus_message* message, void* userdata, sd_bus_error*) {
    int64_t offset = 0;
    int r = sd_bus_message_read(message, "x", &offset);
    if (r < 0) {
        return r;
    }
    MprisService& service = serviceOf(userdata);
    int row = service.currentRow();
    if (service.acceptsCommands() && row >= 0) {
        MprisService::Busy busy(service);
        const CdDescriptor& disc = *service.player().disc();
        int64_t target = service.positionUs() + offset;
        if (target >= static_cast<int64_t>(disc.trackLength[row] / disc.sampleRate * kMicroseconds)) {
            service.player().OnNextTrack();  // beyond the track's end: the next track
        } else {
            service.player().SeekToFrame(disc.trackStart[row] +
                                         service.framesOf(std::max<int64_t>(target, 0)));
        }
        service.announceSeek();
        service.announceChanges();
    }
    return sd_bus_reply_method_return(message, "");
}

int methodSetPosition(sd_bus_message* message, void* userdata, sd_bus_error*) {
    const char* track = nullptr;
    int64_t position = 0;
    int r = sd_bus_message_read(message, "ox", &track, &position);
    if (r < 0) {
        return r;
    }
    MprisService& service = serviceOf(userdata);
    int row = service.currentRow();
    // A position for another track than the current one, or outside it, is ignored.
    if (service.acceptsCommands() && row >= 0 && MprisService::trackId(row) == track && position >= 0) {
        MprisService::Busy busy(service);
        const CdDescriptor& disc = *service.player().disc();
        int64_t frames = service.framesOf(position);
        if (frames <= disc.trackLength[row]) {
            service.player().SeekToFrame(disc.trackStart[row] + frames);
            service.announceSeek();
        }
    }
    return sd_bus_reply_method_return(message, "");
}

int methodOpenUri(sd_bus_message* message, void* userdata, sd_bus_error* error) {
    const char* uri = nullptr;
    int r = sd_bus_message_read(message, "s", &uri);
    if (r < 0) {
        return r;
    }
    MprisService& service = serviceOf(userdata);
    std::string path = MprisService::pathOfFileUri(uri);
    // The file-open dialog's filter that shows such a file: 1 cue, 2 WAV, 3 FLAC.
    std::string extension = path.substr(std::min(path.size(), path.rfind('.')));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    int filterIndex = extension == ".cue" ? 1 : extension == ".wav" ? 2 : extension == ".flac" ? 3 : 0;
    if (filterIndex == 0) {
        return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS,
                                "Only file:// URIs of .cue, .wav or .flac files.");
    }
    // As the file-open button: not in launcher mode, not while a disc loads or settings are open.
    if (!settings().valid || settings().zebMode || service.player().loading() || settingsOpen ||
        service.busy()) {
        return sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, "The player cannot open a file now.");
    }
    MprisService::Busy busy(service);
    service.player().OpenPath(path, filterIndex);
    service.announceChanges();
    return sd_bus_reply_method_return(message, "");
}

constexpr uint64_t kEmits = SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE;
constexpr uint64_t kConst = SD_BUS_VTABLE_PROPERTY_CONST;

const sd_bus_vtable kRootVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Raise", "", "", methodRaise, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Quit", "", "", methodQuit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_PROPERTY("CanQuit", "b", getBool, 0, kConst),
    SD_BUS_PROPERTY("CanRaise", "b", getBool, 0, kConst),
    SD_BUS_PROPERTY("HasTrackList", "b", getBool, 0, kConst),
    SD_BUS_PROPERTY("Identity", "s", getString, 0, kConst),
    SD_BUS_PROPERTY("DesktopEntry", "s", getString, 0, kConst),
    SD_BUS_PROPERTY("SupportedUriSchemes", "as", getUriSchemes, 0, kConst),
    SD_BUS_PROPERTY("SupportedMimeTypes", "as", getMimeTypes, 0, kConst),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable kPlayerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Next", "", "", methodTransport<Transport::Next>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Previous", "", "", methodTransport<Transport::Previous>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Pause", "", "", methodTransport<Transport::Pause>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("PlayPause", "", "", methodTransport<Transport::PlayPause>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Stop", "", "", methodTransport<Transport::Stop>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Play", "", "", methodTransport<Transport::Play>, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Seek", "x", "", methodSeek, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SetPosition", "ox", "", methodSetPosition, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("OpenUri", "s", "", methodOpenUri, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL("Seeked", "x", 0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", getPlaybackStatus, 0, kEmits),
    SD_BUS_WRITABLE_PROPERTY("LoopStatus", "s", getLoopStatus, setIgnored, 0, kEmits),
    SD_BUS_WRITABLE_PROPERTY("Rate", "d", getDouble, setIgnored, 0, 0),
    SD_BUS_WRITABLE_PROPERTY("Shuffle", "b", getBool, setIgnored, 0, kEmits),
    SD_BUS_PROPERTY("Metadata", "a{sv}", getMetadata, 0, kEmits),
    SD_BUS_WRITABLE_PROPERTY("Volume", "d", getDouble, setVolume, 0, kEmits),
    SD_BUS_PROPERTY("Position", "x", getPosition, 0, 0),
    SD_BUS_PROPERTY("MinimumRate", "d", getDouble, 0, kConst),
    SD_BUS_PROPERTY("MaximumRate", "d", getDouble, 0, kConst),
    SD_BUS_PROPERTY("CanGoNext", "b", getBool, 0, kEmits),
    SD_BUS_PROPERTY("CanGoPrevious", "b", getBool, 0, kEmits),
    SD_BUS_PROPERTY("CanPlay", "b", getBool, 0, kEmits),
    SD_BUS_PROPERTY("CanPause", "b", getBool, 0, kEmits),
    SD_BUS_PROPERTY("CanSeek", "b", getBool, 0, kEmits),
    SD_BUS_PROPERTY("CanControl", "b", getBool, 0, kConst),
    SD_BUS_VTABLE_END,
};

}  // namespace

MprisService::MprisService(PlayerDialog& player, PlayerView& view, bool canRaise)
    : m_player(player), m_view(view), m_canRaise(canRaise) {}

MprisService::~MprisService() {
    disconnect();
}

// ---- the window logic, passed through ----

void MprisService::onInitDialog() {
    passThrough([&] {
        m_player.onInitDialog();
        connect();
    });
}

void MprisService::onTimer(int timerId) {
    passThrough([&] {
        bool wasPlaying = m_player.playing();
        m_player.onTimer(timerId);
        // The one halt a tick makes is the stop at the end of the disc.
        if (wasPlaying && !m_player.playing()) {
            noteStopped();
        }
    });
}

void MprisService::onCommand(int controlId) {
    passThrough([&] {
        m_player.onCommand(controlId);
        if (controlId == PlayerControl::kStop) {
            noteStopped();
        }
    });
}

bool MprisService::onTrackListKey(ListKey key, bool shift) {
    bool handled = false;
    passThrough([&] {
        handled = m_player.onTrackListKey(key, shift);
        if (key == ListKey::Period) {
            noteStopped();
        }
    });
    return handled;
}

void MprisService::onTrackListDoubleClick() {
    passThrough([&] { m_player.onTrackListDoubleClick(); });
}

void MprisService::onOK() {
    passThrough([&] { m_player.onOK(); });
}

void MprisService::onCancel() {
    passThrough([&] { m_player.onCancel(); });
}

void MprisService::onSysCommand(int commandId) {
    Busy busy(*this);
    m_player.onSysCommand(commandId);
}

// ---- the bus ----

void MprisService::connect() {
    if (m_bus) {
        return;
    }
    sd_bus* bus = nullptr;
    int r = sd_bus_open_user(&bus);
    if (r >= 0) {
        r = sd_bus_add_object_vtable(bus, &m_rootSlot, kObjectPath, kRootInterface, kRootVtable, this);
    }
    if (r >= 0) {
        r = sd_bus_add_object_vtable(bus, &m_playerSlot, kObjectPath, kPlayerInterface, kPlayerVtable, this);
    }
    std::string name = kBusName;
    if (r >= 0) {
        r = sd_bus_request_name(bus, name.c_str(), 0);
        if (r == -EEXIST) {
            name += cformat(".instance%ld", static_cast<long>(getpid()));
            r = sd_bus_request_name(bus, name.c_str(), 0);
        }
    }
    m_bus = bus;
    if (r < 0) {
        disconnect();
        // Without an address the library says "no medium"; the user needs to hear which address.
        const char* reason =
            r == -ENOMEDIUM ? "no DBUS_SESSION_BUS_ADDRESS, no XDG_RUNTIME_DIR" : std::strerror(-r);
        m_player.appendToLog(
            cformat("No session bus (%s): media keys and remote control are off.\r\n", reason));
        return;
    }
    m_busName = name;
    m_view.watchSource(this);
}

void MprisService::disconnect() {
    if (!m_bus) {
        return;
    }
    m_view.watchSource(nullptr);
    m_rootSlot = sd_bus_slot_unref(m_rootSlot);
    m_playerSlot = sd_bus_slot_unref(m_playerSlot);
    m_bus = sd_bus_flush_close_unref(m_bus);
    m_busName.clear();
}

int MprisService::fd() const {
    return m_bus ? sd_bus_get_fd(m_bus) : -1;
}

void MprisService::dispatch() {
    if (!m_bus) {
        return;
    }
    int r = 0;
    // Everything that has arrived, including what the library has already read ahead.
    while ((r = sd_bus_process(m_bus, nullptr)) > 0) {
    }
    if (r < 0) {
        m_player.appendToLog(cformat("Session bus lost (%s).\r\n", std::strerror(-r)));
        disconnect();
        return;
    }
    sd_bus_flush(m_bus);
}

// ---- what the bus shows ----

bool MprisService::acceptsCommands() const {
    return sessionReady() && !settingsOpen && !m_busy;
}

bool MprisService::sessionReady() const {
    const CdDescriptor* disc = m_player.disc();
    return !m_player.loading() && disc && disc->active && disc->trackCount > 0 && disc->sampleRate > 0 &&
           m_player.engine() && m_player.engine()->threadRunning();
}

std::string MprisService::playbackStatus() const {
    if (!sessionReady()) {
        return "Stopped";
    }
    if (m_player.playing()) {
        return "Playing";
    }
    return m_stopped ? "Stopped" : "Paused";
}

int MprisService::currentRow() const {
    if (!sessionReady()) {
        return -1;
    }
    const CdDescriptor& disc = *m_player.disc();
    int32_t position = theTransport.position();
    for (int row = disc.trackCount - 1; row > 0; --row) {
        if (disc.trackStart[row] <= position) {
            return row;
        }
    }
    return 0;
}

int64_t MprisService::positionUs() const {
    int row = currentRow();
    if (row < 0) {
        return 0;
    }
    const CdDescriptor& disc = *m_player.disc();
    int64_t frames = std::max<int64_t>(0, theTransport.position() - disc.trackStart[row]);
    return static_cast<int64_t>(std::llround(static_cast<double>(frames) / disc.sampleRate * kMicroseconds));
}

int64_t MprisService::framesOf(int64_t us) const {
    const CdDescriptor* disc = m_player.disc();
    return disc ? static_cast<int64_t>(
                      std::llround(static_cast<double>(us) * disc->sampleRate / kMicroseconds))
                : 0;
}

double MprisService::volume() const {
    return amplitudeOfDb(theTransport.volumeDb.load());
}

double MprisService::amplitudeOfDb(double db) {
    return std::pow(10.0, db / 20.0);
}

double MprisService::dbOfAmplitude(double amplitude) {
    return amplitude > 0.0 ? 20.0 * std::log10(amplitude) : -100.0;
}

std::string MprisService::trackId(int row) {
    return cformat("/org/quoril/track/%d", row + 1);
}

std::string MprisService::fileUriPath(const std::string& path) {
    std::string escaped;
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/-._~", c)) {
            escaped.push_back(static_cast<char>(c));
        } else {
            escaped += cformat("%%%02X", c);
        }
    }
    return escaped;
}

std::string MprisService::pathOfFileUri(const std::string& uri) {
    constexpr const char* kScheme = "file://";
    if (uri.rfind(kScheme, 0) != 0) {
        return {};
    }
    std::string path;
    for (size_t i = std::strlen(kScheme); i < uri.size(); ++i) {
        auto hex = [](char c) {
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        };
        if (uri[i] == '%' && i + 2 < uri.size() && hex(uri[i + 1]) >= 0 && hex(uri[i + 2]) >= 0) {
            path.push_back(static_cast<char>(hex(uri[i + 1]) * 16 + hex(uri[i + 2])));
            i += 2;
        } else {
            path.push_back(uri[i]);
        }
    }
    // "file://host/path" names a host; only the local one (empty or localhost) is a path here.
    if (path.rfind("localhost/", 0) == 0) {
        path.erase(0, std::strlen("localhost"));
    }
    return path.empty() || path[0] != '/' || path.find('\0') != std::string::npos ? std::string() : path;
}

void MprisService::announceSeek() {
    if (m_bus) {
        sd_bus_emit_signal(m_bus, kObjectPath, kPlayerInterface, "Seeked", "x", positionUs());
        sd_bus_flush(m_bus);
    }
}

void MprisService::announceChanges() {
    if (m_player.playing()) {
        m_stopped = false;
    }
    if (!m_bus) {
        return;
    }
    std::string status = playbackStatus();
    int row = currentRow();
    const void* disc = m_player.disc();
    double volumeDb = theTransport.volumeDb.load();
    bool loop = settings().playbackMode == kRepeatMode;
    bool shuffle = settings().playbackMode == kRandomMode;
    // Room for every name that may change, and the terminating null.
    const char* names[12] = {};
    size_t count = 0;
    if (status != m_shownStatus) {
        names[count++] = "PlaybackStatus";
        names[count++] = "CanGoNext";
        names[count++] = "CanGoPrevious";
        names[count++] = "CanPlay";
        names[count++] = "CanPause";
        names[count++] = "CanSeek";
    }
    if (row != m_shownRow || disc != m_shownDisc) {
        names[count++] = "Metadata";
    }
    if (volumeDb != m_shownVolume) {
        names[count++] = "Volume";
    }
    if (loop != m_shownLoop) {
        names[count++] = "LoopStatus";
    }
    if (shuffle != m_shownShuffle) {
        names[count++] = "Shuffle";
    }
    m_shownStatus = status;
    m_shownRow = row;
    m_shownDisc = disc;
    m_shownVolume = volumeDb;
    m_shownLoop = loop;
    m_shownShuffle = shuffle;
    if (count > 0) {
        sd_bus_emit_properties_changed_strv(m_bus, kObjectPath, kPlayerInterface, const_cast<char**>(names));
        sd_bus_flush(m_bus);
    }
}

}  // namespace quoril
