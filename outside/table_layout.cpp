// Validation of static table definitions and the row layout rule that reproduces the
// server's plain C row records byte for byte.
#include "outside/table_layout.h"

#include <cstring>

namespace table_store {
namespace {

bool column_shape(const dbd_columndef_t& def, ColumnLayout* col) {
    switch (def.type) {
        case DBD_INT32:
        case DBD_FLOAT:
            col->element_count = 1;
            col->element_size = 4;
            break;
        case DBD_DOUBLE:
            col->element_count = 1;
            col->element_size = 8;
            break;
        case DBD_TEXT:
        case DBD_BYTES:
            if (def.size < 1 || def.size > kMaxColumnBytes) return false;
            col->element_count = def.size;
            col->element_size = 1;
            break;
        default:
            return false;
    }
    col->type = def.type;
    col->size = col->element_count * col->element_size;
    return true;
}

int32_t align_up(int32_t value, int32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

// Adjacent non-text columns form one memcmp range; text columns stay separate because
// their bytes after the terminator must not take part.
std::vector<KeyPart> key_parts(const std::vector<ColumnLayout>& columns,
                               const std::vector<int32_t>& key_columns) {
    std::vector<KeyPart> parts;
    for (int32_t number : key_columns) {
        const ColumnLayout& col = columns[static_cast<size_t>(number)];
        const bool text = col.type == DBD_TEXT;
        const auto offset = static_cast<uint32_t>(col.offset);
        const auto size = static_cast<uint32_t>(col.size);
        if (!text && !parts.empty() && !parts.back().text &&
            parts.back().offset + parts.back().size == offset) {
            parts.back().size += size;
        } else {
            parts.push_back(KeyPart{offset, size, text});
        }
    }
    return parts;
}

bool compile_index(const dbd_indexdef_t& def, const TableLayout& table, IndexLayout* index) {
    if (!is_valid_name(def.name)) return false;
    index->name = def.name;
    for (const char* column_name : def.columns) {
        if (column_name == nullptr) break;  // unused entries follow the key columns
        const int32_t number = table.find_column(column_name);
        if (number < 0) return false;
        for (int32_t used : index->columns) {
            if (used == number) return false;
        }
        index->columns.push_back(number);
    }
    if (index->columns.empty()) return false;
    index->key = key_parts(table.columns, index->columns);
    return true;
}

}  // namespace

bool is_valid_name(const char* name) {
    if (name == nullptr || name[0] == '\0') return false;
    return std::strlen(name) <= static_cast<size_t>(kMaxNameLength);
}

int32_t TableLayout::find_column(const char* column_name) const {
    if (column_name == nullptr) return -1;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name == column_name) return static_cast<int32_t>(i);
    }
    return -1;
}

int32_t TableLayout::find_index(const char* index_name) const {
    if (index_name == nullptr) return -1;
    for (size_t i = 0; i < indexes.size(); ++i) {
        if (indexes[i].name == index_name) return static_cast<int32_t>(i);
    }
    return -1;
}

bool compile_table_layout(const dbd_tabledef_t* definition, TableLayout* out) {
    if (definition == nullptr || out == nullptr || !is_valid_name(definition->name)) return false;
    const dbd_tabledef_t& def = *definition;
    if (def.columns == nullptr || def.column_count < 1 || def.column_count > kMaxColumns) {
        return false;
    }
    if (def.indexes == nullptr || def.index_count < 1 || def.index_count > kMaxIndexes) {
        return false;
    }
    TableLayout layout;
    layout.name = def.name;
    int32_t offset = 0;
    int32_t max_alignment = 1;
    for (int32_t i = 0; i < def.column_count; ++i) {
        const dbd_columndef_t& column_def = def.columns[i];
        if (!is_valid_name(column_def.name) || layout.find_column(column_def.name) >= 0) {
            return false;
        }
        ColumnLayout col;
        col.name = column_def.name;
        if (!column_shape(column_def, &col)) return false;
        offset = align_up(offset, col.element_size);
        col.offset = offset;
        offset += col.size;
        if (offset > kMaxRowLength) return false;
        if (col.element_size > max_alignment) max_alignment = col.element_size;
        layout.columns.push_back(std::move(col));
    }
    layout.row_length = align_up(offset, max_alignment);

    for (int32_t i = 0; i < def.index_count; ++i) {
        IndexLayout index;
        if (!compile_index(def.indexes[i], layout, &index)) return false;
        if (layout.find_index(index.name.c_str()) >= 0) return false;
        layout.indexes.push_back(std::move(index));
    }
    const int32_t primary = layout.find_index(def.primary_index);
    if (primary < 0) return false;
    layout.primary = primary;
    layout.indexes[static_cast<size_t>(primary)].primary = true;
    *out = std::move(layout);
    return true;
}

}  // namespace table_store
