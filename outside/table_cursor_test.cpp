// Cursors under change: deleting the current or the next row, updating through the
// cursor, clearing the table or dropping its database while the cursor is open.
#include <string>
#include <vector>

#include "outside/table_test_tables.h"

namespace table_store_test {
namespace {

class CursorTest : public StoreTest {
  protected:
    void insert_locks(int count) {
        for (int i = 0; i < count; ++i) {
            LockRow row = lock_row("m", i, "c", i);
            ASSERT_EQ(0, dbv_insert(lock_, &row));
        }
    }
    std::vector<int32_t> object_ids() {
        dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
        std::vector<int32_t> ids;
        LockRow row;
        while (dbv_fetch(cursor, &row) == 0) ids.push_back(row.object_id);
        dbv_closecursor(cursor);
        return ids;
    }
    std::vector<std::string> fetch_users(dbv_cursorstruct* cursor) {
        std::vector<std::string> users;
        DrawingLockRow row;
        while (dbv_fetch(cursor, &row) == 0) users.emplace_back(row.UserName);
        return users;
    }
};

TEST_F(CursorTest, AllRowsComeInInsertionOrderAndLaterInsertsStayUnseen) {
    insert_locks(5);
    LockRow gone = lock_row("m", 2);
    ASSERT_EQ(0, dbv_delete(lock_primary_, &gone));
    LockRow refill = lock_row("m", 42);  // may reuse the freed slot, still comes last
    ASSERT_EQ(0, dbv_insert(lock_, &refill));
    EXPECT_EQ((std::vector<int32_t>{0, 1, 3, 4, 42}), object_ids());

    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    LockRow row;
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    LockRow later = lock_row("m", 99);
    ASSERT_EQ(0, dbv_insert(lock_, &later));
    std::vector<int32_t> seen{row.object_id};
    while (dbv_fetch(cursor, &row) == 0) seen.push_back(row.object_id);
    EXPECT_EQ((std::vector<int32_t>{0, 1, 3, 4, 42}), seen);
    EXPECT_NE(0, dbv_fetch(cursor, &row)) << "stays at the end";
    dbv_closecursor(cursor);
}

TEST_F(CursorTest, DeletingTheCurrentRowWhileScanning) {
    insert_locks(6);
    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    EXPECT_NE(0, dbv_deletecurrent(cursor)) << "nothing fetched yet";
    LockRow row;
    std::vector<int32_t> seen;
    while (dbv_fetch(cursor, &row) == 0) {
        seen.push_back(row.object_id);
        if (row.object_id % 2 == 0) {
            ASSERT_EQ(0, dbv_deletecurrent(cursor));
            EXPECT_NE(0, dbv_deletecurrent(cursor)) << "already gone";
            EXPECT_NE(0, dbv_updatecurrent(cursor, &row)) << "gone rows cannot be updated";
        }
    }
    dbv_closecursor(cursor);
    EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3, 4, 5}), seen);
    EXPECT_EQ((std::vector<int32_t>{1, 3, 5}), object_ids());
    LockRow zero = lock_row("m", 0);
    EXPECT_EQ(0, dbv_insert(lock_, &zero)) << "the deleted key is free again";
}

TEST_F(CursorTest, DeletingTheNextRowAndOthersDirectly) {
    insert_locks(6);
    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    LockRow row;
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    ASSERT_EQ(0, row.object_id);
    LockRow next = lock_row("m", 1);
    ASSERT_EQ(0, dbv_delete(lock_primary_, &next));
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    EXPECT_EQ(2, row.object_id);
    // Deleting the current row directly, and the one after it, then moving on.
    LockRow current = lock_row("m", 2);
    LockRow after = lock_row("m", 3);
    ASSERT_EQ(0, dbv_delete(lock_primary_, &current));
    ASSERT_EQ(0, dbv_delete(lock_primary_, &after));
    EXPECT_NE(0, dbv_deletecurrent(cursor));
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    EXPECT_EQ(4, row.object_id);
    dbv_closecursor(cursor);
    EXPECT_EQ((std::vector<int32_t>{0, 4, 5}), object_ids());
}

TEST_F(CursorTest, TwoCursorsStandingOnTheSameDeletedRow) {
    insert_locks(3);
    dbv_cursorstruct* a = dbv_opencursor_all(lock_);
    dbv_cursorstruct* b = dbv_opencursor_all(lock_);
    LockRow row;
    ASSERT_EQ(0, dbv_fetch(a, &row));
    ASSERT_EQ(0, dbv_fetch(b, &row));
    ASSERT_EQ(0, dbv_deletecurrent(a));
    EXPECT_NE(0, dbv_deletecurrent(b));
    dbv_closecursor(a);
    ASSERT_EQ(0, dbv_fetch(b, &row));
    EXPECT_EQ(1, row.object_id);
    dbv_closecursor(b);
    EXPECT_EQ((std::vector<int32_t>{1, 2}), object_ids());
}

TEST_F(CursorTest, UpdateCurrentKeepsTheScanGoing) {
    insert_locks(4);
    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    LockRow row;
    std::vector<int32_t> seen;
    while (dbv_fetch(cursor, &row) == 0) {
        seen.push_back(row.object_id);
        row.locked = 100 + row.object_id;
        ASSERT_EQ(0, dbv_updatecurrent(cursor, &row));
    }
    dbv_closecursor(cursor);
    EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3}), seen);
    LockRow probe = lock_row("m", 2);
    ASSERT_EQ(0, dbv_select(lock_primary_, &probe));
    EXPECT_EQ(102, probe.locked);

    // A new primary key is accepted when free and refused when another row holds it.
    cursor = dbv_opencursor_all(lock_);
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    row.object_id = 3;
    EXPECT_NE(0, dbv_updatecurrent(cursor, &row));
    row.object_id = 50;
    EXPECT_EQ(0, dbv_updatecurrent(cursor, &row));
    EXPECT_NE(0, dbv_updatecurrent(nullptr, &row));
    EXPECT_NE(0, dbv_updatecurrent(cursor, nullptr));
    dbv_closecursor(cursor);
    EXPECT_EQ((std::vector<int32_t>{50, 1, 2, 3}), object_ids());
}

TEST_F(CursorTest, IndexCursorSkipsDeletedRowsAndRowsUpdatedOutOfItsKey) {
    for (const char* user : {"a", "b", "c", "d"}) {
        DrawingLockRow row = drawing_row("m", "dwg", user, 1);
        ASSERT_EQ(0, dbv_insert(drawings_, &row));
    }
    dbv_indexstruct* by_drawing = dbd_getvirtualindexpointer(kDrawingLocks, "ModelDrawingName");
    const DrawingLockRow key = drawing_row("m", "dwg", "", 0);
    dbv_cursorstruct* cursor = dbv_opencursor(by_drawing, &key);
    DrawingLockRow row;
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    EXPECT_STREQ("a", row.UserName);
    ASSERT_EQ(0, dbv_deletecurrent(cursor));  // the current row
    DrawingLockRow b = drawing_row("m", "dwg", "b", 1);
    ASSERT_EQ(0, dbv_delete(drawings_primary_, &b));  // the next row
    DrawingLockRow c = drawing_row("m", "other", "c", 1);
    DrawingLockRow c_old = drawing_row("m", "dwg", "c", 1);
    dbv_cursorstruct* by_pk = dbv_opencursor(drawings_primary_, &c_old);
    DrawingLockRow tmp;
    ASSERT_EQ(0, dbv_fetch(by_pk, &tmp));
    ASSERT_EQ(0, dbv_updatecurrent(by_pk, &c));  // moves "c" out of the key
    dbv_closecursor(by_pk);
    DrawingLockRow e = drawing_row("m", "dwg", "e", 1);
    ASSERT_EQ(0, dbv_insert(drawings_, &e));  // inserted after the open
    EXPECT_EQ((std::vector<std::string>{"d"}), fetch_users(cursor));
    dbv_closecursor(cursor);

    cursor = dbv_opencursor(by_drawing, &key);
    EXPECT_EQ((std::vector<std::string>{"d", "e"}), fetch_users(cursor));
    dbv_closecursor(cursor);
    EXPECT_EQ(nullptr, dbv_opencursor(nullptr, &key));
    EXPECT_EQ(nullptr, dbv_opencursor(by_drawing, nullptr));
    EXPECT_EQ(nullptr, dbv_opencursor_all(nullptr));
}

TEST_F(CursorTest, OpenCursorsSurviveTheRowStorageGrowing) {
    // Rows live in one block that is copied to a larger one as the table grows; cursors
    // name rows by slot, so they must carry on across many such moves.
    for (const char* user : {"a", "b", "c"}) {
        DrawingLockRow row = drawing_row("m", "dwg", user, 1);
        ASSERT_EQ(0, dbv_insert(drawings_, &row));
    }
    dbv_indexstruct* by_drawing = dbd_getvirtualindexpointer(kDrawingLocks, "ModelDrawingName");
    const DrawingLockRow key = drawing_row("m", "dwg", "", 0);
    dbv_cursorstruct* by_key = dbv_opencursor(by_drawing, &key);
    dbv_cursorstruct* all = dbv_opencursor_all(drawings_);
    DrawingLockRow row;
    ASSERT_EQ(0, dbv_fetch(all, &row));
    EXPECT_STREQ("a", row.UserName);
    ASSERT_EQ(0, dbv_fetch(by_key, &row));
    EXPECT_STREQ("a", row.UserName);

    for (int i = 0; i < 5000; ++i) {  // many times the first block
        DrawingLockRow more = drawing_row("m", i % 2 == 0 ? "dwg" : "x", numbered("u", i), 1);
        ASSERT_EQ(0, dbv_insert(drawings_, &more));
    }
    DrawingLockRow b = drawing_row("m", "dwg", "b", 1);
    ASSERT_EQ(0, dbv_delete(drawings_primary_, &b));
    ASSERT_EQ(0, dbv_deletecurrent(all));  // "a", fetched before the growth

    EXPECT_EQ((std::vector<std::string>{"c"}), fetch_users(all)) << "later inserts unseen";
    EXPECT_EQ((std::vector<std::string>{"c"}), fetch_users(by_key));
    dbv_closecursor(all);
    dbv_closecursor(by_key);

    by_key = dbv_opencursor(by_drawing, &key);
    const std::vector<std::string> users = fetch_users(by_key);
    dbv_closecursor(by_key);
    ASSERT_EQ(2501u, users.size());
    EXPECT_EQ("c", users[0]);
    EXPECT_EQ("u0", users[1]);
    EXPECT_EQ("u4998", users.back());
    EXPECT_EQ(5001, dbv_getrowcount(drawings_));
}

TEST_F(CursorTest, DeletingEveryRowOfAKeyThroughTheCursor) {
    for (int i = 0; i < 5; ++i) {
        DrawingLockRow row = drawing_row("m", "d", numbered("u", i), i % 2);
        ASSERT_EQ(0, dbv_insert(drawings_, &row));
    }
    const DrawingLockRow key = drawing_row("", "", "", 1);
    dbv_cursorstruct* cursor =
        dbv_opencursor(dbd_getvirtualindexpointer(kDrawingLocks, "LockStatus"), &key);
    DrawingLockRow row;
    int deleted = 0;
    while (dbv_fetch(cursor, &row) == 0) {
        ASSERT_EQ(1, row.LockStatus);
        ASSERT_EQ(0, dbv_deletecurrent(cursor));
        ++deleted;
    }
    dbv_closecursor(cursor);
    EXPECT_EQ(2, deleted);
    EXPECT_EQ(3, dbv_getrowcount(drawings_));
}

TEST_F(CursorTest, ClearTableWhileOpenEndsTheCursor) {
    insert_locks(4);
    dbv_cursorstruct* all = dbv_opencursor_all(lock_);
    LockRow key = lock_row("m", 3);
    dbv_cursorstruct* one = dbv_opencursor(lock_primary_, &key);
    LockRow row;
    ASSERT_EQ(0, dbv_fetch(all, &row));
    ASSERT_EQ(0, dbv_cleartable(lock_));
    EXPECT_NE(0, dbv_deletecurrent(all));
    insert_locks(4);  // the same keys again, possibly in the same slots
    EXPECT_NE(0, dbv_fetch(all, &row));
    EXPECT_NE(0, dbv_fetch(one, &row));
    dbv_closecursor(all);
    dbv_closecursor(one);
    EXPECT_EQ((std::vector<int32_t>{0, 1, 2, 3}), object_ids());
}

TEST_F(CursorTest, DroppingTheDatabaseDetachesOpenCursors) {
    insert_locks(2);
    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    LockRow row;
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    ASSERT_EQ(0, dbd_dropvirtualdatabase(db_name_.c_str()));
    EXPECT_NE(0, dbv_fetch(cursor, &row));
    EXPECT_NE(0, dbv_deletecurrent(cursor));
    dbv_closecursor(cursor);
    dbv_closecursor(nullptr);
    EXPECT_NE(0, dbv_fetch(nullptr, &row));
}

}  // namespace
}  // namespace table_store_test
