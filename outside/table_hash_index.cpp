// Growth, insertion and backward-shift deletion of the open-addressing hash index.
#include "outside/table_hash_index.h"

#include <algorithm>

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

bool HashIndex::insert_all(const Entries& entries, SameKeys same, const void* context) {
    if (entries.empty()) return true;
    // Entries are grouped by the region of the index their probe starts in, a region
    // small enough to stay in the cache while its entries go in.
    constexpr unsigned kRegionBits = 12;
    unsigned index_bits = 0;
    while ((size_t{1} << index_bits) < entries_.size()) ++index_bits;
    const unsigned shift = index_bits > kRegionBits ? index_bits - kRegionBits : 0;
    const size_t regions = (entries_.size() >> shift) + 1;
    std::vector<uint32_t> starts(regions + 1, 0);
    for (const Entry& e : entries) ++starts[((e.tag & mask_) >> shift) + 1];
    for (size_t r = 1; r <= regions; ++r) starts[r] += starts[r - 1];
    Entries grouped(entries.size());
    for (const Entry& e : entries) grouped[starts[(e.tag & mask_) >> shift]++] = e;

    // A region's entries go in in no particular order, so its lines are requested one
    // region ahead instead of missing one by one.
    const auto request_region = [&](size_t region) {
        const size_t first = region << shift;
        const size_t end = std::min(entries_.size(), (region + 1) << shift);
        for (size_t i = first; i < end; i += 64 / sizeof(Entry))
            __builtin_prefetch(&entries_[i], 1);
    };
    request_region(0);
    size_t next = 0;
    for (size_t region = 0; region < regions; ++region) {
        if (region + 1 < regions) request_region(region + 1);
        // starts[region] now marks the end of the region's entries in `grouped`.
        for (; next < starts[region]; ++next) {
            const Entry& e = grouped[next];
            uint32_t i = e.tag & mask_;
            for (; entries_[i].id != kNone; i = (i + 1) & mask_) {
                if (entries_[i].tag == e.tag && same(context, entries_[i].id, e.id)) return false;
            }
            entries_[i] = e;
            ++size_;
        }
    }
    return true;
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
