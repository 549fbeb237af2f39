// Tests of the block allocator: slot and block geometry, the two-block growth step, reuse
// of freed slots, block release, reset, statistics, the registry report and failures.
#include "tools/allocator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tools/containers_test_support.h"
#include "tools/tool_alloc.h"

namespace {

std::string s_printed;
int Capture(const char* format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    const int n = std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    s_printed += line;
    return n;
}

uint32_t Blocks(const tool_allocator_s* allocator) {
    uint32_t blocks = 0;
    tool_allocator_stats(allocator, nullptr, nullptr, &blocks, nullptr, nullptr, nullptr);
    return blocks;
}

class AllocatorTest : public ::testing::Test {
  protected:
    void TearDown() override {
        tool_alloc_fail_reset();
        tool_allocator_destroy(allocator_);
    }
    tool_allocator_s* allocator_ = nullptr;
};

TEST_F(AllocatorTest, Geometry) {
    const struct {
        size_t element_size;
        uint32_t per_block, slot, block, slots;
    } cases[] = {{56, 1, 64, 496, 7},      {72, 1, 80, 496, 6},  {1, 1, 24, 496, 20},
                 {100, 10, 112, 1488, 13}, {17, 0, 32, 496, 15}, {2000, 1, 2008, 2480, 1}};
    for (const auto& c : cases) {
        tool_allocator_s* a = tool_allocator_create(c.element_size, c.per_block, 0, "geometry", 1);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(std::vector<uint32_t>({a->slot_size, a->block_size, a->slots_per_block}),
                  std::vector<uint32_t>({c.slot, c.block, c.slots}))
            << c.element_size;
        tool_allocator_destroy(a);
    }
    for (const auto& [size, per_block] :
         {std::pair{size_t{1} << 33, 1u}, {size_t{64}, UINT32_MAX}}) {
        const auto create = [&] {
            EXPECT_EQ(tool_allocator_create(size, per_block, 0, "", 1), nullptr);
        };
        EXPECT_TRUE(
            IsErrorLine(captured_stderr(create), "Allocator block too large.", "allocator"));
    }
}

TEST_F(AllocatorTest, GrowsTwoBlocksAtATimeAndReusesFreedSlots) {
    allocator_ = tool_allocator_create(56, 1, 0, "grow", 10);
    std::vector<char*> order;
    for (int i = 1; i <= 14; ++i)
        order.push_back(static_cast<char*>(tool_allocator_alloc(allocator_)));
    EXPECT_EQ(std::set<char*>(order.begin(), order.end()).size(), 14u);
    EXPECT_EQ(Blocks(allocator_), 2u);
    // The first element is the first slot of the newer block; the next six fill that block
    // from its last slot down, 64 bytes apart.
    for (int i = 1; i < 7; ++i) EXPECT_EQ(order[i] - order[0], (7 - i) * 64) << i;
    void* fifteenth = tool_allocator_alloc(allocator_);
    EXPECT_EQ(Blocks(allocator_), 4u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(fifteenth) % 8, 0u);
    tool_allocator_free(order[0]);
    EXPECT_EQ(tool_allocator_alloc(allocator_), order[0]);
    EXPECT_EQ(allocator_->in_use, 15u);
    tool_allocator_free(nullptr);
}

TEST_F(AllocatorTest, BlocksAreReleasedOnlyWithTheReleaseFlag) {
    for (int release : {0, 1}) {
        tool_allocator_s* a = tool_allocator_create(56, 1, release, "release", 20);
        std::vector<void*> elements;
        for (int i = 0; i < 14; ++i) elements.push_back(tool_allocator_alloc(a));
        // The first seven (first slot, then the free list) all live in the second block.
        for (int i = 0; i < 7; ++i) tool_allocator_free(elements[i]);
        EXPECT_EQ(Blocks(a), release ? 1u : 2u);
        void* again = tool_allocator_alloc(a);
        EXPECT_EQ(Blocks(a), release ? 3u : 2u) << "no free slot was left with release";
        tool_allocator_free(again);
        for (int i = 7; i < 14; ++i) tool_allocator_free(elements[i]);
        EXPECT_EQ(a->in_use, 0u);
        tool_allocator_destroy(a);
    }
}

TEST_F(AllocatorTest, ResetFreesEverySlotKeepsTheBlocksAndStatsAddUp) {
    allocator_ = tool_allocator_create(24, 1, 0, "reset", 30);
    for (int i = 0; i < 30; ++i) tool_allocator_alloc(allocator_);
    EXPECT_EQ(tool_allocator_reset(allocator_), 1);
    EXPECT_EQ(allocator_->in_use, 0u);
    for (int i = 0; i < 30; ++i) tool_allocator_alloc(allocator_);
    uint32_t in_use, most, blocks;
    uint64_t bytes, bytes_most, reserved;
    EXPECT_EQ(
        tool_allocator_stats(allocator_, &in_use, &most, &blocks, &bytes, &bytes_most, &reserved),
        1);
    // 15 slots of 32 bytes per block: the two first blocks served both rounds.
    EXPECT_EQ(std::vector<uint64_t>({in_use, most, blocks, bytes, bytes_most, reserved}),
              std::vector<uint64_t>({30, 30, 2, 960, 960, 960}));
    EXPECT_EQ(
        tool_allocator_stats(nullptr, &in_use, &most, &blocks, &bytes, &bytes_most, &reserved), 0);
    EXPECT_EQ(in_use + most + blocks + bytes + bytes_most + reserved, 0u);
    EXPECT_EQ(tool_allocator_reset(nullptr) + tool_allocator_destroy(nullptr), 0);
    EXPECT_EQ(tool_allocator_alloc(nullptr), nullptr);
}

TEST_F(AllocatorTest, ReportListsTheRegistryNewestFirst) {
    const std::string head = "**** Allocator memory use *********************************\n";
    const std::string tail = "**** Allocator memory use  end ****************************\n";
    s_printed.clear();
    tool_allocator_report(Capture);
    EXPECT_EQ(s_printed, head + "Number of allocators: 0\n Total Memory        0.000 kb\n" + tail);
    tool_allocator_s* older = tool_allocator_create(72, 1, 0, "tools/older.cpp", 42);
    allocator_ = tool_allocator_create(16, 1, 0, std::string(300, 'n').c_str(), 7);
    for (int i = 0; i < 3; ++i) tool_allocator_alloc(older);
    s_printed.clear();
    tool_allocator_report(Capture);
    EXPECT_EQ(
        s_printed,
        head + "Number of allocators: 2\n" + std::string(255, 'n') + " Linex: 7\n" +
            "        0 in     0 bl        0.000/       0.000 (  0%) max       0        0.000  kb\n"
            "tools/older.cpp                                       Linex: 42\n"
            "        3 in     2 bl        0.234/       0.938 ( 25%) max       3        0.234  kb\n"
            " Total Memory        0.938 kb\n" +
            tail);
    tool_allocator_destroy(older);
}

// A long random churn against a model of the live elements, with and without block
// release: no element is handed out twice, contents survive other frees, and the counts,
// blocks and double-free refusals stay right on the inline and the out-of-line paths.
TEST_F(AllocatorTest, RandomChurnKeepsEveryLiveElementIntact) {
    for (int release : {0, 1}) {
        tool_allocator_s* a = tool_allocator_create(40, 3, release, "churn", 50);
        ASSERT_NE(a, nullptr);
        std::vector<std::pair<unsigned char*, unsigned char>> live;
        std::set<unsigned char*> addresses;
        uint32_t most = 0, seed = 7;
        const auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
        for (int step = 0; step < 20000; ++step) {
            // Grow to about 300 live elements, shrink to none, grow again.
            const bool grow =
                live.empty() || ((step / 4000) % 2 == 0 ? next() % 3 != 0 : next() % 3 == 0);
            if (grow) {
                auto* e = static_cast<unsigned char*>(tool_allocator_alloc(a));
                ASSERT_TRUE(e != nullptr && addresses.insert(e).second)
                    << "handed out twice at step " << step;
                live.emplace_back(e, static_cast<unsigned char>(next()));
                std::memset(e, live.back().second, 40);
            } else {
                const size_t victim = next() % live.size();
                auto [e, mark] = live[victim];
                for (int i = 0; i < 40; ++i)
                    ASSERT_EQ(e[i], mark) << "overwritten at step " << step;
                tool_allocator_free(e);
                addresses.erase(e);
                live[victim] = live.back();
                live.pop_back();
            }
            most = std::max<uint32_t>(most, static_cast<uint32_t>(live.size()));
            ASSERT_EQ(a->in_use, live.size());
        }
        uint32_t most_in_use = 0, blocks = 0;
        tool_allocator_stats(a, nullptr, &most_in_use, &blocks, nullptr, nullptr, nullptr);
        EXPECT_EQ(most_in_use, most);
        // 48-byte slots, 10 to a block: without release the blocks of the peak stay.
        EXPECT_GE(blocks * 10u, release ? live.size() : most);
        unsigned char* first = live.front().first;
        tool_allocator_free(first);
        const auto again = [&] { tool_allocator_free(first); };  // refused on either path
        EXPECT_TRUE(IsErrorLine(captured_stderr(again), "Element freed twice.", "allocator"));
        EXPECT_EQ(a->in_use, live.size() - 1);
        live.erase(live.begin());
        for (auto& [e, mark] : live) tool_allocator_free(e);
        EXPECT_EQ(a->in_use, 0u);
        EXPECT_EQ(Blocks(a), release ? 0u : blocks);
        EXPECT_EQ(tool_allocator_reset(a), 1);
        EXPECT_NE(tool_allocator_alloc(a), nullptr);  // the free list rebuilt by reset serves
        tool_allocator_destroy(a);
    }
}

TEST_F(AllocatorTest, AllocationFailures) {
    const auto fails = [](long successes, auto call) {
        tool_alloc_fail_after(successes, 1);
        EXPECT_TRUE(IsErrorLine(captured_stderr(call), "Memory allocation failed.", "allocator"));
    };
    fails(0, [] { EXPECT_EQ(tool_allocator_create(32, 1, 0, "fails", 1), nullptr); });
    allocator_ = tool_allocator_create(32, 1, 0, "fails", 2);
    for (long successes : {0, 1}) {  // the first block's record, then its slot memory
        fails(successes, [&] { EXPECT_EQ(tool_allocator_alloc(allocator_), nullptr); });
        EXPECT_EQ(Blocks(allocator_) + allocator_->in_use, 0u);
    }
    tool_alloc_fail_after(2, 1);  // the second block fails: the first one serves
    captured_stderr([&] { EXPECT_NE(tool_allocator_alloc(allocator_), nullptr); });
    EXPECT_EQ(Blocks(allocator_), 1u);
    EXPECT_EQ(allocator_->in_use, 1u);
}

}  // namespace
