// Row storage of one table: fixed-size rows in stable slots, the unique primary hash
// index, and per secondary index a hash of keys to intrusive doubly linked chains of rows
// in insertion order. Cursors name rows by (slot, insertion number), so a slot reused by a
// later insert is never mistaken for the row that was there before.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "outside/table_hash_index.h"
#include "outside/table_key.h"
#include "outside/table_layout.h"
#include "outside/table_memory.h"

namespace table_store {

constexpr uint32_t kNoSlot = UINT32_MAX;

class RowTable {
  public:
    // `first_seq` is the insertion number the first row gets; a table that replaces
    // another continues the old numbering so that no stale (slot, number) pair matches.
    explicit RowTable(std::shared_ptr<const TableLayout> layout, uint64_t first_seq = 1);

    const TableLayout& layout() const { return *layout_; }
    int32_t row_length() const { return static_cast<int32_t>(row_length_); }
    int32_t row_count() const { return static_cast<int32_t>(count_); }
    uint64_t next_seq() const { return next_seq_; }
    // Slots the record block holds; a new slot never lies beyond this until it grows.
    uint32_t capacity() const { return capacity_; }
    // The slot the last successful insert() filled (new rows go last in table order).
    uint32_t last_inserted_slot() const { return tail_; }
    // Bytes of the record block, and an estimate of the bytes of the indexes and links.
    size_t record_bytes() const { return size_t{capacity_} * stride_; }
    size_t index_bytes() const;

    // ----- lookup; `index` is a position in layout().indexes, `key_row` a whole row buffer
    // The row with the key of `key_row` (primary index) or the first inserted such row
    // (secondary index); kNoSlot when none.
    uint32_t find(int32_t index, const void* key_row) const;
    // The row with the primary key of `key_row`, or kNoSlot; `*hash` receives the key's
    // hash for a following erase(). `for_erase` asks only for the lines erase() reads (the
    // bookkeeping and the key); otherwise the whole row is requested as soon as the hash
    // tag matches, since the caller copies or overwrites it next.
    uint32_t find_primary_key(const void* key_row, uint64_t* hash, bool for_erase) const {
        const auto* key = static_cast<const unsigned char*>(key_row);
        *hash = key_hash(*primary_key_, key);
        return primary_.find(*hash, [&](uint32_t slot) {
            if (for_erase) {
                __builtin_prefetch(record(slot), 1);
                __builtin_prefetch(&order_[slot]);
                return key_equal_prefetched(*primary_key_, row(slot), key);
            }
            prefetch_record(slot);
            return key_equal(*primary_key_, row(slot), key);
        });
    }
    // Calls f(slot) for every row with the key of `key_row`, in insertion order.
    template <class F>
    void for_each_with_key(int32_t index, const void* key_row, F f) const;
    // True when the row in `slot` has the key of `key_row` in `index`.
    bool has_key(int32_t index, uint32_t slot, const void* key_row) const {
        return key_equal(layout_->indexes[static_cast<size_t>(index)].key, row(slot),
                         static_cast<const unsigned char*>(key_row));
    }

    const unsigned char* row(uint32_t slot) const { return record(slot) + sizeof(Slot); }
    uint64_t seq(uint32_t slot) const { return meta(slot).seq; }
    // True when `slot` still holds the undeleted row that was inserted as number `seq`.
    bool is_live(uint32_t slot, uint64_t seq) const {
        return slot < capacity_ && meta(slot).state == kLive && meta(slot).seq == seq;
    }

    // ----- changes; each may throw std::bad_alloc, and then has changed nothing
    // Makes room for `rows` more rows at once, so that inserting them grows nothing; a
    // hint only: inserts still grow the table when more come, or slots are held by
    // deleted rows that cursors pin.
    void reserve(size_t rows);
    // Inserts a copy of `row`; false when its primary key is present or the table is full.
    bool insert(const void* row);
    // Replaces the live row in `slot`; false when the new primary key belongs to another row.
    // `same_primary_key` tells that the caller found the slot by the new row's primary key.
    bool replace(uint32_t slot, const void* row, bool same_primary_key = false);
    // Filling a table from a stream in two steps, so that the index is built once from
    // all the rows instead of row by row. append_unindexed() adds copies of the `count`
    // rows that follow one another at `rows` after the rows present, in table order, not
    // yet findable; false when the table would exceed its row limit. index_appended() then
    // indexes every row appended since the last call: false when a primary key repeats
    // (among them or with a row present) or memory runs out, and then the appended rows
    // are gone again. REQUIRES: between the two the table is used for nothing else (it may
    // be destroyed). append_unindexed() may throw std::bad_alloc; the rows appended before
    // stay pending.
    bool append_unindexed(const unsigned char* rows, size_t count);
    bool index_appended();
    // Deletes the live row in `slot`. A pinned slot stays in table order as a deleted
    // placeholder until its last pin goes, so a cursor standing on it can move on.
    void erase(uint32_t slot) { erase(slot, key_hash(*primary_key_, row(slot))); }
    // The same, with the hash of the row's primary key already known.
    void erase(uint32_t slot, uint64_t primary_hash);
    void clear();

    // ----- table order (insertion order), including deleted placeholders of pinned slots
    uint32_t first() const { return head_; }
    uint32_t next(uint32_t slot) const { return order_[slot].next; }
    bool is_deleted(uint32_t slot) const { return meta(slot).state != kLive; }
    void pin(uint32_t slot) { ++meta(slot).pins; }
    void unpin(uint32_t slot);

  private:
    enum : uint8_t { kFree, kLive, kDead };
    // Per-row bookkeeping in front of the row bytes; the place for further per-row metadata.
    struct Slot {
        uint64_t seq = 0;   // insertion number of the row held; 0 while free
        uint32_t pins = 0;  // all-rows cursors standing on the slot
        uint8_t state = kFree;
    };
    // Table order lives apart from the rows, in a compact array by slot: a delete relinks
    // the neighbours there without fetching their rows, and their links are likely cached.
    struct OrderLink {
        uint32_t prev = kNoSlot;
        uint32_t next = kNoSlot;  // the free list while the slot is free
    };
    // The record block is freed (and moved when it grows) without running destructors.
    static_assert(std::is_trivially_destructible_v<Slot> && std::is_trivially_copyable_v<Slot>);
    struct ChainLink {
        uint32_t prev = kNoSlot;
        uint32_t next = kNoSlot;
        uint32_t node = kNoSlot;
    };
    struct KeyNode {
        uint32_t head = kNoSlot;  // first inserted row of the key
        uint32_t tail = kNoSlot;  // last inserted row; next free node while free
    };
    struct Secondary {
        const std::vector<KeyPart>* key = nullptr;
        HashIndex map;  // key -> node
        std::vector<KeyNode> nodes;
        uint32_t free_node = kNoSlot;
        std::vector<ChainLink, BlockAllocator<ChainLink>> links;  // by slot
    };

    // A slot's record: its bookkeeping, then the row bytes, so that the two share cache
    // lines. All records sit in one block so that finding one costs no further load.
    unsigned char* record(uint32_t slot) const { return records_.get() + size_t{slot} * stride_; }
    // Requests the cache lines of the record in `slot` (at most prefetch_bytes_ of it), so
    // that their misses overlap instead of following one another.
    void prefetch_record(uint32_t slot) const {
        const auto start = reinterpret_cast<uintptr_t>(record(slot));
        const uintptr_t end = start + prefetch_bytes_;
        for (uintptr_t line = start & ~uintptr_t{63}; line < end; line += 64) {
            __builtin_prefetch(reinterpret_cast<const void*>(line));
        }
    }
    Slot& meta(uint32_t slot) const { return *std::launder(reinterpret_cast<Slot*>(record(slot))); }
    unsigned char* mutable_row(uint32_t slot) { return record(slot) + sizeof(Slot); }
    uint32_t find_primary(uint64_t hash, const unsigned char* key_row) const;
    uint32_t find_node(const Secondary& sec, uint64_t hash, const unsigned char* key_row) const;
    void reserve_slot();
    void grow_slots(size_t new_size);
    bool insert_hashed(const unsigned char* row, uint64_t hash);
    uint32_t append_slot(const unsigned char* row);
    void drop_appended(const HashIndex::Entries& pending, size_t linked);
    void reserve_node(Secondary& sec);
    void link_secondary(Secondary& sec, uint32_t slot);
    void unlink_secondary(Secondary& sec, uint32_t slot);
    void release_slot(uint32_t slot);

    std::shared_ptr<const TableLayout> layout_;
    const std::vector<KeyPart>* primary_key_;
    size_t row_length_;
    size_t stride_;          // bytes of one slot record: Slot, row, padding to Slot's alignment
    size_t prefetch_bytes_;  // bytes of a record worth requesting ahead of a copy
    Block records_;          // capacity_ records of stride_ bytes
    std::vector<OrderLink, BlockAllocator<OrderLink>> order_;  // by slot
    uint32_t capacity_ = 0;
    uint32_t free_slot_ = kNoSlot;
    uint32_t head_ = kNoSlot;
    uint32_t tail_ = kNoSlot;
    uint32_t count_ = 0;
    uint64_t next_seq_;
    HashIndex primary_;
    std::vector<Secondary> secondaries_;
    std::vector<int32_t> secondary_of_index_;  // index position -> secondaries_ position, or -1
    HashIndex::Entries appended_;              // rows appended and not yet indexed, in order
};

template <class F>
void RowTable::for_each_with_key(int32_t index, const void* key_row, F f) const {
    const auto* key = static_cast<const unsigned char*>(key_row);
    const int32_t position = secondary_of_index_[static_cast<size_t>(index)];
    if (position < 0) {
        const uint32_t slot = find_primary(key_hash(*primary_key_, key), key);
        if (slot != kNoSlot) f(slot);
        return;
    }
    const Secondary& sec = secondaries_[static_cast<size_t>(position)];
    const uint32_t node = find_node(sec, key_hash(*sec.key, key), key);
    if (node == kNoSlot) return;
    for (uint32_t s = sec.nodes[node].head; s != kNoSlot; s = sec.links[s].next) f(s);
}

}  // namespace table_store
