// Memory hints of the platform layer.
#pragma once

#include <cstddef>

// Size of a large page where the system has one; blocks that want the large-page hint
// should be aligned to it and a multiple of it.
constexpr size_t kPortLargePageBytes = size_t{2} << 20;

// Asks the system to back [block, block + bytes) with large pages. Only a hint: it may be
// refused or be a no-op, and the memory works the same either way. REQUIRES: block is
// aligned to kPortLargePageBytes.
void port_advise_large_pages(void* block, size_t bytes);
