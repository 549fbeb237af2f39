// Keys, duplicates, updates and deletions, text keys with bytes after the terminator, and
// the insertion order of secondary-index keys.
#include "outside/table_test_tables.h"

namespace table_store_test {
namespace {

using RowsTest = StoreTest;

TEST_F(RowsTest, PrimaryKeyIsUniqueAndMissesLeaveTheBufferAlone) {
    ASSERT_EQ(0, insert(lock_row("modelA", 0, "alice")));
    EXPECT_NE(0, insert(lock_row("modelA", 0, "bob"))) << "same model and object id";
    EXPECT_EQ(0, insert(lock_row("modelA", 1, "bob")));
    EXPECT_EQ(0, insert(lock_row("modelB", 0, "bob")));
    EXPECT_EQ(3, dbv_getrowcount(lock_));
    LockRow probe = lock_row("modelA", 0, ""), miss = lock_row("modelA", 7, "untouched", 42);
    ASSERT_EQ(0, dbv_select(lock_primary_, &probe));
    EXPECT_STREQ("alice", probe.client_name);
    EXPECT_NE(0, dbv_select(lock_primary_, &miss));
    EXPECT_STREQ("untouched", miss.client_name);
    EXPECT_EQ(42, miss.locked);
    EXPECT_NE(0, dbv_select(nullptr, &probe));
    EXPECT_NE(0, dbv_select(lock_primary_, nullptr));
    EXPECT_NE(0, dbv_insert(nullptr, &probe));
    EXPECT_NE(0, dbv_insert(lock_, nullptr));
}

TEST_F(RowsTest, UpdateAndDeleteNeedAnExistingKeyAndThePrimaryIndex) {
    LockRow row = lock_row("modelA", 5, "alice", 1), probe = lock_row("modelA", 5, "");
    EXPECT_NE(0, dbv_update(lock_primary_, &row)) << "nothing to update yet";
    EXPECT_NE(0, erase(row)) << "nothing to delete yet";
    ASSERT_EQ(0, insert(row));
    row.locked = 3;
    ASSERT_EQ(0, dbv_update(lock_primary_, &row));
    ASSERT_EQ(0, dbv_select(lock_primary_, &probe));
    EXPECT_EQ(3, probe.locked);
    ASSERT_EQ(0, erase(row));
    EXPECT_EQ(0, dbv_getrowcount(lock_));
    EXPECT_NE(0, dbv_select(lock_primary_, &probe));
    EXPECT_NE(0, erase(row)) << "already deleted";
    EXPECT_NE(0, dbv_update(lock_primary_, &row));
    ASSERT_EQ(0, insert(lock_row("modelA", 5, "carol"))) << "a deleted key can be inserted again";
    ASSERT_EQ(0, dbv_select(lock_primary_, &probe));
    EXPECT_STREQ("carol", probe.client_name);

    DrawingLockRow drawing = drawing_row("m", "d", "u", 1);
    ASSERT_EQ(0, insert(drawing));
    dbv_indexstruct* by_user = dbd_getvirtualindexpointer(kDrawingLocks, "UserName");
    EXPECT_NE(0, dbv_update(by_user, &drawing));
    EXPECT_NE(0, dbv_delete(by_user, &drawing));
    EXPECT_EQ(1, dbv_getrowcount(drawings_));
}

TEST_F(RowsTest, TextKeysIgnoreBytesAfterTheTerminator) {
    LockRow stored = lock_row("modelA", 1, "alice"), probe = lock_row("modelA", 1, "");
    std::memset(stored.model_name + 7, 'x', sizeof stored.model_name - 7);  // "modelA\0xxx..."
    ASSERT_EQ(0, insert(stored));
    EXPECT_NE(0, insert(lock_row("modelA", 1, "bob"))) << "same key despite the trailing bytes";
    std::memset(probe.model_name + 7, 'y', 20);
    ASSERT_EQ(0, dbv_select(lock_primary_, &probe));
    EXPECT_STREQ("alice", probe.client_name);
    EXPECT_EQ(0, erase(lock_row("modelA", 1)));
    EXPECT_EQ(0, dbv_getrowcount(lock_));

    // A prefix is a different key, and so is a full field without a terminator.
    LockRow full = lock_row("", 1), longer = lock_row("modelA", 1);
    std::memset(full.model_name, 'm', sizeof full.model_name);
    ASSERT_EQ(0, insert(lock_row("model", 1)));
    ASSERT_EQ(0, insert(full));
    LockRow full_probe = full;
    full_probe.locked = 77;
    ASSERT_EQ(0, dbv_select(lock_primary_, &full_probe));
    EXPECT_EQ(full.locked, full_probe.locked);
    EXPECT_NE(0, dbv_select(lock_primary_, &longer));
}

TEST_F(RowsTest, SecondaryKeysKeepInsertionOrder) {
    for (const char* user : {"u1", "u2", "u3", "u4", "u5"}) {
        ASSERT_EQ(0, insert(drawing_row("m", "dwg", user, 1)));
        ASSERT_EQ(0, insert(drawing_row("m", "o", user, 2)));
    }
    EXPECT_EQ((Names{"u1", "u2", "u3", "u4", "u5"}), users_of("dwg"));
    for (const char* user : {"u3", "u1", "u5"}) {  // the middle and both ends
        ASSERT_EQ(0, erase(drawing_row("m", "dwg", user, 1)));
    }
    EXPECT_EQ((Names{"u2", "u4"}), users_of("dwg"));
    insert_drawings("dwg", {"u0"});
    EXPECT_EQ((Names{"u2", "u4", "u0"}), users_of("dwg"));
    DrawingLockRow first = drawing_row("m", "dwg", "", 0);
    ASSERT_EQ(0, dbv_select(dbd_getvirtualindexpointer(kDrawingLocks, "ModelDrawingName"), &first));
    EXPECT_STREQ("u2", first.UserName) << "select gives the first inserted row of the key";

    // A key whose rows are all gone is gone too.
    dbv_indexstruct* by_status = dbd_getvirtualindexpointer(kDrawingLocks, "LockStatus");
    DrawingLockRow status2 = drawing_row("", "", "", 2);
    ASSERT_EQ(0, dbv_select(by_status, &status2));
    for (const char* user : {"u1", "u2", "u3", "u4", "u5"}) {
        ASSERT_EQ(0, erase(drawing_row("m", "o", user, 2)));
    }
    EXPECT_NE(0, dbv_select(by_status, &status2));
    dbv_cursorstruct* cursor = dbv_opencursor(by_status, &status2);
    EXPECT_EQ(Names{}, users(cursor));
    dbv_closecursor(cursor);
}

TEST_F(RowsTest, UpdateMovesARowBetweenSecondaryKeysByInsertionOrder) {
    insert_drawings("d", {"a", "b", "c"});
    DrawingLockRow b = drawing_row("m", "d", "b", 1, 500);
    ASSERT_EQ(0, dbv_update(drawings_primary_, &b));  // TimeStamp is in no key: b stays put
    EXPECT_EQ((Names{"a", "b", "c"}), users_of("d"));

    insert_drawings("e", {"late"});
    DrawingLockRow a_key = drawing_row("m", "d", "a", 1), got;
    dbv_cursorstruct* cursor = dbv_opencursor(drawings_primary_, &a_key);
    ASSERT_EQ(0, dbv_fetch(cursor, &got));
    SET_TEXT(got.DrawingName, "e");
    ASSERT_EQ(0, dbv_updatecurrent(cursor, &got));
    dbv_closecursor(cursor);
    EXPECT_EQ((Names{"a", "late"}), users_of("e"));
    EXPECT_EQ((Names{"b", "c"}), users_of("d"));
    EXPECT_NE(0, dbv_select(drawings_primary_, &a_key)) << "the old primary key is gone";
}

TEST_F(RowsTest, ManyRowsSurviveGrowthAndChurn) {
    constexpr int kRows = 20000;
    for (int i = 0; i < kRows; ++i)
        ASSERT_EQ(0, insert(lock_row(numbered("m", i % 50), i, "c", i)));
    for (int i = 0; i < kRows; i += 2) ASSERT_EQ(0, erase(lock_row(numbered("m", i % 50), i)));
    EXPECT_EQ(kRows / 2, dbv_getrowcount(lock_));
    for (int i = 0; i < kRows; ++i) {
        LockRow row = lock_row(numbered("m", i % 50), i, "", -1);
        ASSERT_EQ(i % 2 != 0, dbv_select(lock_primary_, &row) == 0) << i;
        EXPECT_EQ(i % 2 != 0 ? i : -1, row.locked) << i;
    }
}

}  // namespace
}  // namespace table_store_test
