// Tests of a table's domain information and of the search for a deleted row, against
// bt_domain made a table of a fresh domain with "owner" as its domain field.
#include "dbv/table_domain_info.h"

#include <array>

#include "dbv/tables_test_support.h"

namespace {

using namespace dbv_tables_test;

class TableDomainInfoTest : public TablesFixture {
  protected:
    void SetUp() override {
        TablesFixture::SetUp();
        ASSERT_EQ(0, dbv_createdomain(&domain_));
        ASSERT_EQ(0, dbv_createdomain(&otherDomain_));
        ASSERT_EQ(0, dbv_createdomainevents(domain_, &events_));
    }
    void TearDown() override {
        TablesFixture::TearDown();
        dbv_deletedomain(domain_);
        dbv_deletedomain(otherDomain_);
    }
    // Makes bt_domain a table of domain_ whose "owner" field has `smallIds` small ids.
    void Convert(int32_t smallIds = 0) {
        const dbv_domainfieldspec_s specs[] = {{1, smallIds, domain_}, {-1, 0, nullptr}};
        ASSERT_EQ(0, dbv_converttable_domain(Table(kDomain), domain_, specs, nullptr, nullptr));
    }
    bool Fields(dbv_tablestruct* table, dbv_domain_s* domain) {
        return dbv::GetTableDomainFields(table, domain, fields_, smallIds_);
    }

    dbv_domain_s* domain_ = nullptr;
    dbv_domain_s* otherDomain_ = nullptr;
    dbv_domainevents_s* events_ = nullptr;
    std::vector<int32_t> fields_;
    int32_t smallIds_ = 0;
};

TEST_F(TableDomainInfoTest, DomainFieldsAndSmallIds) {
    Convert(5);
    // smallIdCount before, after, and whether the counts conflict.
    const std::array<int32_t, 3> cases[] = {{0, 5, 0}, {5, 5, 0}, {3, 5, 1}, {9, 9, 1}};
    for (const auto& [before, after, conflict] : cases) {
        mainResetAssertions();
        fields_ = {42};  // appended to, not replaced
        smallIds_ = before;
        EXPECT_TRUE(Fields(Table(kDomain), domain_));
        EXPECT_EQ(fields_, (std::vector<int32_t>{42, 1}));
        EXPECT_EQ(smallIds_, after);
        EXPECT_EQ(Reports().size(), static_cast<size_t>(conflict)) << before;
    }
    EXPECT_EQ(Reports(), (std::vector<Report>{{"!\"Conflicting nrsmallids\"", "rowhive_tools"}}));
}

TEST_F(TableDomainInfoTest, FieldOfAnotherDomainIsReported) {
    const dbv_domainfieldspec_s specs[] = {{1, 0, otherDomain_}, {-1, 0, nullptr}};
    ASSERT_EQ(0, dbv_converttable_domain(Table(kDomain), domain_, specs, nullptr, nullptr));
    EXPECT_TRUE(Fields(Table(kDomain), domain_));
    EXPECT_EQ(fields_, (std::vector<int32_t>{1}));
    EXPECT_EQ(Reports(),
              (std::vector<Report>{{"aDomainFieldSpec[ii].pdomain == pDomain", "rowhive_tools"}}));
}

TEST_F(TableDomainInfoTest, MembershipAndRefusedDomainFields) {
    int32_t count = -1;
    EXPECT_TRUE(dbv::TableBelongsToGivenDomain(kDomain, nullptr, count));  // a plain table
    EXPECT_EQ(count, 0);
    count = -1;
    EXPECT_FALSE(dbv::TableBelongsToGivenDomain(kDomain, domain_, count));
    EXPECT_FALSE(dbv::TableBelongsToGivenDomain(999, nullptr, count));
    EXPECT_EQ(count, -1);
    EXPECT_FALSE(Fields(nullptr, domain_));
    EXPECT_TRUE(Reports().empty());
    EXPECT_FALSE(Fields(Table(kDomain), domain_));  // a plain table
    Convert();
    EXPECT_TRUE(dbv::TableBelongsToGivenDomain(kDomain, domain_, count));
    EXPECT_EQ(count, 1);
    EXPECT_FALSE(dbv::TableBelongsToGivenDomain(kDomain, otherDomain_, count));
    EXPECT_FALSE(Fields(Table(kDomain), otherDomain_));
    EXPECT_TRUE(fields_.empty());
    EXPECT_EQ(Reports(), (std::vector<Report>{{"!\"Domains differ\"", "rowhive_tools"},
                                              {"!\"Domains differ\"", "rowhive_tools"}}));
}

TEST_F(TableDomainInfoTest, StoreThatCannotTellIsReported) {
    Convert();
    int32_t count = 0;
    store_seams::FailOperation("dbv_gettabledomaininfo", 1);
    if (dbv::TableBelongsToGivenDomain(kDomain, domain_, count)) {
        GTEST_SKIP() << "the store has no seam that makes dbv_gettabledomaininfo fail";
    }
    store_seams::FailOperation("dbv_gettabledomaininfo", 1);
    EXPECT_FALSE(Fields(Table(kDomain), domain_));
    EXPECT_EQ(Reports(), (std::vector<Report>{{"!\"dbv_gettabledomaininfo\"", "rowhive_tools"}}));
}

TEST_F(TableDomainInfoTest, MoreThanAHundredDomainFieldsAreCut) {
    // Table bt_wide: 101 integer columns c0 ... c100, all of them domain fields.
    static std::array<std::string, 101> names;
    static std::array<dbd_columndef_t, 101> columns;
    std::vector<dbv_domainfieldspec_s> specs;
    for (int32_t i = 0; i < 101; ++i) {
        names[static_cast<size_t>(i)] = "c" + std::to_string(i);
        columns[static_cast<size_t>(i)] = {names[static_cast<size_t>(i)].c_str(), DBD_INT32, 0};
        specs.push_back({i, 0, domain_});
    }
    specs.push_back({-1, 0, nullptr});
    static const dbd_indexdef_t index[] = {{"wide_c0", {"c0"}, 1, 1}};
    static const dbd_tabledef_t wide = {"bt_wide", columns.data(), 101, index, 1, "wide_c0"};
    ASSERT_EQ(0, dbd_definevirtualtable(&wide));
    ASSERT_EQ(0, dbd_createvirtualtable("bt_wide", 50, 1, 1, 1));
    ASSERT_EQ(0, dbv_converttable_domain(Table(50), domain_, specs.data(), nullptr, nullptr));

    int32_t count = 0;
    EXPECT_TRUE(dbv::TableBelongsToGivenDomain(50, domain_, count));
    EXPECT_EQ(count, 101);
    EXPECT_TRUE(Fields(Table(50), domain_));
    ASSERT_EQ(fields_.size(), 100u);
    EXPECT_EQ(fields_.back(), 99);
    EXPECT_EQ(Reports(), (std::vector<Report>{{"nDomainFields <= ARRAY_SIZE", "rowhive_tools"}}));
}

TEST_F(TableDomainInfoTest, GetDeletedRow) {
    Convert();
    for (int32_t id : {7, 8, 9}) {
        const DomainRow row{id, 1, "row"};
        ASSERT_EQ(0, dbv_insert(Table(kDomain), &row));
    }
    dbv_event_s* event = nullptr;
    ASSERT_EQ(0, dbv_createevent(events_, "Saved", &event));
    const DomainRow ten{10, 1, "ten"};  // created after the event: no delete against it
    ASSERT_EQ(0, dbv_insert(Table(kDomain), &ten));
    for (const DomainRow& key : {DomainRow{7, 0, {}}, DomainRow{10, 0, {}}}) {
        ASSERT_EQ(0, dbv_delete(dbd_getvirtualprimarypointer(kDomain), &key));
    }
    // Outside the live work mode: refused, the mode untouched.
    DomainRow row{-1, -1, "untouched"};
    for (int32_t mode : {0, 5, 9}) {
        ASSERT_EQ(0, dbv_setworkmode(mode));
        EXPECT_FALSE(dbv::GetDeletedRow(kDomain, 7, 0, event, &row));
        EXPECT_EQ(dbv_inquireworkmode(), mode);
    }
    ASSERT_EQ(0, dbv_setworkmode(DBV_WORKMODE_LIVE));
    // Live row, created after the event, no such id, unknown and plain tables, bad offsets.
    const std::array<int32_t, 3> misses[] = {{kDomain, 8, 0}, {kDomain, 10, 0}, {kDomain, 77, 0},
                                             {999, 7, 0},     {kSource, 7, 0},  {kDomain, 7, 21},
                                             {kDomain, 7, -4}};
    for (const auto& [table, id, offset] : misses) {
        EXPECT_FALSE(dbv::GetDeletedRow(table, id, offset, event, &row)) << table << "/" << id;
        EXPECT_EQ(dbv_inquireworkmode(), DBV_WORKMODE_LIVE);
    }
    EXPECT_EQ(row.id, -1);
    EXPECT_TRUE(dbv::GetDeletedRow(kDomain, 7, 0, event, &row));
    EXPECT_EQ(row.id, 7);
    EXPECT_EQ(dbv_inquireworkmode(), DBV_WORKMODE_LIVE);
    row = {};
    EXPECT_TRUE(dbv::GetDeletedRow(kDomain, 1, 4, event, &row));  // "owner" is 1 in row 7
    EXPECT_EQ(row.id, 7);
}

}  // namespace
