// File finding with the file-existence cache against plain stat calls. A tree of 5,000
// files (50 folders of 100) is made in a temporary folder; one iteration is 10,000
// lookups of random names along it, two thirds present and one third absent, the same
// sequence for both sides. The cache is filled before timing (a burst of lookups pays
// for each listing once). Run in a Release build, e.g.
//   file_finding_bench --benchmark_repetitions=5
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tools/file_finding.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 50;
constexpr int kFilesPerFolder = 100;
constexpr int kLookups = 10000;

struct Lookup {
    std::string directory;
    std::string name;
    std::string path;  // directory/name, for stat
};

struct Tree {
    fs::path root;
    std::vector<Lookup> lookups;

    Tree() {
        root = fs::temp_directory_path() / ("file_finding_bench_" + std::to_string(getpid()));
        fs::remove_all(root);
        for (int d = 0; d < kFolders; ++d) {
            const fs::path dir = root / ("folder" + std::to_string(d));
            fs::create_directories(dir);
            for (int f = 0; f < kFilesPerFolder; ++f)
                std::ofstream(dir / ("settings_" + std::to_string(f) + ".cfg")) << f;
        }
        std::mt19937 random(20261209);
        for (int i = 0; i < kLookups; ++i) {
            Lookup l;
            l.directory = (root / ("folder" + std::to_string(random() % kFolders))).string();
            const int file =
                static_cast<int>(random() % (kFilesPerFolder * 3 / 2));  // a third absent
            l.name = "settings_" + std::to_string(file) + ".cfg";
            l.path = l.directory + "/" + l.name;
            lookups.push_back(std::move(l));
        }
    }
    ~Tree() { fs::remove_all(root); }
};

Tree& TheTree() {
    static Tree tree;
    return tree;
}

void BM_FindFileCached(benchmark::State& state) {
    const Tree& tree = TheTree();
    tools::StartFileExistenceCaching();
    for (const Lookup& l : tree.lookups)
        tools::FindFile(l.name.c_str(), nullptr, l.directory.c_str(), "r", false);
    int found = 0;
    for (auto _ : state) {
        found = 0;
        for (const Lookup& l : tree.lookups)
            found += tools::FindFile(l.name.c_str(), nullptr, l.directory.c_str(), "r", false) !=
                     nullptr;
        benchmark::DoNotOptimize(found);
    }
    tools::StopFileExistenceCaching();
    state.counters["found"] = found;
    state.SetItemsProcessed(state.iterations() * kLookups);
}

void BM_PlainStat(benchmark::State& state) {
    const Tree& tree = TheTree();
    int found = 0;
    for (auto _ : state) {
        found = 0;
        for (const Lookup& l : tree.lookups) {
            struct stat info;
            found += stat(l.path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
        }
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = found;
    state.SetItemsProcessed(state.iterations() * kLookups);
}

// For scale: the same lookups without the cache, which open and close each file.
void BM_FindFileUncached(benchmark::State& state) {
    const Tree& tree = TheTree();
    int found = 0;
    for (auto _ : state) {
        found = 0;
        for (const Lookup& l : tree.lookups)
            found += tools::FindFile(l.name.c_str(), nullptr, l.directory.c_str(), "r", false) !=
                     nullptr;
        benchmark::DoNotOptimize(found);
    }
    state.counters["found"] = found;
    state.SetItemsProcessed(state.iterations() * kLookups);
}

BENCHMARK(BM_FindFileCached)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainStat)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindFileUncached)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
