#include "support/WavWriter.h"

#include <fstream>

namespace quoril::test {

// Appends the low `bytes` bytes of value, least significant first, as WAV stores every number.
static void putLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>(value >> (8 * i)));
    }
}

std::vector<int32_t> makeSamples(size_t frames, int bits, int channels, uint32_t seed) {
    std::vector<int32_t> samples(frames * channels);
    uint64_t state = 0x9E3779B97F4A7C15ULL * (seed + 1);
    const int shift = 64 - bits;
    for (int32_t& sample : samples) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        // The top bits of the generator, as a signed value of `bits` bits.
        sample = static_cast<int32_t>(static_cast<int64_t>(state) >> shift);
    }
    return samples;
}

std::string packSamples(const std::vector<int32_t>& samples, int bits) {
    const int bytesPerSample = bits / 8;
    std::string out;
    out.reserve(samples.size() * bytesPerSample);
    for (int32_t sample : samples) {
        putLe(out, static_cast<uint32_t>(bits == 8 ? sample + 128 : sample), bytesPerSample);
    }
    return out;
}

WavWriter::WavWriter(int bits, int channels, uint32_t rate)
    : m_bits(bits), m_channels(channels), m_rate(rate) {}

void WavWriter::appendChunk(std::string& out, const Chunk& chunk) {
    out += chunk.id.substr(0, 4);
    putLe(out, static_cast<uint32_t>(chunk.size >= 0 ? chunk.size : int64_t(chunk.body.size())), 4);
    out += chunk.body;
    if (chunk.body.size() % 2 == 1) {
        out.push_back('\0');
    }
}

std::string WavWriter::bytes() const {
    std::string body = m_wave.substr(0, 4);
    for (const Chunk& chunk : m_beforeFormat) {
        appendChunk(body, chunk);
    }
    std::string format;
    const uint16_t align = m_blockAlign >= 0 ? static_cast<uint16_t>(m_blockAlign)
                                             : static_cast<uint16_t>(m_bits / 8 * m_channels);
    putLe(format, m_formatTag, 2);
    putLe(format, static_cast<uint16_t>(m_channels), 2);
    putLe(format, m_rate, 4);
    putLe(format, m_rate * align, 4);
    putLe(format, align, 2);
    putLe(format, static_cast<uint16_t>(m_bits), 2);
    if (m_formatSize > 16) {
        format.append(m_formatSize - 16, '\0');
    }
    appendChunk(body, {"fmt ", format, m_formatSize});
    for (const Chunk& chunk : m_beforeData) {
        appendChunk(body, chunk);
    }
    const uint32_t dataSize = m_declaredDataSize >= 0 ? static_cast<uint32_t>(m_declaredDataSize)
                                                      : static_cast<uint32_t>(m_data.size());
    body += "data";
    putLe(body, dataSize, 4);
    body += m_data;
    if (!m_afterData.empty() && m_data.size() % 2 == 1) {
        body.push_back('\0');
    }
    for (const Chunk& chunk : m_afterData) {
        appendChunk(body, chunk);
    }
    std::string out = m_riff.substr(0, 4);
    putLe(out, static_cast<uint32_t>(body.size()), 4);
    return out + body;
}

bool WavWriter::write(const std::string& path) const {
    return static_cast<bool>(std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes());
}

}  // namespace quoril::test
