// The per-model identifier counters (table common_model): blocks of object ids (maxid,
// 100 per call), ga ids and multi-drawing ids. Every allocation is saved to the database
// file before its reply leaves (request_database_save: once for a whole batch of requests)
// and logged on stdout. `body` is the request's counters row as the client
// sent it (name, db_number and its own current counters); on return its counter holds
// the allocated value, which is also the request's result.
#pragma once

#include <cstdint>

#include "server/server_rows.h"

// New model: body.maxid + 1 (row inserted, "New model %s/%d\n"). Known model with stored
// S and client K: S + 100 when S + 100 >= K, else K + 1 with
// "Error: Model id conflict, used client id\n". Saved, then "%s/%d id: %d\n"; a failed
// save prints "Write failed: %s\n" (after the same line from the save itself). The log
// lines of the save are filled in by commit_pending_save (server_database.h).
int32_t allocate_maxid(common_model_row& body);

// As above with ga_id: S + 1 when S >= K, else K + 1; logged as "%s/%d GA id: %d\n".
int32_t allocate_ga_id(common_model_row& body);

// As above with multi_drawing_id; logged as "%s/%d Multi drawing id: %d\n".
int32_t allocate_multi_drawing_id(common_model_row& body);
