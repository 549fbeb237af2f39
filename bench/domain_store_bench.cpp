// Benchmarks of the store's domain half: handing out time ids, the time id -> guid -> time
// id round trip, and translating old ids through an id range mapper of 10,000 runs
// (dbv_idrangemapper_idtoguid + dbv_guidtotimeid, the path of an id range mapper's
// GetNewId) against std::map::lower_bound over the same runs. Run in a Release build, e.g.
//   domain_store_bench --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "outside/store_domain.h"

namespace {

constexpr int32_t kRuns = 10000;
constexpr size_t kLookups = 1 << 16;  // a precomputed random order of old ids

struct Target {
    int32_t first;
    int32_t new_first;
};

// The same runs for both sides: run i covers old ids first ... first + count - 1 with gaps
// between runs, so that some lookups miss; new ids come from one domain.
struct Scene {
    dbv_domain_s* domain = nullptr;
    dbv_idrangemapper_s* mapper = nullptr;
    std::map<int32_t, Target> by_last_old_id;
    std::vector<int32_t> lookups;

    Scene() {
        dbv_createdomain(&domain);
        dbv_createidrangemapper(&mapper);
        std::mt19937 random(42);
        int32_t old_first = 1;
        for (int32_t i = 0; i < kRuns; ++i) {
            const auto count = static_cast<int32_t>(1 + random() % 64);
            int32_t new_first = 0;
            dbv_newidrange(domain, count, &new_first);
            dbv_idrangemapper_map(mapper, domain, old_first, new_first, count);
            by_last_old_id.emplace(old_first + count - 1, Target{old_first, new_first});
            old_first += count + static_cast<int32_t>(random() % 4);
        }
        std::uniform_int_distribution<int32_t> pick(1, old_first);
        for (size_t i = 0; i < kLookups; ++i) lookups.push_back(pick(random));
    }
};

Scene& scene() {
    static Scene& instance = *new Scene;
    return instance;
}

void BM_NewId(benchmark::State& state) {
    dbv_domain_s* domain = nullptr;
    dbv_createdomain(&domain);
    for (auto _ : state) {
        int32_t id = 0;
        if (dbv_newid(domain, &id) != 0) {  // a full domain: start a new one, not timed
            state.PauseTiming();
            dbv_deletedomain(domain);
            dbv_createdomain(&domain);
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(id);
    }
    dbv_deletedomain(domain);
}
BENCHMARK(BM_NewId);

void BM_TimeIdToGuidToTimeId(benchmark::State& state) {
    dbv_domain_s* domain = nullptr;
    dbv_createdomain(&domain);
    int32_t first = 0;
    dbv_newidrange(domain, 1 << 20, &first);
    uint32_t id = 1;
    for (auto _ : state) {
        dbv_guid_s guid;
        int32_t back = 0;
        dbv_timeidtoguid(domain, id, &guid);
        dbv_guidtotimeid(domain, &guid, &back);
        benchmark::DoNotOptimize(back);
        id = id % (1u << 20) + 1;
    }
    dbv_deletedomain(domain);
}
BENCHMARK(BM_TimeIdToGuidToTimeId);

// The store's path of a mapper lookup: old id -> guid of the new id -> new time id.
void BM_MapperIdToGuidToTimeId(benchmark::State& state) {
    Scene& s = scene();
    size_t next = 0;
    for (auto _ : state) {
        const int32_t old_id = s.lookups[next++ & (kLookups - 1)];
        dbv_guid_s guid;
        int32_t new_id = old_id;
        if (dbv_idrangemapper_idtoguid(s.mapper, old_id, &guid) == 0) {
            dbv_guidtotimeid(s.domain, &guid, &new_id);
        }
        benchmark::DoNotOptimize(new_id);
    }
}
BENCHMARK(BM_MapperIdToGuidToTimeId);

// The same translation with the runs in a std::map keyed by each run's last old id.
void BM_StdMapLowerBound(benchmark::State& state) {
    Scene& s = scene();
    size_t next = 0;
    for (auto _ : state) {
        const int32_t old_id = s.lookups[next++ & (kLookups - 1)];
        int32_t new_id = old_id;
        const auto it = s.by_last_old_id.lower_bound(old_id);
        if (it != s.by_last_old_id.end() && it->second.first <= old_id) {
            new_id = it->second.new_first + (old_id - it->second.first);
        }
        benchmark::DoNotOptimize(new_id);
    }
}
BENCHMARK(BM_StdMapLowerBound);

}  // namespace

BENCHMARK_MAIN();
