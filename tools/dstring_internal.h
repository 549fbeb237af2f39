// Helpers shared by the owned-string source files of the dynamic string library; not
// part of its interface.
#pragma once

#include <cstddef>

namespace tool_dstring_detail {

// Makes `*string` the `length` bytes at `text` plus a terminator. `text` may lie inside
// `*string`. On failure prints `failure_line` to standard error, frees `*string` and
// leaves it null. Returns the new `*string`.
char* assign(char** string, const char* text, std::size_t length, const char* failure_line);

// Appends the `length` bytes at `text` (which may lie inside `*string`); failure as for
// assign.
char* append(char** string, const char* text, std::size_t length, const char* failure_line);

// Shrinks the block of an owned string to its text's length; keeps the larger block when
// the shrink cannot be done.
char* shrink_to_fit(char* string);

void print_error(const char* line);

}  // namespace tool_dstring_detail
