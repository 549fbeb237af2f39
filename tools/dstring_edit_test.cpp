// In-place edits and null-safe queries: boundaries of the index and count arguments and
// absent texts.
#include <string>

#include "tools/dstring_test_util.h"

namespace {

std::string edited(const char* text, char* (*edit)(char*)) {
  std::string buffer(text);
  return edit(buffer.data());
}

TEST(Edit, CaseReverseAndSlashes) {
  EXPECT_EQ(edited("abC1", tool_strupper), "ABC1");
  EXPECT_EQ(edited("AbC1", tool_strlower), "abc1");
  EXPECT_EQ(edited("abcd", tool_strreverse), "dcba");
  EXPECT_EQ(edited("abc", tool_strreverse), "cba");
  EXPECT_EQ(edited("", tool_strreverse), "");
  EXPECT_EQ(edited("a/b/c", tool_strtobackslashes), "a\\b\\c");
  EXPECT_EQ(edited("a\\b/c", tool_strtoslashes), "a/b/c");
  EXPECT_EQ(tool_strupper(nullptr), nullptr);
  EXPECT_EQ(tool_strreverse(nullptr), nullptr);
}

TEST(Edit, ReplaceAndRemoveCharacters) {
  char text[] = "banana";
  EXPECT_STREQ(tool_strreplacechar(text, 'a', 'o'), "bonono");
  EXPECT_STREQ(tool_strreplacechar(text, 'o', 'o'), "bonono");
  EXPECT_STREQ(tool_strremovechar(text, 'o'), "bnn");
  EXPECT_STREQ(tool_strremovechar(text, '\0'), "bnn");
  EXPECT_EQ(tool_strremovechar(nullptr, 'a'), nullptr);
}

TEST(Edit, CutStartAndEnd) {
  char a[] = "abcdef";
  EXPECT_STREQ(tool_strcutstart(a, 0), "abcdef");
  EXPECT_STREQ(tool_strcutstart(a, 7), "abcdef");  // more than the length: unchanged
  EXPECT_STREQ(tool_strcutstart(a, 2), "cdef");
  EXPECT_STREQ(tool_strcutstart(a, 4), "");
  char b[] = "abcdef";
  EXPECT_STREQ(tool_strcutend(b, -1), "abcdef");
  EXPECT_STREQ(tool_strcutend(b, 2), "abcd");
  EXPECT_STREQ(tool_strcutend(b, 99), "");
}

TEST(Edit, StripAndSqueeze) {
  char a[] = "xxabcxx";
  EXPECT_STREQ(tool_strstripstart(a, 'x'), "abcxx");
  EXPECT_STREQ(tool_strstripend(a, 'x'), "abc");
  EXPECT_STREQ(tool_strstripend(a, '\0'), "abc");
  char all[] = "xxxx";
  EXPECT_STREQ(tool_strstripend(all, 'x'), "");
  char b[] = "aaabbb";
  EXPECT_STREQ(tool_strsqueeze(b, 'a'), "abbb");
  char c[] = "aaabbb";
  EXPECT_STREQ(tool_strsqueeze(c, '\0'), "ab");
  char d[] = "a  b   c";
  EXPECT_STREQ(tool_strsqueeze(d, ' '), "a b c");
  char e[] = "a";
  EXPECT_STREQ(tool_strsqueeze(e, '\0'), "a");
}

TEST(Edit, SetAndGetCharacterWithNegativeIndexes) {
  char text[] = "abc";
  EXPECT_EQ(tool_strsetchar(text, -1, 'Z'), 1);
  EXPECT_EQ(tool_strsetchar(text, 0, 'A'), 1);
  EXPECT_STREQ(text, "AbZ");
  EXPECT_EQ(tool_strsetchar(text, 3, 'x'), 0);
  EXPECT_EQ(tool_strsetchar(text, -4, 'x'), 0);
  char empty[] = "";
  EXPECT_EQ(tool_strsetchar(empty, 0, 'x'), 0);
  EXPECT_EQ(tool_strsetchar(nullptr, 0, 'x'), 0);
  EXPECT_EQ(tool_strgetchar("abc", -3), 'a');
  EXPECT_EQ(tool_strgetchar("abc", 2), 'c');
  EXPECT_EQ(tool_strgetchar("abc", 3), '\0');
  EXPECT_EQ(tool_strgetchar("abc", -4), '\0');
  EXPECT_EQ(tool_strgetchar(nullptr, 0), '\0');
}

TEST(Query, LengthCompareCountAndSearch) {
  EXPECT_EQ(tool_strlen(nullptr), 0u);
  EXPECT_EQ(tool_strlen("abc"), 3u);
  EXPECT_EQ(tool_strcmp(nullptr, nullptr), 0);
  EXPECT_EQ(tool_strcmp(nullptr, ""), -1);
  EXPECT_EQ(tool_strcmp("", nullptr), 1);
  EXPECT_EQ(tool_strcmp("abc", "abd"), -1);
  EXPECT_EQ(tool_strcmp("b", "abc"), 1);
  EXPECT_EQ(tool_strcmp("\xe9", "a"), 1);  // unsigned bytes
  EXPECT_EQ(tool_strcount('a', "banana"), 3);
  EXPECT_EQ(tool_strcount('\0', "banana"), 1);
  EXPECT_EQ(tool_strcount('a', nullptr), 0);
  EXPECT_EQ(tool_strhaschar('n', "banana"), 1);
  EXPECT_EQ(tool_strhaschar('z', "banana"), 0);
  EXPECT_EQ(tool_strhaschar('\0', ""), 1);
  EXPECT_EQ(tool_strhaschar('\0', nullptr), 0);
  const char* path = "dir/sub\\file.ext";
  EXPECT_EQ(tool_strpbrk(path, "\\/"), path + 3);
  EXPECT_EQ(tool_strrpbrk(path, "\\/"), path + 7);
  EXPECT_EQ(tool_strrpbrk(path, "#"), nullptr);
  EXPECT_EQ(tool_strpbrk(nullptr, "a"), nullptr);
  EXPECT_EQ(tool_strrpbrk(path, nullptr), nullptr);
  EXPECT_EQ(tool_strchr(path, 'f'), path + 8);
  EXPECT_EQ(tool_strchr(nullptr, 'f'), nullptr);
  EXPECT_EQ(tool_strstr(path, "file"), path + 8);
  EXPECT_EQ(tool_strstr(path, nullptr), nullptr);
  EXPECT_EQ(tool_strstr(nullptr, "x"), nullptr);
}

}  // namespace
