// Natural sorting of 100,000 file-like names ("drawing_12/part7_v003.dwg"):
// tool_strlist_natsort, against std::sort with tool_strnatcmp and std::sort with strcmp
// over the same names. Every run sorts a fresh copy in the original random order.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tools/tool_dstring.h"

namespace {

constexpr int kNames = 100000;

const std::vector<std::string>& names() {
    static const std::vector<std::string> s_names = [] {
        std::mt19937 random(12345);
        auto pick = [&random](int n) {
            return static_cast<int>(random() % static_cast<unsigned>(n));
        };
        const char* kinds[] = {"part", "Part", "section", "detail", "plan"};
        const char* extensions[] = {".dwg", ".DWG", ".pdf", ".dxf"};
        std::vector<std::string> out;
        out.reserve(kNames);
        char buffer[128];
        for (int i = 0; i < kNames; ++i) {
            switch (pick(4)) {
                case 0:
                    std::snprintf(buffer, sizeof buffer, "drawing_%d/%s%d_v%03d%s", pick(500),
                                  kinds[pick(5)], pick(40), pick(200), extensions[pick(4)]);
                    break;
                case 1:
                    std::snprintf(buffer, sizeof buffer, "drawing_%d/%s-%d.%d rev%d%s", pick(500),
                                  kinds[pick(5)], pick(12), pick(30), pick(15),
                                  extensions[pick(4)]);
                    break;
                case 2:
                    std::snprintf(buffer, sizeof buffer, "model%d/level %02d/%s_%05d%s", pick(20),
                                  pick(60), kinds[pick(5)], pick(100000), extensions[pick(4)]);
                    break;
                default:
                    std::snprintf(buffer, sizeof buffer, "archive/%d/%s%d%s", 2000 + pick(30),
                                  kinds[pick(5)], pick(1000000), extensions[pick(4)]);
                    break;
            }
            out.emplace_back(buffer);
        }
        return out;
    }();
    return s_names;
}

std::vector<const char*> name_pointers() {
    std::vector<const char*> out;
    for (const std::string& s : names()) out.push_back(s.c_str());
    return out;
}

void BM_StrlistNatsort(benchmark::State& state) {
    tool_strlist_s original{};
    for (const std::string& s : names()) tool_strlist_add(&original, s.c_str());
    // Sorting only reorders the pointers, so a copy of the pointer array is enough.
    std::vector<char*> unsorted(original.strings, original.strings + original.count);
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(unsorted.begin(), unsorted.end(), original.strings);
        state.ResumeTiming();
        tool_strlist_natsort(&original);
        benchmark::DoNotOptimize(original.strings[0]);
    }
    std::copy(unsorted.begin(), unsorted.end(), original.strings);
    tool_strlist_free(&original);
    state.SetItemsProcessed(state.iterations() * kNames);
}

void BM_StdSortNatcmp(benchmark::State& state) {
    const std::vector<const char*> unsorted = name_pointers();
    std::vector<const char*> work;
    for (auto _ : state) {
        state.PauseTiming();
        work = unsorted;
        state.ResumeTiming();
        std::sort(work.begin(), work.end(),
                  [](const char* a, const char* b) { return tool_strnatcmp(a, b) < 0; });
        benchmark::DoNotOptimize(work.data());
    }
    state.SetItemsProcessed(state.iterations() * kNames);
}

void BM_StdSortStrcmp(benchmark::State& state) {
    const std::vector<const char*> unsorted = name_pointers();
    std::vector<const char*> work;
    for (auto _ : state) {
        state.PauseTiming();
        work = unsorted;
        state.ResumeTiming();
        std::sort(work.begin(), work.end(),
                  [](const char* a, const char* b) { return std::strcmp(a, b) < 0; });
        benchmark::DoNotOptimize(work.data());
    }
    state.SetItemsProcessed(state.iterations() * kNames);
}

}  // namespace

BENCHMARK(BM_StrlistNatsort)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdSortNatcmp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdSortStrcmp)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
