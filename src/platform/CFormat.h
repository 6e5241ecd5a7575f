#pragma once

#include <cstdarg>
#include <string>

namespace quoril {

// printf-style formatting and number parsing in the "C" numeric locale, whatever locale the
// process runs in: settings files and logs always use a decimal point. Thread-safe.
std::string cformat(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string vcformat(const char* fmt, va_list args);

// strtod/strtol in the "C" locale (leading blanks, sign, digits; no digits gives 0).
double cstrtod(const char* text, char** end = nullptr);
long cstrtol(const char* text, char** end = nullptr);

}  // namespace quoril
