// Natural comparison: numbers by value, long digit runs, minus signs, leading zeros.
#include <gtest/gtest.h>

#include "tools/tool_dstring.h"

namespace {

TEST(NatCmp, NumbersCompareByValue) {
  EXPECT_EQ(tool_strnatcmp("file2", "file10"), -1);
  EXPECT_EQ(tool_strnatcmp("file10", "file2"), 1);
  EXPECT_EQ(tool_strnatcmp("a9b", "a10a"), -1);
  EXPECT_EQ(tool_strnatcmp("x100y", "x99z"), 1);
  EXPECT_EQ(tool_strnatcmp("part7_v003", "part7_v12"), -1);
}

TEST(NatCmp, EqualAbsentAndPrefixes) {
  EXPECT_EQ(tool_strnatcmp("abc", "abc"), 0);
  EXPECT_EQ(tool_strnatcmp("", ""), 0);
  EXPECT_EQ(tool_strnatcmp(nullptr, nullptr), 0);
  EXPECT_EQ(tool_strnatcmp(nullptr, ""), -1);
  EXPECT_EQ(tool_strnatcmp("", nullptr), 1);
  EXPECT_EQ(tool_strnatcmp("ab", "abc"), -1);
  EXPECT_EQ(tool_strnatcmp("abc", "ab"), 1);
  EXPECT_EQ(tool_strnatcmp("", "a"), -1);
  EXPECT_EQ(tool_strnatcmp("\xE9", "z"), 1);  // unsigned bytes
}

TEST(NatCmp, EqualNumbersAreComparedAgainAsShorterNumbers) {
  // 01 and 1 are equal; the walk then compares '1' with the end of the second text.
  EXPECT_EQ(tool_strnatcmp("a01", "a1"), 1);
  EXPECT_EQ(tool_strnatcmp("a1", "a01"), -1);
  EXPECT_EQ(tool_strnatcmp("a007b", "a7c"), -1);  // 07 vs 'c' is '0' < 'c'
  EXPECT_EQ(tool_strnatcmp("v12x", "v12y"), -1);
  EXPECT_EQ(tool_strnatcmp("v12", "v12x"), -1);
}

TEST(NatCmp, TenDigitRunsAndLongerFallBackToBytes) {
  EXPECT_EQ(tool_strnatcmp("n1234567890", "n999999999"), 1);  // 10 digits beat 9
  EXPECT_EQ(tool_strnatcmp("n999999999", "n1234567890"), -1);
  EXPECT_EQ(tool_strnatcmp("n0000000001", "n5"), 1);  // leading zeros count as digits
  // Runs far beyond 64 bits: no overflow, bytewise from the run on.
  EXPECT_EQ(tool_strnatcmp("id123456789012345678901234567890",
                           "id123456789012345678901234567891"),
            -1);
  EXPECT_EQ(tool_strnatcmp("id99999999999999999999999", "id100000000000000000000000"), 1);
  EXPECT_EQ(tool_strnatcmp("9999999999", "9999999999a"), -1);
}

TEST(NatCmp, MinusIsAnOrdinaryCharacter) {
  EXPECT_EQ(tool_strnatcmp("x-2", "x-10"), -1);
  EXPECT_EQ(tool_strnatcmp("x-5", "x5"), -1);  // '-' < '5'
  EXPECT_EQ(tool_strnatcmp("-3", "-20"), -1);
}

TEST(NatCmp, CaseInsensitiveVariant) {
  EXPECT_EQ(tool_strnatcasecmp("File2", "file10"), -1);
  EXPECT_EQ(tool_strnatcasecmp("ABC", "abc"), 0);
  EXPECT_EQ(tool_strnatcasecmp("abD", "ABc"), 1);
  EXPECT_EQ(tool_strnatcmp("ABC", "abc"), -1);
  EXPECT_EQ(tool_strnatcasecmp("X1234567890A", "x1234567890b"), -1);
  EXPECT_EQ(tool_strnatcasecmp(nullptr, "a"), -1);
}

}  // namespace
