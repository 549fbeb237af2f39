// Old-id translation of the id range mapper class: IdRangeMapper_c::GetNewId (the store's
// mapper lookup, then the guid back to the domain's time id) over 10,000 mapped runs,
// against a std::map keyed by each run's last old id and searched with lower_bound, holding
// the same runs and giving the same new ids. Both look up the same precomputed random old
// ids. Target: GetNewId within 1.5x of the map. Run in a Release build, e.g.
//   dbv_bench --benchmark_repetitions=7 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <vector>

#include "dbv/id_range_mapper.h"
#include "outside/store_domain.h"

namespace {

constexpr int32_t kRuns = 10000;
constexpr int32_t kRunLength = 16;  // old ids per run
constexpr int32_t kRunStride = 40;  // old ids from one run's start to the next: gaps between
constexpr size_t kLookups = 1 << 14;

struct Run {
    int32_t oldFirst;
    int32_t newFirst;
};

// One domain with a mapper of kRuns runs, the same runs in a std::map, and the old ids
// to look up (all mapped, in random order).
struct Fixture {
    dbv_domain_s* domain = nullptr;
    dbv::IdRangeMapper_c* mapper = nullptr;
    std::map<int32_t, Run> byLastOldId;
    std::vector<int32_t> oldIds;

    Fixture() {
        if (dbv_createdomain(&domain) != 0) std::abort();
        mapper = new dbv::IdRangeMapper_c(domain);
        for (int32_t i = 0; i < kRuns; ++i) {
            const int32_t first = 1 + i * kRunStride;
            if (!mapper->AddRange(first, first + kRunLength)) std::abort();
            byLastOldId[first + kRunLength - 1] = Run{first, mapper->GetNewId(first)};
        }
        std::mt19937 random(2026);
        std::uniform_int_distribution<int32_t> run(0, kRuns - 1), offset(0, kRunLength - 1);
        oldIds.resize(kLookups);
        for (int32_t& id : oldIds) id = 1 + run(random) * kRunStride + offset(random);
    }
};

Fixture& Shared() {
    static Fixture* fixture = new Fixture();  // lives for the whole program
    return *fixture;
}

void BM_IdRangeMapperGetNewId(benchmark::State& state) {
    Fixture& f = Shared();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.mapper->GetNewId(f.oldIds[i]));
        i = (i + 1) & (kLookups - 1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IdRangeMapperGetNewId);

int32_t MapNewId(const std::map<int32_t, Run>& runs, int32_t oldId) {
    const auto it = runs.lower_bound(oldId);
    if (it == runs.end() || oldId < it->second.oldFirst) return oldId;
    return it->second.newFirst + (oldId - it->second.oldFirst);
}

void BM_StdMapLowerBound(benchmark::State& state) {
    Fixture& f = Shared();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(MapNewId(f.byLastOldId, f.oldIds[i]));
        i = (i + 1) & (kLookups - 1);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StdMapLowerBound);

// The two give the same answers; a benchmark of a wrong translation would be meaningless.
void BM_CheckSameAnswers(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        for (const int32_t id : f.oldIds) {
            if (f.mapper->GetNewId(id) != MapNewId(f.byLastOldId, id)) {
                state.SkipWithError("GetNewId and the map disagree");
                return;
            }
        }
    }
}
BENCHMARK(BM_CheckSameAnswers)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
