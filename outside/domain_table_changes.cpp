// Row changes of tables that carry extra state (a domain, callbacks, logging). Each change
// runs in one order: the do callback (which may refuse), every allocation the change needs
// (fresh time id, history room, undo entry), the change itself, the bookkeeping, the undo
// entry, and last the notify callback. Nothing after the change can fail, so a refused or
// failed change leaves the table, its history and the log as they were.
#include <cstring>

#include "outside/domain_table_state.h"

namespace table_store {
namespace {

template <class Vector>
void reserve_more(Vector& v, size_t more) {
    const size_t needed = v.size() + more;
    if (v.capacity() < needed) v.reserve(needed > 2 * v.capacity() ? needed : 2 * v.capacity());
}

bool fresh_id(dbv_domain_s* domain, int32_t* id) {
    return dbv_newid(domain, id) == 0;
}

int refuse_by_callback(dbv_tablestruct* table, const void* new_row, const void* old_row,
                       int32_t operation) {
    const dbv_tablecallback_t callback = table->extras->do_callback;
    if (callback == nullptr) return 0;
    return callback(table, new_row, old_row, operation, table->rows.row_length());
}

void notify(dbv_tablestruct* table, const void* new_row, const void* old_row, int32_t operation) {
    const dbv_tablecallback_t callback = table->extras->notify_callback;
    if (callback != nullptr) callback(table, new_row, old_row, operation, table->rows.row_length());
}

// Room for `count` more history rows.
void reserve_history(TableExtras& x, size_t count, size_t row_length) {
    reserve_more(x.history, count);
    reserve_more(x.history_bytes, count * row_length);
}

void append_history(TableExtras& x, const unsigned char* row, size_t row_length,
                    const RowTimes& times, int32_t deletion) {
    x.history.push_back(HistoryRow{times.creation, times.modification, deletion,
                                   static_cast<uint8_t>(DBV_CHANGE_EXISTENCE)});
    x.history_bytes.insert(x.history_bytes.end(), row, row + row_length);
}

}  // namespace

TableExtras& extras_of(dbv_tablestruct* table) {
    if (!table->extras) table->extras = std::make_unique<TableExtras>();
    return *table->extras;
}

bool is_known_time_id(dbv_domain_s* domain, int32_t id) {
    int32_t order = 0;
    return id > 0 && dbv_comparetimeid(domain, id, id, &order) == 0;
}

void reserve_times(TableExtras& extras, const RowTable& rows) {
    const size_t needed = size_t{rows.capacity()} + 1;
    if (extras.times.size() < needed) {
        extras.times.resize(needed > 2 * extras.times.size() ? needed : 2 * extras.times.size());
    }
}

int extended_insert(dbv_tablestruct* table, const void* row, const RowTimes* given) {
    TableExtras& x = *table->extras;
    RowTable& rows = table->rows;
    if (refuse_by_callback(table, row, nullptr, DBV_OP_INSERT) != 0) return 1;
    try {
        if (x.domain != nullptr) reserve_times(x, rows);
        UndoEntry entry;
        if (x.log) {
            entry = undo_entry(DBV_OP_INSERT, row, rows.row_length());
            undo_reserve(1);
        }
        if (!rows.insert(row)) return 1;
        if (x.domain != nullptr) {
            // The id is taken once the key proved free, so a refused insert wastes none; a
            // domain that cannot hand one out (deleted meanwhile) takes the row back out.
            const uint32_t slot = rows.last_inserted_slot();
            RowTimes times;
            if (given != nullptr) {
                times = *given;
            } else if (fresh_id(x.domain, &times.creation)) {
                times.modification = times.creation;
            } else {
                rows.erase(slot);
                return 1;
            }
            times.flags = DBV_CHANGE_EXISTENCE;
            x.times[slot] = times;
        }
        if (x.log) undo_commit(std::move(entry));
    } catch (const std::exception&) {
        return 1;
    }
    notify(table, row, nullptr, DBV_OP_INSERT);
    return 0;
}

int extended_replace(dbv_tablestruct* table, uint32_t slot, const void* row,
                     bool same_primary_key) {
    TableExtras& x = *table->extras;
    RowTable& rows = table->rows;
    const auto row_length = static_cast<size_t>(rows.row_length());
    if (refuse_by_callback(table, row, rows.row(slot), DBV_OP_UPDATE) != 0) return 1;
    std::vector<unsigned char> old_row;
    try {
        int32_t id = 0;
        if (x.domain != nullptr && !fresh_id(x.domain, &id)) return 1;
        UndoEntry entry;
        if (x.log) {
            entry = undo_entry(DBV_OP_UPDATE, rows.row(slot), rows.row_length());
            undo_reserve(1);
        }
        if (x.notify_callback != nullptr)
            old_row.assign(rows.row(slot), rows.row(slot) + row_length);
        if (!rows.replace(slot, row, same_primary_key)) return 1;
        if (x.domain != nullptr) {
            x.times[slot].modification = id;
            x.times[slot].flags |= DBV_CHANGE_CONTENTS;
        }
        if (x.log) undo_commit(std::move(entry));
    } catch (const std::exception&) {
        return 1;
    }
    notify(table, row, old_row.empty() ? nullptr : old_row.data(), DBV_OP_UPDATE);
    return 0;
}

int extended_erase(dbv_tablestruct* table, uint32_t slot, const uint64_t* primary_hash) {
    TableExtras& x = *table->extras;
    RowTable& rows = table->rows;
    const auto row_length = static_cast<size_t>(rows.row_length());
    if (refuse_by_callback(table, nullptr, rows.row(slot), DBV_OP_DELETE) != 0) return 1;
    std::vector<unsigned char> old_row;
    try {
        int32_t id = 0;
        if (x.domain != nullptr) {
            if (!fresh_id(x.domain, &id)) return 1;
            reserve_history(x, 1, row_length);
        }
        UndoEntry entry;
        if (x.log) {
            entry = undo_entry(DBV_OP_DELETE, rows.row(slot), rows.row_length());
            undo_reserve(1);
        }
        if (x.notify_callback != nullptr)
            old_row.assign(rows.row(slot), rows.row(slot) + row_length);
        if (x.domain != nullptr) append_history(x, rows.row(slot), row_length, x.times[slot], id);
        if (primary_hash != nullptr) {
            rows.erase(slot, *primary_hash);
        } else {
            rows.erase(slot);
        }
        if (x.log) undo_commit(std::move(entry));
    } catch (const std::exception&) {
        return 1;
    }
    if (!old_row.empty()) notify(table, nullptr, old_row.data(), DBV_OP_DELETE);
    return 0;
}

int extended_clear(dbv_tablestruct* table) {
    TableExtras& x = *table->extras;
    RowTable& rows = table->rows;
    const auto row_length = static_cast<size_t>(rows.row_length());
    // Every row is offered to the do callback first: one refusal keeps them all.
    for (uint32_t slot = rows.first(); slot != kNoSlot; slot = rows.next(slot)) {
        if (rows.is_deleted(slot)) continue;
        if (refuse_by_callback(table, nullptr, rows.row(slot), DBV_OP_DELETE) != 0) return 1;
    }
    const auto count = static_cast<size_t>(rows.row_count());
    std::vector<unsigned char> old_rows;
    try {
        int32_t id = 0;
        if (x.domain != nullptr && count > 0) {
            if (!fresh_id(x.domain, &id)) return 1;
            reserve_history(x, count, row_length);
        }
        std::vector<UndoEntry> entries;
        if (x.log) {
            entries.reserve(count);
            undo_reserve(count);
        }
        if (x.notify_callback != nullptr) old_rows.reserve(count * row_length);
        for (uint32_t slot = rows.first(); slot != kNoSlot; slot = rows.next(slot)) {
            if (rows.is_deleted(slot)) continue;
            if (x.log)
                entries.push_back(undo_entry(DBV_OP_DELETE, rows.row(slot), rows.row_length()));
            if (x.notify_callback != nullptr) {
                old_rows.insert(old_rows.end(), rows.row(slot), rows.row(slot) + row_length);
            }
        }
        if (x.domain != nullptr) {
            for (uint32_t slot = rows.first(); slot != kNoSlot; slot = rows.next(slot)) {
                if (!rows.is_deleted(slot))
                    append_history(x, rows.row(slot), row_length, x.times[slot], id);
            }
        }
        rows.clear();
        for (UndoEntry& entry : entries) undo_commit(std::move(entry));
    } catch (const std::exception&) {
        return 1;
    }
    for (size_t i = 0; row_length > 0 && i < old_rows.size() / row_length; ++i) {
        notify(table, nullptr, old_rows.data() + i * row_length, DBV_OP_DELETE);
    }
    return 0;
}

}  // namespace table_store
