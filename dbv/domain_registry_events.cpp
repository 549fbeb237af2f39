// The domain registry: events of a database's domain by level and name, and the range
// mapper of a database or of the current database.
#include <string>

#include "dbv/domain_registry.h"
#include "dbv/domain_registry_internal.h"
#include "dbv/event_texts.h"
#include "outside/assert_log.h"

namespace dbv {

namespace {

constexpr const char* kSource = "dbd_domain_storage";

bool IsEmpty(const char* name) {
    return name == nullptr || name[0] == '\0';
}

// The event `name` at `level` of db's domain, with the domain; false when absent.
bool FindEvent(const char* db, DomainAndEvents_c::DomainEventLevel_e level, const char* name,
               dbv_event_s** event, dbv_domain_s** domain) {
    if (IsEmpty(name)) {
        return false;
    }
    DomainAndEvents_c copy;
    dbv_event_s* found = nullptr;
    if (!detail::LookupDomainAndEvents(db, copy) || !copy.GetDomainEvent(level, name, &found) ||
        found == nullptr) {
        return false;
    }
    *event = found;
    copy.GetDomain(domain);
    return true;
}

}  // namespace

bool CreateDomainEvent(const char* db, DomainAndEvents_c::DomainEventLevel_e level,
                       const char* name) {
    DomainAndEvents_c copy;
    if (IsEmpty(name) || !detail::LookupDomainAndEvents(db, copy)) {
        return false;
    }
    dbv_event_s* existing = nullptr;
    if (copy.GetDomainEvent(level, name, &existing)) {
        return false;
    }
    const bool inserted = copy.InsertDomainEvent(level, name);
    const bool stored = ModifyDomainAndEvents(db, copy);
    if (!inserted || !stored) {
        mainCheckAssertion(false, "Result", kSource, __LINE__);
        return false;
    }
    return true;
}

bool RemoveDomainEvent(const char* db, DomainAndEvents_c::DomainEventLevel_e level,
                       const char* name) {
    DomainAndEvents_c copy;
    if (IsEmpty(name) || !detail::LookupDomainAndEvents(db, copy)) {
        return false;
    }
    const bool deleted = copy.DeleteDomainEvents(level, name);
    const bool stored = ModifyDomainAndEvents(db, copy);
    if (!deleted || !stored) {
        mainCheckAssertion(false, "Result", kSource, __LINE__);
        return false;
    }
    return true;
}

bool ExistDomainEvent(const char* db, DomainAndEvents_c::DomainEventLevel_e level,
                      const char* name) {
    dbv_event_s* event = nullptr;
    dbv_domain_s* domain = nullptr;
    return FindEvent(db, level, name, &event, &domain);
}

dbv_event_s* GetDomainEvent(const char* db, DomainAndEvents_c::DomainEventLevel_e level,
                            const char* name) {
    dbv_event_s* event = nullptr;
    dbv_domain_s* domain = nullptr;
    return FindEvent(db, level, name, &event, &domain) ? event : nullptr;
}

std::string GetDomainEventGuid(const char* db, DomainAndEvents_c::DomainEventLevel_e level,
                               const char* name) {
    dbv_event_s* event = nullptr;
    dbv_domain_s* domain = nullptr;
    if (!FindEvent(db, level, name, &event, &domain) || domain == nullptr) {
        return {};
    }
    try {
        return DomainEventToGuidString(event, domain);
    } catch (...) {  // std::bad_alloc for the text
        return {};
    }
}

int32_t GetDomainEventTimeId(const char* db, DomainAndEvents_c::DomainEventLevel_e level,
                             const char* name) {
    dbv_event_s* event = nullptr;
    dbv_domain_s* domain = nullptr;
    int32_t timeId = 0;
    if (!FindEvent(db, level, name, &event, &domain) || domain == nullptr ||
        dbv_geteventtimeid(event, &timeId) != 0) {
        return 0;
    }
    return timeId;
}

bool GetCurrentRangeMapper(IdRangeMapper_c** mapper) {
    DomainAndEvents_c copy;
    return GetCurrentDomainAndEvents(copy) && copy.GetRangeMapper(mapper);
}

bool GetCurrentRangeMapperMaxId(int32_t* id) {
    DomainAndEvents_c copy;
    return GetCurrentDomainAndEvents(copy) && copy.GetRangeMapperMaxId(id);
}

bool GetCurrentRangeMapperNewId(int32_t oldId, int32_t* newId) {
    DomainAndEvents_c copy;
    return GetCurrentDomainAndEvents(copy) && copy.GetRangeMapperNewId(oldId, newId);
}

bool AddRangeToCurrentRangeMapper(int32_t first, int32_t last) {
    DomainAndEvents_c copy;
    return GetCurrentDomainAndEvents(copy) && copy.AddRangeToRangeMapper(first, last) &&
           ModifyCurrentDomainAndEvents(copy);
}

bool ReadRangeMapper(const char* fileName, const char* db) {
    bool result = true;
    DomainAndEvents_c copy;
    if (db != nullptr && detail::LookupDomainAndEvents(db, copy) && copy.SetRangeMapper(fileName)) {
        result = ModifyDomainAndEvents(db, copy);
    }
    return result;
}

bool WriteRangeMapper(const char* fileName, const char* db) {
    DomainAndEvents_c copy;
    return db != nullptr && detail::LookupDomainAndEvents(db, copy) &&
           copy.WriteRangeMapper(fileName);
}

}  // namespace dbv
