// The domain side of a table as the dump and conversion code ask for it: whether a table
// belongs to a domain, its domain fields with their small-id count, the search for a
// deleted row among the rows the store keeps as history, and the store's assertion
// callback. Reports carry the source name rowhive_tools.
#pragma once

#include <cstdint>
#include <vector>

#include "dbv/common_export.h"
#include "outside/store_domain_tables.h"

namespace dbv {

// True when the current database's table `table` belongs to `domain` (a plain table thus
// "belongs" to a null domain); fieldCount then receives the number of the table's domain
// fields. False, fieldCount unchanged, for an unknown table or when the store cannot tell.
COMMON_EXPORT bool TableBelongsToGivenDomain(int32_t table, dbv_domain_s* domain,
                                             int32_t& fieldCount);

// Appends the field numbers of the table's domain fields (at most the first 100) to
// `fields`, and raises smallIdCount to the largest small-id count among them. False for a
// null table, when the store cannot tell ("!\"dbv_gettabledomaininfo\"") and when the
// table's domain is not `domain` ("!\"Domains differ\""). Also reported, without changing
// the result: more than 100 fields ("nDomainFields <= ARRAY_SIZE"), a field of another
// domain ("aDomainFieldSpec[ii].pdomain == pDomain") and a non-zero small-id count that
// differs from a non-zero smallIdCount ("!\"Conflicting nrsmallids\"").
COMMON_EXPORT bool GetTableDomainFields(dbv_tablestruct* table, dbv_domain_s* domain,
                                        std::vector<int32_t>& fields, int32_t& smallIdCount);

// Searches the current database's table `table`, history rows included, for a row whose
// 32-bit integer at byte `idOffset` equals `id` and whose save action against `event` is
// a delete; true with that row copied into `row` (a buffer of the table's row length).
// REQUIRES the store's work mode to be DBV_WORKMODE_LIVE: otherwise false at once and the
// store is not touched. The search runs in DBV_WORKMODE_HISTORY and leaves the store in
// DBV_WORKMODE_LIVE on every path. False, `row` unchanged, when no such row exists, the
// table is unknown or idOffset does not leave 4 bytes inside the row.
COMMON_EXPORT bool GetDeletedRow(int32_t table, int32_t id, int32_t idOffset, dbv_event_s* event,
                                 void* row);

// Hands `callback` to the store, which calls it when it finds its own state broken.
COMMON_EXPORT void SetAssertExitCallback(dbv_assertexitcallback_t callback);

}  // namespace dbv
