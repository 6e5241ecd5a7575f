#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "support/TempDir.h"

namespace quoril::test {

bool waitForChild(pid_t pid, std::chrono::milliseconds deadline, int& status) {
    // A pidfd becomes readable when the process ends.
    const auto end = std::chrono::steady_clock::now() + deadline;
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    pollfd fd{pidfd, POLLIN, 0};
    int ready = -1;
    for (auto left = deadline; pidfd >= 0 && left.count() > 0 && ready < 0;
         left =
             std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())) {
        ready = poll(&fd, 1, static_cast<int>(left.count()));
        ready = ready < 0 && errno != EINTR ? 0 : ready;
    }
    if (ready <= 0) {
        kill(pid, SIGKILL);
    }
    waitpid(pid, &status, 0);
    close(pidfd);
    return ready > 0;
}

pid_t spawnProcess(const std::vector<std::string>& argv,
                   const std::vector<std::pair<std::string, std::string>>& environment,
                   const std::string& workDir, int inputFd, int outputFd, int errorFd) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    // Only async-signal-safe work from here on, apart from setenv in the fresh child.
    if (inputFd < 0) {
        inputFd = open("/dev/null", O_RDONLY);
    }
    if ((inputFd >= 0 && dup2(inputFd, STDIN_FILENO) < 0) ||
        (outputFd >= 0 && dup2(outputFd, STDOUT_FILENO) < 0) ||
        (errorFd >= 0 && dup2(errorFd, STDERR_FILENO) < 0)) {
        _exit(127);
    }
    for (const auto& [name, value] : environment) {
        if (value.empty()) {
            unsetenv(name.c_str());
        } else {
            setenv(name.c_str(), value.c_str(), 1);
        }
    }
    if (!workDir.empty() && chdir(workDir.c_str()) != 0) {
        _exit(127);
    }
    execv(args[0], args.data());
    _exit(127);
}

ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& environment,
                         const std::string& workDir, std::chrono::milliseconds deadline) {
    ProcessResult result;
    TempDir outputs;
    int out = open(outputs.file("stdout").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    int err = open(outputs.file("stderr").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const pid_t pid = out >= 0 && err >= 0 ? spawnProcess(argv, environment, workDir, -1, out, err) : -1;
    close(out);
    close(err);
    int status = 0;
    if (pid > 0) {
        result.finished = waitForChild(pid, deadline, status);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    result.out = readFile(outputs.file("stdout"));
    result.err = readFile(outputs.file("stderr"));
    return result;
}

}  // namespace quoril::test
