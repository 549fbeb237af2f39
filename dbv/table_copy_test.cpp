// Tests of the row conversion between two layouts and of CopyTableData, above all that the
// current database is the same after the copy on every path.
#include "dbv/table_copy.h"

#include <stdexcept>

#include "dbv/table_introspection.h"
#include "dbv/tables_test_support.h"

namespace {

using namespace dbv_tables_test;

class TableCopyTest : public TablesFixture {
  protected:
    static std::vector<int32_t> TargetIds() {
        std::vector<int32_t> ids;
        for (const TargetRow& row : Rows<TargetRow>(kTarget)) ids.push_back(row.id);
        return ids;
    }
    // The registry and the store both have the test's database current: only its source
    // table holds the marker row 999.
    bool OwnDatabaseIsCurrent() {
        const std::vector<SourceRow> rows = Rows<SourceRow>(kSource);
        return dbv::GetVirtualDatabase() == db_ && rows.size() == 1 && rows[0].id == 999;
    }
    // The marker in the test's database, and a second database whose source holds rows
    // 1, 2 and 3 and whose target holds row 2.
    std::string Prepare() {
        InsertSources({999});
        const std::string other = OtherDatabase("other");
        EXPECT_TRUE(dbv::SetVirtualDatabase(other.c_str()));
        InsertSources({1, 2, 3});
        const TargetRow taken{2, "old", 0, 0, {0, 0}, 0};
        EXPECT_EQ(0, dbv_insert(Table(kTarget), &taken));
        EXPECT_TRUE(dbv::SetVirtualDatabase(db_.c_str()));
        return other;
    }
};

TEST_F(TableCopyTest, ConvertRowMatchesFieldsByNameAndType) {
    const SourceRow from = MakeSource(17, "ABCDEFGH", 0.75f, 9.5);
    TargetRow to{};
    EXPECT_TRUE(dbv::ConvertRow(dbv::GetTableFieldSpecs(kSource), &from,
                                dbv::GetTableFieldSpecs(kTarget), &to));
    EXPECT_EQ(to.id, 17);
    EXPECT_STREQ(to.name, "ABC");  // cut to 3 characters and terminated
    EXPECT_EQ(to.weight, 0);       // a double is not copied into an integer of that name
    EXPECT_EQ(to.extra, 0);        // no source field fills it
    EXPECT_EQ(to.flags[0] * 1000 + to.flags[1], 1000);  // 2 of the 3 bytes
    EXPECT_EQ(to.ratio, 0.75f);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(TableCopyTest, ConvertRowBoundsAndUnsupportedTypes) {
    const char source[4] = {'W', 'X', 'Y', 'Z'};  // fills its field, unterminated
    // The target's bytes after the copy; '#' is never written.
    const std::pair<int32_t, std::string> cases[] = {{0, std::string("######", 6)},
                                                     {1, std::string("\0#####", 6)},
                                                     {3, std::string("WX\0###", 6)},
                                                     {6, std::string("WXYZ\0#", 6)}};
    for (const auto& [size, expected] : cases) {
        char target[6];
        std::memset(target, '#', sizeof target);
        EXPECT_TRUE(dbv::ConvertRow({Spec("t", DBD_TEXT, 4, 0)}, source,
                                    {Spec("t", DBD_TEXT, size, 0)}, target));
        EXPECT_EQ(std::string(target, 6), expected) << size;
    }
    // An unknown type is reported and fails the conversion; the other fields are copied.
    const int32_t from[2] = {5, 6};
    int32_t to[2] = {0, 0};
    EXPECT_FALSE(dbv::ConvertRow({Spec("odd", 7, 1, 0), Spec("n", DBD_INT32, 1, 4)}, from,
                                 {Spec("odd", 7, 1, 0), Spec("n", DBD_INT32, 1, 0)}, to));
    EXPECT_EQ(to[0], 6);
    EXPECT_EQ(Reports(),
              (std::vector<Report>{{"!\"ConvertRow, unsupported field type\"", "rowhive_tools"}}));
}

TEST_F(TableCopyTest, CopiesEveryRowInAnotherDatabase) {
    const std::string other = Prepare();
    std::vector<int32_t> adjusted;
    ASSERT_TRUE(dbv::SetVirtualDatabase(other.c_str()));
    ASSERT_EQ(0, dbv_cleartable(Table(kTarget)));
    ASSERT_TRUE(dbv::SetVirtualDatabase(db_.c_str()));
    EXPECT_TRUE(
        dbv::CopyTableData(other.c_str(), kSource, kTarget, [&](const void* from, void* to) {
            SourceRow source;
            std::memcpy(&source, from, sizeof source);
            static_cast<TargetRow*>(to)->extra = source.id * 10;
            adjusted.push_back(source.id);
        }));
    EXPECT_EQ(adjusted, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_TRUE(OwnDatabaseIsCurrent());
    ASSERT_TRUE(dbv::SetVirtualDatabase(other.c_str()));
    for (const TargetRow& row : Rows<TargetRow>(kTarget)) {
        EXPECT_EQ(row.extra, row.id * 10);
        EXPECT_STREQ(row.name, "ABC");
    }
    EXPECT_EQ(TargetIds(), (std::vector<int32_t>{1, 2, 3}));
}

TEST_F(TableCopyTest, EveryFailureRestoresTheCurrentDatabase) {
    const std::string other = Prepare();
    struct Case {
        const char* what;
        std::string database;
        int32_t to;
        dbv::AdjustRow adjust;
        const char* failingOperation;
        std::vector<Report> reports;
    };
    const std::vector<Case> cases = {
        {"missing table",
         other,
         999,
         nullptr,
         nullptr,
         {{"pFromTable && pToTable", "rowhive_tools"}}},
        {"unknown database", db_ + ".nowhere", kTarget, nullptr, nullptr, {}},
        {"empty database name", "", kTarget, nullptr, nullptr, {}},
        {"failed switch", other, kTarget, nullptr, "dbv::SetCurrentDatabase", {}},
        {"throwing adjuster",
         other,
         kTarget,
         [](const void*, void*) { throw std::runtime_error("adjust"); },
         nullptr,
         {}},
        {"duplicate key", other, kTarget, nullptr, nullptr, {}},
    };
    for (const Case& c : cases) {
        mainResetAssertions();
        if (c.failingOperation != nullptr) store_seams::FailOperation(c.failingOperation, 1);
        EXPECT_FALSE(dbv::CopyTableData(c.database.c_str(), kSource, c.to, c.adjust)) << c.what;
        store_seams::Reset();
        EXPECT_TRUE(OwnDatabaseIsCurrent()) << c.what;
        EXPECT_EQ(Reports(), c.reports) << c.what;
    }
    // Only the duplicate-key copy inserted: row 1 went in, row 2 was refused, 3 never tried.
    ASSERT_TRUE(dbv::SetVirtualDatabase(other.c_str()));
    EXPECT_EQ(TargetIds(), (std::vector<int32_t>{2, 1}));
}

}  // namespace
