#include "platform/Utf8Text.h"

namespace quoril {

namespace {

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length in bytes of the character that starts at text[pos].
size_t characterBytes(std::string_view text, size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
    }
    if (pos + length > text.size()) {
        return 1;
    }
    for (size_t i = 1; i < length; ++i) {
        if (!isContinuation(static_cast<unsigned char>(text[pos + i]))) {
            return 1;
        }
    }
    return length;
}

// The byte offset after the first maxChars characters; count receives how many there were.
size_t prefixBytes(std::string_view text, size_t maxChars, size_t& count) {
    size_t pos = 0;
    count = 0;
    while (pos < text.size() && count < maxChars) {
        pos += characterBytes(text, pos);
        ++count;
    }
    return pos;
}

}  // namespace

size_t utf8Length(std::string_view text) {
    size_t count = 0;
    prefixBytes(text, text.size(), count);
    return count;
}

std::string utf8Cut(std::string_view text, size_t maxChars) {
    size_t count = 0;
    return std::string(text.substr(0, prefixBytes(text, maxChars, count)));
}

std::string utf8Fit(std::string_view text, size_t chars) {
    size_t count = 0;
    std::string fitted(text.substr(0, prefixBytes(text, chars, count)));
    fitted.append(chars - count, ' ');
    return fitted;
}

}  // namespace quoril
