// Tests of the per-row conversion callback, called directly on rows of a real table: id
// translation with small ids, time ids, the modification check and hostile offsets.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "dbv/conversion_test_support.h"

namespace {

using namespace dbv_conversion_test;

const Report kRefused{"!\"Conversion offset is not a 32-bit integer field of the row\"", kSource};

class RowCallbackTest : public ConversionFixture {
  protected:
    // Runs the callback on `row`; the row record's creation and modification ids.
    Ints Convert(ObjectRow& row, void* context) {
        dbv_domainrow32_s record{&row, 0, 0};
        EXPECT_EQ(0, dbv::ConvertTableToDomainCB(table_, context, &record));
        return {record.creation, record.modification};
    }
};

TEST_F(RowCallbackTest, IdFieldsAreTranslatedExceptSmallZeroAndNegativeIds) {
    const struct {
        int32_t smallIdCount, value, expected;
        bool mapper;
    } cases[] = {{10, 5, 5, true},       {10, 9, 9, true},     {10, 0, 0, true},
                 {10, -150, -150, true}, {10, 100, 1, true},   {10, 150, 51, true},
                 {0, 0, 0, true},        {150, 150, 51, true}, {151, 150, 150, true},
                 {10, 150, 150, false}};
    for (const auto& c : cases) {
        dbv::dbvConversionOffsets_c context = Context({kFatherOffset, kRefOffset});
        context.smallIdCount = c.smallIdCount;
        context.rangeMapper = c.mapper ? mapper_ : nullptr;
        ObjectRow row = Row(7, c.value, c.value);
        EXPECT_EQ((Ints{0, 0}), Convert(row, &context));
        EXPECT_EQ((Ints{7, c.expected, c.expected}), (Ints{row.id, row.father_id, row.ref_id}))
            << c.smallIdCount << " " << c.value;
    }
    EXPECT_EQ(Reports{}, TakeReports());
}

TEST_F(RowCallbackTest, TimeIdsAreTranslatedAndAModificationBeforeTheCreationIsReported) {
    const Report before{
        "!\"Database conversion error: Found an object modification id that was smaller than "
        "the creation id.\"",
        kSource};
    const Report noCompare{
        "!\"Database conversion error: Could not compare modification id and creation id.\"",
        kSource};
    const struct {
        int32_t created, modified;
        Ints ids;
        Reports reports;
    } cases[] = {{100, 150, {1, 51}, {}},
                 {150, 150, {51, 51}, {}},
                 {0, 0, {0, 0}, {}},
                 {150, 0, {51, 0}, {}},  // not compared: 0 would not be comparable
                 {150, 100, {51, 1}, {before}},
                 {0, 900, {0, 900}, {kUnmapped, noCompare}}};
    for (const auto& c : cases) {
        dbv::dbvConversionOffsets_c context = Context({}, kCreatedOffset, kModifiedOffset);
        ObjectRow row = Row(1, 0, 0, c.created, c.modified);
        EXPECT_EQ(c.ids, Convert(row, &context)) << c.created << " " << c.modified;
        EXPECT_EQ(c.created, row.created) << "a time field is no id field here";
        EXPECT_EQ(c.reports, TakeReports()) << c.created << " " << c.modified;
    }
}

TEST_F(RowCallbackTest, MissingPiecesMakeTheCallbackDoNothing) {
    dbv::dbvConversionOffsets_c context = Context({kFatherOffset}, kCreatedOffset);
    dbv::dbvConversionOffsets_c noDomain = Context({kFatherOffset}, kCreatedOffset);
    noDomain.domain = nullptr;
    ObjectRow row = Row(1, 150, 0, 150);
    dbv_domainrow32_s record{&row, 0, 0};
    dbv_domainrow32_s noData{nullptr, 0, 0};
    EXPECT_EQ(0, dbv::ConvertTableToDomainCB(table_, nullptr, &record));
    EXPECT_EQ(0, dbv::ConvertTableToDomainCB(table_, &noDomain, &record));
    EXPECT_EQ(0, dbv::ConvertTableToDomainCB(nullptr, &context, &record));
    EXPECT_EQ(0, dbv::ConvertTableToDomainCB(table_, &context, nullptr));
    EXPECT_EQ(0, dbv::ConvertTableToDomainCB(table_, &context, &noData));
    EXPECT_EQ((Ints{150, 0}), (Ints{row.father_id, record.creation}));
    EXPECT_EQ(Reports{}, TakeReports());
}

TEST_F(RowCallbackTest, OffsetsOutsideTheRowOrOfOtherFieldsAreRefusedOncePerTable) {
    for (const int32_t offset : Ints{-4, 2, kLabelOffset, kLabelOffset + 4, 33, 36, INT32_MAX}) {
        dbv::dbvConversionOffsets_c context = Context({offset, kFatherOffset}, offset, offset);
        for (int pass = 0; pass < 2; ++pass) {
            ObjectRow row = Row(1, 150, 150, 150, 150);
            const ObjectRow before = row;
            EXPECT_EQ((Ints{0, 0}), Convert(row, &context));
            EXPECT_EQ(51, row.father_id) << "the good offset is used: " << offset;
            EXPECT_EQ(0, std::memcmp(&before.ref_id, &row.ref_id, sizeof row - kRefOffset));
            // Reported at the first row only; a negative time offset just means "none".
            const size_t reports = pass == 1 ? 0 : offset < 0 ? 1 : 3;
            EXPECT_EQ(Reports(reports, kRefused), TakeReports()) << offset;
        }
    }
}

}  // namespace
