// The table dump text: exact blocks for the cases that go wrong easily (limits, control
// characters, binary fields, progress stops, unterminated texts), and the reader's refusal
// of truncated or misleading text.
#include "dbv/dump_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "outside/assert_log.h"
#include "outside/log_printf.h"
#include "outside/table_store.h"

namespace {

struct DumpRow {
    int32_t id;
    double weight;
    char name[8];
    unsigned char bytes[4];
};

const dbd_columndef_t kDumpColumns[] = {{"id", DBD_INT32, 0},
                                        {"weight", DBD_DOUBLE, 0},
                                        {"name", DBD_TEXT, 8},
                                        {"bytes", DBD_BYTES, 4}};
const dbd_indexdef_t kDumpIndexes[] = {{"ix_id", {"id"}, 1, 1}};
const dbd_tabledef_t kDumpTable = {"DumpTest", kDumpColumns, 4, kDumpIndexes, 1, "ix_id"};
constexpr int32_t kTable = 7;

class DumpTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(dbd_definevirtualtable(&kDumpTable), 0);
        dbd_dropvirtualdatabase("dump_test");
        ASSERT_EQ(dbd_createvirtualdatabase("dump_test"), 0);
        ASSERT_EQ(dbd_createvirtualtable("DumpTest", kTable, 1, 1, 1), 0);
        mainResetAssertions();
        setLogSink([this](int, const char* text) { log_ += text; });
    }
    void TearDown() override {
        setLogSink({});
        dbd_dropvirtualdatabase("dump_test");
    }

    void insert(int32_t id, const char* name, double weight = 1.5) {
        DumpRow row{};
        row.id = id;
        row.weight = weight;
        std::memcpy(row.name, name, std::min(std::strlen(name), sizeof row.name));
        ASSERT_EQ(dbv_insert(dbd_getvirtualtablepointer(kTable), &row), 0);
    }

    std::string write(dbv::DumpTable_c& dump, bool expected = true) {
        char* text = nullptr;
        size_t size = 0;
        FILE* file = open_memstream(&text, &size);
        EXPECT_EQ(dump.Write(kTable, file, 2), expected);
        std::fclose(file);
        std::string result(text, size);
        std::free(text);
        return result;
    }

    // Reads `text` (a block without its title line) into the table.
    bool read(const std::string& text, std::vector<uint8_t>& row, int32_t primary = -1) {
        FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
        dbv::DumpTable_c dump;
        const bool ok = dump.Read(kTable, file, primary, row);
        std::fclose(file);
        return ok;
    }

    int32_t rows() { return dbv_getrowcount(dbd_getvirtualtablepointer(kTable)); }

    std::string log_;
};

std::string row_text(int32_t id, const char* name, const char* bytes = "0:0:0:0") {
    return "      row\n      { \n          id = " + std::to_string(id) +
           "\n          weight = 1.500000\n          name = '" + name + "'\n          bytes = '" +
           bytes + "'\n      }\n";
}

// Four zero bytes as the reader takes them.
const char* const kZeroBytes = "AAAAAA==";

const std::string kTitle = "    Table DumpTest -------------------------------------\n    {\n";

TEST_F(DumpTableTest, EmptyTableAndMissingTable) {
    dbv::DumpTable_c dump;
    EXPECT_EQ(write(dump), kTitle + "    }\n");
    EXPECT_NE(log_.find("no_of_fields 4 in table 'DumpTest'\n"), std::string::npos);
    EXPECT_NE(log_.find("0 objects written\n"), std::string::npos);

    char* text = nullptr;
    size_t size = 0;
    FILE* file = open_memstream(&text, &size);
    EXPECT_TRUE(dump.Write(99, file, 2));
    std::fclose(file);
    EXPECT_EQ(std::string(text, size), "Table 99 does not exist\n");
    std::free(text);
    EXPECT_TRUE(dump.Write(kTable, nullptr, 2));
}

TEST_F(DumpTableTest, MaximumRowCountHoldsRowsBackAndCountsThem) {
    for (int32_t id = 1; id <= 5; ++id) insert(id, "n");
    dbv::DumpTable_c dump;
    dump.SetMaxTableRowCount(2);
    EXPECT_EQ(write(dump), kTitle + row_text(1, "n") + row_text(2, "n") +
                               "      rows 3 - 5 not written\n    }\n");
    EXPECT_NE(log_.find("5 objects written\n"), std::string::npos);
}

TEST_F(DumpTableTest, ControlCharactersGoTabsAndHighBytesStayAndBinaryIsDecimal) {
    DumpRow row{};
    row.id = 1;
    row.weight = 1.5;
    std::memcpy(row.name, "a\nb\tc\r\x80", 7);
    const unsigned char bytes[4] = {1, 0, 0, 255};
    std::memcpy(row.bytes, bytes, 4);
    ASSERT_EQ(dbv_insert(dbd_getvirtualtablepointer(kTable), &row), 0);
    dbv::DumpTable_c dump;
    EXPECT_EQ(write(dump), kTitle + row_text(1, "ab\tc\x80", "1:0:0:255") + "    }\n");
}

TEST_F(DumpTableTest, FullWidthTextWithoutTerminatorIsWrittenToItsSizeOnly) {
    insert(1, "ABCDEFGH");  // all 8 bytes, no terminator
    dbv::DumpTable_c dump;
    EXPECT_EQ(write(dump), kTitle + row_text(1, "ABCDEFGH") + "    }\n");
}

TEST_F(DumpTableTest, ProgressFalseAtRowTenStopsAfterNineRowsWithTheCloseLine) {
    for (int32_t id = 1; id <= 25; ++id) insert(id, "n");
    dbv::DumpTable_c dump;
    std::vector<std::string> calls;
    dump.SetProgressCallback([&](int32_t percent, const std::string& text) {
        EXPECT_EQ(percent, -1);
        calls.push_back(text);
        return false;
    });
    std::string expected = kTitle;
    for (int32_t id = 1; id <= 9; ++id) expected += row_text(id, "n");
    EXPECT_EQ(write(dump), expected + "    }\n");
    EXPECT_EQ(calls, std::vector<std::string>{"DumpTest 10"});
}

TEST_F(DumpTableTest, WrittenRowsReadBackIntoAnEmptyTable) {
    insert(1, "x=y");
    insert(2, "two");
    dbv::DumpTable_c dump;
    std::string text = write(dump);
    // Binary fields are written as decimal bytes but read as Base64.
    for (size_t at = 0; (at = text.find("'0:0:0:0'")) != std::string::npos;) {
        text.replace(at, 9, "'AAAAAA=='");
    }
    ASSERT_EQ(dbv_cleartable(dbd_getvirtualtablepointer(kTable)), 0);
    std::vector<uint8_t> row;
    ASSERT_TRUE(read(text.substr(text.find('\n') + 1), row));
    ASSERT_EQ(rows(), 2);
    DumpRow back{};
    back.id = 1;
    ASSERT_EQ(dbv_select(dbd_getvirtualprimarypointer(kTable), &back), 0);
    EXPECT_STREQ(back.name, "x=y");  // only the first "=" separates name and value
    EXPECT_EQ(back.weight, 1.5);
}

TEST_F(DumpTableTest, ReaderRefusesTruncatedAndMisleadingText) {
    std::vector<uint8_t> row;
    const std::string block =
        "    {\n" + row_text(1, "a", kZeroBytes) + "      rows 2 - 3 not written\n    }\n";
    // The held-back notice is not a row: exactly one row, no second insert of row 1.
    EXPECT_TRUE(read(block, row));
    EXPECT_EQ(rows(), 1);

    // End of file inside a row or before the closing line: false, nothing of that row.
    const std::string cut = "    {\n" + row_text(2, "b", kZeroBytes);
    EXPECT_FALSE(read(cut.substr(0, cut.size() - 8), row));
    EXPECT_FALSE(read(cut, row));
    EXPECT_EQ(rows(), 2);  // the complete row 2 of the second text went in
    EXPECT_FALSE(read("    {\n      row\n      { \n          id = 3\n", row));
    EXPECT_EQ(rows(), 2);
    EXPECT_FALSE(read("", row));
}

TEST_F(DumpTableTest, ReaderConvertsHostileValuesSafely) {
    std::vector<uint8_t> row;
    const std::string block =
        "    {\n      row\n      { \n          id = 99999999999\n          weight = 1e400\n"
        "          name = 'far too long a name'\n          bytes = 'AQAA/w=='\n"
        "          unknown = 5\n      }\n    }\n";
    ASSERT_TRUE(read(block, row));
    DumpRow back{};
    back.id = INT32_MAX;
    ASSERT_EQ(dbv_select(dbd_getvirtualprimarypointer(kTable), &back), 0);
    EXPECT_EQ(std::string(back.name, 8), "far too ");
    const unsigned char bytes[4] = {1, 0, 0, 255};
    EXPECT_EQ(std::memcmp(back.bytes, bytes, 4), 0);

    mainResetAssertions();
    EXPECT_FALSE(
        read("    {\n      row\n      { \n          bytes = '!!!!'\n      }\n    }\n", row));
    ASSERT_EQ(mainGetAssertRecords().size(), 1u);
    EXPECT_EQ(mainGetAssertRecords()[0].condition_text, "!\"Corrupted base64 string\"");
    EXPECT_EQ(mainGetAssertRecords()[0].source_file, "dbv_dump_table");

    const std::string longName(120, 'n');
    EXPECT_FALSE(
        read("    {\n      row\n      { \n          " + longName + " = 1\n      }\n    }\n", row));
    EXPECT_NE(log_.find("ReadTableRow error, name = " + longName + " \n"), std::string::npos);
}

TEST_F(DumpTableTest, PrimaryTableRowIsUpdatedNotInserted) {
    insert(4, "old");
    std::vector<uint8_t> row;
    ASSERT_TRUE(read("    {\n" + row_text(4, "new", kZeroBytes) + "    }\n", row, kTable));
    DumpRow back{};
    back.id = 4;
    ASSERT_EQ(dbv_select(dbd_getvirtualprimarypointer(kTable), &back), 0);
    EXPECT_STREQ(back.name, "new");
    EXPECT_EQ(rows(), 1);
    EXPECT_FALSE(
        read("    {\n" + row_text(5, "none", kZeroBytes) + "    }\n", row, kTable));  // no row 5
}

}  // namespace
