// Block allocator. Each slot starts with an 8-byte header holding the address of its block;
// the lowest bit of the header is set while the slot is free, which lets a second free of
// the same element be caught instead of corrupting the free list. A free slot keeps its
// free-list links in its element area (hence the 16-byte minimum element).
#include "tools/allocator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "tools/tool_alloc.h"

struct tool_allocator_freeslot_s {
  tool_allocator_freeslot_s* next;
  tool_allocator_freeslot_s* previous;
};

struct tool_allocator_block_s {
  uint32_t in_use;
  tool_allocator_s* allocator;
  unsigned char* slots;
  tool_allocator_block_s* next;
  tool_allocator_block_s* previous;
};

namespace {

constexpr uint64_t s_block_unit = 496;
constexpr size_t s_header_size = 8;
constexpr uintptr_t s_free_bit = 1;

// Registry of live allocators, newest first. Allocation and freeing never touch it, so a
// lock here costs nothing where it matters and keeps creation from two threads sound.
std::mutex s_registry_lock;
tool_allocator_s* s_registry = nullptr;

void s_report(const char* text, int line) {
  std::fprintf(stderr, "Error: %s (FILE '%s', LINE %d)\n", text, "allocator", line);
}

uintptr_t s_read_header(const unsigned char* element) {
  uintptr_t header;
  std::memcpy(&header, element - s_header_size, sizeof header);
  return header;
}

void s_write_header(unsigned char* element, uintptr_t header) {
  std::memcpy(element - s_header_size, &header, sizeof header);
}

unsigned char* s_element(const tool_allocator_block_s* block, uint32_t slot, uint32_t slot_size) {
  return block->slots + static_cast<size_t>(slot) * slot_size + s_header_size;
}

void s_push_free(tool_allocator_s* allocator, unsigned char* element) {
  auto* slot = new (element) tool_allocator_freeslot_s{allocator->free_slots, nullptr};
  if (allocator->free_slots) allocator->free_slots->previous = slot;
  allocator->free_slots = slot;
}

void s_unlink_free(tool_allocator_s* allocator, tool_allocator_freeslot_s* slot) {
  if (slot->previous) {
    slot->previous->next = slot->next;
  } else {
    allocator->free_slots = slot->next;
  }
  if (slot->next) slot->next->previous = slot->previous;
}

tool_allocator_freeslot_s* s_free_slot_at(unsigned char* element) {
  return std::launder(reinterpret_cast<tool_allocator_freeslot_s*>(element));
}

// Marks every slot of the block free and pushes it on the free list in address order.
void s_free_all_slots(tool_allocator_s* allocator, tool_allocator_block_s* block) {
  block->in_use = 0;
  const uintptr_t header = reinterpret_cast<uintptr_t>(block) | s_free_bit;
  for (uint32_t i = 0; i < allocator->slots_per_block; ++i) {
    unsigned char* element = s_element(block, i, allocator->slot_size);
    s_write_header(element, header);
    s_push_free(allocator, element);
  }
}

tool_allocator_block_s* s_add_block(tool_allocator_s* allocator) {
  auto* block = static_cast<tool_allocator_block_s*>(
      TOOL_MALLOC(sizeof(tool_allocator_block_s)));
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
  s_free_all_slots(allocator, block);
  return block;
}

void s_release_block(tool_allocator_s* allocator, tool_allocator_block_s* block) {
  for (uint32_t i = 0; i < allocator->slots_per_block; ++i) {
    s_unlink_free(allocator, s_free_slot_at(s_element(block, i, allocator->slot_size)));
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

}  // namespace

tool_allocator_s* tool_allocator_create(size_t element_size, uint32_t elements_per_block,
                                        int release, const char* name, uint32_t line) {
  const uint64_t slot_size =
      element_size > UINT32_MAX - 32
          ? UINT64_MAX
          : (std::max<uint64_t>(element_size, 16) + s_header_size + 7) / 8 * 8;
  const uint64_t per_block = std::max<uint32_t>(elements_per_block, 1);
  const uint64_t block_size =
      slot_size == UINT64_MAX ? UINT64_MAX : (slot_size * per_block / s_block_unit + 1) * s_block_unit;
  if (block_size > UINT32_MAX) {
    s_report("Allocator block too large.", __LINE__);
    return nullptr;
  }
  auto* allocator =
      static_cast<tool_allocator_s*>(TOOL_MALLOC(sizeof(tool_allocator_s)));
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

void* tool_allocator_alloc(tool_allocator_s* allocator) {
  if (!allocator) return nullptr;
  tool_allocator_freeslot_s* slot = allocator->free_slots;
  if (!slot) {
    if (!s_add_block(allocator)) return nullptr;
    tool_allocator_block_s* second = s_add_block(allocator);
    // Without the second block the first one still has every slot free.
    slot = second ? s_free_slot_at(s_element(second, 0, allocator->slot_size))
                  : allocator->free_slots;
  }
  s_unlink_free(allocator, slot);
  auto* element = reinterpret_cast<unsigned char*>(slot);
  const uintptr_t header = s_read_header(element) & ~s_free_bit;
  s_write_header(element, header);
  ++reinterpret_cast<tool_allocator_block_s*>(header)->in_use;
  if (++allocator->in_use > allocator->most_in_use) allocator->most_in_use = allocator->in_use;
  return element;
}

void tool_allocator_free(void* element) {
  if (!element) return;
  auto* bytes = static_cast<unsigned char*>(element);
  const uintptr_t header = s_read_header(bytes);
  if (header & s_free_bit) {
    s_report("Element freed twice.", __LINE__);
    return;
  }
  auto* block = reinterpret_cast<tool_allocator_block_s*>(header);
  tool_allocator_s* allocator = block->allocator;
  s_write_header(bytes, header | s_free_bit);
  s_push_free(allocator, bytes);
  --block->in_use;
  --allocator->in_use;
  if (block->in_use == 0 && allocator->release) s_release_block(allocator, block);
}

int tool_allocator_reset(tool_allocator_s* allocator) {
  if (!allocator) return 0;
  allocator->in_use = 0;
  allocator->free_slots = nullptr;
  for (tool_allocator_block_s* block = allocator->blocks; block; block = block->next) {
    s_free_all_slots(allocator, block);
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

int tool_allocator_stats(const tool_allocator_s* allocator, uint32_t* in_use,
                         uint32_t* most_in_use, uint32_t* blocks, uint64_t* bytes_in_use,
                         uint64_t* bytes_most_in_use, uint64_t* bytes_reserved) {
  uint32_t used = 0, most = 0, count = 0;
  uint64_t slot_size = 0, per_block = 0;
  if (allocator) {
    for (const tool_allocator_block_s* block = allocator->blocks; block; block = block->next) {
      used += block->in_use;
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
    const double percent =
        bytes_reserved ? static_cast<double>(bytes_in_use) / static_cast<double>(bytes_reserved) * 100.0
                       : 0.0;
    const double reserved_kb = static_cast<double>(bytes_reserved) / 1024.0;
    print("%-53s Linex: %d\n", allocator->name, static_cast<int>(allocator->line));
    print("  %7d in %5d bl %12.3f/%12.3f (%3.0f%%) max %7d %12.3f  kb\n", static_cast<int>(in_use),
          static_cast<int>(blocks), static_cast<double>(bytes_in_use) / 1024.0, reserved_kb, percent,
          static_cast<int>(most), static_cast<double>(bytes_most) / 1024.0);
    total_kb += reserved_kb;
  }
  print(" Total Memory %12.3f kb\n", total_kb);
  print("**** Allocator memory use  end ****************************\n");
}
