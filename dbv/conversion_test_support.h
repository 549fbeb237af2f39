// Test fixture of the table conversion: a database of its own per test with a domain, its
// range mapper (old ids 100 ... 199 mapped onto the time ids 1 ... 100) and one tagged
// table of objects, plus readers of rows and reports.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "dbv/convert_table_domain.h"
#include "dbv/cursor_time.h"
#include "dbv/domain_registry.h"
#include "dbv/model_sharing.h"
#include "outside/assert_log.h"
#include "outside/store_seams.h"

namespace dbv_conversion_test {

struct ObjectRow {
    int32_t id, father_id, ref_id, created, modified;
    char label[12];
    int32_t plain;
};
static_assert(sizeof(ObjectRow) == 36);

enum : int32_t { kIdField, kFatherField, kRefField, kCreatedField, kModifiedField, kLabelField };
enum : int32_t { kFatherOffset = 4, kRefOffset = 8, kCreatedOffset = 12, kModifiedOffset = 16 };
enum : int32_t { kLabelOffset = 20, kObjects = 501 };

const char* const kSource = "dbv_convert_table_domain";

inline const dbd_columndef_t kObjectColumns[] = {
    {"id", DBD_INT32, 0},      {"father_id", DBD_INT32, 0}, {"ref_id", DBD_INT32, 0},
    {"created", DBD_INT32, 0}, {"modified", DBD_INT32, 0},  {"label", DBD_TEXT, 12},
    {"plain", DBD_INT32, 0}};
inline const dbd_indexdef_t kObjectIndexes[] = {{"object_id", {"id"}, 1, 1}};
inline const dbd_tabledef_t kObjectTable = {"conv_objects", kObjectColumns, 7, kObjectIndexes, 1,
                                            "object_id"};
// ref_id carries both tags.
inline const dbd_tagreference_t kObjectTags[] = {
    {"modelguidid", "id"},         {"modelguidid", "father_id"}, {"modelguidtime", "created"},
    {"modelguidtime", "modified"}, {"modelguidid", "ref_id"},    {"modelguidtime", "ref_id"},
    {"textual", "label"}};

inline ObjectRow Row(int32_t id, int32_t father, int32_t ref, int32_t created = 0,
                     int32_t modified = 0) {
    return {id, father, ref, created, modified, "o", id};
}

using Report = std::pair<std::string, std::string>;
using Reports = std::vector<Report>;
using Ints = std::vector<int32_t>;

// What the mapper reports for an old id it does not know.
inline const Report kUnmapped{"!\"Id range mapping failed\"", "dbv_id_range_mapper"};

// The reports made since the last call.
inline Reports TakeReports() {
    Reports reports;
    for (const AssertRecord& record : mainGetAssertRecords()) {
        reports.emplace_back(record.condition_text, record.source_file);
    }
    mainResetAssertions();
    return reports;
}

class ConversionFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        store_seams::Reset();
        dbv::ClearDomainRegistryForTests();
        ASSERT_EQ(0, dbd_definevirtualtable(&kObjectTable));
        ASSERT_EQ(0, dbd_definetabletagreferences("conv_objects", kObjectTags, 7));
        db_ = std::string("conversion.") +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(dbv::CreateVirtualDatabase(db_.c_str()));
        ASSERT_TRUE(dbv::CreateDomainAndEmptyDomainEvents(db_.c_str()));
        ASSERT_EQ(0, dbd_createvirtualtable("conv_objects", kObjects, 1, 1, 1));
        table_ = dbv::GetVirtualTablePointer(kObjects);
        domain_ = dbv::GetDatabaseDomain(db_.c_str());
        ASSERT_TRUE(dbv::GetCurrentRangeMapper(&mapper_));
        ASSERT_TRUE(mapper_->AddRange(100, 200));
        mainResetAssertions();
    }
    void TearDown() override {
        store_seams::Reset();
        dbv_setworkmode(DBV_WORKMODE_LIVE);
        dbv::ModelSharingInterface_c::SetRuntimeIdsEnabled(false);
        dbv::DeleteDomainAndDomainEvents(db_.c_str());
        dbv::ClearDomainRegistryForTests();
        dbv::DropVirtualDatabase(db_.c_str());
        mainResetAssertions();
    }

    void Insert(std::initializer_list<ObjectRow> rows) {
        dbv_tablestruct* table = dbv::GetVirtualTablePointer(kObjects);  // also after a re-creation
        for (const ObjectRow& row : rows) ASSERT_EQ(0, dbv_insert(table, &row));
    }
    // Per row in table order: id, father_id, ref_id and the row's two time ids.
    std::vector<Ints> Rows() {
        std::vector<Ints> rows;
        dbv_cursorstruct* cursor = dbv_opencursor_all(dbv::GetVirtualTablePointer(kObjects));
        ObjectRow row{};
        while (dbv_fetch(cursor, &row) == 0) {
            rows.push_back({row.id, row.father_id, row.ref_id, dbv::GetCreationTime(cursor),
                            dbv::GetModificationTime(cursor)});
        }
        dbv_closecursor(cursor);
        return rows;
    }
    // The table's domain and its domain fields' numbers and small-id counts.
    std::pair<dbv_domain_s*, std::vector<Ints>> DomainInfo() {
        dbv_domain_s* domain = nullptr;
        dbv_domainfieldspec_s fields[8] = {};
        int32_t count = -1;
        EXPECT_EQ(0, dbv_gettabledomaininfo(dbv::GetVirtualTablePointer(kObjects), &domain, fields,
                                            8, &count));
        std::vector<Ints> numbers;
        for (int32_t i = 0; i < count && i < 8; ++i) {
            numbers.push_back({fields[i].field, fields[i].small_id_count});
        }
        return {domain, numbers};
    }
    // A context translating ids through the database's mapper.
    dbv::dbvConversionOffsets_c Context(Ints idOffsets, int32_t creation = -1,
                                        int32_t modification = -1) {
        dbv::dbvConversionOffsets_c context;
        context.domain = domain_;
        context.rangeMapper = mapper_;
        context.creationOffset = creation;
        context.modificationOffset = modification;
        context.idFieldOffsets = std::move(idOffsets);
        return context;
    }

    std::string db_;
    dbv_tablestruct* table_ = nullptr;
    dbv_domain_s* domain_ = nullptr;
    dbv::IdRangeMapper_c* mapper_ = nullptr;
};

}  // namespace dbv_conversion_test
