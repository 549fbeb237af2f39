// Event containers of a domain and their events. A container keeps the slots of its
// events in number order, so numbering is an index and deleting an event shifts the later
// ones down. Descriptions are heap copies whose address stays put until the description is
// replaced or the event goes, as callers hold the text across other store calls.
#include <algorithm>
#include <cstring>
#include <memory>

#include "outside/domain_store_internal.h"
#include "outside/store_seams.h"

using domain_store::EventContainer;
using domain_store::from_handle;
using domain_store::store;

namespace {

// A heap copy of `text`; null for null. Throws std::bad_alloc.
std::unique_ptr<char[]> copy_text(const char* text) {
    if (text == nullptr) return nullptr;
    const size_t size = std::strlen(text) + 1;
    auto copy = std::make_unique<char[]>(size);
    std::memcpy(copy.get(), text, size);
    return copy;
}

domain_store::Event* find_event(dbv_event_s* event) {
    return store().events.get(from_handle(event));
}

EventContainer* find_container(dbv_domainevents_s* events) {
    return store().containers.get(from_handle(events));
}

}  // namespace

void domain_store::release_container(uint32_t container_slot) {
    auto& s = store();
    for (const uint32_t event_slot : s.containers.at_slot(container_slot).event_slots) {
        s.events.remove_slot(event_slot);
    }
    s.containers.remove_slot(container_slot);
}

int dbv_createdomainevents(dbv_domain_s* domain, dbv_domainevents_s** events) {
    if (store_seams::ShouldFail("dbv_createdomainevents") || events == nullptr) return 1;
    auto& s = store();
    domain_store::Domain* d = domain_store::find_domain(domain);
    if (d == nullptr) return 1;
    try {
        domain_store::reserve_one_more(d->container_slots);
        EventContainer container;
        container.domain_slot = s.domains.slot_of(from_handle(domain));
        const uint64_t handle = s.containers.add(std::move(container));
        if (handle == 0) return 1;
        d->container_slots.push_back(s.containers.slot_of(handle));  // reserved: cannot throw
        *events = domain_store::to_handle<dbv_domainevents_s>(handle);
        return 0;
    } catch (...) {
        return 1;
    }
}

int dbv_deletedomainevents(dbv_domainevents_s* events) {
    if (store_seams::ShouldFail("dbv_deletedomainevents")) return 1;
    auto& s = store();
    const EventContainer* container = find_container(events);
    if (container == nullptr) return 1;
    const uint32_t slot = s.containers.slot_of(from_handle(events));
    auto& siblings = s.domains.at_slot(container->domain_slot).container_slots;
    siblings.erase(std::find(siblings.begin(), siblings.end(), slot));
    domain_store::release_container(slot);
    return 0;
}

int dbv_createevent(dbv_domainevents_s* events, const char* description, dbv_event_s** event) {
    if (store_seams::ShouldFail("dbv_createevent") || event == nullptr) return 1;
    auto& s = store();
    EventContainer* container = find_container(events);
    if (container == nullptr) return 1;
    domain_store::Domain& domain = s.domains.at_slot(container->domain_slot);
    if (domain.last_id == INT32_MAX) return 1;
    try {
        domain_store::reserve_one_more(container->event_slots);
        domain_store::Event fresh;
        fresh.container_slot = s.containers.slot_of(from_handle(events));
        fresh.description = copy_text(description);
        const uint64_t handle = s.events.add(std::move(fresh));
        if (handle == 0) return 1;
        // Nothing below can fail, so the id is taken only for an event that exists.
        domain_store::take_ids(domain, 1, &s.events.get(handle)->time_id);
        container->event_slots.push_back(s.events.slot_of(handle));
        *event = domain_store::to_handle<dbv_event_s>(handle);
        return 0;
    } catch (...) {
        return 1;
    }
}

int dbv_deleteevent(dbv_event_s* event) {
    if (store_seams::ShouldFail("dbv_deleteevent")) return 1;
    auto& s = store();
    const domain_store::Event* e = find_event(event);
    if (e == nullptr) return 1;
    const uint32_t slot = s.events.slot_of(from_handle(event));
    auto& numbered = s.containers.at_slot(e->container_slot).event_slots;
    numbered.erase(std::find(numbered.begin(), numbered.end(), slot));
    s.events.remove_slot(slot);
    return 0;
}

int dbv_geteventcount(dbv_domainevents_s* events, int32_t* count) {
    if (store_seams::ShouldFail("dbv_geteventcount") || count == nullptr) return 1;
    const EventContainer* container = find_container(events);
    if (container == nullptr) return 1;
    *count = static_cast<int32_t>(container->event_slots.size());
    return 0;
}

int dbv_geteventnr(dbv_domainevents_s* events, int32_t number, dbv_event_s** event) {
    if (store_seams::ShouldFail("dbv_geteventnr") || event == nullptr) return 1;
    const EventContainer* container = find_container(events);
    if (container == nullptr || number < 0 ||
        static_cast<size_t>(number) >= container->event_slots.size()) {
        return 1;
    }
    const uint32_t slot = container->event_slots[static_cast<size_t>(number)];
    *event = domain_store::to_handle<dbv_event_s>(store().events.handle_at(slot));
    return 0;
}

int dbv_geteventdescription(dbv_event_s* event, const char** description) {
    if (store_seams::ShouldFail("dbv_geteventdescription") || description == nullptr) return 1;
    const domain_store::Event* e = find_event(event);
    if (e == nullptr) return 1;
    *description = e->description.get();
    return 0;
}

int dbv_seteventdescription(dbv_event_s* event, const char* description) {
    if (store_seams::ShouldFail("dbv_seteventdescription")) return 1;
    domain_store::Event* e = find_event(event);
    if (e == nullptr) return 1;
    try {
        e->description = copy_text(description);
        return 0;
    } catch (...) {
        return 1;
    }
}

int dbv_geteventtimeid(dbv_event_s* event, int32_t* time_id) {
    if (store_seams::ShouldFail("dbv_geteventtimeid") || time_id == nullptr) return 1;
    const domain_store::Event* e = find_event(event);
    if (e == nullptr) return 1;
    *time_id = e->time_id;
    return 0;
}
