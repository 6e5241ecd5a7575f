#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace quoril {

// A fixed-size queue of log lines from one real-time thread (the producer) to one ordinary
// thread (the consumer), which appends them to a DiagnosticsLog in the order they were pushed.
// Neither side locks or allocates: a line is a pointer to text that lives as long as the program
// (a string literal or a library's static message), and the ring holds kCapacity of them.
// A push onto a full ring drops the line and counts it; the producer never waits.
class LogQueue {
  public:
    static constexpr size_t kCapacity = 256;

    // Producer only.
    bool push(const char* line) noexcept {
        const uint32_t tail = m_tail.load(std::memory_order_relaxed);
        if (tail - m_head.load(std::memory_order_acquire) >= kCapacity) {
            m_dropped.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        m_lines[tail % kCapacity].store(line, std::memory_order_relaxed);
        m_tail.store(tail + 1, std::memory_order_release);
        return true;
    }

    // Consumer only: hands every queued line, oldest first, to sink(const char*).
    template <typename Sink>
    size_t drain(Sink&& sink) {
        uint32_t head = m_head.load(std::memory_order_relaxed);
        const uint32_t tail = m_tail.load(std::memory_order_acquire);
        size_t count = 0;
        while (head != tail) {
            const char* line = m_lines[head % kCapacity].load(std::memory_order_relaxed);
            ++head;
            // Released before the sink runs, so that a sink that throws loses only its line.
            m_head.store(head, std::memory_order_release);
            ++count;
            sink(line);
        }
        return count;
    }

    // Consumer only, with the producer gone: forgets what is queued.
    void clear() noexcept {
        m_head.store(m_tail.load(std::memory_order_acquire), std::memory_order_release);
        m_dropped.store(0, std::memory_order_relaxed);
    }

    uint32_t dropped() const noexcept { return m_dropped.load(std::memory_order_relaxed); }

  private:
    std::array<std::atomic<const char*>, kCapacity> m_lines{};
    std::atomic<uint32_t> m_head{0};  // next line to drain; consumer writes
    std::atomic<uint32_t> m_tail{0};  // next free slot; producer writes
    std::atomic<uint32_t> m_dropped{0};
};

}  // namespace quoril
