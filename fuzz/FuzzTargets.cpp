#include "FuzzTargets.h"

#include <cstdio>
#include <cstdlib>

namespace quoril::fuzz {

const std::vector<FuzzTarget>& fuzzTargets() {
    static const std::vector<FuzzTarget> targets = {
        {"cue_sheet", fuzzCueSheet, cueSheetSeeds},
        {"wav_file", fuzzWavFile, wavFileSeeds},
        {"flac_file", fuzzFlacFile, flacFileSeeds},
        {"settings_reader", fuzzSettingsReader, settingsReaderSeeds},
        {"registry_file", fuzzRegistryFile, registryFileSeeds},
    };
    return targets;
}

const FuzzTarget* findFuzzTarget(const std::string& name) {
    for (const FuzzTarget& target : fuzzTargets()) {
        if (name == target.name) {
            return &target;
        }
    }
    return nullptr;
}

void fuzzFailure(const char* what) {
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

}  // namespace quoril::fuzz
