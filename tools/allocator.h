// Fixed-size block allocator: serves equal-sized elements from blocks of a few hundred bytes
// so that allocating and freeing an element are constant-time list operations with no heap
// call, except when a block is added or released. Every live allocator is entered in one
// process-wide registry from which a memory-use report is printed.
//
// Geometry: slot size s = (max(element size, 16) + 8) rounded up to a multiple of 8 (an
// 8-byte header naming the slot's owner, then the element); block size =
// (floor(s * elements per block / 496) + 1) * 496 bytes; slots per block = block size / s.
// Elements are aligned to 8 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct tool_allocator_block_s;

struct tool_allocator_s {
    char name[256];  // where it was created, cut to 255 characters
    uint32_t line;
    uint32_t in_use;       // elements handed out and not yet freed
    uint32_t most_in_use;  // the highest in_use ever reached
    uint32_t slot_size;
    uint32_t slots_per_block;
    uint32_t block_size;
    // Free a block as soon as none of its elements is in use. Fixed at creation: the
    // per-block counts and the backward free-list links are kept only when it is set.
    uint32_t release;
    tool_allocator_block_s* blocks;  // newest first
    // Head of the free slot list: the element address of a free slot, whose first 8 bytes
    // link to the next free element (and, with release, the following 8 to the previous).
    unsigned char* free_slots;
    tool_allocator_s* next;  // registry links, newest first
    tool_allocator_s* previous;
};

// A new allocator, entered at the head of the registry; absent (after an error line) when
// the geometry does not fit 32 bits or memory runs out. Elements per block below 1 count as
// 1. `name` may be absent (empty name in the report).
tool_allocator_s* tool_allocator_create(size_t element_size, uint32_t elements_per_block,
                                        int release, const char* name, uint32_t line);

// An element of the allocator's element size; its contents are whatever the slot held.
// When no slot is free, two blocks are added and the first slot of the second is taken.
// Absent for an absent allocator or when the blocks cannot be allocated.
inline void* tool_allocator_alloc(tool_allocator_s* allocator);

// Returns an element to its allocator. With the release flag set, a block none of whose
// elements is in use any more is freed at once. An absent element is ignored; an element
// that is already free is reported ("Element freed twice.") and left alone.
// REQUIRES: `element` came from tool_allocator_alloc of a live allocator.
inline void tool_allocator_free(void* element);

// Every slot of every block becomes free (blocks are kept); the most-in-use figure stays.
// 1, or 0 for an absent allocator.
int tool_allocator_reset(tool_allocator_s* allocator);

// Frees all blocks and the allocator and removes it from the registry. 1, or 0 for an
// absent allocator.
int tool_allocator_destroy(tool_allocator_s* allocator);

// Figures for one allocator; every output may be absent. bytes in use = s * in use,
// bytes at most in use = s * most in use, bytes reserved = slots per block * s * blocks.
// 1, or 0 (all outputs 0) for an absent allocator.
int tool_allocator_stats(const tool_allocator_s* allocator, uint32_t* in_use, uint32_t* most_in_use,
                         uint32_t* blocks, uint64_t* bytes_in_use, uint64_t* bytes_most_in_use,
                         uint64_t* bytes_reserved);

// Prints the registry's memory-use report through `print` (printf when absent).
using tool_allocator_print_f = int (*)(const char* format, ...);
void tool_allocator_report(tool_allocator_print_f print);

// ---- inline fast paths ---------------------------------------------------------------
// Allocating from a non-empty free list and freeing into an allocator that keeps its
// blocks are a handful of instructions, so they are inlined into callers; everything else
// (adding blocks, the release bookkeeping, the double-free report) is out of line.
// Slot words are read and written with memcpy: the element area holds the caller's data
// while in use and the free-list links while free.

// Out-of-line parts of tool_allocator_alloc and tool_allocator_free; call those instead.
void* tool_allocator_alloc_slow(tool_allocator_s* allocator);
void tool_allocator_free_slow(unsigned char* element, uintptr_t header);

namespace tool_allocator_detail {
// A slot's 8-byte header. An allocator that keeps its blocks writes its own address there,
// so that freeing needs no look at the block; one that releases blocks writes the block's
// address with `block_bit` set. The lowest bit is set while the slot is free.
constexpr uintptr_t free_bit = 1;
constexpr uintptr_t block_bit = 2;
constexpr size_t header_size = 8;

inline uintptr_t load_word(const unsigned char* at) {
    uintptr_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}
inline void store_word(unsigned char* at, uintptr_t word) {
    std::memcpy(at, &word, sizeof word);
}
}  // namespace tool_allocator_detail

inline void* tool_allocator_alloc(tool_allocator_s* allocator) {
    namespace d = tool_allocator_detail;
    if (!allocator) return nullptr;
    unsigned char* element = allocator->free_slots;
    if (!element || allocator->release) [[unlikely]]
        return tool_allocator_alloc_slow(allocator);
    allocator->free_slots = reinterpret_cast<unsigned char*>(d::load_word(element));
    d::store_word(element - d::header_size, reinterpret_cast<uintptr_t>(allocator));
    if (++allocator->in_use > allocator->most_in_use) allocator->most_in_use = allocator->in_use;
    return element;
}

inline void tool_allocator_free(void* element) {
    namespace d = tool_allocator_detail;
    if (!element) return;
    auto* bytes = static_cast<unsigned char*>(element);
    const uintptr_t header = d::load_word(bytes - d::header_size);
    if (header & (d::free_bit | d::block_bit)) [[unlikely]] {
        return tool_allocator_free_slow(bytes, header);
    }
    auto* allocator = reinterpret_cast<tool_allocator_s*>(header);
    d::store_word(bytes - d::header_size, header | d::free_bit);
    d::store_word(bytes, reinterpret_cast<uintptr_t>(allocator->free_slots));
    allocator->free_slots = bytes;
    --allocator->in_use;
}
