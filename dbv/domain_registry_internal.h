// Internal to the domain registry: its process-wide state and the lookup that every
// registry function starts with. The public functions are in dbv/domain_registry.h.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>

#include "dbv/domain_and_events.h"

namespace dbv::detail {

struct DomainRegistry {
    DomainRegistry() = default;
    // Runs at unload: from here on no mapper is released in the store (it may be gone
    // already); only the registry's own lists are freed.
    ~DomainRegistry();
    DomainRegistry(const DomainRegistry&) = delete;
    DomainRegistry& operator=(const DomainRegistry&) = delete;

    // Ordered, so that the largest number (the base of a new one) is the last entry.
    std::map<int, DomainAndEvents_c> domainsByNumber;
    std::unordered_map<std::string, int> databaseDomains;
    std::unordered_map<std::string, int> mappedDatabases;
    std::set<std::string> convertedDatabases;
};

// The one registry, created at first use.
DomainRegistry& Registry();

// The domain number of `db`: as owner first, then as mapped database.
std::optional<int> DomainNumberOf(const char* db);

// Copies the stored container of db's domain into `container` (the entry is created empty
// when missing). False when db is null, owns no domain and is not mapped.
bool LookupDomainAndEvents(const char* db, DomainAndEvents_c& container);

// The current virtual database's name.
std::string CurrentDatabase();

}  // namespace dbv::detail
