// The description parser: a full example, and each refusal with its line number.
#include "dbtool/description.h"

#include <gtest/gtest.h>

#include <cstring>

#include "outside/table_store.h"

namespace {

TEST(Description, FullExampleIsParsed) {
    const std::string text =
        "# a model\n"
        "description Test model \"one\"\n"
        "domain\n"
        "dbvids\n"
        "event local Baseline save\n"
        "event company \"Release 1\"\n"
        "table 10 Part framed\n"
        "column id int\n"
        "column name text 12\n"
        "column weight double\n"
        "column blob bytes 4\n"
        "key id name\n"
        "tag modelguidid id\n"
        "row 1 \"Hex bolt\" 1.5 00ff\n"
        "\n"
        "table 11 Bolt\n"
        "column n float\n";
    dbtool::DatabaseDescription d;
    std::string error;
    ASSERT_TRUE(dbtool::ParseDescription(text, d, error)) << error;
    EXPECT_EQ(d.description, "Test model \"one\"");
    EXPECT_TRUE(d.hasDomain);
    EXPECT_TRUE(d.usesDbvIds);
    ASSERT_EQ(d.events.size(), 2u);
    EXPECT_EQ(d.events[0].text, "Baseline save");
    EXPECT_EQ(d.events[1].level, 1);
    EXPECT_EQ(d.events[1].text, "Release 1");
    ASSERT_EQ(d.tables.size(), 2u);
    const dbtool::TableDescription& part = d.tables[0];
    EXPECT_TRUE(part.framed);
    EXPECT_EQ(part.columns[1].type, DBD_TEXT);
    EXPECT_EQ(part.columns[1].size, 12);
    EXPECT_EQ(part.key, (std::vector<std::string>{"id", "name"}));
    ASSERT_EQ(part.rows.size(), 1u);
    EXPECT_EQ(part.rows[0][1], "Hex bolt");
    EXPECT_EQ(d.tables[1].key, std::vector<std::string>{"n"});  // default: the first column
}

TEST(Description, RefusalsNameTheLine) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"column id int\n", "line 1: 'column' outside a table"},
        {"table 0 T\n", "line 1: bad table number '0'"},
        {"table 1 T\ntable 1 U\n", "line 2: table number 1 used twice"},
        {"table 1 T\ncolumn a text\n", "line 2: text and bytes columns take a size"},
        {"table 1 T\ncolumn a text 0\n", "line 2: a size is 1 to 65536"},
        {"table 1 T\ncolumn a int\ncolumn a int\n", "line 3: column a used twice"},
        {"table 1 T\ncolumn a int\nkey b\n", "line 3: no column b in table T"},
        {"table 1 T\ncolumn a int\nrow 1 2\n", "line 3: the row has 2 values for 1 columns"},
        {"table 1 T\ncolumn a int\nrow 99999999999\n",
         "line 3: column a: '99999999999' is no 32-bit integer"},
        {"table 1 T\ncolumn a text 3\nrow abc\n",
         "line 3: column a: the text is longer than 2 characters"},
        {"table 1 T\ncolumn a bytes 1\nrow 0g\n", "line 3: column a: '0g' is not hex"},
        {"table 1 T\ncolumn a float\nrow 1e39\n", "line 3: column a: '1e39' is no finite number"},
        {"table 1 T\ncolumn a int\nrow \"1\n", "line 3: unterminated quoted word"},
        {"frobnicate\n", "line 1: unknown statement 'frobnicate'"},
        {"table 1 T\n", "table T has no columns"},
    };
    for (const auto& c : cases) {
        dbtool::DatabaseDescription d;
        std::string error;
        EXPECT_FALSE(dbtool::ParseDescription(c.text, d, error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(Description, ValuesAreEncodedAsTheRowHoldsThem) {
    unsigned char field[8] = {};
    std::string error;
    ASSERT_TRUE(dbtool::EncodeValue({"b", DBD_BYTES, 4}, "01ff", field, error));
    EXPECT_EQ(field[0], 1);
    EXPECT_EQ(field[1], 255);
    EXPECT_EQ(field[2], 0);
    ASSERT_TRUE(dbtool::EncodeValue({"i", DBD_INT32, 0}, "-7", field, error));
    int32_t i = 0;
    std::memcpy(&i, field, 4);
    EXPECT_EQ(i, -7);
}

}  // namespace
