#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/DiagnosticsLog.h"
#include "config/Settings.h"
#include "content/CdDescriptor.h"
#include "support/TempDir.h"

namespace quoril::test {

// A disc made from generated samples: written as a WAV file, opened and loaded into RAM by the
// real content code, ready for a playback thread.
class TestDisc {
  public:
    // samples: interleaved stereo; bits 16 or 24.
    TestDisc(const std::vector<int32_t>& samples, int bits, uint32_t rate);

    CdDescriptor* cd() const { return m_cd.get(); }
    bool ok() const { return m_cd && m_cd->active.load() && m_cd->frameCount > 0; }
    const std::string& path() const { return m_path; }
    std::string log() const { return m_log.snapshot(); }

  private:
    TempDir m_dir;
    Settings m_settings;
    DiagnosticsLog m_log;
    std::string m_path;
    std::unique_ptr<CdDescriptor> m_cd;
};

// Interleaved stereo samples: frames frames of a pseudo-random full-range signal.
std::vector<int32_t> discSamples(size_t frames, int bits, uint32_t seed);

}  // namespace quoril::test
