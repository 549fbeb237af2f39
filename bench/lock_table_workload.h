// The rows the table benchmarks work on: a table laid out like the server's lock table, and
// its rows in insertion order and shuffled. The keyed passes read `shuffled` front to back,
// as a server reads requests from its buffers, so the time measured is the engines' own and
// not the fetching of random probe rows.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "outside/table_store.h"

namespace bench_tables {

struct LockRow {
    char model_name[82];
    char client_name[82];
    int32_t object_id;
    int32_t locked;
};
static_assert(sizeof(LockRow) == 172);

inline const dbd_columndef_t kLockColumns[] = {{"model_name", DBD_TEXT, 82},
                                               {"client_name", DBD_TEXT, 82},
                                               {"object_id", DBD_INT32, 0},
                                               {"locked", DBD_INT32, 0}};
inline const dbd_indexdef_t kLockIndexes[] = {
    {"lock_model_name", {"model_name", "object_id"}, 1, 1}};
inline const dbd_tabledef_t kLockTable = {"lock", kLockColumns,     4, kLockIndexes,
                                          1,      "lock_model_name"};

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
