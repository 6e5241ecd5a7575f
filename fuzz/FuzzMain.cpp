// The libFuzzer entry of one target; QUORIL_FUZZ_ENTRY names its entry function.

#include <cstddef>
#include <cstdint>

#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return quoril::fuzz::QUORIL_FUZZ_ENTRY(data, size);
}
