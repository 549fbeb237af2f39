// The rows the table benchmarks work on: the server's lock table, and its rows in insertion
// order and shuffled. The keyed passes read `shuffled` front to back, as a server reads
// requests from its buffers, so the time measured is the engines' own and not the fetching
// of random probe rows.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "outside/table_store.h"
#include "server/server_rows.h"
#include "server/server_tables.h"

namespace bench_tables {

// The server's own lock row and table definition, so that the benchmarks measure exactly
// the layout the server keeps.
using LockRow = ::lock_row;
inline const dbd_tabledef_t& kLockTable = srv_lock_def;

struct Workload {
    std::vector<LockRow> rows;
    std::vector<LockRow> shuffled;
    explicit Workload(int count) : rows(static_cast<size_t>(count)) {
        std::vector<int> order(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            LockRow& r = rows[static_cast<size_t>(i)];
            std::memset(&r, 0, sizeof r);
            std::snprintf(r.model_name, sizeof r.model_name, "Project/Model_%03d.qmd", i % 250);
            std::snprintf(r.client_name, sizeof r.client_name, "workstation-%02d", i % 40);
            r.object_id = i;
            r.locked = 1;
            order[static_cast<size_t>(i)] = i;
        }
        std::shuffle(order.begin(), order.end(), std::mt19937(7));
        for (int i : order) shuffled.push_back(rows[static_cast<size_t>(i)]);
    }
};

}  // namespace bench_tables
