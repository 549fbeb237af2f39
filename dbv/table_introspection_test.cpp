// Tests of field descriptions, tagged fields, field tags and field offsets.
#include "dbv/table_introspection.h"

#include "dbv/tables_test_support.h"

namespace {

using namespace dbv_tables_test;
using Names = std::vector<std::string>;

class IntrospectionTest : public TablesFixture {};

Names NamesOf(const std::vector<dbd_fieldspec_t>& specs) {
    Names names;
    for (const dbd_fieldspec_t& spec : specs) names.emplace_back(spec.name);
    return names;
}

TEST_F(IntrospectionTest, FieldSpecsAndOffsets) {
    const std::vector<dbd_fieldspec_t> specs = dbv::GetTableFieldSpecs(kSource);
    EXPECT_EQ(NamesOf(specs), (Names{"id", "ratio", "weight", "name", "flags"}));
    EXPECT_EQ(specs.at(3).element_count, 9);
    EXPECT_TRUE(dbv::GetTableFieldSpecs(999).empty());
    dbd_fieldspec_t spec{};
    ASSERT_TRUE(dbv::GetTableFieldSpecs(kTarget, "flags", spec));
    EXPECT_EQ(spec.type * 1000 + spec.offset, DBD_BYTES * 1000 + 16);
    EXPECT_FALSE(dbv::GetTableFieldSpecs(kTarget, "missing", spec));
    EXPECT_STREQ(spec.name, "flags");

    int32_t offset = -1;
    EXPECT_TRUE(dbv::GetFieldAddressOffset(kSource, "name", offset));
    EXPECT_EQ(offset, 16);
    EXPECT_TRUE(dbv::GetFieldAddressOffset(kSource, "weight", "modelguidtime", offset));
    EXPECT_EQ(offset, 8);
    offset = -1;
    EXPECT_FALSE(dbv::GetFieldAddressOffset(kSource, "missing", offset));
    EXPECT_FALSE(dbv::GetFieldAddressOffset(999, "id", offset));
    EXPECT_FALSE(dbv::GetFieldAddressOffset(kSource, "weight", "modelguidid", offset));
    EXPECT_EQ(offset, -1);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(IntrospectionTest, TagsInTagRecordOrder) {
    EXPECT_EQ(NamesOf(dbv::GetTableFieldsByTags(kSource, {"modelguidtime", "modelguidid"})),
              (Names{"id", "id", "weight"}));
    // Table 0, a table without tag records, an unknown table and an unknown tag.
    EXPECT_TRUE(dbv::GetTableFieldsByTags(0, {"modelguidid"}).empty());
    EXPECT_TRUE(dbv::GetTableFieldsByTags(kTarget, {"modelguidid"}).empty());
    EXPECT_TRUE(dbv::GetTableFieldsByTags(999, {"modelguidid"}).empty());
    EXPECT_TRUE(dbv::GetTableFieldsByTags(kSource, {"unknown"}).empty());
    EXPECT_EQ(dbv::GetFieldTags(kSource, "id"), (Names{"modelguidid", "modelguidtime"}));
    EXPECT_TRUE(dbv::GetFieldTags(kSource, "name").empty());
    EXPECT_TRUE(dbv::GetFieldTags(kTarget, "id").empty());
}

}  // namespace
