#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "support/TempDir.h"

namespace quoril::test {

// A program started with a pipe as its standard input, so that a test can type keys into it
// while it runs; standard output goes to a file that can be read at any time.
class PlayerProcess {
  public:
    PlayerProcess(const std::vector<std::string>& argv,
                  const std::vector<std::pair<std::string, std::string>>& environment);
    // Kills the program if it still runs.
    ~PlayerProcess();
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    bool started() const { return m_pid > 0; }
    // Writes keys to its standard input.
    void type(const std::string& keys);
    // Closes its standard input.
    void closeInput();
    // What it has written to standard output so far.
    std::string output() const;
    // Waits for it to end, at most deadline (then kills it). True when it ended by itself.
    bool wait(std::chrono::milliseconds deadline);
    int exitCode() const { return m_exitCode; }

  private:
    TempDir m_dir;
    pid_t m_pid = -1;
    int m_input = -1;
    int m_exitCode = -1;
};

}  // namespace quoril::test
