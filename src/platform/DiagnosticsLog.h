#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace quoril {

// The player's explanation of itself: a growable text of CR LF lines. Every stage appends; the
// window thread shows a copy. Appends may come from several threads (the playback and RAM-load
// threads write into a session's log while the window thread copies it), so the text sits
// behind a mutex held only for the append or the copy.
class DiagnosticsLog {
  public:
    DiagnosticsLog() = default;
    explicit DiagnosticsLog(std::string text) : m_text(std::move(text)) {}
    DiagnosticsLog(const DiagnosticsLog&) = delete;
    DiagnosticsLog& operator=(const DiagnosticsLog&) = delete;

    void append(std::string_view text);
    // sprintf-style, numbers in the "C" locale.
    void appendf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Replaces the whole text.
    void assign(std::string_view text);
    void clear();

    std::string snapshot() const;
    size_t size() const;
    bool empty() const { return size() == 0; }

  private:
    mutable std::mutex m_mutex;
    std::string m_text;  // guarded by m_mutex
};

}  // namespace quoril
