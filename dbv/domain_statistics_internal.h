// Internal to the domain support: turning a statistics value of the store (a double) into
// a 32-bit integer without the undefined conversion of values that do not fit.
#pragma once

#include <cmath>
#include <cstdint>

namespace dbv::detail {

// Truncates `value` toward zero into `*out` when the result fits 32 bits. False, `*out`
// untouched, for NaN, infinities and values outside the range.
inline bool StatisticToInt32(double value, int32_t* out) {
    // The comparisons are false for NaN, which is refused with the rest.
    if (!(value > -2147483649.0 && value < 2147483648.0)) {
        return false;
    }
    *out = static_cast<int32_t>(std::trunc(value));
    return true;
}

}  // namespace dbv::detail
