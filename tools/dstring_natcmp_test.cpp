// Natural comparison: numbers by value, long digit runs, minus signs, leading zeros.
#include <gtest/gtest.h>

#include "tools/tool_dstring.h"

namespace {

TEST(NatCmp, NumbersByValueLongRunsMinusSignsAndEqualNumbers) {
    const struct {
        const char* a;
        const char* b;
        int expected;
    } cases[] = {
        {"file2", "file10", -1},
        {"file10", "file2", 1},
        {"a9b", "a10a", -1},
        {"part7_v003", "part7_v12", -1},
        {"abc", "abc", 0},
        {nullptr, nullptr, 0},
        {nullptr, "", -1},
        {"", nullptr, 1},
        {"ab", "abc", -1},
        {"\xE9", "z", 1},
        // equal numbers: the walk goes on over the shorter number's end
        {"a01", "a1", 1},
        {"a1", "a01", -1},
        {"a007b", "a7c", -1},
        {"v12", "v12x", -1},
        // 10 digits beat 9; two 10-digit runs and longer compare bytewise, never overflow
        {"n1234567890", "n999999999", 1},
        {"n999999999", "n1234567890", -1},
        {"n0000000001", "n5", 1},
        {"id123456789012345678901234567890", "id123456789012345678901234567891", -1},
        {"id99999999999999999999999", "id100000000000000000000000", 1},
        {"9999999999", "9999999999a", -1},
        // '-' is an ordinary character
        {"x-2", "x-10", -1},
        {"x-5", "x5", -1},
        {"-3", "-20", -1},
        {"ABC", "abc", -1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tool_strnatcmp(c.a, c.b), c.expected)
            << (c.a ? c.a : "<null>") << " vs " << (c.b ? c.b : "<null>");
    }
}

TEST(NatCmp, CaseInsensitiveVariant) {
    EXPECT_EQ(tool_strnatcasecmp("File2", "file10"), -1);
    EXPECT_EQ(tool_strnatcasecmp("ABC", "abc"), 0);
    EXPECT_EQ(tool_strnatcasecmp("abD", "ABc"), 1);
    EXPECT_EQ(tool_strnatcasecmp("X1234567890A", "x1234567890b"), -1);
    EXPECT_EQ(tool_strnatcasecmp(nullptr, "a"), -1);
}

}  // namespace
