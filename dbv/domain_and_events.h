// The domain and events container of one database: the domain, its event containers by
// level, the run-time event container and the domain's id range mapper, with a flag that
// says whether the container was changed. Callers copy a database's stored container out
// of the registry (dbv/domain_registry.h), change the copy and store it back; a changed
// copy that is destroyed unstored is reported.
//
// Ownership. The domain and the event containers are table-store objects shared by every
// copy of a container; copying or destroying a container never creates or releases them.
// Only the operations that say so release them in the store. A handle released through one
// copy is stale in the others and every store operation on it fails cleanly.
// The range mapper is held through shared ownership, so copies and stored containers never
// point at a destroyed mapper object. GetRangeMapper hands out the shared object itself.
// DeleteDomain frees the mapper's store mapper (IdRangeMapper_c::FreeIdRangeMapper) and
// drops this container's share: any other holder then sees a mapper without a store mapper,
// which answers every question with its "no mapper" result.
// The list of event containers belongs to one container object.
//
// Reports go through the assertion convention with the source name dbd_domain_and_events.
// All operations return false (or 0) to fail; out-parameters are written only on success.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "dbv/common_export.h"
#include "dbv/id_range_mapper.h"
#include "outside/store_domain.h"

namespace dbv {

class COMMON_EXPORT DomainAndEvents_c {
  public:
    // A level is the index into the list of event containers.
    enum DomainEventLevel_e {
        EVENT_LEVEL_LOCAL = 0,
        EVENT_LEVEL_COMPANY = 1,
        EVENT_LEVEL_PROJECT = 2
    };

    // No domain, an empty list, no run-time container, no mapper, unchanged.
    DomainAndEvents_c();
    // A default container assigned from `other`.
    DomainAndEvents_c(const DomainAndEvents_c& other);
    // Takes the source's domain and its list of event containers; takes its run-time
    // container and mapper only when the source has them (otherwise keeps its own). Creates
    // a list when this object had none. Leaves this object unchanged (flag cleared).
    DomainAndEvents_c& operator=(const DomainAndEvents_c& other);

    // Reports "Domain and events container was changed but the changes were not stored with
    // Modify or Add." when the flag is set; releases nothing of the store.
    virtual ~DomainAndEvents_c();

    // Deletes every event container (and, when that succeeded, drops the list itself, so
    // that AddDomainEvents fails until the object is assigned again), the run-time
    // container and, when `deleteDomain`, the domain. Clears the flag. A failure is reported
    // as "Result".
    virtual bool Clear(bool deleteDomain);
    // Keeps `domain` (may be null); sets the flag.
    virtual bool SetDomain(dbv_domain_s* domain);
    // Writes the domain (possibly null). REQUIRES a non-null `domain`.
    virtual bool GetDomain(dbv_domain_s** domain) const;
    // Deletes the domain in the store. Frees the mapper's store mapper first and drops this
    // container's share of it. Without a domain: true, nothing changes. On failure ("Deleting
    // domain failed.") the domain pointer is kept. Sets the flag whenever a domain was held.
    virtual bool DeleteDomain();
    // Appends `events` as the next level; false when there is no list. Sets the flag.
    virtual bool AddDomainEvents(dbv_domainevents_s* events);
    // The event container of `level`; false when there is no list or no such level.
    virtual bool GetDomainEvents(DomainEventLevel_e level, dbv_domainevents_s** events) const;
    // The event with `number` in the level's container.
    virtual bool GetDomainEvent(DomainEventLevel_e level, int32_t number,
                                dbv_event_s** event) const;
    // The first event named `name` in the level's container.
    virtual bool GetDomainEvent(DomainEventLevel_e level, const char* name,
                                dbv_event_s** event) const;
    // Deletes the level's container in the store and removes it from the list; higher
    // levels move down by one. True when the level does not exist. Sets the flag.
    virtual bool DeleteDomainEvents(DomainEventLevel_e level);
    // Deletes every event named `name` in the level's container.
    virtual bool DeleteDomainEvents(DomainEventLevel_e level, const char* name) const;
    // The number of levels; 0 without a list.
    virtual int32_t GetDomainEventsCount() const;
    // Deletes the levels from the highest down, stopping at the first failure, then empties
    // the list. Sets the flag.
    virtual bool DeleteAllDomainEvents();
    // Cleans the mapper and clears the domain in the store. True without a domain; false
    // when there is a domain but no mapper (nothing is touched then).
    virtual bool ClearDomain();
    // Creates the run-time container in the domain; true when there is one already, false
    // without a domain. Sets the flag.
    virtual bool CreateRuntimeDomainEvents();
    // Replaces the run-time events named `name` by one new event of that name.
    virtual bool InsertRuntimeDomainEvent(const char* name);
    // Replaces the events named `name` at `level` by one new event of that name.
    virtual bool InsertDomainEvent(DomainEventLevel_e level, const char* name);
    // The run-time container; false when there is none.
    virtual bool GetRuntimeDomainEvents(dbv_domainevents_s** events) const;
    // Deletes the present run-time container in the store and keeps `events` instead. False
    // for null; setting the container already held does nothing and gives true.
    virtual bool SetRuntimeDomainEvents(dbv_domainevents_s* events);
    virtual bool GetRuntimeDomainEvent(int32_t number, dbv_event_s** event) const;
    virtual bool GetRuntimeDomainEvent(const char* name, dbv_event_s** event) const;
    // Deletes the run-time container in the store; the pointer is dropped in any case.
    virtual bool DeleteAllRuntimeDomainEvents();
    virtual bool DeleteRuntimeDomainEvents(const char* name) const;
    // Deletes the run-time events that have no description and a time id.
    virtual bool CleanRuntimeDomainEvents() const;
    // Clears the flag.
    virtual bool ResetChangeStatus();
    // Creates a mapper for the domain unless there is one. Sets the flag when it creates.
    virtual bool InitRangeMapper();
    // Reads the mapper from `fileName`; false without a mapper. Sets the flag on success.
    virtual bool SetRangeMapper(const char* fileName);
    // AddRange of the mapper; false without one.
    virtual bool AddRangeToRangeMapper(int32_t first, int32_t last);
    // The mapper's old maximum id; false without a mapper.
    virtual bool GetRangeMapperMaxId(int32_t* id) const;
    // The mapper's GetNewId; false without a mapper or for a negative result.
    virtual bool GetRangeMapperNewId(int32_t oldId, int32_t* newId) const;
    // The shared mapper object itself (valid while a container holds it).
    virtual bool GetRangeMapper(IdRangeMapper_c** mapper) const;
    // Writes the mapper's file; false without a mapper or before anything was mapped (old
    // maximum id below 1).
    virtual bool WriteRangeMapper(const char* fileName) const;
    // The domain's statistics "CompactedIdBase" and "CompactedIdCount", truncated toward
    // zero. False ("Could not get statistics") without domain or statistics, or when a value
    // is missing or does not fit 32 bits; the outputs are then unchanged.
    virtual bool GetIdStatisticsFromDomain(int32_t* base, int32_t* count) const;

    // Operations on one event container (all false for a null container). An event's name
    // is its description up to the first '@'; a null description is the empty name.
    // True when an event named `name` exists in `events`.
    static bool ExistDomainEvent(dbv_domainevents_s* events, const char* name);
    // The first event named `name`.
    static bool GetDomainEvent(dbv_domainevents_s* events, const char* name, dbv_event_s** event);
    // The event with `number`.
    static bool GetDomainEvent(dbv_domainevents_s* events, int32_t number, dbv_event_s** event);
    // Deletes every event named `name`; true (failed deletions are reported).
    static bool DeleteDomainEvents(dbv_domainevents_s* events, const char* name);
    // Deletes the events without description that have a time id; true.
    static bool CleanDomainEvents(dbv_domainevents_s* events);

  private:
    // Creates an empty list unless there is one; true when a list exists afterwards.
    bool CreateDomainEventsArray();

    dbv_domain_s* domain_ = nullptr;
    std::unique_ptr<std::vector<dbv_domainevents_s*>> domainEvents_;
    dbv_domainevents_s* runtimeDomainEvents_ = nullptr;
    std::shared_ptr<IdRangeMapper_c> rangeMapper_;
    bool changed_ = false;
};

}  // namespace dbv
