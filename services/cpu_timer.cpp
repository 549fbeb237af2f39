// The CPU timers: a process-wide list of records and two reference readings.
#include "services/cpu_timer.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "port/clock.h"
#include "port/cpu_clock.h"

namespace tools {
namespace {

clk_timer_tag* s_timers = nullptr;  // newest first
uint32_t s_reference_cpu_ms = 0;
int64_t s_reference_wall_seconds = 0;

// The reading wraps with the 32-bit fields; differences are taken in unsigned arithmetic,
// so they stay right across a wrap.
uint32_t cpu_reading_ms() {
    return static_cast<uint32_t>(port_process_cpu_ms());
}

}  // namespace

void clk_init_timers() {
    s_reference_cpu_ms = cpu_reading_ms();
    s_reference_wall_seconds = port_wall_seconds();
    for (clk_timer_tag* timer = s_timers; timer != nullptr; timer = timer->next) {
        timer->calls = 0;
        timer->start = 0;
        timer->total = 0;
    }
}

clk_timer_tag* clk_new_timer(const char* name) {
    auto* timer = static_cast<clk_timer_tag*>(calloc(1, sizeof(clk_timer_tag)));
    if (timer == nullptr) return nullptr;
    if (name != nullptr) memcpy(timer->name, name, strnlen(name, sizeof timer->name - 1));
    timer->next = s_timers;
    s_timers = timer;
    return timer;
}

void clk_start_timer(clk_timer_tag* timer) {
    if (timer == nullptr) return;
    timer->calls = static_cast<int32_t>(static_cast<uint32_t>(timer->calls) + 1u);
    timer->start = cpu_reading_ms();
}

void clk_stop_timer(clk_timer_tag* timer) {
    if (timer == nullptr) return;
    const uint32_t elapsed = cpu_reading_ms() - timer->start;
    timer->total = static_cast<int32_t>(static_cast<uint32_t>(timer->total) + elapsed);
}

void clk_print_this_timer(const clk_timer_tag* timer) {
    if (timer == nullptr || timer->calls == 0) return;
    const double seconds = timer->total / 1000.0;
    printf("calls=%6d, cpu=%10.5f s, cpu/call=%10.5f s, timer:%s\n", timer->calls, seconds,
           seconds / timer->calls, timer->name);
}

void clk_print_timers() {
    for (const clk_timer_tag* timer = s_timers; timer != nullptr; timer = timer->next)
        clk_print_this_timer(timer);
    printf("total  cpu: %f\n", (cpu_reading_ms() - s_reference_cpu_ms) / 1000.0);
    int64_t wall = port_wall_seconds() - s_reference_wall_seconds;
    if (wall > INT_MAX) wall = INT_MAX;
    if (wall < INT_MIN) wall = INT_MIN;
    printf("total time: %d\n", static_cast<int>(wall));
}

}  // namespace tools
