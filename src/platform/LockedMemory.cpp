#include "platform/LockedMemory.h"

#include <sys/mman.h>
#include <unistd.h>

namespace quoril {

namespace {

uint8_t* mapAnonymous(size_t bytes) {
    if (bytes == 0) {
        return nullptr;
    }
    void* address = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (address == MAP_FAILED) {
        return nullptr;
    }
#ifdef MADV_HUGEPAGE
    // Only advice: a kernel without transparent huge pages keeps small pages, which still work.
    madvise(address, bytes, MADV_HUGEPAGE);
#endif
    return static_cast<uint8_t*>(address);
}

}  // namespace

size_t systemPageSize() {
    long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<size_t>(size) : 4096;
}

uint8_t* mapStoreMemory(size_t bytes) {
    return mapAnonymous(bytes);
}

void unmapStoreMemory(uint8_t* address, size_t bytes) {
    if (address != nullptr && bytes != 0) {
        munmap(address, bytes);
    }
}

uint8_t* mapLockedMemory(size_t bytes) {
    uint8_t* address = mapAnonymous(bytes);
    if (address == nullptr) {
        return nullptr;
    }
    if (mlock(address, bytes) != 0) {
        munmap(address, bytes);
        return nullptr;
    }
    return address;
}

bool populateMemory(uint8_t* address, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    return address != nullptr && madvise(address, bytes, MADV_POPULATE_WRITE) == 0;
#else
    (void)address;
    (void)bytes;
    return false;
#endif
}

bool unmapLockedMemory(uint8_t* address, size_t bytes) {
    if (address == nullptr || bytes == 0) {
        return false;
    }
    if (munlock(address, bytes) != 0) {
        return false;
    }
    return munmap(address, bytes) == 0;
}

}  // namespace quoril
