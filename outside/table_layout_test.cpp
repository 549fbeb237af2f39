// Row layouts, field metadata, definition checks and tag references of the dictionary.
#include <tuple>

#include "outside/table_test_tables.h"

namespace table_store_test {
namespace {

using LayoutTest = StoreTest;

struct Field {
    const char* name;
    int32_t type, count, offset;
};

// Reads each field record by its byte offsets, as the shared library does.
void expect_fields(int32_t table, int32_t row_length, const std::vector<Field>& fields) {
    EXPECT_EQ(row_length, dbv::GetVirtualTableSizeof(table));
    ASSERT_EQ(static_cast<int32_t>(fields.size()), dbv::GetVirtualFieldCount(table));
    for (int32_t i = 0; i < static_cast<int32_t>(fields.size()); ++i) {
        dbd_fieldspec_t spec;
        ASSERT_TRUE(dbv::GetVirtualFieldSpec(table, i, &spec));
        const auto* bytes = reinterpret_cast<const unsigned char*>(&spec);
        Field got{reinterpret_cast<const char*>(bytes), 0, 0, 0};
        std::memcpy(&got.type, bytes + 32, 4);
        std::memcpy(&got.count, bytes + 36, 4);
        std::memcpy(&got.offset, bytes + 172, 4);
        const Field& want = fields[static_cast<size_t>(i)];
        EXPECT_STREQ(want.name, got.name);
        EXPECT_EQ(std::make_tuple(want.type, want.count, want.offset),
                  std::make_tuple(got.type, got.count, got.offset))
            << want.name;
        EXPECT_EQ(i, dbv::GetVirtualFieldByName(table, want.name));
    }
}

TEST_F(LayoutTest, ServerRowsMatchTheirPlainRecords) {
    expect_fields(kCommonModel, 100,
                  {{"name", 3, 82, 0},
                   {"db_number", 0, 1, 84},
                   {"maxid", 0, 1, 88},
                   {"ga_id", 0, 1, 92},
                   {"multi_drawing_id", 0, 1, 96}});
    expect_fields(kDrawingLocks, 212,
                  {{"ModelName", 3, 82, 0},
                   {"DrawingName", 3, 33, 82},
                   {"UserName", 3, 82, 115},
                   {"TimeStamp", 0, 1, 200},
                   {"ModId", 0, 1, 204},
                   {"LockStatus", 0, 1, 208}});
    EXPECT_EQ(172, dbv_getrowlength(lock_));
}

TEST_F(LayoutTest, DoublesAlignTheRowToEightBytes) {
    static const dbd_columndef_t columns[] = {
        {"flag", DBD_BYTES, 3}, {"x", DBD_DOUBLE, 0}, {"f", DBD_FLOAT, 0}, {"tail", DBD_TEXT, 1}};
    static const dbd_indexdef_t indexes[] = {{"pk", {"flag"}, 1, 1}};
    static const dbd_tabledef_t def = {"layout_doubles", columns, 4, indexes, 1, "pk"};
    ASSERT_EQ(0, dbd_definevirtualtable(&def));
    ASSERT_EQ(0, dbd_createvirtualtable("layout_doubles", 7, 1, 1, 1));
    struct Plain {
        unsigned char flag[3];
        double x;
        float f;
        char tail[1];
    };
    expect_fields(7, static_cast<int32_t>(sizeof(Plain)),
                  {{"flag", 4, 3, 0}, {"x", 2, 1, 8}, {"f", 1, 1, 16}, {"tail", 3, 1, 20}});
    dbd_fieldspec_t spec;
    ASSERT_TRUE(dbv::GetVirtualFieldSpec(7, 1, &spec));
    EXPECT_EQ(8, spec.element_size);
    EXPECT_EQ(8, spec.size);
}

TEST_F(LayoutTest, MetadataOfUnknownTablesAndFields) {
    dbd_fieldspec_t spec;
    std::memset(&spec, 0x5a, sizeof spec);
    EXPECT_FALSE(dbv::GetVirtualFieldSpec(kLock, 4, &spec));
    EXPECT_FALSE(dbv::GetVirtualFieldSpec(kLock, -1, &spec));
    EXPECT_FALSE(dbv::GetVirtualFieldSpec(999, 0, &spec));
    EXPECT_EQ(0x5a, static_cast<unsigned char>(spec.name[0]));  // untouched on failure
    EXPECT_EQ(-1, dbv::GetVirtualFieldByName(kLock, "nope"));
    EXPECT_EQ(-1, dbv::GetVirtualFieldByName(kLock, nullptr));
    EXPECT_EQ(0, dbv::GetVirtualFieldCount(999));
    EXPECT_EQ(0, dbv::GetVirtualTableSizeof(999));
    EXPECT_EQ(nullptr, dbv::GetVirtualTableName(999));
    EXPECT_EQ(kLock, dbv::GetVirtualTableByPointer(lock_));
    EXPECT_EQ(-1, dbv::GetVirtualTableByPointer(nullptr));
    int not_a_table = 0;
    EXPECT_EQ(-1, dbv::GetVirtualTableByPointer(reinterpret_cast<dbv_tablestruct*>(&not_a_table)));
    EXPECT_EQ(lock_primary_, dbv::GetVirtualPrimaryPointer(kLock));
    EXPECT_EQ(lock_primary_, dbd_getvirtualindexpointer(kLock, "lock_model_name"));
    EXPECT_EQ(nullptr, dbd_getvirtualindexpointer(kLock, "missing"));
    EXPECT_EQ(nullptr, dbd_getvirtualindexpointer(kLock, nullptr));
    EXPECT_EQ(0, dbv_getrowlength(nullptr));
    EXPECT_EQ(0, dbv_getrowcount(nullptr));
}

TEST(DefinitionTest, MalformedDefinitionsAreRefused) {
    static const dbd_columndef_t ok_columns[] = {{"a", DBD_INT32, 0}, {"b", DBD_TEXT, 8}};
    static const dbd_indexdef_t ok_indexes[] = {{"pk", {"a"}, 1, 1}, {"by_b", {"b"}, 1, 0}};
    const dbd_tabledef_t good = {"def_good", ok_columns, 2, ok_indexes, 2, "pk"};
    ASSERT_EQ(0, dbd_definevirtualtable(&good));
    EXPECT_EQ(0, dbd_definevirtualtable(&good)) << "the same definition again is accepted";

    static const dbd_columndef_t bad_type[] = {{"a", 9, 0}};
    static const dbd_columndef_t zero_text[] = {{"a", DBD_TEXT, 0}};
    static const dbd_columndef_t twin_columns[] = {{"a", DBD_INT32, 0}, {"a", DBD_INT32, 0}};
    static const dbd_columndef_t long_name[] = {
        {"a_column_name_of_thirty_two_chars", DBD_INT32, 0}};
    static const dbd_columndef_t huge_bytes[] = {{"a", DBD_BYTES, 1 << 30}};
    static const dbd_indexdef_t unknown_column[] = {{"pk", {"a", "zz"}, 1, 1}};
    static const dbd_indexdef_t no_columns[] = {{"pk", {nullptr}, 1, 1}};
    static const dbd_indexdef_t repeated_column[] = {{"pk", {"a", "a"}, 1, 1}};
    static const dbd_indexdef_t twin_indexes[] = {{"pk", {"a"}, 1, 1}, {"pk", {"b"}, 1, 0}};
    const dbd_tabledef_t bad[] = {
        {"def_bad", ok_columns, 0, ok_indexes, 1, "pk"},       // no columns
        {"def_bad", nullptr, 2, ok_indexes, 1, "pk"},          // no column array
        {"def_bad", bad_type, 1, ok_indexes, 1, "pk"},         // unknown type
        {"def_bad", zero_text, 1, ok_indexes, 1, "pk"},        // text without room for NUL
        {"def_bad", twin_columns, 2, ok_indexes, 1, "pk"},     // duplicate column
        {"def_bad", long_name, 1, ok_indexes, 1, "pk"},        // column name too long
        {"def_bad", huge_bytes, 1, ok_indexes, 1, "pk"},       // oversized column
        {"def_bad", ok_columns, 2, unknown_column, 1, "pk"},   // unknown index column
        {"def_bad", ok_columns, 2, no_columns, 1, "pk"},       // index without columns
        {"def_bad", ok_columns, 2, repeated_column, 1, "pk"},  // column twice in a key
        {"def_bad", ok_columns, 2, twin_indexes, 2, "pk"},     // duplicate index name
        {"def_bad", ok_columns, 2, ok_indexes, 2, nullptr},    // no primary index
        {"def_bad", ok_columns, 2, ok_indexes, 2, "missing"},  // unknown primary index
        {"def_bad", ok_columns, 2, ok_indexes, 0, "pk"},       // no indexes at all
        {"", ok_columns, 2, ok_indexes, 2, "pk"},              // empty table name
        {nullptr, ok_columns, 2, ok_indexes, 2, "pk"},         // no table name
        {"def_good", ok_columns, 2, ok_indexes, 2, "by_b"},    // name taken, other primary
        {"def_good", ok_columns, 1, ok_indexes, 1, "pk"},      // name taken, fewer columns
    };
    for (size_t i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
        EXPECT_NE(0, dbd_definevirtualtable(&bad[i])) << "definition " << i;
    }
    EXPECT_NE(0, dbd_definevirtualtable(nullptr));
    ASSERT_EQ(0, dbd_createvirtualdatabase("DefinitionTest"));
    EXPECT_NE(0, dbd_createvirtualtable("def_bad", 1, 1, 1, 1)) << "never declared";
    EXPECT_EQ(0, dbd_createvirtualtable("def_good", 1, 1, 1, 1));
    EXPECT_EQ(12, dbv::GetVirtualTableSizeof(1));
    EXPECT_EQ(0, dbd_dropvirtualdatabase("DefinitionTest"));
}

TEST(TagTest, TagReferencesListEndsWithAnEmptyEntry) {
    static const dbd_columndef_t columns[] = {{"id", DBD_INT32, 0}};
    static const dbd_indexdef_t indexes[] = {{"pk", {"id"}, 1, 1}};
    static const dbd_tabledef_t plain = {"tag_plain", columns, 1, indexes, 1, "pk"};
    ASSERT_EQ(0, dbd_definevirtualtable(&kCommonModelTable));
    ASSERT_EQ(0, dbd_definevirtualtable(&plain));
    const dbd_tagreference_t refs[] = {{"modelguidid", "maxid"}, {"other_tag", "ga_id"}};
    ASSERT_EQ(0, dbd_definetabletagreferences("common_model", refs, 2));
    ASSERT_EQ(0, dbd_definetabletagreferences("common_model", refs, 1)) << "again: no duplicate";
    const dbd_tagdef_t tag = {"modelguidid", "column holds a guid/id of the model domain"};
    EXPECT_EQ(0, dbd_definetag(&tag));

    const dbd_tagreferencespec_t* list = dbv::GetTableTagReferenceSpec("common_model");
    ASSERT_NE(nullptr, list);
    EXPECT_STREQ("maxid", reinterpret_cast<const char*>(list) + 32) << "field at byte 32";
    std::vector<std::pair<std::string, std::string>> seen;
    for (; list->tag[0] != '\0'; ++list) seen.emplace_back(list->tag, list->field);
    EXPECT_EQ((decltype(seen){{"modelguidid", "maxid"}, {"other_tag", "ga_id"}}), seen);
    ASSERT_NE(nullptr, dbv::GetTableTagReferenceSpec("tag_plain"));
    EXPECT_EQ('\0', dbv::GetTableTagReferenceSpec("tag_plain")->tag[0]);
    EXPECT_EQ(nullptr, dbv::GetTableTagReferenceSpec("no_such_table"));
    EXPECT_EQ(nullptr, dbv::GetTableTagReferenceSpec(nullptr));

    const dbd_tagreference_t bad_field[] = {{"t", "no_such_column"}}, bad_tag[] = {{"", "maxid"}};
    EXPECT_NE(0, dbd_definetabletagreferences("common_model", bad_field, 1));
    EXPECT_NE(0, dbd_definetabletagreferences("common_model", bad_tag, 1));
    EXPECT_NE(0, dbd_definetabletagreferences("no_such_table", refs, 1));
    EXPECT_NE(0, dbd_definetabletagreferences("common_model", nullptr, 1));
    EXPECT_NE(0, dbd_definetabletagreferences("common_model", refs, -1));
    const dbd_tagdef_t empty = {"", "x"};
    EXPECT_NE(0, dbd_definetag(&empty));
    EXPECT_NE(0, dbd_definetag(nullptr));
}

}  // namespace
}  // namespace table_store_test
