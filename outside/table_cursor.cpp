// Cursors. An all-rows cursor walks the table's insertion-order list and pins the row it
// stands on, so deleting that row leaves a placeholder to step from; an index cursor
// keeps the (slot, insertion number) pairs that matched at the open and re-checks each
// before returning it.
#include <cstring>

#include "outside/domain_table_state.h"

namespace {

void attach(dbv_tablestruct* table, dbv_cursorstruct* cursor) {
    cursor->table = table;
    cursor->next = table->cursors;
    if (table->cursors != nullptr) table->cursors->prev = cursor;
    table->cursors = cursor;
}

bool current_row_is_there(const dbv_cursorstruct* cursor) {
    return cursor != nullptr && cursor->table != nullptr && cursor->has_current &&
           cursor->table->rows.is_live(cursor->current_slot, cursor->current_seq);
}

// Work mode 5: the history rows there were at the open, in order of deletion.
int fetch_history(dbv_cursorstruct* cursor, void* row) {
    cursor->has_current = false;
    cursor->has_current_history = false;
    if (cursor->history_next >= cursor->history_limit) {
        cursor->exhausted = true;
        return 1;
    }
    const table_store::TableExtras& extras = *cursor->table->extras;
    const auto row_length = static_cast<size_t>(cursor->table->rows.row_length());
    cursor->current_history = cursor->history_next++;
    cursor->has_current_history = true;
    std::memcpy(row, extras.history_row(cursor->current_history, row_length), row_length);
    return 0;
}

int fetch_all(dbv_cursorstruct* cursor, void* row) {
    if (cursor->history_next > 0) return fetch_history(cursor, row);
    table_store::RowTable& rows = cursor->table->rows;
    uint32_t slot = cursor->started ? rows.next(cursor->pinned) : rows.first();
    while (slot != table_store::kNoSlot && rows.is_deleted(slot)) slot = rows.next(slot);
    // Rows are listed in insertion order, so the first one too new ends the walk.
    if (slot != table_store::kNoSlot && rows.seq(slot) > cursor->seq_limit) {
        slot = table_store::kNoSlot;
    }
    if (cursor->pinned != table_store::kNoSlot) rows.unpin(cursor->pinned);
    cursor->pinned = table_store::kNoSlot;
    cursor->started = true;
    if (slot == table_store::kNoSlot) {
        if (cursor->history_limit > 0) return fetch_history(cursor, row);
        cursor->exhausted = true;
        cursor->has_current = false;
        return 1;
    }
    rows.pin(slot);
    cursor->pinned = slot;
    cursor->has_current = true;
    cursor->current_slot = slot;
    cursor->current_seq = rows.seq(slot);
    std::memcpy(row, rows.row(slot), static_cast<size_t>(rows.row_length()));
    return 0;
}

int fetch_key(dbv_cursorstruct* cursor, void* row) {
    const table_store::RowTable& rows = cursor->table->rows;
    while (cursor->position < cursor->snapshot.size()) {
        const dbv_cursorstruct::Entry e = cursor->snapshot[cursor->position++];
        if (!rows.is_live(e.slot, e.seq)) continue;  // deleted since the open
        // A row updated out of the key no longer belongs to this cursor.
        if (!rows.has_key(cursor->index, e.slot, cursor->key_row.data())) continue;
        cursor->has_current = true;
        cursor->current_slot = e.slot;
        cursor->current_seq = e.seq;
        std::memcpy(row, rows.row(e.slot), static_cast<size_t>(rows.row_length()));
        return 0;
    }
    cursor->exhausted = true;
    cursor->has_current = false;
    cursor->snapshot.clear();
    return 1;
}

}  // namespace

dbv_cursorstruct* dbv_opencursor(dbv_indexstruct* index, const void* key_row) {
    // An identity index (index -1) answers no lookups.
    if (index == nullptr || key_row == nullptr || index->index < 0) return nullptr;
    try {
        auto cursor = std::make_unique<dbv_cursorstruct>();
        const table_store::RowTable& rows = index->table->rows;
        const auto* key = static_cast<const unsigned char*>(key_row);
        cursor->index = index->index;
        cursor->key_row.assign(key, key + rows.row_length());
        rows.for_each_with_key(index->index, key_row, [&](uint32_t slot) {
            cursor->snapshot.push_back(dbv_cursorstruct::Entry{slot, rows.seq(slot)});
        });
        attach(index->table, cursor.get());
        return cursor.release();
    } catch (const std::exception&) {
        return nullptr;
    }
}

dbv_cursorstruct* dbv_opencursor_all(dbv_tablestruct* table) {
    if (table == nullptr) return nullptr;
    try {
        auto cursor = std::make_unique<dbv_cursorstruct>();
        cursor->seq_limit = table->rows.next_seq() - 1;
        if (table->extras && table->extras->domain != nullptr &&
            table_store::work_mode() == DBV_WORKMODE_HISTORY) {
            cursor->history_limit = table->extras->history.size();
        }
        attach(table, cursor.get());
        return cursor.release();
    } catch (const std::exception&) {
        return nullptr;
    }
}

int dbv_fetch(dbv_cursorstruct* cursor, void* row) {
    if (cursor == nullptr || row == nullptr) return 1;
    if (cursor->table == nullptr || cursor->exhausted) {
        cursor->has_current = false;
        cursor->has_current_history = false;
        return 1;
    }
    return cursor->index < 0 ? fetch_all(cursor, row) : fetch_key(cursor, row);
}

int dbv_deletecurrent(dbv_cursorstruct* cursor) {
    if (!current_row_is_there(cursor)) return 1;  // also a history row: it cannot go
    if (cursor->table->extras) {
        return table_store::extended_erase(cursor->table, cursor->current_slot);
    }
    cursor->table->rows.erase(cursor->current_slot);
    return 0;
}

int dbv_updatecurrent(dbv_cursorstruct* cursor, const void* row) {
    if (row == nullptr || !current_row_is_there(cursor)) return 1;
    if (cursor->table->extras) {
        return table_store::extended_replace(cursor->table, cursor->current_slot, row, false);
    }
    try {
        return cursor->table->rows.replace(cursor->current_slot, row) ? 0 : 1;
    } catch (const std::exception&) {
        return 1;
    }
}

void dbv_closecursor(dbv_cursorstruct* cursor) {
    if (cursor == nullptr) return;
    if (dbv_tablestruct* table = cursor->table) {
        if (cursor->pinned != table_store::kNoSlot) table->rows.unpin(cursor->pinned);
        if (cursor->prev == nullptr) {
            table->cursors = cursor->next;
        } else {
            cursor->prev->next = cursor->next;
        }
        if (cursor->next != nullptr) cursor->next->prev = cursor->prev;
    }
    delete cursor;
}
