// Tests of the global transformation callback interface: forwarding to the installed
// callback, and the reports for a missing, failing or throwing callback.
#include "searchtree/global_transformation.h"

#include <gtest/gtest.h>

#include "outside/assert_log.h"
#include "searchtree/test_transformation_callback.h"

namespace {

using searchtree_test::InstallRecordingCallback;
using searchtree_test::Shift;

class GlobalTransformationTest : public ::testing::Test {
  protected:
    void SetUp() override { mainResetAssertions(); }
    void TearDown() override {
        common::ResetGlobalTransformationsCallbackInterface(nullptr);
        mainResetAssertions();
    }
};

TEST_F(GlobalTransformationTest, MissingCallbackIsReportedAndFails) {
    common::ResetGlobalTransformationsCallbackInterface(nullptr);
    EXPECT_FALSE(common::HasGlobalTransformationsCallback());
    common::Transformation_s t{};
    EXPECT_FALSE(common::GetGlobalTransformation(&t));
    EXPECT_FALSE(common::SetGlobalTransformationToIdentity());
    EXPECT_FALSE(common::SetGlobalTransformation(Shift(1)));
    const auto records = mainGetAssertRecords();
    ASSERT_EQ(records.size(), 3u);
    for (const auto& r : records) {
        EXPECT_EQ(r.condition_text, "!\"Global transformation callback not set\"");
        EXPECT_EQ(r.source_file, "global_transformation");
    }
}

TEST_F(GlobalTransformationTest, CallsReachTheInstalledCallback) {
    // Setting the identity through the callback is covered by the box query tests.
    auto log = InstallRecordingCallback();
    EXPECT_TRUE(common::HasGlobalTransformationsCallback());
    EXPECT_TRUE(common::SetGlobalTransformation(Shift(5)));
    common::Transformation_s t{};
    EXPECT_TRUE(common::GetGlobalTransformation(&t));
    EXPECT_EQ(t, Shift(5));
    EXPECT_EQ(log->gets, 1);
    EXPECT_FALSE(common::GetGlobalTransformation(nullptr));
    EXPECT_TRUE(mainGetAssertRecords().empty());
}

TEST_F(GlobalTransformationTest, FailingOrThrowingCallbackIsReported) {
    auto log = InstallRecordingCallback();
    log->fail_get = true;
    log->throw_on_set = true;
    common::Transformation_s t{};
    EXPECT_FALSE(common::GetGlobalTransformation(&t));
    EXPECT_FALSE(common::SetGlobalTransformation(Shift(1)));
    const auto records = mainGetAssertRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].condition_text, "!\"Global transformation callback failed\"");
    EXPECT_EQ(records[1].condition_text, "!\"Global transformation callback failed\"");
}

}  // namespace
