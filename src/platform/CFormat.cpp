#include "platform/CFormat.h"

#include <locale.h>
#include <clocale>
#include <cstdio>
#include <cstdlib>

namespace quoril {

namespace {

// One "C" locale object for the process; uselocale() switches only the calling thread, so
// formatting stays correct while another thread (Qt, the user's environment) uses another locale.
locale_t cLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return loc;
}

class ScopedCLocale {
  public:
    ScopedCLocale() : m_previous(uselocale(cLocale())) {}
    ~ScopedCLocale() { uselocale(m_previous); }

  private:
    locale_t m_previous;
};

}  // namespace

std::string vcformat(const char* fmt, va_list args) {
    ScopedCLocale scoped;
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (needed < 0) {
        return std::string();
    }
    if (static_cast<size_t>(needed) < sizeof small) {
        return std::string(small, static_cast<size_t>(needed));
    }
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), fmt, args);
    text.resize(static_cast<size_t>(needed));
    return text;
}

std::string cformat(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string text = vcformat(fmt, args);
    va_end(args);
    return text;
}

double cstrtod(const char* text, char** end) {
    return strtod_l(text, end, cLocale());
}

long cstrtol(const char* text, char** end) {
    return strtol_l(text, end, 10, cLocale());
}

}  // namespace quoril
