#include "platform/DiagnosticsLog.h"

#include <cstdarg>

#include "platform/CFormat.h"

namespace quoril {

void DiagnosticsLog::append(std::string_view text) {
    std::lock_guard lock(m_mutex);
    m_text.append(text);
}

void DiagnosticsLog::appendf(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string text = vcformat(fmt, args);
    va_end(args);
    append(text);
}

void DiagnosticsLog::assign(std::string_view text) {
    std::lock_guard lock(m_mutex);
    m_text.assign(text);
}

void DiagnosticsLog::clear() {
    std::lock_guard lock(m_mutex);
    m_text.clear();
}

std::string DiagnosticsLog::snapshot() const {
    std::lock_guard lock(m_mutex);
    return m_text;
}

size_t DiagnosticsLog::size() const {
    std::lock_guard lock(m_mutex);
    return m_text.size();
}

}  // namespace quoril
