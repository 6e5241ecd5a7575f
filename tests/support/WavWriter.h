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

    WavWriter& formatTag(uint16_t tag);
    WavWriter& blockAlign(uint16_t bytes);      // written instead of bits / 8 * channels
    WavWriter& formatChunkSize(uint32_t size);  // 16 or more; the extra bytes are zeros
    WavWriter& riffTags(const std::string& riff, const std::string& wave);
    WavWriter& chunkBeforeFormat(const std::string& id, const std::string& body);
    WavWriter& chunkBeforeData(const std::string& id, const std::string& body);
    WavWriter& chunkAfterData(const std::string& id, const std::string& body);
    // A chunk header whose size field says `size` while only `body` follows.
    WavWriter& rawChunkBeforeData(const std::string& id, uint32_t size, const std::string& body);
    WavWriter& data(const std::string& bytes);
    WavWriter& samples(const std::vector<int32_t>& samples);
    // The data chunk's size field says this instead of the real size.
    WavWriter& declaredDataSize(uint32_t size);

    std::string bytes() const;
    // Writes bytes() to path; false when the file cannot be written.
    bool write(const std::string& path) const;

  private:
    struct Chunk {
        std::string id;
        uint32_t size;
        std::string body;
        bool pad;
    };
    static void appendChunk(std::string& out, const Chunk& chunk);

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

// Little-endian helpers for building headers by hand.
void putLe16(std::string& out, uint16_t value);
void putLe32(std::string& out, uint32_t value);

}  // namespace quoril::test
