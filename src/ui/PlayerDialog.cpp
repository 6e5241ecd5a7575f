#include "ui/PlayerDialog.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>

#include "asio/DriverScan.h"
#include "config/Settings.h"
#include "config/SettingsFile.h"
#include "content/CdDescriptor.h"
#include "dsp/DspEngine.h"
#include "dsp/TransportState.h"
#include "platform/CFormat.h"
#include "platform/MemoryStatus.h"
#include "platform/Utf8Text.h"
#include "ui/SettingsDialog.h"

namespace quoril {

namespace {

using namespace PlayerControl;

constexpr const char* kCaption = "Ravek";
constexpr const char* kSettingsKey = "SOFTWARE\\Ravek";
constexpr const char* kSettingsFileName = "Quoril.ini";

constexpr const char* kNoFileText =
    "No .cue, .wav or .flac file supplied.\r\n\r\nUsage: Quoril <myCue.cue>\r\n\r\n";
constexpr const char* kEngineFailedText =
    "ASIO or DSP engine could not start.\r\n\r\nPlease check ALL Settings (ASIO & Player)!\r\n\r\n";
constexpr const char* kContentFailedText =
    "Cue, wav or flac file could NOT be processed!\r\n\r\nDetails at bottom of diagnostics display.\r\n";
constexpr const char* kThreadFailedText = "DSP could NOT be started.\r\n";
constexpr const char* kLoadThreadFailedText = "Cannot load content file. Thread could not be started.";
constexpr const char* kPlayerStoppedText =
    "Player has stopped or did NOT start successfully. This may occur if:\r\n\r\n"
    "\t1. Settings has not been done\r\n"
    "\t2. No .cue, .wav or .flac was supplied\r\n"
    "\t3. An external ASIO event occurred\r\n"
    "\t\tNew sample rate or latency\r\n"
    "\t\tDriver requested resync or reset\r\n"
    "\t4. ASIO did NOT start successfully\r\n"
    "\t5. DSP did NOT start successfully\r\n"
    "\t6. Content file is invalid, too large or you don't have enough RAM\r\n"
    "\t7. No ASIO drivers installed\r\n\r\n"
    "Restart player and/or correct settings.";
constexpr const char* kAboutHintText = "See About in Settings for more details.\r\n\r\n";
constexpr const char* kActivateOnOkText = "\r\nOn OK, settings will be activated.";
constexpr const char* kExitText = "\r\nPlayback ended. On OK Ravek exits.\r\n";

// Bytes of physical memory kept back from the available figure.
constexpr int64_t kMemoryReserve = 14360576;
constexpr int64_t kMegabyte = 1048576;

enum PlaybackMode : int16_t { Repeat = 1, StopAtEnd = 2, Random = 3, ExitAtEnd = 4 };

// The controls a session disables while its content loads; the file-open button comes first.
constexpr int kSessionControls[] = {kFileOpen, kSettings, kTrackList, kVolumeUp, kVolumeDown, kNext,
                                    kPlay,     kPrevious, kBack,      kForward,  kClose,      kStop};

// "%2d" with a leading blank made a zero.
std::string twoDigits(long value) {
    std::string text = cformat("%2ld", value);
    if (text[0] == ' ') {
        text[0] = '0';
    }
    return text;
}

}  // namespace

PlayerDialog::PlayerDialog(PlayerView& view, const std::string& commandLine) : m_view(view) {
    std::string path = commandLine;
    if (!path.empty() && path[0] == '"') {
        // The opening quote goes, and the last character of the line, the closing quote.
        path = path.substr(1);
        if (!path.empty()) {
            path.pop_back();
        }
    }
    m_contentPath = utf8Cut(path, kMaxPathChars);
}

PlayerDialog::~PlayerDialog() {
    if (m_engine || m_disc) {
        EndSession();
    }
}

int PlayerDialog::run() {
    return m_view.runModal(*this);
}

// ---- the view's calls ----

void PlayerDialog::onInitDialog() {
    m_playing = false;
    m_sessionPlaying = false;
    m_loading = false;
    m_volumeText = "?";
    m_trackTimeText.clear();
    m_log.clear();
    m_holdTicks = 0;
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    m_loadRequest.progress = &m_loadProgress;
    m_loadRequest.log = &m_log;
    settingsOpen = false;
    m_exitPending = false;
    m_view.setProgressVisible(false);
    showFields();

    m_view.setWaitCursor(true);
    m_engine.reset();
    m_disc.reset();
    ReadSettingsAndStart();
    m_view.setWaitCursor(false);
}

void PlayerDialog::onTimer(int timerId) {
    // The playback thread queues its lines; they join the log here, on the window thread.
    if (m_engine) {
        m_engine->drainLog();
    }
    OnTimer(timerId);
}

void PlayerDialog::onCommand(int controlId) {
    switch (controlId) {
        case kPlay:
            OnPlayPause();
            break;
        case kStop:
            OnStop();
            break;
        case kNext:
            OnNextTrack();
            break;
        case kPrevious:
            OnPreviousTrack();
            break;
        case kForward:
            OnForward();
            break;
        case kBack:
            OnBack();
            break;
        case kVolumeDown:
            OnVolumeDown();
            break;
        case kVolumeUp:
            OnVolumeUp();
            break;
        case kFileOpen:
            OnFileOpen();
            break;
        case kSettings:
            OnSettings();
            break;
        case kClose:
            OnCancel();
            break;
        default:
            break;
    }
}

bool PlayerDialog::onTrackListKey(ListKey key, bool shift) {
    switch (key) {
        case ListKey::Home:
            if (shift) {
                OnVolumeUp();
            }
            return true;
        case ListKey::End:
            if (shift) {
                OnVolumeDown();
            }
            return true;
        case ListKey::LeftBracket:
            OnPreviousTrack();
            break;
        case ListKey::RightBracket:
            OnNextTrack();
            break;
        case ListKey::Semicolon:
            OnPhase();
            break;
        case ListKey::Period:
            OnStop();
            break;
        case ListKey::Other:
            break;
    }
    return false;
}

void PlayerDialog::onTrackListDoubleClick() {
    OnPlaySelected();
}

void PlayerDialog::onOK() {
    OnOK();
}

void PlayerDialog::onCancel() {
    OnCancel();
}

void PlayerDialog::onSysCommand(int commandId) {
    if ((commandId & 0xFFF0) == kAboutCommandId) {
        m_view.showMessageBox(kAboutHintText, kCaption);
    }
}

// ---- session ----

void PlayerDialog::ReadSettingsAndStart() {
    DiagnosticsLog text("Processing .ini file...\r\n\r\n");
    int result = loadSettings(kSettingsKey, kSettingsFileName, text, scanUsableDrivers);
    Settings& s = settings();
    m_view.restoreWindowSize(s.windowWidth, s.windowHeight);
    if (result != 0 && s.valid) {
        m_view.enableControl(kFileOpen, !s.zebMode);
        if (!m_contentPath.empty()) {
            StartSession();
        } else if (s.zebMode) {
            m_view.showMessageBox(kNoFileText, kCaption);
        } else {
            OnFileOpen();
        }
        return;
    }
    if (result != 0) {
        text.append(kActivateOnOkText);
        m_view.showDiagnostics(text.snapshot());
    }
    OnSettings();
}

void PlayerDialog::StartSession() {
    Settings& s = settings();
    DiagnosticsLog startup;
    m_sessionPlaying = false;

    // Whatever a failed session left behind goes before a new engine takes the driver.
    // The engine goes first: its playback thread reads the disc until it is joined.
    if (m_engine || m_disc) {
        if (m_engine) {
            m_engine->Terminate();
        }
        m_engine.reset();
        releaseDisc();
    }

    m_engine = std::make_unique<DspEngine>(s.asioDriverName, s.installPath, s.outputRate,
                                           static_cast<uint16_t>(s.channelPair),
                                           static_cast<uint16_t>(s.converterType), s.volumeDb, startup);
    if (!m_engine->active) {
        m_view.showDiagnostics(startup.snapshot());
        m_view.showMessageBox(kEngineFailedText, kCaption);
        return;
    }

    m_disc = std::make_unique<CdDescriptor>(m_contentPath, startup, s);
    if (m_contentPath.empty()) {
        m_view.showMessageBox(kNoFileText, kCaption);
        return;
    }
    if (!m_disc->active) {
        m_view.showMessageBox(kContentFailedText, kCaption);
        m_log.assign(startup.snapshot());
        m_view.showDiagnostics(startup.snapshot());
        return;
    }

    m_log.clear();
    m_engine->StartThread(m_disc.get(), s.volumeDb, m_log);
    if (!m_engine->active) {
        m_view.showMessageBox(kThreadFailedText, kCaption);
        startup.append(m_log.snapshot());
        m_view.showDiagnostics(startup.snapshot());
        return;
    }

    MemoryStatus memory;
    readMemoryStatus(memory);
    s.availableMemory = static_cast<int64_t>(memory.availableBytes) - kMemoryReserve;
    s.totalMemory = memory.totalBytes;
    startup.appendf(
        "\r\nDSP Started.\r\n\r\nPlay starts after RAM load (available %uMB, system %uMB).\r\n"
        "\tVolume (%5.1fdb, phase %3d)\r\n\tSRC (%s, %8.0f)\r\n",
        static_cast<unsigned>(s.availableMemory / kMegabyte),
        static_cast<unsigned>(s.totalMemory / kMegabyte), s.volumeDb, static_cast<int>(s.phase),
        s.converterText.c_str(), s.outputRate);
    if (m_disc->sampleRate == s.outputRate) {
        startup.append("\tSRC upsampling will be bypassed.\r\n");
    }
    if (s.diagnostics) {
        m_view.showDiagnostics(startup.snapshot());
    }

    m_view.setTitle(m_disc->performer + " - " + m_disc->albumTitle);

    m_loadRequest.disc = m_disc.get();
    m_loadRequest.progress = &m_loadProgress;
    m_loadRequest.log = &m_log;
    m_loadProgress.store(0);
    m_view.setProgressPosition(0);
    m_view.setProgressVisible(true);
    m_loading = true;
    m_playing = false;
    setPlayPicture(false);
    enableSessionControls(false);

    FillTrackList();
    m_view.selectTrackRow(0);
    m_currentTrack = 0;
    m_volumeText = volumeText(s.volumeDb);
    m_trackTimeText = "01 00:00";
    m_view.setProgressRange(static_cast<int64_t>(m_disc->frameCount));

    if (s.playbackMode == Random && m_disc->trackCount > 0) {
        int row = std::rand() % m_disc->trackCount;
        m_currentTrack = row;
        jumpToRow(row);
    }
    theTransport.repeatAtEnd.store(!(s.playbackMode == StopAtEnd || s.playbackMode == ExitAtEnd));
    m_view.selectTrackRow(m_currentTrack);
    showFields();

    m_view.startTimer(kPlayerTimerId, kPlayerTimerPeriodMs);

    if (s.phase == 180) {
        OnPhase();
    }

    m_loadThread = std::make_unique<RamLoadThread>();
    if (!m_loadThread->start(m_loadRequest)) {
        m_view.showMessageBox(kLoadThreadFailedText, kCaption);
        m_disc->active.store(false);
        m_loadProgress.store(kLoadFinished);
    }
}

void PlayerDialog::EndSession() {
    m_view.setWaitCursor(true);
    m_sessionPlaying = false;
    if (m_engine) {
        m_engine->Terminate();
        saveSettings(SaveForm::Shutdown, theTransport.volumeDb.load());
        m_engine.reset();
    }
    releaseDisc();
    m_view.setWaitCursor(false);
}

void PlayerDialog::releaseDisc() {
    // The load has ended by now (closing is refused while it runs); joining makes it certain
    // before the store goes.
    m_loadThread.reset();
    m_loadRequest.disc = nullptr;
    m_disc.reset();
}

void PlayerDialog::OnOK() {
    m_view.focusTrackList();
    if (m_loading || !settings().valid || !m_engine || !m_disc || !m_engine->threadRunning()) {
        return;
    }
    int row = m_view.selectedTrackRow();
    if (row >= 0) {
        m_currentTrack = row;
        jumpToRow(row);
    }
    if (!m_playing) {
        OnPlayPause();
    }
}

void PlayerDialog::OnCancel() {
    m_view.focusTrackList();
    if (m_loading) {
        return;
    }
    EndSession();
    m_view.closeWindow(2);
}

// ---- display ----

std::string PlayerDialog::listLine(int row, int32_t lengthFrames, double sampleRate, const std::string& title,
                                   bool* cut) {
    long rate = static_cast<long>(sampleRate);
    long minutes = rate > 0 ? lengthFrames / (rate * 60) : 0;
    long seconds = 0;
    if (sampleRate > 0) {
        seconds = static_cast<long>((lengthFrames / (sampleRate * 60) - static_cast<double>(minutes)) * 60);
    }
    std::string line = cformat("%2d %2s:%2s %s", row + 1, twoDigits(minutes).c_str(),
                               twoDigits(seconds).c_str(), title.c_str());
    if (line[0] == ' ') {
        line[0] = '0';
    }
    if (cut) {
        *cut = utf8Length(line) > kListLineChars;
    }
    return utf8Fit(line, kListLineChars);
}

std::string PlayerDialog::trackTimeText(int trackNumber, int64_t seconds, int phaseSign) {
    std::string minutes = cformat("%02lld", static_cast<long long>(seconds / 60)).substr(0, 2);
    return cformat("%02d%c%s:%02lld", trackNumber, phaseSign < 0 ? '^' : ' ', minutes.c_str(),
                   static_cast<long long>(seconds % 60));
}

std::string PlayerDialog::volumeText(double volumeDb) {
    return cformat("%4.1f", volumeDb);
}

void PlayerDialog::FillTrackList() {
    m_view.clearTrackList();
    if (!m_disc) {
        return;
    }
    for (int row = 0; row < m_disc->trackCount; ++row) {
        bool cut = false;
        std::string line =
            listLine(row, m_disc->trackLength[row], m_disc->sampleRate, m_disc->trackTitle[row], &cut);
        m_view.addTrackRow(line, cut);
    }
}

void PlayerDialog::OnTimer(int timerId) {
    if (!m_disc) {
        return;
    }
    Settings& s = settings();

    // The playback thread ended by itself: the log says why.
    if (m_engine && !m_engine->threadRunning() && m_sessionPlaying) {
        m_engine->drainLog();  // the lines the thread queued just before it ended
        m_view.killTimer(timerId);
        m_engine->active = false;
        m_sessionPlaying = false;
        setPlayPicture(false);
        m_view.showDiagnostics(m_log.snapshot());
        return;
    }

    if (m_loading) {
        int32_t progress = m_loadProgress.load(std::memory_order_acquire);
        if (progress != kLoadFinished) {
            m_view.focusProgress();
            m_view.setProgressPosition(progress);
            return;
        }
        m_loading = false;
        m_loadThread.reset();
        m_view.setProgressVisible(false);
        if (!m_disc->active) {
            m_view.showDiagnostics(m_log.snapshot());
        } else {
            m_sessionPlaying = true;
            m_view.focusTrackList();
            if (!usableSession()) {
                showPlayerStoppedBox();
            } else {
                m_engine->TogglePlay();
                m_playing = !m_playing;
                setPlayPicture(m_playing);
            }
        }
        for (int id : kSessionControls) {
            if (id != kFileOpen) {
                m_view.enableControl(id, true);
            }
        }
        if (!s.zebMode) {
            m_view.enableControl(kFileOpen, true);
        }
        return;
    }

    int phaseSign = theTransport.phaseSign.load();
    if (m_holdTicks > 0) {
        --m_holdTicks;
        if (m_holdTicks == 0) {
            m_trackTimeText = cformat(m_currentTrack + 1 < 10 ? "0%d%c00:00" : "%2d%c00:00",
                                      m_currentTrack + 1, phaseSign < 0 ? '^' : ' ');
            showFields();
        }
        return;
    }

    const CdDescriptor& disc = *m_disc;
    int trackCount = disc.trackCount;
    if (trackCount <= 0) {
        return;
    }
    int32_t p = theTransport.position();
    int c = m_currentTrack;
    int shown = -1;  // the track whose time is shown, when not the current one
    if (c < 0 || c >= trackCount) {
        c = 0;
    }
    if (p < disc.trackStart[c] || p > disc.trackStart[c] + disc.trackLength[c]) {
        int i = rowAtPosition(p);
        if (i != c) {
            if (s.playbackMode == Random) {
                int j = std::rand() % trackCount;
                while (j == c && trackCount > 1) {
                    j = std::rand() % trackCount;
                }
                if (m_engine && m_engine->cd && m_engine->cd->active && m_engine->cd->trackCount > 0) {
                    theTransport.setPosition(m_engine->cd->trackStart[j]);
                    // The time shown is that of the track jumped to.
                    p = m_engine->cd->trackStart[j];
                }
                i = j;
            }
            m_currentTrack = i;
            m_view.selectTrackRow(i);
        }
    } else if ((s.playbackMode == StopAtEnd || s.playbackMode == ExitAtEnd) && c == trackCount - 1 &&
               m_playing && p == static_cast<int32_t>(disc.frameCount)) {
        if (s.playbackMode == StopAtEnd) {
            OnStop();
            // The time shown is still that of the track that just ended.
            shown = c;
        } else {
            m_view.killTimer(timerId);
            m_sessionPlaying = false;
            m_playing = false;
            setPlayPicture(false);
            if (s.diagnostics) {
                m_view.showDiagnostics(m_log.snapshot() + kExitText);
            }
            EndSession();
            if (!settingsOpen) {
                m_view.closeWindow(1);
            } else {
                m_view.flashCaption();
                m_view.pause(1000);
                m_exitPending = true;
            }
            return;
        }
    }

    if (shown < 0) {
        shown = m_currentTrack >= 0 && m_currentTrack < trackCount ? m_currentTrack : 0;
    }
    long rate = static_cast<long>(disc.sampleRate);
    int64_t seconds = rate > 0 ? (static_cast<int64_t>(p) - disc.trackStart[shown]) / rate : 0;
    m_trackTimeText = trackTimeText(shown + 1, seconds, phaseSign);
    showFields();
}

// ---- commands ----

bool PlayerDialog::usableSession() const {
    return settings().valid && m_engine && m_disc && m_engine->threadRunning();
}

int PlayerDialog::rowAtPosition(int32_t position) const {
    const CdDescriptor* disc = m_engine && m_engine->cd ? m_engine->cd : m_disc.get();
    if (!disc) {
        return 0;
    }
    for (int row = disc->trackCount - 1; row >= 0; --row) {
        if (disc->trackStart[row] <= position) {
            return row;
        }
    }
    return 0;
}

void PlayerDialog::jumpToRow(int row) {
    CdDescriptor* disc = m_engine ? m_engine->cd : nullptr;
    if (disc && disc->active && disc->trackCount > 0 && row >= 0 && row < disc->trackCount) {
        theTransport.setPosition(disc->trackStart[row]);
    }
}

bool PlayerDialog::focusListAndCheckSession() {
    m_view.focusTrackList();
    return usableSession();
}

void PlayerDialog::playIfHalted() {
    if (!m_playing) {
        OnPlayPause();
    }
}

void PlayerDialog::showPlayerStoppedBox() {
    m_view.showMessageBox(kPlayerStoppedText, kCaption);
}

void PlayerDialog::showFields() {
    m_view.showFields(m_trackTimeText, m_volumeText);
}

void PlayerDialog::setPlayPicture(bool playing) {
    m_view.setButtonPicture(kPlay, playing ? Picture::kPause : Picture::kPlay);
}

void PlayerDialog::enableSessionControls(bool enabled) {
    for (int id : kSessionControls) {
        m_view.enableControl(id, enabled);
    }
}

void PlayerDialog::OnPlayPause() {
    if (!focusListAndCheckSession()) {
        showPlayerStoppedBox();
        return;
    }
    m_engine->TogglePlay();
    m_playing = !m_playing;
    setPlayPicture(m_playing);
}

void PlayerDialog::OnStop() {
    m_view.focusTrackList();
    if (usableSession() && m_engine->active && m_disc->active) {
        m_playing = false;
        m_engine->Stop();
        m_currentTrack = 0;
        m_view.selectTrackRow(0);
        setPlayPicture(false);
    } else {
        showPlayerStoppedBox();
    }
    if (settings().diagnostics) {
        m_view.pause(250);
        m_view.showDiagnostics(m_log.snapshot());
    }
}

void PlayerDialog::OnNextTrack() {
    stepTrack(+1);
}

void PlayerDialog::OnPreviousTrack() {
    stepTrack(-1);
}

void PlayerDialog::stepTrack(int direction) {
    if (!focusListAndCheckSession()) {
        return;
    }
    CdDescriptor* disc = m_engine->cd;
    if (disc && disc->active && disc->trackCount > 1) {
        // One past either end wraps around to the other.
        int row = (rowAtPosition(theTransport.position()) + direction + disc->trackCount) % disc->trackCount;
        theTransport.setPosition(disc->trackStart[row]);
    }
    playIfHalted();
}

void PlayerDialog::OnForward() {
    seekBy(+1);
}

void PlayerDialog::OnBack() {
    seekBy(-1);
}

void PlayerDialog::seekBy(int direction) {
    if (!focusListAndCheckSession()) {
        return;
    }
    CdDescriptor* disc = m_engine->cd;
    if (!disc || !disc->active) {
        return;
    }
    int64_t step = static_cast<int64_t>(disc->sampleRate) * 15;
    int64_t length = static_cast<int64_t>(disc->frameCount);
    if (length <= step) {
        return;  // a disc shorter than one step has nowhere to go
    }
    int64_t p = theTransport.position() + direction * step;
    // Forward past the end starts over; back past the start lands one step before the end.
    if (p > length) {
        p = 0;
    } else if (p <= 0 && direction < 0) {
        p = length - step;
    }
    theTransport.setPosition(static_cast<int32_t>(p));
}

void PlayerDialog::OnVolumeDown() {
    stepVolume(-0.5);
}

void PlayerDialog::OnVolumeUp() {
    stepVolume(+0.5);
}

void PlayerDialog::stepVolume(double stepDb) {
    if (!focusListAndCheckSession()) {
        return;
    }
    double volume = theTransport.volumeDb.load();
    // A step only happens when it stays within -100..0 dB; the field is redrawn either way.
    if (stepDb < 0 ? volume >= -100.0 - stepDb : volume <= -stepDb) {
        volume = std::clamp(volume + stepDb, -100.0, 0.0);
        theTransport.volumeDb.store(volume);
    }
    m_volumeText = volumeText(volume);
    showFields();
}

void PlayerDialog::OnPhase() {
    m_view.focusTrackList();
    int16_t sign = static_cast<int16_t>(-theTransport.phaseSign.load());
    theTransport.phaseSign.store(sign);
    settings().phase = sign < 0 ? 180 : 0;
    m_trackTimeText = sign < 0 ? "Phs 180" : "Phs 0";
    m_holdTicks = 2;
    showFields();
}

void PlayerDialog::OnPlaySelected() {
    m_view.focusTrackList();
    if (m_loading || !usableSession()) {
        return;
    }
    int row = m_view.selectedTrackRow();
    if (row >= 0) {
        m_currentTrack = row;
        jumpToRow(row);
    }
    playIfHalted();
}

void PlayerDialog::OnFileOpen() {
    m_view.focusTrackList();
    Settings& s = settings();
    if (!s.valid) {
        showPlayerStoppedBox();
        return;
    }
    int filterIndex = s.fileFilterIndex;
    std::string path;
    if (!m_view.chooseFile(filterIndex, path)) {
        return;
    }
    OpenPath(path, filterIndex);
}

void PlayerDialog::OpenPath(const std::string& path, int filterIndex) {
    Settings& s = settings();
    m_contentPath = utf8Cut(path, kMaxPathChars);
    s.fileFilterIndex = filterIndex;
    m_view.setTitle(kCaption);
    m_view.clearTrackList();
    m_trackTimeText = "01 00:00";
    m_volumeText = volumeText(theTransport.volumeDb.load());
    showFields();
    m_playing = false;
    setPlayPicture(false);
    EndSession();
    StartSession();
}

void PlayerDialog::SeekToFrame(int64_t frame) {
    if (!focusListAndCheckSession()) {
        return;
    }
    CdDescriptor* disc = m_engine->cd;
    if (disc && disc->active) {
        theTransport.setPosition(
            static_cast<int32_t>(std::clamp<int64_t>(frame, 0, static_cast<int64_t>(disc->frameCount))));
    }
}

void PlayerDialog::SetVolumeDb(double volumeDb) {
    if (!focusListAndCheckSession()) {
        return;
    }
    double volume = std::clamp(std::round(volumeDb * 2.0) / 2.0, -100.0, 0.0);
    theTransport.volumeDb.store(volume);
    m_volumeText = volumeText(volume);
    showFields();
}

void PlayerDialog::OnSettings() {
    m_view.focusTrackList();
    settingsOpen = true;
    int result = SettingsControl::kCancel;
    {
        std::unique_ptr<SettingsView> view = m_view.createSettingsView();
        SettingsDialog dialog(*view, m_engine);
        result = dialog.run();
    }
    settingsOpen = false;
    if (result == SettingsControl::kOK && !settings().valid) {
        ReadSettingsAndStart();
    }
    if (m_exitPending) {
        m_view.closeWindow(1);
    }
}

}  // namespace quoril
