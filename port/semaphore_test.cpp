// Tests of the counting semaphore: counts, limits, timed waits and cross-thread hand-over.
#include "port/semaphore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

TEST(Semaphore, CountsAndRefusesToPassItsMaximum) {
    port::Semaphore s(1, 3);
    EXPECT_EQ(s.Count(), 1);
    EXPECT_TRUE(s.Release(2));
    EXPECT_FALSE(s.Release(1));  // 4 > 3: nothing added
    EXPECT_EQ(s.Count(), 3);
    EXPECT_FALSE(s.Release(0));
    EXPECT_FALSE(s.Release(-1));
    EXPECT_TRUE(s.TryAcquire());
    EXPECT_TRUE(s.Acquire(0));
    EXPECT_TRUE(s.Acquire(-1));
    EXPECT_FALSE(s.TryAcquire());
    EXPECT_EQ(s.Count(), 0);
}

TEST(Semaphore, TimedWaitsEndOnTime) {
    port::Semaphore s(0, 10);
    auto start = Clock::now();
    EXPECT_FALSE(s.Acquire(0));
    EXPECT_LT(MsSince(start), 100);  // generous: a busy machine may preempt us
    start = Clock::now();
    EXPECT_FALSE(s.Acquire(40));
    const int64_t waited = MsSince(start);
    EXPECT_GE(waited, 39);
    EXPECT_LT(waited, 1000);
}

TEST(Semaphore, ReleaseWakesASleeperWithoutLimit) {
    port::Semaphore s(0, 10);
    std::thread t([&s] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        s.Release(1);
    });
    auto start = Clock::now();
    EXPECT_TRUE(s.Acquire(-1));
    EXPECT_GE(MsSince(start), 25);
    t.join();
}

TEST(Semaphore, NoCountIsLostOrInventedUnderContention) {
    port::Semaphore s(0, 0x7fffffff);
    constexpr int kPerThread = 20000;
    std::atomic<int> taken{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&] {
            for (int k = 0; k < kPerThread; ++k) {
                if (s.Acquire(5000)) taken.fetch_add(1);
            }
        });
    }
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&] {
            for (int k = 0; k < kPerThread; ++k) s.Release(1);
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(taken.load(), 2 * kPerThread);
    EXPECT_EQ(s.Count(), 0);
}

}  // namespace
