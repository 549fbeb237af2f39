// Tests of the dump-line text helpers and of the base tools' local time.
#include "outside/base_tools_text.h"

#include <gtest/gtest.h>

#include <ctime>

#include "outside/base_tools_time.h"

namespace {

TEST(SubstringBetweenDelimiter, TakesTheQuotedValueOfADumpLine) {
    EXPECT_EQ(tools::GetSubstringBetweenDelimiter(" 'tcpip_localhost'\n", '\''), "tcpip_localhost");
    EXPECT_EQ(tools::GetSubstringBetweenDelimiter(" 'x=y'\n", '\''), "x=y");
    EXPECT_EQ(tools::GetSubstringBetweenDelimiter(" 'O'Brien'\n", '\''), "O'Brien");
    EXPECT_EQ(tools::GetSubstringBetweenDelimiter(" ''\n", '\''), "");
    EXPECT_EQ(tools::GetSubstringBetweenDelimiter(" 42\n", '\''), "");
    EXPECT_EQ(tools::GetSubstringBetweenDelimiter(" 'unterminated\n", '\''), "");
}

TEST(StringWithoutWhiteSpaces, GivesTheFieldNameOfADumpLine) {
    EXPECT_EQ(tools::GetStringWithoutWhiteSpaces("          maxid = 17\n"), "maxid");
    EXPECT_EQ(tools::GetStringWithoutWhiteSpaces("\t name = 'a b'\n"), "name");
    EXPECT_EQ(tools::GetStringWithoutWhiteSpaces("db_number"), "db_number");
    EXPECT_EQ(tools::GetStringWithoutWhiteSpaces("      }\n"), "}");
    EXPECT_EQ(tools::GetStringWithoutWhiteSpaces("   \r\n"), "");
}

TEST(LocalTime, CurrentTimeMinusOffsetIsUtcNow) {
    const int64_t utc_before = static_cast<int64_t>(time(nullptr));
    const int64_t stored =
        static_cast<int64_t>(tools::current_time()) - tools::GetLocalTimeOffsetFromUTC();
    EXPECT_GE(stored, utc_before);
    EXPECT_LE(stored, static_cast<int64_t>(time(nullptr)));
}

}  // namespace
