// Tests of logPrintf: formatting, levels, long texts, the sink and the default destination.
#include "outside/log_printf.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

class LogPrintf : public ::testing::Test {
  protected:
    void SetUp() override {
        setLogSink([this](int level, const char* text) { lines_.emplace_back(level, text); });
    }
    void TearDown() override { setLogSink(nullptr); }
    std::vector<std::pair<int, std::string>> lines_;
};

TEST_F(LogPrintf, FormattedTextsReachTheSinkWhole) {
    logPrintf(2, "NaN value, db %s, table %s, column %d\n", "ServerDatabase", "lock", 3);
    const std::string long_name(5000, 'n');
    logPrintf(1, "ReadTableRow error, name = %s \n", long_name.c_str());
    logPrintf(1, nullptr);  // nothing
    ASSERT_EQ(lines_.size(), 2u);
    EXPECT_EQ(
        lines_[0],
        std::make_pair(2, std::string("NaN value, db ServerDatabase, table lock, column 3\n")));
    EXPECT_EQ(lines_[1], std::make_pair(1, "ReadTableRow error, name = " + long_name + " \n"));
}

TEST_F(LogPrintf, SinkMayLogAgainAndDefaultIsStandardError) {
    setLogSink([this](int level, const char* text) {
        lines_.emplace_back(level, text);
        if (lines_.size() == 1) logPrintf(2, "nested");  // no deadlock
    });
    logPrintf(1, "outer");
    ASSERT_EQ(lines_.size(), 2u);
    EXPECT_EQ(lines_[1].second, "nested");

    setLogSink(nullptr);
    testing::internal::CaptureStderr();
    logPrintf(1, "to %s\n", "stderr");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "to stderr\n");
    EXPECT_EQ(lines_.size(), 2u);
}

}  // namespace
