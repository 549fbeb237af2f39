// Test fixtures of the table store: the server's row records and table definitions, and
// a fixture that gives each test its own fresh virtual database.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "outside/table_store.h"

namespace table_store_test {

struct CommonModelRow {
    char name[82];
    int32_t db_number;
    int32_t maxid;
    int32_t ga_id;
    int32_t multi_drawing_id;
};
static_assert(sizeof(CommonModelRow) == 100);

struct LockRow {
    char model_name[82];
    char client_name[82];
    int32_t object_id;
    int32_t locked;
};
static_assert(sizeof(LockRow) == 172);

struct ObjectLockRow {
    char guid[39];
    char client_name[82];
    int32_t locked;
};
static_assert(sizeof(ObjectLockRow) == 128);

struct DrawingLockRow {
    char ModelName[82];
    char DrawingName[33];
    char UserName[82];
    int32_t TimeStamp;
    int32_t ModId;
    int32_t LockStatus;
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

inline const dbd_columndef_t kObjectLockColumns[] = {
    {"guid", DBD_TEXT, 39}, {"client_name", DBD_TEXT, 82}, {"locked", DBD_INT32, 0}};
inline const dbd_indexdef_t kObjectLockIndexes[] = {{"guid", {"guid"}, 1, 1}};
inline const dbd_tabledef_t kObjectLockTable = {
    "object_lock", kObjectLockColumns, 3, kObjectLockIndexes, 1, "guid"};

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

enum : int32_t { kCommonModel = 42, kLock = 10123, kDrawingLocks = 10126, kObjectLock = 10127 };

inline void set_text(char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), text.size() < size ? text.size() : size - 1);
}
// "prefix<n>"; built with snprintf because g++ 12 at -O3 raises a false -Wrestrict on
// string concatenation.
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
// four tables, and drops it afterwards.
class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, dbd_definevirtualtable(&kCommonModelTable));
        ASSERT_EQ(0, dbd_definevirtualtable(&kLockTable));
        ASSERT_EQ(0, dbd_definevirtualtable(&kObjectLockTable));
        ASSERT_EQ(0, dbd_definevirtualtable(&kDrawingLockTable));
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        db_name_ = std::string(info->test_suite_name()) + "." + info->name();
        ASSERT_EQ(0, dbd_createvirtualdatabase(db_name_.c_str()));
        ASSERT_EQ(0, dbd_createvirtualtable("common_model", kCommonModel, 1, 1, 1));
        ASSERT_EQ(0, dbd_createvirtualtable("lock", kLock, 1, 1, 1));
        ASSERT_EQ(0, dbd_createvirtualtable("object_lock", kObjectLock, 1, 1, 1));
        ASSERT_EQ(0, dbd_createvirtualtable("drawinglocks", kDrawingLocks, 1, 1, 1));
        lock_ = dbd_getvirtualtablepointer(kLock);
        lock_primary_ = dbd_getvirtualprimarypointer(kLock);
        drawings_ = dbd_getvirtualtablepointer(kDrawingLocks);
        drawings_primary_ = dbd_getvirtualprimarypointer(kDrawingLocks);
        ASSERT_NE(nullptr, lock_);
        ASSERT_NE(nullptr, drawings_);
    }
    void TearDown() override { dbd_dropvirtualdatabase(db_name_.c_str()); }

    std::string db_name_;
    dbv_tablestruct* lock_ = nullptr;
    dbv_indexstruct* lock_primary_ = nullptr;
    dbv_tablestruct* drawings_ = nullptr;
    dbv_indexstruct* drawings_primary_ = nullptr;
};

}  // namespace table_store_test
