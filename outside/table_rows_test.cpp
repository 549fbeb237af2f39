// Keys, duplicates, updates and deletions, text keys with bytes after the terminator, and
// the insertion order of secondary-index keys.
#include <string>
#include <vector>

#include "outside/table_test_tables.h"

namespace table_store_test {
namespace {

class RowsTest : public StoreTest {
  protected:
    // Users of the drawing rows that a cursor over `index` with the key of `key` returns.
    std::vector<std::string> users_by(const char* index_name, const DrawingLockRow& key) {
        dbv_cursorstruct* cursor =
            dbv_opencursor(dbd_getvirtualindexpointer(kDrawingLocks, index_name), &key);
        std::vector<std::string> users;
        DrawingLockRow row;
        while (dbv_fetch(cursor, &row) == 0) users.emplace_back(row.UserName);
        dbv_closecursor(cursor);
        return users;
    }
};

TEST_F(RowsTest, PrimaryKeyIsUnique) {
    LockRow row = lock_row("modelA", 0, "alice");
    ASSERT_EQ(0, dbv_insert(lock_, &row));
    LockRow again = lock_row("modelA", 0, "bob");
    EXPECT_NE(0, dbv_insert(lock_, &again)) << "same model and object id";
    LockRow other_object = lock_row("modelA", 1, "bob");
    EXPECT_EQ(0, dbv_insert(lock_, &other_object));
    LockRow other_model = lock_row("modelB", 0, "bob");
    EXPECT_EQ(0, dbv_insert(lock_, &other_model));
    EXPECT_EQ(3, dbv_getrowcount(lock_));

    LockRow probe = lock_row("modelA", 0, "");
    ASSERT_EQ(0, dbv_select(lock_primary_, &probe));
    EXPECT_STREQ("alice", probe.client_name);
    EXPECT_EQ(1, probe.locked);
}

TEST_F(RowsTest, SelectMissesLeaveTheBufferAlone) {
    LockRow row = lock_row("modelA", 0, "alice");
    ASSERT_EQ(0, dbv_insert(lock_, &row));
    LockRow probe = lock_row("modelA", 7, "untouched", 42);
    EXPECT_NE(0, dbv_select(lock_primary_, &probe));
    EXPECT_STREQ("untouched", probe.client_name);
    EXPECT_EQ(42, probe.locked);
    EXPECT_NE(0, dbv_select(nullptr, &probe));
    EXPECT_NE(0, dbv_select(lock_primary_, nullptr));
    EXPECT_NE(0, dbv_insert(nullptr, &row));
    EXPECT_NE(0, dbv_insert(lock_, nullptr));
}

TEST_F(RowsTest, UpdateAndDeleteNeedAnExistingKey) {
    LockRow row = lock_row("modelA", 5, "alice", 1);
    EXPECT_NE(0, dbv_update(lock_primary_, &row)) << "nothing to update yet";
    EXPECT_NE(0, dbv_delete(lock_primary_, &row)) << "nothing to delete yet";
    ASSERT_EQ(0, dbv_insert(lock_, &row));
    row.locked = 3;
    ASSERT_EQ(0, dbv_update(lock_primary_, &row));
    LockRow probe = lock_row("modelA", 5, "");
    ASSERT_EQ(0, dbv_select(lock_primary_, &probe));
    EXPECT_EQ(3, probe.locked);

    ASSERT_EQ(0, dbv_delete(lock_primary_, &row));
    EXPECT_EQ(0, dbv_getrowcount(lock_));
    EXPECT_NE(0, dbv_select(lock_primary_, &probe));
    EXPECT_NE(0, dbv_delete(lock_primary_, &row)) << "already deleted";
    EXPECT_NE(0, dbv_update(lock_primary_, &row));

    LockRow reborn = lock_row("modelA", 5, "carol", 9);
    ASSERT_EQ(0, dbv_insert(lock_, &reborn)) << "a deleted key can be inserted again";
    ASSERT_EQ(0, dbv_select(lock_primary_, &probe));
    EXPECT_STREQ("carol", probe.client_name);
    EXPECT_EQ(9, probe.locked);
}

TEST_F(RowsTest, UpdateAndDeleteRefuseSecondaryIndexes) {
    DrawingLockRow row = drawing_row("m", "d", "u", 1);
    ASSERT_EQ(0, dbv_insert(drawings_, &row));
    dbv_indexstruct* by_user = dbd_getvirtualindexpointer(kDrawingLocks, "UserName");
    EXPECT_NE(0, dbv_update(by_user, &row));
    EXPECT_NE(0, dbv_delete(by_user, &row));
    EXPECT_EQ(1, dbv_getrowcount(drawings_));
}

TEST_F(RowsTest, TextKeysIgnoreBytesAfterTheTerminator) {
    LockRow stored = lock_row("modelA", 1, "alice");
    std::memset(stored.model_name + 7, 'x', sizeof stored.model_name - 7);  // "modelA\0xxx..."
    ASSERT_EQ(0, dbv_insert(lock_, &stored));

    LockRow clean = lock_row("modelA", 1, "bob");
    EXPECT_NE(0, dbv_insert(lock_, &clean)) << "same key despite different trailing bytes";
    LockRow probe = lock_row("modelA", 1, "");
    std::memset(probe.model_name + 7, 'y', 20);
    ASSERT_EQ(0, dbv_select(lock_primary_, &probe));
    EXPECT_STREQ("alice", probe.client_name);
    EXPECT_EQ(0, dbv_delete(lock_primary_, &clean));
    EXPECT_EQ(0, dbv_getrowcount(lock_));

    // A prefix is a different key, and so is a full field without a terminator.
    LockRow prefix = lock_row("model", 1);
    LockRow full = lock_row("", 1);
    std::memset(full.model_name, 'm', sizeof full.model_name);
    ASSERT_EQ(0, dbv_insert(lock_, &prefix));
    ASSERT_EQ(0, dbv_insert(lock_, &full));
    LockRow full_probe = full;
    full_probe.locked = 77;
    ASSERT_EQ(0, dbv_select(lock_primary_, &full_probe));
    EXPECT_EQ(full.locked, full_probe.locked);
    LockRow longer = lock_row("modelA", 1);
    EXPECT_NE(0, dbv_select(lock_primary_, &longer));
}

TEST_F(RowsTest, SecondaryKeysKeepInsertionOrder) {
    for (const char* user : {"u1", "u2", "u3", "u4", "u5"}) {
        DrawingLockRow row = drawing_row("model", "dwg", user, 1);
        ASSERT_EQ(0, dbv_insert(drawings_, &row));
        DrawingLockRow other = drawing_row("model", "other", user, 2);
        ASSERT_EQ(0, dbv_insert(drawings_, &other));
    }
    const DrawingLockRow key = drawing_row("model", "dwg", "", 0);
    EXPECT_EQ((std::vector<std::string>{"u1", "u2", "u3", "u4", "u5"}),
              users_by("ModelDrawingName", key));

    // Deleting from the middle and the ends keeps the others in order.
    for (const char* user : {"u3", "u1", "u5"}) {
        DrawingLockRow victim = drawing_row("model", "dwg", user, 1);
        ASSERT_EQ(0, dbv_delete(drawings_primary_, &victim));
    }
    EXPECT_EQ((std::vector<std::string>{"u2", "u4"}), users_by("ModelDrawingName", key));
    DrawingLockRow late = drawing_row("model", "dwg", "u0", 1);
    ASSERT_EQ(0, dbv_insert(drawings_, &late));
    EXPECT_EQ((std::vector<std::string>{"u2", "u4", "u0"}), users_by("ModelDrawingName", key));

    // select on a secondary index gives the first inserted row of the key.
    DrawingLockRow first = key;
    ASSERT_EQ(0, dbv_select(dbd_getvirtualindexpointer(kDrawingLocks, "ModelDrawingName"), &first));
    EXPECT_STREQ("u2", first.UserName);

    // A key whose rows are all gone is gone too.
    DrawingLockRow status2 = drawing_row("", "", "", 2);
    EXPECT_EQ(5u, users_by("LockStatus", status2).size());
    for (const char* user : {"u1", "u2", "u3", "u4", "u5"}) {
        DrawingLockRow row = drawing_row("model", "other", user, 2);
        ASSERT_EQ(0, dbv_delete(drawings_primary_, &row));
    }
    EXPECT_TRUE(users_by("LockStatus", status2).empty());
    EXPECT_NE(0, dbv_select(dbd_getvirtualindexpointer(kDrawingLocks, "LockStatus"), &status2));
}

TEST_F(RowsTest, UpdateMovesARowBetweenSecondaryKeysByInsertionOrder) {
    for (const char* user : {"a", "b", "c"}) {
        DrawingLockRow row = drawing_row("m", "d", user, 1, 0);
        row.ModId = 1;  // ModId is in no key
        ASSERT_EQ(0, dbv_insert(drawings_, &row));
    }
    // Changing a non-key column keeps the row where it was.
    DrawingLockRow b = drawing_row("m", "d", "b", 1, 500);
    ASSERT_EQ(0, dbv_update(drawings_primary_, &b));
    const DrawingLockRow key = drawing_row("m", "d", "", 0);
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), users_by("ModelDrawingName", key));

    // Updating "a" through a cursor into drawing "e", then "a" back: it sorts by insertion.
    DrawingLockRow e_row = drawing_row("m", "e", "late", 1);
    ASSERT_EQ(0, dbv_insert(drawings_, &e_row));
    dbv_cursorstruct* cursor =
        dbv_opencursor(drawings_primary_, &key);  // primary: (m,d,"",0): none
    DrawingLockRow got;
    EXPECT_NE(0, dbv_fetch(cursor, &got));
    dbv_closecursor(cursor);
    DrawingLockRow a_key = drawing_row("m", "d", "a", 1);
    cursor = dbv_opencursor(drawings_primary_, &a_key);
    ASSERT_EQ(0, dbv_fetch(cursor, &got));
    SET_TEXT(got.DrawingName, "e");
    ASSERT_EQ(0, dbv_updatecurrent(cursor, &got));
    dbv_closecursor(cursor);
    EXPECT_EQ((std::vector<std::string>{"a", "late"}),
              users_by("ModelDrawingName", drawing_row("m", "e", "", 0)));
    EXPECT_EQ((std::vector<std::string>{"b", "c"}), users_by("ModelDrawingName", key));
    DrawingLockRow old_key = drawing_row("m", "d", "a", 1);
    EXPECT_NE(0, dbv_select(drawings_primary_, &old_key)) << "the old primary key is gone";
}

TEST_F(RowsTest, ClearTableEmptiesEveryIndex) {
    for (int i = 0; i < 100; ++i) {
        LockRow row = lock_row(numbered("m", i % 7), i);
        ASSERT_EQ(0, dbv_insert(lock_, &row));
    }
    ASSERT_EQ(0, dbv_cleartable(lock_));
    EXPECT_EQ(0, dbv_getrowcount(lock_));
    LockRow probe = lock_row("m3", 3);
    EXPECT_NE(0, dbv_select(lock_primary_, &probe));
    ASSERT_EQ(0, dbv_insert(lock_, &probe));
    EXPECT_EQ(1, dbv_getrowcount(lock_));
    EXPECT_NE(0, dbv_cleartable(nullptr));
}

TEST_F(RowsTest, ManyRowsSurviveGrowthAndChurn) {
    constexpr int kRows = 20000;
    for (int i = 0; i < kRows; ++i) {
        LockRow row = lock_row(numbered("model", i % 50), i, "c", i);
        ASSERT_EQ(0, dbv_insert(lock_, &row));
    }
    for (int i = 0; i < kRows; i += 2) {
        LockRow row = lock_row(numbered("model", i % 50), i);
        ASSERT_EQ(0, dbv_delete(lock_primary_, &row));
    }
    EXPECT_EQ(kRows / 2, dbv_getrowcount(lock_));
    for (int i = 0; i < kRows; ++i) {
        LockRow row = lock_row(numbered("model", i % 50), i, "", -1);
        const int result = dbv_select(lock_primary_, &row);
        if (i % 2 == 0) {
            ASSERT_NE(0, result) << i;
        } else {
            ASSERT_EQ(0, result) << i;
            ASSERT_EQ(i, row.locked);
        }
    }
}

}  // namespace
}  // namespace table_store_test
