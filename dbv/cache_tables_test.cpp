// Tests of the fast cache table registry: registration and its refusals, clearing, walking
// the ids, and renumbering with its failure paths (refused ids, tables that fail to scan,
// to give up a row or to take it back).
#include "dbv/cache_tables.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "outside/assert_log.h"
#include "outside/log_printf.h"
#include "outside/store_seams.h"

namespace {

// The id sits behind another field, so that a wrong offset shows.
struct Row {
    int32_t value;
    int32_t id;
    bool operator==(const Row&) const = default;
};
constexpr int32_t kIdOffset = 4;
constexpr int32_t kRowSize = sizeof(Row);
const char* const kSource = "quickrow_tools";

using Report = std::pair<std::string, std::string>;  // condition text, source
using Call = std::pair<int32_t, std::string>;        // id, label

std::vector<Report> Reports() {
    std::vector<Report> reports;
    for (const AssertRecord& record : mainGetAssertRecords()) {
        reports.emplace_back(record.condition_text, record.source_file);
    }
    return reports;
}

class CacheRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        store_seams::Reset();
        dbv::ClearCacheTableRegistryForTests();
        mainResetAssertions();
        setLogSink([this](int level, const char* text) {
            if (level == 2) notes_.emplace_back(text);
        });
    }
    void TearDown() override {
        store_seams::Reset();
        dbv::ClearCacheTableRegistryForTests();
        mainResetAssertions();
        setLogSink({});
        for (dbf_table_g* table : tables_) EXPECT_EQ(0, dbf_deletetable(table));
    }

    // A table holding rows with `ids` (value = 10 * id), with a unique index on the id.
    dbf_table_g* Table(std::vector<int32_t> ids) {
        dbf_table_g* table = dbf_createtable(kRowSize, "test");
        EXPECT_NE(nullptr, table);
        tables_.push_back(table);
        EXPECT_EQ(0, dbf_createindex(table, kIdOffset, 4));
        for (int32_t id : ids) {
            const Row row{id * 10, id};
            EXPECT_EQ(0, dbf_insert(table, &row));
        }
        return table;
    }
    static std::vector<Row> Rows(dbf_table_g* table) {
        std::vector<Row> rows;
        dbf_cursor_g* cursor = dbf_opencursor_all(table);
        Row row{};
        while (dbf_fetch(cursor, &row) == 0) rows.push_back(row);
        dbf_closecursor(cursor);
        return rows;
    }
    static std::vector<int32_t> Ids(dbf_table_g* table) {
        std::vector<int32_t> ids;
        for (const Row& row : Rows(table)) ids.push_back(row.id);
        return ids;
    }
    static std::vector<Call> Walk() {
        std::vector<Call> calls;
        dbv::CheckQuickrowCaches(
            [&](int32_t id, const std::string& label) { calls.emplace_back(id, label); });
        return calls;
    }
    // Renumbers with id -> map[id] (id + 100 when absent); `refuse` is refused, and -`refuse`
    // makes the callable throw.
    bool Renumber(std::map<int32_t, int32_t> map = {}, int32_t refuse = 0) {
        calls_.clear();
        return dbv::UpdateQuickrowCachesCB(
            0,
            [&](void* context, int32_t id, int32_t* newId, const char* label) {
                EXPECT_EQ(this, context);
                calls_.emplace_back(id, label);
                if (id == refuse) return false;
                if (id == -refuse) throw std::runtime_error("refused");
                *newId = map.count(id) != 0 ? map[id] : id + 100;
                return true;
            },
            this);
    }

    std::vector<dbf_table_g*> tables_;
    std::vector<std::string> notes_;  // level-2 log texts
    std::vector<Call> calls_;         // of the last Renumber
};

TEST_F(CacheRegistryTest, RegisteringTwiceGivesTwoEntriesAndUnregisteringRemovesTheFirst) {
    dbf_table_g* table = Table({1});
    EXPECT_TRUE(dbv::RegisterCacheTable(table, kIdOffset, kRowSize, "first"));
    EXPECT_TRUE(Reports().empty());
    EXPECT_TRUE(dbv::RegisterCacheTable(table, kIdOffset, kRowSize, "second"));
    EXPECT_EQ(
        (std::vector<Report>{{"!IsCacheTableRegistered(pTable, IdFieldOffset, RowSize)", kSource}}),
        Reports());
    EXPECT_EQ(
        (std::vector<Call>{{1, "CheckQuickrowCache/first"}, {1, "CheckQuickrowCache/second"}}),
        Walk());

    mainResetAssertions();
    EXPECT_TRUE(dbv::UnregisterCacheTable(table, kIdOffset, kRowSize));
    EXPECT_EQ((std::vector<Call>{{1, "CheckQuickrowCache/second"}}), Walk());
    EXPECT_TRUE(Reports().empty());

    // An unknown triple (other table, offset or size) is reported and removes nothing.
    EXPECT_TRUE(dbv::UnregisterCacheTable(table, 0, kRowSize));
    EXPECT_TRUE(dbv::UnregisterCacheTable(Table({}), kIdOffset, kRowSize));
    EXPECT_EQ(2u, Reports().size());
    EXPECT_EQ((Report{"it != s_aQuickrowTables.end()", kSource}), Reports()[0]);
    EXPECT_EQ((std::vector<Call>{{1, "CheckQuickrowCache/second"}}), Walk());
}

TEST_F(CacheRegistryTest, TablesWhoseIdDoesNotLieInTheRowAreRefused) {
    dbf_table_g* table = Table({1});
    dbf_table_g* wide = dbf_createtable(12, "wide");
    tables_.push_back(wide);
    const std::string layout =
        "RowSize >= kIdSize && IdFieldOffset >= 0 && IdFieldOffset <= RowSize - kIdSize";
    const std::string size = "RowSize == dbf_getrowlength(pTable)";
    const struct {
        dbf_table_g* table;
        int32_t offset, size;
        std::string report;
    } cases[] = {
        {nullptr, 0, kRowSize, "pTable"},
        {table, -1, kRowSize, layout},
        {table, 5, kRowSize, layout},
        {table, INT32_MIN, kRowSize, layout},
        {table, INT32_MAX, kRowSize, layout},
        {table, 0, 3, layout},
        {table, 0, -8, layout},
        {table, 0, 12, size},
        {wide, 0, kRowSize, size},
    };
    for (const auto& c : cases) {
        mainResetAssertions();
        EXPECT_FALSE(dbv::RegisterCacheTable(c.table, c.offset, c.size, "bad"));
        EXPECT_EQ((std::vector<Report>{{c.report, kSource}}), Reports())
            << c.offset << "/" << c.size;
    }
    EXPECT_TRUE(Walk().empty());

    // The last four bytes of a row hold an id as well as any others; a null name is empty.
    mainResetAssertions();
    EXPECT_TRUE(dbv::RegisterCacheTable(table, kIdOffset, kRowSize, nullptr));
    EXPECT_TRUE(dbv::RegisterCacheTable(table, 0, kRowSize, "value"));
    EXPECT_EQ((std::vector<Call>{{1, "CheckQuickrowCache/"}, {10, "CheckQuickrowCache/value"}}),
              Walk());
    EXPECT_TRUE(Reports().empty());
}

TEST_F(CacheRegistryTest, ClearingGoesOnPastATableThatFails) {
    EXPECT_TRUE(dbv::ClearCacheTables());  // empty registry
    std::vector<dbf_table_g*> tables = {Table({1, 2}), Table({3}), Table({4, 5})};
    for (dbf_table_g* table : tables) dbv::RegisterCacheTable(table, kIdOffset, kRowSize, "t");
    store_seams::FailOperation("dbf_cleartable", 1);
    EXPECT_FALSE(dbv::ClearCacheTables());
    EXPECT_EQ((std::vector<Report>{{"!\"Clearing a cache table failed\"", kSource}}), Reports());
    EXPECT_EQ(2, dbf_getrowcount(tables[0]));
    EXPECT_EQ(0, dbf_getrowcount(tables[1]) + dbf_getrowcount(tables[2]));
}

TEST_F(CacheRegistryTest, CheckWalksEveryIdOfEveryTableInOrder) {
    ASSERT_TRUE(dbv::RegisterCacheTable(Table({3, 0, -2}), kIdOffset, kRowSize, "objects"));
    ASSERT_TRUE(dbv::RegisterCacheTable(Table({}), kIdOffset, kRowSize, "empty"));
    ASSERT_TRUE(dbv::RegisterCacheTable(Table({7}), kIdOffset, kRowSize, "parts"));
    EXPECT_EQ((std::vector<Call>{{3, "CheckQuickrowCache/objects"},
                                 {0, "CheckQuickrowCache/objects"},
                                 {-2, "CheckQuickrowCache/objects"},
                                 {7, "CheckQuickrowCache/parts"}}),
              Walk());
    dbv::CheckQuickrowCaches({});  // nothing happens

    // A table whose cursor cannot be opened is skipped.
    store_seams::FailOperation("dbf_opencursor_all", 1);
    EXPECT_EQ((std::vector<Call>{{7, "CheckQuickrowCache/parts"}}), Walk());
}

TEST_F(CacheRegistryTest, RenumberingMovesPositiveIdsBehindTheOthers) {
    EXPECT_TRUE(Renumber());  // empty registry
    dbf_table_g* table = Table({5, 0, -3, 1, 2});
    ASSERT_TRUE(dbv::RegisterCacheTable(table, kIdOffset, kRowSize, "objects"));
    // 1 and 2 swap ids: legal under the unique index, since the rows are out during the scan.
    EXPECT_TRUE(Renumber({{1, 2}, {2, 1}}));
    const std::string label = "UpdateQuickrowCache/objects";
    EXPECT_EQ((std::vector<Call>{{5, label}, {1, label}, {2, label}}), calls_);
    EXPECT_EQ((std::vector<Row>{{0, 0}, {-30, -3}, {50, 105}, {10, 2}, {20, 1}}), Rows(table));
    // An empty callable or a null context is refused before anything is touched.
    EXPECT_FALSE(dbv::UpdateQuickrowCachesCB(0, {}, this));
    EXPECT_FALSE(dbv::UpdateQuickrowCachesCB(
        0, [](void*, int32_t, int32_t*, const char*) -> bool { std::abort(); }, nullptr));
    EXPECT_EQ(5u, Rows(table).size());
    EXPECT_TRUE(notes_.empty());
    EXPECT_TRUE(Reports().empty());
}

// Each way a table can fail: the failed table is logged once by name, keeps every row
// (except one the table refuses to take back), and the next table is still renumbered.
TEST_F(CacheRegistryTest, AFailedTableIsLoggedOnceAndKeepsItsRows) {
    const struct {
        const char* name;
        const char* seam;  // operation made to fail once, or null
        int32_t refuse;    // id the callable refuses, or 0
        std::vector<int32_t> ids;
    } cases[] = {
        // Refused 3: 1 and 2 were out already and come back renumbered; 3 and 4 stay.
        {"refused", nullptr, 3, {3, 4, 101, 102}},
        // A callable that throws at 3 (id -3 asks Renumber to throw) refuses it likewise.
        {"throwing", nullptr, -3, {3, 4, 101, 102}},
        // The first row cannot be deleted: it stays as it was, and the scan ends.
        {"undeletable", "dbf_deletecurrent", 0, {1, 2, 3, 4}},
        // The first row taken out cannot be put back: it is lost; the others come back.
        {"uninsertable", "dbf_insert", 0, {102, 103, 104}},
        // No cursor: nothing changes.
        {"unscannable", "dbf_opencursor_all", 0, {1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        dbv::ClearCacheTableRegistryForTests();
        notes_.clear();
        dbf_table_g* failing = Table({1, 2, 3, 4});
        dbf_table_g* next = Table({1, 0});
        ASSERT_TRUE(dbv::RegisterCacheTable(failing, kIdOffset, kRowSize, c.name));
        ASSERT_TRUE(dbv::RegisterCacheTable(next, kIdOffset, kRowSize, "next"));
        if (c.seam != nullptr) store_seams::FailOperation(c.seam, 1);
        EXPECT_FALSE(Renumber({}, c.refuse));
        EXPECT_EQ((std::vector<std::string>{"Updating fast cache table failed (" +
                                            std::string(c.name) + ")."}),
                  notes_);
        EXPECT_EQ(c.ids, Ids(failing));
        EXPECT_EQ((std::vector<int32_t>{0, 101}), Ids(next));
    }
    EXPECT_TRUE(Reports().empty());
}

}  // namespace
