#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "config/Settings.h"
#include "support/TempDir.h"

namespace quoril::test {

// A player session's files in a temporary HOME: the registry file (installation path and the capture
// driver, whose clock runs at captureSpeed times real time: slowed down, the position only moves when
// the test moves it) and Quoril.ini; and a fresh process-wide settings record for the object's life.
class PlayerEnvironment {
  public:
    explicit PlayerEnvironment(const std::string& captureSpeed = "0.001");
    ~PlayerEnvironment();

    const TempDir& dir() const { return m_dir; }
    std::string readIni() const { return readFile(m_dir.file("Quoril.ini")); }
    // Writes Quoril.ini: the six counted keys for the capture driver at rate, then extra lines.
    void writeIni(const std::vector<std::string>& extraLines = {}, int rate = 8000, bool diagnostics = false);
    void writeIniLines(const std::vector<std::string>& lines);
    // Writes disc.wav holding the tracks back to back (lengths in frames, 16-bit stereo at 8,000 Hz)
    // and disc.cue naming them ("Track N" unless titles gives the title); returns the sheet's path.
    std::string writeDisc(const std::vector<int>& trackFrames, const std::vector<std::string>& titles = {});

  private:
    TempDir m_dir;
    Settings m_settings;
};

bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds deadline = std::chrono::seconds(10));

}  // namespace quoril::test
