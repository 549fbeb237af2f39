// Tests of the path text helpers: joining, absolute form and directory part.
#include "port/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace {

TEST(JoinPath, AddsOneSeparatorOnlyWhenNeeded) {
    EXPECT_EQ(port_join_path("data", "tcpip_localhost_1238.db"), "data/tcpip_localhost_1238.db");
    EXPECT_EQ(port_join_path("data/", "a.db"), "data/a.db");
    EXPECT_EQ(port_join_path("data\\", "a.db"), "data\\a.db");
    EXPECT_EQ(port_join_path("/", "a.db"), "/a.db");
    EXPECT_EQ(port_join_path("", "a.db"), "./a.db");  // empty means the current directory
}

TEST(AbsolutePath, RelativeNamesGetTheCurrentDirectory) {
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const std::string base = strcmp(cwd, "/") == 0 ? "" : cwd;
    char out[PATH_MAX + 64];
    ASSERT_TRUE(port_absolute_path("no_such_dir/./x.db", out, sizeof out));
    EXPECT_EQ(std::string(out), base + "/no_such_dir/x.db");
    ASSERT_TRUE(port_absolute_path("/a//b/./c/", out, sizeof out));
    EXPECT_STREQ(out, "/a/b/c");
    ASSERT_TRUE(port_absolute_path("/a/../b", out, sizeof out));
    EXPECT_STREQ(out, "/a/../b");  // ".." is not folded: a link may stand in the way
}

TEST(AbsolutePath, RefusesWhatDoesNotFitOrIsMissing) {
    const char* path = "/abc/def.db";  // 11 characters
    char out[32];
    memset(out, 'x', sizeof out);
    EXPECT_FALSE(port_absolute_path(path, out, 11));  // no room for the NUL
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[11], 'x');  // nothing written past the given size
    EXPECT_TRUE(port_absolute_path(path, out, 12));
    EXPECT_STREQ(out, path);

    char small[1024];
    EXPECT_FALSE(port_absolute_path(std::string(5000, 'd').c_str(), small, sizeof small));
    EXPECT_STREQ(small, "");
    EXPECT_FALSE(port_absolute_path(nullptr, out, sizeof out));
    EXPECT_FALSE(port_absolute_path("", out, sizeof out));
    EXPECT_FALSE(port_absolute_path("/a", nullptr, 16));
}

TEST(DirectoryOf, TakesEverythingBeforeTheLastSlash) {
    EXPECT_EQ(port_directory_of("/srv/qm/a.db"), "/srv/qm");
    EXPECT_EQ(port_directory_of("a.db"), ".");
    EXPECT_EQ(port_directory_of(""), ".");
    EXPECT_EQ(port_directory_of("/a.db"), "/");
    EXPECT_EQ(port_directory_of("/"), "/");
    EXPECT_EQ(port_directory_of("a/b/"), "a");
    EXPECT_EQ(port_directory_of("a//b"), "a");
}

}  // namespace
