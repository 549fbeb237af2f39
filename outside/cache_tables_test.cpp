// Tests of the fast cache tables: argument checks, the cursor rules (rows inserted later
// unseen, deletes never break a cursor), unique indexes, clearing and deleting under open
// cursors, the test seams, and a randomised run against a plain list.
#include "outside/cache_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <random>
#include <vector>

#include "outside/store_seams.h"

namespace {

struct Row {
    int32_t id;
    int32_t value;
};

class CacheTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        store_seams::Reset();
        table_ = dbf_createtable(sizeof(Row), "cache");
        ASSERT_NE(nullptr, table_);
    }
    void TearDown() override {
        store_seams::Reset();
        EXPECT_EQ(0, dbf_deletetable(table_));
    }
    void Insert(std::initializer_list<int32_t> ids) {
        for (int32_t id : ids) ASSERT_EQ(0, dbf_insert(table_, Row{id, id * 10}));
    }
    static int dbf_insert(dbf_table_g* table, const Row& row) { return ::dbf_insert(table, &row); }
    // The ids a cursor hands out from here on.
    static std::vector<int32_t> Drain(dbf_cursor_g* cursor) {
        std::vector<int32_t> ids;
        Row row{};
        while (dbf_fetch(cursor, &row) == 0) ids.push_back(row.id);
        return ids;
    }
    std::vector<int32_t> Ids() {
        dbf_cursor_g* cursor = dbf_opencursor_all(table_);
        std::vector<int32_t> ids = Drain(cursor);
        dbf_closecursor(cursor);
        return ids;
    }

    dbf_table_g* table_ = nullptr;
};

TEST_F(CacheTableTest, BadArgumentsAndNullHandlesFail) {
    for (int32_t size : {0, -4, kDbfMaxRowSize + 1}) {
        EXPECT_EQ(nullptr, dbf_createtable(size, "bad")) << size;
    }
    dbf_table_g* unnamed = dbf_createtable(kDbfMaxRowSize, nullptr);
    EXPECT_EQ(kDbfMaxRowSize, dbf_getrowlength(unnamed));
    EXPECT_EQ(0, dbf_deletetable(unnamed));
    Row row{};
    dbf_cursor_g* cursor = dbf_opencursor_all(table_);
    EXPECT_NE(0, dbf_fetch(cursor, nullptr));
    dbf_closecursor(cursor);
    dbf_closecursor(nullptr);
    const int results[] = {dbf_deletetable(nullptr),    dbf_createindex(nullptr, 0, 4),
                           ::dbf_insert(nullptr, &row), ::dbf_insert(table_, nullptr),
                           dbf_cleartable(nullptr),     dbf_fetch(nullptr, &row),
                           dbf_deletecurrent(nullptr)};
    for (int result : results) EXPECT_NE(0, result);
    EXPECT_EQ(nullptr, dbf_opencursor_all(nullptr));
    EXPECT_EQ(0, dbf_getrowcount(nullptr) + dbf_getrowlength(nullptr));

    // Key ranges that are empty or leave the 8-byte row.
    const struct {
        int32_t offset, length;
    } ranges[] = {{-1, 4}, {0, 0}, {0, -1}, {5, 4}, {8, 1}, {INT32_MAX, INT32_MAX}};
    for (const auto& range : ranges) {
        EXPECT_NE(0, dbf_createindex(table_, range.offset, range.length))
            << range.offset << "+" << range.length;
    }
    EXPECT_EQ(0, dbf_createindex(table_, 4, 4));
}

TEST_F(CacheTableTest, CursorSkipsLaterRowsAndSurvivesDeletes) {
    Insert({1, 2, 3, 4});
    dbf_cursor_g* first = dbf_opencursor_all(table_);
    dbf_cursor_g* second = dbf_opencursor_all(table_);
    Row row{};
    EXPECT_NE(0, dbf_deletecurrent(first));  // nothing fetched yet
    ASSERT_EQ(0, dbf_fetch(first, &row));
    ASSERT_EQ(0, dbf_fetch(second, &row));  // both stand on 1
    EXPECT_EQ(0, dbf_deletecurrent(second));
    EXPECT_NE(0, dbf_deletecurrent(second));  // already gone
    EXPECT_NE(0, dbf_deletecurrent(first));   // gone through the other cursor
    ASSERT_EQ(0, dbf_fetch(second, &row));    // 2: the row `first` hands out next
    EXPECT_EQ(2, row.id);
    EXPECT_EQ(0, dbf_deletecurrent(second));
    Insert({9, 10});  // 9 reuses a freed slot; neither cursor sees it
    EXPECT_EQ((std::vector<int32_t>{3, 4}), Drain(first));
    EXPECT_NE(0, dbf_deletecurrent(first));  // the end leaves no row current
    EXPECT_EQ((std::vector<int32_t>{3, 4}), Drain(second));
    dbf_closecursor(second);
    dbf_closecursor(first);
    EXPECT_EQ((std::vector<int32_t>{3, 4, 9, 10}), Ids());
}

TEST_F(CacheTableTest, UniqueIndexRefusesTakenKeysUntilTheRowGoes) {
    ASSERT_EQ(0, dbf_createindex(table_, 0, 4));
    Insert({1, 2, 3});
    EXPECT_NE(0, dbf_insert(table_, Row{2, 99}));
    EXPECT_EQ(3, dbf_getrowcount(table_));
    dbf_cursor_g* cursor = dbf_opencursor_all(table_);
    Row row{};
    ASSERT_EQ(0, dbf_fetch(cursor, &row));
    ASSERT_EQ(0, dbf_fetch(cursor, &row));
    ASSERT_EQ(0, dbf_deletecurrent(cursor));  // frees key 2
    dbf_closecursor(cursor);
    EXPECT_EQ(0, dbf_insert(table_, Row{2, 99}));
    EXPECT_EQ((std::vector<int32_t>{1, 3, 2}), Ids());

    // An index over rows that already share its key (value 99) is refused and adds nothing.
    ASSERT_EQ(0, dbf_insert(table_, Row{5, 99}));
    EXPECT_NE(0, dbf_createindex(table_, 4, 4));
    EXPECT_EQ(0, dbf_insert(table_, Row{6, 99}));
}

TEST_F(CacheTableTest, ClearAndDeleteEndOpenCursors) {
    ASSERT_EQ(0, dbf_createindex(table_, 0, 4));
    Insert({1, 2, 3});
    dbf_cursor_g* cursor = dbf_opencursor_all(table_);
    Row row{};
    ASSERT_EQ(0, dbf_fetch(cursor, &row));
    ASSERT_EQ(0, dbf_cleartable(table_));
    EXPECT_EQ(0, dbf_getrowcount(table_));
    EXPECT_NE(0, dbf_deletecurrent(cursor));
    EXPECT_NE(0, dbf_fetch(cursor, &row));
    Insert({2, 1});  // keys are free again; the old cursor still sees nothing
    EXPECT_NE(0, dbf_fetch(cursor, &row));
    dbf_closecursor(cursor);
    EXPECT_EQ((std::vector<int32_t>{2, 1}), Ids());

    dbf_table_g* other = dbf_createtable(sizeof(Row), "other");
    ASSERT_EQ(0, dbf_insert(other, Row{1, 1}));
    dbf_cursor_g* orphan = dbf_opencursor_all(other);
    ASSERT_EQ(0, dbf_deletetable(other));
    EXPECT_NE(0, dbf_fetch(orphan, &row));
    EXPECT_NE(0, dbf_deletecurrent(orphan));
    dbf_closecursor(orphan);
}

TEST_F(CacheTableTest, ArmedSeamsFailTheOperationAndChangeNothing) {
    Insert({1, 2});
    store_seams::FailOperation("dbf_createtable", 1);
    EXPECT_EQ(nullptr, dbf_createtable(8, "x"));
    store_seams::FailOperation("dbf_createindex", 1);
    EXPECT_NE(0, dbf_createindex(table_, 0, 4));
    EXPECT_EQ(0, dbf_insert(table_, Row{1, 0}));  // no index was added
    store_seams::FailOperation("dbf_insert", 1);
    EXPECT_NE(0, dbf_insert(table_, Row{3, 0}));
    store_seams::FailOperation("dbf_opencursor_all", 1);
    EXPECT_EQ(nullptr, dbf_opencursor_all(table_));

    dbf_cursor_g* cursor = dbf_opencursor_all(table_);
    Row row{};
    store_seams::FailOperation("dbf_fetch", 1);
    EXPECT_NE(0, dbf_fetch(cursor, &row));
    ASSERT_EQ(0, dbf_fetch(cursor, &row));  // the failed fetch did not move the cursor
    EXPECT_EQ(1, row.id);
    store_seams::FailOperation("dbf_deletecurrent", 1);
    EXPECT_NE(0, dbf_deletecurrent(cursor));
    dbf_closecursor(cursor);
    store_seams::FailOperation("dbf_cleartable", 1);
    EXPECT_NE(0, dbf_cleartable(table_));
    EXPECT_EQ((std::vector<int32_t>{1, 2, 1}), Ids());

    dbf_table_g* other = dbf_createtable(8, "other");
    store_seams::FailOperation("dbf_deletetable", 1);
    EXPECT_NE(0, dbf_deletetable(other));
    EXPECT_EQ(0, dbf_deletetable(other));
}

// Random inserts and deletes while scanning, checked against a list after every round.
TEST_F(CacheTableTest, RandomRoundsMatchAPlainList) {
    ASSERT_EQ(0, dbf_createindex(table_, 0, 4));
    std::mt19937 random(7);
    std::list<int32_t> model;
    int32_t next_id = 1;
    for (int round = 0; round < 40; ++round) {
        const int inserts = static_cast<int>(random() % 50);
        for (int i = 0; i < inserts; ++i, ++next_id) {
            ASSERT_EQ(0, dbf_insert(table_, Row{next_id, 0}));
            model.push_back(next_id);
        }
        dbf_cursor_g* cursor = dbf_opencursor_all(table_);
        Row row{};
        auto expected = model.begin();
        while (dbf_fetch(cursor, &row) == 0) {
            ASSERT_EQ(*expected, row.id);
            if (random() % 3 == 0) {
                ASSERT_EQ(0, dbf_deletecurrent(cursor));
                expected = model.erase(expected);
            } else {
                ++expected;
            }
            if (random() % 8 == 0) {  // unseen by this cursor, but in the model's tail
                ASSERT_EQ(0, dbf_insert(table_, Row{next_id, 0}));
                model.push_back(next_id++);
            }
        }
        dbf_closecursor(cursor);
        ASSERT_EQ(std::vector<int32_t>(model.begin(), model.end()), Ids());
        ASSERT_EQ(static_cast<int32_t>(model.size()), dbf_getrowcount(table_));
    }
}

}  // namespace
