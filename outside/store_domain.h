// The table store's domain half as the shared library calls it: domains that hand out time
// ids, the one-to-one mapping of time ids onto 16-byte guids and its text form, causality,
// event containers and events, id range mappers with their bodies in a stream, and domain
// statistics. Also the virtual-database switches of the base tools (dbv::SetCurrentDatabase
// and companions) that the domain registry calls.
//
// This header is the contract. Result convention as in table_store.h: an int result of 0
// means success, anything else failure; out-parameters are written only on success.
// Not thread-safe: every caller uses the store from one thread at a time.
//
// Handles. Every handle below is an opaque value that the store never dereferences: it
// names a slot and a generation in the store's own tables. A handle whose object was
// deleted (or whose domain was deleted, for containers and events) is stale: every
// operation given it fails cleanly (non-zero, null), also when its slot has been reused.
// A null handle is refused the same way.
//
// Time ids. A domain hands out time ids 1, 2, 3, ... in order (dbv_newid, dbv_newidrange,
// and one per event created); 0 means "none"; no id is ever handed out past INT32_MAX and
// no id is handed out twice, also not after dbv_cleardomain.
//
// Guids. Each domain draws a random 12-byte prefix when it is created; the guid of a time
// id is the prefix followed by the id as 4 little-endian bytes. The mapping thus needs no
// table and survives a round trip through a file. A guid is known to a domain when its
// prefix is the domain's own and its id has been handed out, or when it was imported
// (dbv_importguid) from another workstation's copy of the domain.
//
// Causality. Ids of one origin (this domain's own, or the imports of one foreign prefix)
// are ordered as they were made there. An id of this domain is causally after an imported
// one only when the import was known here before the id was handed out (the import's
// local id is smaller); an imported id is never causally after one of this domain's own
// ids (the other workstation could not have seen it). Ids without such an order are
// concurrent: neither is after the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct dbv_domain_s;
struct dbv_domainevents_s;
struct dbv_event_s;
struct dbv_idrangemapper_s;
struct dbv_statistics_s;

// A 16-byte globally unique id, laid out as a little-endian Windows GUID.
struct dbv_guid_s {
    uint8_t bytes[16];
};
static_assert(sizeof(dbv_guid_s) == 16);

// Length of a guid's text form without its terminator: "03020100-0504-0706-0809-0a0b0c0d0e0f".
constexpr size_t kDbvGuidTextLength = 36;

// ---------------------------------------------------------------------------------------
// Domains.

// A new domain with a fresh random prefix, no event containers and no ids handed out.
int dbv_createdomain(dbv_domain_s** domain);

// Empties a domain: its event containers lose every event and its imported guids are
// forgotten. The containers stay, and the id counter goes on where it stood.
int dbv_cleardomain(dbv_domain_s* domain);

// Deletes a domain with its event containers and their events; all their handles become
// stale. Mappers are not tied to a domain and are not touched.
int dbv_deletedomain(dbv_domain_s* domain);

// A fresh time id. Non-zero when the domain has handed out INT32_MAX already.
int dbv_newid(dbv_domain_s* domain, int32_t* id);

// The first of `count` fresh consecutive time ids; costs no memory per id. Non-zero when
// count < 1 or the run would pass INT32_MAX.
int dbv_newidrange(dbv_domain_s* domain, int32_t count, int32_t* first);

// The order of two time ids of the domain: *result = +1 when a lies before b, 0 when they
// are the same id, -1 when a lies after b. Ids of one origin compare in their order of
// making; ids of different origins compare by causality where it is known and otherwise
// by their local numbers. Non-zero when either id is unknown to the domain.
int dbv_comparetimeid(dbv_domain_s* domain, int32_t a, int32_t b, int32_t* result);

// Causality: *result = 0 when a is causally after b, non-zero otherwise (b after a,
// concurrent, or the same id). Non-zero when either id is unknown to the domain.
int dbv_comparecausality(dbv_domain_s* domain, uint32_t a, uint32_t b, int32_t* result);

// The guid of a time id the domain knows. Non-zero for 0 and for ids it does not know.
int dbv_timeidtoguid(dbv_domain_s* domain, uint32_t time_id, dbv_guid_s* guid);

// The time id of a guid the domain knows (its own or an imported one). Non-zero otherwise.
int dbv_guidtotimeid(dbv_domain_s* domain, const dbv_guid_s* guid, int32_t* time_id);

// Makes a guid from another copy of the domain known here: its time id is a fresh local id
// (handed out like dbv_newid). A guid already known gives its time id again.
int dbv_importguid(dbv_domain_s* domain, const dbv_guid_s* guid, int32_t* time_id);

// The text form of a guid: the bytes as two lower-case hex digits each, in the order
// 3 2 1 0 - 5 4 - 7 6 - 8 9 - 10 11 12 13 14 15, and a terminator. Non-zero when
// `buffer_size` < kDbvGuidTextLength + 1.
int dbv_guidtostring(const dbv_guid_s* guid, char* buffer, size_t buffer_size);

// Parses that text form (upper-case hex digits accepted, nothing else before or after).
int dbv_parseguidstring(const char* text, dbv_guid_s* guid);

// ---------------------------------------------------------------------------------------
// Event containers and events. Events of a container are numbered from 0 in order of
// creation; deleting one moves every later event down by one.

int dbv_createdomainevents(dbv_domain_s* domain, dbv_domainevents_s** events);

// Deletes the container and its events (their handles become stale).
int dbv_deletedomainevents(dbv_domainevents_s* events);

// Appends an event with a copy of `description` (which may be null) at a fresh time id of
// the container's domain.
int dbv_createevent(dbv_domainevents_s* events, const char* description, dbv_event_s** event);

// Removes the event from its container.
int dbv_deleteevent(dbv_event_s* event);

int dbv_geteventcount(dbv_domainevents_s* events, int32_t* count);

// The event with number `number` (0 <= number < count).
int dbv_geteventnr(dbv_domainevents_s* events, int32_t number, dbv_event_s** event);

// The description, null for an event made without one. The text stays valid until the
// description is set again or the event is deleted.
int dbv_geteventdescription(dbv_event_s* event, const char** description);

// Replaces the description with a copy of `description` (null allowed).
int dbv_seteventdescription(dbv_event_s* event, const char* description);

int dbv_geteventtimeid(dbv_event_s* event, int32_t* time_id);

// ---------------------------------------------------------------------------------------
// Id range mappers: runs of old ids mapped onto runs of new time ids of a domain.

int dbv_createidrangemapper(dbv_idrangemapper_s** mapper);
int dbv_deleteidrangemapper(dbv_idrangemapper_s* mapper);

// Records that old ids old_first ... old_first + count - 1 became the time ids new_first ...
// of `domain`. Non-zero when count < 1, either run passes INT32_MAX, an old id is below 1,
// the new run has not been handed out by the domain, or the old run overlaps one already
// recorded (nothing recorded then).
int dbv_idrangemapper_map(dbv_idrangemapper_s* mapper, dbv_domain_s* domain, int32_t old_first,
                          int32_t new_first, int32_t count);

// The guid of the new id of `old_id`. Non-zero when no recorded run holds it.
int dbv_idrangemapper_idtoguid(dbv_idrangemapper_s* mapper, int32_t old_id, dbv_guid_s* guid);

// Writes the mapper's body at the stream's position: self-checking (magic, version, run
// count, the runs, CRC-32).
int dbv_idrangemapper_write(FILE* stream, dbv_idrangemapper_s* mapper);

// Reads a body written by dbv_idrangemapper_write and replaces the mapper's runs with it.
// The body is untrusted: counts are checked against what the stream delivers before
// anything is allocated beyond it, overlapping or overflowing runs are refused, and the
// mapper changes only after the whole body has been read and verified.
int dbv_idrangemapper_read(FILE* stream, dbv_idrangemapper_s* mapper);

// ---------------------------------------------------------------------------------------
// Statistics: a handle holding named values as doubles, released with dbv_deletestatistics.
// A domain's statistics have the names "Bytes", "CompactedIdBase", "CompactedIdCount",
// "CompactedIdItemCount", "SessionIdBase", "SessionIdCount", "IdsInOrder",
// "ConnectedTables", "ConnectedRows" and "ConnectedInvisibleRows".

int dbv_getdomainstatistics(dbv_domain_s* domain, dbv_statistics_s** statistics);

// The value of `name`. Non-zero for a name the handle does not hold.
int dbv_getstatistics(dbv_statistics_s* statistics, const char* name, double* value);

int dbv_deletestatistics(dbv_statistics_s* statistics);

// ---------------------------------------------------------------------------------------
// Virtual databases as the base tools library switches them (true on success).
namespace dbv {
// Makes an existing database current.
bool SetCurrentDatabase(const char* name);
// Creates a database and makes it current.
bool CreateDatabase(const char* name);
// Drops a database with its tables.
bool DropVirtualDatabase(const char* name);
}  // namespace dbv
