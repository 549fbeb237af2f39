// Test helpers for the string library: scoped allocation failure and owned-string
// cleanup, so a failing assertion never leaves the failure hook armed for later tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tools/tool_dstring.h"

// Makes allocations fail (after `successes` good ones) until the scope ends.
class ScopedAllocFailure {
  public:
    explicit ScopedAllocFailure(long successes = 0, long failures = -1) {
        tool_alloc_fail_after(successes, failures);
    }
    ~ScopedAllocFailure() { tool_alloc_fail_reset(); }
    ScopedAllocFailure(const ScopedAllocFailure&) = delete;
    ScopedAllocFailure& operator=(const ScopedAllocFailure&) = delete;
};

// An owned string freed at scope end.
struct OwnedString {
    char* s = nullptr;
    OwnedString() = default;
    explicit OwnedString(char* owned) : s(owned) {}
    ~OwnedString() { tool_strfree(&s); }
    OwnedString(const OwnedString&) = delete;
    OwnedString& operator=(const OwnedString&) = delete;
    std::string str() const { return s != nullptr ? std::string(s) : std::string("<null>"); }
};

// Runs `body` with standard error captured and returns what it printed.
template <typename Body>
std::string captured_stderr(Body body) {
    testing::internal::CaptureStderr();
    body();
    return testing::internal::GetCapturedStderr();
}
