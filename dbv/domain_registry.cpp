// The domain registry: storing and looking up containers, creating, clearing and deleting
// domains, database mappings and the set of databases converted to their domain. Events
// and mappers through the registry are in domain_registry_events.cpp.
#include "dbv/domain_registry.h"

#include <climits>

#include "dbv/domain_registry_internal.h"
#include "dbv/id_range_mapper_internal.h"
#include "dbv/statics_interface.h"
#include "outside/assert_log.h"

namespace dbv {

namespace detail {

DomainRegistry::~DomainRegistry() {
    MarkLibraryUnloading();
}

DomainRegistry& Registry() {
    static DomainRegistry s_registry;
    return s_registry;
}

std::optional<int> DomainNumberOf(const char* db) {
    if (db == nullptr) {
        return std::nullopt;
    }
    const DomainRegistry& registry = Registry();
    try {
        const std::string name = db;
        if (auto owner = registry.databaseDomains.find(name);
            owner != registry.databaseDomains.end()) {
            return owner->second;
        }
        if (auto mapped = registry.mappedDatabases.find(name);
            mapped != registry.mappedDatabases.end()) {
            return mapped->second;
        }
    } catch (...) {  // std::bad_alloc for the key
    }
    return std::nullopt;
}

bool LookupDomainAndEvents(const char* db, DomainAndEvents_c& container) {
    const std::optional<int> number = DomainNumberOf(db);
    if (!number) {
        return false;
    }
    try {
        container = Registry().domainsByNumber[*number];
    } catch (...) {  // std::bad_alloc for the new entry
        return false;
    }
    return true;
}

std::string CurrentDatabase() {
    return StaticsInterface_c::GetCurrentVirtualDatabase();
}

}  // namespace detail

namespace {

constexpr const char* kSource = "dbd_domain_storage";

std::optional<int> OwnedDomainNumber(const char* db) {
    if (db == nullptr) {
        return std::nullopt;
    }
    const auto& owners = detail::Registry().databaseDomains;
    try {
        const auto owner = owners.find(db);
        if (owner != owners.end()) {
            return owner->second;
        }
    } catch (...) {  // std::bad_alloc for the key
    }
    return std::nullopt;
}

}  // namespace

bool AddDomainAndEvents(const char* db, DomainAndEvents_c& container) {
    if (db == nullptr) {
        return false;
    }
    detail::DomainRegistry& registry = detail::Registry();
    try {
        if (const std::optional<int> number = OwnedDomainNumber(db)) {
            registry.domainsByNumber[*number] = container;
        } else {
            const int highest =
                registry.domainsByNumber.empty() ? 0 : registry.domainsByNumber.rbegin()->first;
            if (highest == INT_MAX) {
                return false;
            }
            // The owner is recorded first: without it a stored entry would be unreachable.
            registry.databaseDomains[db] = highest + 1;
            registry.domainsByNumber[highest + 1] = container;
        }
    } catch (...) {  // std::bad_alloc
        return false;
    }
    container.ResetChangeStatus();
    return true;
}

bool ModifyDomainAndEvents(const char* db, DomainAndEvents_c& container) {
    const std::optional<int> number = OwnedDomainNumber(db);
    if (!number) {
        return false;
    }
    // The entry is made afresh, so that nothing the copy dropped survives in it.
    detail::Registry().domainsByNumber.erase(*number);
    const bool stored = AddDomainAndEvents(db, container);
    container.ResetChangeStatus();
    return stored;
}

bool ModifyCurrentDomainAndEvents(DomainAndEvents_c& container) {
    const std::string current = detail::CurrentDatabase();
    bool result = ModifyDomainAndEvents(current.c_str(), container);
    if (!result) {
        detail::DomainRegistry& registry = detail::Registry();
        const auto mapped = registry.mappedDatabases.find(current);
        if (mapped != registry.mappedDatabases.end()) {
            registry.domainsByNumber.erase(mapped->second);
            try {
                registry.domainsByNumber[mapped->second] = container;
                result = true;
            } catch (...) {  // std::bad_alloc: the entry is made empty at the next lookup
            }
        }
    }
    container.ResetChangeStatus();
    return result;
}

bool GetDomainAndEvents(const char* db, DomainAndEvents_c& container) {
    return detail::LookupDomainAndEvents(db, container);
}

bool GetCurrentDomainAndEvents(DomainAndEvents_c& container) {
    return detail::LookupDomainAndEvents(detail::CurrentDatabase().c_str(), container);
}

bool RemoveDomainAndEvents(const char* db) {
    const std::optional<int> number = OwnedDomainNumber(db);
    if (!number) {
        return false;
    }
    detail::Registry().domainsByNumber.erase(*number);
    return true;
}

bool CreateDomain(const char* db) {
    if (db == nullptr) {
        return false;
    }
    dbv_domain_s* domain = nullptr;
    if (dbv_createdomain(&domain) != 0 || domain == nullptr) {
        return false;
    }
    DomainAndEvents_c container;
    container.SetDomain(domain);
    return AddDomainAndEvents(db, container);
}

bool CreateRuntimeDomainEvents(const char* db) {
    DomainAndEvents_c copy;
    dbv_domain_s* domain = nullptr;
    if (!detail::LookupDomainAndEvents(db, copy) || !copy.GetDomain(&domain) || domain == nullptr) {
        return false;
    }
    const bool created = copy.CreateRuntimeDomainEvents();
    const bool stored = ModifyDomainAndEvents(db, copy);
    return created && stored;
}

bool SetEmptyDomainEvents(DomainAndEvents_c& container) {
    container.DeleteAllDomainEvents();
    dbv_domain_s* domain = nullptr;
    container.GetDomain(&domain);
    if (domain == nullptr) {
        mainCheckAssertion(false, "pDomain", kSource, __LINE__);
        return false;
    }
    dbv_domainevents_s* local = nullptr;
    dbv_domainevents_s* company = nullptr;
    if (dbv_createdomainevents(domain, &local) != 0 || local == nullptr) {
        return false;
    }
    if (dbv_createdomainevents(domain, &company) != 0 || company == nullptr) {
        dbv_deletedomainevents(local);
        return false;
    }
    container.AddDomainEvents(local);
    if (!container.InitRangeMapper()) {
        return false;
    }
    return container.AddDomainEvents(company);
}

bool AddEmptyDomainEvents(const char* db) {
    DomainAndEvents_c copy;
    if (!detail::LookupDomainAndEvents(db, copy)) {
        return false;
    }
    return SetEmptyDomainEvents(copy) && ModifyDomainAndEvents(db, copy);
}

bool AddEmptyDomainEventsToCurrentDomain() {
    return AddEmptyDomainEvents(detail::CurrentDatabase().c_str());
}

bool CreateDomainAndEmptyDomainEvents(const char* db) {
    return CreateDomain(db) && CreateRuntimeDomainEvents(db) && AddEmptyDomainEvents(db);
}

bool ClearDomainAndEvents(const char* db) {
    DomainAndEvents_c copy;
    if (!detail::LookupDomainAndEvents(db, copy)) {
        return false;
    }
    const bool cleared = copy.ClearDomain();
    const bool stored = ModifyDomainAndEvents(db, copy);
    return cleared && stored;
}

bool ClearCurrentDomainAndEvents() {
    return ClearDomainAndEvents(detail::CurrentDatabase().c_str());
}

bool DeleteDomainAndDomainEvents(const char* db) {
    // Only the owner may delete a domain: a mapped database would release the domain and
    // mapper that the owner's stored entry still holds.
    const std::optional<int> number = OwnedDomainNumber(db);
    if (!number) {
        return false;
    }
    DomainAndEvents_c copy;
    detail::LookupDomainAndEvents(db, copy);
    copy.DeleteDomain();
    detail::Registry().domainsByNumber.erase(*number);
    copy.ResetChangeStatus();
    return true;
}

dbv_domain_s* GetDatabaseDomain(const char* db) {
    DomainAndEvents_c copy;
    dbv_domain_s* domain = nullptr;
    if (!detail::LookupDomainAndEvents(db, copy) || !copy.GetDomain(&domain)) {
        return nullptr;
    }
    return domain;
}

bool IsDatabaseInDomain(const char* db) {
    return OwnedDomainNumber(db).has_value();
}

bool IsCurrentDatabaseInDomain() {
    return IsDatabaseInDomain(detail::CurrentDatabase().c_str());
}

void MapDatabaseToUseAnotherDomain(const char* db, const char* otherDb) {
    const std::optional<int> number = OwnedDomainNumber(otherDb);
    if (db == nullptr || !number) {
        return;
    }
    try {
        detail::Registry().mappedDatabases[db] = *number;
    } catch (...) {  // std::bad_alloc: the mapping is not made
    }
}

void RemoveDatabaseDomainMapping(const char* db) {
    if (db == nullptr) {
        return;
    }
    try {
        detail::Registry().mappedDatabases.erase(db);
    } catch (...) {  // std::bad_alloc for the key
    }
}

std::set<std::string> GetDomainMappedDatabases() {
    const detail::DomainRegistry& registry = detail::Registry();
    std::set<std::string> names;
    try {
        for (const auto& [name, number] : registry.databaseDomains) {
            if (registry.domainsByNumber.count(number) != 0) {
                names.insert(name);
            }
        }
    } catch (...) {  // std::bad_alloc: the caller gets what could be collected
    }
    return names;
}

void SetCurrentDatabaseTablesConvertedToDomain(bool on) {
    const std::string current = detail::CurrentDatabase();
    if (on) {
        try {
            detail::Registry().convertedDatabases.insert(current);
        } catch (...) {  // std::bad_alloc: not recorded
        }
    } else {
        detail::Registry().convertedDatabases.erase(current);
    }
}

bool GetCurrentDatabaseTablesConvertedToDomain() {
    return detail::Registry().convertedDatabases.count(detail::CurrentDatabase()) != 0;
}

void ClearDomainRegistryForTests() {
    detail::DomainRegistry& registry = detail::Registry();
    registry.domainsByNumber.clear();
    registry.databaseDomains.clear();
    registry.mappedDatabases.clear();
    registry.convertedDatabases.clear();
    StaticsInterface_c::CleanUp();
}

}  // namespace dbv
