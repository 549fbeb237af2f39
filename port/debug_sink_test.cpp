// Tests of the debug sink: lines reach the named file whole and in order, and nothing is
// written without a file.
#include "port/debug_sink.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string TempPath() {
    char path[] = "/tmp/debug_sink_test_XXXXXX";
    int fd = mkstemp(path);
    if (fd >= 0) close(fd);
    return path;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(DebugSink, EnvironmentVariableNamesTheFile) {
    const std::string path = TempPath();
    setenv("WIRELAY_DEBUG_LOG", path.c_str(), 1);
    port::DebugSinkSetPath(nullptr);  // reads the variable again
    port::DebugSinkWrite("first line\n");
    port::DebugSinkWrite("second line\n");
    unsetenv("WIRELAY_DEBUG_LOG");
    port::DebugSinkSetPath(nullptr);
    port::DebugSinkWrite("goes nowhere\n");
    EXPECT_EQ(ReadAll(path), "first line\nsecond line\n");
    std::remove(path.c_str());
}

TEST(DebugSink, LinesFromManyThreadsStayWhole) {
    const std::string path = TempPath();
    port::DebugSinkSetPath(path.c_str());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            const std::string line = std::string(200, static_cast<char>('a' + t)) + "\n";
            for (int i = 0; i < 200; ++i) port::DebugSinkWrite(line);
        });
    }
    for (auto& th : threads) th.join();
    port::DebugSinkSetPath(nullptr);
    std::istringstream in(ReadAll(path));
    std::string line;
    int lines = 0;
    while (std::getline(in, line)) {
        ++lines;
        ASSERT_EQ(line.size(), 200u);
        EXPECT_EQ(line.find_first_not_of(line[0]), std::string::npos);
    }
    EXPECT_EQ(lines, 800);
    std::remove(path.c_str());
}

TEST(DebugSink, UnopenableFileDropsLinesQuietly) {
    port::DebugSinkSetPath("/nonexistent-directory/for/sure/log.txt");
    port::DebugSinkWrite("dropped\n");
    port::DebugSinkSetPath(nullptr);
    SUCCEED();
}

}  // namespace
