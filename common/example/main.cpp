// Example application of libCommon.so: creates a virtual database with a domain through the
// registry, adds events, maps a range of old ids into the domain, prints event texts and
// time-id answers, and checks every result. Exits with 0 only when all checks pass; the
// last line says so ("example: all checks passed").
#include <cstdint>
#include <cstdio>
#include <map>
#include <regex>
#include <string>

#include "dbv/domain_and_events.h"
#include "dbv/domain_registry.h"
#include "dbv/event_texts.h"
#include "dbv/id_range_mapper.h"
#include "dbv/model_sharing.h"
#include "dbv/object_history.h"
#include "dbv/time_ids.h"
#include "searchtree/srch_tree.h"
#include "services/cpu_timer.h"
#include "services/system_identification.h"
#include "services/version.h"

namespace {

int s_failures = 0;

void Check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok) ++s_failures;
}

const char* const kModel = "ExampleModel";
using Levels = dbv::DomainAndEvents_c;

}  // namespace

int main() {
    Check(dbv::CreateVirtualDatabase(kModel), "virtual database created and current");
    Check(dbv::GetVirtualDatabase() == kModel, "current database is " + std::string(kModel));
    Check(dbv::CreateDomainAndEmptyDomainEvents(kModel), "domain with empty event containers");
    Check(dbv::CreateDomainEvent(kModel, Levels::EVENT_LEVEL_LOCAL, "Issued@for review"),
          "local event created");
    Check(dbv::CreateDomainEvent(kModel, Levels::EVENT_LEVEL_COMPANY, "Approved"),
          "company event created");
    Check(!dbv::CreateDomainEvent(kModel, Levels::EVENT_LEVEL_COMPANY, "Approved"),
          "an event name is refused twice at one level");

    dbv::DomainAndEvents_c container;
    dbv_domain_s* domain = nullptr;
    dbv_domainevents_s* local = nullptr;
    Check(dbv::GetCurrentDomainAndEvents(container) && container.GetDomain(&domain) &&
              domain != nullptr,
          "current domain found");
    Check(container.GetDomainEvents(Levels::EVENT_LEVEL_LOCAL, &local) && local != nullptr,
          "local event container found");

    const std::string localText = dbv::DomainEventsToString(local, domain);
    std::printf("local events: %s\n", localText.c_str());
    Check(std::regex_match(localText, std::regex("1 events:\nIssued@for review/[0-9]+/"
                                                 "[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-"
                                                 "[0-9a-f]{4}-[0-9a-f]{12}")),
          "local event text");

    const int32_t issued = dbv::GetDomainEventTimeId(kModel, Levels::EVENT_LEVEL_LOCAL, "Issued");
    const int32_t approved =
        dbv::GetDomainEventTimeId(kModel, Levels::EVENT_LEVEL_COMPANY, "Approved");
    std::printf("time ids: issued %d, approved %d\n", issued, approved);
    Check(issued > 0 && approved > issued, "events have increasing time ids");

    // Old ids 100 ... 149 of another numbering become a run of 50 new time ids.
    dbv::IdRangeMapper_c mapper(domain);
    Check(mapper.AddRange(100, 150), "range 100 ... 149 mapped");
    const int32_t first = mapper.GetNewId(100);
    std::printf("old id 100 -> %d, old id 149 -> %d\n", first, mapper.GetNewId(149));
    Check(first > approved && mapper.GetNewId(149) == first + 49, "mapped ids are one run");
    Check(mapper.TryGetNewId(99) == 0 && mapper.GetOldMaxId() == 150, "unmapped id and max id");

    const std::string guid = dbv::TimeIdToString(static_cast<uint32_t>(approved), kModel);
    std::printf("guid of %d: %s\n", approved, guid.c_str());
    Check(dbv::TimeIdFromString(guid.c_str(), kModel) == static_cast<uint32_t>(approved),
          "guid text round trip");
    Check(dbv::CompareTimeIds(domain, dbv::Id_c{issued}, dbv::Id_c{approved}) ==
              dbv::ID_ORDER_FIRST_BEFORE,
          "issued lies before approved");

    dbv::ModelSharingInterface_c::SetRuntimeIdsEnabled(true);
    const bool after = HasId1ChangedAfterId2(approved, issued);
    const bool before = HasId1ChangedAfterId2(issued, approved);
    std::printf("run-time ids: approved after issued %d, issued after approved %d\n", after,
                before);
    Check(after && !before, "causality of the two events");

    // The application's object history: object `first` (created when the range was mapped)
    // numbered at the approval and modified at a fresh time id since.
    const int32_t edit = dbv::NewId(domain);
    const std::map<int32_t, int32_t> modified = {{first, edit}};
    const ObjectHistoryCallback history = [&modified, approved](int32_t id, int32_t* creation,
                                                                int32_t* modification,
                                                                int32_t* numbering) {
        const auto it = modified.find(id);
        if (it == modified.end()) return false;
        if (creation) *creation = id;
        if (modification) *modification = it->second;
        if (numbering) *numbering = approved;
        return true;
    };
    Check(edit > first + 49 && dbGetObjectModificationEvent(first, false, history) == edit,
          "object's modification event");
    Check(dbObjectIsModifiedAfterEvent(first, approved, history), "modified after approval");
    Check(!dbObjectIsNumberingUpToDate(first, history), "numbering out of date");
    Check(!dbObjectIsModifiedAfterEvent(first + 1, approved, history), "unknown object");
    dbv::ModelSharingInterface_c::SetRuntimeIdsEnabled(false);

    Check(dbv::DeleteDomainAndDomainEvents(kModel), "domain deleted");
    Check(dbv::DropVirtualDatabase(kModel), "virtual database dropped");

    // The other families of the library: version texts, timers, file hashing and the
    // numbered search trees.
    Check(unx_get_version_text() == unx_get_version_text() && *unx_get_version_text() != '\0',
          "version text");
    tools::clk_timer_tag* timer = tools::clk_new_timer("example");
    tools::clk_start_timer(timer);
    tools::clk_stop_timer(timer);
    Check(timer != nullptr, "timer started and stopped");
    std::string digest;
    Check(!tools::HashFile("/nonexistent/example", &digest) && digest.empty(),
          "hashing a missing file fails");
    srchCreateSearchTree(1);
    const double low[3] = {0, 0, 0}, high[3] = {10, 10, 10};
    const double qlow[3] = {5, 5, 5}, qhigh[3] = {6, 6, 6};
    Check(insert_new_leaf(42, 1, low, high) == 1 && srchStartSearch(1, qlow, qhigh) == 1 &&
              nextleaf() == 42 && nextleaf() == 0,
          "search tree finds the leaf");
    srchDeleteSearchTree(1);

    if (s_failures == 0) {
        std::printf("example: all checks passed\n");
        return 0;
    }
    std::printf("example: %d checks failed\n", s_failures);
    return 1;
}
