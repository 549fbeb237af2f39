// The table store's domain tables as the shared library calls them: plain tables converted
// into tables of a domain whose rows carry creation and modification time ids, the history
// of deleted rows, work modes, change control, save actions against events, the identity
// index, the undo log with its save points, table statistics, table callbacks, the table
// list of the current database, and reading, writing and skipping tables in a stream with
// or without a domain header.
//
// This header is the contract. Result convention as in table_store.h: an int result of 0
// means success, anything else failure; out-parameters are written only on success.
// Not thread-safe: every caller uses the store from one thread at a time.
//
// Domain tables. A table belongs to no domain until dbv_converttable_domain gives it one.
// Then every live row carries a creation and a modification time id of the domain:
//   dbv_insert            creation = modification = a fresh time id
//   dbv_insert_domain     the record's ids (0 creation: a fresh id; 0 modification: the
//                         creation id); ids the domain does not know are refused
//   dbv_update, dbv_updatecurrent   modification = a fresh time id, creation kept
//   dbv_delete, dbv_deletecurrent, dbv_cleartable   the row leaves the live rows and is
//                         kept as history with its ids and a fresh deletion time id (one
//                         id for all the rows a clear removes)
// A change that needs a fresh id fails cleanly once the domain has been deleted.
// dbv_readtable refuses a domain table (its rows carry time ids: dbv_readtable_domain reads
// them); dbv_writetable writes a domain table's live rows as a plain block.
// Plain tables behave exactly as table_store.h says, at the same cost.
//
// Work modes (store-wide, dbv_setworkmode): DBV_WORKMODE_LIVE (2, the default) shows live
// rows only; DBV_WORKMODE_HISTORY (5) makes an all-rows cursor over a domain table return
// the live rows in table order and then the history rows in order of deletion. Index
// cursors and dbv_select see live rows in every mode. Modes 0 ... 9 are accepted; modes
// other than 5 behave as 2.
//
// Change control. Every row of a domain table carries change flags: DBV_CHANGE_EXISTENCE
// (1: inserted, or for a history row deleted, since the last reset) and DBV_CHANGE_CONTENTS
// (2: updated since the last reset). A table's change-control mode is 0 (off, the default),
// 1 (on: flags may be reset) or 2 (on, and dbv_readtable_domain merges the block's rows
// into the table instead of replacing them, and dbv_writetable_domain writes only rows
// with a flag set: an incremental save).
#pragma once

#include <cstdint>
#include <cstdio>

#include "outside/store_domain.h"
#include "outside/table_store.h"

enum : int32_t {
    DBV_WORKMODE_LIVE = 2,
    DBV_WORKMODE_HISTORY = 5,
};

enum : int32_t {
    DBV_CHANGE_EXISTENCE = 1,
    DBV_CHANGE_CONTENTS = 2,
};

// Save action of a row against an event (dbv_getdomainsaveaction).
enum : int32_t {
    DBV_SAVEACTION_NONE = 0,
    DBV_SAVEACTION_INSERT = 1,
    DBV_SAVEACTION_UPDATE = 2,
    DBV_SAVEACTION_DELETE = 3,
};

// A domain field of a table: a 32-bit integer column whose values are ids of the domain;
// values 1 ... small_id_count - 1 are small ids that are never translated. A list of them
// ends with the terminator {-1, 0, null}.
struct dbv_domainfieldspec_s {
    int32_t field;           // field number in the table
    int32_t small_id_count;  // 0: none
    dbv_domain_s* domain;
};
static_assert(sizeof(dbv_domainfieldspec_s) == 16);

// A row with its time ids, as the conversion callback and dbv_insert_domain take it.
struct dbv_domainrow32_s {
    void* row;
    int32_t creation;
    int32_t modification;
};

// Ties a stream's domain tables to a domain. Opaque; made by dbv_createdomainheader (the
// writer's side) or by reading a domain from a stream, released by dbv_deletedomainheader.
struct dbv_domainheader_s;
struct dbv_savepoint_s;

// ---------------------------------------------------------------------------------------
// Conversion and domain information.

// Called once per row during a conversion with a copy of the row (row->row, writable,
// dbv_getrowlength bytes) and creation = modification = 0; it may change the row's bytes
// and set its time ids. Its result is ignored.
typedef int32_t (*dbv_convertrowcallback_t)(dbv_tablestruct* table, void* context,
                                            dbv_domainrow32_s* row);

// Makes the plain table `table` a table of `domain` with the domain fields of `specs` (a
// list ended by the terminator, or null for none): every live row passes through the
// callback (when one is given) in table order and is stored as the callback left it, with
// its time ids as described for dbv_insert_domain. All or nothing: non-zero, and the table
// unchanged, when the table already belongs to a domain, a record names no 32-bit integer
// column or a column twice, a row's time id is unknown to the domain, or two rows end up
// with the same primary key. A null domain runs the callback over the rows and leaves the
// table plain.
int dbv_converttable_domain(dbv_tablestruct* table, dbv_domain_s* domain,
                            const dbv_domainfieldspec_s* specs, void* context,
                            dbv_convertrowcallback_t callback);

// The table's domain (null for a plain table) and its domain fields: at most `capacity`
// records are written to `fields`; *field_count receives the number the table has, which
// may be larger. `fields` may be null when capacity is 0.
int dbv_gettabledomaininfo(dbv_tablestruct* table, dbv_domain_s** domain,
                           dbv_domainfieldspec_s* fields, int32_t capacity, int32_t* field_count);

// Inserts row->row into a domain table with the record's time ids (see above). Non-zero for
// a plain table, an unknown time id or a taken primary key.
int dbv_insert_domain(dbv_tablestruct* table, const dbv_domainrow32_s* row);

// The creation and modification time ids of the row the cursor fetched last (a live or a
// history row). Non-zero for a plain table or when no row is current.
int dbv_getcursortime(dbv_cursorstruct* cursor, int32_t* creation, int32_t* modification);

// The save action of the row the cursor fetched last against the event (an event of the
// table's domain), taking the event's time id T: a live row created after T is an insert,
// a live row created before and modified after T an update, a history row deleted after T
// and created before it a delete, anything else none.
int dbv_getdomainsaveaction(dbv_cursorstruct* cursor, dbv_event_s* event, int32_t* action);

// ---------------------------------------------------------------------------------------
// Identity index: the live rows keyed by the values of the table's domain fields (by the
// primary key for a table without domain fields).

struct dbv_identityindexoptions_s {
    int32_t kind;         // 1: the domain fields; nothing else is accepted
    uint8_t unique;       // 1: creation fails when two rows share the identity
    uint8_t history;      // 0: live rows only; nothing else is accepted
    uint8_t reserved[2];  // zero
};

// Builds the index. Non-zero for a plain table, bad options, or (unique) two rows with the
// same identity; no index is made then. The handle serves the uniqueness check and
// dbv_dropindex only: dbv_select, dbv_opencursor, dbv_update and dbv_delete refuse it. It
// goes with its table.
int dbv_createdomainidentityindex(dbv_tablestruct* table, const dbv_identityindexoptions_s* options,
                                  dbv_indexstruct** index);

// Releases an index made by dbv_createdomainidentityindex (the table's own indexes are
// refused).
int dbv_dropindex(dbv_indexstruct* index);

// ---------------------------------------------------------------------------------------
// Work modes and change control.

int32_t dbv_inquireworkmode();
int dbv_setworkmode(int32_t mode);  // non-zero outside 0 ... 9

// 0 off, 1 on, 2 on with merging reads and incremental writes; non-zero for other modes.
int dbv_settabledomainchangecontrolmode(dbv_tablestruct* table, int32_t mode);

// Clears the flags of `mask` on the row the cursor fetched last. Non-zero when the table's
// change-control mode is 0 or no row is current. A plain table has no flags to clear.
int dbv_resetchangecontrol(dbv_cursorstruct* cursor, int32_t mask);

// ---------------------------------------------------------------------------------------
// Undo log. While a table's log mode is on, each insert, update and delete of it adds one
// entry to the store-wide undo log (a clear one per row it removes); a refused or failed
// change adds none. A save point marks a position in the log.

dbv_savepoint_s* dbv_savepoint();  // null when none can be made
// Drops the entries up to the save point's position.
int dbv_clearlogtosavepoint(dbv_savepoint_s* savepoint);
int dbv_deletesavepoint(dbv_savepoint_s* savepoint);
int dbv_settablelogmode(dbv_tablestruct* table, bool on);  // off by default
int64_t dbv_getundologlength();                            // entries in the log

// ---------------------------------------------------------------------------------------
// Statistics of a table, released with dbv_deletestatistics: "Rows" (live rows),
// "RowsInUseRatio", "Bytes" and "BytesInUseRatio" of the row storage for kind 0; for kind
// 1 the same over the row storage plus indexes and history. Null for a null table or
// another kind.
dbv_statistics_s* dbv_gettablestatistics(dbv_tablestruct* table, int32_t kind);

// ---------------------------------------------------------------------------------------
// Callbacks. The do callback is called before each insert, update and delete of the table
// with (table, new row or null, old row or null, operation DBV_OP_*, row length); a
// non-zero result refuses the change. dbv_cleartable offers every row to it first as a
// delete; one refusal keeps all of them. The notify callback is called after each successful
// change with the same arguments; its result is ignored. Null removes a callback.

enum : int32_t { DBV_OP_INSERT = 1, DBV_OP_UPDATE = 2, DBV_OP_DELETE = 3 };

typedef int32_t (*dbv_tablecallback_t)(dbv_tablestruct* table, const void* new_row,
                                       const void* old_row, int32_t operation, int32_t row_length);
int dbv_setdocallback(dbv_tablestruct* table, dbv_tablecallback_t callback);
int dbv_setnotifycallback(dbv_tablestruct* table, dbv_tablecallback_t callback);

// Called while a table is read from a stream, once per float or double value that is not a
// number, with the table, the installed context and the column number; the value is kept.
typedef int32_t (*dbv_notanumbercallback_t)(dbv_tablestruct* table, intptr_t context,
                                            int32_t column);
int dbv_settablecolumnnotanumbercallback_ctx(dbv_tablestruct* table,
                                             dbv_notanumbercallback_t callback, intptr_t context);

// Called by the store when it finds its own state broken, with a text, a line and a source.
typedef void (*dbv_assertexitcallback_t)(const char* text, int32_t line, const char* source);
void dbv_setassertexitcallback(dbv_assertexitcallback_t callback);
dbv_assertexitcallback_t dbv_getassertexitcallback();

// The tables of the current database in table-number order: at most `max_count` handles
// are written; the result is the number written (0 for max_count <= 0), or -1 without a
// current database or for a null `tables` with a positive max_count.
int32_t dbv_getdatabasetables(dbv_tablestruct** tables, int32_t max_count);

// ---------------------------------------------------------------------------------------
// Streams. A plain block is the one of dbv_writetable. A domain block is self-checking the
// same way (magic, version, lengths, counts, CRC-32) and carries the domain's guid prefix,
// the live rows with their time ids and flags, and the history rows. Reads verify the whole
// block before they touch the table (a truncated or altered block is refused and the table
// keeps its rows), allocate only as the stream delivers, and never seek.

// Mode 1 replaces the table's rows like dbv_readtable; mode 2 adds the block's rows to those
// present (all or nothing; a taken primary key refuses the block). A domain table is
// refused. The not-a-number callback is called for the rows read.
int dbv_readtableinmode(FILE* stream, dbv_tablestruct* table, int32_t mode);
// Reads a plain block and drops it; the stream ends just behind it.
int dbv_skiptable(FILE* stream);

int dbv_createdomainheader(dbv_domain_s* domain, dbv_domainheader_s** header);
int dbv_deletedomainheader(dbv_domainheader_s* header);

// The table must belong to the header's domain.
int dbv_writetable_domain(FILE* stream, dbv_domainheader_s* header, dbv_tablestruct* table);
// The table must belong to the header's domain, the block must carry that domain's prefix
// and every time id in it must be known to the domain. Replaces the live and history rows
// (merges them in change-control mode 2).
int dbv_readtable_domain(FILE* stream, dbv_domainheader_s* header, dbv_tablestruct* table);
int dbv_skiptable_domain(FILE* stream, dbv_domainheader_s* header);

// ---------------------------------------------------------------------------------------
// Tables of the current database by name, as the base tools library makes them.
namespace dbv {
// Creates an empty table of the declared definition `name` under `number` (the sizing
// integers are accepted and ignored).
bool CreateVirtualTable(const char* name, int32_t number, int32_t size1, int32_t size2,
                        int32_t size3);
// Drops the current database's table of that name (the lowest-numbered one when several
// share the definition); its handles become invalid.
bool DropVirtualTable(const char* name);
}  // namespace dbv
