// Stand-in for the closed library of fast cache tables: tables of fixed-size rows kept in
// memory only, with optional unique hash indexes on byte ranges of the row and cursors over
// all rows in insertion order. The shared library keeps a registry of such tables.
//
// This header is the contract its callers rely on. Result convention: an int result of 0
// means success, anything else failure; a null handle means failure; out-parameters and row
// buffers are written only on success. A failed call changes nothing. Not thread-safe: every
// caller uses the cache tables from one thread at a time.
//
// Every operation that can fail asks the store's test seams first (store_seams::FailOperation
// with its function name, e.g. "dbf_insert"), so that tests can make it fail.
#pragma once

#include <cstdint>

// Opaque handles.
struct dbf_table_g;
struct dbf_cursor_g;

// Largest row, in bytes, that a cache table takes.
constexpr int32_t kDbfMaxRowSize = 1 << 24;

// A new empty table of rows of `row_size` bytes; `name` (null is taken as empty) is kept for
// diagnostics only. Null when row_size is below 1 or above kDbfMaxRowSize, or memory runs out.
dbf_table_g* dbf_createtable(int32_t row_size, const char* name);

// Deletes the table with its rows and indexes; the handle becomes invalid. Cursors still
// open on it fetch nothing more and must still be closed. Non-zero for a null table.
int dbf_deletetable(dbf_table_g* table);

// Adds a unique hash index on the `key_length` bytes at `key_offset` of the row (keys compare
// byte for byte). The rows already there are indexed at once. Non-zero, and no index added,
// for a null table, a range that is empty or does not lie inside the row, or two rows that
// already share a key.
int dbf_createindex(dbf_table_g* table, int32_t key_offset, int32_t key_length);

// Appends a copy of the row (row size bytes at `row`) behind every row of the table. Non-zero
// when the key of any index is taken by another row, the table holds 2^31 - 1 rows, memory
// runs out, or table or row is null.
int dbf_insert(dbf_table_g* table, const void* row);

// Deletes every row (indexes stay, empty). Open cursors on the table fetch nothing more.
// Non-zero for a null table.
int dbf_cleartable(dbf_table_g* table);

// Number of rows; 0 for a null table.
int32_t dbf_getrowcount(const dbf_table_g* table);

// Row size in bytes as given at creation; 0 for a null table.
int32_t dbf_getrowlength(const dbf_table_g* table);

// ---------------------------------------------------------------------------------------
// Cursors. A cursor sees the rows that were in the table when it was opened, in insertion
// order, less those deleted since; deleting the current row (through this or another cursor)
// never breaks it. Rows inserted after the open are not seen. Every cursor must be closed,
// before or after its table is deleted.

// All rows of the table in insertion order. Null for a null table or when memory runs out.
dbf_cursor_g* dbf_opencursor_all(dbf_table_g* table);

// Copies the next row into `row` (row size bytes). Non-zero when there are no more rows
// (from then on no row is current) or for a null cursor or row.
int dbf_fetch(dbf_cursor_g* cursor, void* row);

// Deletes the row last fetched; fetching goes on with the row after it. Non-zero when
// nothing was fetched, the row is already gone, or the cursor is null.
int dbf_deletecurrent(dbf_cursor_g* cursor);

// Releases the cursor; a null cursor is accepted. Never fails (the seams leave it alone).
void dbf_closecursor(dbf_cursor_g* cursor);
