// The process's CPU clock, which the developer timers of the shared library read. "CPU
// time" here is the processor time that every thread of this process has used so far, in
// user and in kernel mode together; time spent waiting (sleeping, blocked on input or
// output, waiting for a lock) does not count, and two busy threads make it run twice as
// fast as the wall clock.
#pragma once

#include <cstdint>

// Nanoseconds of CPU time used by the whole process since it started. Never goes
// backwards; 0 if the clock cannot be read.
uint64_t port_process_cpu_ns();

// The same reading in whole milliseconds (rounded down).
uint64_t port_process_cpu_ms();
