// Tests of converting a whole table into the domain through the store: the field list the
// store gets, the identity check, the conversion without a domain, the change-control
// clearing with its failure paths, and the time ids a cursor then reads.
#include <gtest/gtest.h>

#include "dbv/conversion_test_support.h"
#include "tools/tool_alloc.h"

namespace {

using namespace dbv_conversion_test;
using Specs = std::vector<dbv_domainfieldspec_s>;

const Report kIdentical{"!\"Multiple identical rows detected while converting tables to domain\"",
                        kSource};

// Counts the rows it is called for; the context is an int.
int32_t CountRows(dbv_tablestruct*, void* context, dbv_domainrow32_s*) {
    ++*static_cast<int*>(context);
    return 0;
}

class CleanAndConvertTest : public ConversionFixture {
  protected:
    int32_t Convert(bool clean, const Specs& specs, void* context = nullptr,
                    dbv_convertrowcallback_t callback = nullptr) {
        return dbv::CleanAndConvertTableToDomain(kObjects, domain_, clean, specs, context,
                                                 callback);
    }
    dbv_domainfieldspec_s Spec(int32_t field) { return {field, 0, domain_}; }
    // Whether the store honours an armed failure of dbv_resetchangecontrol.
    bool ResetCanBeMadeToFail() {
        dbv_settabledomainchangecontrolmode(table_, 1);
        dbv_cursorstruct* cursor = dbv_opencursor_all(table_);
        ObjectRow row{};
        dbv_fetch(cursor, &row);
        store_seams::FailOperation("dbv_resetchangecontrol", 1);
        const bool failed = dbv_resetchangecontrol(cursor, DBV_CHANGE_EXISTENCE) != 0;
        store_seams::Reset();
        dbv_closecursor(cursor);
        dbv_settabledomainchangecontrolmode(table_, 0);
        return failed;
    }
};

TEST_F(CleanAndConvertTest, AMissingTableIsReportedAndNoDomainSkipsClearingAndIdentity) {
    Insert({Row(1, 7, 0), Row(2, 7, 0)});  // identical in father_id
    int rows = 0;
    EXPECT_EQ(0, dbv::CleanAndConvertTableToDomain(777, domain_, true, {}, &rows, CountRows));
    EXPECT_EQ(0, rows);
    EXPECT_EQ((Reports{{"!\"GetVirtualTablePointer\"", kSource}}), TakeReports());

    store_seams::FailOperation("dbv_resetchangecontrol");
    EXPECT_EQ(0, dbv::CleanAndConvertTableToDomain(kObjects, nullptr, true, {Spec(kFatherField)},
                                                   &rows, CountRows));
    EXPECT_EQ(2, rows);
    EXPECT_EQ(nullptr, DomainInfo().first);
    EXPECT_EQ(Reports{}, TakeReports());
}

TEST_F(CleanAndConvertTest, RowsAreTranslatedAndCarryTheirTimeIds) {
    Insert({Row(1, 0, 150, 100, 150), Row(2, 1, 5, 120, 0), Row(3, 2, 199, 199, 199)});
    EXPECT_EQ((Ints{1, 0, 150, 0, 0}), Rows().at(0)) << "a plain row has no time ids";
    EXPECT_EQ(0, dbv::GetCreationTime(nullptr) + dbv::GetModificationTime(nullptr));
    dbv::dbvConversionOffsets_c context =
        Context({kFatherOffset, kRefOffset}, kCreatedOffset, kModifiedOffset);
    Ints offsets;
    const Specs specs = dbv::GetDomainFieldSpecs(kObjects, domain_, {"modelguidid"}, 10, offsets);
    ASSERT_EQ(0, Convert(true, specs, &context, dbv::ConvertTableToDomainCB));
    EXPECT_EQ(Reports{}, TakeReports());
    EXPECT_EQ((std::pair<dbv_domain_s*, std::vector<Ints>>{
                  domain_, {{kIdField, 10}, {kFatherField, 10}, {kRefField, 10}}}),
              DomainInfo());
    // Small ids (father 1, 2; ref 5) stay; a row without modification gets its creation.
    EXPECT_EQ((std::vector<Ints>{{1, 0, 51, 1, 51}, {2, 1, 5, 21, 21}, {3, 2, 100, 100, 100}}),
              Rows());
}

TEST_F(CleanAndConvertTest, RowsIdenticalInTheDomainAreReportedAndNoIdentityIndexStays) {
    Insert({Row(1, 7, 0), Row(2, 7, 0)});
    EXPECT_NE(0, Convert(false, {Spec(kFatherField)}));
    EXPECT_EQ(Reports{kIdentical}, TakeReports());

    ASSERT_NO_FATAL_FAILURE(TearDown());
    ASSERT_NO_FATAL_FAILURE(SetUp());
    Insert({Row(1, 7, 0), Row(2, 8, 0)});
    // The armed failure is used up by the drop of the conversion's index, and only by it.
    store_seams::FailOperation("dbv_dropindex", 1);
    EXPECT_EQ(0, Convert(false, {Spec(kFatherField)}));
    const dbv_identityindexoptions_s options{1, 1, 0, {0, 0}};
    dbv_indexstruct* index = nullptr;
    ASSERT_EQ(0, dbv_createdomainidentityindex(table_, &options, &index));
    EXPECT_EQ(0, dbv_dropindex(index));
    EXPECT_EQ(Reports{}, TakeReports());
}

TEST_F(CleanAndConvertTest, TheStoreGetsATerminatedCopyOfTheCallersList) {
    const struct {
        Specs specs;
        std::vector<Ints> fields;
    } cases[] = {
        {{Spec(kRefField), {kFatherField, 4, domain_}}, {{kRefField, 0}, {kFatherField, 4}}},
        {{Spec(kRefField), {-1, 0, nullptr}, Spec(kFatherField)}, {{kRefField, 0}}},
        {{{-1, 0, nullptr}}, {}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        ASSERT_NO_FATAL_FAILURE(TearDown());
        ASSERT_NO_FATAL_FAILURE(SetUp());
        Insert({Row(1, 7, 8), Row(2, 8, 7)});
        // Exactly as long as its records: reading one more would leave the allocation.
        Specs exact;
        exact.reserve(c.specs.size());
        exact.assign(c.specs.begin(), c.specs.end());
        for (dbv_domainfieldspec_s& spec : exact) spec.domain = spec.domain ? domain_ : nullptr;
        EXPECT_EQ(0, Convert(false, exact));
        EXPECT_EQ(c.fields, DomainInfo().second);
        EXPECT_EQ(Reports{}, TakeReports());
    }
}

TEST_F(CleanAndConvertTest, ClearingRestoresTheWorkModeAndReportsAFailedReset) {
    Insert({Row(1, 7, 0), Row(2, 8, 0)});
    ASSERT_EQ(0, dbv_setworkmode(3));
    // Without a row buffer nothing is cleared, silently; the conversion goes on.
    tool_alloc_fail_after(0, 1);
    EXPECT_EQ(0, Convert(true, {Spec(kFatherField)}));
    EXPECT_EQ(1, tool_alloc_failures_injected());
    tool_alloc_fail_reset();
    EXPECT_EQ(domain_, DomainInfo().first);
    // A domain table is cleared, then refused by the store: it is converted already.
    EXPECT_NE(0, Convert(true, {Spec(kFatherField)}));
    EXPECT_EQ(3, dbv_inquireworkmode());
    EXPECT_EQ(Reports{}, TakeReports());

    if (!ResetCanBeMadeToFail()) GTEST_SKIP() << "the store has no seam on dbv_resetchangecontrol";
    store_seams::FailOperation("dbv_resetchangecontrol");
    EXPECT_NE(0, Convert(true, {Spec(kFatherField)}));
    EXPECT_EQ(3, dbv_inquireworkmode());
    EXPECT_EQ((Reports{{"!\"ClearDomainTableChangeControl\"", kSource}}), TakeReports());
}

}  // namespace
