#include "platform/NamedEvent.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <climits>

namespace quoril {

namespace {

uint32_t* futexWord(std::atomic<uint32_t>& word) noexcept {
    return reinterpret_cast<uint32_t*>(&word);
}

}  // namespace

int NamedEvent::take() noexcept {
    uint32_t seen = m_state.load(std::memory_order_acquire);
    while (true) {
        if ((seen & kClosed) != 0) {
            return -1;
        }
        if ((seen & kSet) == 0) {
            return 0;
        }
        // Acquire: what the signalling thread wrote before its signal is visible to the waker.
        if (m_state.compare_exchange_weak(seen, seen & ~kSet, std::memory_order_acq_rel,
                                          std::memory_order_acquire)) {
            return 1;
        }
    }
}

void NamedEvent::sleep(uint32_t seen, int64_t timeoutNs) noexcept {
    timespec limit{};
    timespec* timeout = nullptr;
    if (timeoutNs >= 0) {
        limit.tv_sec = static_cast<time_t>(timeoutNs / 1000000000);
        limit.tv_nsec = static_cast<long>(timeoutNs % 1000000000);
        timeout = &limit;
    }
    // Returns at once when the word has changed since it was read (a signal or close came in
    // between), so no wake is lost; spurious returns are looped over by the callers.
    syscall(SYS_futex, futexWord(m_state), FUTEX_WAIT_PRIVATE, seen, timeout, nullptr, 0);
}

void NamedEvent::wakeAll() noexcept {
    syscall(SYS_futex, futexWord(m_state), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

void NamedEvent::signal() noexcept {
    // Release: the words written before the signal reach the thread that takes it.
    uint32_t before = m_state.fetch_or(kSet, std::memory_order_acq_rel);
    if ((before & (kSet | kClosed)) == 0) {
        // Only the waiter(s) of this process's event sleep on the word; one wake suffices
        // because one taker clears the bit, and the others sleep again.
        syscall(SYS_futex, futexWord(m_state), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
    }
}

bool NamedEvent::wait() noexcept {
    while (true) {
        int taken = take();
        if (taken != 0) {
            return taken > 0;
        }
        sleep(0, -1);
    }
}

bool NamedEvent::waitFor(int timeoutMs) noexcept {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    while (true) {
        int taken = take();
        if (taken != 0) {
            return taken > 0;
        }
        auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            return false;
        }
        sleep(0, left);
    }
}

void NamedEvent::close() noexcept {
    m_state.fetch_or(kClosed, std::memory_order_acq_rel);
    wakeAll();
}

bool NamedEvent::closed() const noexcept {
    return (m_state.load(std::memory_order_acquire) & kClosed) != 0;
}

}  // namespace quoril
