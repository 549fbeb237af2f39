// Event and event-container texts, built from what the store tells about each event.
#include "dbv/event_texts.h"

#include "dbv/time_ids.h"

namespace dbv {

std::string DomainEventToGuidString(dbv_event_s* event, dbv_domain_s* domain) {
    int32_t timeId = 0;
    if (event == nullptr || domain == nullptr || dbv_geteventtimeid(event, &timeId) != 0)
        return std::string();
    return TimeIdToString(static_cast<uint32_t>(timeId), domain);
}

std::string DomainEventToString(dbv_event_s* event, dbv_domain_s* domain, bool withTimeId) {
    if (event == nullptr || domain == nullptr) return std::string();
    const char* description = nullptr;
    int32_t timeId = 0;
    if (dbv_geteventdescription(event, &description) != 0 ||
        dbv_geteventtimeid(event, &timeId) != 0)
        return std::string();
    std::string text = description != nullptr ? description : "";
    if (withTimeId) {
        text += '/';
        text += std::to_string(timeId);
        text += '/';
        text += TimeIdToString(static_cast<uint32_t>(timeId), domain);
    }
    return text;
}

std::string DomainEventsToString(dbv_domainevents_s* container, dbv_domain_s* domain) {
    int32_t count = 0;
    if (container == nullptr || domain == nullptr || dbv_geteventcount(container, &count) != 0)
        return std::string();
    std::string text = std::to_string(count) + " events:";
    for (int32_t number = 0; number < count; ++number) {
        text += '\n';
        dbv_event_s* event = nullptr;
        if (dbv_geteventnr(container, number, &event) != 0 || event == nullptr) {
            text += "ERROR";
            continue;
        }
        text += DomainEventToString(event, domain, true);
    }
    return text;
}

}  // namespace dbv
