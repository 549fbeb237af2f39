// Growable integer and double arrays. Both element types share one growth routine so the
// capacity rule (steps of 1000, "count + 1001" on a boundary add, rounded-up bulk appends)
// lives in exactly one place; callers never see the capacity, only the count.
#include "tools/tool_array.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>

#include "tools/tool_alloc.h"
#include "tools/tool_dstring.h"
#include "tools/tool_report.h"

namespace {

constexpr int s_step = 1000;

void s_report(const char* text, int line) {
    tool_report_error(text, "tool_array", line);
}

// The number of elements in use, or -1 when the pair cannot be an array of ours.
int s_in_use(const int* count, const void* array) {
    if (!array) return 0;  // an absent array holds nothing, whatever the count says
    return *count >= 0 ? *count : -1;
}

template <typename T>
int s_add(T value, int* count, T** array) {
    if (!count || !array) return 0;
    const int n = s_in_use(count, *array);
    if (n < 0) {
        s_report("Invalid array count.", __LINE__);
        return 0;
    }
    size_t capacity = 0;  // 0: the current block still has room
    if (!*array) {
        capacity = s_step;
    } else if (n == 0 || (n + 1) % s_step == 0) {
        if (n > INT_MAX - (s_step + 1)) {
            s_report("Array too large.", __LINE__);
            return 0;
        }
        capacity = static_cast<size_t>(n) + s_step + 1;
    }
    if (capacity) {
        void* grown = TOOL_REALLOC(*array, capacity * sizeof(T));
        if (!grown) {
            s_report("Memory allocation failed.", __LINE__);
            return 0;
        }
        *array = static_cast<T*>(grown);
    }
    (*array)[n] = value;
    *count = n + 1;
    return *count;
}

template <typename T>
int s_append(int n, const T* values, int* count, T** array) {
    if (!count || !array) return 0;
    const int have = s_in_use(count, *array);
    if (have < 0) {
        s_report("Invalid array count.", __LINE__);
        return 0;
    }
    if (n < 1 || !values) return have;
    if (n > INT_MAX - have) {
        s_report("Array too large.", __LINE__);
        return 0;
    }
    const int total = have + n;
    // The values may lie inside the array itself; remember where, since it may move.
    const T* old = *array;
    const bool inside =
        old && !std::less<const T*>()(values, old) && std::less<const T*>()(values, old + have);
    const size_t offset = inside ? static_cast<size_t>(values - old) : 0;
    const size_t capacity = (static_cast<size_t>(total) / s_step + 1) * s_step;
    void* grown = TOOL_REALLOC(*array, capacity * sizeof(T));
    if (!grown) {
        s_report("Memory allocation failed.", __LINE__);
        return 0;
    }
    *array = static_cast<T*>(grown);
    const T* source = inside ? *array + offset : values;
    std::memmove(*array + have, source, static_cast<size_t>(n) * sizeof(T));
    *count = total;
    return total;
}

template <typename T>
void s_free(int* count, T** array) {
    if (count) *count = 0;
    if (array) {
        TOOL_FREE(*array);
        *array = nullptr;
    }
}

}  // namespace

void* tool_array_reverse(int count, void* array, size_t element_size) {
    if (!array || count < 2 || element_size == 0) return array;
    auto* bytes = static_cast<unsigned char*>(array);
    for (size_t low = 0, high = static_cast<size_t>(count) - 1; low < high; ++low, --high) {
        std::swap_ranges(bytes + low * element_size, bytes + (low + 1) * element_size,
                         bytes + high * element_size);
    }
    return array;
}

int tool_intarray_add(int value, int* count, int** array) {
    return s_add(value, count, array);
}

int tool_intarray_append(int n, const int* values, int* count, int** array) {
    return s_append(n, values, count, array);
}

int tool_intarray_stat(int mode, int count, const int* array) {
    if (!array || count < 1) return 0;
    switch (mode) {
        case 1:
            return *std::min_element(array, array + count);
        case 2:
            return *std::max_element(array, array + count);
        case 3: {
            long long sum = 0;
            for (int i = 0; i < count; ++i) sum += array[i];
            return static_cast<int>(sum / count);
        }
        default:
            return 0;
    }
}

int tool_intarray_contains(int value, int count, const int* array) {
    return tool_intarray_find(value, count, array, nullptr);
}

int tool_intarray_find(int value, int count, const int* array, int* index) {
    if (!array || count < 1) return 0;
    for (int i = 0; i < count; ++i) {
        if (array[i] == value) {
            if (index) *index = i;
            return 1;
        }
    }
    if (index) *index = -1;
    return 0;
}

void tool_intarray_free(int* count, int** array) {
    s_free(count, array);
}

int tool_doublearray_add(const double* value, int* count, double** array) {
    if (!value) return count && array ? s_in_use(count, *array) : 0;
    return s_add(*value, count, array);
}

int tool_doublearray_append(int n, const double* values, int* count, double** array) {
    return s_append(n, values, count, array);
}

double tool_doublearray_stat(int mode, int count, const double* array) {
    if (!array || count < 1) return 0.0;
    switch (mode) {
        case 1:
            return *std::min_element(array, array + count);
        case 2:
            return *std::max_element(array, array + count);
        case 3: {
            double sum = 0.0;
            for (int i = 0; i < count; ++i) sum += array[i];
            return sum / count;
        }
        default:
            return 0.0;
    }
}

int tool_doublearray_contains(double value, int count, const double* array, double tolerance) {
    if (!array) return 0;
    for (int i = 0; i < count; ++i) {
        if (std::fabs(array[i] - value) < tolerance) return 1;
    }
    return 0;
}

int tool_doublearray_compare(int count_a, const double* a, int count_b, const double* b,
                             double tolerance) {
    if (count_a != count_b) {
        const long long difference = static_cast<long long>(count_a) - count_b;
        return static_cast<int>(std::clamp<long long>(difference, INT_MIN, INT_MAX));
    }
    if (!a) return b ? -1 : 0;
    if (!b) return 1;
    for (int i = 0; i < count_a; ++i) {
        const double difference = a[i] - b[i];
        if (std::fabs(difference) > tolerance) return difference > 0 ? 1 : -1;
    }
    return 0;
}

int tool_doublearray_fromtext(const char* text, const char* delimiters, int* count,
                              double** array) {
    if (!count || !array) return 0;
    if (!text) return s_in_use(count, *array);
    const auto is_delimiter = [delimiters](char c) {
        return delimiters && c != '\0' && std::strchr(delimiters, c) != nullptr;
    };
    // Pieces are read from a terminated copy so that the number reader never runs on into a
    // delimiter that could pass for part of a number ("1e5" cut at 'e').
    char local[64];
    const char* cursor = text;
    while (*cursor) {
        while (*cursor && is_delimiter(*cursor)) ++cursor;
        const char* end = cursor;
        while (*end && !is_delimiter(*end)) ++end;
        if (end == cursor) break;
        const size_t length = static_cast<size_t>(end - cursor);
        char* piece = local;
        if (length >= sizeof local) {
            piece = static_cast<char*>(TOOL_MALLOC(length + 1));
            if (!piece) {
                s_report("Memory allocation failed.", __LINE__);
                return 0;
            }
        }
        std::memcpy(piece, cursor, length);
        piece[length] = '\0';
        const double value = tool_strtodouble(piece);
        if (piece != local) TOOL_FREE(piece);
        if (!s_add(value, count, array)) return 0;
        cursor = end;
    }
    return s_in_use(count, *array);
}

void tool_doublearray_free(int* count, double** array) {
    s_free(count, array);
}
