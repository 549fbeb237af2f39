// The shared library's single doorway to a few table store operations: reading, writing
// and skipping a table in a stream with or without its domain, inserting a row with its
// time ids, clearing the undo log, installing table callbacks, and asking for the current
// database's tables and a table's size. Reports carry the source name dbv_interface.
#pragma once

#include <cstdint>
#include <cstdio>

#include "dbv/common_export.h"
#include "outside/store_domain_tables.h"

namespace dbv {

// Clears the undo log through a fresh save point, which is deleted again. False when no
// save point can be made (nothing is cleared) or the clearing fails.
COMMON_EXPORT bool ClearUndoLog();

// Inserts `row` into `table`: with the time ids `creation` and `modification` when the
// table belongs to a domain (dbv_insert_domain), as a plain row otherwise (the ids are
// ignored). The store's code; 0 without a table or a row, and nothing is inserted then.
COMMON_EXPORT int32_t InsertDomain(dbv_tablestruct* table, void* row, int32_t creation,
                                   int32_t modification);

// Reads one table block at the stream's position into `table`: a domain block when
// `header` is given, a plain block (replacing the rows) otherwise. While it reads, every
// value that is not a number is logged at level 2 as "NaN value, db %s, table %s, column
// %d\n"; the reporter is removed again before the call returns. The store's code; without
// a file "pFile" is reported and 0 is returned without reading.
COMMON_EXPORT int32_t ReadTableDomain(FILE* file, dbv_domainheader_s* header,
                                      dbv_tablestruct* table);

// Writes `table` as a domain block when `header` is given, as a plain block otherwise. The
// store's code; without a file "pFile" is reported and 0 is returned without writing.
COMMON_EXPORT int32_t WriteTableDomain(FILE* file, dbv_domainheader_s* header,
                                       dbv_tablestruct* table);

// Skips one domain block (with `header`) or one plain block. The store's code.
COMMON_EXPORT int32_t SkipTableDomain(FILE* file, dbv_domainheader_s* header);

// Install (or, with null, remove) the table's do and notify callbacks; the store's code.
COMMON_EXPORT int32_t SetDoCallback(dbv_tablestruct* table, dbv_tablecallback_t callback);
COMMON_EXPORT int32_t SetNotifyCallback(dbv_tablestruct* table, dbv_tablecallback_t callback);

// Switches the table's undo logging; the store's code.
COMMON_EXPORT int32_t SetTableLogMode(dbv_tablestruct* table, bool on);

// The maximum number of tables dbv_inquiretables hands out.
constexpr int32_t kMaxInquiredTables = 1000;

// The current database's tables in table-number order, at most kMaxInquiredTables of them.
// REQUIRES `tables` to hold kMaxInquiredTables entries. 0 with *count set; 1 without a
// current database or for a null argument.
COMMON_EXPORT int32_t dbv_inquiretables(dbv_tablestruct** tables, int32_t* count);

// The table's size from its statistics (kind 0: row storage; kind 1: row storage, indexes
// and history): rows in use, bytes of those rows, bytes in use and bytes of the row storage,
// and what kind 1 holds beyond kind 0 in use and in all. Values are computed in 64 bits,
// truncated toward zero and clamped to the int32 range. 0 on success; 1 for a null argument,
// missing statistics, a statistic that cannot be read or a negative row length. The outputs
// are set as they are computed: a failure leaves the ones set before it (rowsInUse before
// the row length is checked; the first four before kind 1 is asked for).
COMMON_EXPORT int32_t dbv_inquiretablesize(dbv_tablestruct* table, int32_t* rowsInUse,
                                           int32_t* rowBytesInUse, int32_t* bytesInUse,
                                           int32_t* bytes, int32_t* extraBytesInUse,
                                           int32_t* extraBytes);

}  // namespace dbv
