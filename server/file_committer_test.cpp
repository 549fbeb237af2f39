// The database file's commits: the swap of the two names from the second commit on, files
// changed by others between commits, and failures that leave the database file as it was.
#include "server/file_committer.h"

#include <sys/stat.h>

#include <filesystem>

#include "server/server_test_support.h"

namespace {

class FileCommitterTest : public ServerCoreTest {
  protected:
    void SetUp() override {
        ServerCoreTest::SetUp();
        file_ = temp_path("test.db");
        temporary_ = file_ + ".tmp";
    }
    int commit(const std::string& bytes) { return committer_.commit(file_, temporary_, bytes); }
    std::string both() const {
        return read_file(file_) + "|" + (file_exists(temporary_) ? read_file(temporary_) : "-");
    }
    static ino_t inode_of(const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
    }

    file_committer committer_;
    std::string file_, temporary_;
};

TEST_F(FileCommitterTest, FromTheSecondCommitOnTheTwoFilesTakeTurns) {
    const std::pair<const char*, const char*> steps[] = {{"first", "first|-"},
                                                         {"second", "second|first"},
                                                         {"the third", "the third|second"},
                                                         {"4", "4|the third"},
                                                         {"", "|4"}};
    ino_t inodes[2] = {0, 0};
    for (size_t n = 0; n < std::size(steps); ++n) {
        ASSERT_EQ(commit(steps[n].first), 0);
        EXPECT_EQ(both(), steps[n].second);
        EXPECT_EQ(committer_.reuses_temporary(), n > 0);
        // Once both exist no file is made any more: the same two swap names.
        if (n >= 3) {
            EXPECT_EQ(inode_of(file_), inodes[n % 2]);
        }
        inodes[n % 2] = inode_of(file_);
    }
}

TEST_F(FileCommitterTest, FilesChangedByOthersAreNeverWrittenThrough) {
    ASSERT_EQ(commit("one"), 0);
    ASSERT_EQ(commit("two"), 0);
    std::filesystem::remove(file_);  // the last client left
    ASSERT_EQ(commit("three"), 0);
    ASSERT_EQ(commit("four"), 0);
    EXPECT_EQ(both(), "four|three");
    // The temporary name made a link to another file, or given a second name.
    write_file(temp_path("other"), "other");
    std::filesystem::remove(temporary_);
    std::filesystem::create_symlink(temp_path("other"), temporary_);
    ASSERT_EQ(commit("five"), 0);
    std::filesystem::create_hard_link(temporary_, temp_path("second_name"));
    ASSERT_EQ(commit("six"), 0);
    EXPECT_EQ(read_file(file_), "six");
    EXPECT_EQ(read_file(temp_path("other")), "other");
    EXPECT_EQ(read_file(temp_path("second_name")), "four");
}

TEST_F(FileCommitterTest, FailuresLeaveTheDatabaseFileAsItWas) {
    ASSERT_EQ(commit("kept"), 0);
    ASSERT_EQ(commit("kept too"), 0);
    std::filesystem::remove(temporary_);
    std::filesystem::create_directories(temporary_);  // in the way for anyone
    EXPECT_EQ(commit("lost"), 1);
    EXPECT_EQ(read_file(file_), "kept too");
    EXPECT_FALSE(committer_.reuses_temporary());
    std::filesystem::remove(temporary_);
    // A file in a directory that does not exist: refused; the first file starts afresh.
    const std::string nowhere = temp_path("missing/test.db");
    EXPECT_EQ(committer_.commit(nowhere, nowhere + ".tmp", "x"), 1);
    EXPECT_EQ(commit("back"), 0);
    EXPECT_EQ(both(), "back|kept too");
}

}  // namespace
