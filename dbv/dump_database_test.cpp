// The database dump: exact headers, the name filter, the registry, progress stops, the
// marks of tables a load could not read, and the temporary database of a file dump.
#include "dbv/dump_database.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "dbv/domain_registry.h"
#include "outside/assert_log.h"
#include "outside/store_domain_tables.h"
#include "outside/store_seams.h"
#include "outside/table_store.h"

namespace {

const dbd_columndef_t kColumns[] = {{"id", DBD_INT32, 0}};
const dbd_indexdef_t kIndexes[] = {{"pk", {"id"}, 1, 1}};
const char* const kNames[] = {"Part1", "bolt", "Other", "Last"};
const dbd_tabledef_t kTables[] = {{"Part1", kColumns, 1, kIndexes, 1, "pk"},
                                  {"bolt", kColumns, 1, kIndexes, 1, "pk"},
                                  {"Other", kColumns, 1, kIndexes, 1, "pk"},
                                  {"Last", kColumns, 1, kIndexes, 1, "pk"}};

std::vector<dbv::DatabaseTable_c> table_list(size_t count) {
    std::vector<dbv::DatabaseTable_c> tables;
    for (size_t i = 0; i < count; ++i) tables.emplace_back(static_cast<int32_t>(i + 1), kNames[i]);
    return tables;
}

std::string block(const char* name, const std::string& rows = "") {
    return std::string("    Table ") + name + " -------------------------------------\n    {\n" +
           rows + "    }\n";
}

std::string row(int32_t id) {
    return "      row\n      { \n          id = " + std::to_string(id) + "\n      }\n";
}

class DumpDatabaseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const dbd_tabledef_t& t : kTables) ASSERT_EQ(dbd_definevirtualtable(&t), 0);
        dbv::ClearDomainRegistryForTests();
        dbd_dropvirtualdatabase("dumpdb");
        ASSERT_TRUE(dbv::CreateVirtualDatabase("dumpdb"));
        for (int32_t n = 1; n <= 4; ++n) {
            ASSERT_TRUE(dbv::CreateVirtualTable(kNames[n - 1], n, 1, 1, 1));
            const int32_t id = 10 * n;
            ASSERT_EQ(dbv_insert(dbv::GetVirtualTablePointer(n), &id), 0);
        }
        dump_file_ = "/tmp/dump_database_test_" + std::to_string(getpid()) + ".txt";
        data_file_ = dump_file_ + ".data";
        dbv::DumpDatabase_c::RegisterCallback(
            "mem", [](const std::string&, std::string& db, bool& ids, const std::string&,
                      std::vector<dbv::DatabaseTable_c>& tables) {
                db = "dumpdb";
                ids = false;
                tables = table_list(3);
                return true;
            });
        mainResetAssertions();
    }
    void TearDown() override {
        dbv::DumpDatabase_c::CleanUp();
        dbv::LoadDatabase_c::CleanUp();
        store_seams::Reset();
        dbd_dropvirtualdatabase("dumpdb");
        std::remove(dump_file_.c_str());
        std::remove(data_file_.c_str());
    }
    std::string dumped() const {
        std::ifstream in(dump_file_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string dump_file_;
    std::string data_file_;
};

TEST_F(DumpDatabaseTest, NameFilterKeepsMatchingTablesAndTheFullCount) {
    {
        dbv::DumpDatabase_c dump(dump_file_);
        dump.SetTableNameFilter("Part*;Bolt");
        EXPECT_TRUE(dump.Write("mem"));
    }
    EXPECT_EQ(dumped(), "dumpdb\n\nTable count = 3\nUsingDbvIds = false\nDomain = false\n\n" +
                            block("Part1", row(10)) + block("bolt", row(20)));
    EXPECT_EQ(dbv::GetVirtualDatabase(), "dumpdb");
}

TEST_F(DumpDatabaseTest, RegistryKeepsTheFirstAndUnregisterRemovesIt) {
    dbv::DumpDatabase_c::RegisterCallback(
        "mem", [](const std::string&, std::string&, bool&, const std::string&,
                  std::vector<dbv::DatabaseTable_c>&) { return false; });
    dbv::DumpDatabase_c dump(dump_file_);
    dump.SetTableNumbers({2});
    EXPECT_TRUE(dump.Write("mem"));
    dbv::DumpDatabase_c::UnregisterCallback("mem");
    EXPECT_FALSE(dump.Write("mem"));
    EXPECT_FALSE(dbv::DumpDatabase_c("").Write("mem"));
}

TEST_F(DumpDatabaseTest, ProgressFalseForTheFirstTableEndsAfterTheHeader) {
    {
        dbv::DumpDatabase_c dump(dump_file_);
        std::vector<std::pair<int32_t, std::string>> calls;
        dump.SetProgressCallback([&](int32_t percent, const std::string& name) {
            calls.emplace_back(percent, name);
            return false;
        });
        EXPECT_TRUE(dump.Write("mem"));
        EXPECT_EQ(calls, (std::vector<std::pair<int32_t, std::string>>{{0, "Part1"}}));
    }
    EXPECT_EQ(dumped(), "dumpdb\n\nTable count = 3\nUsingDbvIds = false\nDomain = false\n\n");
}

TEST_F(DumpDatabaseTest, MissingDomainStatisticIsWrittenAsError) {
    ASSERT_TRUE(dbv::CreateDomain("dumpdb"));
    store_seams::FailOperation("dbv_getstatistics", 1);
    {
        dbv::DumpDatabase_c dump(dump_file_);
        dump.SetTableNumbers({99});
        EXPECT_TRUE(dump.Write("mem"));
    }
    const std::string text = dumped();
    EXPECT_NE(text.find("Domain = true\nBytes = ERROR\nCompactedIdBase = 1\n"), std::string::npos)
        << text;
}

// A file of four plain tables behind a header that names them; the third one damaged.
TEST_F(DumpDatabaseTest, FileDumpMarksTheTablesFromTheFailedOne) {
    FILE* data = std::fopen(data_file_.c_str(), "wb");
    ASSERT_NE(data, nullptr);
    long third = 0;
    for (int32_t n = 1; n <= 4; ++n) {
        if (n == 3) third = std::ftell(data);
        ASSERT_EQ(dbv_writetable(data, dbv::GetVirtualTablePointer(n)), 0);
    }
    std::fclose(data);
    std::fstream patch(data_file_, std::ios::in | std::ios::out | std::ios::binary);
    patch.seekp(third + 21);
    patch.put('\x7f');  // inside the third block's rows: its checksum no longer matches
    patch.close();
    dbv::LoadDatabase_c::RegisterCallback(
        "four", [](const std::string&, const std::string&, FILE*, dbv::DatabaseHeader_c& header) {
            header.m_Description = "Four tables";
            header.m_Tables = table_list(4);
            return true;
        });
    {
        dbv::DumpDatabase_c dump(dump_file_);
        EXPECT_TRUE(dump.Write("four", data_file_));
    }
    EXPECT_EQ(dumped(), data_file_ +
                            "\nFour tables\nTable count = 4\nUsingDbvIds = false\n"
                            "Domain = false\n\n" +
                            block("Part1", row(10)) + block("bolt", row(20)) +
                            "ERROR: Could not read " + block("Other") + "ERROR: Could not read " +
                            block("Last"));
    EXPECT_EQ(dbv::GetVirtualDatabase(), "dumpdb");
    EXPECT_NE(dbd_setcurrentvirtualdatabase("TemporaryDumpDatabase"), 0);  // dropped again
    dbv::SetVirtualDatabase("dumpdb");
}

TEST_F(DumpDatabaseTest, SomeoneElsesTemporaryDatabaseIsNeitherUsedNorDropped) {
    ASSERT_TRUE(dbv::CreateVirtualDatabase("TemporaryDumpDatabase"));
    ASSERT_TRUE(dbv::SetVirtualDatabase("dumpdb"));
    dbv::DumpDatabase_c dump(dump_file_);
    EXPECT_FALSE(dump.Write("four", data_file_));
    EXPECT_EQ(dbv::GetVirtualDatabase(), "dumpdb");
    EXPECT_EQ(dbd_dropvirtualdatabase("TemporaryDumpDatabase"), 0);  // it was still there
    dbd_setcurrentvirtualdatabase("dumpdb");
}

}  // namespace
