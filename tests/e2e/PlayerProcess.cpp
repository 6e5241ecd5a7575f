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
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const std::string outPath = m_dir.file("stdout");

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return;
    }
    m_pid = fork();
    if (m_pid < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return;
    }
    if (m_pid == 0) {
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(pipeFds[0], STDIN_FILENO) < 0) {
            _exit(127);
        }
        for (const auto& [name, value] : environment) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipeFds[0]);
    m_input = pipeFds[1];
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
