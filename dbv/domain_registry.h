// The domain registry: one stored domain and events container per domain (by domain
// number), which databases own a domain, which use the domain of another database (mapped
// databases), which have their tables converted to their domain, and the functions named
// "Current" that act on the current virtual database (dbv/statics_interface.h).
//
// Lookup: a database is looked up among the owners first, then among the mapped databases;
// when found, the stored container of its domain number is copied into the caller's
// container (an empty one is created under that number when it is missing).
// Stored containers are always unchanged; storing a copy clears its flag.
// A new domain number is the largest number stored plus one (the first is 1), so the
// number of an erased entry may come back.
//
// The registry is process-wide, created at first use. At unload it releases only its own
// lists, never anything of the table store. Not thread-safe: one caller at a time.
// Reports go through the assertion convention with the source name dbd_domain_storage
// ("schemel_interface" for the current-database functions).
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "dbv/common_export.h"
#include "dbv/domain_and_events.h"
#include "outside/store_domain.h"

namespace dbv {

// Stores `container` for `db`: assigned into the stored entry when db owns a domain,
// otherwise under a new domain number that db then owns. Clears the container's flag.
// False only for a null db.
COMMON_EXPORT bool AddDomainAndEvents(const char* db, DomainAndEvents_c& container);
// Replaces the stored container of a database that owns a domain (erased, then stored
// afresh from `container`). False for a null db or one that owns no domain (the container
// then stays changed).
COMMON_EXPORT bool ModifyDomainAndEvents(const char* db, DomainAndEvents_c& container);
// As ModifyDomainAndEvents for the current database; a mapped current database is stored
// too. Clears the container's flag in every case.
COMMON_EXPORT bool ModifyCurrentDomainAndEvents(DomainAndEvents_c& container);
// Lookup of `db` into `container`; false when db is neither an owner nor mapped.
COMMON_EXPORT bool GetDomainAndEvents(const char* db, DomainAndEvents_c& container);
// Lookup of the current database.
COMMON_EXPORT bool GetCurrentDomainAndEvents(DomainAndEvents_c& container);
// Forgets the stored container of an owning db; the store's objects stay.
COMMON_EXPORT bool RemoveDomainAndEvents(const char* db);
// A new domain in the store for db, stored without event containers and mapper.
COMMON_EXPORT bool CreateDomain(const char* db);
// Creates db's run-time event container and stores the container.
COMMON_EXPORT bool CreateRuntimeDomainEvents(const char* db);
// Gives db's container two empty event containers (local and company) and a mapper.
COMMON_EXPORT bool AddEmptyDomainEvents(const char* db);
COMMON_EXPORT bool AddEmptyDomainEventsToCurrentDomain();
// Deletes the container's event containers, then creates two empty ones (levels local and
// company) and a mapper. False ("pDomain") without a domain.
COMMON_EXPORT bool SetEmptyDomainEvents(DomainAndEvents_c& container);
// CreateDomain, CreateRuntimeDomainEvents, AddEmptyDomainEvents; stops at the first false.
COMMON_EXPORT bool CreateDomainAndEmptyDomainEvents(const char* db);
// Cleans db's mapper and clears its domain in the store, then stores the container.
COMMON_EXPORT bool ClearDomainAndEvents(const char* db);
COMMON_EXPORT bool ClearCurrentDomainAndEvents();
// Deletes the domain of an owning db (mapper freed, domain deleted) and erases its stored
// entry; db stays recorded as owner. A mapped db is refused: false, nothing released.
COMMON_EXPORT bool DeleteDomainAndDomainEvents(const char* db);
// Creates the event `name` at `level`; false for an empty name, an unknown db, a name that
// exists at that level already, or a failure ("Result").
COMMON_EXPORT bool CreateDomainEvent(const char* db, DomainAndEvents_c::DomainEventLevel_e level,
                                     const char* name);
// Deletes every event `name` at `level`; false for an empty name, an unknown db or a failure
// ("Result").
COMMON_EXPORT bool RemoveDomainEvent(const char* db, DomainAndEvents_c::DomainEventLevel_e level,
                                     const char* name);
COMMON_EXPORT bool ExistDomainEvent(const char* db, DomainAndEvents_c::DomainEventLevel_e level,
                                    const char* name);
// The first event `name` at `level`; null when absent.
COMMON_EXPORT dbv_event_s* GetDomainEvent(const char* db,
                                          DomainAndEvents_c::DomainEventLevel_e level,
                                          const char* name);
// The guid text of the event's time id; empty when absent.
COMMON_EXPORT std::string GetDomainEventGuid(const char* db,
                                             DomainAndEvents_c::DomainEventLevel_e level,
                                             const char* name);
// The event's time id; 0 when absent.
COMMON_EXPORT int32_t GetDomainEventTimeId(const char* db,
                                           DomainAndEvents_c::DomainEventLevel_e level,
                                           const char* name);
// db's domain; null when absent or db is null.
COMMON_EXPORT dbv_domain_s* GetDatabaseDomain(const char* db);
// Whether db owns a domain (mapped databases do not count).
COMMON_EXPORT bool IsDatabaseInDomain(const char* db);
COMMON_EXPORT bool IsCurrentDatabaseInDomain();
// Lets db use the domain of otherDb when otherDb owns one (replacing an earlier mapping);
// otherwise nothing happens.
COMMON_EXPORT void MapDatabaseToUseAnotherDomain(const char* db, const char* otherDb);
COMMON_EXPORT void RemoveDatabaseDomainMapping(const char* db);
// The owning databases whose domain number has a stored entry.
COMMON_EXPORT std::set<std::string> GetDomainMappedDatabases();
// The current database's mapper (the shared object, not a copy) and its questions.
COMMON_EXPORT bool GetCurrentRangeMapper(IdRangeMapper_c** mapper);
COMMON_EXPORT bool GetCurrentRangeMapperMaxId(int32_t* id);
COMMON_EXPORT bool GetCurrentRangeMapperNewId(int32_t oldId, int32_t* newId);
// Adds a range to the current database's mapper and stores its container.
COMMON_EXPORT bool AddRangeToCurrentRangeMapper(int32_t first, int32_t last);
// Reads db's mapper from the file and stores the container. True also when db is not
// registered or the file cannot be read; false only when storing fails.
COMMON_EXPORT bool ReadRangeMapper(const char* fileName, const char* db);
// Writes db's mapper; false for a null or unknown db.
COMMON_EXPORT bool WriteRangeMapper(const char* fileName, const char* db);
// Records (or forgets) that the current database's tables are converted to its domain.
COMMON_EXPORT void SetCurrentDatabaseTablesConvertedToDomain(bool on);
COMMON_EXPORT bool GetCurrentDatabaseTablesConvertedToDomain();

// The current virtual database's name; empty at start.
COMMON_EXPORT std::string GetVirtualDatabase();
// Makes `name` current: true at once when it is current already; a non-empty name is made
// current in the store first (false, nothing changed, when that fails). An empty name is
// stored and gives false.
COMMON_EXPORT bool SetVirtualDatabase(const char* name);
// Creates the database in the store and makes it current; false ("DatabaseCreatedSuccessfully")
// when the store refuses.
COMMON_EXPORT bool CreateVirtualDatabase(const char* name);

// For tests only: forgets every stored container, owner, mapping and converted database and
// empties the current database name. Domains and event containers stay in the store; a
// mapper that no other container holds any more is released.
COMMON_EXPORT void ClearDomainRegistryForTests();

}  // namespace dbv
