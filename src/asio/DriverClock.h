#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "asio/Asio.h"

namespace quoril {

// The clock of a driver plug-in that has no hardware: one thread that calls the host's
// bufferSwitch (or bufferSwitchTimeInfo) once per buffer period divided by a speed factor,
// alternating the halves 0, 1, 0, ... and, right after each switch, a hook of the driver (which
// may read the half the host has just filled, or send a notice). Used by the driver plug-ins,
// not by the player.
class DriverClock {
  public:
    // Called on the clock thread after the host's switch returned, with the half it filled and
    // the number of switches so far (1 for the first).
    using AfterSwitch = std::function<void(long half, uint64_t switches)>;

    DriverClock() = default;
    ~DriverClock() { stop(); }
    DriverClock(const DriverClock&) = delete;
    DriverClock& operator=(const DriverClock&) = delete;

    // Starts the thread; the first switch comes one period after the start. Any previous thread
    // (one that stopped itself) is joined first. False when the arguments cannot make a clock.
    // Driver's control thread (the host's window thread).
    bool start(const ASIOCallbacks& callbacks, bool useTimeInfo, long bufferSize, double rate, double speed,
               AfterSwitch afterSwitch);
    // Stops the switches. From any other thread it waits until the thread has finished its
    // current switch and hook and ended; from the clock thread itself (a host that stops the
    // driver inside its callback) it only asks, and the thread ends after the current hook.
    // Several threads may call it at once.
    void stop();
    // Waits for a thread that was asked to stop from inside its own callback. Does nothing on the
    // clock thread. Several threads may call it at once.
    void join();

    // Whether the host answers the time-info questions with yes, so that the clock calls its
    // bufferSwitchTimeInfo rather than bufferSwitch. Driver's control thread, in createBuffers().
    static bool hostWantsTimeInfo(const ASIOCallbacks& callbacks);

    bool running() const { return m_running.load(std::memory_order_acquire); }
    // Frames switched since the start (bufferSize per switch). Any thread.
    uint64_t samplePosition() const { return m_position.load(std::memory_order_acquire); }
    uint64_t switches() const { return m_switches.load(std::memory_order_acquire); }
    // Steady-clock nanoseconds of the latest switch. Any thread.
    uint64_t lastSwitchNanoseconds() const { return m_lastSwitchNs.load(std::memory_order_acquire); }
    bool onClockThread() const { return std::this_thread::get_id() == m_threadId.load(); }

  private:
    void run(ASIOCallbacks callbacks, bool useTimeInfo, long bufferSize, double rate, double speed,
             AfterSwitch afterSwitch) noexcept;

    std::mutex m_joinMutex;
    std::thread m_thread;  // started by start(), joined under m_joinMutex
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopRequested = false;  // guarded by m_mutex
    std::atomic<bool> m_running{false};
    std::atomic<std::thread::id> m_threadId{};
    std::atomic<uint64_t> m_position{0};
    std::atomic<uint64_t> m_switches{0};
    std::atomic<uint64_t> m_lastSwitchNs{0};
};

}  // namespace quoril
