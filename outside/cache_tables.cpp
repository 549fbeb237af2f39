// Fast cache tables: rows in one flat array of slots, freed slots on a free list, insertion
// order as links by slot, and unique indexes as open-addressing hashes of slot numbers.
// A table knows its open cursors, so a delete moves any cursor that was about to hand out
// the deleted row on to the next one; no deleted placeholder has to stay behind.
#include "outside/cache_tables.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "outside/store_seams.h"
#include "outside/table_hash_index.h"

namespace {

constexpr uint32_t kNone = UINT32_MAX;
constexpr uint32_t kMaxRows = INT32_MAX;

struct SlotLink {
    uint64_t seq = 0;  // insertion number of the row held; 0 while the slot is free
    uint32_t prev = kNone;
    uint32_t next = kNone;  // the free list while the slot is free
};

struct UniqueIndex {
    size_t offset;
    size_t length;
    table_store::HashIndex map;  // key hash -> slot
};

uint64_t HashBytes(const unsigned char* p, size_t n) {
    uint64_t h = 0x9E3779B97F4A7C15ULL ^ n;
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        h = (h ^ word) * 0xFF51AFD7ED558CCDULL;
        h ^= h >> 32;
    }
    if (n > 0) {
        uint64_t word = 0;
        std::memcpy(&word, p, n);
        h = (h ^ word) * 0xC4CEB9FE1A85EC53ULL;
    }
    // The index buckets by the low bits of the folded hash: spread every input bit there.
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 29;
    return h;
}

}  // namespace

struct dbf_table_g {
    std::string name;
    size_t row_size = 0;
    std::vector<unsigned char> rows;  // row_size bytes per slot
    std::vector<SlotLink> links;      // by slot
    uint32_t free_slot = kNone;
    uint32_t head = kNone;
    uint32_t tail = kNone;
    uint32_t count = 0;
    uint64_t next_seq = 1;
    std::vector<UniqueIndex> indexes;
    std::vector<dbf_cursor_g*> cursors;

    unsigned char* row(uint32_t slot) { return rows.data() + size_t{slot} * row_size; }
    uint64_t key_hash(const UniqueIndex& index, const unsigned char* r) const {
        return HashBytes(r + index.offset, index.length);
    }
    // The slot whose key in `index` equals the key of row `r`, or kNone.
    uint32_t find(const UniqueIndex& index, const unsigned char* r, uint64_t hash) {
        return index.map.find(hash, [&](uint32_t slot) {
            return std::memcmp(row(slot) + index.offset, r + index.offset, index.length) == 0;
        });
    }
};

struct dbf_cursor_g {
    dbf_table_g* table = nullptr;  // null once the table is deleted
    uint64_t limit = 0;            // rows inserted as this number or later are not seen
    uint32_t next = kNone;         // the slot to hand out next
    uint32_t current = kNone;      // the slot last handed out
    uint64_t current_seq = 0;      // ... and the insertion number of its row then
};

namespace {

// Deletes the row in `slot`; a cursor about to hand it out moves on to the row after it.
void EraseRow(dbf_table_g& table, uint32_t slot) {
    SlotLink& link = table.links[slot];
    for (dbf_cursor_g* cursor : table.cursors) {
        if (cursor->next == slot) cursor->next = link.next;
    }
    const unsigned char* r = table.row(slot);
    for (UniqueIndex& index : table.indexes) index.map.erase(table.key_hash(index, r), slot);
    (link.prev == kNone ? table.head : table.links[link.prev].next) = link.next;
    (link.next == kNone ? table.tail : table.links[link.next].prev) = link.prev;
    link = SlotLink{0, kNone, table.free_slot};
    table.free_slot = slot;
    --table.count;
}

}  // namespace

dbf_table_g* dbf_createtable(int32_t row_size, const char* name) {
    if (store_seams::ShouldFail("dbf_createtable")) return nullptr;
    if (row_size < 1 || row_size > kDbfMaxRowSize) return nullptr;
    try {
        auto* table = new dbf_table_g;
        table->row_size = static_cast<size_t>(row_size);
        try {
            table->name = name == nullptr ? "" : name;
        } catch (...) {
            delete table;
            throw;
        }
        return table;
    } catch (...) {  // std::bad_alloc
        return nullptr;
    }
}

int dbf_deletetable(dbf_table_g* table) {
    if (store_seams::ShouldFail("dbf_deletetable")) return 1;
    if (table == nullptr) return 1;
    for (dbf_cursor_g* cursor : table->cursors) cursor->table = nullptr;
    delete table;
    return 0;
}

int dbf_createindex(dbf_table_g* table, int32_t key_offset, int32_t key_length) {
    if (store_seams::ShouldFail("dbf_createindex")) return 1;
    if (table == nullptr || key_offset < 0 || key_length < 1 ||
        int64_t{key_offset} + key_length > static_cast<int64_t>(table->row_size)) {
        return 1;
    }
    try {
        UniqueIndex index{static_cast<size_t>(key_offset), static_cast<size_t>(key_length), {}};
        index.map.reserve(table->count);
        for (uint32_t slot = table->head; slot != kNone; slot = table->links[slot].next) {
            const unsigned char* r = table->row(slot);
            const uint64_t hash = table->key_hash(index, r);
            if (table->find(index, r, hash) != kNone) return 1;
            index.map.insert(hash, slot);
        }
        table->indexes.push_back(std::move(index));
    } catch (...) {  // std::bad_alloc
        return 1;
    }
    return 0;
}

int dbf_insert(dbf_table_g* table, const void* row) {
    if (store_seams::ShouldFail("dbf_insert")) return 1;
    if (table == nullptr || row == nullptr || table->count >= kMaxRows) return 1;
    const auto* r = static_cast<const unsigned char*>(row);
    for (const UniqueIndex& index : table->indexes) {
        if (table->find(index, r, table->key_hash(index, r)) != kNone) return 1;
    }
    // Make every room first, so that nothing can fail once the table starts to change.
    uint32_t slot = table->free_slot;
    try {
        for (UniqueIndex& index : table->indexes) index.map.reserve(size_t{table->count} + 1);
        if (slot == kNone) {
            const size_t slots = table->links.size() + 1;
            if (table->links.capacity() < slots) table->links.reserve(slots * 2);
            if (table->rows.capacity() < slots * table->row_size) {
                table->rows.reserve(slots * 2 * table->row_size);
            }
        }
    } catch (...) {  // std::bad_alloc
        return 1;
    }
    if (slot == kNone) {
        slot = static_cast<uint32_t>(table->links.size());
        table->links.emplace_back();
        table->rows.resize(table->links.size() * table->row_size);
    } else {
        table->free_slot = table->links[slot].next;
    }
    std::memcpy(table->row(slot), r, table->row_size);
    table->links[slot] = SlotLink{table->next_seq++, table->tail, kNone};
    (table->tail == kNone ? table->head : table->links[table->tail].next) = slot;
    table->tail = slot;
    ++table->count;
    for (UniqueIndex& index : table->indexes) {
        index.map.insert(table->key_hash(index, r), slot);
    }
    return 0;
}

int dbf_cleartable(dbf_table_g* table) {
    if (store_seams::ShouldFail("dbf_cleartable")) return 1;
    if (table == nullptr) return 1;
    for (dbf_cursor_g* cursor : table->cursors) {
        cursor->next = kNone;
        cursor->current = kNone;
    }
    table->rows.clear();
    table->links.clear();
    table->free_slot = table->head = table->tail = kNone;
    table->count = 0;
    for (UniqueIndex& index : table->indexes) index.map.clear();
    return 0;
}

int32_t dbf_getrowcount(const dbf_table_g* table) {
    return table == nullptr ? 0 : static_cast<int32_t>(table->count);
}

int32_t dbf_getrowlength(const dbf_table_g* table) {
    return table == nullptr ? 0 : static_cast<int32_t>(table->row_size);
}

dbf_cursor_g* dbf_opencursor_all(dbf_table_g* table) {
    if (store_seams::ShouldFail("dbf_opencursor_all")) return nullptr;
    if (table == nullptr) return nullptr;
    try {
        auto* cursor = new dbf_cursor_g{table, table->next_seq, table->head, kNone, 0};
        try {
            table->cursors.push_back(cursor);
        } catch (...) {
            delete cursor;
            throw;
        }
        return cursor;
    } catch (...) {  // std::bad_alloc
        return nullptr;
    }
}

int dbf_fetch(dbf_cursor_g* cursor, void* row) {
    if (store_seams::ShouldFail("dbf_fetch")) return 1;
    if (cursor == nullptr || row == nullptr) return 1;
    dbf_table_g* table = cursor->table;
    // Rows are linked in insertion order, so the first row too new for the cursor ends it.
    if (table == nullptr || cursor->next == kNone ||
        table->links[cursor->next].seq >= cursor->limit) {
        cursor->next = cursor->current = kNone;
        return 1;
    }
    const uint32_t slot = cursor->next;
    std::memcpy(row, table->row(slot), table->row_size);
    cursor->current = slot;
    cursor->current_seq = table->links[slot].seq;
    cursor->next = table->links[slot].next;
    return 0;
}

int dbf_deletecurrent(dbf_cursor_g* cursor) {
    if (store_seams::ShouldFail("dbf_deletecurrent")) return 1;
    if (cursor == nullptr || cursor->table == nullptr || cursor->current == kNone) return 1;
    dbf_table_g* table = cursor->table;
    // The slot may have been freed, and even reused by a later insert, since the fetch.
    if (table->links[cursor->current].seq != cursor->current_seq) return 1;
    EraseRow(*table, cursor->current);
    cursor->current = kNone;
    return 0;
}

void dbf_closecursor(dbf_cursor_g* cursor) {
    if (cursor == nullptr) return;
    if (dbf_table_g* table = cursor->table; table != nullptr) {
        std::vector<dbf_cursor_g*>& open = table->cursors;
        for (size_t i = 0; i < open.size(); ++i) {
            if (open[i] == cursor) {
                open[i] = open.back();
                open.pop_back();
                break;
            }
        }
    }
    delete cursor;
}
