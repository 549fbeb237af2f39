// Tests of the CPU timers: exact timer lines, silence of timers never started, resetting,
// the name limit, the listing order and the total lines.
#include "services/cpu_timer.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "port/cpu_clock.h"

namespace {

void BurnCpuMs(uint64_t ms) {
    const uint64_t start = port_process_cpu_ms();
    volatile uint64_t sink = 0;
    while (port_process_cpu_ms() - start < ms) sink = sink + 1;
}

template <typename Print>
std::string Printed(Print print) {
    testing::internal::CaptureStdout();
    print();
    return testing::internal::GetCapturedStdout();
}

TEST(CpuTimers, ThreeStartStopPairsCountThreeCallsAndAThirdPerCall) {
    tools::clk_timer_tag* timer = tools::clk_new_timer("loop");
    ASSERT_NE(timer, nullptr);
    for (int i = 0; i < 3; ++i) {
        tools::clk_start_timer(timer);
        BurnCpuMs(4);
        tools::clk_stop_timer(timer);
    }
    EXPECT_EQ(timer->calls, 3);
    EXPECT_GE(timer->total, 12);
    timer->total = 3000;  // a known total for the exact text
    EXPECT_EQ(Printed([&] { tools::clk_print_this_timer(timer); }),
              "calls=     3, cpu=   3.00000 s, cpu/call=   1.00000 s, timer:loop\n");
    timer->total = 1000;
    EXPECT_EQ(Printed([&] { tools::clk_print_this_timer(timer); }),
              "calls=     3, cpu=   1.00000 s, cpu/call=   0.33333 s, timer:loop\n");
}

TEST(CpuTimers, ATimerNeverStartedPrintsNothingAloneOrInTheListing) {
    tools::clk_init_timers();
    tools::clk_timer_tag* idle = tools::clk_new_timer("idle");
    tools::clk_timer_tag* busy = tools::clk_new_timer("busy");
    tools::clk_start_timer(busy);
    tools::clk_stop_timer(busy);
    busy->total = 250;
    EXPECT_EQ(Printed([&] { tools::clk_print_this_timer(idle); }), "");
    EXPECT_EQ(Printed([] { tools::clk_print_this_timer(nullptr); }), "");
    const std::string listing = Printed([] { tools::clk_print_timers(); });
    const std::regex expected(
        "calls=     1, cpu=   0\\.25000 s, cpu/call=   0\\.25000 s, timer:busy\n"
        "total  cpu: [0-9]+\\.[0-9]{6}\n"
        "total time: [0-9]+\n");
    EXPECT_TRUE(std::regex_match(listing, expected)) << listing;
}

TEST(CpuTimers, ListingIsNewestFirstAndInitZeroesCountersButKeepsNamesAndOrder) {
    tools::clk_init_timers();
    tools::clk_timer_tag* older = tools::clk_new_timer("older");
    tools::clk_timer_tag* newer = tools::clk_new_timer("newer");
    EXPECT_EQ(newer->next, older);
    for (tools::clk_timer_tag* t : {older, newer}) {
        tools::clk_start_timer(t);
        tools::clk_stop_timer(t);
        t->total = 2000;
    }
    const std::string lines =
        "calls=     1, cpu=   2.00000 s, cpu/call=   2.00000 s, timer:newer\n"
        "calls=     1, cpu=   2.00000 s, cpu/call=   2.00000 s, timer:older\n";
    EXPECT_EQ(Printed([] { tools::clk_print_timers(); }).substr(0, lines.size()), lines);
    tools::clk_init_timers();
    for (const tools::clk_timer_tag* t : {older, newer}) {
        EXPECT_EQ(t->calls, 0);
        EXPECT_EQ(t->start, 0u);
        EXPECT_EQ(t->total, 0);
    }
    EXPECT_STREQ(newer->name, "newer");
    EXPECT_EQ(newer->next, older);
    const std::string after = Printed([] { tools::clk_print_timers(); });
    EXPECT_EQ(after.find("timer:"), std::string::npos) << after;
    EXPECT_TRUE(std::regex_search(after, std::regex("total time: [01]\n$"))) << after;
}

TEST(CpuTimers, NamesAreCutTo79CharactersAndNullIsHarmless) {
    const std::string long_name(100, 'n');
    tools::clk_timer_tag* timer = tools::clk_new_timer(long_name.c_str());
    EXPECT_EQ(std::string(timer->name), long_name.substr(0, 79));
    tools::clk_timer_tag* unnamed = tools::clk_new_timer(nullptr);
    EXPECT_STREQ(unnamed->name, "");
    tools::clk_start_timer(nullptr);
    tools::clk_stop_timer(nullptr);
}

TEST(CpuTimers, StoppingATimerNeverStartedAddsTheWholeReadingAndRestartingRestarts) {
    BurnCpuMs(20);
    tools::clk_timer_tag* timer = tools::clk_new_timer("unstarted");
    const uint64_t before = port_process_cpu_ms();
    tools::clk_stop_timer(timer);
    EXPECT_GE(static_cast<uint64_t>(timer->total), before);
    EXPECT_EQ(timer->calls, 0);

    tools::clk_timer_tag* restarted = tools::clk_new_timer("restarted");
    tools::clk_start_timer(restarted);
    BurnCpuMs(30);
    tools::clk_start_timer(restarted);  // the first interval is dropped
    tools::clk_stop_timer(restarted);
    EXPECT_EQ(restarted->calls, 2);
    EXPECT_LT(restarted->total, 30);
}

}  // namespace
