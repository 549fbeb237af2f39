// Shared by the tests of table introspection, row values, row copying, table domain
// information and the table store wrappers: three small table definitions with matching
// row records, and a fixture that gives every test its own virtual database holding them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dbv/domain_registry.h"
#include "dbv/domain_test_support.h"
#include "outside/store_domain_tables.h"
#include "outside/store_seams.h"
#include "outside/table_store.h"

namespace dbv_tables_test {

// bt_source: one field of every type. Its row record:
struct SourceRow {
    int32_t id;
    float ratio;
    double weight;
    char name[9];
    unsigned char flags[3];
};
static_assert(sizeof(SourceRow) == 32);

// bt_target: a shorter text, fewer bytes, "weight" of another type, "extra" of its own.
struct TargetRow {
    int32_t id;
    char name[4];
    int32_t weight;
    int32_t extra;
    unsigned char flags[2];
    float ratio;
};
static_assert(sizeof(TargetRow) == 24);

// bt_domain: made a table of a domain, with "owner" as its domain field, where needed.
struct DomainRow {
    int32_t id;
    int32_t owner;
    char name[16];
};
static_assert(sizeof(DomainRow) == 24);

inline const dbd_columndef_t kSourceColumns[] = {{"id", DBD_INT32, 0},
                                                 {"ratio", DBD_FLOAT, 0},
                                                 {"weight", DBD_DOUBLE, 0},
                                                 {"name", DBD_TEXT, 9},
                                                 {"flags", DBD_BYTES, 3}};
inline const dbd_indexdef_t kSourceIndexes[] = {{"source_id", {"id"}, 1, 1}};
inline const dbd_tabledef_t kSourceTable = {"bt_source", kSourceColumns, 5, kSourceIndexes,
                                            1,           "source_id"};
inline const dbd_tagreference_t kSourceTags[] = {
    {"modelguidid", "id"}, {"modelguidtime", "id"}, {"modelguidtime", "weight"}};

inline const dbd_columndef_t kTargetColumns[] = {{"id", DBD_INT32, 0},     {"name", DBD_TEXT, 4},
                                                 {"weight", DBD_INT32, 0}, {"extra", DBD_INT32, 0},
                                                 {"flags", DBD_BYTES, 2},  {"ratio", DBD_FLOAT, 0}};
inline const dbd_indexdef_t kTargetIndexes[] = {{"target_id", {"id"}, 1, 1}};
inline const dbd_tabledef_t kTargetTable = {"bt_target", kTargetColumns, 6, kTargetIndexes,
                                            1,           "target_id"};

inline const dbd_columndef_t kDomainColumns[] = {
    {"id", DBD_INT32, 0}, {"owner", DBD_INT32, 0}, {"name", DBD_TEXT, 16}};
inline const dbd_indexdef_t kDomainIndexes[] = {{"domain_id", {"id"}, 1, 1}};
inline const dbd_tabledef_t kDomainTable = {"bt_domain", kDomainColumns, 3, kDomainIndexes,
                                            1,           "domain_id"};

enum : int32_t { kSource = 1, kTarget = 2, kDomain = 3 };

// A source row whose flags hold 1, 0 and 255; a name of 9 characters stays unterminated.
inline SourceRow MakeSource(int32_t id, const char* name, float ratio = 0.5f,
                            double weight = 2.25) {
    SourceRow row{id, ratio, weight, {}, {1, 0, 255}};
    std::strncpy(row.name, name, sizeof row.name);
    return row;
}

// A hand-made field description, for fields the dictionary would refuse.
inline dbd_fieldspec_t Spec(const char* name, int32_t type, int32_t count, int32_t offset) {
    dbd_fieldspec_t spec{};
    std::strncpy(spec.name, name, sizeof spec.name - 1);
    spec.type = type;
    spec.element_count = count;
    spec.offset = offset;
    return spec;
}

using dbv_domain_test::Report;
using dbv_domain_test::Reports;

// Each test runs in its own virtual database, named after the test and made current
// through the registry, holding empty bt_source (1), bt_target (2) and bt_domain (3).
class TablesFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        store_seams::Reset();
        mainResetAssertions();
        dbv::ClearDomainRegistryForTests();
        for (const dbd_tabledef_t* table : {&kSourceTable, &kTargetTable, &kDomainTable}) {
            ASSERT_EQ(0, dbd_definevirtualtable(table));
        }
        ASSERT_EQ(0, dbd_definetabletagreferences("bt_source", kSourceTags, 3));
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        db_ = std::string(info->test_suite_name()) + "." + info->name();
        ASSERT_TRUE(dbv::CreateVirtualDatabase(db_.c_str()));
        databases_.push_back(db_);
        CreateTables();
    }
    void TearDown() override {
        store_seams::Reset();
        dbv_setworkmode(DBV_WORKMODE_LIVE);
        for (const std::string& name : databases_) dbd_dropvirtualdatabase(name.c_str());
        dbv::ClearDomainRegistryForTests();
        mainResetAssertions();
    }
    static void CreateTables() {
        ASSERT_EQ(0, dbd_createvirtualtable("bt_source", kSource, 1, 1, 1));
        ASSERT_EQ(0, dbd_createvirtualtable("bt_target", kTarget, 1, 1, 1));
        ASSERT_EQ(0, dbd_createvirtualtable("bt_domain", kDomain, 1, 1, 1));
    }
    // A second database "<test>.<suffix>" with the three tables, dropped with the test's;
    // the test's own database is current again afterwards.
    std::string OtherDatabase(const std::string& suffix) {
        const std::string name = db_ + "." + suffix;
        EXPECT_EQ(0, dbd_createvirtualdatabase(name.c_str()));
        databases_.push_back(name);
        CreateTables();
        EXPECT_TRUE(dbv::SetVirtualDatabase(db_.c_str()));
        return name;
    }
    static dbv_tablestruct* Table(int32_t number) { return dbd_getvirtualtablepointer(number); }
    // Source rows named "ABCDEFGH" in the current database.
    static void InsertSources(std::initializer_list<int32_t> ids, float ratio = 0.5f) {
        for (int32_t id : ids) {
            const SourceRow row = MakeSource(id, "ABCDEFGH", ratio);
            ASSERT_EQ(0, dbv_insert(Table(kSource), &row));
        }
    }
    template <typename Row>
    static std::vector<Row> Rows(int32_t number) {
        std::vector<Row> rows;
        dbv_cursorstruct* cursor = dbv_opencursor_all(Table(number));
        Row row{};
        while (cursor != nullptr && dbv_fetch(cursor, &row) == 0) rows.push_back(row);
        dbv_closecursor(cursor);
        return rows;
    }

    std::string db_;
    std::vector<std::string> databases_;
};

}  // namespace dbv_tables_test
