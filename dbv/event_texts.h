// Readable texts of events and event containers, for logs and for the table dump.
// An event's text is its description, then (when asked for) "/", its time id in decimal,
// "/" and the time id's guid text. A container's text is the number of its events followed
// by " events:" and, per event in number order, a line feed and the event's text with its
// time id ("ERROR" for an event the store cannot hand out).
#pragma once

#include <string>

#include "dbv/common_export.h"
#include "outside/store_domain.h"

namespace dbv {

// The guid text of the event's time id in `domain`; empty when either is null or the time
// id cannot be had.
COMMON_EXPORT std::string DomainEventToGuidString(dbv_event_s* event, dbv_domain_s* domain);

// The event's text; empty when either is null or its description or time id cannot be had.
// A null description contributes nothing.
COMMON_EXPORT std::string DomainEventToString(dbv_event_s* event, dbv_domain_s* domain,
                                              bool withTimeId);

// The container's text; empty when either is null or the store cannot count its events.
COMMON_EXPORT std::string DomainEventsToString(dbv_domainevents_s* container, dbv_domain_s* domain);

}  // namespace dbv
