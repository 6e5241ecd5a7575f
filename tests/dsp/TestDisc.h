#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/DiagnosticsLog.h"
#include "config/Settings.h"
#include "content/CdDescriptor.h"
#include "content/RamLoadThread.h"
#include "support/TempDir.h"
#include "support/WavWriter.h"

namespace quoril::test {

// A disc made from generated interleaved stereo samples (16 or 24 bits): written as a WAV file,
// opened and loaded into RAM by the real content code.
class TestDisc {
  public:
    TestDisc(const std::vector<int32_t>& samples, int bits, uint32_t rate) {
        std::string path = m_dir.file("disc.wav");
        if (WavWriter(bits, 2, rate).samples(samples).write(path)) {
            m_cd = std::make_unique<CdDescriptor>(path, m_log, m_settings);
            LoadProgress progress{0};
            RamLoadRequest request{m_cd.get(), &progress, &m_log};
            if (m_cd->active.load()) {
                RamLoadThread::run(request);
            }
        }
    }
    CdDescriptor* cd() const { return m_cd.get(); }
    bool ok() const { return m_cd && m_cd->active.load() && m_cd->frameCount > 0; }
    std::string log() const { return m_log.snapshot(); }

  private:
    TempDir m_dir;
    Settings m_settings;
    DiagnosticsLog m_log;
    std::unique_ptr<CdDescriptor> m_cd;
};

}  // namespace quoril::test
