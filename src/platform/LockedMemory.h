#pragma once

#include <cstddef>
#include <cstdint>

namespace quoril {

// Memory for the sample store: anonymous, zero-filled mappings for which the kernel is asked for
// transparent huge pages before the first touch (touching fresh 4 KiB pages one by one costs far
// more than filling them).

// Bytes per page of the system (sysconf(_SC_PAGESIZE)).
size_t systemPageSize();

// An ordinary store of `bytes` bytes; null when it cannot be mapped.
uint8_t* mapStoreMemory(size_t bytes);
void unmapStoreMemory(uint8_t* address, size_t bytes);

// A store of `bytes` bytes locked in RAM (mlock: needs CAP_IPC_LOCK or a large enough
// RLIMIT_MEMLOCK). Null, with nothing left mapped, when the mapping or the lock is refused.
uint8_t* mapLockedMemory(size_t bytes);
// Unlocks and unmaps; false when the kernel refuses either step.
bool unmapLockedMemory(uint8_t* address, size_t bytes);

// Faults in the pages of [address, address + bytes) writable, as a first write would, without
// changing their content (MADV_POPULATE_WRITE). address must be page-aligned. Another thread may
// write into the range meanwhile. False when the kernel cannot do it (before Linux 5.14).
bool populateMemory(uint8_t* address, size_t bytes);

}  // namespace quoril
