// Tests of the clocks: wall seconds, the local offset under fixed time zones, monotonic
// time and sleeping.
#include "port/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

TEST(Clock, LocalOffsetIsPositiveEast) {
    const char* old = getenv("TZ");
    const std::string saved = old != nullptr ? old : "";
    const std::pair<const char*, int64_t> zones[] = {
        {"XST-2", 7200}, {"XST+5:30", -19800}, {"UTC0", 0}};
    for (const auto& [zone, offset] : zones) {  // POSIX TZ signs are west-positive
        setenv("TZ", zone, 1);
        tzset();
        EXPECT_EQ(port_local_utc_offset_seconds(), offset) << zone;
    }
    old != nullptr ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
    tzset();
}

TEST(Clock, SleepWaitsAtLeastTheAskedTimeAndWallSecondsFollowTheSystemClock) {
    const int64_t wall_before = static_cast<int64_t>(time(nullptr));
    const uint64_t start = port_monotonic_ns();
    port_sleep_ms(20);
    const uint64_t slept = port_monotonic_ns() - start;
    EXPECT_GE(slept, 20u * 1000 * 1000);
    EXPECT_LT(slept, 2000u * 1000 * 1000);
    EXPECT_GE(port_wall_seconds(), wall_before);
    EXPECT_LE(port_wall_seconds(), wall_before + 3);
    const uint64_t again = port_monotonic_ns();
    port_sleep_ms(-100);  // returns at once
    EXPECT_LT(port_monotonic_ns() - again, 50u * 1000 * 1000);
}

}  // namespace
