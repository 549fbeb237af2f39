// Records, count and ceiling of the assertion convention, behind one mutex.
#include "outside/assert_log.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <deque>
#include <mutex>

#include "outside/log_printf.h"

namespace {

struct AssertState {
    std::mutex mutex;
    std::deque<AssertRecord> records;
    std::atomic<int> count{0};
    std::atomic<int> max_count{kDefaultMaxAssertCount};
};

AssertState& state() {
    static AssertState s;
    return s;
}

const char* or_empty(const char* text) {
    return text != nullptr ? text : "";
}

}  // namespace

void mainAssertLog(int condition_value, const char* condition_text, const char* source_file,
                   int line) {
    AssertRecord record;
    record.condition_value = condition_value;
    record.condition_text = or_empty(condition_text);
    record.source_file = or_empty(source_file);
    record.line = line;
    {
        AssertState& s = state();
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.records.size() >= kMaxAssertRecords) s.records.pop_front();
        s.records.push_back(record);
    }
    logPrintf(1, "Assertion failed: %s, file %s, line %d\n", or_empty(condition_text),
              or_empty(source_file), line);
}

void mainIncrementAssertCount() {
    // Saturate instead of overflowing in a process that asserts forever.
    int current = state().count.load();
    while (current < INT_MAX && !state().count.compare_exchange_weak(current, current + 1)) {
    }
}

int mainGetAssertCount() {
    return state().count.load();
}

int mainGetMaxAssertCount() {
    return state().max_count.load();
}

void mainSetMaxAssertCount(int max_count) {
    state().max_count.store(max_count < 0 ? 0 : max_count);
}

std::vector<AssertRecord> mainGetAssertRecords() {
    AssertState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return std::vector<AssertRecord>(s.records.begin(), s.records.end());
}

void mainResetAssertions() {
    AssertState& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.records.clear();
    s.count.store(0);
}

void mainRaiseAssertReport(const char* condition_text, const char* source_file, int line) {
    fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", or_empty(condition_text),
            or_empty(source_file), line);
}

bool mainCheckAssertion(bool ok, const char* condition_text, const char* source_file, int line) {
    if (ok) return true;
    mainAssertLog(0, condition_text, source_file, line);
    mainIncrementAssertCount();
    if (mainGetAssertCount() <= mainGetMaxAssertCount()) {
        mainRaiseAssertReport(condition_text, source_file, line);
    }
    return false;
}
