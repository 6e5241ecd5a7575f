#pragma once

#include <cstdio>
#include <string>

namespace quoril {

// Reads text lines the way the C runtime's text mode and fgets do: CR LF becomes LF, a line
// keeps its LF, and a line longer than the limit is handed out in pieces, the rest continuing
// as the next line. Reads from a file or from text in memory.
class LineReader {
  public:
    LineReader() = default;
    ~LineReader() { close(); }
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool open(const std::string& path);
    void openText(std::string text);
    bool isOpen() const { return m_file != nullptr || m_fromText; }

    // Reads at most maxChars characters (after CR LF became LF), stopping after an LF, which is
    // kept. False at the end of the input with nothing read.
    bool readLine(std::string& line, size_t maxChars);
    void close();

  private:
    int nextChar();  // EOF at the end; CR LF folded to LF
    int rawChar();
    FILE* m_file = nullptr;
    bool m_fromText = false;
    std::string m_text;
    size_t m_pos = 0;
    int m_pending = -1;  // a character read ahead after a lone CR
};

}  // namespace quoril
