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
// into it) and its standard output in a file that can be read at any time; killed if it still
// runs at the end. Only one player runs on a machine: unless not `alone`, it first waits (with a
// deadline) until no other quoril process runs. Its environment is the test's plus `environment`.
class PlayerProcess {
  public:
    PlayerProcess(const std::vector<std::string>& args, const Environment& environment = {},
                  bool alone = true);
    ~PlayerProcess();
    PlayerProcess(const PlayerProcess&) = delete;
    PlayerProcess& operator=(const PlayerProcess&) = delete;

    void type(const std::string& keys);
    std::string output() const { return readFile(m_dir.file("stdout")); }
    // Closes its input, waits for its end at most deadline (then kills it); true when it ended.
    bool wait(std::chrono::milliseconds deadline = std::chrono::seconds(60));
    int exitCode() const { return m_exitCode; }

  private:
    TempDir m_dir;
    pid_t m_pid = -1;
    int m_input = -1;
    int m_exitCode = -1;
};

}  // namespace quoril::test
