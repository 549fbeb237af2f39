// Container benchmarks. Allocator: a steady churn over a working set of live elements, each
// step freeing random elements (a precomputed order) and allocating their replacements (and
// touching them), against glibc malloc/free doing exactly the same. Hash: lookups of every
// stored key in random order, tool_hash_find against std::unordered_map holding the same
// keys in the same number of buckets. Run in a Release build, e.g.
//   containers_bench --benchmark_repetitions=7 --benchmark_enable_random_interleaving=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "tools/allocator.h"
#include "tools/tool_dstring.h"
#include "tools/tool_hash.h"

namespace {

// A random order of the working set's positions, computed before timing so that neither
// the random numbers nor their generator are measured; consecutive runs of it are
// distinct, so a batch taken from it never frees one element twice.
std::vector<uint32_t> Victims(size_t working_set) {
    std::vector<uint32_t> victims(working_set);
    for (uint32_t i = 0; i < working_set; ++i) victims[i] = i;
    std::shuffle(victims.begin(), victims.end(), std::mt19937(12345));
    return victims;
}

void Touch(void* element, size_t size) {
    std::memset(element, 0x5a, std::min<size_t>(size, 16));
    benchmark::DoNotOptimize(element);
}

// A steady churn: the working set keeps its size while one step frees `batch` random live
// elements, then allocates their replacements (and touches them). Arguments: element size,
// batch, working set. With 1024 elements the working set stays in the nearer caches, so the
// figure is mostly the allocator's own cost; with 16384 it is not (the 256-byte set is 4 MB),
// and a cache miss on each random victim, paid alike by both sides, weighs in.
template <typename Allocate, typename Free>
void Churn(benchmark::State& state, Allocate allocate, Free release) {
    const auto size = static_cast<size_t>(state.range(0));
    const auto batch = static_cast<size_t>(state.range(1));
    const auto working_set = static_cast<size_t>(state.range(2));
    const std::vector<uint32_t> victims = Victims(working_set);
    std::vector<void*> live(working_set);
    for (auto& e : live) Touch(e = allocate(), size);
    size_t next = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < batch; ++i) release(live[victims[next + i]]);
        for (size_t i = 0; i < batch; ++i) Touch(live[victims[next + i]] = allocate(), size);
        next += batch;
        if (next == working_set) next = 0;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * batch));
    for (void* e : live) release(e);
}

void BM_AllocatorChurn(benchmark::State& state) {
    tool_allocator_s* allocator =
        tool_allocator_create(static_cast<size_t>(state.range(0)), 64, 0, "bench", __LINE__);
    Churn(
        state, [allocator] { return tool_allocator_alloc(allocator); }, tool_allocator_free);
    tool_allocator_destroy(allocator);
}

void BM_MallocChurn(benchmark::State& state) {
    const auto size = static_cast<size_t>(state.range(0));
    Churn(
        state, [size] { return std::malloc(size); }, std::free);
}

// The loop alone, for reading the two figures above: the same victims, touches and stores,
// with an "allocator" that hands the freed element straight back.
void BM_ChurnLoopOnly(benchmark::State& state) {
    const auto size = static_cast<size_t>(state.range(0));
    void* last = nullptr;
    std::vector<void*> owned;
    Churn(
        state,
        [&] {
            if (last) return std::exchange(last, nullptr);
            owned.push_back(std::malloc(size));
            return owned.back();
        },
        [&](void* e) {
            last = e;
            benchmark::DoNotOptimize(last);
        });
    for (void* e : owned) std::free(e);
}

double Min(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

// Sizes 16, 64, 256 bytes; one element replaced per step, or 32 at a time; working sets of
// 1024 and 16384 elements.
BENCHMARK(BM_AllocatorChurn)
    ->ArgsProduct({{16, 64, 256}, {1, 32}, {1024, 16384}})
    ->ComputeStatistics("min", Min);
BENCHMARK(BM_MallocChurn)
    ->ArgsProduct({{16, 64, 256}, {1, 32}, {1024, 16384}})
    ->ComputeStatistics("min", Min);
BENCHMARK(BM_ChurnLoopOnly)
    ->ArgsProduct({{16, 256}, {1}, {1024, 16384}})
    ->ComputeStatistics("min", Min);

// --- hash lookups -------------------------------------------------------------------------

constexpr size_t s_int_keys = 1000000;
constexpr size_t s_text_keys = 100000;

std::vector<uint32_t> IntKeys() {
    std::mt19937 random(777);
    std::unordered_set<uint32_t> seen;
    std::vector<uint32_t> keys;
    while (keys.size() < s_int_keys) {
        const uint32_t k = static_cast<uint32_t>(random());
        if (k && seen.insert(k).second) keys.push_back(k);
    }
    return keys;
}

std::vector<uint32_t> Shuffled(const std::vector<uint32_t>& keys) {
    std::vector<uint32_t> order = keys;
    std::shuffle(order.begin(), order.end(), std::mt19937(99));
    return order;
}

size_t IntBuckets() {
    std::unordered_map<uint32_t, void*> probe;
    probe.reserve(s_int_keys);
    return probe.bucket_count();
}

void BM_HashFindInt(benchmark::State& state) {
    const std::vector<uint32_t> keys = IntKeys();
    const std::vector<uint32_t> order = Shuffled(keys);
    tool_hash_s* table = tool_hash_create(IntBuckets(), nullptr, nullptr);
    for (uint32_t k : keys) tool_hash_insert(table, reinterpret_cast<void*>(uintptr_t{k}), &table);
    size_t i = 0;
    for (auto _ : state) {
        void* found = tool_hash_find(table, reinterpret_cast<void*>(uintptr_t{order[i]}));
        benchmark::DoNotOptimize(found);
        if (++i == order.size()) i = 0;
    }
    state.counters["buckets"] = static_cast<double>(table->bucket_count);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    tool_hash_destroy(&table, nullptr, nullptr, nullptr);
}

void BM_UnorderedMapFindInt(benchmark::State& state) {
    const std::vector<uint32_t> keys = IntKeys();
    const std::vector<uint32_t> order = Shuffled(keys);
    std::unordered_map<uintptr_t, void*> map;
    map.reserve(s_int_keys);
    for (uint32_t k : keys) map.emplace(k, &map);
    size_t i = 0;
    for (auto _ : state) {
        auto found = map.find(order[i]);
        benchmark::DoNotOptimize(found);
        if (++i == order.size()) i = 0;
    }
    state.counters["buckets"] = static_cast<double>(map.bucket_count());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

std::vector<std::string> TextKeys() {
    std::mt19937 random(4242);
    std::vector<std::string> keys;
    keys.reserve(s_text_keys);
    for (size_t i = 0; i < s_text_keys; ++i) {
        // Path-like names of mixed length, as the file-existence cache stores them.
        keys.push_back("models/project" + std::to_string(random() % 1000) + "/drawing_" +
                       std::to_string(i) + ".dwg");
    }
    return keys;
}

std::vector<std::string> ShuffledText(const std::vector<std::string>& keys) {
    std::vector<std::string> order = keys;  // separate copies: lookups never hit by address
    std::shuffle(order.begin(), order.end(), std::mt19937(98));
    return order;
}

size_t TextBuckets() {
    std::unordered_map<std::string, void*> probe;
    probe.reserve(s_text_keys);
    return probe.bucket_count();
}

void BM_HashFindText(benchmark::State& state) {
    const std::vector<std::string> keys = TextKeys();
    const std::vector<std::string> order = ShuffledText(keys);
    tool_hash_s* table = tool_hash_create(TextBuckets(), tool_hash_string, tool_hash_stringcmp);
    for (const std::string& k : keys) tool_hash_insert(table, tool_strdup(k.c_str()), &table);
    size_t i = 0;
    for (auto _ : state) {
        void* found = tool_hash_find(table, order[i].c_str());
        benchmark::DoNotOptimize(found);
        if (++i == order.size()) i = 0;
    }
    state.counters["buckets"] = static_cast<double>(table->bucket_count);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    tool_hash_destroy(&table, tool_hash_stringfree, nullptr, nullptr);
}

void BM_UnorderedMapFindText(benchmark::State& state) {
    const std::vector<std::string> keys = TextKeys();
    const std::vector<std::string> order = ShuffledText(keys);
    std::unordered_map<std::string, void*> map;
    map.reserve(s_text_keys);
    for (const std::string& k : keys) map.emplace(k, &map);
    size_t i = 0;
    for (auto _ : state) {
        auto found = map.find(order[i]);
        benchmark::DoNotOptimize(found);
        if (++i == order.size()) i = 0;
    }
    state.counters["buckets"] = static_cast<double>(map.bucket_count());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

// Not a competitor: the map's lookup plus computing the text hash that tool_hash_find must
// compute (its arithmetic is fixed), to show how much of the gap that hash accounts for.
void BM_UnorderedMapFindTextPlusToolHash(benchmark::State& state) {
    const std::vector<std::string> keys = TextKeys();
    const std::vector<std::string> order = ShuffledText(keys);
    std::unordered_map<std::string, void*> map;
    map.reserve(s_text_keys);
    for (const std::string& k : keys) map.emplace(k, &map);
    size_t i = 0;
    for (auto _ : state) {
        const uint64_t bucket = tool_hash_string(map.bucket_count(), order[i].c_str());
        benchmark::DoNotOptimize(bucket);
        auto found = map.find(order[i]);
        benchmark::DoNotOptimize(found);
        if (++i == order.size()) i = 0;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

BENCHMARK(BM_HashFindInt)->ComputeStatistics("min", Min);
BENCHMARK(BM_UnorderedMapFindInt)->ComputeStatistics("min", Min);
BENCHMARK(BM_HashFindText)->ComputeStatistics("min", Min);
BENCHMARK(BM_UnorderedMapFindText)->ComputeStatistics("min", Min);
BENCHMARK(BM_UnorderedMapFindTextPlusToolHash)->ComputeStatistics("min", Min);

}  // namespace

BENCHMARK_MAIN();
