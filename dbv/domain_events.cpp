// Domain and events container: events by name and number, in the level containers and in
// the run-time container. An event's name is its description up to the first '@' (the
// rest is the writer's own annotation), compared byte for byte.
#include <cstring>
#include <string_view>

#include "dbv/domain_and_events.h"
#include "outside/assert_log.h"

namespace dbv {

namespace {

constexpr const char* kSource = "dbd_domain_and_events";
constexpr const char* kNumberScanText =
    "!\"Getting a domain event by number failed or got unexpected nullptr event from "
    "database.\"";

std::string_view EventName(dbv_event_s* event) {
    const char* description = nullptr;
    if (dbv_geteventdescription(event, &description) != 0 || description == nullptr) {
        return {};
    }
    const char* at = std::strchr(description, '@');
    return at == nullptr ? std::string_view(description)
                         : std::string_view(description, static_cast<size_t>(at - description));
}

std::string_view WantedName(const char* name) {
    return name == nullptr ? std::string_view() : std::string_view(name);
}

int32_t EventCount(dbv_domainevents_s* events) {
    int32_t count = 0;
    if (dbv_geteventcount(events, &count) != 0) {
        return 0;
    }
    return count;
}

// The event at `number`, or null (reported) when the store cannot give it.
dbv_event_s* EventAt(dbv_domainevents_s* events, int32_t number) {
    dbv_event_s* event = nullptr;
    if (dbv_geteventnr(events, number, &event) != 0 || event == nullptr) {
        mainCheckAssertion(false, kNumberScanText, kSource, __LINE__);
        return nullptr;
    }
    return event;
}

// Deletes, in one pass, every event for which `doomed` holds. A deletion moves the later
// events down, so the same number is looked at again after it.
template <typename Predicate>
void DeleteEventsWhere(dbv_domainevents_s* events, Predicate doomed) {
    int32_t number = 0;
    while (number < EventCount(events)) {
        dbv_event_s* event = EventAt(events, number);
        if (event == nullptr || !doomed(event)) {
            ++number;
            continue;
        }
        if (dbv_deleteevent(event) != 0) {
            QM_ASSERT(!"Deleting an event from domain failed.", kSource);
            ++number;
        }
    }
}

}  // namespace

bool DomainAndEvents_c::GetDomainEvent(dbv_domainevents_s* events, const char* name,
                                       dbv_event_s** event) {
    if (events == nullptr || event == nullptr || EventCount(events) < 1) {
        return false;
    }
    const std::string_view wanted = WantedName(name);
    for (int32_t number = 0; number < EventCount(events); ++number) {
        dbv_event_s* candidate = EventAt(events, number);
        if (candidate != nullptr && EventName(candidate) == wanted) {
            *event = candidate;
            return true;
        }
    }
    return false;
}

bool DomainAndEvents_c::GetDomainEvent(dbv_domainevents_s* events, int32_t number,
                                       dbv_event_s** event) {
    if (events == nullptr || event == nullptr) {
        return false;
    }
    dbv_event_s* found = nullptr;
    if (dbv_geteventnr(events, number, &found) != 0) {
        QM_ASSERT(!"Getting a domain event by number failed.", kSource);
        return false;
    }
    *event = found;
    return true;
}

bool DomainAndEvents_c::ExistDomainEvent(dbv_domainevents_s* events, const char* name) {
    dbv_event_s* event = nullptr;
    return GetDomainEvent(events, name, &event) && event != nullptr;
}

bool DomainAndEvents_c::DeleteDomainEvents(dbv_domainevents_s* events, const char* name) {
    if (events == nullptr) {
        return false;
    }
    const std::string_view wanted = WantedName(name);
    DeleteEventsWhere(events, [wanted](dbv_event_s* event) { return EventName(event) == wanted; });
    return true;
}

bool DomainAndEvents_c::CleanDomainEvents(dbv_domainevents_s* events) {
    if (events == nullptr) {
        return false;
    }
    // Events without a description are the store's leftovers of a run; those at time id 0
    // mark no change and stay.
    DeleteEventsWhere(events, [](dbv_event_s* event) {
        const char* description = nullptr;
        int32_t timeId = 0;
        return dbv_geteventdescription(event, &description) == 0 && description == nullptr &&
               dbv_geteventtimeid(event, &timeId) == 0 && timeId != 0;
    });
    return true;
}

bool DomainAndEvents_c::GetDomainEvent(DomainEventLevel_e level, int32_t number,
                                       dbv_event_s** event) const {
    dbv_domainevents_s* events = nullptr;
    return GetDomainEvents(level, &events) && GetDomainEvent(events, number, event);
}

bool DomainAndEvents_c::GetDomainEvent(DomainEventLevel_e level, const char* name,
                                       dbv_event_s** event) const {
    dbv_domainevents_s* events = nullptr;
    return GetDomainEvents(level, &events) && GetDomainEvent(events, name, event);
}

bool DomainAndEvents_c::DeleteDomainEvents(DomainEventLevel_e level, const char* name) const {
    dbv_domainevents_s* events = nullptr;
    return GetDomainEvents(level, &events) && events != nullptr && DeleteDomainEvents(events, name);
}

bool DomainAndEvents_c::InsertDomainEvent(DomainEventLevel_e level, const char* name) {
    dbv_domainevents_s* events = nullptr;
    if (!GetDomainEvents(level, &events) || events == nullptr) {
        return false;
    }
    DeleteDomainEvents(events, name);
    dbv_event_s* created = nullptr;
    return dbv_createevent(events, name, &created) == 0;
}

bool DomainAndEvents_c::InsertRuntimeDomainEvent(const char* name) {
    DeleteRuntimeDomainEvents(name);
    dbv_event_s* created = nullptr;
    return dbv_createevent(runtimeDomainEvents_, name, &created) == 0;
}

bool DomainAndEvents_c::GetRuntimeDomainEvent(int32_t number, dbv_event_s** event) const {
    return GetDomainEvent(runtimeDomainEvents_, number, event);
}

bool DomainAndEvents_c::GetRuntimeDomainEvent(const char* name, dbv_event_s** event) const {
    return GetDomainEvent(runtimeDomainEvents_, name, event);
}

bool DomainAndEvents_c::DeleteRuntimeDomainEvents(const char* name) const {
    return DeleteDomainEvents(runtimeDomainEvents_, name);
}

bool DomainAndEvents_c::CleanRuntimeDomainEvents() const {
    return CleanDomainEvents(runtimeDomainEvents_);
}

}  // namespace dbv
