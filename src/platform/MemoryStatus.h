#pragma once

#include <cstdint>
#include <string>

namespace quoril {

struct MemoryStatus {
    uint64_t availableBytes = 0;  // MemAvailable
    uint64_t totalBytes = 0;      // MemTotal
};

// Reads MemAvailable and MemTotal from /proc/meminfo, or from the file named by
// $QUORIL_MEMINFO (tests use it to simulate a small machine). False when neither can be read.
bool readMemoryStatus(MemoryStatus& status);
bool readMemoryStatus(MemoryStatus& status, const std::string& meminfoPath);

}  // namespace quoril
