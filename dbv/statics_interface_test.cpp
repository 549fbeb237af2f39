// Tests of the process-wide settings of the domain support.
#include "dbv/statics_interface.h"

#include <gtest/gtest.h>

namespace {

using dbv::StaticsInterface_c;

TEST(StaticsInterfaceTest, NameAndTestFlagAreKeptUntilCleanUp) {
    StaticsInterface_c::CleanUp();
    EXPECT_EQ("", StaticsInterface_c::GetCurrentVirtualDatabase());
    StaticsInterface_c::SetCurrentVirtualDatabase("model");
    EXPECT_EQ("model", StaticsInterface_c::GetCurrentVirtualDatabase());
    StaticsInterface_c::SetCurrentVirtualDatabase(nullptr);
    EXPECT_EQ("", StaticsInterface_c::GetCurrentVirtualDatabase());

    EXPECT_FALSE(StaticsInterface_c::GetIsTestDatabaseActive());
    StaticsInterface_c::SetIsTestDatabaseActive(true);
    EXPECT_TRUE(StaticsInterface_c::GetIsTestDatabaseActive());
    StaticsInterface_c::SetCurrentVirtualDatabase("model");
    EXPECT_TRUE(StaticsInterface_c::CleanUp());
    EXPECT_EQ("", StaticsInterface_c::GetCurrentVirtualDatabase());
    // CleanUp empties the name only.
    EXPECT_TRUE(StaticsInterface_c::GetIsTestDatabaseActive());
    StaticsInterface_c::SetIsTestDatabaseActive(false);
}

}  // namespace
