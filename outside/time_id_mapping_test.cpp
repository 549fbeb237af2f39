// Time-id mappings: lookups, refused records and stale handles.
#include "outside/time_id_mapping.h"

#include <gtest/gtest.h>

#include "outside/store_seams.h"

namespace {

TEST(TimeIdMapping, RecordsAndLooksUpAndRefusesBadRecords) {
    dbv_timeidmapping_s* mapping = nullptr;
    ASSERT_EQ(dbv_createtimeidmapping(&mapping), 0);
    EXPECT_EQ(dbv_timeidmapping_add(mapping, 12, 7), 0);
    EXPECT_NE(dbv_timeidmapping_add(mapping, 12, 8), 0);  // first record stays
    EXPECT_NE(dbv_timeidmapping_add(mapping, 0, 8), 0);
    EXPECT_NE(dbv_timeidmapping_add(mapping, 13, -1), 0);
    int32_t old_id = -5;
    ASSERT_EQ(dbv_timeidmappingnewtoold(mapping, 12, &old_id), 0);
    EXPECT_EQ(old_id, 7);
    EXPECT_NE(dbv_timeidmappingnewtoold(mapping, 13, &old_id), 0);
    EXPECT_EQ(old_id, 7);  // untouched on failure
    EXPECT_EQ(dbv_deletetimeidmapping(mapping), 0);
}

TEST(TimeIdMapping, DeletedAndMadeUpHandlesAreRefused) {
    dbv_timeidmapping_s* mapping = nullptr;
    ASSERT_EQ(dbv_createtimeidmapping(&mapping), 0);
    ASSERT_EQ(dbv_deletetimeidmapping(mapping), 0);
    int32_t old_id = 0;
    EXPECT_NE(dbv_timeidmappingnewtoold(mapping, 1, &old_id), 0);
    EXPECT_NE(dbv_timeidmapping_add(mapping, 1, 1), 0);
    EXPECT_NE(dbv_deletetimeidmapping(mapping), 0);
    EXPECT_NE(dbv_deletetimeidmapping(nullptr), 0);
}

TEST(TimeIdMapping, CreationFailureLeavesTheOutputAlone) {
    store_seams::FailOperation("dbv_createtimeidmapping", 1);
    dbv_timeidmapping_s* mapping = nullptr;
    EXPECT_NE(dbv_createtimeidmapping(&mapping), 0);
    EXPECT_EQ(mapping, nullptr);
    store_seams::Reset();
}

}  // namespace
