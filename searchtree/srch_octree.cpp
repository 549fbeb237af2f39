// Octree engine of the numbered search trees. Leaves live in per-node arrays so that a
// search scans memory in order; the logical leaf list (newest first) is the arrays read
// backwards. A removed leaf is marked (id 0, mask 0) and the array is compacted in order
// once half of it is marked, so removal is constant time and order survives it.
#include "searchtree/srch_octree.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "searchtree/float_bounds.h"

namespace srch_detail {
namespace {

constexpr int kOutside = 0;
constexpr int kOverlap = 1;
constexpr int kInside = 2;
// Candidates are picked from this many leaves at a time before the leaves are read.
constexpr uint32_t kScanBlock = 256;

// The x ranges, the y-z ranges and the leaves of an array share one allocation (in that
// order, starting at x_ranges): a search then reaches one region of memory per array.
bool Reserve(LeafArray* array, uint32_t needed) {
    if (needed <= array->capacity) return true;
    const uint32_t capacity = std::max<uint32_t>({needed, array->capacity * 2, 4});
    constexpr size_t kX = sizeof(*array->x_ranges);
    constexpr size_t kYz = sizeof(*array->yz_ranges);
    auto* block =
        static_cast<unsigned char*>(std::malloc(size_t(capacity) * (kX + kYz + sizeof(Leaf))));
    if (!block) return false;
    auto* x = reinterpret_cast<float(*)[2]>(block);
    auto* yz = reinterpret_cast<float(*)[4]>(block + capacity * kX);
    auto* items = reinterpret_cast<Leaf*>(block + capacity * (kX + kYz));
    if (array->size > 0) {
        std::memcpy(static_cast<void*>(x), array->x_ranges, array->size * kX);
        std::memcpy(static_cast<void*>(yz), array->yz_ranges, array->size * kYz);
        std::memcpy(static_cast<void*>(items), array->items, array->size * sizeof(Leaf));
    }
    std::free(array->x_ranges);
    array->x_ranges = x;
    array->yz_ranges = yz;
    array->items = items;
    array->capacity = capacity;
    return true;
}

void FreeArray(LeafArray* array) {
    std::free(array->x_ranges);
    *array = LeafArray{};
}

// The smallest single-precision box that holds `box`.
FloatBox Outwards(const Box& box) {
    FloatBox f;
    for (int a = 0; a < 3; ++a) {
        f.min[a] = FloatBelow(box.min[a]);
        f.max[a] = FloatAbove(box.max[a]);
    }
    return f;
}

// True when the boxes are apart on some axis. Written without short-circuits: the
// compiler then evaluates all six comparisons without branches.
bool Misses(const FloatBox& r, const FloatBox& q) {
    return (r.min[0] > q.max[0]) | (r.max[0] < q.min[0]) | (r.min[1] > q.max[1]) |
           (r.max[1] < q.min[1]) | (r.min[2] > q.max[2]) | (r.max[2] < q.min[2]);
}

void SetRanges(LeafArray* array, uint32_t slot, const FloatBox& f) {
    float* x = array->x_ranges[slot];
    float* yz = array->yz_ranges[slot];
    x[0] = f.min[0];
    x[1] = f.max[0];
    yz[0] = f.min[1];
    yz[1] = f.max[1];
    yz[2] = f.min[2];
    yz[3] = f.max[2];
}

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr FloatBox kNoBox{{kInfinity, kInfinity, kInfinity}, {-kInfinity, -kInfinity, -kInfinity}};

void Widen(Box* box, const Box& by) {
    for (int a = 0; a < 3; ++a) {
        box->min[a] = std::min(box->min[a], by.min[a]);
        box->max[a] = std::max(box->max[a], by.max[a]);
    }
}

double CellWidth(const OctNode* node) {
    return node->cell.max[0] - node->cell.min[0];
}

// The bounding box of the box's corners seen through the transformation, clamped to the
// far limit. Each output bound takes, term by term, the smaller (larger) product: rounded
// addition is monotone, so this equals the bound over the eight transformed corners
// evaluated in the same order.
Box Transform(const Box& b, const Transformation& t) {
    if (t.identity) return b;
    Box out;
    for (int i = 0; i < 3; ++i) {
        double lo = 0, hi = 0;
        for (int a = 0; a < 3; ++a) {
            const double p = t.axis[a][i] * b.min[a];
            const double q = t.axis[a][i] * b.max[a];
            if (a == 0) {
                lo = std::min(p, q);
                hi = std::max(p, q);
            } else {
                lo = lo + std::min(p, q);
                hi = hi + std::max(p, q);
            }
        }
        out.min[i] = std::clamp(lo + t.origin[i], -kFarLimit, kFarLimit);
        out.max[i] = std::clamp(hi + t.origin[i], -kFarLimit, kFarLimit);
    }
    return out;
}

bool Outside(const Box& b, const Box& q) {
    return b.min[0] > q.max[0] || b.max[0] < q.min[0] || b.min[1] > q.max[1] ||
           b.max[1] < q.min[1] || b.min[2] > q.max[2] || b.max[2] < q.min[2];
}

int Classify(const Box& b, const Box& q) {
    if (Outside(b, q)) return kOutside;
    for (int a = 0; a < 3; ++a) {
        if (b.min[a] < q.min[a] || b.max[a] > q.max[a]) return kOverlap;
    }
    return kInside;
}

struct SearchContext {
    const Box& query;
    int32_t mask;
    const Transformation& transformation;
    toolArray_c<int>* results;
    // Counted here and added to the caller's figures at the end, so that the counters can
    // live in registers rather than be written through a pointer on every leaf.
    SearchStatistics counts;
    bool ok;
    FloatBox float_query;  // the query rounded outwards, for the single-precision tests
};

void Hit(const Leaf& leaf, SearchContext& s) {
    if (!s.results->add(leaf.id)) s.ok = false;
    ++s.counts.hits;
}

void ScanLeaves(const LeafArray& array, bool inside, SearchContext& s) {
    s.counts.leaves_visited += array.Live();
    if (!inside && s.transformation.identity) {
        // Most leaves miss the query: their single-precision boxes (rounded outwards, and
        // compared with the query rounded outwards, so no true hit is lost) rule them out
        // without reading the leaves themselves. The candidates of a block are picked
        // without branches (which the random outcomes would mispredict), newest first.
        const FloatBox& q = s.float_query;
        uint32_t picked[kScanBlock];
        for (uint32_t end = array.size; end > 0;) {
            const uint32_t start = end > kScanBlock ? end - kScanBlock : 0;
            uint32_t count = 0;
            for (uint32_t i = end; i-- > start;) {
                const float* x = array.x_ranges[i];
                const float* yz = array.yz_ranges[i];
                picked[count] = i;
                count += (x[0] <= q.max[0]) & (x[1] >= q.min[0]) & (yz[0] <= q.max[1]) &
                         (yz[1] >= q.min[1]) & (yz[2] <= q.max[2]) & (yz[3] >= q.min[2]);
            }
            for (uint32_t k = 0; k < count; ++k) {
                const Leaf& leaf = array.items[picked[k]];
                if (!(leaf.mask & s.mask)) continue;
                ++s.counts.boxes_tested;
                if (!Outside(leaf.box, s.query)) Hit(leaf, s);
            }
            end = start;
        }
        return;
    }
    for (uint32_t i = array.size; i-- > 0;) {
        const Leaf& leaf = array.items[i];
        if (!(leaf.mask & s.mask)) continue;
        if (!inside) {
            ++s.counts.boxes_tested;
            if (Outside(Transform(leaf.box, s.transformation), s.query)) continue;
        }
        Hit(leaf, s);
    }
}

// Asks for the first lines of a leaf array's ranges; a search goes from node to node
// through memory it has not seen, so overlapping those fetches saves most of its time.
void Prefetch(const LeafArray& array) {
    if (array.size == 0) return;
    const uint32_t last = array.size - 1;  // scans run from the end
    __builtin_prefetch(array.x_ranges[last]);
    __builtin_prefetch(array.yz_ranges[last]);
}

void SearchNode(const OctNode* node, bool inside, SearchContext& s) {
    ++s.counts.nodes_visited;
    Prefetch(node->big);
    if (node->children) {
        const bool prefilter = !inside && s.transformation.identity;
        const OctNode* wanted[8];
        int count = 0;
        for (int i = 0; i < 8; ++i) {
            if (prefilter && Misses(node->children->boxes[i], s.float_query)) continue;
            wanted[count++] = &node->children->nodes[i];
            __builtin_prefetch(wanted[count - 1]);
        }
        // The children's arrays are asked for together, before the first child is searched,
        // so that their fetches overlap instead of following one another.
        for (int i = 0; i < count; ++i) {
            Prefetch(wanted[i]->leaves);
            Prefetch(wanted[i]->big);
        }
        for (int i = 0; i < count; ++i) {
            const OctNode& child = *wanted[i];
            if (child.counter <= 0) continue;
            if (inside) {
                SearchNode(&child, true, s);
                continue;
            }
            ++s.counts.boxes_tested;
            const int where = Classify(Transform(child.content, s.transformation), s.query);
            if (where != kOutside) SearchNode(&child, where == kInside, s);
        }
    } else {
        ScanLeaves(node->leaves, inside, s);
    }
    ScanLeaves(node->big, inside, s);
}

void FreeNode(OctNode* node) {
    if (node->children) {
        for (int i = 0; i < 8; ++i) FreeNode(&node->children->nodes[i]);
        delete node->children;
    }
    FreeArray(&node->leaves);
    FreeArray(&node->big);
}

}  // namespace

Box EmptyBox() {
    return Box{{kFarLimit, kFarLimit, kFarLimit}, {-kFarLimit, -kFarLimit, -kFarLimit}};
}

Transformation IdentityTransformation() {
    return Transformation{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0, 0, 0}, true};
}

Octree::~Octree() {
    Destroy();
}

bool Octree::Create(SearchStatistics* stats) {
    Destroy();
    m_root = new (std::nothrow) OctNode{};
    if (!m_root) return false;
    m_root->content = EmptyBox();
    for (int a = 0; a < 3; ++a) {
        m_root->cell.min[a] = -kRootHalfExtent;
        m_root->cell.max[a] = kRootHalfExtent;
    }
    ++stats->nodes_created;
    return true;
}

void Octree::Destroy() {
    if (m_root) {
        FreeNode(m_root);
        delete m_root;
        m_root = nullptr;
    }
    m_index.Reset();
}

bool Octree::Append(OctNode* node, bool big, const Leaf& leaf, LeafPlace* placed) {
    LeafArray* array = big ? &node->big : &node->leaves;
    if (!Reserve(array, array->size + 1)) return false;
    array->items[array->size] = leaf;
    SetRanges(array, array->size, Outwards(leaf.box));
    *placed = LeafPlace{node, array->size, big};
    ++array->size;
    return true;
}

bool Octree::InsertAt(OctNode* node, const Leaf& leaf, double split_size, SearchStatistics* stats,
                      LeafPlace* placed) {
    const Box& b = leaf.box;
    double centre[3], diagonal2 = 0;
    for (int a = 0; a < 3; ++a) {
        centre[a] = (b.min[a] + b.max[a]) / 2;
        const double extent = b.max[a] - b.min[a];
        diagonal2 += extent * extent;
    }
    const double width = CellWidth(node);
    bool big = std::sqrt(diagonal2) > width / 2;
    if (!big && node->children) {
        // The octants split the cell at its middle planes, lower halves open at the top,
        // so a centre inside the cell lies in exactly one of them.
        bool held = true;
        int octant = 0;
        for (int a = 0; a < 3; ++a) {
            if (!(node->cell.min[a] <= centre[a] && centre[a] < node->cell.max[a])) held = false;
            const double middle = node->children->nodes[0].cell.min[a];
            if (centre[a] < middle) octant |= 1 << a;
        }
        if (held) {
            OctNode* child = &node->children->nodes[octant];
            if (!InsertAt(child, leaf, split_size, stats, placed)) return false;
            ++node->counter;
            Widen(&node->content, child->content);
            node->children->boxes[octant] = Outwards(child->content);
            return true;
        }
        big = true;
    }
    if (big) {
        if (!Append(node, true, leaf, placed)) return false;
        node->counter = std::max(node->counter, 1);
    } else if (node->counter >= kSplitCount && width >= split_size) {
        if (!Split(node, split_size, stats)) return false;
        if (!InsertAt(node, leaf, split_size, stats, placed)) return false;
        ++node->counter;
    } else {
        if (!Append(node, false, leaf, placed)) return false;
        ++node->counter;
    }
    Widen(&node->content, b);
    return true;
}

bool Octree::Split(OctNode* node, double split_size, SearchStatistics* stats) {
    auto* children = new (std::nothrow) ChildBlock;
    if (!children) return false;
    for (int i = 0; i < 8; ++i) {
        children->boxes[i] = kNoBox;
        OctNode& child = children->nodes[i];
        child.content = EmptyBox();
        for (int a = 0; a < 3; ++a) {
            const double middle = (node->cell.min[a] + node->cell.max[a]) / 2;
            const bool lower = (i >> a) & 1;
            child.cell.min[a] = lower ? node->cell.min[a] : middle;
            child.cell.max[a] = lower ? middle : node->cell.max[a];
        }
    }
    stats->nodes_created += 8;
    LeafArray detached = node->leaves;
    node->leaves = LeafArray{};
    node->children = children;
    int reinserted = 0;
    for (uint32_t i = detached.size; i-- > 0;) {
        const Leaf& leaf = detached.items[i];
        if (leaf.id == 0) continue;
        LeafPlace placed;
        const LeafPlace from{node, i, false};
        // Memory for the new places is taken before the old array goes, so a failure
        // here loses nothing but the leaves not yet moved; those are appended back.
        if (!InsertAt(node, leaf, split_size, stats, &placed)) {
            for (uint32_t j = 0; j <= i; ++j) {
                const Leaf& rest = detached.items[j];
                if (rest.id == 0) continue;
                LeafPlace kept;
                if (Append(node, true, rest, &kept)) {
                    m_index.Update(rest.id, LeafPlace{node, j, false}, kept);
                } else {
                    m_index.Erase(rest.id, LeafPlace{node, j, false});
                }
            }
            FreeArray(&detached);
            return false;
        }
        m_index.Update(leaf.id, from, placed);
        ++reinserted;
    }
    node->counter -= reinserted + 1;
    FreeArray(&detached);
    return true;
}

bool Octree::Insert(int32_t id, int32_t mask, const Box& box, double split_size,
                    SearchStatistics* stats) {
    if (!m_root) return false;
    const Leaf leaf{box, id, mask};
    LeafPlace placed;
    if (!InsertAt(m_root, leaf, split_size, stats, &placed)) return false;
    if (!m_index.Insert(id, placed)) {
        RemoveAt(placed);
        return false;
    }
    return true;
}

void Octree::RemoveAt(const LeafPlace& place) {
    OctNode* node = place.node;
    LeafArray* array = place.big ? &node->big : &node->leaves;
    Leaf& leaf = array->items[place.slot];
    leaf.id = 0;
    leaf.mask = 0;
    SetRanges(array, place.slot, kNoBox);
    ++array->removed;
    const bool holds = node->leaves.Live() > 0 || node->big.Live() > 0 || node->children;
    if (!place.big) {
        --node->counter;
        if (node->counter <= 0 && holds) node->counter = 1;
    } else if (!holds) {
        node->counter = 0;
    }
    if (array->removed * 2 >= array->size) Compact(node, place.big);
}

void Octree::Compact(OctNode* node, bool big) {
    LeafArray* array = big ? &node->big : &node->leaves;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < array->size; ++i) {
        const Leaf& leaf = array->items[i];
        if (leaf.id == 0) continue;
        if (kept != i) {
            array->items[kept] = leaf;
            std::memcpy(array->x_ranges[kept], array->x_ranges[i], sizeof(*array->x_ranges));
            std::memcpy(array->yz_ranges[kept], array->yz_ranges[i], sizeof(*array->yz_ranges));
            m_index.Update(leaf.id, LeafPlace{node, i, big}, LeafPlace{node, kept, big});
        }
        ++kept;
    }
    array->size = kept;
    array->removed = 0;
    if (kept == 0) FreeArray(array);
}

int Octree::Remove(int32_t id) {
    int removed = 0;
    LeafPlace place;
    while (m_index.FindAny(id, &place)) {
        m_index.Erase(id, place);
        RemoveAt(place);
        ++removed;
    }
    return removed;
}

bool Octree::Search(const Box& query, int32_t mask, const Transformation& transformation,
                    toolArray_c<int>* results, SearchStatistics* stats) const {
    if (!m_root) return true;
    SearchContext s{query, mask, transformation, results, {}, true, Outwards(query)};
    SearchNode(m_root, false, s);
    stats->leaves_visited += s.counts.leaves_visited;
    stats->nodes_visited += s.counts.nodes_visited;
    stats->boxes_tested += s.counts.boxes_tested;
    stats->hits += s.counts.hits;
    return s.ok;
}

Box Octree::Extent() const {
    return m_root ? m_root->content : EmptyBox();
}

void Octree::RecomputeExtent() {
    if (!m_root) return;
    Box extent = EmptyBox();
    ForEachNode(m_root, [&extent](OctNode* node) {
        for (const LeafArray* array : {&node->leaves, &node->big}) {
            for (uint32_t i = 0; i < array->size; ++i) {
                if (array->items[i].id != 0) Widen(&extent, array->items[i].box);
            }
        }
    });
    m_root->content = extent;
}

void Octree::RebuildIndex() {
    // The index held exactly these leaves before, so its buckets suffice and no insertion
    // below can fail.
    m_index.ClearKeepingBuckets();
    ForEachNode(m_root, [this](OctNode* node) {
        for (const bool big : {false, true}) {
            const LeafArray& array = big ? node->big : node->leaves;
            for (uint32_t i = 0; i < array.size; ++i) {
                if (array.items[i].id != 0) {
                    m_index.Insert(array.items[i].id, LeafPlace{node, i, big});
                }
            }
        }
    });
}

size_t Octree::MemoryBytes() const {
    size_t bytes = m_index.MemoryBytes();
    if (!m_root) return bytes;
    bytes += sizeof(OctNode);
    ForEachNode(m_root, [&bytes](OctNode* node) {
        if (node->children) bytes += sizeof(ChildBlock);
        bytes += (size_t(node->leaves.capacity) + node->big.capacity) * sizeof(Leaf);
    });
    return bytes;
}

}  // namespace srch_detail
