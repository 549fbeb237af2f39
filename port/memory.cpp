// Memory hints through madvise where the kernel offers transparent huge pages.
#include "port/memory.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

void port_advise_large_pages(void* block, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    (void)madvise(block, bytes, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}
