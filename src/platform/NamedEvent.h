#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace quoril {

// An auto-reset event with a name, in-process. signal() sets it; wait() blocks until it is set
// and clears it, so several signals before one wait give one wake. After close() every wait,
// present and future, returns false at once.
//
// The state is one atomic word and the sleep a futex on it, so signal() is safe on a driver's
// real-time thread: it sets a bit and asks the kernel to wake a sleeper, and never takes a lock
// that a waiting thread could hold (no priority inversion against the window thread's posts).
class NamedEvent {
  public:
    explicit NamedEvent(std::string name) : m_name(std::move(name)) {}
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    const std::string& name() const { return m_name; }
    void signal() noexcept;
    // True when woken by a signal; false once the event is closed.
    bool wait() noexcept;
    // Like wait(), but gives up after timeoutMs; false on timeout or when closed.
    bool waitFor(int timeoutMs) noexcept;
    void close() noexcept;
    bool closed() const noexcept;

  private:
    static constexpr uint32_t kSet = 1;
    static constexpr uint32_t kClosed = 2;

    // Takes the set bit; -1 when closed, 0 when not set, 1 when taken.
    int take() noexcept;
    // Sleeps while the word still equals seen; timeoutNs < 0 sleeps without limit.
    void sleep(uint32_t seen, int64_t timeoutNs) noexcept;
    void wakeAll() noexcept;

    std::string m_name;
    std::atomic<uint32_t> m_state{0};
    static_assert(std::atomic<uint32_t>::is_always_lock_free && sizeof(std::atomic<uint32_t>) == 4);
};

}  // namespace quoril
