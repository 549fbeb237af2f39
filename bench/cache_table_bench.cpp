// Renumbering the ids of 1,000,000 cached rows through the cache table registry
// (UpdateQuickrowCachesCB over one registered table of 16-byte rows: every row is fetched,
// renumbered, taken out and put back), with and without a unique index on the id, against
// rebuilding a std::unordered_map of the same rows keyed by the new id. Both map each id to
// id + 1. Run in a Release build, e.g.
//   cache_table_bench --benchmark_repetitions=5
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <unordered_map>

#include "dbv/cache_tables.h"

namespace {

constexpr int32_t kRows = 1000000;

struct Row {
    int32_t id;
    int32_t kind;
    int64_t payload;
};

void BM_RenumberCacheTable(benchmark::State& state) {
    const bool indexed = state.range(0) != 0;
    dbf_table_g* table = dbf_createtable(sizeof(Row), "bench");
    if (table == nullptr || (indexed && dbf_createindex(table, 0, 4) != 0)) std::abort();
    for (int32_t id = 1; id <= kRows; ++id) {
        const Row row{id, id % 7, int64_t{id} * 3};
        if (dbf_insert(table, &row) != 0) std::abort();
    }
    if (!dbv::RegisterCacheTable(table, 0, sizeof(Row), "bench")) std::abort();
    int context = 0;
    const dbv::UpdateQuickrowCacheFunc_t next = [](void*, int32_t id, int32_t* newId, const char*) {
        *newId = id + 1;
        return true;
    };
    for (auto _ : state) {
        if (!dbv::UpdateQuickrowCachesCB(0, next, &context)) std::abort();
    }
    if (dbf_getrowcount(table) != kRows) std::abort();
    state.SetItemsProcessed(state.iterations() * kRows);
    dbv::UnregisterCacheTable(table, 0, sizeof(Row));
    dbf_deletetable(table);
}
BENCHMARK(BM_RenumberCacheTable)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_RebuildUnorderedMap(benchmark::State& state) {
    std::unordered_map<int32_t, Row> map;
    map.reserve(kRows);
    for (int32_t id = 1; id <= kRows; ++id) map.emplace(id, Row{id, id % 7, int64_t{id} * 3});
    for (auto _ : state) {
        std::unordered_map<int32_t, Row> renumbered;
        renumbered.reserve(map.size());
        for (const auto& [id, row] : map) {
            Row copy = row;
            copy.id = id + 1;
            renumbered.emplace(copy.id, copy);
        }
        map.swap(renumbered);
    }
    if (map.size() != kRows) std::abort();
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_RebuildUnorderedMap)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
