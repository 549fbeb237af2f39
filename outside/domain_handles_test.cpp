// The slot table behind the store's handles, for what the public functions cannot reach:
// handles of another kind and forged generations are refused.
#include "outside/domain_handles.h"

#include <gtest/gtest.h>

#include <string>

namespace domain_store {
namespace {

using Table = HandleTable<std::string, HandleKind::kEvent>;

TEST(HandleTableTest, ReusedSlotGetsANewHandleAndTheOldOneStaysStale) {
    Table table;
    const uint64_t old_handle = table.add(std::string(100, 'x'));
    const uint32_t slot = Table::slot_of(old_handle);
    ASSERT_TRUE(table.remove(old_handle));
    EXPECT_TRUE(table.at_slot(slot).empty());  // the value's memory went with it
    const uint64_t reused = table.add("new");
    EXPECT_EQ(slot, Table::slot_of(reused));
    EXPECT_EQ(nullptr, table.get(old_handle));
    EXPECT_FALSE(table.remove(old_handle));
    EXPECT_EQ("new", *table.get(reused));
    EXPECT_EQ(reused, table.handle_at(slot));
}

TEST(HandleTableTest, ForeignKindsAndForgedBitsAreRefused) {
    Table table;
    HandleTable<std::string, HandleKind::kMapper> other;
    const uint64_t handle = table.add("x");
    EXPECT_EQ(nullptr, table.get(other.add("y")));
    EXPECT_EQ(nullptr, other.get(handle));
    EXPECT_EQ(nullptr, table.get(0));
    const uint64_t slot_bits = handle & 0xffffffffu;
    EXPECT_EQ(nullptr, table.get(slot_bits | (2ull << 32)));  // a free slot's generation
    EXPECT_EQ(nullptr, table.get(slot_bits | (3ull << 32)));  // one never issued
    EXPECT_EQ(nullptr, table.get((handle & ~0x0fffffffull) | 0x0ffffffu));  // beyond the table
    EXPECT_EQ("x", *table.get(handle));
}

}  // namespace
}  // namespace domain_store
