// The table store's handle types and process-wide state, shared by its source files and
// by nobody else: the dictionary of declared definitions and tags, the virtual databases,
// and the tables, index handles and cursors behind the opaque handles of table_store.h.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "outside/table_layout.h"
#include "outside/table_rows.h"
#include "outside/table_store.h"

namespace table_store {
struct TableExtras;
}

struct dbv_indexstruct {
    dbv_tablestruct* table;
    int32_t index;  // position in the table layout's indexes
};

struct dbv_tablestruct {
    explicit dbv_tablestruct(std::shared_ptr<const table_store::TableLayout> table_layout);
    ~dbv_tablestruct();  // detaches the cursors still open on the table
    dbv_tablestruct(const dbv_tablestruct&) = delete;
    dbv_tablestruct& operator=(const dbv_tablestruct&) = delete;

    // Makes every open cursor fetch nothing more and gives up their pins; used before
    // the rows are replaced wholesale.
    void exhaust_cursors();

    std::shared_ptr<const table_store::TableLayout> layout;
    table_store::RowTable rows;
    std::vector<dbv_indexstruct> index_handles;  // one per layout index, never resized
    dbv_cursorstruct* cursors = nullptr;         // open cursors, doubly linked
    // Domain, callbacks and logging (domain_table_state.h); null for a plain table, which
    // then costs one test per change.
    std::unique_ptr<table_store::TableExtras> extras;
};

struct dbv_cursorstruct {
    dbv_tablestruct* table = nullptr;  // null once the table is gone
    dbv_cursorstruct* prev = nullptr;
    dbv_cursorstruct* next = nullptr;
    int32_t index = -1;  // -1: all rows in table order
    bool exhausted = false;

    // All rows: the slot the cursor stands on (pinned) and the last insertion number it
    // may return, so that rows inserted after the open stay unseen.
    uint32_t pinned = table_store::kNoSlot;
    bool started = false;
    uint64_t seq_limit = 0;

    // One index key: the matching rows as they were at the open, and the key itself.
    struct Entry {
        uint32_t slot;
        uint64_t seq;
    };
    std::vector<Entry> snapshot;
    size_t position = 0;
    std::vector<unsigned char> key_row;

    // Work mode 5 over a domain table: the history rows there were at the open follow the
    // live rows. A history row fetched last is current in place of a live one.
    size_t history_limit = 0;
    size_t history_next = 0;
    bool has_current_history = false;
    size_t current_history = 0;

    // The row last fetched.
    bool has_current = false;
    uint32_t current_slot = table_store::kNoSlot;
    uint64_t current_seq = 0;
};

namespace table_store {

struct Database {
    std::string name;
    std::map<int32_t, std::unique_ptr<dbv_tablestruct>> tables;  // by table number
};

// The declared definition of `table_name`; null when none.
std::shared_ptr<const TableLayout> find_definition(const char* table_name);

// The current database; null when none is current.
Database* current_database();

// The current database's table `table_number`; null when there is none.
dbv_tablestruct* find_table(int32_t table_number);

}  // namespace table_store
