// Allocation wrappers of the message transport. Every record and buffer of the
// endpoint layer and the message server is allocated here, so that two process-wide
// counters can show whether the transport gives back everything it takes.
#pragma once

#include <cstddef>

extern "C" {

// Allocates `size` bytes (a size of 0 allocates one byte so that the result is unique).
// Counts the call, failed or not. On failure writes a debug log line and returns null.
void* wrl_malloc(size_t size);

// wrl_malloc followed by a zero fill of `size` bytes.
void* wrl_calloc(size_t size);

// Releases memory from wrl_malloc/wrl_calloc and counts the call; null is counted and ignored.
void wrl_free(void* ptr);

// Prints "%lu mallocs, %lu frees\n" with the two counters to standard output.
void wrl_mallocstats(void);

// Reads the two counters (either out-pointer may be null). Safe from any thread.
void wrl_mallocstats_get(unsigned long* mallocs, unsigned long* frees);

}  // extern "C"
