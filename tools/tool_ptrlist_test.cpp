// Tests of the pointer list: head insertion, cursor, removal and deletion callbacks, the
// stable merge sort in both directions and allocation failures.
#include "tools/tool_ptrlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tools/containers_test_support.h"
#include "tools/tool_alloc.h"

namespace {

void* P(uintptr_t n) {
    return reinterpret_cast<void*>(n);
}

std::vector<void*> Values(tool_ptrlist_s* list) {
    std::vector<void*> out;
    for (int more = tool_ptrlist_first(list); more; more = tool_ptrlist_next(list)) {
        out.push_back(tool_ptrlist_current(list));
    }
    return out;
}

struct Record {
    int key;
    int sequence;
};

int s_comparisons = 0;
int CompareKeys(const void* a, const void* b, const int* direction) {
    ++s_comparisons;
    const int order = static_cast<const Record*>(a)->key - static_cast<const Record*>(b)->key;
    return *direction < 0 ? -order : order;
}

void CollectNode(void* node, void* user) {
    static_cast<std::vector<void*>*>(user)->push_back(*static_cast<void**>(node));
}

class PtrListTest : public ::testing::Test {
  protected:
    void TearDown() override {
        tool_alloc_fail_reset();
        tool_ptrlist_delete(&list_, nullptr, nullptr);
    }
    tool_ptrlist_s* list_ = tool_ptrlist_new();
};

TEST_F(PtrListTest, HeadInsertionCursorAndRemoval) {
    for (uintptr_t i = 1; i <= 4; ++i) ASSERT_EQ(tool_ptrlist_add(list_, P(i)), 1);
    EXPECT_EQ(Values(list_), (std::vector<void*>{P(4), P(3), P(2), P(1)}));
    tool_ptrlist_first(list_);
    tool_ptrlist_next(list_);  // cursor on 3
    std::vector<void*> seen;
    EXPECT_EQ(tool_ptrlist_remove(list_, P(3), CollectNode, &seen), 1);
    EXPECT_EQ(tool_ptrlist_remove(list_, P(3), CollectNode, &seen), 0);
    EXPECT_EQ(list_->current, nullptr);
    EXPECT_EQ(tool_ptrlist_next(list_), 0);
    EXPECT_TRUE(
        IsErrorLine(captured_stderr([&] { EXPECT_EQ(tool_ptrlist_current(list_), nullptr); }),
                    "List current not found.", "tool_ptrlist"));
    EXPECT_EQ(tool_ptrlist_delete(&list_, CollectNode, &seen), 1);
    EXPECT_EQ(list_, nullptr);
    EXPECT_EQ(seen, (std::vector<void*>{P(3), P(4), P(2), P(1)}));
    EXPECT_EQ(tool_ptrlist_delete(&list_, CollectNode, &seen), 0);
    EXPECT_EQ(tool_ptrlist_add(nullptr, P(1)) + tool_ptrlist_first(nullptr) +
                  tool_ptrlist_next(nullptr) +
                  tool_ptrlist_remove(nullptr, P(1), nullptr, nullptr) +
                  tool_ptrlist_sort(nullptr, 1, nullptr),
              0);
}

TEST_F(PtrListTest, SortIsStableInBothDirections) {
    EXPECT_EQ(tool_ptrlist_sort(list_, -1, nullptr), 1);  // empty list
    std::mt19937 random(7);
    std::vector<Record> records(1000);
    for (int i = 0; i < 1000; ++i) records[i] = {static_cast<int>(random() % 17), i};
    for (auto it = records.rbegin(); it != records.rend(); ++it) tool_ptrlist_add(list_, &*it);
    for (int direction : {1, -1}) {
        std::vector<Record> expected = records;
        std::stable_sort(expected.begin(), expected.end(),
                         [direction](const Record& a, const Record& b) {
                             return direction > 0 ? a.key < b.key : a.key > b.key;
                         });
        ASSERT_EQ(tool_ptrlist_sort(list_, direction, CompareKeys), 1);
        EXPECT_EQ(list_->direction, direction);
        std::vector<void*> values = Values(list_);
        ASSERT_EQ(values.size(), expected.size());
        for (size_t i = 0; i < values.size(); ++i) {
            ASSERT_EQ(static_cast<const Record*>(values[i])->sequence, expected[i].sequence) << i;
        }
    }
}

TEST_F(PtrListTest, SortingAgainInTheSameDirectionDoesNothing) {
    Record r[5] = {{3, 0}, {1, 1}, {2, 2}, {5, 3}, {4, 4}};
    for (Record& x : r) tool_ptrlist_add(list_, &x);
    for (const auto& [direction, compares] : {std::pair{1, true}, {1, false}, {-1, true}}) {
        s_comparisons = 0;
        tool_ptrlist_sort(list_, direction, CompareKeys);
        EXPECT_EQ(s_comparisons > 0, compares);
    }
    Record extra{0, 9};
    tool_ptrlist_add(list_, &extra);
    EXPECT_EQ(list_->sorted, 0u);
    s_comparisons = 0;
    tool_ptrlist_sort(list_, -1, CompareKeys);
    EXPECT_GT(s_comparisons, 0);
    EXPECT_EQ(Values(list_).back(), &extra);
}

TEST_F(PtrListTest, DefaultComparisonIsUnsigned) {
    const int up = 1, down = -1;
    void* high = P(~uintptr_t{0});
    EXPECT_EQ(tool_ptrlist_compare(high, P(1), &up), 1);
    EXPECT_EQ(tool_ptrlist_compare(high, P(1), &down), -1);
    EXPECT_EQ(tool_ptrlist_compare(P(1), P(1), &down), 0);
    EXPECT_EQ(tool_ptrlist_compare(P(1), P(2), nullptr), -1);
    for (void* v : {P(5), P(1), high, P(4), P(2), P(3)}) tool_ptrlist_add(list_, v);
    tool_ptrlist_sort(list_, -1, nullptr);
    EXPECT_EQ(Values(list_), (std::vector<void*>{high, P(5), P(4), P(3), P(2), P(1)}));
}

TEST_F(PtrListTest, AllocationFailures) {
    tool_ptrlist_add(list_, P(1));
    tool_alloc_fail_after(0);
    EXPECT_TRUE(IsErrorLine(captured_stderr([&] { EXPECT_EQ(tool_ptrlist_add(list_, P(2)), 0); }),
                            "Memory allocation failed!", "tool_ptrlist"));
    EXPECT_EQ(Values(list_), std::vector<void*>{P(1)});
    EXPECT_TRUE(IsErrorLine(captured_stderr([&] { EXPECT_EQ(tool_ptrlist_new(), nullptr); }),
                            "Memory allocation failed!", "tool_ptrlist"));
}

}  // namespace
