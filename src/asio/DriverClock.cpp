#include "asio/DriverClock.h"

#include <chrono>
#include <cmath>
#include <cstring>

namespace quoril {

namespace {

uint64_t steadyNanoseconds() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void split(uint64_t value, unsigned long& hi, unsigned long& lo) {
    hi = static_cast<unsigned long>(value >> 32);
    lo = static_cast<unsigned long>(value & 0xffffffffu);
}

}  // namespace

bool DriverClock::hostWantsTimeInfo(const ASIOCallbacks& callbacks) {
    return callbacks.asioMessage != nullptr && callbacks.bufferSwitchTimeInfo != nullptr &&
           callbacks.asioMessage(kAsioSelectorSupported, kAsioSupportsTimeInfo, nullptr, nullptr) == 1 &&
           callbacks.asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr) == 1;
}

bool DriverClock::start(const ASIOCallbacks& callbacks, bool useTimeInfo, long bufferSize, double rate,
                        double speed, AfterSwitch afterSwitch) {
    if (onClockThread()) {
        return false;
    }
    stop();
    if (bufferSize <= 0 || !(rate > 0.0) || !(speed > 0.0) || !std::isfinite(rate) || !std::isfinite(speed) ||
        (useTimeInfo ? callbacks.bufferSwitchTimeInfo == nullptr : callbacks.bufferSwitch == nullptr)) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopRequested = false;
    }
    m_position.store(0);
    m_switches.store(0);
    m_running.store(true, std::memory_order_release);
    std::lock_guard<std::mutex> lock(m_joinMutex);
    m_thread = std::thread(&DriverClock::run, this, callbacks, useTimeInfo, bufferSize, rate, speed,
                           std::move(afterSwitch));
    return true;
}

void DriverClock::stop() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopRequested = true;
    }
    m_wake.notify_all();
    if (!onClockThread()) {
        join();
    }
}

void DriverClock::join() {
    if (onClockThread()) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_joinMutex);
    if (m_thread.joinable()) {
        m_thread.join();
        m_threadId.store(std::thread::id());
    }
}

void DriverClock::run(ASIOCallbacks callbacks, bool useTimeInfo, long bufferSize, double rate, double speed,
                      AfterSwitch afterSwitch) noexcept {
    using Clock = std::chrono::steady_clock;
    m_threadId.store(std::this_thread::get_id());
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(bufferSize) / rate / speed));
    Clock::time_point next = Clock::now() + period;
    long half = 0;
    ASIOTime time;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_wake.wait_until(lock, next, [this] { return m_stopRequested; })) {
                break;
            }
        }
        const uint64_t now = steadyNanoseconds();
        m_lastSwitchNs.store(now, std::memory_order_release);
        if (useTimeInfo) {
            std::memset(&time, 0, sizeof time);
            time.timeInfo.speed = 1.0;
            time.timeInfo.sampleRate = rate;
            split(now, time.timeInfo.systemTime.hi, time.timeInfo.systemTime.lo);
            split(m_position.load(), time.timeInfo.samplePosition.hi, time.timeInfo.samplePosition.lo);
            time.timeInfo.flags = kSystemTimeValid | kSamplePositionValid | kSampleRateValid;
            callbacks.bufferSwitchTimeInfo(&time, half, ASIOTrue);
        } else {
            callbacks.bufferSwitch(half, ASIOTrue);
        }
        m_position.fetch_add(static_cast<uint64_t>(bufferSize), std::memory_order_acq_rel);
        const uint64_t count = m_switches.fetch_add(1, std::memory_order_acq_rel) + 1;
        if (afterSwitch) {
            afterSwitch(half, count);
        }
        half ^= 1;
        next += period;
        // After a stall (a debugger, an overloaded machine) go on from now instead of bursting.
        const Clock::time_point current = Clock::now();
        if (current - next > 8 * period) {
            next = current;
        }
    }
    m_running.store(false, std::memory_order_release);
}

}  // namespace quoril
