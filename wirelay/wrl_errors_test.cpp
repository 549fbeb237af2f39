// Error texts and the allocation counters.
#include "wirelay/wrl_errors.h"

#include <gtest/gtest.h>

#include "wirelay/wrl_alloc.h"

namespace {

TEST(WrlStrerrorTest, TableTexts) {
    EXPECT_STREQ(wrl_strerror(WRL_OK), "no error");
    EXPECT_STREQ(wrl_strerror(WRL_EBROKEN), "connection broken");
    EXPECT_STREQ(wrl_strerror(WRL_EADDRINUSE), "port is already in use");
    EXPECT_STREQ(wrl_strerror(WRL_EVERSION), "version mismatch");
}

TEST(WrlStrerrorTest, CodesOutsideTheTable) {
    EXPECT_STREQ(wrl_strerror(99), "Error 99.");
    EXPECT_STREQ(wrl_strerror(14), "Error 14.");
}

TEST(WrlStrerrorTest, UserLevelCodes) {
    EXPECT_STREQ(wrl_strerror(static_cast<int>(0x80000007u)), "User level error: unknown client");
    EXPECT_STREQ(wrl_strerror(static_cast<int>(0x80000000u)), "User level error: no error");
    // Low bits outside the table: the whole code, printed signed.
    EXPECT_STREQ(wrl_strerror(static_cast<int>(0x80000063u)), "User level error: -2147483549");
    EXPECT_STREQ(wrl_strerror(-1), "User level error: -1");
}

TEST(WrlAllocTest, CountsMallocsAndFrees) {
    unsigned long m0 = 0, f0 = 0;
    wrl_mallocstats_get(&m0, &f0);
    void* a = wrl_malloc(10);
    void* b = wrl_calloc(20);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(static_cast<unsigned char*>(b)[i], 0);
    wrl_free(a);
    wrl_free(b);
    unsigned long m1 = 0, f1 = 0;
    wrl_mallocstats_get(&m1, &f1);
    EXPECT_EQ(m1 - m0, 2u);
    EXPECT_EQ(f1 - f0, 2u);
}

TEST(WrlAllocTest, StatsLineOnStandardOutput) {
    testing::internal::CaptureStdout();
    wrl_mallocstats();
    const std::string out = testing::internal::GetCapturedStdout();
    unsigned long m = 0, f = 0;
    wrl_mallocstats_get(&m, &f);
    EXPECT_EQ(out, std::to_string(m) + " mallocs, " + std::to_string(f) + " frees\n");
}

TEST(WrlAllocTest, AHugeRequestFailsCleanly) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer treats an impossible size as a fault";
#endif
    unsigned long m0 = 0;
    wrl_mallocstats_get(&m0, nullptr);
    // More than any address space can give; the failure is counted and returns null.
    void* p = wrl_malloc(static_cast<size_t>(-1) / 2);
    EXPECT_EQ(p, nullptr);
    unsigned long m1 = 0;
    wrl_mallocstats_get(&m1, nullptr);
    EXPECT_EQ(m1 - m0, 1u);
}

}  // namespace
