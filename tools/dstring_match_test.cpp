// Wildcard matching: single-character elements, star backtracking, sets, case folding,
// a '[' without ']', absent arguments, and a pattern that would explode a naive matcher.
#include <string>

#include "tools/dstring_test_util.h"

namespace {

int match(const char* pattern, const char* text, int ignore_case = 0) {
  return tool_strmatch(pattern, text, ignore_case);
}

TEST(Match, AbsentAndTrivialPatterns) {
  EXPECT_EQ(match(nullptr, "x"), 1);
  EXPECT_EQ(match("*", nullptr), 0);
  EXPECT_EQ(match(nullptr, nullptr), 0);
  EXPECT_EQ(match("*", ""), 1);
  EXPECT_EQ(match("%", "anything"), 1);
  EXPECT_EQ(match("", ""), 1);
  EXPECT_EQ(match("", "a"), 0);
  EXPECT_EQ(match("abc", "abc"), 1);
  EXPECT_EQ(match("abc", "abcd"), 0);
  EXPECT_EQ(match("abc", "ABC"), 0);
  EXPECT_EQ(match("abc", "ABC", 1), 1);
}

TEST(Match, SingleCharacterWildcards) {
  EXPECT_EQ(match("a?c", "abc"), 1);
  EXPECT_EQ(match("a?c", "ac"), 0);
  EXPECT_EQ(match("a$c", "axc"), 1);
  EXPECT_EQ(match("??", "a"), 0);
  EXPECT_EQ(match("a?", "a"), 0);
}

TEST(Match, StarsAndPercentBacktrack) {
  EXPECT_EQ(match("a*c", "abbbc"), 1);
  EXPECT_EQ(match("a*c", "ac"), 1);
  EXPECT_EQ(match("a*c", "abcb"), 0);
  EXPECT_EQ(match("a%b%c", "a--b--c"), 1);
  EXPECT_EQ(match("*.dwg", "part7_v003.dwg"), 1);
  EXPECT_EQ(match("*.dwg", "part7_v003.dwg.bak"), 0);
  EXPECT_EQ(match("*ab*ab", "xabyabab"), 1);  // the first try of the last star fails
  EXPECT_EQ(match("a**", "a"), 1);
  EXPECT_EQ(match("**", ""), 1);
  EXPECT_EQ(match("*?", ""), 0);
  EXPECT_EQ(match("*?", "x"), 1);
}

TEST(Match, SetsAndCaseFolding) {
  EXPECT_EQ(match("A[bx]C", "abc", 1), 1);
  EXPECT_EQ(match("A[bx]C", "abc", 0), 0);
  EXPECT_EQ(match("a[BX]c", "axc", 1), 1);
  EXPECT_EQ(match("a[bx]c", "ayc"), 0);
  EXPECT_EQ(match("a[a-c]", "ab"), 0);  // no ranges: '-' is a member
  EXPECT_EQ(match("a[a-c]", "a-"), 1);
  EXPECT_EQ(match("a[]c", "ac"), 0);    // the empty set never matches
  EXPECT_EQ(match("a[]c", "a]c"), 0);
  EXPECT_EQ(match("[*?]x", "*x"), 1);   // specials inside a set are members
  EXPECT_EQ(match("[*?]x", "ax"), 0);
  EXPECT_EQ(match("v[0-9][0-9]*", "v12abc"), 0);
  EXPECT_EQ(match("*[xyz]", "aaaz"), 1);
}

TEST(Match, BracketWithoutCloseIsOrdinary) {
  EXPECT_EQ(match("a[b", "a[b"), 1);
  EXPECT_EQ(match("a[b", "ab"), 0);
  EXPECT_EQ(match("*[", "x["), 1);
  EXPECT_EQ(match("[", "["), 1);
  EXPECT_EQ(match("a[b*", "a[bcd"), 1);
}

TEST(Match, ManyStarsStayFast) {
  // A recursive matcher takes exponential time here.
  const std::string text(4000, 'a');
  EXPECT_EQ(match("*a*a*a*a*a*a*a*a*a*a*b", text.c_str()), 0);
  EXPECT_EQ(match("*a*a*a*a*a*a*a*a*a*a*", text.c_str()), 1);
}

}  // namespace
