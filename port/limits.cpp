// Process resource limits through getrlimit/setrlimit.
#include "port/limits.h"

#include <sys/resource.h>

int64_t port_raise_open_file_limit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) != 0) return -1;
        limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? INT64_MAX : static_cast<int64_t>(limit.rlim_cur);
}
