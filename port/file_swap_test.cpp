// Tests of the in-place rewrites, atomic swaps and memory streams of file_swap.h, each in a
// fresh temporary directory.
#include "port/file_swap.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <tuple>

#include "port/temp_directory_test_fixture.h"

namespace {

using PortFileSwap = TempDirectoryTest;

// Either way of making the data durable leaves the same bytes.
TEST_F(PortFileSwap, RewriteGrowsAndCutsTheFile) {
    for (const bool directory_sync_follows : {false, true}) {
        write("f", "0123456789");
        const port_handle h = port_open_rewritable(path("f").c_str(), false);
        ASSERT_NE(h, kNoHandle);
        for (const std::string text : {"abc", "abcdefghijklmnop", "ABCDEFGHIJKLMNOP", "", "xy"}) {
            ASSERT_EQ(port_rewrite_file(h, text.data(), text.size(), directory_sync_follows), 0);
            EXPECT_EQ(read("f"), text);
        }
        port_close_handle(h);
    }
}

TEST_F(PortFileSwap, OpeningRefusesWhatMustNotBeWrittenThrough) {
    write("plain", "p");
    write("linked", "l");
    ASSERT_EQ(link(path("linked").c_str(), path("second_name").c_str()), 0);
    ASSERT_EQ(symlink(path("plain").c_str(), path("symlink").c_str()), 0);
    const std::tuple<const char*, bool, int> cases[] = {{"missing", false, ENOENT},
                                                        {"plain", true, EEXIST},
                                                        {"linked", false, EINVAL},
                                                        {"symlink", false, ELOOP},
                                                        {".", false, EISDIR}};
    for (const auto& [name, create, error] : cases) {
        errno = 0;
        EXPECT_EQ(port_open_rewritable(path(name).c_str(), create), kNoHandle) << name;
        EXPECT_EQ(errno, error) << name;
    }
    EXPECT_EQ(read("plain"), "p");
}

TEST_F(PortFileSwap, ExchangeSwapsTwoNamesOrChangesNothing) {
    write("a", "first");
    write("b", "second");
    const int swapped = port_exchange_files(path("a").c_str(), path("b").c_str());
    if (swapped != 0 && (errno == ENOSYS || errno == EINVAL))
        GTEST_SKIP() << "no atomic swap on this platform or file system";
    ASSERT_EQ(swapped, 0);
    EXPECT_EQ(read("a") + "," + read("b"), "second,first");
    errno = 0;
    EXPECT_EQ(port_exchange_files(path("a").c_str(), path("missing").c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(read("a"), "second");
}

TEST_F(PortFileSwap, MemoryStreamKeepsOnlyACompleteWrite) {
    std::string out = "stale";
    EXPECT_TRUE(port_write_to_memory([](FILE* s, void*) { return std::fputs("hi", s) >= 0; },
                                     nullptr, out));
    EXPECT_EQ(out, "hi");
    auto refuses = [](FILE* s, void*) {
        std::fputs("part", s);
        return false;
    };
    EXPECT_FALSE(port_write_to_memory(refuses, nullptr, out));
    EXPECT_EQ(out, "");
}

}  // namespace
