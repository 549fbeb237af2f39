// Tests of the integer and double arrays: exact growth steps (observed through the sizes
// the allocation wrappers are asked for), failed growth, statistics, search and parsing.
#include "tools/tool_array.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "tools/containers_test_support.h"
#include "tools/tool_alloc.h"

namespace {

class ArrayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tool_alloc_set_hook(
            [](size_t size, int, const char*, int, void* user) {
                static_cast<std::vector<size_t>*>(user)->push_back(size);
                return 0;
            },
            &sizes_);
    }
    void TearDown() override { tool_alloc_fail_reset(); }
    std::vector<size_t> sizes_;  // of every allocating call
};

TEST_F(ArrayTest, IntegerAddsGrowInStepsOf1000) {
    int count = 0;
    int* array = nullptr;
    for (int i = 0; i < 999; ++i) ASSERT_EQ(tool_intarray_add(i, &count, &array), i + 1);
    EXPECT_EQ(sizes_, (std::vector<size_t>{1000 * sizeof(int)}));
    EXPECT_EQ(tool_intarray_add(999, &count, &array), 1000);  // count + 1 hits 1000
    EXPECT_EQ(tool_intarray_add(1000, &count, &array), 1001);
    EXPECT_EQ(sizes_, (std::vector<size_t>{1000 * sizeof(int), 2000 * sizeof(int)}));
    while (count < 2000) tool_intarray_add(count, &count, &array);
    EXPECT_EQ(sizes_.back(), 3000 * sizeof(int));
    for (int i = 0; i < count; ++i) ASSERT_EQ(array[i], i);
    count = 0;  // reusing an existing array reallocates to count + 1001
    tool_intarray_add(7, &count, &array);
    EXPECT_EQ(sizes_.back(), 1001 * sizeof(int));
    tool_intarray_free(&count, &array);
    EXPECT_TRUE(array == nullptr && count == 0);
}

TEST_F(ArrayTest, BulkAppendsRoundUpAndMayCopyFromTheArrayItself) {
    int count = 0;
    double* array = nullptr;
    std::vector<double> values(2500, 1.5);
    EXPECT_EQ(tool_doublearray_append(999, values.data(), &count, &array), 999);
    EXPECT_EQ(tool_doublearray_append(1, values.data(), &count, &array), 1000);
    array[0] = -4.0;
    EXPECT_EQ(tool_doublearray_append(1000, array, &count, &array), 2000);  // self-append
    EXPECT_EQ(sizes_, (std::vector<size_t>{1000 * 8, 2000 * 8, 3000 * 8}));
    EXPECT_TRUE(array[1000] == -4.0 && array[1999] == 1.5);
    EXPECT_EQ(tool_doublearray_append(0, values.data(), &count, &array), 2000);  // n < 1
    EXPECT_EQ(tool_doublearray_add(nullptr, &count, &array), 2000);
    tool_doublearray_free(&count, &array);
}

TEST_F(ArrayTest, FailedGrowthKeepsTheElementsAndReports) {
    int count = 0;
    int* array = nullptr;
    const auto fails_once = [&](auto call) {
        tool_alloc_fail_after(0, 1);
        EXPECT_TRUE(IsErrorLine(captured_stderr(call), "Memory allocation failed.", "tool_array"));
    };
    fails_once([&] { EXPECT_EQ(tool_intarray_add(5, &count, &array), 0); });
    EXPECT_TRUE(array == nullptr && count == 0);
    for (int i = 0; i < 999; ++i) tool_intarray_add(i, &count, &array);
    fails_once([&] { EXPECT_EQ(tool_intarray_add(999, &count, &array), 0); });
    fails_once([&] { EXPECT_EQ(tool_intarray_append(3, array, &count, &array), 0); });
    EXPECT_EQ(count, 999);
    EXPECT_EQ(tool_intarray_append(3, array, &count, &array), 1002);  // only one call failed
    EXPECT_TRUE(array[998] == 998 && array[1001] == 2);
    int doubles_count = 0;
    double* doubles = nullptr;
    const double one = 1.0;
    fails_once([&] { EXPECT_EQ(tool_doublearray_add(&one, &doubles_count, &doubles), 0); });
    fails_once(
        [&] { EXPECT_EQ(tool_doublearray_fromtext("1;2", ";", &doubles_count, &doubles), 0); });
    EXPECT_TRUE(doubles_count == 0 && doubles == nullptr);
    count = -3;  // not a count these functions could have produced
    EXPECT_TRUE(
        IsErrorLine(captured_stderr([&] { EXPECT_EQ(tool_intarray_add(1, &count, &array), 0); }),
                    "Invalid array count.", "tool_array"));
    tool_intarray_free(&count, &array);
}

TEST_F(ArrayTest, StatisticsSearchComparisonAndReverse) {
    const int values[] = {4, -2, 9, 4}, negative[] = {-1, -2}, large[] = {INT_MAX, INT_MAX};
    // Minimum, maximum, mean truncated towards 0 without 32-bit overflow; other modes 0.
    const auto stat = tool_intarray_stat;
    EXPECT_EQ(std::vector<int>({stat(1, 4, values), stat(2, 4, values), stat(3, 4, values),
                                stat(3, 2, negative), stat(3, 2, large), stat(4, 4, values)}),
              std::vector<int>({-2, 9, 3, -1, INT_MAX, 0}));
    int index = 77;
    EXPECT_EQ(tool_intarray_find(4, 0, values, &index), 0);
    EXPECT_EQ(index, 77);
    EXPECT_EQ(tool_intarray_find(9, 4, values, &index), 1);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(tool_intarray_find(5, 4, values, &index), 0);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(tool_intarray_contains(-2, 1, values), 0);
    const double a[] = {1.0, 2.5, -3.0}, b[] = {1.05, 2.45, -3.0}, c[] = {1.0, 2.7, -9.0};
    EXPECT_DOUBLE_EQ(tool_doublearray_stat(3, 3, a), 0.5 / 3);
    EXPECT_EQ(tool_doublearray_contains(2.55, 3, a, 0.1), 1);
    EXPECT_EQ(tool_doublearray_contains(2.75, 3, a, 0.25), 0);  // strictly less than
    // Tolerance, the first difference deciding, counts, absent arrays.
    const auto cmp = tool_doublearray_compare;
    EXPECT_EQ(std::vector<int>({cmp(3, a, 3, b, 0.1), cmp(3, a, 3, b, 0.01), cmp(3, c, 3, a, 0.1),
                                cmp(3, a, 1, b, 0.1), cmp(2, nullptr, 2, nullptr, 0.1),
                                cmp(2, nullptr, 2, b, 0.1), cmp(2, a, 2, nullptr, 0.1),
                                cmp(INT_MIN, a, 1, b, 0.1)}),
              std::vector<int>({0, -1, 1, 2, 0, -1, 1, INT_MIN}));
    int odd[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(tool_array_reverse(5, odd, sizeof(int)), odd);
    EXPECT_EQ(std::vector<int>(odd, odd + 5), (std::vector<int>{5, 4, 3, 2, 1}));
    char triples[] = "abcdefghi";  // three 3-byte elements
    tool_array_reverse(3, triples, 3);
    tool_array_reverse(3, triples, 0);
    EXPECT_STREQ(triples, "ghidefabc");
    EXPECT_EQ(tool_array_reverse(3, nullptr, 4), nullptr);
}

TEST_F(ArrayTest, DoublesFromText) {
    int count = 0;
    double* array = nullptr;
    EXPECT_EQ(tool_doublearray_fromtext("1.5;;2", ";", &count, &array), 2);
    EXPECT_EQ(tool_doublearray_fromtext(";-4 x 1e5e;", "; x", &count, &array), 4);
    EXPECT_EQ(tool_doublearray_fromtext("1e5", "e", &count, &array), 6);  // pieces 1 and 5
    const std::string long_piece = std::string(100, '0') + "2.25";
    EXPECT_EQ(tool_doublearray_fromtext(long_piece.c_str(), nullptr, &count, &array), 7);
    EXPECT_EQ(tool_doublearray_fromtext(nullptr, ";", &count, &array), 7);
    EXPECT_EQ(tool_doublearray_fromtext(";;;", ";", &count, &array), 7);
    // "1e5e": the reader stops where the number does.
    EXPECT_EQ(std::vector<double>(array, array + 7),
              (std::vector<double>{1.5, 2, -4, 1e5, 1, 5, 2.25}));
    tool_alloc_fail_after(0);  // the long piece needs a copy, which fails
    EXPECT_NE(captured_stderr([&] {
                  EXPECT_EQ(tool_doublearray_fromtext(long_piece.c_str(), ";", &count, &array), 0);
              }).find("Memory allocation failed."),
              std::string::npos);
    EXPECT_EQ(count, 7);
    tool_doublearray_free(&count, &array);
}

}  // namespace
