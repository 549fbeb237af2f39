// Time ids of a domain: thin, checked passes to the table store's domain half, plus the
// guid text in the byte order the application's files use.
#include "dbv/time_ids.h"

#include <cstdio>
#include <cstring>

#include "dbv/domain_and_events.h"
#include "dbv/domain_registry.h"
#include "outside/assert_log.h"

namespace dbv {

namespace {

// The domain of the virtual database `database`, or null.
dbv_domain_s* DomainOfDatabase(const char* database) {
    if (database == nullptr) return nullptr;
    DomainAndEvents_c container;
    dbv_domain_s* domain = nullptr;
    if (!GetDomainAndEvents(database, container) || !container.GetDomain(&domain)) return nullptr;
    return domain;
}

}  // namespace

int NewId(dbv_domain_s* domain) {
    int32_t id = 0;
    if (dbv_newid(domain, &id) != 0) return 0;
    return id;
}

int CreateDbvEvent(dbv_domainevents_s* events, const char* description) {
    dbv_event_s* event = nullptr;
    const int createResult = dbv_createevent(events, description, &event);
    // Without an event there is no time id to ask for: one report is enough.
    if (!mainCheckAssertion(createResult == 0, "CreateResult == 0", "dbv_interface", __LINE__))
        return 0;
    int32_t timeId = 0;
    const int result = dbv_geteventtimeid(event, &timeId);
    if (!mainCheckAssertion(result == 0, "Result == 0", "dbv_interface", __LINE__)) return 0;
    return timeId;
}

int CompareTimeId(dbv_domain_s* domain, int32_t a, int32_t b, int32_t* result) {
    return dbv_comparetimeid(domain, a, b, result);
}

int CompareCausality(dbv_domain_s* domain, uint32_t a, uint32_t b, int32_t* result) {
    return dbv_comparecausality(domain, a, b, result);
}

dbIdOrder_e CompareTimeIds(dbv_domain_s* domain, const Id_c& id1, const Id_c& id2) {
    if (domain == nullptr) return ID_ORDER_UNDEFINED;
    int32_t order = 0;
    if (dbv_comparetimeid(domain, id1.timeId, id2.timeId, &order) != 0) return ID_ORDER_UNDEFINED;
    switch (order) {
        case -1:
            return ID_ORDER_FIRST_AFTER;
        case 0:
            return ID_ORDER_EQUAL;
        case 1:
            return ID_ORDER_FIRST_BEFORE;
        default:
            QM_ASSERT(!"Unsupported comparison result", "rowhive_tools");
            return ID_ORDER_UNDEFINED;
    }
}

int GetGuidStringFromTimeId(dbv_domain_s* domain, uint32_t timeId, char* text) {
    dbv_guid_s guid{};
    if (text == nullptr || dbv_timeidtoguid(domain, timeId, &guid) != 0) return 0;
    const uint8_t* b = guid.bytes;
    char formatted[kGuidTextBufferSize + 8];
    std::snprintf(formatted, sizeof formatted,
                  "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[3],
                  b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13],
                  b[14], b[15]);
    std::memcpy(text, formatted, kGuidTextBufferSize);
    return 0;
}

std::string TimeIdToString(uint32_t timeId, dbv_domain_s* domain) {
    dbv_guid_s guid{};
    if (domain == nullptr || dbv_timeidtoguid(domain, timeId, &guid) != 0) return std::string();
    char buffer[100] = {};
    if (dbv_guidtostring(&guid, buffer, sizeof buffer) != 0) return std::string();
    buffer[sizeof buffer - 1] = '\0';
    return std::string(buffer);
}

std::string TimeIdToString(uint32_t timeId, const char* database) {
    dbv_domain_s* domain = DomainOfDatabase(database);
    if (domain == nullptr) return std::string();
    return TimeIdToString(timeId, domain);
}

uint32_t TimeIdFromString(const char* text, const char* database) {
    dbv_guid_s guid{};
    if (text == nullptr || dbv_parseguidstring(text, &guid) != 0) return 0;
    dbv_domain_s* domain = DomainOfDatabase(database);
    if (domain == nullptr) return 0;
    int32_t timeId = 0;
    if (dbv_guidtotimeid(domain, &guid, &timeId) != 0) return 0;
    return static_cast<uint32_t>(timeId);
}

}  // namespace dbv
