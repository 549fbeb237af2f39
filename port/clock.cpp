// POSIX clocks behind clock.h.
#include "port/clock.h"

#include <cerrno>
#include <ctime>

int64_t port_wall_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec);
}

int64_t port_local_utc_offset_seconds() {
    const time_t now = time(nullptr);
    tm local{};
    if (localtime_r(&now, &local) == nullptr) return 0;
    return static_cast<int64_t>(local.tm_gmtoff);
}

uint64_t port_monotonic_ns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

void port_sleep_ms(int64_t milliseconds) {
    if (milliseconds <= 0) return;
    timespec rest{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>((milliseconds % 1000) * 1000000)};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}
