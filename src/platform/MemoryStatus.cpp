#include "platform/MemoryStatus.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quoril {

bool readMemoryStatus(MemoryStatus& status) {
    const char* override = std::getenv("QUORIL_MEMINFO");
    return readMemoryStatus(status, override && *override ? override : "/proc/meminfo");
}

bool readMemoryStatus(MemoryStatus& status, const std::string& meminfoPath) {
    FILE* file = std::fopen(meminfoPath.c_str(), "r");
    if (!file) {
        return false;
    }
    bool haveAvailable = false;
    bool haveTotal = false;
    char line[256];
    while (std::fgets(line, sizeof line, file)) {
        unsigned long long kib = 0;
        if (std::sscanf(line, "MemTotal: %llu", &kib) == 1) {
            status.totalBytes = kib * 1024;
            haveTotal = true;
        } else if (std::sscanf(line, "MemAvailable: %llu", &kib) == 1) {
            status.availableBytes = kib * 1024;
            haveAvailable = true;
        }
    }
    std::fclose(file);
    return haveAvailable && haveTotal;
}

}  // namespace quoril
