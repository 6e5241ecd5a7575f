#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quoril {

// Texts of a fixed width (list lines, titles, paths) are measured in characters, and a character
// is a UTF-8 sequence: cutting never splits one. A byte that does not start a whole, well-formed
// sequence (a Latin-1 title, a stray continuation byte) counts as one character of its own, so a
// text that is not UTF-8 is still cut where a byte count would cut it. Thread-safe.

// The number of characters in text.
size_t utf8Length(std::string_view text);
// The first maxChars characters of text (all of it when it is shorter).
std::string utf8Cut(std::string_view text, size_t maxChars);
// text cut to chars characters, or padded with blanks to chars characters.
std::string utf8Fit(std::string_view text, size_t chars);

}  // namespace quoril
