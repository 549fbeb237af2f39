// Tests of the file-system wrappers: atomic replacement, syncing, existence checks,
// removal and directory listing, each in a fresh temporary directory.
#include "port/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <tuple>

#include "port/temp_directory_test_fixture.h"

namespace {

using PortFiles = TempDirectoryTest;

TEST_F(PortFiles, ReplaceFileSwapsInTheNewContentOrChangesNothing) {
    write("db", "old contents");
    write("db.tmp", "new");
    EXPECT_EQ(port_replace_file(path("db.tmp").c_str(), path("db").c_str()), 0);
    EXPECT_EQ(read("db"), "new");
    EXPECT_FALSE(port_file_exists(path("db.tmp").c_str()));

    errno = 0;
    EXPECT_EQ(port_replace_file(path("db.tmp").c_str(), path("db").c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(port_replace_file(nullptr, path("db").c_str()), -1);
    EXPECT_EQ(port_replace_file(path("db").c_str(), ""), -1);
    EXPECT_EQ(read("db"), "new");
}

TEST_F(PortFiles, FsyncStreamAndDirectory) {
    FILE* stream = fopen(path("f").c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    fputs("abc", stream);
    EXPECT_EQ(port_fsync_stream(stream), 0);
    EXPECT_EQ(read("f"), "abc");  // flushed by the sync
    fclose(stream);
    EXPECT_EQ(port_fsync_stream(nullptr), -1);
    char buffer[16];
    FILE* memory = fmemopen(buffer, sizeof buffer, "w");  // no descriptor behind it
    EXPECT_EQ(port_fsync_stream(memory), -1);
    fclose(memory);

    EXPECT_EQ(port_fsync_directory(dir_.c_str()), 0);
    EXPECT_EQ(port_fsync_directory(path("nope").c_str()), -1);
    EXPECT_EQ(port_fsync_directory(path("f").c_str()), -1);  // not a directory
    EXPECT_EQ(port_fsync_directory(nullptr), -1);
}

TEST_F(PortFiles, ExistenceAndRemovalTellFilesFromDirectories) {
    write("file", "");
    ASSERT_EQ(mkdir(path("sub").c_str(), 0755), 0);
    const std::tuple<std::string, bool, bool> cases[] = {// name, file?, directory?
                                                         {path("file"), true, false},
                                                         {path("sub"), false, true},
                                                         {path("sub") + "/", false, true},
                                                         {path("missing"), false, false},
                                                         {"", false, false}};
    for (const auto& [name, file, directory] : cases) {
        EXPECT_EQ(port_file_exists(name.c_str()), file) << name;
        EXPECT_EQ(port_directory_exists(name.c_str()), directory) << name;
    }
    EXPECT_FALSE(port_file_exists(nullptr));
    EXPECT_EQ(port_remove_file(path("file").c_str()), 0);
    EXPECT_FALSE(port_file_exists(path("file").c_str()));
    EXPECT_EQ(port_remove_file(path("file").c_str()), -1);
    EXPECT_EQ(port_remove_file(path("sub").c_str()), -1);  // never a directory
    EXPECT_TRUE(port_directory_exists(path("sub").c_str()));
    EXPECT_EQ(port_remove_file(nullptr), -1);
}

TEST_F(PortFiles, ListDirectoryGivesSortedFilesAndDirectories) {
    write("b.txt", "");
    write("a.db", "");
    ASSERT_EQ(mkdir(path("c_dir").c_str(), 0755), 0);
    ASSERT_EQ(symlink("a.db", path("d_link").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", path("e_dangling").c_str()), 0);
    ASSERT_EQ(mkfifo(path("f_fifo").c_str(), 0644), 0);

    std::vector<std::string> names = {"kept"};
    EXPECT_EQ(port_list_directory(dir_.c_str(), names), 4);
    EXPECT_EQ(names, (std::vector<std::string>{"kept", "a.db", "b.txt", "c_dir", "d_link"}));

    names = {"kept"};
    EXPECT_EQ(port_list_directory(path("missing").c_str(), names), -1);
    EXPECT_EQ(port_list_directory(path("a.db").c_str(), names), -1);
    EXPECT_EQ(port_list_directory(nullptr, names), -1);
    EXPECT_EQ(port_list_directory(path("c_dir").c_str(), names), 0);
    EXPECT_EQ(names, std::vector<std::string>{"kept"});
}

}  // namespace
