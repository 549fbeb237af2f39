// Test fixtures of the table store: the server's row records and table definitions, and
// a fixture that gives each test its own fresh virtual database.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "outside/table_store.h"

namespace table_store_test {

struct LockRow {
    char model_name[82];
    char client_name[82];
    int32_t object_id, locked;
};
static_assert(sizeof(LockRow) == 172);

struct DrawingLockRow {
    char ModelName[82];
    char DrawingName[33];
    char UserName[82];
    int32_t TimeStamp, ModId, LockStatus;
};
static_assert(sizeof(DrawingLockRow) == 212);

inline const dbd_columndef_t kCommonModelColumns[] = {{"name", DBD_TEXT, 82},
                                                      {"db_number", DBD_INT32, 0},
                                                      {"maxid", DBD_INT32, 0},
                                                      {"ga_id", DBD_INT32, 0},
                                                      {"multi_drawing_id", DBD_INT32, 0}};
inline const dbd_indexdef_t kCommonModelIndexes[] = {
    {"model_name_number", {"name", "db_number"}, 1, 1}};
inline const dbd_tabledef_t kCommonModelTable = {
    "common_model", kCommonModelColumns, 5, kCommonModelIndexes, 1, "model_name_number"};

inline const dbd_columndef_t kLockColumns[] = {{"model_name", DBD_TEXT, 82},
                                               {"client_name", DBD_TEXT, 82},
                                               {"object_id", DBD_INT32, 0},
                                               {"locked", DBD_INT32, 0}};
inline const dbd_indexdef_t kLockIndexes[] = {
    {"lock_model_name", {"model_name", "object_id"}, 1, 1}};
inline const dbd_tabledef_t kLockTable = {"lock", kLockColumns,     4, kLockIndexes,
                                          1,      "lock_model_name"};

inline const dbd_columndef_t kDrawingLockColumns[] = {
    {"ModelName", DBD_TEXT, 82}, {"DrawingName", DBD_TEXT, 33}, {"UserName", DBD_TEXT, 82},
    {"TimeStamp", DBD_INT32, 0}, {"ModId", DBD_INT32, 0},       {"LockStatus", DBD_INT32, 0}};
inline const dbd_indexdef_t kDrawingLockIndexes[] = {
    {"AllNames", {"ModelName", "DrawingName", "UserName", "LockStatus"}, 1, 1},
    {"ModelDrawingName", {"ModelName", "DrawingName"}, 1, 0},
    {"ModelUserName", {"ModelName", "UserName"}, 1, 0},
    {"UserName", {"UserName"}, 1, 0},
    {"LockStatus", {"LockStatus"}, 1, 0}};
inline const dbd_tabledef_t kDrawingLockTable = {
    "drawinglocks", kDrawingLockColumns, 6, kDrawingLockIndexes, 5, "AllNames"};

enum : int32_t { kCommonModel = 42, kLock = 10123, kDrawingLocks = 10126 };

inline void set_text(char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), text.size() < size ? text.size() : size - 1);
}
// "prefix<n>"; snprintf because g++ 12 at -O3 raises a false -Wrestrict on concatenation.
inline std::string numbered(const std::string& prefix, long n) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%s%ld", prefix.c_str(), n);
    return buffer;
}
#define SET_TEXT(field, text) ::table_store_test::set_text(field, sizeof(field), text)

inline LockRow lock_row(const std::string& model, int32_t object_id,
                        const std::string& client = "c", int32_t locked = 1) {
    LockRow row{};
    SET_TEXT(row.model_name, model);
    SET_TEXT(row.client_name, client);
    row.object_id = object_id;
    row.locked = locked;
    return row;
}

inline DrawingLockRow drawing_row(const std::string& model, const std::string& drawing,
                                  const std::string& user, int32_t status, int32_t stamp = 0) {
    DrawingLockRow row{};
    SET_TEXT(row.ModelName, model);
    SET_TEXT(row.DrawingName, drawing);
    SET_TEXT(row.UserName, user);
    row.LockStatus = status;
    row.TimeStamp = stamp;
    return row;
}

// Declares the server tables, creates a database named after the running test with the
// common_model, lock and drawinglocks tables, and drops it afterwards.
class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, dbd_definevirtualtable(&kCommonModelTable));
        ASSERT_EQ(0, dbd_definevirtualtable(&kLockTable));
        ASSERT_EQ(0, dbd_definevirtualtable(&kDrawingLockTable));
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        db_name_ = std::string(info->test_suite_name()) + "." + info->name();
        ASSERT_EQ(0, dbd_createvirtualdatabase(db_name_.c_str()));
        ASSERT_EQ(0, dbd_createvirtualtable("common_model", kCommonModel, 1, 1, 1));
        ASSERT_EQ(0, dbd_createvirtualtable("lock", kLock, 1, 1, 1));
        ASSERT_EQ(0, dbd_createvirtualtable("drawinglocks", kDrawingLocks, 1, 1, 1));
        lock_ = dbd_getvirtualtablepointer(kLock);
        lock_primary_ = dbd_getvirtualprimarypointer(kLock);
        drawings_ = dbd_getvirtualtablepointer(kDrawingLocks);
        drawings_primary_ = dbd_getvirtualprimarypointer(kDrawingLocks);
        ASSERT_NE(nullptr, lock_);
        ASSERT_NE(nullptr, drawings_);
    }
    void TearDown() override { dbd_dropvirtualdatabase(db_name_.c_str()); }

    int insert(const LockRow& row) { return dbv_insert(lock_, &row); }
    int insert(const DrawingLockRow& row) { return dbv_insert(drawings_, &row); }
    int erase(const LockRow& row) { return dbv_delete(lock_primary_, &row); }
    int erase(const DrawingLockRow& row) { return dbv_delete(drawings_primary_, &row); }
    // Lock rows ("m", i) with locked = i, for i in [0, count).
    void insert_locks(int count) {
        for (int i = 0; i < count; ++i) ASSERT_EQ(0, insert(lock_row("m", i, "c", i)));
    }
    void insert_drawings(const std::string& drawing, std::initializer_list<const char*> users) {
        for (const char* user : users) ASSERT_EQ(0, insert(drawing_row("m", drawing, user, 1)));
    }
    // The object ids of the lock rows still ahead of `cursor`, or of the whole table in table
    // order; a cursor is left open, a table scan is closed.
    std::vector<int32_t> lock_ids(dbv_cursorstruct* cursor = nullptr) {
        dbv_cursorstruct* scan = cursor != nullptr ? cursor : dbv_opencursor_all(lock_);
        std::vector<int32_t> ids;
        LockRow row;
        while (dbv_fetch(scan, &row) == 0) ids.push_back(row.object_id);
        if (cursor == nullptr) dbv_closecursor(scan);
        return ids;
    }
    std::vector<std::string> users(dbv_cursorstruct* cursor) {
        std::vector<std::string> names;
        DrawingLockRow row;
        while (dbv_fetch(cursor, &row) == 0) names.emplace_back(row.UserName);
        return names;
    }
    // Users of the drawing rows that a fresh cursor over `index_name` and ("m", drawing) gives.
    std::vector<std::string> users_of(const std::string& drawing,
                                      const char* index_name = "ModelDrawingName") {
        const DrawingLockRow key = drawing_row("m", drawing, "", 0);
        dbv_cursorstruct* cursor =
            dbv_opencursor(dbd_getvirtualindexpointer(kDrawingLocks, index_name), &key);
        std::vector<std::string> names = users(cursor);
        dbv_closecursor(cursor);
        return names;
    }

    std::string db_name_;
    dbv_tablestruct* lock_ = nullptr;
    dbv_indexstruct* lock_primary_ = nullptr;
    dbv_tablestruct* drawings_ = nullptr;
    dbv_indexstruct* drawings_primary_ = nullptr;
};

using Ids = std::vector<int32_t>;
using Names = std::vector<std::string>;

}  // namespace table_store_test
