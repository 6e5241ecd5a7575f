#include "TestDisc.h"

#include "content/RamLoadThread.h"
#include "support/WavWriter.h"

namespace quoril::test {

TestDisc::TestDisc(const std::vector<int32_t>& samples, int bits, uint32_t rate) {
    m_path = m_dir.file("disc.wav");
    if (!WavWriter(bits, 2, rate).samples(samples).write(m_path)) {
        return;
    }
    m_cd = std::make_unique<CdDescriptor>(m_path, m_log, m_settings);
    if (!m_cd->active.load()) {
        return;
    }
    LoadProgress progress{0};
    RamLoadRequest request{m_cd.get(), &progress, &m_log};
    RamLoadThread::run(request);
}

std::vector<int32_t> discSamples(size_t frames, int bits, uint32_t seed) {
    return makeSamples(frames, bits, 2, seed);
}

}  // namespace quoril::test
