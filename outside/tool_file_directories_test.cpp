// Tests of the directory helpers: existence, listing by pattern and joining.
#include "outside/tool_file_directories.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <tuple>

namespace {

class ToolDirectories : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/tool_dirs_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        for (const char* name : {"b.txt", "a.db", "README", "z.db.tmp"})
            std::ofstream(dir_ + "/" + name) << "";
        ASSERT_EQ(mkdir((dir_ + "/sub").c_str(), 0755), 0);
    }
    void TearDown() override { ASSERT_EQ(system(("rm -rf '" + dir_ + "'").c_str()), 0); }
    std::vector<std::string> list(const char* pattern, int expected_count) const {
        std::vector<std::string> names;
        EXPECT_EQ(tool_get_dir_files(names, pattern, dir_.c_str()), expected_count) << pattern;
        return names;
    }
    std::string dir_;
};

TEST_F(ToolDirectories, PatternsSelectNamesInSortedOrderOfExistingDirectories) {
    const std::vector<std::string> all = {"README", "a.db", "b.txt", "sub", "z.db.tmp"};
    EXPECT_EQ(list("*.*", 5), all);  // also the names without a dot
    EXPECT_EQ(list(nullptr, 5), all);
    EXPECT_EQ(list("*.db", 1), std::vector<std::string>{"a.db"});
    EXPECT_EQ(list("?.*", 3), (std::vector<std::string>{"a.db", "b.txt", "z.db.tmp"}));
    EXPECT_EQ(list("*.DB", 0), std::vector<std::string>{});  // case matters
    EXPECT_EQ(list("*d*b*t*", 1), std::vector<std::string>{"z.db.tmp"});
    EXPECT_EQ(list("*****************************x", 0), std::vector<std::string>{});

    EXPECT_NE(tool_exist_directory((dir_ + "/sub").c_str()), 0);
    EXPECT_EQ(tool_exist_directory((dir_ + "/a.db").c_str()), 0);
    EXPECT_EQ(tool_exist_directory((dir_ + "/none").c_str()), 0);
    EXPECT_EQ(tool_exist_directory(nullptr), 0);
    std::vector<std::string> names = {"kept"};
    EXPECT_EQ(tool_get_dir_files(names, "*.*", (dir_ + "/none").c_str()), -1);
    EXPECT_EQ(tool_get_dir_files(names, "*.*", nullptr), -1);
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
}

TEST(CreateFullFilename, JoinsDirectoryAndSubdirectory) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"/m1", "dwg", "/m1/dwg"}, {"/m1/", "dwg", "/m1/dwg"}, {"C:\\m1\\", "dwg", "C:\\m1\\dwg"},
        {"/m1", nullptr, "/m1"},   {"", "dwg", "./dwg"},       {nullptr, "", ""}};
    for (const auto& [dir, sub, full] : cases)
        EXPECT_EQ(tool_create_full_filename(dir, sub), full) << (dir ? dir : "null");
}

}  // namespace
