#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quoril::test {

// Deterministic test audio: `frames` frames of interleaved pseudo-random samples covering the full
// range of `bits`, different for each seed.
std::vector<int32_t> makeSamples(size_t frames, int bits = 16, int channels = 2, uint32_t seed = 1);
// Samples packed as a PCM WAV "data" chunk holds them: little-endian, bits / 8 bytes each
// (8-bit samples are stored unsigned, offset by 128, as WAV does).
std::string packSamples(const std::vector<int32_t>& samples, int bits);

// Builds WAV files byte by byte, including the odd ones a reader must cope with: extra chunks
// before and after "fmt " and "data" (odd sizes get their pad byte), long format chunks, other
// format tags, a data size that claims more or less than the file holds.
class WavWriter {
  public:
    WavWriter(int bits = 16, int channels = 2, uint32_t rate = 44100);

    WavWriter& formatTag(uint16_t tag) { return set(m_formatTag, tag); }
    // Written instead of bits / 8 * channels.
    WavWriter& blockAlign(uint16_t bytes) { return set(m_blockAlign, bytes); }
    // The fmt chunk's size field; above 16 the extra bytes are zeros, below it claims too little.
    WavWriter& formatChunkSize(uint32_t size) { return set(m_formatSize, size); }
    WavWriter& riffTags(const std::string& riff, const std::string& wave) {
        return set(m_riff, riff).set(m_wave, wave);
    }
    WavWriter& chunkBeforeFormat(const std::string& id, const std::string& body) {
        return add(m_beforeFormat, id, body);
    }
    WavWriter& chunkBeforeData(const std::string& id, const std::string& body) {
        return add(m_beforeData, id, body);
    }
    WavWriter& chunkAfterData(const std::string& id, const std::string& body) {
        return add(m_afterData, id, body);
    }
    WavWriter& data(const std::string& bytes) { return set(m_data, bytes); }
    WavWriter& samples(const std::vector<int32_t>& samples) { return data(packSamples(samples, m_bits)); }
    // The data chunk's size field says this instead of the real size.
    WavWriter& declaredDataSize(uint32_t size) { return set(m_declaredDataSize, size); }

    std::string bytes() const;
    // Writes bytes() to path; false when the file cannot be written.
    bool write(const std::string& path) const;

  private:
    struct Chunk {
        std::string id, body;
        int64_t size = -1;  // the size field's value when it is not the body's size
    };
    static void appendChunk(std::string& out, const Chunk& chunk);
    template <typename Field, typename Value>
    WavWriter& set(Field& field, const Value& value) {
        field = static_cast<Field>(value);
        return *this;
    }
    WavWriter& add(std::vector<Chunk>& chunks, const std::string& id, const std::string& body) {
        chunks.push_back({id, body});
        return *this;
    }

    int m_bits;
    int m_channels;
    uint32_t m_rate;
    uint16_t m_formatTag = 1;
    int m_blockAlign = -1;
    uint32_t m_formatSize = 16;
    std::string m_riff = "RIFF";
    std::string m_wave = "WAVE";
    std::vector<Chunk> m_beforeFormat;
    std::vector<Chunk> m_beforeData;
    std::vector<Chunk> m_afterData;
    std::string m_data;
    int64_t m_declaredDataSize = -1;
};

}  // namespace quoril::test
