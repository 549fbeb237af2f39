// Time helpers of the I/O core: wall clock, elapsed time and the time-out unit rules
// (microseconds at the interface, whole milliseconds underneath).
#include <chrono>
#include <thread>

#include "wirelay/io_core.h"

int io_sleep(int32_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return 0;
}

void io_gettime(int64_t* seconds, int64_t* microseconds) {
    using namespace std::chrono;
    const int64_t ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    *seconds = ms / 1000;
    *microseconds = (ms % 1000) * 1000;
}

int64_t io_elapsed_between(int64_t seconds, int64_t microseconds, int64_t now_seconds,
                           int64_t now_microseconds) {
    return (now_seconds - seconds) * 1000000 + now_microseconds - microseconds;
}

int64_t io_elapsed(int64_t seconds, int64_t microseconds) {
    int64_t now_s = 0;
    int64_t now_us = 0;
    io_gettime(&now_s, &now_us);
    return io_elapsed_between(seconds, microseconds, now_s, now_us);
}

int64_t io_semaphore_wait_ms(int64_t timeout_us) {
    return timeout_us < 0 ? -1 : timeout_us / 1000;
}

int64_t io_wait_timeout_us(int64_t timeout_us) {
    // A poll of the core never spins: the shortest wait is one 10 ms tick.
    if (timeout_us >= 0 && timeout_us < 10000) return 10000;
    return timeout_us;
}
