// Single-precision copies of double bounds, rounded outwards, for the trees' first box
// tests: a float box that holds the double box never rules out a true overlap, and the
// tests read half the bytes. Only candidates that pass are tested again in double.
#pragma once

#include <cmath>
#include <limits>

namespace srch_detail {

// The largest float not above `v` (minus infinity below the float range). Doubles beyond
// the float range must not be converted (that is undefined), so they are mapped to the
// range's ends, still on the right side of the value. NaN stays NaN.
inline float FloatBelow(double v) {
    constexpr double kFloatMax = std::numeric_limits<float>::max();
    if (v > kFloatMax) return std::numeric_limits<float>::max();
    if (v < -kFloatMax) return -std::numeric_limits<float>::infinity();
    float f = static_cast<float>(v);
    if (double(f) > v) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
    return f;
}

// The smallest float not below `v` (plus infinity above the float range). NaN stays NaN.
inline float FloatAbove(double v) {
    constexpr double kFloatMax = std::numeric_limits<float>::max();
    if (v > kFloatMax) return std::numeric_limits<float>::infinity();
    if (v < -kFloatMax) return -std::numeric_limits<float>::max();
    float f = static_cast<float>(v);
    if (double(f) < v) f = std::nextafter(f, std::numeric_limits<float>::infinity());
    return f;
}

}  // namespace srch_detail
