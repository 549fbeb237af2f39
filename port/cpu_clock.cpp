// The process CPU clock behind cpu_clock.h, on the POSIX per-process CPU-time clock.
#include "port/cpu_clock.h"

#include <ctime>

uint64_t port_process_cpu_ns() {
    timespec ts{};
    if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts) != 0) return 0;
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

uint64_t port_process_cpu_ms() {
    return port_process_cpu_ns() / 1000000u;
}
