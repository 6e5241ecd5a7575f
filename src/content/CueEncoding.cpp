#include "content/CueEncoding.h"

#include <iconv.h>
#include <uchardet/uchardet.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace quoril {

namespace {

const char* const kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
// Used when the detector names nothing that iconv knows: the most common code page of sheets
// written on Windows in Western Europe and America, which assigns a character to almost every byte.
const char* const kFallbackCharset = "WINDOWS-1252";

// Converts bytes from `charset` to UTF-8. A sequence that does not convert becomes U+FFFD and the
// conversion goes on after its first byte (`unitBytes` for UTF-16), so the result is always
// whole UTF-8 text. False when iconv does not know the charset.
bool convert(const std::string& bytes, const char* charset, size_t unitBytes, std::string& out) {
    iconv_t cd = iconv_open("UTF-8", charset);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    out.clear();
    char buffer[4096];
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
        char* to = buffer;
        size_t toLeft = sizeof buffer;
        size_t result = iconv(cd, &in, &inLeft, &to, &toLeft);
        out.append(buffer, static_cast<size_t>(to - buffer));
        if (result == static_cast<size_t>(-1) && errno != E2BIG) {
            // EILSEQ, or EINVAL for an incomplete sequence at the end.
            out += kReplacement;
            size_t skip = std::min(unitBytes, inLeft);
            in += skip;
            inLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return true;
}

}  // namespace

bool CueEncoding::isUtf8(const std::string& text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t more = 0;
        uint32_t point = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            point = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            point = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            point = c & 0x07;
        } else {
            return false;
        }
        for (size_t k = 1; k <= more; ++k) {
            if (i + k >= n) {
                return false;
            }
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            point = (point << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
        if ((more == 2 && (point < 0x800 || (point >= 0xD800 && point <= 0xDFFF))) ||
            (more == 3 && (point < 0x10000 || point > 0x10FFFF))) {
            return false;
        }
        i += more + 1;
    }
    return true;
}

CueEncoding::CueEncoding(std::string bytes) {
    const bool littleEndian = bytes.compare(0, 2, "\xFF\xFE") == 0;
    const bool bigEndian = bytes.compare(0, 2, "\xFE\xFF") == 0;
    if (littleEndian || bigEndian) {
        convert(bytes.substr(2), littleEndian ? "UTF-16LE" : "UTF-16BE", 2, m_text);
        return;
    }
    m_text = std::move(bytes);
    if (isUtf8(m_text)) {
        return;
    }
    uchardet_t detector = uchardet_new();
    if (detector != nullptr) {
        uchardet_handle_data(detector, m_text.data(), m_text.size());
        uchardet_data_end(detector);
        const char* name = uchardet_get_charset(detector);
        m_charset = name != nullptr ? name : "";
        uchardet_delete(detector);
    }
    // The detector answers "ASCII" or "UTF-8" for text that is nearly so; the bytes that broke
    // the UTF-8 rules then most likely come from the Windows code page.
    if (m_charset.empty() || m_charset == "ASCII" || m_charset == "UTF-8") {
        m_charset = kFallbackCharset;
    }
    iconv_t probe = iconv_open("UTF-8", m_charset.c_str());
    if (probe == reinterpret_cast<iconv_t>(-1)) {
        m_charset = kFallbackCharset;
    } else {
        iconv_close(probe);
    }
}

std::string CueEncoding::toUtf8(const std::string& value) const {
    if (m_charset.empty() || isUtf8(value)) {
        return value;
    }
    std::string converted;
    if (!convert(value, m_charset.c_str(), 1, converted)) {
        return value;
    }
    return converted;
}

}  // namespace quoril
