// Wall clock, local-time offset, monotonic clock and sleeping. The wall clock and the
// offset are what the base tools' local time is built from; the monotonic clock is for
// timeouts and measuring, never for timestamps.
#pragma once

#include <cstdint>

// Seconds since 1970-01-01 00:00:00 UTC.
int64_t port_wall_seconds();

// Offset of the local time (time zone and daylight saving in force now) from UTC in
// seconds, positive east of Greenwich (UTC+01:00 gives 3600).
int64_t port_local_utc_offset_seconds();

// Nanoseconds of a monotonic clock with an arbitrary origin; never goes backwards.
uint64_t port_monotonic_ns();

// Sleeps at least `milliseconds` (resuming after signals); zero or negative returns at once.
void port_sleep_ms(int64_t milliseconds);
