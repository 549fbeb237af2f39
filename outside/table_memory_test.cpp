// The table store's large blocks: alignment of small and huge-page sized blocks, every byte
// usable, and vectors on the block allocator keeping their contents as they grow.
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
        if (bytes >= (size_t{2} << 20)) {
            EXPECT_EQ(0u, address % (size_t{2} << 20));
        }
        std::memset(block.get(), 0xab, bytes);  // the sanitizer build checks the bounds
        if (bytes > 0) {
            EXPECT_EQ(0xab, block[bytes - 1]);
        }
    }
}

TEST(TableMemoryTest, ImpossibleSizesThrowInsteadOfWrapping) {
    EXPECT_THROW(allocate_block(SIZE_MAX), std::bad_alloc);
    EXPECT_THROW(allocate_block(SIZE_MAX - 10), std::bad_alloc);
    BlockAllocator<uint64_t> allocator;
    EXPECT_THROW((void)allocator.allocate(SIZE_MAX / 4), std::bad_alloc);
}

TEST(TableMemoryTest, VectorsOnBlocksKeepTheirContentsWhileGrowing) {
    std::vector<uint32_t, BlockAllocator<uint32_t>> values;
    for (uint32_t i = 0; i < 700000; ++i) values.push_back(i * 7u);  // crosses 2 MiB
    ASSERT_EQ(700000u, values.size());
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(values.data()) % 64);
    for (uint32_t i = 0; i < values.size(); i += 997) ASSERT_EQ(i * 7u, values[i]);
    EXPECT_EQ(699999u * 7u, values.back());
}

}  // namespace
}  // namespace table_store
