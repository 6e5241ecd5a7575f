#include "ui/console/ConsolePlayerView.h"

#include <algorithm>
#include <cctype>
#include <thread>

#include "config/Settings.h"
#include "ui/console/ConsoleSettingsView.h"

namespace quoril {

namespace {

constexpr char kEscapeByte = 0x1b;

bool endsWith(const std::string& text, const char* suffix) {
    std::string tail(suffix);
    if (text.size() < tail.size()) {
        return false;
    }
    return std::equal(tail.rbegin(), tail.rend(), text.rbegin(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

}  // namespace

ConsolePlayerView::ConsolePlayerView(std::FILE* out)
    : m_out(out), m_outputTerminal(out == stdout && TerminalInput::outputIsTerminal()) {}

ConsolePlayerView::~ConsolePlayerView() {
    m_input.restore();
}

std::string ConsolePlayerView::boxText(const std::string& caption, const std::string& text) {
    std::string out = "== " + caption + " ==\n";
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out.push_back(text[i]);
    }
    if (out.back() != '\n') {
        out.push_back('\n');
    }
    return out;
}

void ConsolePlayerView::print(const std::string& text) {
    if (m_statusOpen) {
        std::fputc('\n', m_out);
        m_statusOpen = false;
    }
    std::fputs(text.c_str(), m_out);
    std::fflush(m_out);
}

int ConsolePlayerView::runModal(PlayerController& controller) {
    m_controller = &controller;
    m_closed = false;
    m_input.enterKeyMode();
    if (TerminalInput::inputIsTerminal()) {
        print(
            "Keys: space play/pause  . stop  [ ] track  b f seek  - + volume  ; phase  "
            "Enter play selected  o open  s settings  q quit\n");
    }
    controller.onInitDialog();
    printTrackListOnce();

    while (!m_closed) {
        int timeoutMs = -1;
        if (!m_timers.empty()) {
            Clock::time_point next = m_timers.front().next;
            for (const Timer& timer : m_timers) {
                next = std::min(next, timer.next);
            }
            auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
            timeoutMs = static_cast<int>(std::max<long long>(0, wait));
        }
        char byte = 0;
        TerminalInput::Result result = m_input.readByte(timeoutMs, byte, m_source ? m_source->fd() : -1);
        if (result == TerminalInput::Result::Byte) {
            handleByte(byte);
        } else if (result == TerminalInput::Result::Source) {
            m_source->dispatch();
            printTrackListOnce();
        } else if (result == TerminalInput::Result::End) {
            if (m_timers.empty()) {
                // No key and no timer can come any more: the window would stay as it is forever.
                controller.onCancel();
                if (!m_closed) {
                    break;
                }
                continue;
            }
            if (!m_source || m_source->fd() < 0) {
                // With a source the wait for it has already taken the time.
                std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
            }
        }
        if (!m_closed) {
            fireDueTimers();
        }
    }
    if (m_statusOpen) {
        print("");
    }
    m_input.restore();
    m_controller = nullptr;
    m_source = nullptr;
    return m_result;
}

void ConsolePlayerView::fireDueTimers() {
    Clock::time_point now = Clock::now();
    std::vector<int> due;
    for (Timer& timer : m_timers) {
        if (timer.next <= now) {
            due.push_back(timer.id);
            timer.next += timer.period;
            if (timer.next <= now) {
                timer.next = now + timer.period;
            }
        }
    }
    for (int id : due) {
        bool stillRunning = std::any_of(m_timers.begin(), m_timers.end(),
                                        [id](const Timer& timer) { return timer.id == id; });
        if (m_closed || !stillRunning) {
            continue;
        }
        m_controller->onTimer(id);
        printTrackListOnce();
        if (!m_closed) {
            printStatus();
        }
    }
}

void ConsolePlayerView::handleByte(char byte) {
    // Arrow keys arrive as ESC [ A (up) and ESC [ B (down).
    if (m_escape == 1) {
        m_escape = byte == '[' ? 2 : 0;
        return;
    }
    if (m_escape == 2) {
        m_escape = 0;
        if (enabled(PlayerControl::kTrackList)) {
            if (byte == 'A') {
                moveSelection(-1);
            } else if (byte == 'B') {
                moveSelection(1);
            }
        }
        return;
    }
    if (byte == kEscapeByte) {
        m_escape = 1;
        return;
    }

    auto listKey = [this](ListKey key) {
        if (enabled(PlayerControl::kTrackList)) {
            m_controller->onTrackListKey(key, false);
        }
    };
    auto button = [this](int id) {
        if (enabled(id)) {
            m_controller->onCommand(id);
        }
    };
    switch (byte) {
        case '.':
            listKey(ListKey::Period);
            break;
        case '[':
            listKey(ListKey::LeftBracket);
            break;
        case ']':
            listKey(ListKey::RightBracket);
            break;
        case ';':
            listKey(ListKey::Semicolon);
            break;
        case '\n':
        case '\r':
            m_controller->onOK();
            break;
        case ' ':
            button(PlayerControl::kPlay);
            break;
        case '-':
            button(PlayerControl::kVolumeDown);
            break;
        case '+':
        case '=':
            button(PlayerControl::kVolumeUp);
            break;
        case 'b':
            button(PlayerControl::kBack);
            break;
        case 'f':
            button(PlayerControl::kForward);
            break;
        case 'o':
            button(PlayerControl::kFileOpen);
            break;
        case 's':
            button(PlayerControl::kSettings);
            break;
        case 'q':
            m_controller->onCancel();
            break;
        default:
            break;
    }
    printTrackListOnce();
}

void ConsolePlayerView::moveSelection(int step) {
    if (m_rows.empty()) {
        return;
    }
    int row = std::clamp(m_selected + step, 0, static_cast<int>(m_rows.size()) - 1);
    m_selected = row;
    print("> " + m_rows[static_cast<size_t>(row)] + "\n");
}

void ConsolePlayerView::closeWindow(int result) {
    m_result = result;
    m_closed = true;
}

void ConsolePlayerView::setTitle(const std::string& title) {
    print("--- " + title + " ---\n");
}

void ConsolePlayerView::pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ConsolePlayerView::showMessageBox(const std::string& text, const std::string& caption) {
    print(boxText(caption, text));
}

void ConsolePlayerView::showDiagnostics(const std::string& text) {
    print(boxText("Ravek Diagnostics", text));
}

void ConsolePlayerView::showErrorBox(const std::string& text) {
    print(boxText("Error", text));
}

bool ConsolePlayerView::chooseFile(int& filterIndex, std::string& path) {
    print("== Open ==\nPath of a .cue, .wav or .flac file (empty to cancel): ");
    std::string line;
    if (!m_input.readLine(line) || line.empty()) {
        print("\n");
        return false;
    }
    path = line;
    if (endsWith(line, ".cue")) {
        filterIndex = 1;
    } else if (endsWith(line, ".wav")) {
        filterIndex = 2;
    } else if (endsWith(line, ".flac")) {
        filterIndex = 3;
    }
    return true;
}

std::unique_ptr<SettingsView> ConsolePlayerView::createSettingsView() {
    print("");
    return std::make_unique<ConsoleSettingsView>(m_out, settings());
}

void ConsolePlayerView::clearTrackList() {
    m_rows.clear();
    m_rowsPrinted = false;
    m_selected = -1;
}

void ConsolePlayerView::addTrackRow(const std::string& line, bool) {
    m_rows.push_back(line);
    m_rowsPrinted = false;
}

void ConsolePlayerView::selectTrackRow(int row) {
    m_selected = row >= 0 && row < static_cast<int>(m_rows.size()) ? row : -1;
}

void ConsolePlayerView::printTrackListOnce() {
    if (m_rowsPrinted || m_rows.empty()) {
        return;
    }
    std::string text;
    for (const std::string& row : m_rows) {
        text += row + "\n";
    }
    print(text);
    m_rowsPrinted = true;
}

void ConsolePlayerView::showFields(const std::string& trackTime, const std::string& volume) {
    m_trackTime = trackTime;
    m_volume = volume;
}

void ConsolePlayerView::printStatus() {
    std::string line = m_trackTime + "  " + m_volume;
    // Someone watching a terminal also sees how far the RAM load has come.
    if (m_outputTerminal && m_progressVisible && m_progressMax > 0) {
        line += "  loading " +
                std::to_string(std::clamp<int64_t>(m_progressPosition * 100 / m_progressMax, 0, 100)) + "%";
    }
    if (m_outputTerminal) {
        std::fputs(("\r" + line + "\x1b[K").c_str(), m_out);
        m_statusOpen = true;
    } else {
        std::fputs((line + "\n").c_str(), m_out);
    }
    std::fflush(m_out);
}

void ConsolePlayerView::enableControl(int controlId, bool enabled) {
    if (enabled) {
        m_disabled.erase(controlId);
    } else {
        m_disabled.insert(controlId);
    }
}

void ConsolePlayerView::startTimer(int timerId, int periodMs) {
    killTimer(timerId);
    std::chrono::milliseconds period(periodMs);
    m_timers.push_back(Timer{timerId, period, Clock::now() + period});
}

void ConsolePlayerView::killTimer(int timerId) {
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                  [timerId](const Timer& timer) { return timer.id == timerId; }),
                   m_timers.end());
}

}  // namespace quoril
