// Tests of the table store wrappers: undo log clearing, inserting with time ids, table
// blocks with the not-a-number reporter, the table list and the size inquiry.
#include "dbv/table_store_wrappers.h"

#include <cmath>
#include <limits>

#include "dbv/table_size_arithmetic.h"
#include "dbv/tables_test_support.h"
#include "outside/log_printf.h"

namespace {

using namespace dbv_tables_test;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

class StoreWrappersTest : public TablesFixture {
  protected:
    void SetUp() override {
        TablesFixture::SetUp();
        setLogSink([this](int level, const char* text) {
            if (std::strncmp(text, "NaN", 3) == 0) logged_.push_back(std::to_string(level) + text);
        });
        file_ = std::tmpfile();
        ASSERT_NE(nullptr, file_);
    }
    void TearDown() override {
        setLogSink(nullptr);
        if (file_ != nullptr) std::fclose(file_);
        TablesFixture::TearDown();
        if (domain_ != nullptr) dbv_deletedomain(domain_);
    }
    // True when arming the store seam `operation` makes `failed` see the failure; a test
    // that needs a seam the store does not have is skipped.
    template <typename Probe>
    static bool SeamWorks(const char* operation, Probe failed) {
        store_seams::FailOperation(operation, 1);
        const bool works = failed();
        store_seams::Reset();
        return works;
    }
    static std::vector<int32_t> SourceIds() {
        std::vector<int32_t> ids;
        for (const SourceRow& row : Rows<SourceRow>(kSource)) ids.push_back(row.id);
        return ids;
    }
    static int32_t Size(dbv_tablestruct* table, int32_t (&v)[6]) {
        return dbv::dbv_inquiretablesize(table, &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]);
    }

    FILE* file_ = nullptr;
    dbv_domain_s* domain_ = nullptr;
    std::vector<std::string> logged_;
};

TEST_F(StoreWrappersTest, ClearUndoLog) {
    ASSERT_EQ(0, dbv::SetTableLogMode(Table(kSource), true));
    InsertSources({1, 2});
    ASSERT_EQ(dbv_getundologlength(), 2);
    const auto noSavepoint = [] {
        dbv_savepoint_s* savepoint = dbv_savepoint();
        dbv_deletesavepoint(savepoint);
        return savepoint == nullptr;
    };
    if (SeamWorks("dbv_savepoint", noSavepoint)) {
        store_seams::FailOperation("dbv_savepoint", 1);
        EXPECT_FALSE(dbv::ClearUndoLog());  // no save point: nothing cleared
        EXPECT_EQ(dbv_getundologlength(), 2);
    }
    EXPECT_TRUE(dbv::ClearUndoLog());
    EXPECT_EQ(dbv_getundologlength(), 0);
}

TEST_F(StoreWrappersTest, InsertDomainAndDomainBlocks) {
    SourceRow row = MakeSource(5, "plain");
    EXPECT_EQ(0, dbv::InsertDomain(Table(kSource), &row, 123, 456));  // ids ignored
    EXPECT_NE(0, dbv::InsertDomain(Table(kSource), &row, 0, 0));      // the store's code
    EXPECT_EQ(0, dbv::InsertDomain(nullptr, &row, 1, 1));
    EXPECT_EQ(0, dbv::InsertDomain(Table(kSource), nullptr, 1, 1));
    EXPECT_EQ(SourceIds(), (std::vector<int32_t>{5}));

    ASSERT_EQ(0, dbv_createdomain(&domain_));
    const dbv_domainfieldspec_s specs[] = {{1, 0, domain_}, {-1, 0, nullptr}};
    ASSERT_EQ(0, dbv_converttable_domain(Table(kDomain), domain_, specs, nullptr, nullptr));
    int32_t first = 0;
    ASSERT_EQ(0, dbv_newidrange(domain_, 2, &first));
    DomainRow domainRow{1, 1, "one"};
    EXPECT_EQ(0, dbv::InsertDomain(Table(kDomain), &domainRow, first, first + 1));
    domainRow.id = 2;
    EXPECT_NE(0, dbv::InsertDomain(Table(kDomain), &domainRow, first + 1000, 0));  // unknown id
    dbv_cursorstruct* cursor = dbv_opencursor_all(Table(kDomain));
    int32_t times[2] = {0, 0};
    ASSERT_EQ(0, dbv_fetch(cursor, &domainRow));
    EXPECT_EQ(0, dbv_getcursortime(cursor, &times[0], &times[1]));
    EXPECT_EQ(times[0] * 1000 + times[1], first * 1000 + first + 1);
    EXPECT_NE(0, dbv_fetch(cursor, &domainRow));
    dbv_closecursor(cursor);
    // With a header the table goes through domain blocks, which are no plain blocks.
    dbv_domainheader_s* header = nullptr;
    ASSERT_EQ(0, dbv_createdomainheader(domain_, &header));
    ASSERT_EQ(0, dbv::WriteTableDomain(file_, header, Table(kDomain)));
    ASSERT_EQ(0, dbv::WriteTableDomain(file_, header, Table(kDomain)));
    ASSERT_EQ(0, dbv_cleartable(Table(kDomain)));
    std::rewind(file_);
    EXPECT_NE(0, dbv::SkipTableDomain(file_, nullptr));
    std::rewind(file_);
    EXPECT_EQ(0, dbv::SkipTableDomain(file_, header));
    EXPECT_EQ(0, dbv::ReadTableDomain(file_, header, Table(kDomain)));
    EXPECT_EQ(Rows<DomainRow>(kDomain).size(), 1u);
    EXPECT_EQ(std::fgetc(file_), EOF);
    dbv_deletedomainheader(header);
}

TEST_F(StoreWrappersTest, NotANumberReporterDuringPlainReads) {
    EXPECT_EQ(0, dbv::ReadTableDomain(nullptr, nullptr, Table(kSource)));
    EXPECT_EQ(0, dbv::WriteTableDomain(nullptr, nullptr, Table(kSource)));
    EXPECT_EQ(Reports(), (std::vector<Report>(2, {"pFile", "dbv_interface"})));
    InsertSources({1}, kNaN);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(0, dbv::WriteTableDomain(file_, nullptr, Table(kSource)));
    std::rewind(file_);
    EXPECT_EQ(0, dbv::SkipTableDomain(file_, nullptr));
    EXPECT_EQ(0, dbv::ReadTableDomain(file_, nullptr, Table(kSource)));
    EXPECT_TRUE(std::isnan(Rows<SourceRow>(kSource).at(0).ratio));
    EXPECT_EQ(logged_, (std::vector<std::string>{"2NaN value, db " + db_ +
                                                 ", table bt_source, column 1\n"}));
    // A refused read (rows of another length), then a read into a table of a database
    // that is not current: its name is printed empty.
    EXPECT_NE(0, dbv::ReadTableDomain(file_, nullptr, Table(kTarget)));
    std::rewind(file_);
    const std::string other = OtherDatabase("other");
    ASSERT_TRUE(dbv::SetVirtualDatabase(other.c_str()));
    dbv_tablestruct* foreign = Table(kSource);
    ASSERT_TRUE(dbv::SetVirtualDatabase(db_.c_str()));
    logged_.clear();
    EXPECT_EQ(0, dbv::ReadTableDomain(file_, nullptr, foreign));
    EXPECT_EQ(logged_,
              (std::vector<std::string>{"2NaN value, db " + db_ + ", table , column 1\n"}));
    // The reporter was removed every time: the store reads without it.
    logged_.clear();
    EXPECT_EQ(0, dbv_readtableinmode(file_, Table(kSource), 1));
    std::rewind(file_);
    EXPECT_EQ(0, dbv_readtableinmode(file_, foreign, 1));
    EXPECT_TRUE(logged_.empty());
}

TEST_F(StoreWrappersTest, InquireTablesIsCapped) {
    std::vector<dbv_tablestruct*> tables(dbv::kMaxInquiredTables + 1, nullptr);
    int32_t count = -1;
    EXPECT_EQ(0, dbv::dbv_inquiretables(tables.data(), &count));
    EXPECT_EQ(std::vector<dbv_tablestruct*>(tables.begin(), tables.begin() + count),
              (std::vector<dbv_tablestruct*>{Table(1), Table(2), Table(3)}));
    for (int32_t number = 100; number < 1100; ++number) {
        ASSERT_EQ(0, dbd_createvirtualtable("bt_target", number, 1, 1, 1));
    }
    EXPECT_EQ(0, dbv::dbv_inquiretables(tables.data(), &count));
    EXPECT_EQ(count, 1000);
    EXPECT_EQ(tables[999], Table(1096));
    EXPECT_EQ(tables[1000], nullptr);
    EXPECT_EQ(1, dbv::dbv_inquiretables(tables.data(), nullptr));
    ASSERT_EQ(0, dbd_dropvirtualdatabase(db_.c_str()));  // no current database
    EXPECT_EQ(1, dbv::dbv_inquiretables(tables.data(), &count));
    EXPECT_EQ(count, 1000);
}

TEST_F(StoreWrappersTest, InquireTableSize) {
    InsertSources({1, 2, 3});
    int32_t v[6] = {-1, -1, -1, -1, -1, -1};
    ASSERT_EQ(0, Size(Table(kSource), v));
    EXPECT_EQ(v[0], 3);       // rows in use
    EXPECT_EQ(v[1], 3 * 32);  // their bytes
    EXPECT_GE(v[3], v[2]);
    EXPECT_GE(v[2], v[1]);
    EXPECT_GE(v[5], v[4]);
    EXPECT_GT(v[5], 0);  // indexes take room beyond the rows
}

TEST_F(StoreWrappersTest, InquireTableSizeFailures) {
    int32_t v[6] = {-1, -1, -1, -1, -1, -1};
    EXPECT_EQ(1, Size(nullptr, v));
    EXPECT_EQ(
        1, dbv::dbv_inquiretablesize(Table(kSource), nullptr, &v[1], &v[2], &v[3], &v[4], &v[5]));
    // A statistic that cannot be read: nothing set, the statistics released (the sanitizer
    // build would report a leaked handle).
    store_seams::FailOperation("dbv_getstatistics", 1);
    EXPECT_EQ(1, Size(Table(kSource), v));
    EXPECT_EQ(std::vector<int32_t>(v, v + 6), std::vector<int32_t>(6, -1));
}

TEST_F(StoreWrappersTest, InquireTableSizeWithANegativeRowLength) {
    int32_t v[6] = {-1, -1, -1, -1, -1, -1};
    InsertSources({1, 2, 3});
    dbv_tablestruct* table = Table(kSource);
    if (!SeamWorks("dbv_getrowlength", [table] { return dbv_getrowlength(table) < 0; })) {
        GTEST_SKIP() << "the store has no seam that makes dbv_getrowlength negative";
    }
    store_seams::FailOperation("dbv_getrowlength", 1);
    EXPECT_EQ(1, Size(table, v));
    EXPECT_EQ(std::vector<int32_t>(v, v + 6), (std::vector<int32_t>{3, -1, -1, -1, -1, -1}));
}

TEST(TableSizeArithmetic, TruncatesTowardZeroAndClamps) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, int32_t> cases[] = {{2.9, 2},
                                                {-2.9, -2},
                                                {2147483647.9, INT32_MAX},
                                                {2147483648.0, INT32_MAX},
                                                {1e300, INT32_MAX},
                                                {-1e300, INT32_MIN},
                                                {inf, INT32_MAX},
                                                {-inf, INT32_MIN},
                                                {std::nan(""), 0}};
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(dbv::ClampedToInt32(dbv::TruncatedStatistic(value)), expected) << value;
    }
    EXPECT_EQ(dbv::ClampedToInt32(int64_t{INT32_MAX} * 65536), INT32_MAX);
    EXPECT_EQ(dbv::ClampedToInt32(dbv::TruncatedStatistic(-1e300) - dbv::TruncatedStatistic(1e300)),
              INT32_MIN);
    EXPECT_EQ(dbv::ClampedToInt32(dbv::TruncatedStatistic(3e9) - dbv::TruncatedStatistic(2.5e9)),
              500000000);
}

}  // namespace
