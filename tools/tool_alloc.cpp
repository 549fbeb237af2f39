// Zero-filling allocation wrappers with a test hook for simulated memory exhaustion.
// The usable size of a block (glibc's malloc_usable_size) is what lets realloc zero
// exactly the bytes that growth adds without keeping a size header in front of blocks,
// so blocks stay compatible with the plain C allocator.
#include "tools/tool_alloc.h"

#include <malloc.h>

#include <cstdlib>
#include <cstring>

namespace {

tool_alloc_hook_fn s_hook = nullptr;
void* s_hook_user = nullptr;
long s_successes_left = -1;  // < 0: countdown inactive
long s_failures_left = 0;    // < 0: fail forever once the countdown ran out
long s_failures_injected = 0;

// Decides whether the current allocating call must fail.
bool should_fail(std::size_t size, int is_realloc, const char* file, int line) {
    if (s_hook != nullptr && s_hook(size, is_realloc, file, line, s_hook_user) != 0) {
        ++s_failures_injected;
        return true;
    }
    if (s_successes_left < 0) return false;
    if (s_successes_left > 0) {
        --s_successes_left;
        return false;
    }
    if (s_failures_left == 0) {
        s_successes_left = -1;  // countdown finished: everything succeeds again
        return false;
    }
    if (s_failures_left > 0) --s_failures_left;
    ++s_failures_injected;
    return true;
}

}  // namespace

void* tool_malloc(std::size_t size, const char* file, int line) {
    if (size == 0) return nullptr;
    if (should_fail(size, 0, file, line)) return nullptr;
    void* block = std::malloc(size);
    if (block == nullptr) return nullptr;
    std::memset(block, 0, malloc_usable_size(block));
    return block;
}

void* tool_realloc(void* block, std::size_t size, const char* file, int line) {
    if (block == nullptr) return tool_malloc(size, file, line);
    if (size == 0) {
        std::free(block);
        return nullptr;
    }
    if (should_fail(size, 1, file, line)) return nullptr;
    const std::size_t old_usable = malloc_usable_size(block);
    void* grown = std::realloc(block, size);
    if (grown == nullptr) return nullptr;
    // Keeps the invariant that every usable byte past the requested size is zero, so a
    // later growth only has to clear what the allocator newly added.
    const std::size_t new_usable = malloc_usable_size(grown);
    const std::size_t clear_from = size < old_usable ? size : old_usable;
    if (new_usable > clear_from) {
        std::memset(static_cast<char*>(grown) + clear_from, 0, new_usable - clear_from);
    }
    return grown;
}

void tool_free(void* block, const char* /*file*/, int /*line*/) {
    std::free(block);
}

void tool_alloc_set_hook(tool_alloc_hook_fn hook, void* user) {
    tool_alloc_fail_reset();
    s_hook = hook;
    s_hook_user = user;
}

void tool_alloc_fail_after(long successes, long failures) {
    tool_alloc_fail_reset();
    s_successes_left = successes < 0 ? 0 : successes;
    s_failures_left = failures;
}

void tool_alloc_fail_reset() {
    s_hook = nullptr;
    s_hook_user = nullptr;
    s_successes_left = -1;
    s_failures_left = 0;
    s_failures_injected = 0;
}

long tool_alloc_failures_injected() {
    return s_failures_injected;
}
