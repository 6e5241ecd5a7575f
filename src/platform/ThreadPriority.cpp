#include "platform/ThreadPriority.h"

#include <sched.h>

namespace quoril {

bool raiseToRealtimePriority(pthread_t thread, int stepsAbove) {
    // 70: above the kernel's threaded interrupt handlers (50 by default), so a busy system does not
    // delay a block fill, and below the top of the range that the kernel keeps for its watchdogs.
    sched_param param{};
    int top = sched_get_priority_max(SCHED_FIFO);
    int wanted = 70 + (stepsAbove > 0 ? stepsAbove : 0);
    param.sched_priority = top > wanted ? wanted : top;
    return pthread_setschedparam(thread, SCHED_FIFO, &param) == 0;
}

}  // namespace quoril
