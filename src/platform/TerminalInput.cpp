#include "platform/TerminalInput.h"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quoril {

static_assert(sizeof(termios) <= 128, "the saved terminal state must fit");

namespace {

// The terminal state to put back when an interrupt or termination signal ends the program
// while keys are read one by one (otherwise the shell would be left without echo).
termios g_restoreState;
volatile sig_atomic_t g_restoreArmed = 0;

extern "C" void restoreTerminalAndDie(int signalNumber) {
    if (g_restoreArmed) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_restoreState);
    }
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

}  // namespace

TerminalInput::TerminalInput() = default;

TerminalInput::~TerminalInput() {
    restore();
}

bool TerminalInput::inputIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}

bool TerminalInput::outputIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

void TerminalInput::enterKeyMode() {
    if (m_keyMode || !inputIsTerminal()) {
        return;
    }
    termios state{};
    if (tcgetattr(STDIN_FILENO, &state) != 0) {
        return;
    }
    std::memcpy(m_savedState, &state, sizeof state);
    m_saved = true;
    state.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    state.c_cc[VMIN] = 1;
    state.c_cc[VTIME] = 0;
    std::memcpy(&g_restoreState, m_savedState, sizeof state);
    g_restoreArmed = 1;
    signal(SIGINT, restoreTerminalAndDie);
    signal(SIGTERM, restoreTerminalAndDie);
    signal(SIGHUP, restoreTerminalAndDie);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &state) == 0) {
        m_keyMode = true;
    }
}

void TerminalInput::restore() {
    if (!m_keyMode || !m_saved) {
        return;
    }
    termios state{};
    std::memcpy(&state, m_savedState, sizeof state);
    tcsetattr(STDIN_FILENO, TCSANOW, &state);
    g_restoreArmed = 0;
    m_keyMode = false;
}

TerminalInput::Result TerminalInput::readByte(int timeoutMs, char& byte, int sourceFd) {
    if (m_ended) {
        if (sourceFd < 0 || timeoutMs < 0) {
            return Result::End;
        }
        pollfd source{sourceFd, POLLIN, 0};
        return poll(&source, 1, timeoutMs < 0 ? -1 : timeoutMs) > 0 ? Result::Source : Result::End;
    }
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {sourceFd, POLLIN, 0}};
    int ready = poll(fds, sourceFd < 0 ? 1 : 2, timeoutMs < 0 ? -1 : timeoutMs);
    if (ready < 0) {
        return errno == EINTR ? Result::Timeout : (m_ended = true, Result::End);
    }
    if (ready == 0) {
        return Result::Timeout;
    }
    if (fds[0].revents == 0) {
        return Result::Source;
    }
    ssize_t n = read(STDIN_FILENO, &byte, 1);
    if (n == 1) {
        return Result::Byte;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        return Result::Timeout;
    }
    m_ended = true;
    return Result::End;
}

bool TerminalInput::readLine(std::string& line) {
    line.clear();
    bool wasKeyMode = m_keyMode;
    if (wasKeyMode) {
        restore();
    }
    bool gotAny = false;
    char byte = 0;
    while (true) {
        Result result = readByte(-1, byte);
        if (result == Result::End) {
            break;
        }
        if (result != Result::Byte) {
            continue;
        }
        gotAny = true;
        if (byte == '\n') {
            break;
        }
        if (byte != '\r') {
            line.push_back(byte);
        }
    }
    if (wasKeyMode) {
        enterKeyMode();
    }
    return gotAny;
}

}  // namespace quoril
