#include "config/SettingsReader.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "config/Settings.h"
#include "platform/CFormat.h"
#include "platform/DiagnosticsLog.h"
#include "platform/LineReader.h"
#include "platform/Utf8Text.h"

namespace quoril {

namespace {

// The blanks of the C locale's isspace(); written out so the user's locale cannot change them.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

// Blanks after the equals sign are skipped; the value is the run of non-blank characters that
// follows.
std::string_view token(std::string_view text) {
    size_t start = 0;
    while (start < text.size() && isBlank(text[start])) {
        ++start;
    }
    size_t end = start;
    while (end < text.size() && !isBlank(text[end])) {
        ++end;
    }
    return text.substr(start, end - start);
}

std::string cut(std::string_view text, size_t maxChars) {
    return utf8Cut(text, maxChars);
}

// A decimal integer: leading blanks, an optional sign, digits up to the first other character;
// no digits give 0. Too large a number gives the largest long of its sign.
long readWhole(std::string_view text) {
    return cstrtol(std::string(text).c_str());
}

// Values that go into 16-bit fields keep the wrap-around of a 16-bit store.
int16_t readWhole16(std::string_view text) {
    return static_cast<int16_t>(readWhole(text));
}

// A decimal number: leading blanks, an optional sign, digits with an optional fraction, an
// optional exponent. Nothing else is a number here (no "inf", "nan" or hexadecimal), so the
// reading does not depend on what the C library accepts beyond plain decimals. isNumber is false,
// and the result 0.0, when no digits stand where the number should begin.
double readDecimal(std::string_view text, bool& isNumber) {
    size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos])) {
        ++pos;
    }
    const size_t start = pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        ++pos;
    }
    size_t digits = 0;
    while (pos < text.size() && isDigit(text[pos])) {
        ++pos;
        ++digits;
    }
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        while (pos < text.size() && isDigit(text[pos])) {
            ++pos;
            ++digits;
        }
    }
    isNumber = digits > 0;
    if (!isNumber) {
        return 0.0;
    }
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        size_t exponent = pos + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) {
            ++exponent;
        }
        if (exponent < text.size() && isDigit(text[exponent])) {
            while (exponent < text.size() && isDigit(text[exponent])) {
                ++exponent;
            }
            pos = exponent;
        }
    }
    return cstrtod(std::string(text.substr(start, pos - start)).c_str());
}

}  // namespace

void SettingsReader::readAll(LineReader& reader) {
    std::string line;
    while (reader.readLine(line, kLineLimit)) {
        applyLine(line);
    }
}

void SettingsReader::applyLine(std::string_view line) {
    // The text ends at a zero byte, as a C string would.
    line = line.substr(0, line.find('\0'));
    if (!line.empty() && line.back() == '\n') {
        line.remove_suffix(1);
    }
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }

    // The prefixes are tried in this order and no line matches two of them, so the first match
    // decides.
    if (startsWith(line, "ASIO=")) {
        applyAsio(line.substr(5));
    } else if (startsWith(line, "ASIOCHANNEL=")) {
        applyAsioChannel(token(line.substr(12)));
    } else if (startsWith(line, "SRC=")) {
        applySrc(line.substr(4));
    } else if (startsWith(line, "RATE=")) {
        applyRate(token(line.substr(5)));
    } else if (startsWith(line, "VOLUME=")) {
        applyVolume(token(line.substr(7)));
    } else if (startsWith(line, "PHASE=")) {
        applyPhase(token(line.substr(6)));
    } else if (startsWith(line, "PLAYBACK=")) {
        applyPlayback(token(line.substr(9)));
    } else if (startsWith(line, "DIAGNOSTICS=")) {
        applyDiagnostics(token(line.substr(12)));
    } else if (startsWith(line, "ZEB")) {
        m_settings.zebMode = true;
    } else if (startsWith(line, "FILTER=")) {
        applyFilter(line.substr(7));
    } else if (startsWith(line, "AWE")) {
        m_settings.useAwe = true;
    } else if (startsWith(line, "WINDOW=")) {
        applyWindow(line.substr(7));
    }
}

void SettingsReader::applyWindow(std::string_view value) {
    // Width and height in pixels. Files written before the window could be resized lack the
    // line; a bad one only costs the remembered size.
    const std::string_view width = token(value);
    const std::string_view height =
        token(value.substr(static_cast<size_t>(width.data() - value.data()) + width.size()));
    const long w = readWhole(width);
    const long h = readWhole(height);
    if (w <= 0 || h <= 0 || w > kMaxWindowPixels || h > kMaxWindowPixels) {
        m_log.append("Window size invalid, default size assumed.\r\n");
        return;
    }
    m_settings.windowWidth = static_cast<int32_t>(w);
    m_settings.windowHeight = static_cast<int32_t>(h);
}

void SettingsReader::applyAsio(std::string_view value) {
    if (value.empty()) {
        m_log.append("ASIO driver cannot be blank. Redo settings.\r\n");
        return;
    }
    m_settings.asioDriverName = std::string(cut(value, Settings::kMaxTextChars));
    const int count = std::clamp<int>(m_settings.driverCount, 0, Settings::kMaxDrivers);
    for (int i = 0; i < count; ++i) {
        AsioDriverEntry& entry = m_settings.drivers[i];
        if (entry.name == value) {
            entry.selected = true;
            ++m_counted;
            return;
        }
    }
    m_log.append("ASIO driver is invalid. Redo settings.\r\n");
}

void SettingsReader::applyAsioChannel(std::string_view value) {
    if (value.empty()) {
        m_log.append("ASIO channel invalid. Redo settings.\r\n");
        return;
    }
    int16_t pair = readWhole16(value);
    if (pair < 0) {
        pair = static_cast<int16_t>(-pair);  // -32768 stays negative, as in a 16-bit store
    }
    AsioDriverEntry* selected = nullptr;
    const int count = std::clamp<int>(m_settings.driverCount, 0, Settings::kMaxDrivers);
    for (int i = 0; i < count && !selected; ++i) {
        if (m_settings.drivers[i].selected) {
            selected = &m_settings.drivers[i];
        }
    }
    if (!selected) {
        m_settings.channelPair = pair;
        m_log.append("ASIO channel is invalid. Redo settings.\r\n");
        return;
    }
    if (pair >= 0 && pair < selected->pairCount && pair < AsioDriverEntry::kMaxPairs) {
        m_settings.channelPair = pair;
        selected->pairIndex = pair;
        ++m_counted;
        return;
    }
    m_settings.channelPair = 0;
    m_log.append("ASIO output channel invalid (max pairs supported is 50). Redo settings.\r\n");
    m_log.append("ASIO channel is invalid. Redo settings.\r\n");
}

void SettingsReader::applySrc(std::string_view value) {
    if (value.empty()) {
        m_log.append("SRC converter invalid. Redo settings.\r\n");
        return;
    }
    const int16_t type = readWhole16(value);
    if (type == 0 || type == 1) {
        m_settings.converterType = type;
        m_settings.converterText = std::string(cut(value, Settings::kMaxTextChars));
        ++m_counted;
        return;
    }
    m_settings.converterType = 1;
    m_log.append("SRC converter invalid. Redo settings.\r\n");
}

void SettingsReader::applyRate(std::string_view value) {
    if (value.empty()) {
        m_log.append("SRC rate invalid. Redo settings.\r\n");
        return;
    }
    bool isNumber = false;
    const double rate = std::fabs(readDecimal(value, isNumber));
    // A rate too large for a double is no usable number either.
    if (!isNumber || rate == 0.0 || !std::isfinite(rate)) {
        m_settings.outputRate = 0.0;
        m_log.append("SRC rate cannot be zero. Redo settings.\r\n");
        return;
    }
    m_settings.outputRate = rate;
    ++m_counted;
}

void SettingsReader::applyVolume(std::string_view value) {
    if (value.empty()) {
        m_log.append("Volume invalid, set to -30.0 default.\r\n");
        return;
    }
    bool isNumber = false;
    const double volume = readDecimal(value, isNumber);  // not a number reads as 0.0
    if (volume >= -100.0 && volume <= 0.0) {
        m_settings.volumeDb = volume;
        ++m_counted;
        return;
    }
    m_settings.volumeDb = -30.0;
    m_log.append("Volume out of range, set to -30.0 default.\r\n");
}

void SettingsReader::applyPhase(std::string_view value) {
    if (!value.empty()) {
        const int16_t phase = readWhole16(value);
        if (phase == 0 || phase == 180) {
            m_settings.phase = phase;
            return;
        }
        m_settings.phase = 0;
    }
    m_log.append("Phase invalid, set to 0 default.\r\n");
}

void SettingsReader::applyPlayback(std::string_view value) {
    if (value.empty()) {
        return;
    }
    switch (value.front()) {
        case 'R':
        case 'r':
            m_settings.playbackMode = 1;
            break;
        case 'S':
        case 's':
            m_settings.playbackMode = 2;
            break;
        case 'N':
        case 'n':
            m_settings.playbackMode = 3;
            break;
        case 'X':
        case 'x':
            m_settings.playbackMode = 4;
            break;
        default:
            break;  // an unknown mode leaves the current one, without a message
    }
}

void SettingsReader::applyDiagnostics(std::string_view value) {
    if (value.empty()) {
        m_log.append("Diagnostics is invalid. Redo settings.\r\n");
        return;
    }
    m_settings.diagnostics = !(value.front() == 'N' || value.front() == 'n');
    ++m_counted;
}

void SettingsReader::applyFilter(std::string_view value) {
    const long index = readWhole(value);
    m_settings.fileFilterIndex = (index >= 1 && index <= 3) ? static_cast<int32_t>(index) : 1;
}

}  // namespace quoril
