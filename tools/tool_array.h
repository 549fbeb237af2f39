// Growable arrays of 32-bit integers and of doubles, held by the caller as a count and an
// array pointer that these functions update, plus reversal, statistics, search and
// comparison with tolerance. Used by the search trees for their element lists.
//
// Growth: the first add allocates room for 1000 elements; an add at count 0 into an existing
// array, or one that makes count + 1 a multiple of 1000, reallocates to count + 1001
// elements; a bulk append reallocates to (new count / 1000 + 1) * 1000 elements. New and
// grown memory is zero-filled.
#pragma once

#include <cstddef>
#include <cstdint>

// Reverses `count` elements of `element_size` bytes each in place and gives `array`.
// Nothing happens for an absent array, count < 2 or element size 0.
void* tool_array_reverse(int count, void* array, size_t element_size);

// --- 32-bit integer arrays --------------------------------------------------------------
// REQUIRES: `*array` is absent or was grown only by these functions (its capacity follows
// from the growth rule above), and `*count` is the number of elements in use.

// Appends `value`; gives the new count. On allocation failure (or an impossible count)
// the error line is printed, count and array stay as they were and the result is 0.
int tool_intarray_add(int value, int* count, int** array);

// Appends `n` >= 1 values; gives the new count (0 after a failure, which leaves count and
// array as they were). n < 1 or absent values append nothing and give the count.
int tool_intarray_append(int n, const int* values, int* count, int** array);

// mode 1: minimum, 2: maximum, 3: mean (integer division of the sum, truncated towards 0;
// the sum is taken in 64 bits so it cannot overflow). Other modes, count < 1 or an absent
// array: 0.
int tool_intarray_stat(int mode, int count, const int* array);

// 1 when `value` is one of the first `count` elements.
int tool_intarray_contains(int value, int count, const int* array);

// 1 and the 0-based index of the first element equal to `value`; 0 and index -1 when it is
// absent. With count < 1 or an absent array: 0 and the index is left untouched.
// `index` may be absent.
int tool_intarray_find(int value, int count, const int* array, int* index);

// Frees the array, clears the pointer and sets the count to 0. Absent addresses are fine.
void tool_intarray_free(int* count, int** array);

// --- double arrays ----------------------------------------------------------------------
// Same contract as the integer arrays, for 8-byte elements.

// Appends `*value`; an absent value appends nothing and gives the count unchanged.
int tool_doublearray_add(const double* value, int* count, double** array);
int tool_doublearray_append(int n, const double* values, int* count, double** array);

// As tool_intarray_stat; the mean is sum / count in floating point.
double tool_doublearray_stat(int mode, int count, const double* array);

// 1 when some element differs from `value` by less than `tolerance`.
int tool_doublearray_contains(double value, int count, const double* array, double tolerance);

// Different counts: count_a - count_b. Absent a: 0 when b is absent too, else -1.
// Absent b: 1. Otherwise the sign (1 or -1) of a[i] - b[i] at the first i where the
// difference exceeds `tolerance` in magnitude; 0 when there is none.
int tool_doublearray_compare(int count_a, const double* a, int count_b, const double* b,
                             double tolerance);

// Reads every non-empty piece of `text` between characters of `delimiters` as a double
// (tool_strtodouble) and appends it. An absent text appends nothing; absent delimiters make
// the whole text one piece. Gives the count (0 after an allocation failure, which leaves
// the values appended so far in place and the count as it was before that failure).
int tool_doublearray_fromtext(const char* text, const char* delimiters, int* count, double** array);

void tool_doublearray_free(int* count, double** array);
