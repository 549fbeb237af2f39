// Tests of the path text helpers: joining, directory part and absolute form.
#include "port/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>

namespace {

TEST(PathText, JoinAddsOneSeparatorOnlyWhenNeededAndDirectoryOfTakesTheRest) {
    const std::pair<const char*, const char*> joins[] = {
        {"data", "data/a.db"},
        {"data/", "data/a.db"},
        {"data\\", "data\\a.db"},
        {"/", "/a.db"},
        {"", "./a.db"}};  // empty means the current directory
    for (const auto& [dir, joined] : joins) EXPECT_EQ(port_join_path(dir, "a.db"), joined) << dir;
    const std::pair<const char*, const char*> dirs[] = {{"/srv/qm/a.db", "/srv/qm"},
                                                        {"a.db", "."},
                                                        {"", "."},
                                                        {"/a.db", "/"},
                                                        {"/", "/"},
                                                        {"a/b/", "a"},
                                                        {"a//b", "a"}};
    for (const auto& [path, dir] : dirs) EXPECT_EQ(port_directory_of(path), dir) << path;
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

}  // namespace
