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

// Waits (on its pidfd) for the child pid to end, at most deadline; then kills it. Reaps it into
// status (waitpid's); true when it ended by itself.
bool waitForChild(pid_t pid, std::chrono::milliseconds deadline, int& status);

// Starts argv[0] with the given arguments in workDir (empty: the current directory), with the
// current environment plus the given variables (an empty value unsets one), on the given standard
// descriptors (-1: /dev/null for input, inherited for the others). Returns its pid, or -1.
pid_t spawnProcess(const std::vector<std::string>& argv,
                   const std::vector<std::pair<std::string, std::string>>& environment,
                   const std::string& workDir, int inputFd, int outputFd, int errorFd);

// Runs argv[0] as spawnProcess does, collecting its standard output and error in full.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& environment,
                         const std::string& workDir = std::string(),
                         std::chrono::milliseconds deadline = std::chrono::seconds(60));

}  // namespace quoril::test
