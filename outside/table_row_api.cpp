// The row operations of the table store's interface: select, insert, update, delete and
// clear, checked for null handles and buffers and kept free of exceptions.
#include <cstring>

#include "outside/domain_table_state.h"
#include "outside/store_seams.h"

int dbv_select(dbv_indexstruct* index, void* row) {
    if (index == nullptr || row == nullptr || index->index < 0) return 1;  // < 0: identity
    const table_store::RowTable& rows = index->table->rows;
    const uint32_t slot = rows.find(index->index, row);
    if (slot == table_store::kNoSlot) return 1;
    std::memcpy(row, rows.row(slot), static_cast<size_t>(rows.row_length()));
    return 0;
}

int dbv_insert(dbv_tablestruct* table, const void* row) {
    if (table == nullptr || row == nullptr) return 1;
    if (table->extras) return table_store::extended_insert(table, row, nullptr);
    try {
        return table->rows.insert(row) ? 0 : 1;
    } catch (const std::exception&) {
        return 1;
    }
}

int dbv_update(dbv_indexstruct* primary, const void* row) {
    if (primary == nullptr || row == nullptr) return 1;
    table_store::RowTable& rows = primary->table->rows;
    if (primary->index != rows.layout().primary) return 1;
    uint64_t hash = 0;
    const uint32_t slot = rows.find_primary_key(row, &hash, false);
    if (slot == table_store::kNoSlot) return 1;
    if (primary->table->extras)
        return table_store::extended_replace(primary->table, slot, row, true);
    try {
        return rows.replace(slot, row, true) ? 0 : 1;
    } catch (const std::exception&) {
        return 1;
    }
}

int dbv_delete(dbv_indexstruct* primary, const void* row) {
    if (primary == nullptr || row == nullptr) return 1;
    table_store::RowTable& rows = primary->table->rows;
    if (primary->index != rows.layout().primary) return 1;
    uint64_t hash = 0;
    const uint32_t slot = rows.find_primary_key(row, &hash, true);
    if (slot == table_store::kNoSlot) return 1;
    if (primary->table->extras) return table_store::extended_erase(primary->table, slot, &hash);
    rows.erase(slot, hash);
    return 0;
}

int dbv_cleartable(dbv_tablestruct* table) {
    if (table == nullptr) return 1;
    if (table->extras) return table_store::extended_clear(table);
    table->rows.clear();
    return 0;
}

int32_t dbv_getrowlength(dbv_tablestruct* table) {
    if (store_seams::ShouldFail("dbv_getrowlength")) return -1;  // tests of callers' checks
    return table == nullptr ? 0 : table->rows.row_length();
}

int32_t dbv_getrowcount(dbv_tablestruct* table) {
    return table == nullptr ? 0 : table->rows.row_count();
}
