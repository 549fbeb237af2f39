// Search tree benchmark: the numbered octree (3-D boxes) and the plan quadtree (2-D) built
// over 1,000,000 boxes of a building site in millimetres, with the size spread of real
// parts (mostly 1 cm to 5 m, one in ten a long member up to 20 m), then 100,000 small
// window queries (0.1 m to 2 m). The comparison is Boost.Geometry's R-tree with 16 values
// per node, quadratic and R*-tree insertion (and, for reference, the bulk-loaded R*-tree),
// on the same boxes in the same dimension. Memory per object is the heap growth (glibc's
// mallinfo2) over the build divided by the number of boxes.
// Run in a Release build, e.g.
//   searchtree_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
// SEARCHTREE_BENCH_OBJECTS and SEARCHTREE_BENCH_QUERIES change the counts, e.g. for a
// smaller instance under an instruction counter.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "searchtree/search_tree.h"
#include "searchtree/srch_tree.h"

#ifdef SEARCHTREE_BENCH_RTREE
#include <boost/geometry.hpp>
#include <boost/geometry/index/rtree.hpp>
#endif

namespace {

int CountFromEnvironment(const char* name, int fallback) {
    const char* text = std::getenv(name);
    const long value = text ? std::strtol(text, nullptr, 10) : 0;
    return value > 0 && value <= 100'000'000 ? int(value) : fallback;
}

const int kObjects = CountFromEnvironment("SEARCHTREE_BENCH_OBJECTS", 1'000'000);
const int kQueries = CountFromEnvironment("SEARCHTREE_BENCH_QUERIES", 100'000);

struct Boxes {
    std::vector<extrema_s> objects;
    std::vector<extrema_s> queries;
};

double LogUniform(std::mt19937_64& rng, double lo, double hi) {
    std::uniform_real_distribution<double> u(std::log(lo), std::log(hi));
    return std::exp(u(rng));
}

// Built once, before anything is timed.
const Boxes& Data() {
    static const Boxes boxes = [] {
        Boxes b;
        std::mt19937_64 rng(2024);
        std::uniform_real_distribution<double> x(0, 2e5), z(0, 6e4);
        b.objects.reserve(kObjects);
        for (int i = 0; i < kObjects; ++i) {
            double size[3];
            for (double& s : size) s = LogUniform(rng, 10, 5000);
            if (rng() % 10 == 0) size[rng() % 3] = LogUniform(rng, 3000, 20000);
            const double cx = x(rng), cy = x(rng), cz = z(rng);
            b.objects.push_back({cx - size[0] / 2, cy - size[1] / 2, cz - size[2] / 2,
                                 cx + size[0] / 2, cy + size[1] / 2, cz + size[2] / 2});
        }
        b.queries.reserve(kQueries);
        for (int i = 0; i < kQueries; ++i) {
            const double s = LogUniform(rng, 100, 2000);
            const double cx = x(rng), cy = x(rng), cz = z(rng);
            b.queries.push_back({cx, cy, cz, cx + s, cy + s, cz + s});
        }
        return b;
    }();
    return boxes;
}

size_t HeapInUse() {
    return mallinfo2().uordblks;
}

// ---- numbered octree ----------------------------------------------------------------

void BuildOctree(const Boxes& data) {
    srchClearSearchTree(1);
    srchSetCurrentSearchTree(1);
    for (int i = 0; i < kObjects; ++i) {
        const extrema_s& o = data.objects[i];
        const double a[3] = {o.min_x, o.min_y, o.min_z};
        const double b[3] = {o.max_x, o.max_y, o.max_z};
        insert_new_leaf(i + 1, 1, a, b);
    }
}

void BM_OctreeBuild(benchmark::State& state) {
    const Boxes& data = Data();
    srchDeleteSearchTree(1);
    double bytes = 0;
    for (auto _ : state) {
        const size_t before = HeapInUse();
        BuildOctree(data);
        state.PauseTiming();
        bytes = double(HeapInUse() - before);
        srchDeleteSearchTree(1);
        state.ResumeTiming();
    }
    state.counters["bytes_per_object"] = bytes / kObjects;
}

void BM_OctreeQuery(benchmark::State& state) {
    const Boxes& data = Data();
    BuildOctree(data);
    toolArray_c<int> found;
    int64_t hits = 0, tested = 0, nodes = 0, leaves = 0;
    for (auto _ : state) {
        hits = tested = nodes = leaves = 0;
        for (const extrema_s& q : data.queries) {
            found.clear();
            srchGetObjectsFromSearchTree(&q, found, 1, false);
            hits += found.count();
            const srchSearchStatistics_s stats = srchGetSearchStatistics();
            tested += stats.boxes_tested;
            nodes += stats.nodes_visited;
            leaves += stats.leaves_visited;
        }
        benchmark::DoNotOptimize(hits);
    }
    state.counters["hits"] = double(hits);
    state.counters["boxes_tested_per_query"] = double(tested) / kQueries;
    state.counters["nodes_per_query"] = double(nodes) / kQueries;
    state.counters["leaves_per_query"] = double(leaves) / kQueries;
    srchDeleteSearchTree(1);
}

// ---- plan quadtree --------------------------------------------------------------------

searchtree::SearchTreeType_s* BuildQuadtree(const Boxes& data) {
    searchtree::SearchTreeType_s* tree = searchtree::OpenSearchTree({0, 0, 0, 2e5, 2e5, 0}, 10);
    for (int i = 0; i < kObjects; ++i) {
        searchtree::InsertObjectOnTree(tree, const_cast<extrema_s*>(&data.objects[i]), 1,
                                       data.objects[i]);
    }
    return tree;
}

void BM_QuadtreeBuild(benchmark::State& state) {
    const Boxes& data = Data();
    double bytes = 0;
    for (auto _ : state) {
        const size_t before = HeapInUse();
        searchtree::SearchTreeType_s* tree = BuildQuadtree(data);
        state.PauseTiming();
        bytes = double(HeapInUse() - before);
        searchtree::CloseSearchTree(&tree);
        state.ResumeTiming();
    }
    state.counters["bytes_per_object"] = bytes / kObjects;
}

void BM_QuadtreeQuery(benchmark::State& state) {
    const Boxes& data = Data();
    searchtree::SearchTreeType_s* tree = BuildQuadtree(data);
    int64_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (const extrema_s& q : data.queries) {
            searchtree::PointerType_s* cursor = searchtree::GetObjectsPointer(tree, q, 1);
            void* object = nullptr;
            while (searchtree::GetNextObject(cursor, &object, nullptr, nullptr)) ++hits;
            searchtree::DelObjectsPointer(&cursor);
        }
        benchmark::DoNotOptimize(hits);
    }
    state.counters["hits"] = double(hits);  // a superset of the exact overlaps
    searchtree::CloseSearchTree(&tree);
}

BENCHMARK(BM_OctreeBuild)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_OctreeQuery)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_QuadtreeBuild)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_QuadtreeQuery)->Unit(benchmark::kMillisecond)->MinTime(2);

#ifdef SEARCHTREE_BENCH_RTREE
// ---- Boost.Geometry R-tree ------------------------------------------------------------

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;
using Point3 = bg::model::point<double, 3, bg::cs::cartesian>;
using Box3 = bg::model::box<Point3>;
using Point2 = bg::model::point<double, 2, bg::cs::cartesian>;
using Box2 = bg::model::box<Point2>;

Box3 ToBox3(const extrema_s& e) {
    return Box3(Point3(e.min_x, e.min_y, e.min_z), Point3(e.max_x, e.max_y, e.max_z));
}
Box2 ToBox2(const extrema_s& e) {
    return Box2(Point2(e.min_x, e.min_y), Point2(e.max_x, e.max_y));
}

template <typename Box>
Box ToBox(const extrema_s& e) {
    if constexpr (std::is_same_v<Box, Box3>) {
        return ToBox3(e);
    } else {
        return ToBox2(e);
    }
}

// Insertion one by one (the way a changing model fills its index), or bulk loading from
// the whole set when `Packed`.
template <typename Box, typename Parameters, bool Packed>
struct RTree {
    using Value = std::pair<Box, int>;
    using Tree = bgi::rtree<Value, Parameters>;

    static Tree* Build(const Boxes& data) {
        if constexpr (Packed) {
            std::vector<Value> values;
            values.reserve(kObjects);
            for (int i = 0; i < kObjects; ++i)
                values.emplace_back(ToBox<Box>(data.objects[i]), i + 1);
            return new Tree(values.begin(), values.end());
        } else {
            auto* tree = new Tree;
            for (int i = 0; i < kObjects; ++i)
                tree->insert(Value(ToBox<Box>(data.objects[i]), i + 1));
            return tree;
        }
    }

    static void BuildBench(benchmark::State& state) {
        const Boxes& data = Data();
        double bytes = 0;
        for (auto _ : state) {
            const size_t before = HeapInUse();
            Tree* tree = Build(data);
            state.PauseTiming();
            bytes = double(HeapInUse() - before);
            delete tree;
            state.ResumeTiming();
        }
        state.counters["bytes_per_object"] = bytes / kObjects;
    }

    static void QueryBench(benchmark::State& state) {
        const Boxes& data = Data();
        Tree* tree = Build(data);
        std::vector<Value> found;
        int64_t hits = 0;
        for (auto _ : state) {
            hits = 0;
            for (const extrema_s& q : data.queries) {
                found.clear();
                tree->query(bgi::intersects(ToBox<Box>(q)), std::back_inserter(found));
                hits += int64_t(found.size());
            }
            benchmark::DoNotOptimize(hits);
        }
        state.counters["hits"] = double(hits);
        delete tree;
    }
};

using Quadratic3 = RTree<Box3, bgi::quadratic<16>, false>;
using RStar3 = RTree<Box3, bgi::rstar<16>, false>;
using Packed3 = RTree<Box3, bgi::rstar<16>, true>;
using Quadratic2 = RTree<Box2, bgi::quadratic<16>, false>;
using RStar2 = RTree<Box2, bgi::rstar<16>, false>;
using Packed2 = RTree<Box2, bgi::rstar<16>, true>;

BENCHMARK(Quadratic3::BuildBench)
    ->Name("RTree3D_Quadratic_Build")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(Quadratic3::QueryBench)
    ->Name("RTree3D_Quadratic_Query")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);
BENCHMARK(RStar3::BuildBench)
    ->Name("RTree3D_RStar_Build")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(RStar3::QueryBench)
    ->Name("RTree3D_RStar_Query")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);
BENCHMARK(Packed3::BuildBench)
    ->Name("RTree3D_Packed_Build")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(Packed3::QueryBench)
    ->Name("RTree3D_Packed_Query")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);
BENCHMARK(Quadratic2::BuildBench)
    ->Name("RTree2D_Quadratic_Build")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(Quadratic2::QueryBench)
    ->Name("RTree2D_Quadratic_Query")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);
BENCHMARK(RStar2::BuildBench)
    ->Name("RTree2D_RStar_Build")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(RStar2::QueryBench)
    ->Name("RTree2D_RStar_Query")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);
BENCHMARK(Packed2::BuildBench)
    ->Name("RTree2D_Packed_Build")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK(Packed2::QueryBench)
    ->Name("RTree2D_Packed_Query")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2);
#endif

}  // namespace

BENCHMARK_MAIN();
