#pragma once

#include <pthread.h>

namespace quoril {

// Raises a thread to real-time priority (SCHED_FIFO at a high level). False when the system
// refuses (no CAP_SYS_NICE and no rtprio limit): the caller logs it and carries on.
bool raiseToRealtimePriority(pthread_t thread);

}  // namespace quoril
