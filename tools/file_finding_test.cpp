// Tests of file finding over a real folder tree: path forming, the cache on and off giving
// the same answers, stale listings while cached, nesting of the cache, writing modes, the
// search order, and paths that do not fit the path buffer.
#include "tools/file_finding.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "outside/system_directories.h"
#include "tools/file_exist_cache.h"

namespace {

namespace fs = std::filesystem;

std::string Found(const char* path) {
    return path != nullptr ? std::string(path) : std::string("<none>");
}

class FileFindingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = (fs::path(::testing::TempDir()) /
                 ("find_" + std::to_string(getpid()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                    .string();
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override {
        while (tools::FileCacheDepth() > 0) tools::StopFileExistenceCaching();
        sysSystemDirectories_c::CleanUp();
        fs::remove_all(root_);
    }
    // Creates the file `relative` (and its folders) holding `text`.
    void Make(const std::string& relative, const std::string& text = "x") {
        const fs::path path = fs::path(root_) / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    std::string At(const std::string& relative) const { return root_ + "/" + relative; }
    std::string root_;
};

TEST_F(FileFindingTest, FormsPathsWithOneSeparatorAndRecordsTheLastUsedName) {
    Make("data/a.txt");
    Make("data/sub/b.txt");
    struct Case {
        const char* name;
        const char* subdirectory;
        std::string directory;
        std::string expected;
    };
    const Case cases[] = {
        {"a.txt", nullptr, At("data"), At("data/a.txt")},
        {"a.txt", "", At("data/"), At("data/a.txt")},  // no second separator
        {"a.txt", nullptr, At("data\\"), "<none>"},    // "\" ends a directory too
        {"b.txt", "sub", At("data"), At("data/sub/b.txt")},
        {"b.txt", "sub/", At("data/"), At("data/sub/b.txt")},
        {"a.txt", "sub", At("data"), At("data/a.txt")},  // falls back to the directory
        {"missing.txt", "sub", At("data"), "<none>"},
        {"", nullptr, At("data"), "<none>"},
        {nullptr, nullptr, At("data"), "<none>"},
    };
    for (const Case& c : cases) {
        const std::string found =
            Found(tools::FindFile(c.name, c.subdirectory, c.directory.c_str(), "r", false));
        EXPECT_EQ(found, c.expected) << Found(c.name) << " in " << c.directory;
        if (found != "<none>") {
            EXPECT_STREQ(tools::GetLastUsedFileName(), found.c_str());
        }
    }
    // The last attempt of a failed lookup is the directory's own candidate.
    tools::FindFile("missing.txt", "sub", At("data").c_str(), nullptr, false);
    EXPECT_EQ(std::string(tools::GetLastUsedFileName()), At("data/missing.txt"));
}

TEST_F(FileFindingTest, CacheOnAndOffGiveTheSameAnswersOverARealTree) {
    Make("model/a.txt");
    Make("model/README");  // no dot: "*.*" must still list it
    Make("model/.hidden");
    Make("model/sub/b.txt");
    Make("model/sub/Makefile");
    Make("model/sub/deeper/c.txt");
    Make("model/both.txt");
    Make("model/sub/both.txt");
    fs::create_directories(At("model/folder.txt"));  // a directory is not a file
    fs::create_directories(At("model/emptysub"));
    struct Query {
        const char* name;
        const char* subdirectory;
        const char* directory;
    };
    const Query queries[] = {
        {"a.txt", nullptr, "model"},      {"README", nullptr, "model"},
        {".hidden", nullptr, "model"},    {"b.txt", nullptr, "model"},
        {"b.txt", "sub", "model"},        {"Makefile", "sub", "model"},
        {"a.txt", "sub", "model"},        {"a.txt", "emptysub", "model"},
        {"both.txt", "sub", "model"},     {"both.txt", nullptr, "model"},
        {"c.txt", "sub/deeper", "model"}, {"c.txt", "sub", "model"},
        {"folder.txt", nullptr, "model"}, {"deeper", "sub", "model"},
        {"a.txt", "nosuchsub", "model"},  {"A.TXT", nullptr, "model"},
        {"a.txt", nullptr, "nosuchdir"},  {"a.txt", "sub", "nosuchdir"},
    };
    std::vector<std::string> uncached;
    for (const Query& q : queries) {
        uncached.push_back(
            Found(tools::FindFile(q.name, q.subdirectory, At(q.directory).c_str(), "r", false)));
    }
    const std::vector<std::string> expected = {At("model/a.txt"),
                                               At("model/README"),
                                               At("model/.hidden"),
                                               "<none>",
                                               At("model/sub/b.txt"),
                                               At("model/sub/Makefile"),
                                               At("model/a.txt"),
                                               At("model/a.txt"),
                                               At("model/sub/both.txt"),
                                               At("model/both.txt"),
                                               At("model/sub/deeper/c.txt"),
                                               "<none>",
                                               "<none>",
                                               "<none>",
                                               At("model/a.txt"),
                                               "<none>",
                                               "<none>",
                                               "<none>"};
    EXPECT_EQ(uncached, expected);

    ASSERT_EQ(tools::StartFileExistenceCaching(), 1);
    tools::FindFile("a.txt", nullptr, At("model").c_str(), "r", true);  // sets the last name
    const std::string last_used = tools::GetLastUsedFileName();
    for (int round = 0; round < 2; ++round) {  // from fresh listings, then from cached ones
        for (size_t i = 0; i < std::size(queries); ++i) {
            const Query& q = queries[i];
            EXPECT_EQ(Found(tools::FindFile(q.name, q.subdirectory, At(q.directory).c_str(),
                                            i % 2 ? nullptr : "rb", false)),
                      expected[i])
                << q.name << " round " << round;
        }
    }
    EXPECT_EQ(tools::GetLastUsedFileName(), last_used);    // cached lookups open nothing
    EXPECT_EQ(tools::FileCacheListedDirectoryCount(), 4);  // model, sub, emptysub, deeper

    // A name with a folder part is not in any listing: it is opened, also while cached.
    for (const bool cached : {true, false}) {
        if (!cached) tools::StopFileExistenceCaching();
        EXPECT_EQ(Found(tools::FindFile("sub/b.txt", nullptr, At("model").c_str(), "r", false)),
                  At("model/sub/b.txt"));
        EXPECT_EQ(Found(tools::FindFile("../a.txt", "sub", At("model").c_str(), "r", false)),
                  At("model/sub/../a.txt"));
        EXPECT_EQ(Found(tools::FindFile("sub/no.txt", nullptr, At("model").c_str(), "r", false)),
                  "<none>");
    }
}

TEST_F(FileFindingTest, FilesAndFoldersCreatedWhileCachedStayUnseenUntilTheCacheEnds) {
    Make("dir/old.txt");
    const std::string dir = At("dir");
    ASSERT_EQ(tools::StartFileExistenceCaching(), 1);
    EXPECT_EQ(Found(tools::FindFile("old.txt", nullptr, dir.c_str(), "r", false)),
              At("dir/old.txt"));
    EXPECT_EQ(Found(tools::FindFile("x.txt", "later", dir.c_str(), "r", false)), "<none>");
    Make("dir/new.txt");
    Make("dir/later/x.txt");
    EXPECT_EQ(Found(tools::FindFile("new.txt", nullptr, dir.c_str(), "r", false)), "<none>");
    EXPECT_EQ(Found(tools::FindFile("x.txt", "later", dir.c_str(), "r", false)), "<none>");
    // Bypassing the cache, or a writing mode, looks at the disk.
    EXPECT_EQ(Found(tools::FindFile("new.txt", nullptr, dir.c_str(), "r", true)),
              At("dir/new.txt"));
    EXPECT_EQ(Found(tools::FindFile("new.txt", nullptr, dir.c_str(), "a", false)),
              At("dir/new.txt"));
    EXPECT_EQ(tools::StopFileExistenceCaching(), 1);
    ASSERT_EQ(tools::StartFileExistenceCaching(), 1);  // fresh listings
    EXPECT_EQ(Found(tools::FindFile("new.txt", nullptr, dir.c_str(), "r", false)),
              At("dir/new.txt"));
    EXPECT_EQ(Found(tools::FindFile("x.txt", "later", dir.c_str(), "r", false)),
              At("dir/later/x.txt"));
}

TEST_F(FileFindingTest, StartsNestAndAStopWithoutAStartLeavesTheDepthAtZero) {
    EXPECT_EQ(tools::StopFileExistenceCaching(), 0);  // nothing to destroy
    EXPECT_EQ(tools::FileCacheDepth(), 0);
    EXPECT_EQ(tools::StartFileExistenceCaching(), 1);
    EXPECT_EQ(tools::StartFileExistenceCaching(), 1);
    EXPECT_EQ(tools::FileCacheDepth(), 2);
    Make("d/f.txt");
    EXPECT_NE(tools::FindFile("f.txt", nullptr, At("d").c_str(), nullptr, false), nullptr);
    EXPECT_EQ(tools::FileCacheListedDirectoryCount(), 1);
    EXPECT_EQ(tools::StopFileExistenceCaching(), 1);  // still in use
    EXPECT_EQ(tools::FileCacheListedDirectoryCount(), 1);
    EXPECT_EQ(tools::StopFileExistenceCaching(), 1);  // destroyed
    EXPECT_EQ(tools::FileCacheListedDirectoryCount(), 0);
    EXPECT_EQ(tools::FileCacheDepth(), 0);
    EXPECT_EQ(tools::StopFileExistenceCaching(), 0);
    EXPECT_EQ(tools::FileCacheDepth(), 0);
}

TEST_F(FileFindingTest, DirectoryExistenceIsRememberedWhileCached) {
    ASSERT_EQ(tools::StartFileExistenceCaching(), 1);
    const std::string later = At("later");
    EXPECT_FALSE(tools::FileCacheDirectoryExists(later.c_str()));
    fs::create_directories(later);
    EXPECT_FALSE(tools::FileCacheDirectoryExists(later.c_str()));  // the first answer stays
    EXPECT_TRUE(tools::FileCacheDirectoryExists(root_.c_str()));
    EXPECT_FALSE(tools::FileCacheDirectoryExists(nullptr));
    EXPECT_FALSE(tools::FileCacheDirectoryExists(""));
    tools::StopFileExistenceCaching();
    EXPECT_TRUE(tools::FileCacheDirectoryExists(later.c_str()));  // uncached: asks again
}

TEST_F(FileFindingTest, WritingModes) {
    Make("w/sub/keep.txt");
    fs::create_directories(At("w/sub/blocked"));  // opening it for writing fails
    const std::string dir = At("w");
    // An existing subdirectory: created there; when that fails, no fallback.
    EXPECT_EQ(Found(tools::FindFile("new.txt", "sub", dir.c_str(), "w", false)),
              At("w/sub/new.txt"));
    EXPECT_EQ(Found(tools::FindFile("blocked", "sub", dir.c_str(), "w", false)), "<none>");
    EXPECT_FALSE(fs::exists(At("w/blocked")));
    EXPECT_EQ(std::string(tools::GetLastUsedFileName()), At("w/sub/blocked"));
    // A missing subdirectory: the file is created in the directory itself.
    EXPECT_EQ(Found(tools::FindFile("made.txt", "nosub", dir.c_str(), "w", false)),
              At("w/made.txt"));
    EXPECT_TRUE(fs::is_regular_file(At("w/made.txt")));
    // The cache does not answer writing lookups: "a" keeps the file's contents.
    ASSERT_EQ(tools::StartFileExistenceCaching(), 1);
    EXPECT_EQ(Found(tools::FindFile("keep.txt", "sub", dir.c_str(), "ab", false)),
              At("w/sub/keep.txt"));
    EXPECT_EQ(fs::file_size(At("w/sub/keep.txt")), 1u);
}

TEST_F(FileFindingTest, SearchOrderModelProjectCompanySystem) {
    Make("model/same.txt");
    Make("project/same.txt");
    Make("project/project_only.txt");
    Make("firm/cfg/firm_only.txt");
    Make("sys1/sys.txt");
    Make("sys2/sys.txt");
    Make("sys2/last.txt");
    sysSystemDirectories_c::SetModelDirectory(At("model"));
    sysSystemDirectories_c::SetProjectDirectory(At("project"));
    sysSystemDirectories_c::SetFirmDirectory(At("firm"));
    sysSystemDirectories_c::SetQmSystemDirectories({At("sys1"), At("sys2")});
    for (const bool cached : {false, true}) {
        if (cached) {
            ASSERT_EQ(tools::StartFileExistenceCaching(), 1);
        }
        EXPECT_EQ(Found(tools::FindSystemFile("same.txt", nullptr, "r", false)),
                  At("model/same.txt"));
        EXPECT_EQ(Found(tools::FindSystemFile("project_only.txt", nullptr, nullptr, false)),
                  At("project/project_only.txt"));
        EXPECT_EQ(Found(tools::FindSystemFile("firm_only.txt", "cfg", "r", false)),
                  At("firm/cfg/firm_only.txt"));
        EXPECT_EQ(Found(tools::FindSystemFile("sys.txt", nullptr, "r", false)), At("sys1/sys.txt"));
        EXPECT_EQ(Found(tools::FindSystemFile("last.txt", nullptr, "r", false)),
                  At("sys2/last.txt"));
        EXPECT_EQ(Found(tools::FindSystemFile("none.txt", nullptr, "r", false)), "<none>");
    }
}

TEST_F(FileFindingTest, UnsetDirectoriesAreSkippedNotTakenAsTheCurrentDirectory) {
    Make("cwd/here.txt");
    const fs::path saved = fs::current_path();
    fs::current_path(At("cwd"));
    sysSystemDirectories_c::SetProjectDirectory(At("empty_project"));
    EXPECT_EQ(Found(tools::FindSystemFile("here.txt", nullptr, "r", false)), "<none>");
    fs::current_path(saved);
}

// A path that does not fit the path buffer is refused: a shortened one could name another
// file, and a writing mode would create or empty it.
TEST_F(FileFindingTest, PathsThatDoNotFitAreRefusedAndNothingIsCreated) {
    Make("early.txt_");
    const std::string first =
        Found(tools::FindFile("early.txt_", nullptr, root_.c_str(), "r", false));
    ASSERT_EQ(first, At("early.txt_"));
    const char* buffer = tools::FindFile("early.txt_", nullptr, root_.c_str(), "r", false);

    // "root/L/L/.../L" names the root itself through the link L -> ".", so a shortened
    // path would still land in the root. Long link names keep the number of links the
    // kernel follows for one path under its limit.
    const std::string link(60, 'L');
    fs::create_directory_symlink(".", At(link));
    auto through_links = [&](size_t path_length, const std::string& name) {
        const size_t room = path_length - root_.size() - 1 - name.size();
        const size_t links = room / (link.size() + 1) - 1;
        std::string dir = root_ + std::string(room - links * (link.size() + 1), '/');
        for (size_t i = 0; i < links; ++i) dir += "/" + link;
        return dir;  // ends in the link's name, so the path is dir + "/" + name
    };
    const std::string name = "victim.txt";
    const std::string fits = through_links(1023, name);  // 1023 characters and the zero
    const std::string too_long = through_links(1024, name);
    ASSERT_EQ(fits.size() + 1 + name.size(), 1023u);
    ASSERT_EQ(too_long.size() + 1 + name.size(), 1024u);

    for (const char* mode : {"w", "r", "a+"}) {
        EXPECT_EQ(tools::FindFile(name.c_str(), nullptr, too_long.c_str(), mode, false), nullptr);
        EXPECT_EQ(tools::FindFile(name.c_str(), link.c_str(), fits.c_str(), mode, false), nullptr);
        EXPECT_EQ(tools::FindFile(name.c_str(), too_long.c_str(), root_.c_str(), mode, false),
                  nullptr);
        EXPECT_STREQ(tools::GetLastUsedFileName(), first.c_str()) << mode;  // kept
        EXPECT_STREQ(buffer, first.c_str()) << mode;                        // kept
    }
    ASSERT_EQ(tools::StartFileExistenceCaching(), 1);
    EXPECT_EQ(tools::FindFile("early.txt_", nullptr, too_long.c_str(), "r", false), nullptr);
    tools::StopFileExistenceCaching();
    sysSystemDirectories_c::SetModelDirectory(too_long);
    EXPECT_EQ(tools::FindSystemFile(name.c_str(), nullptr, "w", false), nullptr);
    EXPECT_FALSE(fs::exists(At(name)));
    EXPECT_STREQ(buffer, first.c_str());

    // The longest path that fits is used in full.
    EXPECT_EQ(Found(tools::FindFile(name.c_str(), nullptr, fits.c_str(), "w", false)),
              fits + "/" + name);
    EXPECT_TRUE(fs::is_regular_file(At(name)));
}

}  // namespace
