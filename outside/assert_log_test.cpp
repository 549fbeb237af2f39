// Tests of the assertion convention: records, count, ceiling and the report on standard
// error, through the QM_ASSERT macro and the plain functions.
#include "outside/assert_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "outside/log_printf.h"

namespace {

class Assertions : public ::testing::Test {
  protected:
    void SetUp() override {
        TearDown();
        setLogSink(
            [this](int level, const char* text) { log_ += std::to_string(level) + ":" + text; });
    }
    void TearDown() override {
        setLogSink(nullptr);
        mainResetAssertions();
        mainSetMaxAssertCount(kDefaultMaxAssertCount);
    }
    std::string log_;
};

TEST_F(Assertions, FailedCheckIsRecordedCountedLoggedAndReportedOnce) {
    int evaluations = 0;
    auto failing = [&evaluations] { return ++evaluations < 0; };
    testing::internal::CaptureStderr();
    EXPECT_TRUE(QM_ASSERT(1 + 1 == 2, "dbd_dump"));  // a passing check leaves no trace
    const int line = __LINE__ + 1;
    const bool ok = QM_ASSERT(failing() || !"Clearing a cache table failed", "quickrow_registry");
    const std::string report = testing::internal::GetCapturedStderr();

    EXPECT_FALSE(ok);
    EXPECT_EQ(evaluations, 1);
    EXPECT_EQ(mainGetAssertCount(), 1);
    const std::vector<AssertRecord> records = mainGetAssertRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].condition_value, 0);
    EXPECT_EQ(records[0].condition_text, "failing() || !\"Clearing a cache table failed\"");
    EXPECT_EQ(records[0].source_file, "quickrow_registry");
    EXPECT_EQ(records[0].line, line);
    const std::string expected = "Assertion failed: " + records[0].condition_text +
                                 ", file quickrow_registry, line " + std::to_string(line) + "\n";
    EXPECT_EQ(report, expected);
    EXPECT_EQ(log_, "1:" + expected);
}

TEST_F(Assertions, ReportsStopAboveTheCeilingButCountingGoesOn) {
    mainSetMaxAssertCount(2);
    testing::internal::CaptureStderr();
    for (int i = 0; i < 5; ++i) QM_ASSERT(i < 0, "searchtree");
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 2);  // counts 1 and 2 only
    EXPECT_EQ(mainGetAssertCount(), 5);
    EXPECT_EQ(mainGetAssertRecords().size(), 5u);  // every failure is still recorded

    mainSetMaxAssertCount(-3);
    EXPECT_EQ(mainGetMaxAssertCount(), 0);
    mainResetAssertions();
    testing::internal::CaptureStderr();
    QM_ASSERT(false, "searchtree");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // count 1 > ceiling 0
    EXPECT_EQ(mainGetAssertCount(), 1);
}

TEST_F(Assertions, PlainFunctionsKeepOnlyTheLatestRecords) {
    mainAssertLog(7, nullptr, nullptr, 3);
    mainIncrementAssertCount();
    ASSERT_EQ(mainGetAssertRecords().size(), 1u);
    EXPECT_EQ(mainGetAssertRecords()[0].condition_value, 7);
    EXPECT_EQ(mainGetAssertRecords()[0].condition_text, "");
    EXPECT_EQ(mainGetAssertCount(), 1);
    for (size_t i = 0; i < kMaxAssertRecords + 5; ++i)
        mainAssertLog(0, "x", "f", static_cast<int>(i));
    const std::vector<AssertRecord> records = mainGetAssertRecords();
    ASSERT_EQ(records.size(), kMaxAssertRecords);
    EXPECT_EQ(records.front().line, 5);
    EXPECT_EQ(records.back().line, static_cast<int>(kMaxAssertRecords + 4));
    mainResetAssertions();
    EXPECT_EQ(mainGetAssertCount(), 0);
    EXPECT_TRUE(mainGetAssertRecords().empty());
}

}  // namespace
