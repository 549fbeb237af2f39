// Tests of the text form of row fields: every type, bounded texts, hostile float formats
// and unknown field types.
#include "dbv/row_values.h"

#include "dbv/table_introspection.h"
#include "dbv/tables_test_support.h"

namespace {

using namespace dbv_tables_test;
using Values = std::vector<std::pair<std::string, std::string>>;

class RowValuesTest : public TablesFixture {};

TEST_F(RowValuesTest, EveryTypeAndAnUnsupportedOne) {
    const SourceRow row = MakeSource(-42, "ABCDEFGH", 0.5f, 2.25);  // an unterminated name
    std::vector<dbd_fieldspec_t> specs = dbv::GetTableFieldSpecs(kSource);
    specs.push_back(Spec("odd", 9, 1, 0));
    EXPECT_EQ(dbv::GetTableRowFieldValues(specs, &row, "%.3f"), (Values{{"id", "-42"},
                                                                        {"ratio", "0.500"},
                                                                        {"weight", "2.250"},
                                                                        {"name", "ABCDEFGH"},
                                                                        {"flags", "1:0:255"},
                                                                        {"odd", ""}}));
    EXPECT_EQ(Reports(),
              (std::vector<Report>{{"!\"Unsupported field type\\n\"", "rowhive_tools"}}));
    EXPECT_TRUE(dbv::GetTableRowFieldValues(specs, nullptr, "%g").empty());
}

TEST_F(RowValuesTest, TextsAreBoundedByTheirFieldAnd2047Characters) {
    std::vector<char> row(3000, 'x');
    std::memcpy(row.data(), "WXYZtail", 8);
    const double big = 1e300;
    std::memcpy(row.data() + 2992, &big, sizeof big);
    const Values values = dbv::GetTableRowFieldValues(
        {Spec("t", DBD_TEXT, 4, 0), Spec("short", DBD_TEXT, 2, 4), Spec("none", DBD_TEXT, 0, 4),
         Spec("long", DBD_TEXT, 2900, 8), Spec("big", DBD_DOUBLE, 1, 2992)},
        row.data(), "%02500.1f");
    ASSERT_EQ(values.size(), 5u);
    EXPECT_EQ(values[0].second + "/" + values[1].second + "/" + values[2].second, "WXYZ/ta/");
    EXPECT_EQ(values[3].second, std::string(2047, 'x'));
    EXPECT_EQ(values[4].second.size(), 2047u);
}

TEST_F(RowValuesTest, FloatFormatsThatDoNotTakeOneDoubleGiveEmptyTexts) {
    const SourceRow row = MakeSource(7, "n", 1.5f, 3.0);
    const std::vector<dbd_fieldspec_t> specs = {Spec("ratio", DBD_FLOAT, 1, 4),
                                                Spec("weight", DBD_DOUBLE, 1, 8),
                                                Spec("id", DBD_INT32, 1, 0)};
    EXPECT_EQ(dbv::GetTableRowFieldValues(specs, &row, "v=%+08.2lf%%"),
              (Values{{"ratio", "v=+0001.50%"}, {"weight", "v=+0003.00%"}, {"id", "7"}}));
    for (const char* bad : {"%s", "%n", "%g %g", "%*g", "%Lg", "%d", "text", "%", ""}) {
        EXPECT_EQ(dbv::GetTableRowFieldValues(specs, &row, bad),
                  (Values{{"ratio", ""}, {"weight", ""}, {"id", "7"}}))
            << bad;
    }
}

}  // namespace
