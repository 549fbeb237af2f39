// Owned strings: copy/append semantics, self and overlapping arguments, formatting past
// the first buffer size, replacement, and every allocation failure path.
#include <cstring>
#include <string>
#include <thread>

#include "tools/dstring_test_util.h"

namespace {

TEST(OwnedString, DupAndFree) {
  EXPECT_EQ(tool_strdup(nullptr), nullptr);
  char* s = tool_strdup("abc");
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s, "abc");
  EXPECT_EQ(tool_strfree(&s), 1);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(tool_strfree(&s), 1);  // already absent
  EXPECT_EQ(tool_strfree(nullptr), 0);
}

TEST(OwnedString, CopyReplacesFreesAndIgnoresSelf) {
  OwnedString o;
  EXPECT_STREQ(tool_strcpy(&o.s, "hello"), "hello");
  EXPECT_STREQ(tool_strcpy(&o.s, "hi"), "hi");
  EXPECT_EQ(std::strlen(o.s), 2u);
  char* before = o.s;
  EXPECT_EQ(tool_strcpy(&o.s, o.s), before);
  EXPECT_STREQ(o.s, "hi");
  EXPECT_EQ(tool_strcpy(&o.s, nullptr), nullptr);
  EXPECT_EQ(o.s, nullptr);
  EXPECT_EQ(tool_strcpy(nullptr, "x"), nullptr);
}

TEST(OwnedString, CopyAndAppendFromInsideTheSameString) {
  OwnedString o(tool_strdup("prefix:tail"));
  EXPECT_STREQ(tool_strcpy(&o.s, o.s + 7), "tail");
  EXPECT_STREQ(tool_strcat(&o.s, o.s + 2), "tailil");  // block may move while growing
  EXPECT_STREQ(tool_strncpy(&o.s, o.s + 1, 3), "ail");
  EXPECT_STREQ(tool_strncat(&o.s, o.s + 1, -1), "ailil");
}

TEST(OwnedString, CatOntoItselfIsRefusedWithMessage) {
  OwnedString o(tool_strdup("ab"));
  std::string err = captured_stderr([&] { EXPECT_STREQ(tool_strcat(&o.s, o.s), "ab"); });
  EXPECT_EQ(err, "Error: tool_strcat: *to == from!\n");
  err = captured_stderr([&] { EXPECT_STREQ(tool_strncat(&o.s, o.s, 1), "ab"); });
  EXPECT_EQ(err, "Error: tool_strncat: *to == from!\n");
  err = captured_stderr([&] { EXPECT_STREQ(tool_strncpy(&o.s, o.s, 1), "ab"); });
  EXPECT_EQ(err, "Error: tool_strncpy: *to == from!\n");
}

TEST(OwnedString, CatAndNcatLengths) {
  OwnedString o;
  EXPECT_STREQ(tool_strcat(&o.s, "ab"), "ab");  // absent string counts as empty
  EXPECT_STREQ(tool_strcat(&o.s, nullptr), "ab");
  EXPECT_STREQ(tool_strncat(&o.s, "cdef", 2), "abcd");
  EXPECT_STREQ(tool_strncat(&o.s, "xy", 10), "abcdxy");
  EXPECT_STREQ(tool_strncat(&o.s, "z", -1), "abcdxyz");
  EXPECT_STREQ(tool_strncat(&o.s, "q", 0), "abcdxyz");
  EXPECT_STREQ(tool_strncpy(&o.s, "hello", -1), "hello");
  EXPECT_STREQ(tool_strncpy(&o.s, "hello", 99), "hello");
  EXPECT_STREQ(tool_strncpy(&o.s, "hello", 2), "he");
  EXPECT_STREQ(tool_strncpy(&o.s, "hello", 0), "");
  EXPECT_EQ(tool_strncpy(&o.s, nullptr, 3), nullptr);
  EXPECT_EQ(o.s, nullptr);
}

TEST(OwnedString, MemdupCopiesBytesAndTerminates) {
  const char bytes[] = {'a', '\0', 'b'};
  OwnedString o(tool_memdup(bytes, 3));
  ASSERT_NE(o.s, nullptr);
  EXPECT_EQ(std::memcmp(o.s, bytes, 3), 0);
  EXPECT_EQ(o.s[3], '\0');
  EXPECT_EQ(tool_memdup(bytes, 0), nullptr);
  EXPECT_EQ(tool_memdup(bytes, -5), nullptr);
  EXPECT_EQ(tool_memdup(nullptr, 4), nullptr);
}

TEST(OwnedString, SprintfFormatsAndGrowsPastTheFirstBuffer) {
  OwnedString o(tool_strdup("old"));
  EXPECT_STREQ(tool_sprintf(&o.s, "%s-%d-%05.1f", "x", 42, 3.14159), "x-42-003.1");
  EXPECT_STREQ(tool_sprintf(&o.s, "[%s]", o.s), "[x-42-003.1]");  // own text as argument
  const std::string big(250000, 'q');
  tool_sprintf(&o.s, "<%s>%d", big.c_str(), 7);
  ASSERT_NE(o.s, nullptr);
  EXPECT_EQ(std::strlen(o.s), big.size() + 3);
  EXPECT_EQ(std::string(o.s), "<" + big + ">7");
  // Exactly at the boundary of the first buffer (100000 with the terminator).
  const std::string edge(99999, 'e');
  tool_sprintf(&o.s, "%s", edge.c_str());
  EXPECT_EQ(std::strlen(o.s), 99999u);
  EXPECT_EQ(tool_sprintf(&o.s, nullptr), nullptr);
  EXPECT_EQ(o.s, nullptr);
}

TEST(OwnedString, ReplaceScansLeftToRightWithoutRescanning) {
  OwnedString o(tool_strdup("aXbXXc"));
  EXPECT_STREQ(tool_strreplace(&o.s, "X", "XX"), "aXXbXXXXc");
  EXPECT_STREQ(tool_strreplace(&o.s, "XX", "-"), "a-b--c");
  EXPECT_STREQ(tool_strreplace(&o.s, "aaa", "z"), "a-b--c");
  EXPECT_STREQ(tool_strreplace(&o.s, "", "z"), "a-b--c");
  EXPECT_STREQ(tool_strreplace(&o.s, nullptr, "z"), "a-b--c");
  EXPECT_STREQ(tool_strreplace(&o.s, "-", nullptr), "abc");
  OwnedString overlap(tool_strdup("aaaa"));
  EXPECT_STREQ(tool_strreplace(&overlap.s, "aa", "b"), "bb");
  OwnedString absent;
  EXPECT_EQ(tool_strreplace(&absent.s, "a", "b"), nullptr);
}

// ---- allocation failures ----

TEST(OwnedStringFailure, DupAndMemdupReportAndGiveNull) {
  ScopedAllocFailure fail;
  char* s = nullptr;
  EXPECT_EQ(captured_stderr([&] { s = tool_strdup("abc"); }),
            "Error: tool_strdup: Memory allocation failed!\n");
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(captured_stderr([&] { s = tool_memdup("abc", 3); }),
            "Error: tool_memdup: Memory allocation failed!\n");
  EXPECT_EQ(s, nullptr);
}

TEST(OwnedStringFailure, FailedGrowthLeavesStringAbsentWithoutLeaking) {
  struct Case {
    const char* message;
    char* (*run)(char**);
  };
  const Case cases[] = {
      {"Error: tool_strcat: Memory allocation failed!\n",
       [](char** s) { return tool_strcat(s, "more text"); }},
      {"Error: tool_strncat: Memory allocation failed!\n",
       [](char** s) { return tool_strncat(s, "more text", 4); }},
      {"Error: tool_strncpy: Memory allocation failed!\n",
       [](char** s) { return tool_strncpy(s, "a longer replacement", -1); }},
      {"Error: tool_strcpy: Memory allocation failed!\n",
       [](char** s) { return tool_strcpy(s, "a longer replacement"); }},
  };
  for (const Case& c : cases) {
    OwnedString o(tool_strdup("start"));
    ScopedAllocFailure fail;
    char* result = reinterpret_cast<char*>(1);
    EXPECT_EQ(captured_stderr([&] { result = c.run(&o.s); }), c.message);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(o.s, nullptr);  // the old block was freed (ASan would report a leak)
  }
}

TEST(OwnedStringFailure, SprintfBufferCreationAndDoublingFailures) {
  // The formatting buffer is per thread, so a fresh thread sees its first creation.
  std::thread([] {
    OwnedString o(tool_strdup("keep?"));
    ScopedAllocFailure fail;
    EXPECT_EQ(captured_stderr([&] { tool_sprintf(&o.s, "%d", 5); }),
              "Error: tool_sprintf() - Memory allocation failed\n");
    EXPECT_EQ(o.s, nullptr);
  }).join();
  std::thread([] {
    OwnedString o(tool_strdup("x"));
    const std::string big(150000, 'b');
    ScopedAllocFailure fail(1);  // buffer created, doubling fails
    EXPECT_EQ(captured_stderr([&] { tool_sprintf(&o.s, "%s", big.c_str()); }),
              "Error: tool_sprintf() - Memory allocation failed\n");
    EXPECT_EQ(o.s, nullptr);
    tool_alloc_fail_reset();
    EXPECT_STREQ(tool_sprintf(&o.s, "%s", "small"), "small");  // buffer survived
  }).join();
  std::thread([] {
    OwnedString o(tool_strdup("x"));
    ScopedAllocFailure fail(1);  // buffer created, copying the result out fails
    EXPECT_EQ(captured_stderr([&] { tool_sprintf(&o.s, "%d", 12); }),
              "Error: tool_strcpy: Memory allocation failed!\n");
    EXPECT_EQ(o.s, nullptr);
  }).join();
}

TEST(OwnedStringFailure, CollapseKeepsItsTextWhenTheTrimFails) {
  OwnedString o(tool_strdup("a\\\\b"));
  ScopedAllocFailure fail;
  EXPECT_STREQ(tool_strcollapsebackslashes(&o.s), "a\\b");
}

TEST(OwnedStringFailure, ReplaceKeepsTheOriginalText) {
  OwnedString o(tool_strdup("a-b"));
  ScopedAllocFailure fail;
  char* result = nullptr;
  EXPECT_EQ(captured_stderr([&] { result = tool_strreplace(&o.s, "-", "+"); }),
            "Error: tool_strreplace: Memory allocation failed!\n");
  EXPECT_EQ(result, nullptr);
  EXPECT_STREQ(o.s, "a-b");
}

}  // namespace
