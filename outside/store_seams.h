// Test seams of the table store: a test makes a named store operation fail, or forces the
// result that the time-id comparison hands out, without macros in the production path.
// While nothing is armed, a store operation pays one relaxed load to learn that.
// Not thread-safe, like the store itself.
#pragma once

#include <cstdint>

namespace store_seams {

// Makes the next `times` calls of the store operation `name` (its function name, e.g.
// "dbv_newidrange") fail with a non-zero result (a null handle) before they change anything;
// times < 0 makes every call fail until Reset.
void FailOperation(const char* name, int times = -1);

// Makes dbv_comparetimeid succeed with `value` as its result, whatever the ids.
void ForceCompareResult(int32_t value);

// Disarms every seam.
void Reset();

// For the store's own operations: true when the call of `name` is to fail (counts it).
bool ShouldFail(const char* name);

// For dbv_comparetimeid: true, with the forced value, when a result is forced.
bool ForcedCompareResult(int32_t* value);

}  // namespace store_seams
