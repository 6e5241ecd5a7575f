#include "JackServer.h"

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <vector>

#include "support/ChildProcess.h"

extern char** environ;

namespace quoril::test {

namespace {

void ignoreJackMessage(const char*) {}

// True when a client can reach the default server now. libjack's complaints about a server that
// is not up yet are kept out of the test output.
bool serverAnswers() {
    void (*saved)(const char*) = jack_error_callback;
    jack_set_error_function(ignoreJackMessage);
    jack_status_t status{};
    jack_client_t* probe = jack_client_open("QuorilProbe", JackNoStartServer, &status);
    jack_set_error_function(saved);
    if (probe == nullptr) {
        return false;
    }
    jack_client_close(probe);
    return true;
}

}  // namespace

JackServer::~JackServer() {
    stop();
}

bool JackServer::start(unsigned rate, unsigned periodFrames, std::string& why) {
    // A name of its own for every server: libjack keeps per-server state for the life of the
    // process, which must not be mistaken for that of a server that has gone.
    static int started = 0;
    const std::string name = "quoril-test-" + std::to_string(getpid()) + "-" + std::to_string(++started);
    setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
    // No D-Bus device reservation: the dummy backend has no device to reserve.
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);

    const std::string log = m_dir.file("jackd.log");
    std::vector<std::string> args = {"jackd", "--no-realtime",
                                     "-n",    name,
                                     "-d",    "dummy",
                                     "-r",    std::to_string(rate),
                                     "-p",    std::to_string(periodFrames)};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "jackd", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        why = "jackd cannot be run (is the jackd2 package installed?)";
        return false;
    }
    m_pid = pid;

    // Ready when a client can connect; given up when the server exits or the deadline passes.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        if (serverAnswers()) {
            return true;
        }
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            why = "jackd exited at start: " + readFile(log);
            return false;
        }
        const timespec pause{0, 50 * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
    stop();
    why = "jackd did not answer within 15 s: " + readFile(log);
    return false;
}

void JackServer::stop() {
    if (m_pid <= 0) {
        return;
    }
    kill(m_pid, SIGTERM);
    int status = 0;
    waitForChild(m_pid, std::chrono::seconds(10), status);
    m_pid = -1;
}

}  // namespace quoril::test
