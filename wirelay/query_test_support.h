// Shared fixtures of the query tests: a table with every numeric column type, a database
// per test that holds it, and rows whose numbers have four or eight distinct bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "outside/table_store.h"
#include "wirelay/query.h"

namespace query_test {

struct Row {
    int32_t id;
    float weight;
    double size;
    char name[13];
    uint8_t blob[3];
    int32_t count;
};
static_assert(sizeof(Row) == 40);

inline const dbd_columndef_t kColumns[] = {{"id", DBD_INT32, 0},    {"weight", DBD_FLOAT, 0},
                                           {"size", DBD_DOUBLE, 0}, {"name", DBD_TEXT, 13},
                                           {"blob", DBD_BYTES, 3},  {"count", DBD_INT32, 0}};
inline const dbd_indexdef_t kIndexes[] = {{"by_id", {"id"}, 1, 1}};
inline const dbd_tabledef_t kTable = {"query_rows", kColumns, 6, kIndexes, 1, "by_id"};
constexpr uint32_t kTableNumber = 501;

inline Row MakeRow(int32_t i) {
    Row r{};
    r.id = 0x01020304 + i;
    r.weight = 1.5f + static_cast<float>(i);
    r.size = 2.25e10 + i;
    std::snprintf(r.name, sizeof r.name, "row %d", i);
    r.blob[0] = 0xa1;
    r.blob[1] = 0xb2;
    r.blob[2] = static_cast<uint8_t>(i);
    r.count = -7 - i;
    return r;
}

inline wrl_identify MakeIdentify(const char* name) {
    wrl_identify id{};
    id.value1 = 0x11223344;
    id.value2 = 0x1FF;
    id.value3 = 0x42;
    id.value4 = 0xdeadbeef;
    id.value5 = 7;
    std::memcpy(id.name, name, strnlen(name, 32));
    return id;
}

// A database of its own per test, with kTable under kTableNumber.
class QueryTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, dbd_definevirtualtable(&kTable));
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        db_ = std::string("query.") + info->test_suite_name() + "." + info->name();
        ASSERT_EQ(0, dbd_createvirtualdatabase(db_.c_str()));
        ASSERT_EQ(0, dbd_createvirtualtable("query_rows", kTableNumber, 1, 1, 1));
    }
    void TearDown() override { dbd_dropvirtualdatabase(db_.c_str()); }

    std::string db_;
};

}  // namespace query_test
