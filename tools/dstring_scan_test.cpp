// Brace and quote aware scanning: nested groups, missing partners, escaped quotes.
#include <string>

#include "tools/dstring_test_util.h"

namespace {

TEST(Braces, PartnersAndFindClosingCountsDepth) {
    EXPECT_EQ(tool_bracedirection('}'), -1);
    EXPECT_EQ(tool_matchingbrace(')'), '(');
    EXPECT_EQ(tool_matchingbrace('<'), '\0');
    const char* text = "(a(b)c)d";
    EXPECT_EQ(tool_findclosing('(', ')', text), text + 6);
    const char* plain = "xyz";
    EXPECT_EQ(tool_findclosing('(', ')', plain), plain);  // neither: the first character
    EXPECT_EQ(tool_findclosing('(', ')', "((a)"), nullptr);
    EXPECT_EQ(tool_findclosing('(', ')', ""), nullptr);
    EXPECT_EQ(tool_findclosing('(', ')', nullptr), nullptr);
}

TEST(Braces, FindBracesReportsMissingPartner) {
    const char* text = "f[x, (y)] + 1";
    char* open = nullptr;
    char* close = nullptr;
    EXPECT_EQ(tool_findbraces(text, &open, &close), 1);
    EXPECT_EQ(open, text + 1);
    EXPECT_EQ(close, text + 8);
    EXPECT_EQ(tool_findbraces("no braces", &open, &close), 0);
    EXPECT_EQ(open, nullptr);
    EXPECT_EQ(close, nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(tool_findbraces("g{a{b}", &open, &close), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Syntax error (can not find matching brace): \n  'g{a{b}'\n");
    EXPECT_EQ(tool_findbraces(nullptr, nullptr, nullptr), 0);
}

TEST(FindOutside, SkipsGroupsAndQuotes) {
    const char* text = "f(a,b), [c,d], \"e,f\", g";
    EXPECT_EQ(tool_strfindoutside(text, ","), text + 6);
    EXPECT_EQ(tool_strfindoutside(text + 7, ","), text + 13);
    const char* quoted = "\"a,\\\"b,c\",d";  // "a,\"b,c",d
    EXPECT_EQ(tool_strfindoutside(quoted, ","), quoted + 9);
    const char* escaped_open = "x\\\"y,z";  // a quote after a backslash opens nothing
    EXPECT_EQ(tool_strfindoutside(escaped_open, ","), escaped_open + 4);
    for (const char* unclosed : {"(a,b", "\"a,b", "{a(,)b}", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(tool_strfindoutside(unclosed, ","), nullptr) << (unclosed ? unclosed : "<null>");
    }
    EXPECT_EQ(tool_strfindoutside("abc", nullptr), nullptr);
}

}  // namespace
