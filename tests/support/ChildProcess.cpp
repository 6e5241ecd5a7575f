#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "support/TempDir.h"

namespace quoril::test {

bool waitForChild(pid_t pid, std::chrono::milliseconds deadline, int& status) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    // A pidfd becomes readable when the process ends.
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    bool exited = false;
    while (!exited) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        if (pidfd >= 0) {
            pollfd fd{pidfd, POLLIN, 0};
            int ready = poll(&fd, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready <= 0) {
                break;
            }
        }
        // Readable pidfd (or no pidfd at all): the child has ended, or this blocks until it does.
        pid_t reaped = waitpid(pid, &status, 0);
        if (reaped == pid) {
            exited = true;
        } else if (reaped < 0 && errno != EINTR) {
            break;
        }
    }
    if (!exited) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    if (pidfd >= 0) {
        close(pidfd);
    }
    return exited;
}

pid_t spawnProcess(const std::vector<std::string>& argv,
                   const std::vector<std::pair<std::string, std::string>>& environment,
                   const std::string& workDir, int inputFd, int outputFd, int errorFd) {
    if (argv.empty()) {
        return -1;
    }
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
    const std::string outPath = outputs.file("stdout");
    const std::string errPath = outputs.file("stderr");
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_t pid = out >= 0 && err >= 0 ? spawnProcess(argv, environment, workDir, -1, out, err) : -1;
    if (out >= 0) {
        close(out);
    }
    if (err >= 0) {
        close(err);
    }
    if (pid < 0) {
        return result;
    }

    int status = 0;
    result.finished = waitForChild(pid, deadline, status);
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

}  // namespace quoril::test
