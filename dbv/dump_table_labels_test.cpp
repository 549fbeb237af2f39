// The table dump's labels on a domain table: save actions and times in the row headers,
// identifier labels with the small-id limit, a format function and guid marks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "dbv/dump_table.h"
#include "dbv/time_ids.h"
#include "outside/store_domain_tables.h"
#include "outside/table_store.h"

namespace {

const dbd_columndef_t kColumns[] = {{"key", DBD_INT32, 0}, {"owner", DBD_INT32, 0}};
const dbd_indexdef_t kIndexes[] = {{"pk", {"key"}, 1, 1}};
const dbd_tabledef_t kLabelTable = {"DumpLabels", kColumns, 2, kIndexes, 1, "pk"};
constexpr int32_t kTable = 8;

class DumpLabels : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(dbd_definevirtualtable(&kLabelTable), 0);
        dbd_dropvirtualdatabase("dump_labels");
        ASSERT_EQ(dbd_createvirtualdatabase("dump_labels"), 0);
        ASSERT_EQ(dbd_createvirtualtable("DumpLabels", kTable, 1, 1, 1), 0);
        ASSERT_EQ(dbv_createdomain(&domain_), 0);
        ASSERT_EQ(dbv_createdomainevents(domain_, &events_), 0);
        const dbv_domainfieldspec_s specs[] = {{1, 3, domain_}, {-1, 0, nullptr}};
        table_ = dbd_getvirtualtablepointer(kTable);
        ASSERT_EQ(dbv_converttable_domain(table_, domain_, specs, nullptr, nullptr), 0);
    }
    void TearDown() override {
        dbv_setworkmode(DBV_WORKMODE_LIVE);
        dbd_dropvirtualdatabase("dump_labels");
        dbv_deletedomain(domain_);
    }
    std::string write(dbv::DumpTable_c& dump, int32_t mode) {
        char* text = nullptr;
        size_t size = 0;
        FILE* file = open_memstream(&text, &size);
        EXPECT_TRUE(dump.Write(kTable, file, mode));
        std::fclose(file);
        std::string out(text, size);
        std::free(text);
        return out;
    }
    std::string guid(int32_t id) { return dbv::TimeIdToString(static_cast<uint32_t>(id), domain_); }

    dbv_domain_s* domain_ = nullptr;
    dbv_domainevents_s* events_ = nullptr;
    dbv_event_s* before_ = nullptr;
    dbv_tablestruct* table_ = nullptr;
};

TEST_F(DumpLabels, RowHeadersCarrySaveActionsAndTimesAndIdsTheirLabels) {
    // Time ids: rows 1, 2, 3; the event 4; the delete of key 3 is 5; key 4 is 6.
    const int32_t rows[][2] = {{1, 2}, {2, 4}, {3, 2}};  // owner 2 is below the small-id count 3
    for (const auto& row : rows) ASSERT_EQ(dbv_insert(table_, row), 0);
    ASSERT_EQ(dbv_createevent(events_, "Before", &before_), 0);
    ASSERT_EQ(dbv_delete(dbd_getvirtualprimarypointer(kTable), rows[2]), 0);
    const int32_t later[2] = {4, 2};
    ASSERT_EQ(dbv_insert(table_, later), 0);

    dbv::DumpTable_c dump;
    dump.SetLogInfoOutput(false);
    dump.SetDbvGuidWriting(true, true, domain_, nullptr, before_);
    dump.SetGuidMarkByEvent("[+]", 3);  // marks the ids causally after 3
    const auto times = [&](int32_t id, const char* mark) {
        return " " + std::to_string(id) + "/" + guid(id) + mark + "   " + std::to_string(id) + "/" +
               guid(id) + mark + "\n      { \n          key = ";
    };
    const std::string expected =
        "    Table DumpLabels -------------------------------------\n    {\n"
        "      rowNOP" +
        times(1, "") +
        "1\n          owner = '2'\n      }\n"
        "      rowNOP" +
        times(2, "") + "2\n          owner = '4/" + guid(4) +
        "[+]'\n      }\n"
        "      rowINSERT" +
        times(6, "[+]") +
        "4\n          owner = '2'\n      }\n"
        "      rowDELETE" +
        times(3, "") + "3\n          owner = '2'\n      }\n    }\n";
    EXPECT_EQ(write(dump, DBV_WORKMODE_HISTORY), expected);

    // Live mode: no save action, no history row; a format function replaces the label.
    dump.SetDomainIdFormatFunc([](int32_t id, const std::string& time) {
        return "#" + std::to_string(id) + (time.empty() ? "" : "+");
    });
    const std::string live = write(dump, DBV_WORKMODE_LIVE);
    EXPECT_EQ(live.find("key = 3"), std::string::npos);
    EXPECT_NE(live.find("      row" + times(1, "") + "1\n          owner = '2'\n"),
              std::string::npos)
        << live;
    EXPECT_NE(live.find("          owner = '#4+'\n"), std::string::npos) << live;
    EXPECT_EQ(dbv_inquireworkmode(), DBV_WORKMODE_LIVE);  // restored after the write
}

TEST_F(DumpLabels, MappingGivesOldTimesAndErrorWhereItHasNone) {
    int32_t first = 0;
    ASSERT_EQ(dbv_newidrange(domain_, 3, &first), 0);  // ids 1 ... 3
    const int32_t row[2] = {1, 3};
    ASSERT_EQ(dbv_insert(table_, row), 0);
    dbv_timeidmapping_s* mapping = nullptr;
    ASSERT_EQ(dbv_createtimeidmapping(&mapping), 0);
    dbv::DumpTable_c dump;
    dump.SetLogInfoOutput(false);
    dump.SetDbvGuidWriting(false, true, domain_, mapping, nullptr);
    EXPECT_NE(write(dump, DBV_WORKMODE_LIVE).find("owner = '3/ERROR/" + guid(3) + "'\n"),
              std::string::npos);
    ASSERT_EQ(dbv_timeidmapping_add(mapping, 3, 2), 0);
    EXPECT_NE(write(dump, DBV_WORKMODE_LIVE).find("owner = '3/" + guid(2) + "/" + guid(3) + "'\n"),
              std::string::npos);
    dbv_deletetimeidmapping(mapping);
}

}  // namespace
