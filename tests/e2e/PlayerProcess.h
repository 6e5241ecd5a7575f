#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "support/TempDir.h"

namespace quoril::test {

using Environment = std::vector<std::pair<std::string, std::string>>;

// The quoril program of this build, started with a pipe as its standard input (a test types keys
// into it) and its standard output in a file that can be read at any time. Only one player runs
// on a machine, so unless another player is meant to run, it waits (with a deadline) until no other
// quoril process runs. Its environment is the test's (HOME, QUORIL_REGISTRY) plus `environment`.
class PlayerProcess {
  public:
    PlayerProcess(const std::vector<std::string>& args, const Environment& environment = {},
                  bool alone = true);
    ~PlayerProcess();  // kills it if it still runs
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    void type(const std::string& keys);
    std::string output() const;
    // Closes its input and waits for it to end, at most deadline (then kills it). True when it
    // ended by itself.
    bool wait(std::chrono::milliseconds deadline = std::chrono::seconds(60));
    int exitCode() const { return m_exitCode; }

  private:
    TempDir m_dir;
    pid_t m_pid = -1;
    int m_input = -1;
    int m_exitCode = -1;
};

}  // namespace quoril::test
