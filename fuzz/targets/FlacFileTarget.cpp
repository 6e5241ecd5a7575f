// One FLAC file: the validator's decode up to the first frame, then the full decode through the
// callbacks into the store.

#include <cstdio>

#include "FuzzTargets.h"
#include "FuzzWorkspace.h"
#include "support/FlacWriter.h"
#include "support/TempDir.h"
#include "support/WavWriter.h"
#include "targets/DiscCheck.h"

namespace quoril::fuzz {

int fuzzFlacFile(const uint8_t* data, size_t size) {
    const FuzzWorkspace& workspace = FuzzWorkspace::instance();
    openLoadAndCheck(workspace.write("input.flac", data, size));
    return 0;
}

std::vector<std::string> flacFileSeeds() {
    using test::makeSamples;
    test::TempDir dir;
    std::vector<std::string> seeds;
    auto encode = [&](const std::vector<int32_t>& samples, test::FlacOptions options) {
        options.rate = FuzzWorkspace::kFixtureRate;
        std::string path = dir.file("seed.flac");
        if (test::writeFlac(path, samples, options)) {
            seeds.push_back(test::readFile(path));
        }
    };
    test::FlacOptions plain;
    plain.blockSize = 1024;
    encode(makeSamples(2100, 16, 2, 21), plain);
    test::FlacOptions deep = plain;
    deep.bits = 24;
    encode(makeSamples(2100, 24, 2, 22), deep);
    test::FlacOptions unknownLength = plain;
    unknownLength.totalSamplesInStreamInfo = false;
    encode(makeSamples(2100, 16, 2, 23), unknownLength);
    test::FlacOptions mono = plain;
    mono.channels = 1;
    encode(makeSamples(2100, 16, 1, 24), mono);
    test::FlacOptions badSignature = plain;
    badSignature.corruptMd5 = true;
    encode(makeSamples(2100, 16, 2, 25), badSignature);
    return seeds;
}

}  // namespace quoril::fuzz
