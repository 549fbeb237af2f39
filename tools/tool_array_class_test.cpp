// Tests of toolArray_c: growth in steps of 1000, appending, clearing, copies and moves.
#include "tools/tool_array_class.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(ToolArrayClass, AddGrowsInStepsOfAThousand) {
    toolArray_c<int> a;
    EXPECT_EQ(a.count(), 0);
    EXPECT_EQ(a.capacity(), 0);
    EXPECT_TRUE(a.add(7));
    EXPECT_EQ(a.capacity(), 1000);
    for (int i = 1; i < 1000; ++i) ASSERT_TRUE(a.add(i));
    EXPECT_EQ(a.capacity(), 1000);
    ASSERT_TRUE(a.add(1000));
    EXPECT_EQ(a.count(), 1001);
    EXPECT_EQ(a.capacity(), 2000);
    EXPECT_EQ(a[0], 7);
    EXPECT_EQ(a[1000], 1000);
}

TEST(ToolArrayClass, AppendAddsBehindAndIgnoresEmptyInput) {
    toolArray_c<int> a;
    const int values[] = {1, 2, 3};
    EXPECT_TRUE(a.append(values, 3));
    EXPECT_TRUE(a.append(values, 0));
    EXPECT_TRUE(a.append(nullptr, 0));
    EXPECT_FALSE(a.append(nullptr, 2));
    EXPECT_TRUE(a.append(values + 1, 2));
    ASSERT_EQ(a.count(), 5);
    const int expected[] = {1, 2, 3, 2, 3};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(a[i], expected[i]) << i;
}

TEST(ToolArrayClass, ClearKeepsMemoryReleaseFreesIt) {
    toolArray_c<int> a;
    a.add(1);
    a.clear();
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(a.capacity(), 1000);
    a.release();
    EXPECT_EQ(a.capacity(), 0);
    EXPECT_EQ(a.data(), nullptr);
}

TEST(ToolArrayClass, CopiesAreDeepMovesLeaveTheSourceEmpty) {
    toolArray_c<int> a;
    a.add(4);
    a.add(5);
    toolArray_c<int> copy(a);
    copy[0] = 9;
    EXPECT_EQ(a[0], 4);
    toolArray_c<int> moved(std::move(a));
    EXPECT_EQ(moved.count(), 2);
    EXPECT_EQ(a.count(), 0);  // NOLINT(bugprone-use-after-move): moved-from is empty
    copy = moved;
    EXPECT_EQ(copy[0], 4);
    int sum = 0;
    for (int v : copy) sum += v;
    EXPECT_EQ(sum, 9);
}

TEST(ToolArrayClass, HugeRequestsFailWithoutChange) {
    toolArray_c<int> a;
    a.add(1);
    EXPECT_FALSE(a.reserve(0x7fffffff));
    int dummy = 0;
    EXPECT_FALSE(a.append(&dummy, 0x7fffffff));
    EXPECT_EQ(a.count(), 1);
    EXPECT_EQ(a[0], 1);
}

}  // namespace
