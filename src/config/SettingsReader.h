#pragma once

#include <string_view>

namespace quoril {

class DiagnosticsLog;
class LineReader;
class Settings;

// Applies the lines of a Quoril.ini file to a settings record, in file order, and counts the
// accepted lines of the six counted keys (ASIO, ASIOCHANNEL, SRC, RATE, VOLUME, DIAGNOSTICS).
// Bad values leave their message in the log; the values that were accepted stay in the record.
// The record's driver list must already hold the usable drivers: the ASIO and ASIOCHANNEL lines
// are checked against it. Window thread only.
class SettingsReader {
  public:
    // Lines are read in pieces of at most this many characters; the rest of a longer line is
    // read as a line of its own.
    static constexpr size_t kLineLimit = 1023;
    // The largest window side the WINDOW line may give, in pixels.
    static constexpr long kMaxWindowPixels = 32767;

    SettingsReader(Settings& settings, DiagnosticsLog& log) : m_settings(settings), m_log(log) {}

    // Reads every line until the end of the input (or a read error) and applies it.
    void readAll(LineReader& reader);
    // Applies one line; its LF, and a CR before it, may still be attached.
    void applyLine(std::string_view line);

    // Accepted lines of counted keys so far; a key repeated with good values counts each time.
    int countedItems() const { return m_counted; }

  private:
    void applyAsio(std::string_view value);
    void applyAsioChannel(std::string_view value);
    void applySrc(std::string_view value);
    void applyRate(std::string_view value);
    void applyVolume(std::string_view value);
    void applyPhase(std::string_view value);
    void applyPlayback(std::string_view value);
    void applyDiagnostics(std::string_view value);
    void applyFilter(std::string_view value);
    void applyWindow(std::string_view value);

    Settings& m_settings;
    DiagnosticsLog& m_log;
    int m_counted = 0;
};

}  // namespace quoril
