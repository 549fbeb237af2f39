// Cursors under change: deleting the current or the next row, updating through the
// cursor, clearing the table or dropping its database while the cursor is open.
#include "outside/table_test_tables.h"

namespace table_store_test {
namespace {

using CursorTest = StoreTest;

TEST_F(CursorTest, AllRowsComeInInsertionOrderAndLaterInsertsStayUnseen) {
    insert_locks(5);
    ASSERT_EQ(0, erase(lock_row("m", 2)));
    ASSERT_EQ(0, insert(lock_row("m", 42)));  // may reuse the freed slot, still comes last
    EXPECT_EQ((Ids{0, 1, 3, 4, 42}), lock_ids());

    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    LockRow row;
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    ASSERT_EQ(0, insert(lock_row("m", 99)));
    EXPECT_EQ((Ids{1, 3, 4, 42}), lock_ids(cursor));
    EXPECT_NE(0, dbv_fetch(cursor, &row)) << "stays at the end";
    dbv_closecursor(cursor);
}

TEST_F(CursorTest, DeletingTheCurrentRowWhileScanning) {
    insert_locks(6);
    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    EXPECT_NE(0, dbv_deletecurrent(cursor)) << "nothing fetched yet";
    LockRow row;
    Ids seen;
    while (dbv_fetch(cursor, &row) == 0) {
        seen.push_back(row.object_id);
        if (row.object_id % 2 == 0) {
            ASSERT_EQ(0, dbv_deletecurrent(cursor));
            EXPECT_NE(0, dbv_deletecurrent(cursor)) << "already gone";
            EXPECT_NE(0, dbv_updatecurrent(cursor, &row)) << "gone rows cannot be updated";
        }
    }
    dbv_closecursor(cursor);
    EXPECT_EQ((Ids{0, 1, 2, 3, 4, 5}), seen);
    EXPECT_EQ((Ids{1, 3, 5}), lock_ids());
    EXPECT_EQ(0, insert(lock_row("m", 0))) << "the deleted key is free again";
}

TEST_F(CursorTest, RowsDeletedBesideTheCursor) {
    insert_locks(6);
    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    dbv_cursorstruct* twin = dbv_opencursor_all(lock_);
    LockRow row;
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    ASSERT_EQ(0, dbv_fetch(twin, &row));
    ASSERT_EQ(0, dbv_deletecurrent(twin));  // both stood on row 0
    EXPECT_NE(0, dbv_deletecurrent(cursor));
    dbv_closecursor(twin);
    ASSERT_EQ(0, erase(lock_row("m", 1)));  // the next row
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    EXPECT_EQ(2, row.object_id);
    ASSERT_EQ(0, erase(lock_row("m", 2)));  // the current row directly, and the one after it
    ASSERT_EQ(0, erase(lock_row("m", 3)));
    EXPECT_NE(0, dbv_deletecurrent(cursor));
    EXPECT_EQ((Ids{4, 5}), lock_ids(cursor));
    dbv_closecursor(cursor);
    EXPECT_EQ((Ids{4, 5}), lock_ids());
}

TEST_F(CursorTest, UpdateCurrentKeepsTheScanGoing) {
    insert_locks(4);
    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    LockRow row;
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    row.object_id = 3;
    EXPECT_NE(0, dbv_updatecurrent(cursor, &row)) << "another row holds the new key";
    row.object_id = 50;
    row.locked = 7;
    ASSERT_EQ(0, dbv_updatecurrent(cursor, &row));
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    row.locked = 8;
    ASSERT_EQ(0, dbv_updatecurrent(cursor, &row));
    EXPECT_EQ((Ids{2, 3}), lock_ids(cursor));
    EXPECT_NE(0, dbv_updatecurrent(nullptr, &row));
    EXPECT_NE(0, dbv_updatecurrent(cursor, nullptr));
    dbv_closecursor(cursor);
    EXPECT_EQ((Ids{50, 1, 2, 3}), lock_ids());
    LockRow probe = lock_row("m", 50), old_key = lock_row("m", 0);
    ASSERT_EQ(0, dbv_select(lock_primary_, &probe));
    EXPECT_EQ(7, probe.locked);
    EXPECT_NE(0, dbv_select(lock_primary_, &old_key));
}

TEST_F(CursorTest, IndexCursorSkipsDeletedRowsAndRowsUpdatedOutOfItsKey) {
    insert_drawings("dwg", {"a", "b", "c", "d"});
    dbv_indexstruct* by_drawing = dbd_getvirtualindexpointer(kDrawingLocks, "ModelDrawingName");
    const DrawingLockRow key = drawing_row("m", "dwg", "", 0);
    dbv_cursorstruct* cursor = dbv_opencursor(by_drawing, &key);
    DrawingLockRow row;
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    EXPECT_STREQ("a", row.UserName);
    ASSERT_EQ(0, dbv_deletecurrent(cursor));               // the current row
    ASSERT_EQ(0, erase(drawing_row("m", "dwg", "b", 1)));  // the next row
    DrawingLockRow c_old = drawing_row("m", "dwg", "c", 1), c = drawing_row("m", "other", "c", 1);
    dbv_cursorstruct* by_pk = dbv_opencursor(drawings_primary_, &c_old);
    ASSERT_EQ(0, dbv_fetch(by_pk, &row));
    ASSERT_EQ(0, dbv_updatecurrent(by_pk, &c));  // moves "c" out of the key
    dbv_closecursor(by_pk);
    insert_drawings("dwg", {"e"});  // after the open
    EXPECT_EQ((Names{"d"}), users(cursor));
    dbv_closecursor(cursor);
    EXPECT_EQ((Names{"d", "e"}), users_of("dwg"));

    // Deleting every row of a key through the cursor empties the key.
    cursor = dbv_opencursor(by_drawing, &key);
    while (dbv_fetch(cursor, &row) == 0) ASSERT_EQ(0, dbv_deletecurrent(cursor));
    dbv_closecursor(cursor);
    EXPECT_EQ(Names{}, users_of("dwg"));
    EXPECT_EQ(1, dbv_getrowcount(drawings_));
    EXPECT_EQ(nullptr, dbv_opencursor(nullptr, &key));
    EXPECT_EQ(nullptr, dbv_opencursor(by_drawing, nullptr));
    EXPECT_EQ(nullptr, dbv_opencursor_all(nullptr));
}

TEST_F(CursorTest, OpenCursorsSurviveTheRowStorageGrowing) {
    // Rows live in one block that is copied to a larger one as the table grows; cursors
    // name rows by slot, so they must carry on across many such moves.
    insert_drawings("dwg", {"a", "b", "c"});
    const DrawingLockRow key = drawing_row("m", "dwg", "", 0);
    dbv_cursorstruct* by_key =
        dbv_opencursor(dbd_getvirtualindexpointer(kDrawingLocks, "ModelDrawingName"), &key);
    dbv_cursorstruct* all = dbv_opencursor_all(drawings_);
    DrawingLockRow row;
    ASSERT_EQ(0, dbv_fetch(all, &row));
    ASSERT_EQ(0, dbv_fetch(by_key, &row));
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(0, insert(drawing_row("m", i % 2 == 0 ? "dwg" : "x", numbered("u", i), 1)));
    ASSERT_EQ(0, erase(drawing_row("m", "dwg", "b", 1)));
    ASSERT_EQ(0, dbv_deletecurrent(all));  // "a", fetched before the growth
    EXPECT_EQ((Names{"c"}), users(all)) << "later inserts unseen";
    EXPECT_EQ((Names{"c"}), users(by_key));
    dbv_closecursor(all);
    dbv_closecursor(by_key);

    const Names now = users_of("dwg");
    ASSERT_EQ(2501u, now.size());
    EXPECT_EQ((Names{"c", "u0", "u4998"}), (Names{now[0], now[1], now.back()}));
}

TEST_F(CursorTest, ClearingTheTableOrDroppingTheDatabaseEndsOpenCursors) {
    insert_locks(4);
    dbv_cursorstruct* all = dbv_opencursor_all(lock_);
    LockRow key = lock_row("m", 3), row;
    dbv_cursorstruct* one = dbv_opencursor(lock_primary_, &key);
    ASSERT_EQ(0, dbv_fetch(all, &row));
    ASSERT_EQ(0, dbv_cleartable(lock_));
    EXPECT_NE(0, dbv_deletecurrent(all));
    insert_locks(4);  // the same keys again, possibly in the same slots
    EXPECT_NE(0, dbv_fetch(all, &row));
    EXPECT_NE(0, dbv_fetch(one, &row));
    dbv_closecursor(all);
    dbv_closecursor(one);
    EXPECT_EQ((Ids{0, 1, 2, 3}), lock_ids());
    EXPECT_NE(0, dbv_cleartable(nullptr));

    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
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
