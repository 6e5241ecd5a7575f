#include "platform/ThreadPriority.h"

#include <sched.h>

namespace quoril {

bool raiseToRealtimePriority(pthread_t thread) {
    // 70: above the kernel's threaded interrupt handlers (50 by default), so a busy system does not
    // delay a block fill, and below the top of the range that the kernel keeps for its watchdogs.
    sched_param param{};
    int top = sched_get_priority_max(SCHED_FIFO);
    param.sched_priority = top > 70 ? 70 : top;
    return pthread_setschedparam(thread, SCHED_FIFO, &param) == 0;
}

}  // namespace quoril
