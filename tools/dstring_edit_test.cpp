// In-place edits and null-safe queries: boundaries of the index and count arguments and
// absent texts.
#include <string>

#include "tools/dstring_test_util.h"

namespace {

TEST(Edit, EditsAtTheirBoundariesAndOnAbsentTexts) {
    const struct {
        const char* text;
        char* (*edit)(char*);
        const char* expected;
    } cases[] = {
        {"abC1", tool_strupper, "ABC1"},
        {"AbC1", tool_strlower, "abc1"},
        {"abcd", tool_strreverse, "dcba"},
        {"abc", tool_strreverse, "cba"},
        {"", tool_strreverse, ""},
        {"a/b\\c", tool_strtobackslashes, "a\\b\\c"},
        {"a\\b/c", tool_strtoslashes, "a/b/c"},
        {"banana", [](char* t) { return tool_strreplacechar(t, 'a', 'o'); }, "bonono"},
        {"banana", [](char* t) { return tool_strremovechar(t, 'a'); }, "bnn"},
        {"banana", [](char* t) { return tool_strremovechar(t, '\0'); }, "banana"},
        {"abcdef", [](char* t) { return tool_strcutstart(t, 7); }, "abcdef"},  // beyond: none
        {"abcdef", [](char* t) { return tool_strcutstart(t, 6); }, ""},
        {"abcdef", [](char* t) { return tool_strcutend(t, -1); }, "abcdef"},
        {"abcdef", [](char* t) { return tool_strcutend(t, 2); }, "abcd"},
        {"abcdef", [](char* t) { return tool_strcutend(t, 99); }, ""},
        {"xxabcxx", [](char* t) { return tool_strstripstart(t, 'x'); }, "abcxx"},
        {"xxabcxx", [](char* t) { return tool_strstripend(t, 'x'); }, "xxabc"},
        {"abc", [](char* t) { return tool_strstripend(t, '\0'); }, "abc"},
        {"xxxx", [](char* t) { return tool_strstripend(t, 'x'); }, ""},
        {"aaabbb", [](char* t) { return tool_strsqueeze(t, 'a'); }, "abbb"},
        {"aaabbb", [](char* t) { return tool_strsqueeze(t, '\0'); }, "ab"},
        {"a", [](char* t) { return tool_strsqueeze(t, '\0'); }, "a"},
    };
    for (const auto& c : cases) {
        std::string buffer(c.text);
        EXPECT_STREQ(c.edit(buffer.data()), c.expected) << c.text;
        EXPECT_EQ(c.edit(nullptr), nullptr);
    }
}

TEST(Edit, SetAndGetCharacterWithNegativeIndexes) {
    char text[] = "abc";
    EXPECT_EQ(tool_strsetchar(text, -1, 'Z'), 1);
    EXPECT_EQ(tool_strsetchar(text, 0, 'A'), 1);
    EXPECT_STREQ(text, "AbZ");
    for (long index : {3, -4}) EXPECT_EQ(tool_strsetchar(text, index, 'x'), 0);
    char empty[] = "";
    EXPECT_EQ(tool_strsetchar(empty, 0, 'x'), 0);
    EXPECT_EQ(tool_strsetchar(nullptr, 0, 'x'), 0);
    EXPECT_EQ(tool_strgetchar("abc", -3), 'a');
    for (long index : {3, -4}) EXPECT_EQ(tool_strgetchar("abc", index), '\0');
    EXPECT_EQ(tool_strgetchar(nullptr, 0), '\0');
}

TEST(Query, CompareCountAndSearchWithAbsentTexts) {
    EXPECT_EQ(tool_strlen(nullptr), 0u);
    EXPECT_EQ(tool_strcmp(nullptr, nullptr), 0);
    EXPECT_EQ(tool_strcmp(nullptr, ""), -1);
    EXPECT_EQ(tool_strcmp("", nullptr), 1);
    EXPECT_EQ(tool_strcmp("\xe9", "a"), 1);  // unsigned bytes
    EXPECT_EQ(tool_strcount('a', "banana"), 3);
    EXPECT_EQ(tool_strcount('\0', "banana"), 1);
    EXPECT_EQ(tool_strhaschar('\0', ""), 1);
    EXPECT_EQ(tool_strhaschar('\0', nullptr), 0);
    const char* path = "dir/sub\\file.ext";
    EXPECT_EQ(tool_strpbrk(path, "\\/"), path + 3);
    EXPECT_EQ(tool_strrpbrk(path, "\\/"), path + 7);
    EXPECT_EQ(tool_strrpbrk(path, "#"), nullptr);
    EXPECT_EQ(tool_strstr(path, "file"), path + 8);
    for (const char* text : {path, static_cast<const char*>(nullptr)}) {
        const char* other = text ? nullptr : "x";  // one argument absent
        EXPECT_EQ(tool_strpbrk(text, other), nullptr);
        EXPECT_EQ(tool_strrpbrk(text, other), nullptr);
        EXPECT_EQ(tool_strstr(text, other), nullptr);
    }
    EXPECT_EQ(tool_strchr(nullptr, 'f'), nullptr);
    EXPECT_EQ(tool_strcount('a', nullptr), 0);
}

}  // namespace
