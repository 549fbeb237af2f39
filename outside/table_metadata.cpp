// Table metadata of the current database by table number: handles, names, row sizes and
// field specifications as the shared library's introspection reads them.
#include <cstring>

#include "outside/table_store_internal.h"

namespace dbv {

dbv_tablestruct* GetVirtualTablePointer(int32_t table_number) {
    return dbd_getvirtualtablepointer(table_number);
}

dbv_indexstruct* GetVirtualPrimaryPointer(int32_t table_number) {
    return dbd_getvirtualprimarypointer(table_number);
}

const char* GetVirtualTableName(int32_t table_number) {
    const dbv_tablestruct* table = table_store::find_table(table_number);
    return table == nullptr ? nullptr : table->layout->name.c_str();
}

int32_t GetVirtualTableByPointer(const dbv_tablestruct* table) {
    const table_store::Database* db = table_store::current_database();
    if (db == nullptr || table == nullptr) return -1;
    for (const auto& [number, candidate] : db->tables) {  // compares addresses only
        if (candidate.get() == table) return number;
    }
    return -1;
}

int32_t GetVirtualTableSizeof(int32_t table_number) {
    const dbv_tablestruct* table = table_store::find_table(table_number);
    return table == nullptr ? 0 : table->rows.row_length();
}

int32_t GetVirtualFieldCount(int32_t table_number) {
    const dbv_tablestruct* table = table_store::find_table(table_number);
    return table == nullptr ? 0 : static_cast<int32_t>(table->layout->columns.size());
}

bool GetVirtualFieldSpec(int32_t table_number, int32_t field_number, dbd_fieldspec_t* spec) {
    const dbv_tablestruct* table = table_store::find_table(table_number);
    if (table == nullptr || spec == nullptr || field_number < 0 ||
        static_cast<size_t>(field_number) >= table->layout->columns.size()) {
        return false;
    }
    const table_store::ColumnLayout& col =
        table->layout->columns[static_cast<size_t>(field_number)];
    std::memset(spec, 0, sizeof *spec);
    std::memcpy(spec->name, col.name.c_str(), col.name.size());  // at most 31 characters
    spec->type = col.type;
    spec->element_count = col.element_count;
    spec->element_size = col.element_size;
    spec->size = col.size;
    spec->offset = col.offset;
    return true;
}

int32_t GetVirtualFieldByName(int32_t table_number, const char* field_name) {
    const dbv_tablestruct* table = table_store::find_table(table_number);
    return table == nullptr ? -1 : table->layout->find_column(field_name);
}

}  // namespace dbv
