// Tests of re-creating a deprecated table: the settings callback fills the new table and
// its settings, the conversion translates through a context built from them, and the
// run-time-id settings add the tagged domain fields.
#include <gtest/gtest.h>

#include <stdexcept>

#include "dbv/conversion_test_support.h"

namespace {

using namespace dbv_conversion_test;

const Report kFailed{"!\"Re-converting a deprecated table to domain failed.\"", kSource};

class ReCreateTableTest : public ConversionFixture {
  protected:
    void SetUp() override {
        ConversionFixture::SetUp();
        Insert({Row(9, 0, 0)});  // the deprecated table's row goes
    }
    // Parameters whose settings callback inserts `rows` and names the fields to translate.
    dbv::ReCreateTableParameters_t Parameters(std::vector<ObjectRow> rows) {
        dbv::ReCreateTableParameters_t parameters;
        parameters.table = dbv::GetVirtualTablePointer(kObjects);
        parameters.settingsCallback = [this, rows](int32_t table, bool& notConverted,
                                                   dbv::ConversionCallbackData_t& data) {
            calls_.push_back({table, notConverted, data.creationOffset, data.modificationOffset,
                              data.smallIdCount});
            for (const ObjectRow& row : rows) {
                EXPECT_EQ(0, dbv_insert(dbv::GetVirtualTablePointer(table), &row));
            }
            data.creationOffset = kCreatedOffset;
            data.modificationOffset = kModifiedOffset;
            data.smallIdCount = 3;
            data.idFields = {kFatherField, kRefField, kFatherField};
        };
        return parameters;
    }
    std::vector<Ints> calls_;
};

TEST_F(ReCreateTableTest, TheNewTableIsConvertedWithAContextBuiltFromTheSettings) {
    dbv::ReCreateTable(Parameters({Row(1, 2, 150, 100, 150), Row(2, 120, 3, 120, 0)}));
    EXPECT_EQ((std::vector<Ints>{{kObjects, 1, -1, -1, 10}}), calls_);
    // Father 2 is below the small-id count 3, ref 3 is not; each field translated once.
    EXPECT_EQ((std::vector<Ints>{{1, 2, 51, 1, 51}, {2, 21, 3, 21, 21}}), Rows());
    EXPECT_EQ((Reports{kUnmapped}), TakeReports());
}

TEST_F(ReCreateTableTest, RuntimeIdsAddTheTaggedDomainFieldsWithTheirSmallIdCounts) {
    dbv::ModelSharingInterface_c::SetRuntimeIdsEnabled(true);
    dbv::SetCurrentDatabaseTablesConvertedToDomain(true);
    dbv::ReCreateTableParameters_t parameters = Parameters({Row(1, 5, 150, 100, 0)});
    parameters.usesFatherId = [](int32_t table) { return table == kObjects; };
    dbv::ReCreateTable(parameters);
    EXPECT_EQ(0, calls_.at(0).at(1)) << "the tables count as converted";
    // The small-id count 10 replaces the callback's 3: father 5 stays.
    EXPECT_EQ((std::vector<Ints>{{1, 5, 51, 1, 1}}), Rows());
    EXPECT_EQ((std::pair<dbv_domain_s*, std::vector<Ints>>{domain_,
                                                           {{kIdField, 0},
                                                            {kFatherField, 10},
                                                            {kCreatedField, 0},
                                                            {kModifiedField, 0},
                                                            {kRefField, 0}}}),
              DomainInfo());
    EXPECT_EQ(Reports{}, TakeReports());
}

TEST_F(ReCreateTableTest, FailuresAreReportedAndNothingElseHappens) {
    // The old creation id 900 is not mapped, so the domain does not know it: refused.
    dbv::ReCreateTable(Parameters({Row(1, 0, 0, 900)}));
    EXPECT_EQ((Reports{kUnmapped, kFailed}), TakeReports());
    EXPECT_EQ(nullptr, DomainInfo().first);

    dbv::ReCreateTableParameters_t parameters = Parameters({});
    parameters.settingsCallback = [](int32_t, bool&, dbv::ConversionCallbackData_t&) {
        throw std::runtime_error("application failure");
    };
    dbv::ReCreateTable(parameters);
    EXPECT_EQ(Reports{kFailed}, TakeReports());
    EXPECT_TRUE(Rows().empty());

    Insert({Row(9, 0, 0)});
    parameters.table = nullptr;  // a table the database does not know
    dbv::ReCreateTable(parameters);
    EXPECT_EQ(1u, Rows().size());
    EXPECT_EQ(Reports{}, TakeReports());
}

TEST_F(ReCreateTableTest, WithoutADomainTheTableIsOnlyRecreatedAndNoSettingsAreAsked) {
    dbv::ReCreateTableParameters_t parameters = Parameters({Row(1, 0, 0)});
    parameters.settingsCallback = nullptr;  // the defaults convert the empty table
    dbv::ReCreateTable(parameters);
    EXPECT_EQ(domain_, DomainInfo().first);

    ASSERT_TRUE(dbv::RemoveDomainAndEvents(db_.c_str()));
    dbv::ReCreateTable(Parameters({Row(1, 0, 0)}));
    EXPECT_TRUE(calls_.empty());
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(nullptr, DomainInfo().first);
    EXPECT_EQ(Reports{}, TakeReports());
    dbv_deletedomain(domain_);
}

}  // namespace
