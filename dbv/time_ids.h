// Time ids of a domain as the application sees them: making ids and events, comparing two
// ids in the domain's order or by causality, and the guid text of an id in both directions.
// A time id is a 32-bit number handed out by the domain; 0 means "none". Every function
// gives a neutral result (0, the empty text, ID_ORDER_UNDEFINED) when the store refuses.
#pragma once

#include <cstdint>
#include <string>

#include "dbv/common_export.h"
#include "outside/store_domain.h"

namespace dbv {

// The order of two time ids as CompareTimeIds gives it.
enum dbIdOrder_e {
    ID_ORDER_EQUAL = 1,         // the same point
    ID_ORDER_FIRST_BEFORE = 2,  // the first lies before the second
    ID_ORDER_FIRST_AFTER = 3,   // the first lies after the second
    ID_ORDER_UNDEFINED = 4,     // no domain, the store failed, or it gave an unknown value
};

// A record that starts with a time id; only that field is read here.
struct Id_c {
    int32_t timeId = 0;
};

// Room a guid text needs: 36 characters and the terminator.
constexpr size_t kGuidTextBufferSize = kDbvGuidTextLength + 1;

// A fresh time id of `domain`; 0 when the store refuses (null domain, ids used up).
COMMON_EXPORT int NewId(dbv_domain_s* domain);

// Appends an event with `description` (null allowed) to `events` and gives its time id.
// 0 when the store cannot make the event, reported as "CreateResult == 0" (dbv_interface),
// or cannot tell its time id ("Result == 0").
COMMON_EXPORT int CreateDbvEvent(dbv_domainevents_s* events, const char* description);

// The store's comparison of two time ids, unchanged: returns 0 on success with *result
// +1 when a lies before b, 0 when equal, -1 when a lies after b.
COMMON_EXPORT int CompareTimeId(dbv_domain_s* domain, int32_t a, int32_t b, int32_t* result);

// The store's causality comparison, unchanged: returns 0 on success with *result 0 when a
// is causally after b and non-zero otherwise.
COMMON_EXPORT int CompareCausality(dbv_domain_s* domain, uint32_t a, uint32_t b, int32_t* result);

// The order of id1's time id against id2's in `domain`. ID_ORDER_UNDEFINED without a
// domain or when the store cannot compare them; a comparison value the store should never
// give is reported ("!\"Unsupported comparison result\"", rowhive_tools) and undefined too.
COMMON_EXPORT dbIdOrder_e CompareTimeIds(dbv_domain_s* domain, const Id_c& id1, const Id_c& id2);

// Writes the guid text of `timeId` ("03020100-0504-0706-0809-0a0b0c0d0e0f" for the guid
// bytes 00 ... 0f) into `text`. REQUIRES: `text` holds kGuidTextBufferSize bytes. When the
// domain does not know the id (or `text` is null) nothing is written. Always 0.
COMMON_EXPORT int GetGuidStringFromTimeId(dbv_domain_s* domain, uint32_t timeId, char* text);

// The store's guid text of `timeId` in `domain`; empty for a null domain or an id it does
// not know.
COMMON_EXPORT std::string TimeIdToString(uint32_t timeId, dbv_domain_s* domain);

// The same in the domain of the virtual database `database` (empty when it has none).
COMMON_EXPORT std::string TimeIdToString(uint32_t timeId, const char* database);

// The time id of a guid text in the domain of `database`; 0 when the text is no guid, the
// database has no domain or the domain does not know the guid.
COMMON_EXPORT uint32_t TimeIdFromString(const char* text, const char* database);

}  // namespace dbv
