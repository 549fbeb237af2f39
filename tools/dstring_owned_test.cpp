// Owned strings: copy/append semantics, self and overlapping arguments, formatting past
// the first buffer size, replacement, and every allocation failure path.
#include <cstring>
#include <string>
#include <thread>

#include "tools/dstring_test_util.h"

namespace {

TEST(OwnedString, CopyAppendAndFreeWithCountsAndAbsentArguments) {
    OwnedString o;
    EXPECT_STREQ(tool_strcat(&o.s, "ab"), "ab");  // absent string counts as empty
    EXPECT_STREQ(tool_strcat(&o.s, nullptr), "ab");
    EXPECT_STREQ(tool_strncat(&o.s, "cdef", 2), "abcd");
    EXPECT_STREQ(tool_strncat(&o.s, "xy", 10), "abcdxy");
    EXPECT_STREQ(tool_strncat(&o.s, "z", -1), "abcdxyz");
    EXPECT_STREQ(tool_strncat(&o.s, "q", 0), "abcdxyz");
    EXPECT_STREQ(tool_strncpy(&o.s, "hello", 2), "he");
    EXPECT_STREQ(tool_strncpy(&o.s, "hello", 0), "");
    EXPECT_EQ(tool_strncpy(&o.s, nullptr, 3), nullptr);
    EXPECT_EQ(o.s, nullptr);
    EXPECT_EQ(tool_strcpy(nullptr, "x"), nullptr);
    EXPECT_EQ(tool_strfree(&o.s), 1);  // already absent
    EXPECT_EQ(tool_strfree(nullptr), 0);
    const char bytes[] = {'a', '\0', 'b'};
    OwnedString m(tool_memdup(bytes, 3));
    EXPECT_TRUE(m.s != nullptr && std::memcmp(m.s, "a\0b", 4) == 0);
    EXPECT_EQ(tool_memdup(bytes, -5), nullptr);
    EXPECT_EQ(tool_memdup(nullptr, 4), nullptr);
}

TEST(OwnedString, CopyAndAppendFromInsideTheSameStringAndRefusedSelfAppend) {
    OwnedString o(tool_strdup("prefix:tail"));
    EXPECT_STREQ(tool_strcpy(&o.s, o.s + 7), "tail");
    EXPECT_STREQ(tool_strcat(&o.s, o.s + 2), "tailil");  // block may move while growing
    EXPECT_STREQ(tool_strncpy(&o.s, o.s + 1, 3), "ail");
    EXPECT_STREQ(tool_strncat(&o.s, o.s + 1, -1), "ailil");
    char* before = o.s;
    EXPECT_EQ(tool_strcpy(&o.s, o.s), before);  // self-copy changes nothing
    EXPECT_EQ(captured_stderr([&] { EXPECT_STREQ(tool_strcat(&o.s, o.s), "ailil"); }),
              "Error: tool_strcat: *to == from!\n");
    EXPECT_EQ(captured_stderr([&] { EXPECT_STREQ(tool_strncat(&o.s, o.s, 1), "ailil"); }),
              "Error: tool_strncat: *to == from!\n");
    EXPECT_EQ(captured_stderr([&] { EXPECT_STREQ(tool_strncpy(&o.s, o.s, 1), "ailil"); }),
              "Error: tool_strncpy: *to == from!\n");
}

TEST(OwnedString, SprintfGrowsPastTheFirstBufferAndReplaceNeverRescans) {
    OwnedString o(tool_strdup("old"));
    EXPECT_STREQ(tool_sprintf(&o.s, "%s-%d-%05.1f", "x", 42, 3.14159), "x-42-003.1");
    EXPECT_STREQ(tool_sprintf(&o.s, "[%s]", o.s), "[x-42-003.1]");  // own text as argument
    for (std::size_t length : {250000, 99998, 99997}) {             // the first buffer holds 99999
        const std::string text(length, 'q');
        tool_sprintf(&o.s, "<%s>", text.c_str());
        EXPECT_EQ(o.str(), "<" + text + ">");
    }
    EXPECT_EQ(tool_sprintf(&o.s, nullptr), nullptr);
    o.s = tool_strdup("aXbXXc");
    EXPECT_STREQ(tool_strreplace(&o.s, "X", "XX"), "aXXbXXXXc");
    EXPECT_STREQ(tool_strreplace(&o.s, "XX", "-"), "a-b--c");
    EXPECT_STREQ(tool_strreplace(&o.s, "aaa", "z"), "a-b--c");
    EXPECT_STREQ(tool_strreplace(&o.s, "", "z"), "a-b--c");
    EXPECT_STREQ(tool_strreplace(&o.s, nullptr, "z"), "a-b--c");
    EXPECT_STREQ(tool_strreplace(&o.s, "-", nullptr), "abc");
    EXPECT_STREQ(tool_strreplace(&o.s, "abc", "aaaa"), "aaaa");
    EXPECT_STREQ(tool_strreplace(&o.s, "aa", "b"), "bb");
    tool_strfree(&o.s);
    EXPECT_EQ(tool_strreplace(&o.s, "a", "b"), nullptr);
}

// Each call runs on the owned string "start" while every allocation fails: it gives null,
// prints its line and leaves the string as `left` (null: freed, never leaked).
TEST(OwnedStringFailure, EveryCallReportsAndLeavesTheDocumentedString) {
    const struct {
        const char* name;
        char* (*run)(char**);
        const char* left;
    } cases[] = {
        {"tool_strdup", [](char**) { return tool_strdup("abc"); }, "start"},
        {"tool_memdup", [](char**) { return tool_memdup("abc", 3); }, "start"},
        {"tool_strcat", [](char** s) { return tool_strcat(s, "more"); }, nullptr},
        {"tool_strncat", [](char** s) { return tool_strncat(s, "more", 4); }, nullptr},
        {"tool_strncpy", [](char** s) { return tool_strncpy(s, "a longer one", -1); }, nullptr},
        {"tool_strcpy", [](char** s) { return tool_strcpy(s, "a longer one"); }, nullptr},
        {"tool_strreplace", [](char** s) { return tool_strreplace(s, "a", "+"); }, "start"},
    };
    for (const auto& c : cases) {
        OwnedString o(tool_strdup("start"));
        ScopedAllocFailure fail;
        char* result = reinterpret_cast<char*>(1);
        EXPECT_EQ(captured_stderr([&] { result = c.run(&o.s); }),
                  std::string("Error: ") + c.name + ": Memory allocation failed!\n");
        EXPECT_EQ(result, nullptr);
        EXPECT_EQ(o.str(), c.left ? c.left : "<null>") << c.name;
    }
    OwnedString o(tool_strdup("a\\\\b"));
    ScopedAllocFailure fail;  // collapsing keeps its text when the trim fails
    EXPECT_STREQ(tool_strcollapsebackslashes(&o.s), "a\\b");
}

// The formatting buffer is per thread, so a fresh thread sees its first creation.
TEST(OwnedStringFailure, SprintfBufferCreationDoublingAndCopyOut) {
    const struct {
        long successes;
        std::size_t length;
        const char* message;
    } cases[] = {
        {0, 1, "Error: tool_sprintf() - Memory allocation failed\n"},       // creation
        {1, 150000, "Error: tool_sprintf() - Memory allocation failed\n"},  // doubling
        {1, 2, "Error: tool_strcpy: Memory allocation failed!\n"},          // copying out
    };
    for (const auto& c : cases) {
        std::thread([&c] {
            OwnedString o(tool_strdup("x"));
            const std::string text(c.length, 'b');
            {
                ScopedAllocFailure fail(c.successes);
                EXPECT_EQ(captured_stderr([&] { tool_sprintf(&o.s, "%s", text.c_str()); }),
                          c.message);
            }
            EXPECT_EQ(o.s, nullptr) << c.length;
            EXPECT_STREQ(tool_sprintf(&o.s, "%s", "small"), "small");  // still usable
        }).join();
    }
}

}  // namespace
