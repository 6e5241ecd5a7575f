#include "platform/NamedEvent.h"

#include <chrono>

namespace quoril {

void NamedEvent::signal() noexcept {
    {
        std::lock_guard lock(m_mutex);
        m_set = true;
    }
    m_cond.notify_one();
}

bool NamedEvent::wait() noexcept {
    std::unique_lock lock(m_mutex);
    m_cond.wait(lock, [this] { return m_set || m_closed; });
    if (m_closed) {
        return false;
    }
    m_set = false;
    return true;
}

bool NamedEvent::waitFor(int timeoutMs) noexcept {
    std::unique_lock lock(m_mutex);
    bool woken =
        m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_set || m_closed; });
    if (!woken || m_closed) {
        return false;
    }
    m_set = false;
    return true;
}

void NamedEvent::close() noexcept {
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
    }
    m_cond.notify_all();
}

bool NamedEvent::closed() const noexcept {
    std::lock_guard lock(m_mutex);
    return m_closed;
}

}  // namespace quoril
