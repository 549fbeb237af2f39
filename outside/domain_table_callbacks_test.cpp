// The undo log and its save points, the table callbacks, statistics, the table list of the
// current database and tables made and dropped by name.
#include <cmath>

#include "outside/domain_table_test_support.h"

namespace domain_table_test {
namespace {

using CallbackTest = DomainTableTest;

struct Recorded {
    int32_t operation;
    int32_t object_id;  // of the new row, else of the old one
    bool has_new;
    bool has_old;
    bool operator==(const Recorded&) const = default;
};
std::vector<Recorded> g_notified;
int32_t g_refused_object = -1;

Recorded record(const void* new_row, const void* old_row, int32_t operation) {
    const auto* row = static_cast<const LockRow*>(new_row != nullptr ? new_row : old_row);
    return Recorded{operation, row->object_id, new_row != nullptr, old_row != nullptr};
}

int32_t refuse_one(dbv_tablestruct*, const void* new_row, const void* old_row, int32_t operation,
                   int32_t row_length) {
    EXPECT_EQ(static_cast<int32_t>(sizeof(LockRow)), row_length);
    return record(new_row, old_row, operation).object_id == g_refused_object ? 1 : 0;
}

int32_t notify(dbv_tablestruct*, const void* new_row, const void* old_row, int32_t operation,
               int32_t) {
    g_notified.push_back(record(new_row, old_row, operation));
    return 1;  // ignored
}

TEST_F(CallbackTest, DoCallbackRefusesAndNotifySeesWhatHappened) {
    for (const bool domain : {false, true}) {
        g_notified.clear();
        if (domain) make_domain_table();
        ASSERT_EQ(0, dbv_setdocallback(lock_, refuse_one));
        ASSERT_EQ(0, dbv_setnotifycallback(lock_, notify));
        g_refused_object = 2;
        ASSERT_EQ(0, insert(lock_row("m", 1)));
        EXPECT_NE(0, insert(lock_row("m", 2)));
        const LockRow changed = lock_row("m", 1, "c", 7);
        ASSERT_EQ(0, dbv_update(lock_primary_, &changed));
        g_refused_object = 1;
        EXPECT_NE(0, erase(lock_row("m", 1)));
        EXPECT_NE(0, dbv_cleartable(lock_));  // one refusal keeps every row
        EXPECT_EQ((Ids{1}), lock_ids());
        g_refused_object = -1;
        ASSERT_EQ(0, dbv_cleartable(lock_));
        EXPECT_EQ((std::vector<Recorded>{{DBV_OP_INSERT, 1, true, false},
                                         {DBV_OP_UPDATE, 1, true, true},
                                         {DBV_OP_DELETE, 1, false, true}}),
                  g_notified);
        ASSERT_EQ(0, dbv_setdocallback(lock_, nullptr));
        ASSERT_EQ(0, dbv_setnotifycallback(lock_, nullptr));
        ASSERT_EQ(0, insert(lock_row("m", 2)));
        EXPECT_EQ(3u, g_notified.size());
        ASSERT_EQ(0, dbv_cleartable(lock_));
    }
    EXPECT_NE(0, dbv_setdocallback(nullptr, refuse_one));
    EXPECT_NE(0, dbv_setnotifycallback(nullptr, notify));
}

TEST_F(CallbackTest, UndoLogGrowsWhileLoggingAndClearsToASavePoint) {
    const int64_t start = dbv_getundologlength();
    dbv_savepoint_s* at_start = dbv_savepoint();
    ASSERT_NE(nullptr, at_start);
    insert_locks(2);  // log mode off: nothing logged
    EXPECT_EQ(start, dbv_getundologlength());
    ASSERT_EQ(0, dbv_settablelogmode(lock_, true));
    ASSERT_EQ(0, insert(lock_row("m", 2)));
    const LockRow changed = lock_row("m", 2, "c", 5);
    ASSERT_EQ(0, dbv_update(lock_primary_, &changed));
    ASSERT_EQ(0, erase(lock_row("m", 0)));
    EXPECT_NE(0, erase(lock_row("m", 0)));  // a failed change logs nothing
    EXPECT_EQ(start + 3, dbv_getundologlength());
    dbv_savepoint_s* middle = dbv_savepoint();
    ASSERT_EQ(0, dbv_cleartable(lock_));  // two rows left: two entries
    EXPECT_EQ(start + 5, dbv_getundologlength());

    ASSERT_EQ(0, dbv_clearlogtosavepoint(middle));
    EXPECT_EQ(2, dbv_getundologlength());
    ASSERT_EQ(0, dbv_clearlogtosavepoint(at_start));  // already cleared past it
    EXPECT_EQ(2, dbv_getundologlength());
    ASSERT_EQ(0, dbv_settablelogmode(lock_, false));
    ASSERT_EQ(0, insert(lock_row("m", 9)));
    EXPECT_EQ(2, dbv_getundologlength());
    dbv_savepoint_s* end = dbv_savepoint();
    ASSERT_EQ(0, dbv_clearlogtosavepoint(end));
    EXPECT_EQ(0, dbv_getundologlength());
    for (dbv_savepoint_s* s : {at_start, middle, end}) EXPECT_EQ(0, dbv_deletesavepoint(s));
    EXPECT_NE(0, dbv_deletesavepoint(end));
    EXPECT_NE(0, dbv_clearlogtosavepoint(end));
    EXPECT_NE(0, dbv_settablelogmode(nullptr, true));
}

TEST_F(CallbackTest, TableStatistics) {
    make_domain_table(3);
    ASSERT_EQ(0, erase(lock_row("m", 0)));
    const auto value = [](dbv_statistics_s* stats, const char* name) {
        double v = -1;
        EXPECT_EQ(0, dbv_getstatistics(stats, name, &v)) << name;
        return v;
    };
    dbv_statistics_s* rows = dbv_gettablestatistics(lock_, 0);
    dbv_statistics_s* all = dbv_gettablestatistics(lock_, 1);
    ASSERT_NE(nullptr, rows);
    ASSERT_NE(nullptr, all);
    // The first record block holds what fits into 4096 bytes of records of 192 bytes (16 of
    // bookkeeping, the 172 of the row, padding): "Rows" counts those places.
    const double slots = std::floor(4096.0 / 192);
    EXPECT_EQ(slots, value(rows, "Rows"));
    EXPECT_DOUBLE_EQ(2, value(rows, "Rows") * value(rows, "RowsInUseRatio"));
    EXPECT_DOUBLE_EQ(3, value(all, "Rows") * value(all, "RowsInUseRatio"));  // with the history
    EXPECT_DOUBLE_EQ(2 / slots, value(rows, "RowsInUseRatio"));
    EXPECT_DOUBLE_EQ(slots * 192, value(rows, "Bytes"));
    EXPECT_DOUBLE_EQ(2 * 172 / (slots * 192), value(rows, "BytesInUseRatio"));
    EXPECT_GT(value(all, "Bytes"), value(rows, "Bytes"));
    EXPECT_GT(value(all, "BytesInUseRatio"), 0);
    EXPECT_EQ(nullptr, dbv_gettablestatistics(lock_, 2));
    EXPECT_EQ(nullptr, dbv_gettablestatistics(nullptr, 0));
    dbv_deletestatistics(rows);
    dbv_deletestatistics(all);

    dbv_statistics_s* domain = nullptr;
    ASSERT_EQ(0, dbv_getdomainstatistics(domain_, &domain));
    EXPECT_EQ(1, value(domain, "ConnectedTables"));
    EXPECT_EQ(2, value(domain, "ConnectedRows"));
    EXPECT_EQ(1, value(domain, "ConnectedInvisibleRows"));
    dbv_deletestatistics(domain);
}

TEST_F(CallbackTest, TableListIsCappedAtMaxCount) {
    dbv_tablestruct* tables[4] = {nullptr, nullptr, nullptr, nullptr};
    EXPECT_EQ(0, dbv_getdatabasetables(tables, 0));
    EXPECT_EQ(0, dbv_getdatabasetables(tables, -3));
    EXPECT_EQ(nullptr, tables[0]);
    EXPECT_EQ(2, dbv_getdatabasetables(tables, 2));
    EXPECT_EQ(dbd_getvirtualtablepointer(table_store_test::kCommonModel), tables[0]);
    EXPECT_EQ(lock_, tables[1]);
    EXPECT_EQ(nullptr, tables[2]);
    EXPECT_EQ(3, dbv_getdatabasetables(tables, 4));
    EXPECT_EQ(drawings_, tables[2]);
    EXPECT_EQ(nullptr, tables[3]);
    ASSERT_EQ(0, dbd_dropvirtualdatabase(db_name_.c_str()));
    EXPECT_EQ(-1, dbv_getdatabasetables(tables, 4));
}

TEST_F(CallbackTest, TablesMadeAndDroppedByName) {
    ASSERT_TRUE(dbv::DropVirtualTable("lock"));
    EXPECT_EQ(nullptr, dbd_getvirtualtablepointer(table_store_test::kLock));
    EXPECT_FALSE(dbv::DropVirtualTable("lock"));
    EXPECT_FALSE(dbv::DropVirtualTable(nullptr));
    ASSERT_TRUE(dbv::CreateVirtualTable("lock", 77, 100, 100, 0));
    EXPECT_FALSE(dbv::CreateVirtualTable("lock", 77, 1, 1, 1));  // number taken
    EXPECT_FALSE(dbv::CreateVirtualTable("no such table", 78, 1, 1, 1));
    EXPECT_EQ(0, dbv_getrowcount(dbd_getvirtualtablepointer(77)));
    EXPECT_STREQ("lock", dbv::GetVirtualTableName(77));
}

}  // namespace
}  // namespace domain_table_test
