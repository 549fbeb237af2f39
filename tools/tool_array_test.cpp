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
  // Records the size of every allocating call without failing any.
  static int Record(size_t size, int, const char*, int, void* user) {
    static_cast<std::vector<size_t>*>(user)->push_back(size);
    return 0;
  }
  void TearDown() override { tool_alloc_fail_reset(); }
  std::vector<size_t> sizes_;
};

TEST_F(ArrayTest, IntegerAddsGrowInStepsOf1000) {
  int count = 0;
  int* array = nullptr;
  tool_alloc_set_hook(Record, &sizes_);
  for (int i = 0; i < 999; ++i) ASSERT_EQ(tool_intarray_add(i, &count, &array), i + 1);
  EXPECT_EQ(sizes_, (std::vector<size_t>{1000 * sizeof(int)}));
  EXPECT_EQ(tool_intarray_add(999, &count, &array), 1000);  // count + 1 hits 1000
  EXPECT_EQ(sizes_.back(), 2000 * sizeof(int));
  EXPECT_EQ(tool_intarray_add(1000, &count, &array), 1001);
  EXPECT_EQ(sizes_.size(), 2u);
  while (count < 2000) tool_intarray_add(count, &count, &array);
  EXPECT_EQ(sizes_.back(), 3000 * sizeof(int));
  for (int i = 0; i < count; ++i) ASSERT_EQ(array[i], i);

  count = 0;  // reusing an existing array reallocates to count + 1001
  tool_intarray_add(7, &count, &array);
  EXPECT_EQ(sizes_.back(), 1001 * sizeof(int));
  tool_intarray_free(&count, &array);
  EXPECT_EQ(array, nullptr);
  EXPECT_EQ(count, 0);
}

TEST_F(ArrayTest, BulkAppendsRoundUpAndMayCopyFromTheArrayItself) {
  int count = 0;
  double* array = nullptr;
  std::vector<double> values(2500, 1.5);
  tool_alloc_set_hook(Record, &sizes_);
  EXPECT_EQ(tool_doublearray_append(999, values.data(), &count, &array), 999);
  EXPECT_EQ(sizes_.back(), 1000 * sizeof(double));
  EXPECT_EQ(tool_doublearray_append(1, values.data(), &count, &array), 1000);
  EXPECT_EQ(sizes_.back(), 2000 * sizeof(double));
  array[0] = -4.0;
  EXPECT_EQ(tool_doublearray_append(1000, array, &count, &array), 2000);  // self-append
  EXPECT_EQ(sizes_.back(), 3000 * sizeof(double));
  EXPECT_EQ(array[1000], -4.0);
  EXPECT_EQ(array[1999], 1.5);
  EXPECT_EQ(tool_doublearray_append(0, values.data(), &count, &array), 2000);  // n < 1
  const double next = 9.0;
  EXPECT_EQ(tool_doublearray_add(&next, &count, &array), 2001);
  EXPECT_EQ(tool_doublearray_add(nullptr, &count, &array), 2001);
  tool_doublearray_free(&count, &array);
}

TEST_F(ArrayTest, FailedGrowthKeepsTheElementsAndReports) {
  int count = 0;
  int* array = nullptr;
  tool_alloc_fail_after(0, 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(tool_intarray_add(5, &count, &array), 0);
  EXPECT_EQ(array, nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(IsErrorLine(testing::internal::GetCapturedStderr(), "Memory allocation failed.",
                          "tool_array"));

  for (int i = 0; i < 999; ++i) tool_intarray_add(i, &count, &array);
  tool_alloc_fail_after(0, 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(tool_intarray_add(999, &count, &array), 0);
  EXPECT_EQ(count, 999);
  EXPECT_EQ(tool_intarray_append(3, array, &count, &array), 1002);  // only one call failed
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(count, 1002);
  EXPECT_EQ(array[998], 998);
  EXPECT_EQ(array[1001], 2);

  tool_alloc_fail_after(0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(tool_intarray_append(3, array, &count, &array), 0);
  int doubles_count = 0;
  double* doubles = nullptr;
  const double one = 1.0;
  EXPECT_EQ(tool_doublearray_add(&one, &doubles_count, &doubles), 0);
  EXPECT_EQ(tool_doublearray_fromtext("1;2", ";", &doubles_count, &doubles), 0);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(count, 1002);
  EXPECT_EQ(doubles_count, 0);
  EXPECT_EQ(doubles, nullptr);
  tool_alloc_fail_reset();

  count = -3;  // not a count these functions could have produced
  testing::internal::CaptureStderr();
  EXPECT_EQ(tool_intarray_add(1, &count, &array), 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Invalid array count."), std::string::npos);
  tool_intarray_free(&count, &array);
}

TEST_F(ArrayTest, IntegerStatisticsAndSearch) {
  const int values[] = {4, -2, 9, 4};
  EXPECT_EQ(tool_intarray_stat(1, 4, values), -2);
  EXPECT_EQ(tool_intarray_stat(2, 4, values), 9);
  EXPECT_EQ(tool_intarray_stat(3, 4, values), 3);  // 15 / 4
  const int one_two[] = {1, 2};
  EXPECT_EQ(tool_intarray_stat(3, 2, one_two), 1);
  const int large[] = {INT_MAX, INT_MAX, INT_MAX};
  EXPECT_EQ(tool_intarray_stat(3, 3, large), INT_MAX);  // no 32-bit overflow
  const int negative[] = {-1, -2};
  EXPECT_EQ(tool_intarray_stat(3, 2, negative), -1);
  EXPECT_EQ(tool_intarray_stat(4, 4, values), 0);
  EXPECT_EQ(tool_intarray_stat(1, 0, values), 0);
  EXPECT_EQ(tool_intarray_stat(1, 4, nullptr), 0);

  int index = 77;
  EXPECT_EQ(tool_intarray_find(4, 4, values, &index), 1);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(tool_intarray_find(9, 4, values, &index), 1);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(tool_intarray_find(5, 4, values, &index), 0);
  EXPECT_EQ(index, -1);
  index = 77;
  EXPECT_EQ(tool_intarray_find(4, 0, values, &index), 0);
  EXPECT_EQ(index, 77);
  EXPECT_EQ(tool_intarray_contains(-2, 4, values), 1);
  EXPECT_EQ(tool_intarray_contains(-2, 1, values), 0);
}

TEST_F(ArrayTest, Reverse) {
  int odd[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(tool_array_reverse(5, odd, sizeof(int)), odd);
  EXPECT_EQ(std::vector<int>(odd, odd + 5), (std::vector<int>{5, 4, 3, 2, 1}));
  char triples[] = "abcdefghi";  // three 3-byte elements
  tool_array_reverse(3, triples, 3);
  EXPECT_STREQ(triples, "ghidefabc");
  tool_array_reverse(3, triples, 0);
  tool_array_reverse(1, triples, 3);
  EXPECT_STREQ(triples, "ghidefabc");
  EXPECT_EQ(tool_array_reverse(3, nullptr, 4), nullptr);
}

TEST_F(ArrayTest, DoubleStatisticsToleranceAndComparison) {
  const double a[] = {1.0, 2.5, -3.0};
  EXPECT_DOUBLE_EQ(tool_doublearray_stat(1, 3, a), -3.0);
  EXPECT_DOUBLE_EQ(tool_doublearray_stat(2, 3, a), 2.5);
  EXPECT_DOUBLE_EQ(tool_doublearray_stat(3, 3, a), 0.5 / 3);
  EXPECT_DOUBLE_EQ(tool_doublearray_stat(0, 3, a), 0.0);

  EXPECT_EQ(tool_doublearray_contains(2.55, 3, a, 0.1), 1);
  EXPECT_EQ(tool_doublearray_contains(2.75, 3, a, 0.25), 0);  // strictly less than
  EXPECT_EQ(tool_doublearray_contains(1.0, 3, nullptr, 1.0), 0);

  const double b[] = {1.05, 2.45, -3.0};
  const double c[] = {1.0, 2.7, -9.0};
  EXPECT_EQ(tool_doublearray_compare(3, a, 3, b, 0.1), 0);
  EXPECT_EQ(tool_doublearray_compare(3, a, 3, b, 0.01), -1);  // 1.0 - 1.05
  EXPECT_EQ(tool_doublearray_compare(3, c, 3, a, 0.1), 1);    // 2.7 - 2.5 decides first
  EXPECT_EQ(tool_doublearray_compare(3, a, 1, b, 0.1), 2);
  EXPECT_EQ(tool_doublearray_compare(0, a, 2, b, 0.1), -2);
  EXPECT_EQ(tool_doublearray_compare(2, nullptr, 2, nullptr, 0.1), 0);
  EXPECT_EQ(tool_doublearray_compare(2, nullptr, 2, b, 0.1), -1);
  EXPECT_EQ(tool_doublearray_compare(2, a, 2, nullptr, 0.1), 1);
  EXPECT_EQ(tool_doublearray_compare(INT_MIN, a, 1, b, 0.1), INT_MIN);
}

TEST_F(ArrayTest, DoublesFromText) {
  int count = 0;
  double* array = nullptr;
  EXPECT_EQ(tool_doublearray_fromtext("1.5;;2", ";", &count, &array), 2);
  EXPECT_EQ(array[0], 1.5);
  EXPECT_EQ(array[1], 2.0);
  EXPECT_EQ(tool_doublearray_fromtext(";-4 x 1e5e;", "; x", &count, &array), 4);
  EXPECT_EQ(array[2], -4.0);
  EXPECT_EQ(array[3], 1e5);  // "1e5e": the reader stops where the number does
  EXPECT_EQ(tool_doublearray_fromtext("1e5", "e", &count, &array), 6);  // pieces 1 and 5
  EXPECT_EQ(array[4], 1.0);
  EXPECT_EQ(array[5], 5.0);
  const std::string long_piece = std::string(100, '0') + "2.25";
  EXPECT_EQ(tool_doublearray_fromtext(long_piece.c_str(), nullptr, &count, &array), 7);
  EXPECT_EQ(array[6], 2.25);
  EXPECT_EQ(tool_doublearray_fromtext(nullptr, ";", &count, &array), 7);
  EXPECT_EQ(tool_doublearray_fromtext(";;;", ";", &count, &array), 7);

  tool_alloc_fail_after(0);  // the long piece needs a copy, which fails
  testing::internal::CaptureStderr();
  EXPECT_EQ(tool_doublearray_fromtext(long_piece.c_str(), ";", &count, &array), 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Memory allocation failed."), std::string::npos);
  EXPECT_EQ(count, 7);
  tool_doublearray_free(&count, &array);
}

}  // namespace
