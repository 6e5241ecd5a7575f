#pragma once

#include <jack/jack.h>
#include <semaphore.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace quoril::test {

// A JACK client "QuorilRecorder" that records two input ports into memory, sample for sample,
// from the moment it is activated.
class JackRecorder {
  public:
    explicit JackRecorder(size_t capacityFrames);
    ~JackRecorder();
    JackRecorder(const JackRecorder&) = delete;
    JackRecorder& operator=(const JackRecorder&) = delete;

    // Opens and activates the client; false with why set.
    bool open(std::string& why);
    // Waits, at most until the deadline, until a port of that full name exists.
    bool waitForPort(const std::string& name, std::chrono::milliseconds deadline);
    // Connects the two output ports to in_1 and in_2.
    bool connectFrom(const std::string& left, const std::string& right);
    // Waits, at most until the deadline, for the first frame that is not silence.
    bool waitForSound(std::chrono::milliseconds deadline);

    jack_client_t* client() { return m_client; }
    size_t recorded() const { return m_count.load(std::memory_order_acquire); }
    // Server cycles that ran without this client since it was activated (a loaded machine).
    unsigned missedCycles() const { return m_missedCycles.load(std::memory_order_acquire); }
    const std::vector<float>& left() const { return m_left; }
    const std::vector<float>& right() const { return m_right; }

  private:
    static int process(jack_nframes_t frames, void* arg);
    static void portRegistered(jack_port_id_t port, int registered, void* arg);

    jack_client_t* m_client = nullptr;
    jack_port_t* m_in[2] = {};
    std::vector<float> m_left;
    std::vector<float> m_right;
    std::atomic<size_t> m_count{0};
    std::atomic<bool> m_heardSound{false};
    jack_nframes_t m_lastCycleStart = 0;  // process thread
    bool m_cycled = false;                // process thread
    std::atomic<unsigned> m_missedCycles{0};
    sem_t m_sound;  // posted once by the process callback at the first sound

    std::mutex m_mutex;
    std::condition_variable m_portsChanged;
    unsigned m_registrations = 0;  // guarded by m_mutex
};

}  // namespace quoril::test
