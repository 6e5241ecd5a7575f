#include "support/FlacWriter.h"

#include <FLAC++/encoder.h>

#include <algorithm>
#include <fstream>

namespace quoril::test {

bool writeFlac(const std::string& path, const std::vector<int32_t>& samples, const FlacOptions& options) {
    FLAC::Encoder::File encoder;
    const unsigned channels = static_cast<unsigned>(options.channels);
    const size_t frames = samples.size() / channels;
    encoder.set_channels(channels);
    encoder.set_bits_per_sample(static_cast<unsigned>(options.bits));
    encoder.set_sample_rate(options.rate);
    encoder.set_compression_level(options.compressionLevel);
    encoder.set_blocksize(options.blockSize);
    encoder.set_total_samples_estimate(frames);
    if (encoder.init(path) != FLAC__STREAM_ENCODER_INIT_STATUS_OK ||
        !encoder.process_interleaved(samples.data(), static_cast<unsigned>(frames)) || !encoder.finish()) {
        return false;
    }
    if (options.totalSamplesInStreamInfo && !options.corruptMd5) {
        return true;
    }
    // STREAMINFO follows the "fLaC" marker and its 4-byte block header.
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    char head[8 + 34];
    if (!file.read(head, sizeof head) || std::string(head, 4) != "fLaC" || (head[4] & 0x7F) != 0) {
        return false;
    }
    char* info = head + 8;
    if (!options.totalSamplesInStreamInfo) {
        // 36 bits of total samples: the low nibble of byte 13 and bytes 14 to 17.
        info[13] = static_cast<char>(info[13] & 0xF0);
        std::fill(info + 14, info + 18, 0);
    }
    if (options.corruptMd5) {
        info[18] = static_cast<char>(info[18] ^ 0x5A);
    }
    file.seekp(0);
    file.write(head, sizeof head);
    return static_cast<bool>(file);
}

}  // namespace quoril::test
