// Tests of the zero-filling allocation wrappers and the failure hook.
#include "tools/tool_alloc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

class ToolAllocTest : public ::testing::Test {
 protected:
  void TearDown() override { tool_alloc_fail_reset(); }
};

bool all_zero(const void* p, std::size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  for (std::size_t i = 0; i < n; ++i) {
    if (b[i] != 0) return false;
  }
  return true;
}

TEST_F(ToolAllocTest, MallocZeroFillsAndSizeZeroGivesNoBlock) {
  EXPECT_EQ(TOOL_MALLOC(0), nullptr);
  void* p = TOOL_MALLOC(100);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(all_zero(p, 100));
  TOOL_FREE(p);
  TOOL_FREE(nullptr);
}

TEST_F(ToolAllocTest, ReallocZeroFillsGrowthEvenAfterShrinkingDirtyBlock) {
  auto* p = static_cast<unsigned char*>(TOOL_MALLOC(64));
  ASSERT_NE(p, nullptr);
  std::memset(p, 0xAB, 64);
  p = static_cast<unsigned char*>(TOOL_REALLOC(p, 10));  // shrink keeps the first bytes
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[9], 0xAB);
  p = static_cast<unsigned char*>(TOOL_REALLOC(p, 4000));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 0xAB);
  EXPECT_EQ(p[9], 0xAB);
  EXPECT_TRUE(all_zero(p + 10, 4000 - 10));
  EXPECT_EQ(TOOL_REALLOC(p, 0), nullptr);  // frees
}

TEST_F(ToolAllocTest, ReallocOfNullActsAsMalloc) {
  void* p = TOOL_REALLOC(nullptr, 32);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(all_zero(p, 32));
  TOOL_FREE(p);
  EXPECT_EQ(TOOL_REALLOC(nullptr, 0), nullptr);
}

TEST_F(ToolAllocTest, FailAfterCountsDownThenRecovers) {
  tool_alloc_fail_after(2, 1);
  void* a = TOOL_MALLOC(8);
  void* b = TOOL_MALLOC(8);
  void* c = TOOL_MALLOC(8);
  void* d = TOOL_MALLOC(8);
  EXPECT_NE(a, nullptr);
  EXPECT_NE(b, nullptr);
  EXPECT_EQ(c, nullptr);
  EXPECT_NE(d, nullptr);
  EXPECT_EQ(tool_alloc_failures_injected(), 1);
  TOOL_FREE(a);
  TOOL_FREE(b);
  TOOL_FREE(d);
}

TEST_F(ToolAllocTest, FailedReallocKeepsTheOldBlock) {
  auto* p = static_cast<char*>(TOOL_MALLOC(8));
  ASSERT_NE(p, nullptr);
  std::strcpy(p, "keep");
  tool_alloc_fail_after(0);
  EXPECT_EQ(TOOL_REALLOC(p, 1000), nullptr);
  EXPECT_EQ(TOOL_MALLOC(1), nullptr);  // failing forever until reset
  EXPECT_STREQ(p, "keep");
  tool_alloc_fail_reset();
  TOOL_FREE(p);
}

TEST_F(ToolAllocTest, HookSeesSizesKindAndCaller) {
  struct Seen {
    std::vector<std::size_t> sizes;
    std::vector<int> kinds;
    int line = 0;
  } seen;
  tool_alloc_set_hook(
      [](std::size_t size, int is_realloc, const char*, int line, void* user) {
        auto* s = static_cast<Seen*>(user);
        s->sizes.push_back(size);
        s->kinds.push_back(is_realloc);
        s->line = line;
        return size == 77 ? 1 : 0;
      },
      &seen);
  void* p = TOOL_MALLOC(5);
  const int expected_line = __LINE__ + 1;
  p = TOOL_REALLOC(p, 9);
  EXPECT_EQ(TOOL_MALLOC(77), nullptr);
  EXPECT_EQ(seen.sizes, (std::vector<std::size_t>{5, 9, 77}));
  EXPECT_EQ(seen.kinds, (std::vector<int>{0, 1, 0}));
  EXPECT_EQ(seen.line, expected_line + 1);
  TOOL_FREE(p);
}

}  // namespace
