// Named CPU timers that a developer wraps around code to print how often it ran and how
// much CPU time it took. "CPU time" is the processor time of the whole process (every
// thread, user and kernel mode together), not wall-clock time: time spent waiting does
// not count, and work on other threads while a timer runs is counted in it. Readings are
// kept in milliseconds, so the 32-bit fields wrap only after about 24 days of CPU time.
//
// Timers are created once and never freed. No locking: use them from one thread.
#pragma once

#include <cstdint>

#include "dbv/common_export.h"

namespace tools {

struct clk_timer_tag {
    char name[80];        // at most 79 characters
    int32_t calls;        // number of starts
    uint32_t start;       // CPU milliseconds at the latest start
    int32_t total;        // CPU milliseconds accumulated between starts and stops
    clk_timer_tag* next;  // next timer in the process-wide list (newest first)
};

// Takes the CPU clock and the wall clock as the reference of the total lines and sets
// calls, start and total of every timer to 0 (names and list order stay).
COMMON_EXPORT void clk_init_timers();

// A new zeroed timer named `name` (cut to 79 characters; null gives an empty name) at the
// head of the list. Null when memory runs out.
COMMON_EXPORT clk_timer_tag* clk_new_timer(const char* name);

// calls + 1 and start = now. Starting a running timer restarts its interval. Null is
// ignored.
COMMON_EXPORT void clk_start_timer(clk_timer_tag* timer);

// total += now - start. Stopping a timer that was never started adds the whole reading.
// Null is ignored.
COMMON_EXPORT void clk_stop_timer(clk_timer_tag* timer);

// Prints on standard output, for a non-null timer that has been started:
// "calls=%6d, cpu=%10.5f s, cpu/call=%10.5f s, timer:%s\n" with calls, total seconds,
// seconds per call and the name.
COMMON_EXPORT void clk_print_this_timer(const clk_timer_tag* timer);

// Prints the line of every started timer, newest first, then "total  cpu: %f\n" (CPU
// seconds since clk_init_timers) and "total time: %d\n" (whole wall-clock seconds since
// clk_init_timers; both references are 0 before the first call).
COMMON_EXPORT void clk_print_timers();

}  // namespace tools
