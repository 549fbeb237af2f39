// Test seams of the table store. A global count of armed seams lets every store operation
// learn with one relaxed load that nothing is armed; only then does it look at the table.
#include "outside/store_seams.h"

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace store_seams {
namespace {

struct ArmedFailure {
    std::string name;
    int remaining;  // < 0: until Reset
};

struct Seams {
    std::vector<ArmedFailure> failures;
    bool compare_forced = false;
    int32_t compare_value = 0;
};

std::atomic<int> g_armed{0};  // armed failures plus the forced comparison

Seams& seams() {
    static Seams& instance = *new Seams;
    return instance;
}

void update_armed() {
    const Seams& s = seams();
    g_armed.store(static_cast<int>(s.failures.size()) + (s.compare_forced ? 1 : 0),
                  std::memory_order_relaxed);
}

}  // namespace

void FailOperation(const char* name, int times) {
    if (name == nullptr) return;
    Seams& s = seams();
    try {
        for (auto it = s.failures.begin(); it != s.failures.end(); ++it) {
            if (it->name == name) {
                s.failures.erase(it);
                break;
            }
        }
        if (times != 0) s.failures.push_back(ArmedFailure{name, times});
    } catch (...) {
        // A seam that cannot be armed stays disarmed; the test then sees the call succeed.
    }
    update_armed();
}

void ForceCompareResult(int32_t value) {
    Seams& s = seams();
    s.compare_forced = true;
    s.compare_value = value;
    update_armed();
}

void Reset() {
    Seams& s = seams();
    s.failures.clear();
    s.compare_forced = false;
    update_armed();
}

bool ShouldFail(const char* name) {
    if (g_armed.load(std::memory_order_relaxed) == 0) return false;
    Seams& s = seams();
    for (auto it = s.failures.begin(); it != s.failures.end(); ++it) {
        if (std::strcmp(it->name.c_str(), name) != 0) continue;
        if (it->remaining > 0 && --it->remaining == 0) {
            s.failures.erase(it);
            update_armed();
        }
        return true;
    }
    return false;
}

bool ForcedCompareResult(int32_t* value) {
    if (g_armed.load(std::memory_order_relaxed) == 0) return false;
    const Seams& s = seams();
    if (!s.compare_forced) return false;
    *value = s.compare_value;
    return true;
}

}  // namespace store_seams
