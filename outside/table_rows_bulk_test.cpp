// Filling a table in two steps (rows first, index once): the rows come out findable, in
// table order and in their secondary chains; a repeated key anywhere takes the new rows
// out again and leaves the rows present findable; single-number keys hash without clashes.
#include <set>

#include "outside/table_key.h"
#include "outside/table_store_internal.h"
#include "outside/table_test_tables.h"

namespace table_store_test {
namespace {

using table_store::kNoSlot;
using table_store::RowTable;

class BulkRowsTest : public StoreTest {
  protected:
    // A fresh row table of the drawing-lock layout (a primary and four secondary indexes)
    // holding the drawings ("present", user "u<i>") for i < present.
    RowTable drawing_table(int present) {
        RowTable table(drawings_->layout);
        for (int i = 0; i < present; ++i) {
            const DrawingLockRow row = drawing_row("m", "present", numbered("u", i), 1);
            EXPECT_TRUE(table.insert(&row));
        }
        return table;
    }
    static std::vector<DrawingLockRow> new_rows(int count) {
        std::vector<DrawingLockRow> rows;
        for (int i = 0; i < count; ++i) {
            rows.push_back(drawing_row("m", numbered("d", i % 7), numbered("user", i), 1, i));
        }
        return rows;
    }
    static bool append(RowTable& table, const std::vector<DrawingLockRow>& rows) {
        return table.append_unindexed(reinterpret_cast<const unsigned char*>(rows.data()),
                                      rows.size());
    }
    // The time stamps along the chain of rows with the model and drawing of `key`.
    static std::vector<int32_t> drawing_chain(const RowTable& table, const DrawingLockRow& key) {
        std::vector<int32_t> stamps;
        table.for_each_with_key(1, &key, [&](uint32_t slot) {
            stamps.push_back(reinterpret_cast<const DrawingLockRow*>(table.row(slot))->TimeStamp);
        });
        return stamps;
    }
    static std::vector<std::string> users_in_order(const RowTable& table) {
        std::vector<std::string> users;
        for (uint32_t s = table.first(); s != kNoSlot; s = table.next(s)) {
            users.emplace_back(reinterpret_cast<const DrawingLockRow*>(table.row(s))->UserName);
        }
        return users;
    }
};

TEST_F(BulkRowsTest, AppendedRowsAreIndexedOnceAndKeepTheirOrder) {
    RowTable table = drawing_table(3);
    const std::vector<DrawingLockRow> rows = new_rows(5000);
    table.reserve(rows.size());
    ASSERT_TRUE(append(table, {rows.begin(), rows.begin() + 2000}));
    ASSERT_TRUE(append(table, {rows.begin() + 2000, rows.end()}));
    ASSERT_TRUE(table.index_appended());
    EXPECT_EQ(5003, table.row_count());
    for (const DrawingLockRow& row : rows) {
        const uint32_t slot = table.find(0, &row);
        ASSERT_NE(kNoSlot, slot);
        EXPECT_EQ(row.TimeStamp,
                  reinterpret_cast<const DrawingLockRow*>(table.row(slot))->TimeStamp);
    }
    const std::vector<std::string> users = users_in_order(table);
    EXPECT_EQ((std::vector<std::string>{"u0", "u1", "u2", "user0"}),
              std::vector<std::string>(users.begin(), users.begin() + 4));
    EXPECT_EQ("user4999", users.back());
    // Drawing "d3" holds every seventh row from 3 on, in insertion order.
    const std::vector<int32_t> chain = drawing_chain(table, drawing_row("m", "d3", "", 0));
    ASSERT_EQ(714u, chain.size());
    EXPECT_EQ(3, chain.front());
    EXPECT_EQ(4994, chain.back());
    EXPECT_TRUE(std::is_sorted(chain.begin(), chain.end()));
    EXPECT_TRUE(table.index_appended()) << "nothing pending: nothing to do";
}

TEST_F(BulkRowsTest, ARepeatedKeyTakesTheNewRowsOutAgain) {
    struct Case {
        const char* name;
        DrawingLockRow repeated;  // appended last, after 300 fresh rows
    };
    const Case cases[] = {
        {"repeats a present row", drawing_row("m", "present", "u1", 1, 77)},
        {"repeats an appended row", drawing_row("m", "d5", "user5", 1, 77)},
    };
    for (const Case& c : cases) {
        RowTable table = drawing_table(3);
        std::vector<DrawingLockRow> rows = new_rows(300);
        rows.push_back(c.repeated);
        ASSERT_TRUE(append(table, rows)) << c.name;
        EXPECT_FALSE(table.index_appended()) << c.name;
        EXPECT_EQ(3, table.row_count()) << c.name;
        EXPECT_EQ((std::vector<std::string>{"u0", "u1", "u2"}), users_in_order(table)) << c.name;
        const DrawingLockRow present = drawing_row("m", "present", "u2", 1);
        EXPECT_NE(kNoSlot, table.find(0, &present)) << c.name;
        EXPECT_EQ(kNoSlot, table.find(0, &rows[0])) << c.name;
        EXPECT_TRUE(drawing_chain(table, drawing_row("m", "d5", "", 0)).empty()) << c.name;
        EXPECT_EQ(3u, drawing_chain(table, present).size()) << c.name;
        // The table works on as before: the refused rows can come in one by one.
        EXPECT_TRUE(table.insert(&rows[0])) << c.name;
        EXPECT_EQ(4, table.row_count()) << c.name;
    }
}

TEST_F(BulkRowsTest, SingleNumberKeysHashWithoutClashes) {
    // The low 16, 32 and 64 bits of i * 65537 (an odd factor: distinct in 32 and 64 bits).
    const std::vector<table_store::KeyPart> as_int32 = {{0, 4, false}};
    const std::vector<table_store::KeyPart> as_int64 = {{0, 8, false}};
    const std::vector<table_store::KeyPart> as_int16 = {{0, 2, false}};
    std::set<uint64_t> hashes32, hashes64, hashes16;
    unsigned char row[8];
    for (uint32_t i = 0; i < 100000; ++i) {
        const uint64_t value = uint64_t{i} * 0x10001u;
        std::memcpy(row, &value, 8);
        hashes32.insert(table_store::key_hash(as_int32, row));
        hashes64.insert(table_store::key_hash(as_int64, row));
        hashes16.insert(table_store::key_hash(as_int16, row));
    }
    EXPECT_EQ(100000u, hashes64.size());
    EXPECT_EQ(100000u, hashes32.size());
    EXPECT_EQ(65536u, hashes16.size()) << "every 16-bit value once";
}

}  // namespace
}  // namespace table_store_test
