// Row storage of one table. Every change first reserves all memory it may need (slot,
// hash room, key node) and only then touches the table, so an allocation failure leaves
// the table as it was.
#include "outside/table_rows.h"

#include <cstring>
#include <new>

namespace table_store {
namespace {

constexpr uint32_t kMaxSlots = 1u << 31;   // keeps every row count inside int32
constexpr size_t kFirstBlockBytes = 4096;  // small tables stay small
constexpr size_t kMaxPrefetchBytes = 512;

// Makes room for `needed` elements, growing geometrically so that a run of single-element
// reservations stays linear in total.
template <class Vector>
void reserve_for(Vector& v, size_t needed) {
    if (v.capacity() < needed) v.reserve(needed > 2 * v.capacity() ? needed : 2 * v.capacity());
}

}  // namespace

RowTable::RowTable(std::shared_ptr<const TableLayout> layout, uint64_t first_seq)
    : layout_(std::move(layout)),
      primary_key_(&layout_->indexes[static_cast<size_t>(layout_->primary)].key),
      row_length_(static_cast<size_t>(layout_->row_length)),
      stride_((sizeof(Slot) + row_length_ + alignof(Slot) - 1) / alignof(Slot) * alignof(Slot)),
      prefetch_bytes_(stride_ < kMaxPrefetchBytes ? stride_ : kMaxPrefetchBytes),
      next_seq_(first_seq == 0 ? 1 : first_seq) {
    secondary_of_index_.assign(layout_->indexes.size(), -1);
    for (size_t i = 0; i < layout_->indexes.size(); ++i) {
        if (layout_->indexes[i].primary) continue;
        secondary_of_index_[i] = static_cast<int32_t>(secondaries_.size());
        Secondary sec;
        sec.key = &layout_->indexes[i].key;
        secondaries_.push_back(std::move(sec));
    }
}

uint32_t RowTable::find_primary(uint64_t hash, const unsigned char* key_row) const {
    return primary_.find(hash, [&](uint32_t slot) {
        prefetch_record(slot);  // the caller mostly copies the row next
        return key_equal(*primary_key_, row(slot), key_row);
    });
}

uint32_t RowTable::find_node(const Secondary& sec, uint64_t hash,
                             const unsigned char* key_row) const {
    return sec.map.find(hash, [&](uint32_t node) {
        return key_equal(*sec.key, row(sec.nodes[node].head), key_row);
    });
}

uint32_t RowTable::find(int32_t index, const void* key_row) const {
    const auto* key = static_cast<const unsigned char*>(key_row);
    const int32_t position = secondary_of_index_[static_cast<size_t>(index)];
    if (position < 0) return find_primary(key_hash(*primary_key_, key), key);
    const Secondary& sec = secondaries_[static_cast<size_t>(position)];
    const uint32_t node = find_node(sec, key_hash(*sec.key, key), key);
    return node == kNoSlot ? kNoSlot : sec.nodes[node].head;
}

void RowTable::reserve_slot() {
    if (free_slot_ != kNoSlot) return;
    if (capacity_ >= kMaxSlots) throw std::bad_alloc();
    // Doubling keeps the copying of a growing table linear in total.
    const size_t new_size = capacity_ == 0 ? kFirstBlockBytes / stride_ : 2 * size_t{capacity_};
    grow_slots(new_size == 0 ? 1 : new_size);
}

void RowTable::reserve(size_t rows) {
    primary_.reserve(size_t{count_} + rows);  // may throw: nothing else changed yet
    appended_.reserve(appended_.size() + rows);
    const size_t unused = size_t{capacity_} - count_;
    if (rows > unused) grow_slots(size_t{capacity_} + (rows - unused));
}

void RowTable::grow_slots(size_t new_size) {
    const size_t old_size = capacity_;
    if (new_size > kMaxSlots) new_size = kMaxSlots;
    if (new_size <= old_size) return;
    if (new_size > SIZE_MAX / stride_) throw std::bad_alloc();
    // Every allocation happens before the first change. The block is aligned for any
    // fundamental type, and the stride keeps every record aligned for Slot.
    Block fresh = allocate_block(new_size * stride_);
    for (Secondary& sec : secondaries_) reserve_for(sec.links, new_size);
    reserve_for(order_, new_size);

    if (old_size > 0) std::memcpy(fresh.get(), records_.get(), old_size * stride_);
    for (size_t i = old_size; i < new_size; ++i) new (fresh.get() + i * stride_) Slot{};
    records_ = std::move(fresh);
    capacity_ = static_cast<uint32_t>(new_size);
    for (Secondary& sec : secondaries_) sec.links.resize(new_size);
    order_.resize(new_size);
    // The new slots go in front of the free list, lowest first, so that rows inserted
    // into a fresh table fill it from slot 0 upwards.
    uint32_t first_free = free_slot_;
    for (size_t s = new_size; s-- > old_size;) {
        order_[s].next = first_free;
        first_free = static_cast<uint32_t>(s);
    }
    free_slot_ = first_free;
}

void RowTable::reserve_node(Secondary& sec) {
    sec.map.reserve(sec.map.size() + 1);
    if (sec.free_node == kNoSlot) reserve_for(sec.nodes, sec.nodes.size() + 1);
}

bool RowTable::insert(const void* new_row) {
    const auto* data = static_cast<const unsigned char*>(new_row);
    return insert_hashed(data, key_hash(*primary_key_, data));
}

bool RowTable::insert_hashed(const unsigned char* data, uint64_t hash) {
    if (find_primary(hash, data) != kNoSlot) return false;
    if (count_ >= static_cast<uint32_t>(INT32_MAX)) return false;
    primary_.reserve(count_ + 1);
    reserve_slot();
    for (Secondary& sec : secondaries_) reserve_node(sec);
    const uint32_t slot = append_slot(data);
    primary_.insert(hash, slot);
    for (Secondary& sec : secondaries_) link_secondary(sec, slot);
    return true;
}

// Takes a free slot, fills it with `data` and puts it last in table order.
// REQUIRES: reserve_slot() made sure there is a free slot.
uint32_t RowTable::append_slot(const unsigned char* data) {
    const uint32_t slot = free_slot_;
    Slot& s = meta(slot);
    OrderLink& link = order_[slot];
    free_slot_ = link.next;
    std::memcpy(mutable_row(slot), data, row_length_);
    s.seq = next_seq_++;
    s.state = kLive;
    s.pins = 0;
    link.prev = tail_;
    link.next = kNoSlot;
    if (tail_ == kNoSlot) {
        head_ = slot;
    } else {
        order_[tail_].next = slot;
    }
    tail_ = slot;
    ++count_;
    return slot;
}

bool RowTable::append_unindexed(const unsigned char* rows, size_t count) {
    if (count > size_t{INT32_MAX} - count_) return false;
    if (appended_.capacity() - appended_.size() < count) {
        reserve_for(appended_, appended_.size() + count);
    }
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* data = rows + i * row_length_;
        reserve_slot();
        // The hash is taken while the row is in the cache; the index needs it later.
        appended_.push_back(HashIndex::entry(key_hash(*primary_key_, data), append_slot(data)));
    }
    return true;
}

bool RowTable::index_appended() {
    HashIndex::Entries pending;
    pending.swap(appended_);
    bool indexed = false;
    size_t linked = 0;  // pending rows already in the secondary indexes
    try {
        primary_.reserve(count_);
        const auto same = [](const void* context, uint32_t a, uint32_t b) {
            const auto* table = static_cast<const RowTable*>(context);
            return key_equal(*table->primary_key_, table->row(a), table->row(b));
        };
        indexed = primary_.insert_all(pending, same, this);
        for (; indexed && linked < pending.size(); ++linked) {
            for (Secondary& sec : secondaries_) reserve_node(sec);
            for (Secondary& sec : secondaries_) link_secondary(sec, pending[linked].id);
        }
    } catch (const std::bad_alloc&) {
        indexed = false;
    }
    if (!indexed) drop_appended(pending, linked);
    return indexed;
}

// Removes the `pending` rows again, the first `linked` of which are in the secondary
// indexes, and rebuilds the primary index from the rows that stay: it may hold some of the
// removed rows, and rebuilding needs no memory.
void RowTable::drop_appended(const HashIndex::Entries& pending, size_t linked) {
    for (size_t i = 0; i < linked; ++i) {
        for (Secondary& sec : secondaries_) unlink_secondary(sec, pending[i].id);
    }
    for (size_t i = pending.size(); i-- > 0;) {
        release_slot(pending[i].id);
        --count_;
    }
    primary_.clear();
    for (uint32_t s = head_; s != kNoSlot; s = order_[s].next) {
        if (!is_deleted(s)) primary_.insert(key_hash(*primary_key_, row(s)), s);
    }
}

void RowTable::link_secondary(Secondary& sec, uint32_t slot) {
    const uint64_t hash = key_hash(*sec.key, row(slot));
    const uint32_t node = find_node(sec, hash, row(slot));
    ChainLink& link = sec.links[slot];
    if (node == kNoSlot) {
        uint32_t fresh = sec.free_node;
        if (fresh == kNoSlot) {
            fresh = static_cast<uint32_t>(sec.nodes.size());
            sec.nodes.push_back(KeyNode{});  // room reserved by reserve_node
        } else {
            sec.free_node = sec.nodes[fresh].tail;
        }
        sec.nodes[fresh] = KeyNode{slot, slot};
        sec.map.insert(hash, fresh);
        link = ChainLink{kNoSlot, kNoSlot, fresh};
        return;
    }
    // Chains run in insertion order; a new row goes last, a row whose key an update
    // changed goes where its insertion number puts it.
    KeyNode& key_node = sec.nodes[node];
    const uint64_t seq = meta(slot).seq;
    uint32_t before = key_node.tail;
    while (before != kNoSlot && meta(before).seq > seq) before = sec.links[before].prev;
    const uint32_t after = before == kNoSlot ? key_node.head : sec.links[before].next;
    link = ChainLink{before, after, node};
    if (before == kNoSlot) {
        key_node.head = slot;
    } else {
        sec.links[before].next = slot;
    }
    if (after == kNoSlot) {
        key_node.tail = slot;
    } else {
        sec.links[after].prev = slot;
    }
}

void RowTable::unlink_secondary(Secondary& sec, uint32_t slot) {
    const ChainLink link = sec.links[slot];
    KeyNode& key_node = sec.nodes[link.node];
    if (link.prev == kNoSlot) {
        key_node.head = link.next;
    } else {
        sec.links[link.prev].next = link.next;
    }
    if (link.next == kNoSlot) {
        key_node.tail = link.prev;
    } else {
        sec.links[link.next].prev = link.prev;
    }
    sec.links[slot] = ChainLink{};
    if (key_node.head == kNoSlot) {  // last row of the key: the key goes
        sec.map.erase(key_hash(*sec.key, row(slot)), link.node);
        key_node.tail = sec.free_node;
        sec.free_node = link.node;
    }
}

bool RowTable::replace(uint32_t slot, const void* new_row, bool same_primary_key) {
    const auto* data = static_cast<const unsigned char*>(new_row);
    const unsigned char* old = row(slot);
    const bool primary_changed = !same_primary_key && !key_equal(*primary_key_, old, data);
    uint64_t new_hash = 0;
    if (primary_changed) {
        new_hash = key_hash(*primary_key_, data);
        if (find_primary(new_hash, data) != kNoSlot) return false;
    }
    uint64_t changed = 0;  // bit per secondary index whose key differs
    for (size_t i = 0; i < secondaries_.size(); ++i) {
        if (!key_equal(*secondaries_[i].key, old, data)) changed |= uint64_t{1} << i;
    }
    for (size_t i = 0; i < secondaries_.size(); ++i) {
        if (changed & (uint64_t{1} << i)) reserve_node(secondaries_[i]);
    }

    if (primary_changed) primary_.erase(key_hash(*primary_key_, old), slot);
    for (size_t i = 0; i < secondaries_.size(); ++i) {
        if (changed & (uint64_t{1} << i)) unlink_secondary(secondaries_[i], slot);
    }
    std::memcpy(mutable_row(slot), data, row_length_);
    if (primary_changed) primary_.insert(new_hash, slot);
    for (size_t i = 0; i < secondaries_.size(); ++i) {
        if (changed & (uint64_t{1} << i)) link_secondary(secondaries_[i], slot);
    }
    return true;
}

void RowTable::erase(uint32_t slot, uint64_t primary_hash) {
    if (meta(slot).pins == 0) {  // release_slot() relinks both neighbours in table order next
        const OrderLink& link = order_[slot];
        if (link.prev != kNoSlot) __builtin_prefetch(&order_[link.prev], 1);
        if (link.next != kNoSlot) __builtin_prefetch(&order_[link.next], 1);
    }
    primary_.erase(primary_hash, slot);
    for (Secondary& sec : secondaries_) unlink_secondary(sec, slot);
    --count_;
    if (meta(slot).pins > 0) {
        meta(slot).state = kDead;
    } else {
        release_slot(slot);
    }
}

void RowTable::release_slot(uint32_t slot) {
    OrderLink& link = order_[slot];
    if (link.prev == kNoSlot) {
        head_ = link.next;
    } else {
        order_[link.prev].next = link.next;
    }
    if (link.next == kNoSlot) {
        tail_ = link.prev;
    } else {
        order_[link.next].prev = link.prev;
    }
    meta(slot) = Slot{};
    link = OrderLink{kNoSlot, free_slot_};
    free_slot_ = slot;
}

void RowTable::unpin(uint32_t slot) {
    Slot& s = meta(slot);
    if (s.pins > 0 && --s.pins == 0 && s.state == kDead) release_slot(slot);
}

void RowTable::clear() {
    for (uint32_t slot = head_; slot != kNoSlot;) {
        const uint32_t next = order_[slot].next;
        if (meta(slot).pins > 0) {
            meta(slot).state = kDead;
        } else {
            release_slot(slot);
        }
        slot = next;
    }
    primary_.clear();
    for (Secondary& sec : secondaries_) {
        sec.map.clear();
        sec.nodes.clear();
        sec.free_node = kNoSlot;
    }
    count_ = 0;
}

size_t RowTable::index_bytes() const {
    // Hash tables keep at least twice their entries, rounded up to a power of two.
    const auto hash_bytes = [](size_t entries) {
        size_t slots = 16;
        while (slots < 2 * entries) slots *= 2;
        return slots * 8;
    };
    size_t bytes = hash_bytes(count_) + order_.capacity() * sizeof(OrderLink);
    for (const Secondary& sec : secondaries_) {
        bytes += hash_bytes(sec.map.size()) + sec.nodes.capacity() * sizeof(KeyNode) +
                 sec.links.capacity() * sizeof(ChainLink);
    }
    return bytes;
}

}  // namespace table_store
