// Compiled form of a static table definition: validated columns with their row offsets,
// the row length, and each index's key as a list of byte ranges of the row. Every other
// part of the table store works from this form, never from the caller's definition.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "outside/table_store.h"

namespace table_store {

// Limits that keep every size and offset comfortably inside int32 arithmetic.
constexpr int32_t kMaxNameLength = 31;
constexpr int32_t kMaxColumns = 1024;
constexpr int32_t kMaxIndexes = 64;
constexpr int32_t kMaxColumnBytes = 1 << 20;
constexpr int32_t kMaxRowLength = 16 << 20;

struct ColumnLayout {
    std::string name;
    int32_t type = 0;           // dbd_fieldtype_e
    int32_t element_count = 0;  // characters, bytes, or 1 for numbers
    int32_t element_size = 0;
    int32_t size = 0;
    int32_t offset = 0;
    bool operator==(const ColumnLayout&) const = default;
};

// One byte range of a key. Text ranges compare and hash only up to their terminator.
struct KeyPart {
    uint32_t offset = 0;
    uint32_t size = 0;
    bool text = false;
    bool operator==(const KeyPart&) const = default;
};

struct IndexLayout {
    std::string name;
    std::vector<int32_t> columns;  // column numbers in key order
    std::vector<KeyPart> key;      // adjacent non-text columns merged into one range
    bool primary = false;
    bool operator==(const IndexLayout&) const = default;
};

struct TableLayout {
    std::string name;
    std::vector<ColumnLayout> columns;
    std::vector<IndexLayout> indexes;
    int32_t primary = 0;  // position of the primary index in `indexes`
    int32_t row_length = 0;
    bool operator==(const TableLayout&) const = default;

    int32_t find_column(const char* column_name) const;  // -1 when absent
    int32_t find_index(const char* index_name) const;    // -1 when absent
};

// True when `name` is non-null, non-empty and at most kMaxNameLength characters.
bool is_valid_name(const char* name);

// Validates `definition` and lays out its row: columns in order at their natural C
// alignment (4 for int32 and float, 8 for double, 1 for text and bytes), the row length
// rounded up to the largest alignment. False, with `*out` unspecified, when the definition
// is malformed (see dbd_definevirtualtable).
bool compile_table_layout(const dbd_tabledef_t* definition, TableLayout* out);

}  // namespace table_store
