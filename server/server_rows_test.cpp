// The row records against the tables the store lays out from the server's definitions,
// and the bounded text copy every row field goes through.
#include "server/server_rows.h"

#include <cstring>

#include "outside/table_store.h"
#include "port/clock.h"
#include "server/server_state.h"
#include "server/server_tables.h"
#include "server/server_test_support.h"

namespace {

struct expected_field {
    const char* name;
    int32_t offset;
};

void expect_layout(int32_t table, int32_t row_size, std::initializer_list<expected_field> fields) {
    SCOPED_TRACE(table);
    EXPECT_EQ(dbv::GetVirtualTableSizeof(table), row_size);
    EXPECT_EQ(dbv::GetVirtualFieldCount(table), static_cast<int32_t>(fields.size()));
    for (const expected_field& f : fields) {
        const int32_t number = dbv::GetVirtualFieldByName(table, f.name);
        ASSERT_GE(number, 0) << f.name;
        dbd_fieldspec_t spec{};
        ASSERT_TRUE(dbv::GetVirtualFieldSpec(table, number, &spec));
        EXPECT_EQ(spec.offset, f.offset) << f.name;
    }
}

}  // namespace

using ServerRowsTest = ServerCoreTest;

TEST_F(ServerRowsTest, StoreLaysOutEveryTableLikeTheRowRecordsWithItsIndexes) {
    expect_layout(
        SRV_TABLE_COMMON_MODEL, sizeof(common_model_row),
        {{"name", 0}, {"db_number", 84}, {"maxid", 88}, {"ga_id", 92}, {"multi_drawing_id", 96}});
    expect_layout(SRV_TABLE_OLD_COMMON_MODEL_101, sizeof(old_common_model_101_row),
                  {{"name", 0}, {"db_number", 84}, {"maxid", 88}});
    expect_layout(SRV_TABLE_LOCK, sizeof(lock_row),
                  {{"model_name", 0}, {"client_name", 82}, {"object_id", 164}, {"locked", 168}});
    expect_layout(SRV_TABLE_OBJECT_LOCK, sizeof(object_lock_row),
                  {{"guid", 0}, {"client_name", 39}, {"locked", 124}});
    expect_layout(SRV_TABLE_MULTIUSERS, sizeof(multiusers_row),
                  {{"ModelName", 0},
                   {"UserName", 82},
                   {"LoginTime", 164},
                   {"LastAccessTime", 168},
                   {"LastSaveTime", 172},
                   {"LockedTime", 176}});
    expect_layout(SRV_TABLE_DRAWINGLOCKS, sizeof(drawinglocks_row),
                  {{"ModelName", 0},
                   {"DrawingName", 82},
                   {"UserName", 115},
                   {"TimeStamp", 200},
                   {"ModId", 204},
                   {"LockStatus", 208}});
    EXPECT_STREQ(dbv::GetVirtualTableName(SRV_TABLE_COMMON_MODEL), "common_model");
    for (const char* index : {"ModelDrawingName", "ModelUserName", "UserName", "LockStatus"})
        EXPECT_NE(dbd_getvirtualindexpointer(SRV_TABLE_DRAWINGLOCKS, index), nullptr) << index;
    // Every test declares the tables again; each reference kept is modelguidid on maxid.
    const dbd_tagreferencespec_t* refs = dbv::GetTableTagReferenceSpec("common_model");
    ASSERT_NE(refs, nullptr);
    ASSERT_STRNE(refs[0].tag, "");
    for (int i = 0; refs[i].tag[0] != '\0'; ++i) {
        EXPECT_STREQ(refs[i].tag, "modelguidid");
        EXPECT_STREQ(refs[i].field, "maxid");
    }
}

TEST_F(ServerRowsTest, TextCopyCutsToTheFieldLessOneAndZeroFillsTheRest) {
    char field[8];
    std::memset(field, 'x', sizeof field);
    srv_copy_text(field, "abc");
    EXPECT_EQ(std::string(field, sizeof field), std::string("abc\0\0\0\0\0", 8));
    srv_copy_text(field, "0123456789");
    EXPECT_STREQ(field, "0123456");
    srv_copy_text(field, nullptr);
    EXPECT_STREQ(field, "");
    const char unterminated[4] = {'w', 'x', 'y', 'z'};  // read only up to its own size
    srv_copy_field(field, unterminated);
    EXPECT_STREQ(field, "wxyz");
}

TEST_F(ServerRowsTest, StoredTimesAreUtcSecondsWithoutATestClock) {
    server_state().clock = nullptr;
    const int64_t before = port_wall_seconds();
    const int32_t now = server_now();
    EXPECT_GE(now, static_cast<int32_t>(before));
    EXPECT_LE(now, static_cast<int32_t>(port_wall_seconds()));
}
