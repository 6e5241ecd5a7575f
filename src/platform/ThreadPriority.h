#pragma once

#include <pthread.h>

namespace quoril {

// Raises a thread to real-time priority (SCHED_FIFO at a high level), `stepsAbove` levels over
// the playback thread's. A device I/O thread takes one step more than the playback thread, so a
// long block fill cannot hold off the device. False when the system refuses (no CAP_SYS_NICE
// and no rtprio limit): the caller logs it and carries on.
bool raiseToRealtimePriority(pthread_t thread, int stepsAbove = 0);

}  // namespace quoril
