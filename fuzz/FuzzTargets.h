#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quoril::fuzz {

// One input reader under attack. `entry` takes any bytes, must return 0, and aborts only when it
// finds the reader broke a promise (a track outside the audio, a value outside its range);
// memory errors are left to the sanitizers. `seeds` are well-formed inputs to start mutating from.
struct FuzzTarget {
    const char* name;
    int (*entry)(const uint8_t* data, size_t size);
    std::vector<std::string> (*seeds)();
};

// Every target, in a fixed order. The names are the directories under fuzz/regressions/.
const std::vector<FuzzTarget>& fuzzTargets();
const FuzzTarget* findFuzzTarget(const std::string& name);

// Stops the process with a message on stderr when a promise was broken.
[[noreturn]] void fuzzFailure(const char* what);

// The entry functions, one per target file in fuzz/targets/.
int fuzzCueSheet(const uint8_t* data, size_t size);
int fuzzWavFile(const uint8_t* data, size_t size);
int fuzzFlacFile(const uint8_t* data, size_t size);
int fuzzSettingsReader(const uint8_t* data, size_t size);
int fuzzRegistryFile(const uint8_t* data, size_t size);

std::vector<std::string> cueSheetSeeds();
std::vector<std::string> wavFileSeeds();
std::vector<std::string> flacFileSeeds();
std::vector<std::string> settingsReaderSeeds();
std::vector<std::string> registryFileSeeds();

}  // namespace quoril::fuzz
