// Growth steps shared by the string list and the keyed string list; not part of the
// library's interface. The capacity is never stored: it follows from the count.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tool_strlist_detail {

// Entries the array must be resized to before entry number `count` is stored, or 0 when
// it already has room: 10 for a list without an array, 11 for an emptied array.
inline std::size_t capacity_before_add(bool has_array, int32_t count) {
    if (!has_array) return 10;
    return count == 0 ? 11 : 0;
}

// Entries the array must be resized to once an add made the count `count`, or 0: an add
// that makes the count a multiple of ten grows the array to count + 11.
inline std::size_t capacity_after_add(int32_t count) {
    return count % 10 == 0 ? static_cast<std::size_t>(count) + 11 : 0;
}

// Counts beyond this are refused so that count + 11 stays a valid 32-bit count.
constexpr int32_t kMaxCount = INT32_MAX - 11;

}  // namespace tool_strlist_detail
