// Tests of the process CPU clock: it advances with work done on any thread and not while
// the process sleeps; the millisecond reading is the nanosecond reading cut down.
#include "port/cpu_clock.h"

#include <gtest/gtest.h>

#include <thread>

#include "port/clock.h"

namespace {

// Burns CPU until the process clock has advanced by at least `ns`.
void Burn(uint64_t ns) {
    const uint64_t start = port_process_cpu_ns();
    volatile uint64_t sink = 0;
    while (port_process_cpu_ns() - start < ns) sink = sink + 1;
}

TEST(CpuClock, AdvancesWithWorkOnAnyThreadButNotWhileSleeping) {
    const uint64_t before = port_process_cpu_ns();
    EXPECT_GT(before, 0u);
    Burn(5000000);
    EXPECT_GE(port_process_cpu_ns() - before, 5000000u);

    const uint64_t before_thread = port_process_cpu_ns();
    std::thread worker([] { Burn(5000000); });
    worker.join();
    EXPECT_GE(port_process_cpu_ns() - before_thread, 5000000u);  // the whole process counts

    const uint64_t before_sleep = port_process_cpu_ns();
    port_sleep_ms(100);
    EXPECT_LT(port_process_cpu_ns() - before_sleep, 50000000u);  // sleeping costs ~nothing
}

TEST(CpuClock, MillisecondsAreTheNanosecondsRoundedDown) {
    const uint64_t ns_before = port_process_cpu_ns();
    const uint64_t ms = port_process_cpu_ms();
    const uint64_t ns_after = port_process_cpu_ns();
    EXPECT_GE(ms, ns_before / 1000000u);
    EXPECT_LE(ms, ns_after / 1000000u);
}

}  // namespace
