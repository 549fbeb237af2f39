// Counted allocation for the transport. The counters are atomic because the client
// side of the transport may run on several threads of one process.
#include "wirelay/wrl_alloc.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "wirelay/io_core.h"
#include "wirelay/wrl_errors.h"

namespace {
std::atomic<unsigned long> s_mallocs{0};
std::atomic<unsigned long> s_frees{0};
}  // namespace

extern "C" {

void* wrl_malloc(size_t size) {
    s_mallocs.fetch_add(1, std::memory_order_relaxed);
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        io_log("wrl_malloc(%d): %s\n", static_cast<int>(size), wrl_errortext(WRL_ENOMEM));
    }
    return p;
}

void* wrl_calloc(size_t size) {
    void* p = wrl_malloc(size);
    if (p != nullptr) std::memset(p, 0, size == 0 ? 1 : size);
    return p;
}

void wrl_free(void* ptr) {
    s_frees.fetch_add(1, std::memory_order_relaxed);
    std::free(ptr);
}

void wrl_mallocstats(void) {
    std::printf("%lu mallocs, %lu frees\n", s_mallocs.load(), s_frees.load());
}

void wrl_mallocstats_get(unsigned long* mallocs, unsigned long* frees) {
    if (mallocs != nullptr) *mallocs = s_mallocs.load();
    if (frees != nullptr) *frees = s_frees.load();
}

}  // extern "C"
