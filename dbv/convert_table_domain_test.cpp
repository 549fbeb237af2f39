// Tests of the domain field records found by tags, the conversion context built from
// a table's tagged fields and the run-time-id settings of a re-conversion.
#include <gtest/gtest.h>

#include <climits>

#include "dbv/conversion_test_support.h"

namespace {

using namespace dbv_conversion_test;
using Tags = std::vector<std::string>;
using ConvertTableDomainTest = ConversionFixture;

TEST_F(ConvertTableDomainTest, TaggedFieldsInRecordOrderOnceEachThenTheTerminator) {
    const struct {
        int32_t table;
        Tags tags;
        uint32_t count;
        Ints fields, offsets;
    } cases[] = {
        {kObjects, {"modelguidid"}, 7, {kIdField, kFatherField, kRefField, -1}, {0, 4, 8}},
        {kObjects,
         {"modelguidtime"},
         0,
         {kCreatedField, kModifiedField, kRefField, -1},
         {12, 16, 8}},
        {kObjects,
         {"modelguidtime", "modelguidid"},
         10,
         {kIdField, kFatherField, kCreatedField, kModifiedField, kRefField, -1},
         {0, 4, 12, 16, 8}},
        {kObjects, {"textual"}, UINT32_MAX, {kLabelField, -1}, {kLabelOffset}},
        {kObjects, {"nosuch", ""}, 10, {}, {}},
        {0, {"modelguidid"}, 10, {}, {}},
        {777, {"modelguidid"}, 10, {}, {}},
    };
    for (const auto& c : cases) {
        Ints offsets{99};
        const auto specs = dbv::GetDomainFieldSpecs(c.table, domain_, c.tags, c.count, offsets);
        Ints fields;
        for (const dbv_domainfieldspec_s& spec : specs) {
            const bool end = spec.field == -1;
            EXPECT_EQ(end ? 0 : static_cast<int32_t>(std::min<uint32_t>(c.count, INT32_MAX)),
                      spec.small_id_count);
            EXPECT_EQ(end ? nullptr : domain_, spec.domain);
            fields.push_back(spec.field);
        }
        EXPECT_EQ(c.fields, fields) << c.table << " " << c.count;
        EXPECT_EQ(c.offsets, offsets);
    }
    EXPECT_EQ(Reports{}, TakeReports());
}

TEST_F(ConvertTableDomainTest, ContextOffsetsComeFromFieldsCarryingTheirTags) {
    const struct {
        const char *creationField, *modificationField, *firstTag, *secondTag;
        int32_t smallIdCount;
        Ints expected;  // creation offset, modification offset, small-id count
        Ints ids;
    } cases[] = {
        {"created", "modified", "modelguidtime", "modelguidtime", 0, {12, 16, 10}, {12, 16, 8}},
        // "modified" does not carry the second tag.
        {"created",
         "modified",
         "modelguidtime",
         "modelguidid",
         25,
         {12, -1, 25},
         {0, 4, 12, 16, 8}},
        {"", "", "modelguidtime", "modelguidid", -3, {-1, -1, -3}, {0, 4, 12, 16, 8}},
        {"plain", "nosuch", "modelguidtime", "modelguidtime", 0, {-1, -1, 10}, {12, 16, 8}},
        {"created", "modified", "", "", 0, {-1, -1, 10}, {}},
    };
    for (const auto& c : cases) {
        const dbv::ConvertTableDomain_c converter(kObjects, domain_, mapper_, c.smallIdCount,
                                                  "father_id", c.creationField, c.modificationField,
                                                  c.firstTag, c.secondTag);
        const dbv::dbvConversionOffsets_c* context = converter.GetContext();
        ASSERT_NE(nullptr, context);
        EXPECT_EQ(c.expected, (Ints{context->creationOffset, context->modificationOffset,
                                    context->smallIdCount}))
            << c.creationField << " " << c.secondTag;
        EXPECT_EQ(c.ids, context->idFieldOffsets);
        EXPECT_EQ(mapper_, context->rangeMapper);
        EXPECT_EQ(domain_, context->domain);
    }
    EXPECT_EQ(Reports{}, TakeReports());
}

TEST_F(ConvertTableDomainTest, SettingsForRuntimeIdsSortIdFieldsAndSetSmallIdCounts) {
    const auto yes = [](int32_t table) { return table == kObjects; };
    const auto no = [](int32_t) { return false; };
    const struct {
        std::function<bool(int32_t)> usesFatherId, usesId;
        Ints counts;  // data's, then those of the records of id, father_id and ref_id
    } cases[] = {{yes, yes, {10, 0, 10, 0}},
                 {no, yes, {10, 10, 0, 0}},
                 {no, no, {0, 0, 0, 0}},
                 {nullptr, nullptr, {0, 0, 0, 0}}};
    for (const auto& c : cases) {
        Ints offsets;
        auto specs = dbv::GetDomainFieldSpecs(kObjects, domain_, {"modelguidid"}, 0, offsets);
        dbv::ConversionCallbackData_t data;
        data.plainIdFields = {42};
        dbv::GetDomainConversionSettingsForRuntimeIds(
            kObjects, {kIdField, kRefField, kCreatedField}, specs,
            {kFatherField, kRefField, kLabelField, kIdField}, data, c.usesFatherId, c.usesId);
        EXPECT_EQ((Ints{kFatherField, kLabelField}), data.plainIdFields);
        EXPECT_EQ((Ints{kRefField, kIdField}), data.domainIdFields);
        ASSERT_EQ(4u, specs.size());
        EXPECT_EQ(c.counts, (Ints{data.smallIdCount, specs[0].small_id_count,
                                  specs[1].small_id_count, specs[2].small_id_count}));
        EXPECT_EQ(-1, specs[3].field);
    }
}

}  // namespace
