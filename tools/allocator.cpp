// Block allocator: block management, the release bookkeeping, reset, statistics and the
// report. Each slot starts with an 8-byte header naming its owner (the allocator, or the
// block when blocks are released); the lowest bit of the header is set while the slot is
// free, which lets a second free of the same element be caught instead of corrupting the
// free list. A free slot keeps its
// free-list links in its element area (hence the 16-byte minimum element). The common
// allocate and free paths are inline in the header.
#include "tools/allocator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "tools/tool_alloc.h"
#include "tools/tool_report.h"

struct tool_allocator_block_s {
    uint32_t in_use;  // kept only when the allocator releases empty blocks
    tool_allocator_s* allocator;
    unsigned char* slots;
    tool_allocator_block_s* next;
    tool_allocator_block_s* previous;
};

namespace {

using tool_allocator_detail::block_bit;
using tool_allocator_detail::free_bit;
using tool_allocator_detail::header_size;
using tool_allocator_detail::load_word;
using tool_allocator_detail::store_word;

constexpr uint64_t s_block_unit = 496;

// Registry of live allocators, newest first. Allocation and freeing never touch it, so a
// lock here costs nothing where it matters and keeps creation from two threads sound.
std::mutex s_registry_lock;
tool_allocator_s* s_registry = nullptr;

void s_report(const char* text, int line) {
    tool_report_error(text, "allocator", line);
}

unsigned char* s_element(const tool_allocator_block_s* block, uint32_t slot, uint32_t slot_size) {
    return block->slots + static_cast<size_t>(slot) * slot_size + header_size;
}

// Free-list links live in a free slot's element area: the next element at offset 0 and,
// only for allocators that release blocks, the previous one at offset 8 (which is what
// lets a released block's slots be unlinked one by one).
unsigned char* s_next(const unsigned char* element) {
    return reinterpret_cast<unsigned char*>(load_word(element));
}
unsigned char* s_previous(const unsigned char* element) {
    return reinterpret_cast<unsigned char*>(load_word(element + 8));
}
void s_set_next(unsigned char* element, unsigned char* next) {
    store_word(element, reinterpret_cast<uintptr_t>(next));
}
void s_set_previous(unsigned char* element, unsigned char* previous) {
    store_word(element + 8, reinterpret_cast<uintptr_t>(previous));
}

void s_push_free(tool_allocator_s* allocator, unsigned char* element) {
    s_set_next(element, allocator->free_slots);
    if (allocator->release) {
        s_set_previous(element, nullptr);
        if (allocator->free_slots) s_set_previous(allocator->free_slots, element);
    }
    allocator->free_slots = element;
}

// REQUIRES: the allocator releases blocks (the backward links are kept).
void s_unlink_free(tool_allocator_s* allocator, unsigned char* element) {
    unsigned char* next = s_next(element);
    unsigned char* previous = s_previous(element);
    if (previous) {
        s_set_next(previous, next);
    } else {
        allocator->free_slots = next;
    }
    if (next) s_set_previous(next, previous);
}

// Marks every slot of the block free and pushes it on the free list in address order,
// except the first `skip` slots, which stay marked in use (the caller hands one out).
void s_free_all_slots(tool_allocator_s* allocator, tool_allocator_block_s* block, uint32_t skip) {
    block->in_use = skip;
    const uintptr_t header = allocator->release ? reinterpret_cast<uintptr_t>(block) | block_bit
                                                : reinterpret_cast<uintptr_t>(allocator);
    for (uint32_t i = 0; i < allocator->slots_per_block; ++i) {
        unsigned char* element = s_element(block, i, allocator->slot_size);
        if (i < skip) {
            store_word(element - header_size, header);
        } else {
            store_word(element - header_size, header | free_bit);
            s_push_free(allocator, element);
        }
    }
}

tool_allocator_block_s* s_add_block(tool_allocator_s* allocator, uint32_t skip) {
    auto* block = static_cast<tool_allocator_block_s*>(TOOL_MALLOC(sizeof(tool_allocator_block_s)));
    auto* slots = static_cast<unsigned char*>(TOOL_MALLOC(allocator->block_size));
    if (!block || !slots) {
        TOOL_FREE(block);
        TOOL_FREE(slots);
        s_report("Memory allocation failed.", __LINE__);
        return nullptr;
    }
    block->allocator = allocator;
    block->slots = slots;
    block->previous = nullptr;
    block->next = allocator->blocks;
    if (allocator->blocks) allocator->blocks->previous = block;
    allocator->blocks = block;
    s_free_all_slots(allocator, block, skip);
    return block;
}

void s_release_block(tool_allocator_s* allocator, tool_allocator_block_s* block) {
    for (uint32_t i = 0; i < allocator->slots_per_block; ++i) {
        s_unlink_free(allocator, s_element(block, i, allocator->slot_size));
    }
    if (block->previous) {
        block->previous->next = block->next;
    } else {
        allocator->blocks = block->next;
    }
    if (block->next) block->next->previous = block->previous;
    TOOL_FREE(block->slots);
    TOOL_FREE(block);
}

void s_count_allocation(tool_allocator_s* allocator) {
    if (++allocator->in_use > allocator->most_in_use) allocator->most_in_use = allocator->in_use;
}

}  // namespace

tool_allocator_s* tool_allocator_create(size_t element_size, uint32_t elements_per_block,
                                        int release, const char* name, uint32_t line) {
    const uint64_t slot_size =
        element_size > UINT32_MAX - 32
            ? UINT64_MAX
            : (std::max<uint64_t>(element_size, 16) + header_size + 7) / 8 * 8;
    const uint64_t per_block = std::max<uint32_t>(elements_per_block, 1);
    const uint64_t block_size = slot_size == UINT64_MAX
                                    ? UINT64_MAX
                                    : (slot_size * per_block / s_block_unit + 1) * s_block_unit;
    if (block_size > UINT32_MAX) {
        s_report("Allocator block too large.", __LINE__);
        return nullptr;
    }
    auto* allocator = static_cast<tool_allocator_s*>(TOOL_MALLOC(sizeof(tool_allocator_s)));
    if (!allocator) {
        s_report("Memory allocation failed.", __LINE__);
        return nullptr;
    }
    if (name) {
        std::strncpy(allocator->name, name, sizeof allocator->name - 1);
        allocator->name[sizeof allocator->name - 1] = '\0';
    }
    allocator->line = line;
    allocator->slot_size = static_cast<uint32_t>(slot_size);
    allocator->block_size = static_cast<uint32_t>(block_size);
    allocator->slots_per_block = static_cast<uint32_t>(block_size / slot_size);
    allocator->release = release ? 1 : 0;

    std::lock_guard<std::mutex> guard(s_registry_lock);
    allocator->next = s_registry;
    if (s_registry) s_registry->previous = allocator;
    s_registry = allocator;
    return allocator;
}

void* tool_allocator_alloc_slow(tool_allocator_s* allocator) {
    if (!allocator) return nullptr;
    unsigned char* element = allocator->free_slots;
    if (!element) {
        if (!s_add_block(allocator, 0)) return nullptr;
        // The second block's first slot is handed out straight away (never enters the list).
        tool_allocator_block_s* second = s_add_block(allocator, 1);
        if (second) {
            s_count_allocation(allocator);
            return s_element(second, 0, allocator->slot_size);
        }
        // Without the second block the first one still has every slot free.
        element = allocator->free_slots;
    }
    if (allocator->release) {
        s_unlink_free(allocator, element);
        ++reinterpret_cast<tool_allocator_block_s*>(load_word(element - header_size) &
                                                    ~(free_bit | block_bit))
              ->in_use;
    } else {
        allocator->free_slots = s_next(element);
    }
    store_word(element - header_size, load_word(element - header_size) & ~free_bit);
    s_count_allocation(allocator);
    return element;
}

// Reached for a slot that is already free and for every free of an allocator that
// releases blocks.
void tool_allocator_free_slow(unsigned char* element, uintptr_t header) {
    if (header & free_bit) {
        s_report("Element freed twice.", __LINE__);
        return;
    }
    auto* block = reinterpret_cast<tool_allocator_block_s*>(header & ~block_bit);
    tool_allocator_s* allocator = block->allocator;
    store_word(element - header_size, header | free_bit);
    s_push_free(allocator, element);
    --allocator->in_use;
    if (--block->in_use == 0) s_release_block(allocator, block);
}

int tool_allocator_reset(tool_allocator_s* allocator) {
    if (!allocator) return 0;
    allocator->in_use = 0;
    allocator->free_slots = nullptr;
    for (tool_allocator_block_s* block = allocator->blocks; block; block = block->next) {
        s_free_all_slots(allocator, block, 0);
    }
    return 1;
}

int tool_allocator_destroy(tool_allocator_s* allocator) {
    if (!allocator) return 0;
    {
        std::lock_guard<std::mutex> guard(s_registry_lock);
        if (allocator->previous) {
            allocator->previous->next = allocator->next;
        } else {
            s_registry = allocator->next;
        }
        if (allocator->next) allocator->next->previous = allocator->previous;
    }
    tool_allocator_block_s* block = allocator->blocks;
    while (block) {
        tool_allocator_block_s* next = block->next;
        TOOL_FREE(block->slots);
        TOOL_FREE(block);
        block = next;
    }
    TOOL_FREE(allocator);
    return 1;
}

int tool_allocator_stats(const tool_allocator_s* allocator, uint32_t* in_use, uint32_t* most_in_use,
                         uint32_t* blocks, uint64_t* bytes_in_use, uint64_t* bytes_most_in_use,
                         uint64_t* bytes_reserved) {
    uint32_t used = 0, most = 0, count = 0;
    uint64_t slot_size = 0, per_block = 0;
    if (allocator) {
        // The blocks' own counts are kept only with release; their sum is always in_use.
        used = allocator->in_use;
        for (const tool_allocator_block_s* block = allocator->blocks; block; block = block->next) {
            ++count;
        }
        most = allocator->most_in_use;
        slot_size = allocator->slot_size;
        per_block = allocator->slots_per_block;
    }
    if (in_use) *in_use = used;
    if (most_in_use) *most_in_use = most;
    if (blocks) *blocks = count;
    if (bytes_in_use) *bytes_in_use = slot_size * used;
    if (bytes_most_in_use) *bytes_most_in_use = slot_size * most;
    if (bytes_reserved) *bytes_reserved = per_block * slot_size * count;
    return allocator ? 1 : 0;
}

void tool_allocator_report(tool_allocator_print_f print) {
    if (!print) print = std::printf;
    std::lock_guard<std::mutex> guard(s_registry_lock);
    int allocators = 0;
    for (const tool_allocator_s* allocator = s_registry; allocator; allocator = allocator->next) {
        ++allocators;
    }
    print("**** Allocator memory use *********************************\n");
    print("Number of allocators: %d\n", allocators);
    double total_kb = 0.0;
    for (const tool_allocator_s* allocator = s_registry; allocator; allocator = allocator->next) {
        uint32_t in_use, most, blocks;
        uint64_t bytes_in_use, bytes_most, bytes_reserved;
        tool_allocator_stats(allocator, &in_use, &most, &blocks, &bytes_in_use, &bytes_most,
                             &bytes_reserved);
        const double percent = bytes_reserved ? static_cast<double>(bytes_in_use) /
                                                    static_cast<double>(bytes_reserved) * 100.0
                                              : 0.0;
        const double reserved_kb = static_cast<double>(bytes_reserved) / 1024.0;
        print("%-53s Linex: %d\n", allocator->name, static_cast<int>(allocator->line));
        print("  %7d in %5d bl %12.3f/%12.3f (%3.0f%%) max %7d %12.3f  kb\n",
              static_cast<int>(in_use), static_cast<int>(blocks),
              static_cast<double>(bytes_in_use) / 1024.0, reserved_kb, percent,
              static_cast<int>(most), static_cast<double>(bytes_most) / 1024.0);
        total_kb += reserved_kb;
    }
    print(" Total Memory %12.3f kb\n", total_kb);
    print("**** Allocator memory use  end ****************************\n");
}
