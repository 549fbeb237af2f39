// String lists and keyed lists: growth steps, failure rollback, natural sort, removal of
// found strings, splitting and appending to itself.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/dstring_test_util.h"

namespace {

std::vector<std::string> entries(const tool_strlist_s& list) {
  std::vector<std::string> out;
  for (int32_t i = 0; i < list.count; ++i) {
    out.push_back(list.strings[i] != nullptr ? list.strings[i] : "<null>");
  }
  return out;
}

struct ListGuard {
  tool_strlist_s list{};
  ~ListGuard() { tool_strlist_free(&list); }
};

// Records the sizes of pointer arrays the list asks for (8-byte entries).
std::vector<std::size_t> s_array_sizes;
int record_array_sizes(std::size_t size, int, const char* file, int, void*) {
  if (std::string(file).find("string_list") != std::string::npos) {
    s_array_sizes.push_back(size / sizeof(char*));
  }
  return 0;
}

TEST(StringList, GrowsInStepsOfTen) {
  ListGuard g;
  s_array_sizes.clear();
  tool_alloc_set_hook(record_array_sizes, nullptr);
  for (int i = 0; i < 31; ++i) ASSERT_EQ(tool_strlist_add(&g.list, std::to_string(i).c_str()), 1);
  EXPECT_EQ(s_array_sizes, (std::vector<std::size_t>{10, 21, 31, 41}));
  // An emptied array that is still there gets 11 entries on the next add.
  tool_strlist_removefound(&g.list, "0123456789 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30");
  EXPECT_EQ(g.list.count, 0);
  ASSERT_NE(g.list.strings, nullptr);
  s_array_sizes.clear();
  EXPECT_EQ(tool_strlist_add(&g.list, "again"), 1);
  EXPECT_EQ(s_array_sizes, (std::vector<std::size_t>{11}));
  tool_alloc_fail_reset();
  EXPECT_EQ(entries(g.list), (std::vector<std::string>{"again"}));
}

TEST(StringList, FailedAddKeepsTheList) {
  ListGuard g;
  for (int i = 0; i < 9; ++i) tool_strlist_add(&g.list, "x");
  {
    ScopedAllocFailure fail(1);  // the copy succeeds, growing to 21 entries fails
    int result = 1;
    EXPECT_EQ(captured_stderr([&] { result = tool_strlist_add(&g.list, "tenth"); }),
              "Error: tool_strlist_add: Memory allocation failed!\n");
    EXPECT_EQ(result, 0);
  }
  EXPECT_EQ(g.list.count, 9);
  {
    ScopedAllocFailure fail;  // the copy itself fails
    EXPECT_EQ(captured_stderr([&] { EXPECT_EQ(tool_strlist_add(&g.list, "y"), 0); }),
              "Error: tool_strdup: Memory allocation failed!\n");
  }
  EXPECT_EQ(g.list.count, 9);
  for (int i = 0; i < 20; ++i) ASSERT_EQ(tool_strlist_add(&g.list, "z"), 1);  // still sound
  EXPECT_EQ(g.list.count, 29);
  ListGuard fresh;
  {
    ScopedAllocFailure fail(1);  // first array allocation fails
    captured_stderr([&] { EXPECT_EQ(tool_strlist_add(&fresh.list, "a"), 0); });
  }
  EXPECT_EQ(fresh.list.count, 0);
  EXPECT_EQ(fresh.list.strings, nullptr);
}

TEST(StringList, FindContainsAndNullEntries) {
  ListGuard g;
  tool_strlist_add(&g.list, "a");
  tool_strlist_add(&g.list, nullptr);
  tool_strlist_add(&g.list, "b");
  EXPECT_EQ(tool_strlist_find(&g.list, "b"), 2);
  EXPECT_EQ(tool_strlist_find(&g.list, nullptr), 1);
  EXPECT_EQ(tool_strlist_find(&g.list, "c"), -1);
  EXPECT_EQ(tool_strlist_contains(&g.list, "a"), 1);
  EXPECT_EQ(tool_strlist_contains(nullptr, "a"), 0);
  tool_strlist_sort(&g.list);
  EXPECT_EQ(entries(g.list), (std::vector<std::string>{"<null>", "a", "b"}));
}

TEST(StringList, SortAndNaturalSort) {
  ListGuard g;
  for (const char* s : {"file10", "file2", "File3", "file1", "file02"}) tool_strlist_add(&g.list, s);
  tool_strlist_sort(&g.list);
  EXPECT_EQ(entries(g.list),
            (std::vector<std::string>{"File3", "file02", "file1", "file10", "file2"}));
  tool_strlist_natsort(&g.list);
  EXPECT_EQ(entries(g.list),
            (std::vector<std::string>{"File3", "file1", "file2", "file02", "file10"}));
}

TEST(StringList, RemoveFoundAndRemoveFoundAll) {
  ListGuard g;
  for (const char* s : {"ab", "cd", "", "xyz", "b"}) tool_strlist_add(&g.list, s);
  tool_strlist_removefound(&g.list, "--abc--");
  EXPECT_EQ(entries(g.list), (std::vector<std::string>{"cd", "xyz"}));
  ListGuard texts;
  tool_strlist_add(&texts.list, "12xyz");
  tool_strlist_add(&texts.list, nullptr);
  tool_strlist_removefoundall(&g.list, &texts.list);
  EXPECT_EQ(entries(g.list), (std::vector<std::string>{"cd"}));
  tool_strlist_add(&g.list, nullptr);
  tool_strlist_removefoundall(&g.list, &g.list);  // every present string is in itself
  EXPECT_EQ(entries(g.list), (std::vector<std::string>{"<null>"}));
}

TEST(StringList, SplitAndAppendToItself) {
  ListGuard g;
  tool_strlist_add(&g.list, "old");
  EXPECT_EQ(tool_strlist_split(";a;;b c;", "; ", &g.list), 1);
  EXPECT_EQ(entries(g.list), (std::vector<std::string>{"a", "b", "c"}));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(tool_strlist_append(&g.list, &g.list), 1);
  EXPECT_EQ(g.list.count, 24);
  EXPECT_EQ(std::string(g.list.strings[23]), "c");
  EXPECT_EQ(tool_strlist_split(nullptr, ";", &g.list), 1);
  EXPECT_EQ(g.list.count, 0);
}

TEST(StringList, AppendStopsAtTheFirstFailure) {
  ListGuard src;
  ListGuard dst;
  for (const char* s : {"a", "b", "c"}) tool_strlist_add(&src.list, s);
  {
    ScopedAllocFailure fail(3);  // "a": copy + array; "b": copy; "c" fails
    captured_stderr([&] { EXPECT_EQ(tool_strlist_append(&dst.list, &src.list), 0); });
  }
  EXPECT_EQ(entries(dst.list), (std::vector<std::string>{"a", "b"}));
  ListGuard split;
  {
    ScopedAllocFailure fail(2);  // private copy, "x" copy; the array fails
    captured_stderr([&] { EXPECT_EQ(tool_strlist_split("x y", " ", &split.list), 0); });
  }
  EXPECT_EQ(split.list.count, 0);
}

TEST(KeyList, AddFindAppendAndGrowth) {
  tool_keylist_s list{};
  for (int32_t i = 0; i < 25; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "s%d", i);
    ASSERT_EQ(tool_keylist_add(&list, i * 10, name), 1);
  }
  EXPECT_EQ(tool_keylist_find(&list, 240, nullptr, 1), 1);
  EXPECT_EQ(tool_keylist_find(&list, 999, "s24", 2), 1);
  EXPECT_EQ(tool_keylist_find(&list, 240, "s24", 0), 1);
  EXPECT_EQ(tool_keylist_find(&list, 230, "s24", 0), 0);
  EXPECT_EQ(tool_keylist_find(&list, 250, nullptr, 1), 0);
  EXPECT_EQ(tool_keylist_append(&list, &list), 1);
  EXPECT_EQ(list.count, 50);
  EXPECT_EQ(list.keys[49], 240);
  EXPECT_STREQ(list.strings[49], "s24");
  tool_keylist_free(&list);
  EXPECT_EQ(list.count, 0);
  EXPECT_EQ(list.keys, nullptr);
  EXPECT_EQ(tool_keylist_find(nullptr, 0, nullptr, 1), 0);
}

TEST(KeyList, FailedAddKeepsBothArraysConsistent) {
  tool_keylist_s list{};
  for (int i = 0; i < 9; ++i) tool_keylist_add(&list, i, "x");
  for (long successes = 0; successes < 3; ++successes) {
    ScopedAllocFailure fail(successes);
    captured_stderr([&] { EXPECT_EQ(tool_keylist_add(&list, 9, "tenth"), 0); });
    EXPECT_EQ(list.count, 9);
  }
  for (int i = 9; i < 30; ++i) ASSERT_EQ(tool_keylist_add(&list, i, "y"), 1);
  EXPECT_EQ(list.keys[29], 29);
  tool_keylist_free(&list);
  tool_keylist_s fresh{};
  {
    ScopedAllocFailure fail(2);  // copy and keys array work, the strings array fails
    EXPECT_EQ(captured_stderr([&] { EXPECT_EQ(tool_keylist_add(&fresh, 1, "a"), 0); }),
              "Error: tool_keylist_add: Memory allocation failed!\n");
  }
  EXPECT_EQ(tool_keylist_add(&fresh, 1, "a"), 1);
  EXPECT_EQ(tool_keylist_find(&fresh, 1, "a", 0), 1);
  tool_keylist_free(&fresh);
}

}  // namespace
