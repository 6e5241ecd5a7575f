#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quoril::test {

struct FlacOptions {
    int bits = 16;
    int channels = 2;
    uint32_t rate = 44100;
    bool totalSamplesInStreamInfo = true;  // false: STREAMINFO says 0 (unknown length)
    bool corruptMd5 = false;               // a signature that does not match the audio
    unsigned blockSize = 4096;
    unsigned compressionLevel = 5;
};

// Encodes interleaved samples (`options.channels` per frame) into a FLAC file with libFLAC's
// file encoder, then patches STREAMINFO as the options ask. False when encoding fails.
bool writeFlac(const std::string& path, const std::vector<int32_t>& samples, const FlacOptions& options = {});

}  // namespace quoril::test
