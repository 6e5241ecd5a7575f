#include "platform/LineReader.h"

namespace quoril {

bool LineReader::open(const std::string& path) {
    close();
    m_file = std::fopen(path.c_str(), "rb");
    return m_file != nullptr;
}

void LineReader::openText(std::string text) {
    close();
    m_text = std::move(text);
    m_pos = 0;
    m_fromText = true;
}

void LineReader::close() {
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    m_fromText = false;
    m_text.clear();
    m_pos = 0;
    m_pending = -1;
}

int LineReader::rawChar() {
    if (m_fromText) {
        return m_pos < m_text.size() ? static_cast<unsigned char>(m_text[m_pos++]) : EOF;
    }
    return m_file ? std::getc(m_file) : EOF;
}

int LineReader::nextChar() {
    int c;
    if (m_pending >= 0) {
        c = m_pending;
        m_pending = -1;
    } else {
        c = rawChar();
    }
    if (c == '\r') {
        int following = rawChar();
        if (following == '\n') {
            return '\n';
        }
        if (following != EOF) {
            m_pending = following;
        }
    }
    return c;
}

bool LineReader::readLine(std::string& line, size_t maxChars) {
    line.clear();
    if (!isOpen()) {
        return false;
    }
    while (line.size() < maxChars) {
        int c = nextChar();
        if (c == EOF) {
            break;
        }
        line.push_back(static_cast<char>(c));
        if (c == '\n') {
            break;
        }
    }
    return !line.empty();
}

}  // namespace quoril
