// Several virtual databases side by side: creation, switching the current one, table
// numbers per database, and dropping.
#include "outside/table_test_tables.h"

namespace table_store_test {
namespace {

TEST(VirtualDatabaseTest, EachDatabaseHasItsOwnTables) {
    ASSERT_EQ(0, dbd_definevirtualtable(&kLockTable));
    ASSERT_EQ(0, dbd_createvirtualdatabase("vdb_one"));
    ASSERT_EQ(0, dbd_createvirtualtable("lock", 1, 1, 1, 1));
    EXPECT_NE(0, dbd_createvirtualtable("lock", 1, 1, 1, 1)) << "number already used";
    dbv_tablestruct* one = dbd_getvirtualtablepointer(1);
    LockRow row = lock_row("in_one", 1);
    ASSERT_EQ(0, dbv_insert(one, &row));

    ASSERT_EQ(0, dbd_createvirtualdatabase("vdb_two"));
    EXPECT_EQ(nullptr, dbd_getvirtualtablepointer(1)) << "the new database is current and empty";
    ASSERT_EQ(0, dbd_createvirtualtable("lock", 1, 1, 1, 1));
    dbv_tablestruct* two = dbd_getvirtualtablepointer(1);
    ASSERT_NE(one, two);
    EXPECT_EQ(0, dbv_getrowcount(two));
    EXPECT_EQ(-1, dbv::GetVirtualTableByPointer(one)) << "one is not in the current database";

    ASSERT_EQ(0, dbd_setcurrentvirtualdatabase("vdb_one"));
    EXPECT_EQ(one, dbd_getvirtualtablepointer(1));
    EXPECT_EQ(1, dbv::GetVirtualTableByPointer(one));
    EXPECT_NE(0, dbd_setcurrentvirtualdatabase("vdb_missing"));
    EXPECT_EQ(one, dbd_getvirtualtablepointer(1)) << "a failed switch keeps the current one";

    // Creating an existing name fails but makes it current.
    EXPECT_NE(0, dbd_createvirtualdatabase("vdb_two"));
    EXPECT_EQ(two, dbd_getvirtualtablepointer(1));
    EXPECT_NE(0, dbd_createvirtualdatabase(""));
    EXPECT_NE(0, dbd_createvirtualdatabase(nullptr));

    ASSERT_EQ(0, dbd_dropvirtualdatabase("vdb_two"));
    EXPECT_EQ(nullptr, dbd_getvirtualtablepointer(1)) << "no database is current after the drop";
    EXPECT_NE(0, dbd_createvirtualtable("lock", 3, 1, 1, 1)) << "no current database";
    EXPECT_EQ(nullptr, dbv::GetVirtualTableName(1));
    EXPECT_NE(0, dbd_dropvirtualdatabase("vdb_two"));
    EXPECT_NE(0, dbd_dropvirtualdatabase(nullptr));

    ASSERT_EQ(0, dbd_setcurrentvirtualdatabase("vdb_one"));
    LockRow probe = lock_row("in_one", 1);
    EXPECT_EQ(0, dbv_select(dbd_getvirtualprimarypointer(1), &probe));
    ASSERT_EQ(0, dbd_dropvirtualdatabase("vdb_one"));
    ASSERT_EQ(0, dbd_createvirtualdatabase("vdb_one")) << "a dropped name can be created again";
    EXPECT_EQ(nullptr, dbd_getvirtualtablepointer(1));

    // One definition serves many table numbers, each with its own rows.
    ASSERT_EQ(0, dbd_createvirtualtable("lock", 10, 1, 1, 1));
    ASSERT_EQ(0, dbd_createvirtualtable("lock", -5, 0, 0, 0));
    ASSERT_EQ(0, dbv_insert(dbd_getvirtualtablepointer(10), &row));
    ASSERT_EQ(0, dbv_insert(dbd_getvirtualtablepointer(-5), &row)) << "separate rows";
    EXPECT_STREQ("lock", dbv::GetVirtualTableName(-5));
    EXPECT_EQ(-5, dbv::GetVirtualTableByPointer(dbd_getvirtualtablepointer(-5)));
    ASSERT_EQ(0, dbd_dropvirtualdatabase("vdb_one"));
}

}  // namespace
}  // namespace table_store_test
