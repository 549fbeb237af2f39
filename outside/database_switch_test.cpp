// The base tools' database switches over the dictionary's virtual databases.
#include <gtest/gtest.h>

#include "outside/store_domain.h"

namespace {

TEST(DatabaseSwitchTest, CreateSetAndDropFollowTheDictionary) {
    ASSERT_TRUE(dbv::CreateDatabase("switch_a"));
    ASSERT_TRUE(dbv::CreateDatabase("switch_b"));
    EXPECT_FALSE(dbv::CreateDatabase("switch_a"));  // exists: made current, but not created
    EXPECT_TRUE(dbv::SetCurrentDatabase("switch_b"));
    EXPECT_TRUE(dbv::DropVirtualDatabase("switch_b"));
    EXPECT_FALSE(dbv::SetCurrentDatabase("switch_b"));
    EXPECT_FALSE(dbv::DropVirtualDatabase("switch_b"));
    EXPECT_TRUE(dbv::DropVirtualDatabase("switch_a"));
    for (const char* bad : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_FALSE(dbv::CreateDatabase(bad));
        EXPECT_FALSE(dbv::SetCurrentDatabase(bad));
        EXPECT_FALSE(dbv::DropVirtualDatabase(bad));
    }
}

}  // namespace
