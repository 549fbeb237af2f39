// The arithmetic of the table size inquiry: statistics arrive as doubles of any size (or
// not a number) and leave as 32-bit integers. Converting an out-of-range double to an
// integer is undefined, and products of rows and row lengths pass 2^31 on large tables, so
// values are truncated into a 64-bit range first and clamped to 32 bits last.
#pragma once

#include <cmath>
#include <cstdint>

namespace dbv {

// Limit of the 64-bit intermediate values: leaves room for the difference of two of them.
constexpr double kStatisticLimit = 4611686018427387904.0;  // 2^62

// The value truncated toward zero, clamped to +-2^62; 0 for not a number.
inline int64_t TruncatedStatistic(double value) {
    if (std::isnan(value)) return 0;
    if (value >= kStatisticLimit) return static_cast<int64_t>(kStatisticLimit);
    if (value <= -kStatisticLimit) return -static_cast<int64_t>(kStatisticLimit);
    return static_cast<int64_t>(value);
}

// The value clamped to the int32 range.
inline int32_t ClampedToInt32(int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(value);
}

}  // namespace dbv
