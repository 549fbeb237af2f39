// The table store's time-id mappings: which old time id (from the file a domain was read
// from) each new time id of the domain stands for. The table dump shows both in its
// identifier labels. Result convention as in table_store.h: 0 success, non-zero failure,
// out-parameters written only on success. Not thread-safe.
#pragma once

#include <cstdint>

struct dbv_timeidmapping_s;

// A new, empty mapping.
int dbv_createtimeidmapping(dbv_timeidmapping_s** mapping);

// Records that `new_id` stands for `old_id`. Non-zero when either id is below 1 or
// `new_id` is recorded already (the first record stays).
int dbv_timeidmapping_add(dbv_timeidmapping_s* mapping, int32_t new_id, int32_t old_id);

// The old time id of `new_id`. Non-zero when it is not recorded.
int dbv_timeidmappingnewtoold(dbv_timeidmapping_s* mapping, int32_t new_id, int32_t* old_id);

// Releases the mapping. Non-zero, and nothing done, for a null or unknown handle: a handle
// is checked against the live mappings before it is used, here and above.
int dbv_deletetimeidmapping(dbv_timeidmapping_s* mapping);
