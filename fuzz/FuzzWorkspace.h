#pragma once

#include <string>

namespace quoril::fuzz {

// A directory that lives as long as the process, holding the small audio files that fuzzed cue
// sheets may name and the file each input is written to before a reader opens it.
//
// Audio fixtures (stereo, kFixtureRate frames per second, kFixtureFrames frames each):
//   a.wav, b.wav    16-bit WAV        c.flac  16-bit FLAC
//   d24.wav         24-bit WAV        e.flac  24-bit FLAC
//   f48k.wav        16-bit WAV at twice the rate (a format that does not match)
//   t.wav           16-bit WAV whose header declares 1000 frames more than it holds
//
// Making the workspace also points $QUORIL_MEMINFO at a small machine, so that a header claiming
// gigabytes is refused by the memory check instead of filling the fuzzer's memory.
class FuzzWorkspace {
  public:
    static constexpr unsigned kFixtureRate = 1000;
    static constexpr size_t kFixtureFrames = 3000;
    // What the simulated machine leaves for the store after the reserve: about 50 MB.
    static constexpr unsigned long long kAvailableKib = 65536;

    static FuzzWorkspace& instance();

    const std::string& directory() const { return m_directory; }
    // Writes bytes to directory()/name (replacing it) and returns the path.
    std::string write(const std::string& name, const void* data, size_t size) const;

  private:
    FuzzWorkspace();
    ~FuzzWorkspace();
    std::string m_directory;
};

}  // namespace quoril::fuzz
