// Slot tables behind the opaque handles of the store's domain half. A handle is a number,
// never an address: the slot index, a kind tag and the slot's generation packed into the
// pointer value. Checking a handle is one bounds check and one generation compare, so a
// handle of a deleted object fails cleanly even after its slot has been reused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace domain_store {

// Kind tags keep a handle of one kind from passing as another.
enum class HandleKind : uint32_t { kDomain = 1, kEvents = 2, kEvent = 3, kMapper = 4, kStats = 5 };

static_assert(sizeof(uintptr_t) >= sizeof(uint64_t), "handles need 64-bit pointer values");

// The handle value as the pointer type the callers see; the store never dereferences it.
template <typename Handle>
Handle* to_handle(uint64_t value) {
    return reinterpret_cast<Handle*>(static_cast<uintptr_t>(value));
}

inline uint64_t from_handle(const void* handle) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
}

// A table of objects of type T addressed by handle values. A slot's generation is odd
// while it holds a live object and even while it is free, so a live handle always carries
// an odd generation and a stale one can never match. Slots whose generation is about to
// wrap are retired instead of reused.
// REQUIRES: T is default-constructible and nothrow-movable.
template <typename T, HandleKind Kind>
class HandleTable {
  public:
    static constexpr uint32_t kSlotBits = 28;
    static constexpr uint32_t kMaxSlots = 1u << kSlotBits;

    // Stores `value` in a free slot; the new handle value, or 0 when every slot is taken.
    // Throws std::bad_alloc only before anything changed.
    uint64_t add(T&& value) {
        uint32_t slot;
        if (free_head_ != kNoSlot) {
            slot = free_head_;
            free_head_ = entries_[slot].next_free;
        } else {
            if (entries_.size() >= kMaxSlots) return 0;
            entries_.emplace_back();
            slot = static_cast<uint32_t>(entries_.size() - 1);
        }
        Entry& entry = entries_[slot];
        entry.value = std::move(value);
        entry.next_free = kNoSlot;
        ++entry.generation;
        ++live_;
        return encode(slot, entry.generation);
    }

    // The object of a live handle; null for a stale, foreign or null handle.
    T* get(uint64_t handle) {
        const auto low = static_cast<uint32_t>(handle);
        if ((low >> kSlotBits) != static_cast<uint32_t>(Kind)) return nullptr;
        const uint32_t slot = low & (kMaxSlots - 1);
        if (slot >= entries_.size()) return nullptr;
        Entry& entry = entries_[slot];
        const auto generation = static_cast<uint32_t>(handle >> 32);
        if (entry.generation != generation || (generation & 1u) == 0) return nullptr;
        return &entry.value;
    }

    // Releases the object of a live handle (its value is reset, so its memory goes too).
    // False for a handle that get() refuses.
    bool remove(uint64_t handle) {
        if (get(handle) == nullptr) return false;
        release_slot(static_cast<uint32_t>(handle) & (kMaxSlots - 1));
        return true;
    }

    // Slot-level access for objects that keep the slots of their children.
    // REQUIRES: `slot` holds a live object.
    T& at_slot(uint32_t slot) { return entries_[slot].value; }
    uint64_t handle_at(uint32_t slot) const { return encode(slot, entries_[slot].generation); }
    void remove_slot(uint32_t slot) { release_slot(slot); }

    static uint32_t slot_of(uint64_t handle) {
        return static_cast<uint32_t>(handle) & (kMaxSlots - 1);
    }

    size_t live_count() const { return live_; }

  private:
    static constexpr uint32_t kNoSlot = UINT32_MAX;
    static constexpr uint32_t kRetireGeneration = UINT32_MAX - 1;

    struct Entry {
        uint32_t generation = 0;
        uint32_t next_free = kNoSlot;
        T value{};
    };

    static uint64_t encode(uint32_t slot, uint32_t generation) {
        return static_cast<uint64_t>(generation) << 32 |
               static_cast<uint64_t>(static_cast<uint32_t>(Kind) << kSlotBits) | slot;
    }

    void release_slot(uint32_t slot) {
        Entry& entry = entries_[slot];
        entry.value = T{};
        ++entry.generation;
        --live_;
        if (entry.generation >= kRetireGeneration) return;  // never reused: no wrap-around
        entry.next_free = free_head_;
        free_head_ = slot;
    }

    std::vector<Entry> entries_;
    uint32_t free_head_ = kNoSlot;
    size_t live_ = 0;
};

}  // namespace domain_store
