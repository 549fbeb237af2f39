// Growth, insertion and backward-shift deletion of the open-addressing hash index.
#include "outside/table_hash_index.h"

namespace table_store {

void HashIndex::reserve(size_t count) {
    size_t capacity = entries_.empty() ? 16 : entries_.size();
    while (count * 2 > capacity) capacity *= 2;  // load factor at most one half
    if (capacity != entries_.size()) rehash(capacity);
}

void HashIndex::rehash(size_t capacity) {
    Entries fresh(capacity, Entry{0, kNone});  // may throw: nothing changed yet
    const auto mask = static_cast<uint32_t>(capacity - 1);
    for (const Entry& e : entries_) {
        if (e.id == kNone) continue;
        uint32_t i = e.tag & mask;
        while (fresh[i].id != kNone) i = (i + 1) & mask;
        fresh[i] = e;
    }
    entries_.swap(fresh);
    mask_ = mask;
}

void HashIndex::insert(uint64_t hash, uint32_t id) {
    const uint32_t tag = fold(hash);
    uint32_t i = tag & mask_;
    while (entries_[i].id != kNone) i = (i + 1) & mask_;
    entries_[i] = Entry{tag, id};
    ++size_;
}

bool HashIndex::erase(uint64_t hash, uint32_t id) {
    if (entries_.empty()) return false;
    const uint32_t tag = fold(hash);
    uint32_t hole = tag & mask_;
    for (;; hole = (hole + 1) & mask_) {
        if (entries_[hole].id == kNone) return false;
        if (entries_[hole].id == id) break;
    }
    // Pull later entries of the probe run back into the hole unless that would move
    // them in front of their home bucket.
    for (uint32_t j = (hole + 1) & mask_; entries_[j].id != kNone; j = (j + 1) & mask_) {
        const uint32_t home = entries_[j].tag & mask_;
        const uint32_t dist_home = (j - home) & mask_;
        const uint32_t dist_hole = (j - hole) & mask_;
        if (dist_home >= dist_hole) {
            entries_[hole] = entries_[j];
            hole = j;
        }
    }
    entries_[hole] = Entry{0, kNone};
    --size_;
    return true;
}

void HashIndex::clear() {
    for (Entry& e : entries_) e = Entry{0, kNone};
    size_ = 0;
}

}  // namespace table_store
