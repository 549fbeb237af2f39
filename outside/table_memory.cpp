// Allocation of the table store's large blocks, with the huge-page hint where the system
// has one (the hint may be refused; the block works the same either way).
#include "outside/table_memory.h"

#include <cstdint>

#include "port/memory.h"

namespace table_store {
namespace {

constexpr size_t kCacheLine = 64;
constexpr size_t kHugePage = kPortLargePageBytes;

}  // namespace

Block allocate_block(size_t bytes) {
    if (bytes == 0) bytes = 1;
    const size_t alignment = bytes >= kHugePage ? kHugePage : kCacheLine;
    if (bytes > SIZE_MAX - alignment) throw std::bad_alloc();
    const size_t rounded =
        (bytes + alignment - 1) / alignment * alignment;  // aligned_alloc wants a multiple
    void* block = std::aligned_alloc(alignment, rounded);
    if (block == nullptr) throw std::bad_alloc();
    if (alignment == kHugePage) port_advise_large_pages(block, rounded);
    return Block(static_cast<unsigned char*>(block));
}

}  // namespace table_store
