#pragma once

#include <string>

namespace quoril {

// The character encoding of one cue sheet. Ripping programs write sheets in UTF-8, in UTF-16
// with a byte-order mark, or in the code page of the machine they ran on (Windows-1251,
// Windows-1252, GBK, Shift-JIS...). The parser reads the keywords as ASCII in every case except
// UTF-16, which is turned into UTF-8 as a whole; the texts it takes from the sheet (titles,
// performer, genre, file names) are converted one by one, when they are not UTF-8 already, from
// the encoding detected over the whole sheet.
class CueEncoding {
  public:
    CueEncoding() = default;
    // Takes the sheet's bytes; text() is what the parser reads.
    explicit CueEncoding(std::string bytes);

    const std::string& text() const { return m_text; }
    // The detected encoding of a sheet that is not UTF-8 throughout; empty otherwise.
    const std::string& charset() const { return m_charset; }

    // value as UTF-8: unchanged when it is valid UTF-8, else converted from the sheet's encoding,
    // with U+FFFD for every byte that does not convert.
    std::string toUtf8(const std::string& value) const;

    static bool isUtf8(const std::string& text);

  private:
    std::string m_text;
    std::string m_charset;
};

}  // namespace quoril
