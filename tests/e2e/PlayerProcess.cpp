#include "e2e/PlayerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/ProcessList.h"
#include "support/ChildProcess.h"
#include "ui/PlayerEnvironment.h"

namespace quoril::test {

PlayerProcess::PlayerProcess(const std::vector<std::string>& args, const Environment& environment,
                             bool alone) {
    if (alone && !waitUntil([] { return countProcessesNamed("quoril") == 0; }, std::chrono::seconds(120))) {
        return;
    }
    std::vector<std::string> argv = {buildDir() + "/bin/quoril"};
    argv.insert(argv.end(), args.begin(), args.end());
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return;
    }
    int out = open(m_dir.file("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    m_pid = out >= 0 ? spawnProcess(argv, environment, std::string(), pipeFds[0], out, -1) : -1;
    close(out);
    close(pipeFds[0]);
    m_input = pipeFds[1];
}

PlayerProcess::~PlayerProcess() {
    close(m_input);
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

void PlayerProcess::type(const std::string& keys) {
    [[maybe_unused]] ssize_t written = write(m_input, keys.data(), keys.size());
}

bool PlayerProcess::wait(std::chrono::milliseconds deadline) {
    close(m_input);  // nothing more to type: a question on the terminal reads the end of input
    m_input = -1;
    int status = 0;
    bool ended = m_pid > 0 && waitForChild(m_pid, deadline, status);
    m_exitCode = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_pid = -1;
    return ended;
}

}  // namespace quoril::test
