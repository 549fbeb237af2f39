// The assertion convention of the shared library: a failed internal check is recorded
// (mainAssertLog), counted (mainIncrementAssertCount) and, while the count has not passed
// the ceiling, reported on standard error. Execution always continues on the failure path;
// nothing here aborts. All functions are safe to call from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Records kept (the latest ones) and the ceiling at start.
constexpr size_t kMaxAssertRecords = 1000;
constexpr int kDefaultMaxAssertCount = 10;

// One recorded failed assertion.
struct AssertRecord {
    int condition_value = 0;
    std::string condition_text;  // e.g. !"Clearing a cache table failed"
    std::string source_file;     // without directory and extension, e.g. rowhive_tools
    int line = 0;
};

// Records a failed assertion and writes it to the log (logPrintf, level 1). Null texts are
// recorded as empty. Only the latest kMaxAssertRecords records are kept.
void mainAssertLog(int condition_value, const char* condition_text, const char* source_file,
                   int line);

// Counts one more failed assertion.
void mainIncrementAssertCount();

// The number of failed assertions counted so far.
int mainGetAssertCount();

// The ceiling: reports are raised while mainGetAssertCount() <= mainGetMaxAssertCount().
// Starts at kDefaultMaxAssertCount.
int mainGetMaxAssertCount();

// Sets the ceiling; a negative value is taken as 0 (no reports at all).
void mainSetMaxAssertCount(int max_count);

// The records kept, oldest first (a copy).
std::vector<AssertRecord> mainGetAssertRecords();

// Forgets every record and sets the count back to 0 (the ceiling stays).
void mainResetAssertions();

// Raises the assertion report: one line on standard error naming the condition, the source
// and the line. Does not record or count.
void mainRaiseAssertReport(const char* condition_text, const char* source_file, int line);

// The whole convention for one check site: when `ok` is false, records, counts and, while
// the count does not exceed the ceiling, raises the report. Returns `ok`, so that a site can
// write `if (!QM_ASSERT(...)) return false;`.
bool mainCheckAssertion(bool ok, const char* condition_text, const char* source_file, int line);

// QM_ASSERT(condition, "source_name"): the check of the assertion convention. The condition
// is evaluated once; its text, `source_name` (the file name without extension) and the line
// go into the record. The expression's value is the condition as bool. For an unconditional
// failure write QM_ASSERT(!"Corrupted base64 string", "dbd_dump").
#define QM_ASSERT(condition, source_name) \
    ::mainCheckAssertion(static_cast<bool>(condition), #condition, source_name, __LINE__)
