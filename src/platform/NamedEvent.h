#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

namespace quoril {

// An auto-reset event with a name, in-process. signal() sets it; wait() blocks until it is set
// and clears it, so several signals before one wait give one wake. After close() every wait,
// present and future, returns false at once.
//
// signal() may be called from any thread, including a driver callback: it takes the internal
// mutex only for the few instructions needed to set the flag.
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
    std::string m_name;
    mutable std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_set = false;     // guarded by m_mutex
    bool m_closed = false;  // guarded by m_mutex
};

}  // namespace quoril
