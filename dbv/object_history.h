// "Did this change come after that one?": the application's questions about time ids and
// about objects. With run-time ids enabled (ModelSharingInterface_c) the answer is the
// causality order of the current database's domain, otherwise plain numeric order.
// An object's id is the time id of its creation; its modification and numbering time ids
// come from the application through an object history callback.
#pragma once

#include <cstdint>
#include <functional>

#include "dbv/common_export.h"

// Reads an object's history: called with the object id and three out-pointers (creation,
// last modification, last numbering time id), any of which may be null when that value is
// not wanted. Returns false when it does not know the object.
// An empty callback is a caller error: it is reported ("!\"Object history callback is
// empty\"", dbv_time_stamp) and the question gets its failure answer (false or 0).
using ObjectHistoryCallback = std::function<bool(int32_t objectId, int32_t* creation,
                                                 int32_t* modification, int32_t* numbering)>;

// -1 when a < b, 1 when a > b, 0 when equal: plain numbers, whatever the flags say.
COMMON_EXPORT int dbCompareTimeIds(int32_t a, int32_t b);

// Whether id1 changed after id2. Run-time ids disabled: id1 > id2. Enabled: false without a
// current database domain and for equal ids; otherwise true when id1 is causally after id2
// in that domain. When the domain cannot compare them, the failure is logged and reported
// ("!\"Error in comparing causality\"", dbv_time_stamp) and the answer is true: a change
// that cannot be placed counts as newer.
COMMON_EXPORT bool HasId1ChangedAfterId2(int32_t id1, int32_t id2);

// True when a == b, else HasId1ChangedAfterId2(a, b).
COMMON_EXPORT bool dbIsEventAfterEvent(int32_t a, int32_t b);

// HasId1ChangedAfterId2(a, b).
COMMON_EXPORT bool dbIsSavedAfterEvent(int32_t a, int32_t b);

// HasId1ChangedAfterId2(b, a): the numbering `a` came after the modification `b`.
COMMON_EXPORT bool dbIsNumberedAfterModification(int32_t a, int32_t b);

// The object's creation time id, which is its id.
COMMON_EXPORT int dbGetObjectCreationTime(int32_t objectId);

// The object's last modification time id; for a never-modified object its creation time id
// when `creationWhenNeverModified`, else 0. 0 when the callback does not know the object.
COMMON_EXPORT int dbGetObjectModificationEvent(int32_t objectId, bool creationWhenNeverModified,
                                               const ObjectHistoryCallback& callback);

// Pairwise questions: false when the callback does not know object 1; when it does not know
// object 2, object 1 is compared against 0.
// Object 1's creation against object 2's creation.
COMMON_EXPORT bool dbObject1IsCreatedAfterObject2(int32_t id1, int32_t id2,
                                                  const ObjectHistoryCallback& callback);
// Object 1's modification against object 2's modification.
COMMON_EXPORT bool dbObject1IsModifiedAfterObject2(int32_t id1, int32_t id2,
                                                   const ObjectHistoryCallback& callback);
// Object 1's modification against object 2's creation.
COMMON_EXPORT bool dbObject1IsModifiedAfterObject2Creation(int32_t id1, int32_t id2,
                                                           const ObjectHistoryCallback& callback);

// The object's modification against the event's time id; false for an unknown object.
COMMON_EXPORT bool dbObjectIsModifiedAfterEvent(int32_t objectId, int32_t eventTimeId,
                                                const ObjectHistoryCallback& callback);

// Whether the object was modified after it was last numbered: true when the two time ids
// are equal, else HasId1ChangedAfterId2(modification, numbering). False for an unknown
// object.
COMMON_EXPORT bool dbObjectIsModifiedAfterNumbering(int32_t objectId,
                                                    const ObjectHistoryCallback& callback);

// Whether the object's numbering is up to date: false when the two time ids are equal, else
// !HasId1ChangedAfterId2(modification, numbering). False for an unknown object.
COMMON_EXPORT bool dbObjectIsNumberingUpToDate(int32_t objectId,
                                               const ObjectHistoryCallback& callback);
