// Open-addressing hash table of 32-bit ids (row slots or key nodes) used for exact-key
// lookups. It stores only the id and 32 bits of its hash; the caller decides equality
// by looking at the row the id names. Linear probing with backward-shift deletion keeps
// lookups short without tombstones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "outside/table_memory.h"

namespace table_store {

class HashIndex {
  public:
    static constexpr uint32_t kNone = UINT32_MAX;
    // An id with the 32 bits of its hash that the index keeps.
    struct Entry {
        uint32_t tag;
        uint32_t id;  // kNone: empty
    };
    static Entry entry(uint64_t hash, uint32_t id) { return Entry{fold(hash), id}; }
    // Tells whether the ids `a` and `b` stand for equal keys.
    using SameKeys = bool (*)(const void* context, uint32_t a, uint32_t b);
    using Entries = std::vector<Entry, BlockAllocator<Entry>>;

    // Makes room for `count` ids without growing again. May throw std::bad_alloc, in
    // which case the table is unchanged.
    void reserve(size_t count);

    // The id whose entry has `hash` and for which `same(id)` holds; kNone when none.
    template <class Same>
    uint32_t find(uint64_t hash, Same same) const {
        if (entries_.empty()) return kNone;
        const uint32_t tag = fold(hash);
        for (uint32_t i = tag & mask_;; i = (i + 1) & mask_) {
            const Entry& e = entries_[i];
            if (e.id == kNone) return kNone;
            if (e.tag == tag && same(e.id)) return e.id;
        }
    }

    // Adds `id` under `hash`. REQUIRES: reserve() made room for it.
    void insert(uint64_t hash, uint32_t id);

    // Adds all `entries`, region of the index by region, so that a big batch costs
    // sequential passes instead of a cache miss per entry. Stops at the first entry whose
    // key equals one already in the index (`same` is asked only when the tags match) and
    // returns false; the entries added until then stay. REQUIRES: reserve() made room for
    // them all. May throw std::bad_alloc (for its working copy) before adding any.
    bool insert_all(const Entries& entries, SameKeys same, const void* context);

    // Removes the entry of `id` filed under `hash`; false when there is none.
    bool erase(uint64_t hash, uint32_t id);

    void clear();
    size_t size() const { return size_; }

  private:
    static uint32_t fold(uint64_t hash) { return static_cast<uint32_t>(hash ^ (hash >> 32)); }
    void rehash(size_t capacity);

    Entries entries_;
    uint32_t mask_ = 0;
    size_t size_ = 0;
};

}  // namespace table_store
