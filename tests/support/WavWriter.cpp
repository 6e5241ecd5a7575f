#include "support/WavWriter.h"

#include <fstream>

namespace quoril::test {

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
        uint32_t value = static_cast<uint32_t>(bits == 8 ? sample + 128 : sample);
        for (int i = 0; i < bytesPerSample; ++i) {
            out.push_back(static_cast<char>(value >> (8 * i)));
        }
    }
    return out;
}

void putLe16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value));
    out.push_back(static_cast<char>(value >> 8));
}

void putLe32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>(value >> (8 * i)));
    }
}

WavWriter::WavWriter(int bits, int channels, uint32_t rate)
    : m_bits(bits), m_channels(channels), m_rate(rate) {}

WavWriter& WavWriter::formatTag(uint16_t tag) {
    m_formatTag = tag;
    return *this;
}

WavWriter& WavWriter::blockAlign(uint16_t bytes) {
    m_blockAlign = bytes;
    return *this;
}

WavWriter& WavWriter::formatChunkSize(uint32_t size) {
    m_formatSize = size;
    return *this;
}

WavWriter& WavWriter::riffTags(const std::string& riff, const std::string& wave) {
    m_riff = riff;
    m_wave = wave;
    return *this;
}

WavWriter& WavWriter::chunkBeforeFormat(const std::string& id, const std::string& body) {
    m_beforeFormat.push_back({id, static_cast<uint32_t>(body.size()), body, true});
    return *this;
}

WavWriter& WavWriter::chunkBeforeData(const std::string& id, const std::string& body) {
    m_beforeData.push_back({id, static_cast<uint32_t>(body.size()), body, true});
    return *this;
}

WavWriter& WavWriter::chunkAfterData(const std::string& id, const std::string& body) {
    m_afterData.push_back({id, static_cast<uint32_t>(body.size()), body, true});
    return *this;
}

WavWriter& WavWriter::rawChunkBeforeData(const std::string& id, uint32_t size, const std::string& body) {
    m_beforeData.push_back({id, size, body, false});
    return *this;
}

WavWriter& WavWriter::data(const std::string& bytes) {
    m_data = bytes;
    return *this;
}

WavWriter& WavWriter::samples(const std::vector<int32_t>& samples) {
    return data(packSamples(samples, m_bits));
}

WavWriter& WavWriter::declaredDataSize(uint32_t size) {
    m_declaredDataSize = size;
    return *this;
}

void WavWriter::appendChunk(std::string& out, const Chunk& chunk) {
    out += chunk.id.substr(0, 4);
    putLe32(out, chunk.size);
    out += chunk.body;
    if (chunk.pad && chunk.body.size() % 2 == 1) {
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
    putLe16(format, m_formatTag);
    putLe16(format, static_cast<uint16_t>(m_channels));
    putLe32(format, m_rate);
    putLe32(format, m_rate * align);
    putLe16(format, align);
    putLe16(format, static_cast<uint16_t>(m_bits));
    if (m_formatSize > 16) {
        format.append(m_formatSize - 16, '\0');
    }
    appendChunk(body, {"fmt ", m_formatSize, format, true});
    for (const Chunk& chunk : m_beforeData) {
        appendChunk(body, chunk);
    }
    const uint32_t dataSize = m_declaredDataSize >= 0 ? static_cast<uint32_t>(m_declaredDataSize)
                                                      : static_cast<uint32_t>(m_data.size());
    body += "data";
    putLe32(body, dataSize);
    body += m_data;
    if (!m_afterData.empty() && m_data.size() % 2 == 1) {
        body.push_back('\0');
    }
    for (const Chunk& chunk : m_afterData) {
        appendChunk(body, chunk);
    }
    std::string out = m_riff.substr(0, 4);
    putLe32(out, static_cast<uint32_t>(body.size()));
    return out + body;
}

bool WavWriter::write(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes();
    return static_cast<bool>(out);
}

}  // namespace quoril::test
