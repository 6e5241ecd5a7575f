#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

#include "support/TempDir.h"

namespace quoril::test {

// A private JACK server for one test: `jackd -d dummy` under a name of its own, made the default
// server of this process (JACK_DEFAULT_SERVER), so JACK clients opened afterwards reach it.
class JackServer {
  public:
    JackServer() = default;
    ~JackServer();  // stops the server if it still runs
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    // Starts the server and waits until a client can connect. False, with why set (including
    // the server's own output), when it cannot start here.
    bool start(unsigned rate, unsigned periodFrames, std::string& why);
    // Ends the server with SIGTERM, the way a user shuts it down, and reaps it.
    void stop();
    bool running() const { return m_pid > 0; }

  private:
    TempDir m_dir;
    pid_t m_pid = -1;
};

}  // namespace quoril::test
