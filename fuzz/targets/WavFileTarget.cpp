// One WAV file: the chunk walk of the validator, then the block reads of the loader.

#include "FuzzTargets.h"
#include "FuzzWorkspace.h"
#include "support/WavWriter.h"
#include "targets/DiscCheck.h"

namespace quoril::fuzz {

int fuzzWavFile(const uint8_t* data, size_t size) {
    const FuzzWorkspace& workspace = FuzzWorkspace::instance();
    openLoadAndCheck(workspace.write("input.wav", data, size));
    return 0;
}

std::vector<std::string> wavFileSeeds() {
    using test::makeSamples;
    using test::WavWriter;
    constexpr unsigned rate = FuzzWorkspace::kFixtureRate;
    const auto audio16 = makeSamples(2100, 16, 2, 11);
    const auto audio24 = makeSamples(2100, 24, 2, 12);
    return {
        WavWriter(16, 2, rate).samples(audio16).bytes(),
        WavWriter(24, 2, rate).samples(audio24).bytes(),
        WavWriter(16, 2, rate)
            .chunkBeforeFormat("JUNK", "odd")
            .chunkBeforeData("LIST", "INFOtitle")
            .samples(audio16)
            .chunkAfterData("id3 ", "tag")
            .bytes(),
        WavWriter(16, 2, rate).formatChunkSize(40).samples(audio16).bytes(),
        WavWriter(16, 2, rate).samples(makeSamples(600, 16, 2, 13)).declaredDataSize(2500 * 4).bytes(),
        WavWriter(16, 1, rate).samples(makeSamples(4200, 16, 1, 14)).bytes(),
    };
}

}  // namespace quoril::fuzz
