// Tests of the zero-filling allocation wrappers and the failure hook.
#include "tools/tool_alloc.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

namespace {

class ToolAllocTest : public ::testing::Test {
  protected:
    void TearDown() override { tool_alloc_fail_reset(); }
};

TEST_F(ToolAllocTest, BlocksAndGrowthAreZeroFilledEvenAfterShrinkingADirtyBlock) {
    EXPECT_EQ(TOOL_MALLOC(0), nullptr);
    EXPECT_EQ(TOOL_REALLOC(nullptr, 0), nullptr);
    auto* p = static_cast<unsigned char*>(TOOL_REALLOC(nullptr, 64));  // acts as malloc
    ASSERT_TRUE(p != nullptr && std::all_of(p, p + 64, [](unsigned char b) { return b == 0; }));
    std::memset(p, 0xAB, 64);
    p = static_cast<unsigned char*>(TOOL_REALLOC(TOOL_REALLOC(p, 10), 4000));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[9], 0xAB);
    EXPECT_TRUE(std::all_of(p + 10, p + 4000, [](unsigned char b) { return b == 0; }));
    EXPECT_EQ(TOOL_REALLOC(p, 0), nullptr);  // frees
}

TEST_F(ToolAllocTest, FailAfterCountsDownThenRecoversAndFailedReallocKeepsTheBlock) {
    tool_alloc_fail_after(2, 1);
    std::vector<void*> blocks;
    for (int i = 0; i < 4; ++i) blocks.push_back(TOOL_MALLOC(8));
    EXPECT_EQ(blocks[2], nullptr);
    EXPECT_NE(blocks[3], nullptr);
    EXPECT_EQ(tool_alloc_failures_injected(), 1);
    std::strcpy(static_cast<char*>(blocks[0]), "keep");
    tool_alloc_fail_after(0);
    EXPECT_EQ(TOOL_REALLOC(blocks[0], 1000), nullptr);
    EXPECT_EQ(TOOL_MALLOC(1), nullptr);  // failing forever until reset
    EXPECT_STREQ(static_cast<char*>(blocks[0]), "keep");
    for (void* b : blocks) TOOL_FREE(b);
}

TEST_F(ToolAllocTest, HookSeesSizesKindAndCaller) {
    using Log = std::vector<std::tuple<std::size_t, int, int>>;  // size, is_realloc, line
    Log seen;
    tool_alloc_set_hook(
        [](std::size_t size, int is_realloc, const char*, int line, void* user) {
            static_cast<Log*>(user)->emplace_back(size, is_realloc, line);
            return size == 77 ? 1 : 0;
        },
        &seen);
    const int line = __LINE__ + 1;
    void* p = TOOL_REALLOC(TOOL_MALLOC(5), 9);
    EXPECT_EQ(TOOL_MALLOC(77), nullptr);
    EXPECT_EQ(seen, (Log{{5, 0, line}, {9, 1, line}, {77, 0, line + 1}}));
    TOOL_FREE(p);
}

}  // namespace
