// Allocation wrappers used by the string and container functions. Every block is
// zero-filled when it is created or grown, and each call carries the caller's source
// name and line for diagnostics. A process-wide hook lets tests make allocations fail.
#pragma once

#include <cstddef>

// Returns a new block of `size` bytes, zero-filled over its whole usable size, or null
// when `size` is 0 or the allocation fails (or the failure hook asks it to fail).
// `file` and `line` name the caller; they are kept for diagnostics only.
void* tool_malloc(std::size_t size, const char* file, int line);

// Resizes `block` to `size` bytes. A null `block` behaves as tool_malloc; `size` 0 frees
// `block` and returns null. Bytes added by growth are zero. On failure returns null and
// leaves `block` untouched and still owned by the caller.
// REQUIRES: `block` is null or came from tool_malloc/tool_realloc and was not freed.
void* tool_realloc(void* block, std::size_t size, const char* file, int line);

// Frees `block`; null is accepted.
// REQUIRES: `block` is null or came from tool_malloc/tool_realloc and was not freed.
void tool_free(void* block, const char* file, int line);

// The usual way to call the wrappers: the caller's own file and line are passed along.
#define TOOL_MALLOC(size) tool_malloc((size), __FILE__, __LINE__)
#define TOOL_REALLOC(block, size) tool_realloc((block), (size), __FILE__, __LINE__)
#define TOOL_FREE(block) tool_free((block), __FILE__, __LINE__)

// ---- failure injection (tests only) -------------------------------------------------
// The hook is consulted before every allocating call (tool_malloc with size > 0,
// tool_realloc with size > 0); a non-zero answer makes that call fail as if memory had
// run out. `is_realloc` is 1 for tool_realloc of an existing block. Process-wide and not
// thread-safe to change while other threads allocate; tests reset it between cases.
using tool_alloc_hook_fn = int (*)(std::size_t size, int is_realloc, const char* file, int line,
                                   void* user);
void tool_alloc_set_hook(tool_alloc_hook_fn hook, void* user);

// Lets the next `successes` allocating calls succeed, then makes the following
// `failures` calls fail (a negative `failures` means every later call), then lets
// everything succeed again. Replaces any hook.
void tool_alloc_fail_after(long successes, long failures = -1);

// Removes any hook or countdown; allocations succeed again.
void tool_alloc_fail_reset();

// Number of calls made to fail since the last reset.
long tool_alloc_failures_injected();
