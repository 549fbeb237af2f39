// Wildcard matching: single-character elements, star backtracking, sets, case folding,
// a '[' without ']', absent arguments, and a pattern that would explode a naive matcher.
#include <string>

#include "tools/dstring_test_util.h"

namespace {

TEST(Match, WildcardsSetsCaseFoldingAndUnclosedBrackets) {
    const struct {
        const char* pattern;
        const char* text;
        int ignore_case;
        int expected;
    } cases[] = {
        {nullptr, "x", 0, 1},
        {"*", nullptr, 0, 0},
        {nullptr, nullptr, 0, 0},
        {"", "", 0, 1},
        {"", "a", 0, 0},
        {"abc", "abcd", 0, 0},
        {"abc", "ABC", 0, 0},
        {"abc", "ABC", 1, 1},
        {"*", "", 0, 1},
        // '?' and '$' take exactly one character
        {"a?c", "abc", 0, 1},
        {"a?c", "ac", 0, 0},
        {"a$c", "axc", 0, 1},
        {"a?", "a", 0, 0},
        // '*' and '%' backtrack
        {"a*c", "ac", 0, 1},
        {"a*c", "abcb", 0, 0},
        {"a%b%c", "a--b--c", 0, 1},
        {"*.dwg", "part7_v003.dwg.bak", 0, 0},
        {"*ab*ab", "xabyabab", 0, 1},
        {"a**", "a", 0, 1},
        {"*?", "", 0, 0},
        {"*?", "x", 0, 1},
        // sets: no ranges, empty never matches, specials are members, case folds both ways
        {"A[bx]C", "abc", 1, 1},
        {"A[bx]C", "abc", 0, 0},
        {"a[BX]c", "axc", 1, 1},
        {"a[bx]c", "ayc", 0, 0},
        {"a[a-c]", "ab", 0, 0},
        {"a[a-c]", "a-", 0, 1},
        {"a[]c", "ac", 0, 0},
        {"a[]c", "a]c", 0, 0},
        {"[*?]x", "*x", 0, 1},
        {"[*?]x", "ax", 0, 0},
        {"*[xyz]", "aaaz", 0, 1},
        // a '[' without ']' is an ordinary character
        {"a[b", "a[b", 0, 1},
        {"a[b", "ab", 0, 0},
        {"*[", "x[", 0, 1},
        {"[", "[", 0, 1},
        {"a[b*", "a[bcd", 0, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tool_strmatch(c.pattern, c.text, c.ignore_case), c.expected)
            << (c.pattern ? c.pattern : "<null>") << " / " << (c.text ? c.text : "<null>");
    }
}

TEST(Match, ManyStarsStayFast) {
    // A recursive matcher takes exponential time here.
    const std::string text(4000, 'a');
    EXPECT_EQ(tool_strmatch("*a*a*a*a*a*a*a*a*a*a*b", text.c_str(), 0), 0);
    EXPECT_EQ(tool_strmatch("*a*a*a*a*a*a*a*a*a*a*", text.c_str(), 0), 1);
}

}  // namespace
