// Shared set-up of the fuzz targets that run against the server's tables: the
// "ServerDatabase" with its six tables, a database file in a private temporary folder
// (removed at exit), a fixed clock, and the server's log lines sent nowhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "outside/table_store.h"

namespace qm_fuzz {

// A table with every column type, a key of a text and an integer, and two secondary
// indexes; the table reader's fuzz target uses it under number kMixedTable.
extern const dbd_tabledef_t kMixedTableDef;
inline constexpr int32_t kMixedTable = 7;

// The tables of the table reader's target, by the first input byte modulo 3: the
// server's counters table, its drawing-lock table and the mixed table.
extern const int32_t kReaderTables[3];

// Creates the database "FuzzTables" with the three reader tables once per process (and
// makes it current then). Not for a process that also uses open_server_tables.
void open_reader_tables();

// Creates the tables and the server context once per process; later calls do nothing.
// Standard output goes to /dev/null from then on (the request log is not wanted while
// fuzzing; libFuzzer reports on standard error).
void open_server_tables();

// Empties all six server tables and deletes the database file, so every input starts
// from the same state.
void clear_server_tables();
// The same, leaving the database file alone.
void clear_server_tables_keep_file();

// Number of rows of a server table.
int32_t row_count(int32_t table_number);

// A read-only stream over `size` bytes (fmemopen needs at least one byte, so an empty
// input gets a stream that is at its end at once). Null only when memory runs out.
FILE* open_bytes(const uint8_t* data, size_t size);

// Consumes a little-endian 16-bit value from the front of the input (0 when empty).
uint16_t take_u16(const uint8_t*& data, size_t& size);

// Aborts with a message: a broken invariant is a finding, like a crash.
[[noreturn]] void fail(const char* what);

}  // namespace qm_fuzz
