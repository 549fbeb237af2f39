// The table store's large blocks: alignment of small and huge-page sized blocks, every byte
// usable, impossible sizes refused, and vectors on the block allocator keeping their contents.
#include "outside/table_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace table_store {
namespace {

TEST(TableMemoryTest, BlocksAreAlignedAndFullyUsable) {
    for (size_t bytes : {size_t{0}, size_t{1}, size_t{63}, size_t{4097}, (size_t{2} << 20) + 5}) {
        Block block = allocate_block(bytes);
        ASSERT_NE(nullptr, block.get()) << bytes;
        const auto address = reinterpret_cast<uintptr_t>(block.get());
        EXPECT_EQ(0u, address % 64) << bytes;
        EXPECT_EQ(0u, bytes >= (size_t{2} << 20) ? address % (size_t{2} << 20) : 0u) << bytes;
        std::memset(block.get(), 0xab, bytes);  // the sanitizer build checks the bounds
    }
}

TEST(TableMemoryTest, ImpossibleSizesThrowInsteadOfWrapping) {
    EXPECT_THROW(allocate_block(SIZE_MAX), std::bad_alloc);
    EXPECT_THROW(allocate_block(SIZE_MAX - 10), std::bad_alloc);
    BlockAllocator<uint64_t> allocator;
    EXPECT_THROW((void)allocator.allocate(SIZE_MAX / 4), std::bad_alloc);
}

TEST(TableMemoryTest, VectorsOnBlocksKeepTheirContentsWhileGrowingPastTwoMebibytes) {
    std::vector<uint32_t, BlockAllocator<uint32_t>> values;
    for (uint32_t i = 0; i < 700000; ++i) values.push_back(i * 7u);
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(values.data()) % 64);
    for (uint32_t i = 0; i < values.size(); i += 997) ASSERT_EQ(i * 7u, values[i]);
}

}  // namespace
}  // namespace table_store
