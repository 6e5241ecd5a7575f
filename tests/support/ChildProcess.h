#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace quoril::test {

// What a finished (or abandoned) child process left behind.
struct ProcessResult {
    bool finished = false;  // false: it was still running at the deadline and has been killed
    int exitCode = -1;      // when it exited normally
    std::string out;        // its standard output
    std::string err;        // its standard error
};

// Waits for the child pid to end, at most until the deadline, without polling: the wait is on
// the process's pidfd. On timeout the child is killed and reaped. status is waitpid's status.
bool waitForChild(pid_t pid, std::chrono::milliseconds deadline, int& status);

// Starts argv[0] with the given arguments in workDir (empty: the current directory), with the
// current environment plus the given variables (an empty value unsets a variable); its standard
// input, output and error are the given descriptors (-1: /dev/null for input, inherited for the
// others). Returns the child's pid, or -1 when it could not be started.
pid_t spawnProcess(const std::vector<std::string>& argv,
                   const std::vector<std::pair<std::string, std::string>>& environment,
                   const std::string& workDir, int inputFd, int outputFd, int errorFd);

// Runs argv[0] with the given arguments in workDir (empty: the current directory), with the
// current environment plus the given variables (an empty value unsets a variable). Standard
// output and error are collected in full.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& environment,
                         const std::string& workDir = std::string(),
                         std::chrono::milliseconds deadline = std::chrono::seconds(60));

}  // namespace quoril::test
