// String lists and keyed lists: growth steps, failure rollback, natural sort, removal of
// found strings, splitting and appending to itself.
#include <string>
#include <utility>
#include <vector>

#include "tools/dstring_test_util.h"

namespace {

using Strings = std::vector<std::string>;

struct List {
    tool_strlist_s list{};
    List(std::initializer_list<const char*> texts = {}) {
        for (const char* t : texts) tool_strlist_add(&list, t);
    }
    ~List() { tool_strlist_free(&list); }
    Strings entries() const {
        Strings out;
        for (int32_t i = 0; i < list.count; ++i)
            out.push_back(list.strings[i] ? list.strings[i] : "<null>");
        return out;
    }
};

// Records the sizes of pointer arrays the list asks for (8-byte entries).
std::vector<std::size_t> s_array_sizes;
int record_array_sizes(std::size_t size, int, const char* file, int, void*) {
    if (std::string(file).find("string_list") != std::string::npos)
        s_array_sizes.push_back(size / 8);
    return 0;
}

TEST(StringList, GrowsInStepsOfTen) {
    List g;
    s_array_sizes.clear();
    tool_alloc_set_hook(record_array_sizes, nullptr);
    std::string all;
    for (int i = 0; i < 31; ++i) {
        ASSERT_EQ(tool_strlist_add(&g.list, std::to_string(i).c_str()), 1);
        all += std::to_string(i) + " ";
    }
    EXPECT_EQ(s_array_sizes, (std::vector<std::size_t>{10, 21, 31, 41}));
    tool_strlist_removefound(&g.list, all.c_str());
    ASSERT_NE(g.list.strings, nullptr);
    EXPECT_EQ(tool_strlist_add(&g.list, "again"), 1);  // an emptied array gets 11 entries
    tool_alloc_fail_reset();
    EXPECT_EQ(s_array_sizes.back(), 11u);
    EXPECT_EQ(g.entries(), Strings{"again"});
}

TEST(StringList, FailedAddKeepsTheList) {
    List g{"1", "2", "3", "4", "5", "6", "7", "8", "9"};
    const std::pair<long, const char*> cases[] = {
        {1, "Error: tool_strlist_add: Memory allocation failed!\n"},  // growing to 21 fails
        {0, "Error: tool_strdup: Memory allocation failed!\n"},       // the copy fails
    };
    for (const auto& [successes, message] : cases) {
        ScopedAllocFailure fail(successes);
        EXPECT_EQ(captured_stderr([&] { EXPECT_EQ(tool_strlist_add(&g.list, "tenth"), 0); }),
                  message);
        EXPECT_EQ(g.list.count, 9);
    }
    for (int i = 0; i < 20; ++i) ASSERT_EQ(tool_strlist_add(&g.list, "z"), 1);  // still sound
    EXPECT_EQ(g.list.count, 29);
    List fresh;
    ScopedAllocFailure fail(1);  // first array allocation fails
    captured_stderr([&] { EXPECT_EQ(tool_strlist_add(&fresh.list, "a"), 0); });
    EXPECT_TRUE(fresh.list.count == 0 && fresh.list.strings == nullptr);
}

TEST(StringList, FindSortAndNaturalSortWithNullEntries) {
    List g{"file10", "file2", "File3", nullptr, "file1", "file02"};
    EXPECT_EQ(tool_strlist_find(&g.list, "file1"), 4);
    EXPECT_EQ(tool_strlist_find(&g.list, nullptr), 3);
    EXPECT_EQ(tool_strlist_find(&g.list, "c"), -1);
    EXPECT_EQ(tool_strlist_contains(nullptr, "a"), 0);
    tool_strlist_sort(&g.list);
    EXPECT_EQ(g.entries(), (Strings{"<null>", "File3", "file02", "file1", "file10", "file2"}));
    tool_strlist_natsort(&g.list);
    EXPECT_EQ(g.entries(), (Strings{"<null>", "File3", "file1", "file2", "file02", "file10"}));
}

TEST(StringList, RemoveFoundAndRemoveFoundAll) {
    List g{"ab", "cd", "", "xyz", "b"};
    tool_strlist_removefound(&g.list, "--abc--");
    EXPECT_EQ(g.entries(), (Strings{"cd", "xyz"}));
    List texts{"12xyz", nullptr};
    tool_strlist_removefoundall(&g.list, &texts.list);
    EXPECT_EQ(g.entries(), Strings{"cd"});
    tool_strlist_add(&g.list, nullptr);
    tool_strlist_removefoundall(&g.list, &g.list);  // every present string is in itself
    EXPECT_EQ(g.entries(), Strings{"<null>"});
}

TEST(StringList, SplitAndAppendToItselfAndStopAtTheFirstFailure) {
    List g{"old"};
    EXPECT_EQ(tool_strlist_split(";a;;b c;", "; ", &g.list), 1);
    EXPECT_EQ(g.entries(), (Strings{"a", "b", "c"}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(tool_strlist_append(&g.list, &g.list), 1);
    EXPECT_EQ(g.list.count, 24);
    EXPECT_STREQ(g.list.strings[23], "c");
    List dst, split;
    {
        ScopedAllocFailure fail(3);  // "a": copy + array; "b": copy; "c" fails
        captured_stderr([&] { EXPECT_EQ(tool_strlist_append(&dst.list, &g.list), 0); });
    }
    EXPECT_EQ(dst.entries(), (Strings{"a", "b"}));
    {
        ScopedAllocFailure fail(2);  // private copy, "x" copy; the array fails
        captured_stderr([&] { EXPECT_EQ(tool_strlist_split("x y", " ", &split.list), 0); });
    }
    EXPECT_EQ(split.list.count, 0);
    EXPECT_EQ(tool_strlist_split(nullptr, ";", &g.list), 1);
    EXPECT_EQ(g.list.count, 0);
}

TEST(KeyList, AddFindAppendAndFailedAddKeepsBothArraysConsistent) {
    tool_keylist_s list{};
    for (int32_t i = 0; i < 9; ++i)
        tool_keylist_add(&list, i * 10, ("s" + std::to_string(i)).c_str());
    for (long successes = 0; successes < 3; ++successes) {  // copy, keys, strings in turn
        ScopedAllocFailure fail(successes);
        EXPECT_NE(captured_stderr([&] { EXPECT_EQ(tool_keylist_add(&list, 90, "s9"), 0); }), "");
        EXPECT_EQ(list.count, 9);
    }
    for (int32_t i = 9; i < 25; ++i) {
        ASSERT_EQ(tool_keylist_add(&list, i * 10, ("s" + std::to_string(i)).c_str()), 1);
    }
    EXPECT_EQ(tool_keylist_find(&list, 240, nullptr, 1), 1);
    EXPECT_EQ(tool_keylist_find(&list, 999, "s24", 2), 1);
    EXPECT_EQ(tool_keylist_find(&list, 240, "s24", 0), 1);
    EXPECT_EQ(tool_keylist_find(&list, 230, "s24", 0), 0);
    EXPECT_EQ(tool_keylist_find(nullptr, 0, nullptr, 1), 0);
    EXPECT_EQ(tool_keylist_append(&list, &list), 1);
    EXPECT_EQ(list.count, 50);
    EXPECT_TRUE(list.keys[49] == 240 && std::string(list.strings[49]) == "s24");
    tool_keylist_free(&list);
    EXPECT_EQ(list.keys, nullptr);
    ScopedAllocFailure fail(2);  // copy and keys array work, the strings array fails
    EXPECT_EQ(captured_stderr([&] { EXPECT_EQ(tool_keylist_add(&list, 1, "a"), 0); }),
              "Error: tool_keylist_add: Memory allocation failed!\n");
    tool_alloc_fail_reset();
    EXPECT_EQ(tool_keylist_add(&list, 1, "a"), 1);
    EXPECT_EQ(tool_keylist_find(&list, 1, "a", 0), 1);
    tool_keylist_free(&list);
}

}  // namespace
