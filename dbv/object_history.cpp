// Causality of time ids and the object-history questions. The answers lean on one rule: a
// change whose order cannot be established counts as newer, so callers re-check rather than
// trust stale data.
#include "dbv/object_history.h"

#include "dbv/domain_and_events.h"
#include "dbv/domain_registry.h"
#include "dbv/model_sharing.h"
#include "dbv/time_ids.h"
#include "outside/assert_log.h"
#include "outside/log_printf.h"

namespace {

// The object's history values as a question needs them; all start as 0, and a value not
// asked for stays 0.
struct History {
    bool known = false;
    int32_t creation = 0;
    int32_t modification = 0;
    int32_t numbering = 0;
};

enum Wanted : unsigned { kCreation = 1, kModification = 2, kNumbering = 4 };

bool CallbackUsable(const ObjectHistoryCallback& callback) {
    return mainCheckAssertion(static_cast<bool>(callback), "!\"Object history callback is empty\"",
                              "dbv_time_stamp", __LINE__);
}

History AskHistory(const ObjectHistoryCallback& callback, int32_t objectId, unsigned wanted) {
    History h;
    h.known = callback(objectId, (wanted & kCreation) ? &h.creation : nullptr,
                       (wanted & kModification) ? &h.modification : nullptr,
                       (wanted & kNumbering) ? &h.numbering : nullptr);
    return h;
}

int32_t Pick(const History& h, Wanted which) {
    return which == kCreation ? h.creation : which == kModification ? h.modification : h.numbering;
}

// Object 1's `first` value against object 2's `second` value; only object 1 has to be known.
bool Object1ChangedAfterObject2(int32_t id1, Wanted first, int32_t id2, Wanted second,
                                const ObjectHistoryCallback& callback) {
    if (!CallbackUsable(callback)) return false;
    const History h1 = AskHistory(callback, id1, first);
    const History h2 = AskHistory(callback, id2, second);
    if (!h1.known) return false;
    return HasId1ChangedAfterId2(Pick(h1, first), Pick(h2, second));
}

}  // namespace

int dbCompareTimeIds(int32_t a, int32_t b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

bool HasId1ChangedAfterId2(int32_t id1, int32_t id2) {
    if (!dbv::ModelSharingInterface_c::IsRuntimeIdsEnabled()) return id1 > id2;
    dbv::DomainAndEvents_c container;
    dbv_domain_s* domain = nullptr;
    if (!dbv::GetCurrentDomainAndEvents(container) || !container.GetDomain(&domain) ||
        domain == nullptr)
        return false;
    if (id1 == id2) return false;
    int32_t notAfter = 0;
    if (dbv::CompareCausality(domain, static_cast<uint32_t>(id1), static_cast<uint32_t>(id2),
                              &notAfter) != 0) {
        logPrintf(1, "Error in comparing causality %d %d\n", id1, id2);
        QM_ASSERT(!"Error in comparing causality", "dbv_time_stamp");
        return true;
    }
    return notAfter == 0;
}

bool dbIsEventAfterEvent(int32_t a, int32_t b) {
    return a == b || HasId1ChangedAfterId2(a, b);
}

bool dbIsSavedAfterEvent(int32_t a, int32_t b) {
    return HasId1ChangedAfterId2(a, b);
}

bool dbIsNumberedAfterModification(int32_t a, int32_t b) {
    return HasId1ChangedAfterId2(b, a);
}

int dbGetObjectCreationTime(int32_t objectId) {
    return objectId;
}

int dbGetObjectModificationEvent(int32_t objectId, bool creationWhenNeverModified,
                                 const ObjectHistoryCallback& callback) {
    if (!CallbackUsable(callback)) return 0;
    const History h = AskHistory(callback, objectId, kCreation | kModification);
    if (!h.known) return 0;
    if (h.modification > 0) return h.modification;
    return creationWhenNeverModified ? h.creation : 0;
}

bool dbObject1IsCreatedAfterObject2(int32_t id1, int32_t id2,
                                    const ObjectHistoryCallback& callback) {
    return Object1ChangedAfterObject2(id1, kCreation, id2, kCreation, callback);
}

bool dbObject1IsModifiedAfterObject2(int32_t id1, int32_t id2,
                                     const ObjectHistoryCallback& callback) {
    return Object1ChangedAfterObject2(id1, kModification, id2, kModification, callback);
}

bool dbObject1IsModifiedAfterObject2Creation(int32_t id1, int32_t id2,
                                             const ObjectHistoryCallback& callback) {
    return Object1ChangedAfterObject2(id1, kModification, id2, kCreation, callback);
}

bool dbObjectIsModifiedAfterEvent(int32_t objectId, int32_t eventTimeId,
                                  const ObjectHistoryCallback& callback) {
    if (!CallbackUsable(callback)) return false;
    const History h = AskHistory(callback, objectId, kModification);
    return h.known && HasId1ChangedAfterId2(h.modification, eventTimeId);
}

bool dbObjectIsModifiedAfterNumbering(int32_t objectId, const ObjectHistoryCallback& callback) {
    if (!CallbackUsable(callback)) return false;
    const History h = AskHistory(callback, objectId, kModification | kNumbering);
    if (!h.known) return false;
    // Equal ids: the numbering cannot be shown to have seen the modification.
    return h.modification == h.numbering || HasId1ChangedAfterId2(h.modification, h.numbering);
}

bool dbObjectIsNumberingUpToDate(int32_t objectId, const ObjectHistoryCallback& callback) {
    if (!CallbackUsable(callback)) return false;
    const History h = AskHistory(callback, objectId, kModification | kNumbering);
    if (!h.known || h.modification == h.numbering) return false;
    return !HasId1ChangedAfterId2(h.modification, h.numbering);
}
