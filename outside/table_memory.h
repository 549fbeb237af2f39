// Memory blocks for the table store's large arrays (row records, hash index entries).
// Blocks of 2 MiB and more are aligned to 2 MiB and offered to the kernel for huge pages:
// keyed operations on a big table touch rows all over it, and with small pages nearly
// every probe would also pay for a page-table walk.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>

namespace table_store {

struct BlockFree {
    void operator()(void* block) const { std::free(block); }
};
using Block = std::unique_ptr<unsigned char[], BlockFree>;

// An uninitialised block of at least `bytes` bytes (at least 1), aligned to 64 bytes.
// Throws std::bad_alloc when memory runs out.
Block allocate_block(size_t bytes);

// Allocator for std::vector that places large arrays in such blocks. REQUIRES: T is an
// implicit-lifetime type no more strictly aligned than 64 bytes.
template <class T>
struct BlockAllocator {
    using value_type = T;
    static_assert(alignof(T) <= 64);
    BlockAllocator() = default;
    template <class U>
    BlockAllocator(const BlockAllocator<U>&) noexcept {}
    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        return reinterpret_cast<T*>(allocate_block(n * sizeof(T)).release());
    }
    void deallocate(T* p, size_t) noexcept { std::free(p); }
    template <class U>
    bool operator==(const BlockAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace table_store
