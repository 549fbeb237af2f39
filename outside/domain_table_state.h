// What a table carries beyond its plain rows, shared by the table store's source files and
// by nobody else: the domain, domain fields, time ids and change flags of the live rows,
// the history of deleted rows, the table's callbacks and log mode. A table without any of
// these has no such state at all, so plain tables pay one pointer test per change.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "outside/store_domain_tables.h"
#include "outside/table_store_internal.h"

namespace table_store {

// Time ids and change flags of one live row of a domain table.
struct RowTimes {
    int32_t creation = 0;
    int32_t modification = 0;
    uint8_t flags = 0;  // DBV_CHANGE_*
};

// A deleted row of a domain table; its bytes sit in TableExtras::history_bytes.
struct HistoryRow {
    int32_t creation = 0;
    int32_t modification = 0;
    int32_t deletion = 0;
    uint8_t flags = 0;
};

struct TableExtras {
    TableExtras() = default;
    ~TableExtras();  // forgets the table's identity indexes
    TableExtras(const TableExtras&) = delete;
    TableExtras& operator=(const TableExtras&) = delete;

    dbv_domain_s* domain = nullptr;  // null: a plain table with callbacks or logging only
    std::vector<dbv_domainfieldspec_s> fields;  // without the terminator
    std::vector<RowTimes> times;                // by slot; valid for live slots
    std::vector<HistoryRow> history;            // in order of deletion
    std::vector<unsigned char> history_bytes;   // history.size() rows, back to back
    int32_t change_mode = 0;
    bool log = false;
    dbv_tablecallback_t do_callback = nullptr;
    dbv_tablecallback_t notify_callback = nullptr;
    dbv_notanumbercallback_t nan_callback = nullptr;
    intptr_t nan_context = 0;
    std::vector<std::unique_ptr<dbv_indexstruct>> identity_indexes;

    const unsigned char* history_row(size_t i, size_t row_length) const {
        return history_bytes.data() + i * row_length;
    }
};

// Forgets an identity index that is being destroyed.
void identity_indexes_registry_erase(const dbv_indexstruct* index);

// The table's extra state, made on first use. May throw std::bad_alloc.
TableExtras& extras_of(dbv_tablestruct* table);

// The domain of a domain table, null for a plain one.
inline dbv_domain_s* domain_of(const dbv_tablestruct* table) {
    return table->extras ? table->extras->domain : nullptr;
}

// True when `id` is a time id the domain knows (0 is none).
bool is_known_time_id(dbv_domain_s* domain, int32_t id);

// Makes room in `times` for the slot the next insert may fill. May throw std::bad_alloc.
void reserve_times(TableExtras& extras, const RowTable& rows);

// The changes of a table that has extras: do callback, the change, the domain bookkeeping,
// the undo-log entry, the notify callback. `given` carries checked time ids for an insert
// into a domain table (null: fresh ids). Each returns 0 on success and changes nothing on
// failure.
int extended_insert(dbv_tablestruct* table, const void* row, const RowTimes* given);
int extended_replace(dbv_tablestruct* table, uint32_t slot, const void* row, bool same_primary_key);
// `primary_hash`, when known, is the hash of the row's primary key.
int extended_erase(dbv_tablestruct* table, uint32_t slot, const uint64_t* primary_hash = nullptr);
int extended_clear(dbv_tablestruct* table);

// The undo log. An entry (the operation and the row it needs to be undone: the new row of
// an insert, the old row of an update or delete) is made and room for it taken before a
// change, and committed after it, so that a change never half-happens for want of memory.
struct UndoEntry {
    int32_t operation = 0;
    std::vector<unsigned char> row;
};
UndoEntry undo_entry(int32_t operation, const void* row, int32_t row_length);  // may throw
void undo_reserve(size_t entries);                                             // may throw
void undo_commit(UndoEntry&& entry) noexcept;  // REQUIRES: room reserved

// Reads exactly `size` bytes into the start of `buffer`, growing it a piece at a time so
// that memory follows what the stream delivers, not what a header claims; a buffer that is
// already larger keeps its size, so its first `size` bytes are the ones read.
bool read_growing(FILE* stream, std::vector<unsigned char>& buffer, size_t size);

// Calls the table's not-a-number callback for each float or double value of `row` that is
// not a number.
void report_not_a_numbers(dbv_tablestruct* table, const unsigned char* row);

// The store-wide work mode.
int32_t work_mode();

// Every table of every database (for the domain statistics).
std::vector<dbv_tablestruct*> all_tables();

}  // namespace table_store
