// Tests of the dump-line text helpers and of the base tools' local time.
#include "outside/base_tools_text.h"

#include <gtest/gtest.h>

#include <ctime>

#include "outside/base_tools_time.h"

namespace {

TEST(DumpLineText, QuotedValuesAndFieldNames) {
    const std::pair<const char*, const char*> quoted[] = {
        {" 'tcpip_localhost'\n", "tcpip_localhost"},
        {" 'x=y'\n", "x=y"},
        {" 'O'Brien'\n", "O'Brien"},
        {" ''\n", ""},
        {" 42\n", ""},
        {" 'unterminated\n", ""}};
    for (const auto& [line, value] : quoted)
        EXPECT_EQ(tools::GetSubstringBetweenDelimiter(line, '\''), value) << line;
    const std::pair<const char*, const char*> names[] = {{"          maxid = 17\n", "maxid"},
                                                         {"\t name = 'a b'\n", "name"},
                                                         {"db_number", "db_number"},
                                                         {"      }\n", "}"},
                                                         {"   \r\n", ""}};
    for (const auto& [line, name] : names)
        EXPECT_EQ(tools::GetStringWithoutWhiteSpaces(line), name) << line;
}

TEST(LocalTime, CurrentTimeMinusOffsetIsUtcNow) {
    const int64_t utc_before = static_cast<int64_t>(time(nullptr));
    const int64_t stored =
        static_cast<int64_t>(tools::current_time()) - tools::GetLocalTimeOffsetFromUTC();
    EXPECT_GE(stored, utc_before);
    EXPECT_LE(stored, static_cast<int64_t>(time(nullptr)));
}

}  // namespace
