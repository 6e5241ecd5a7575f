#include "e2e/PlayerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "support/ChildProcess.h"

namespace quoril::test {

PlayerProcess::PlayerProcess(const std::vector<std::string>& argv,
                             const std::vector<std::pair<std::string, std::string>>& environment) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return;
    }
    int out = open(m_dir.file("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    m_pid = out >= 0 ? spawnProcess(argv, environment, std::string(), pipeFds[0], out, -1) : -1;
    if (out >= 0) {
        close(out);
    }
    close(pipeFds[0]);
    if (m_pid > 0) {
        m_input = pipeFds[1];
    } else {
        close(pipeFds[1]);
    }
}

PlayerProcess::~PlayerProcess() {
    closeInput();
    if (m_pid > 0 && m_exitCode < 0) {
        kill(m_pid, SIGKILL);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
}

void PlayerProcess::type(const std::string& keys) {
    if (m_input >= 0) {
        ssize_t written = write(m_input, keys.data(), keys.size());
        (void)written;
    }
}

void PlayerProcess::closeInput() {
    if (m_input >= 0) {
        close(m_input);
        m_input = -1;
    }
}

std::string PlayerProcess::output() const {
    return readFile(m_dir.file("stdout"));
}

bool PlayerProcess::wait(std::chrono::milliseconds deadline) {
    if (m_pid <= 0) {
        return false;
    }
    int status = 0;
    bool ended = waitForChild(m_pid, deadline, status);
    m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    m_pid = -1;
    return ended;
}

}  // namespace quoril::test
