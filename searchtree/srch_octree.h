// One numbered search tree: an octree whose nodes keep their leaves in arrays, with the id
// index that finds a leaf's place again. This is the engine behind the exported leaf and
// search functions of srch_tree.h, which add the process-wide tree table, the current
// tree, the result arrays and the messages.
//
// Order is part of the contract, because callers read results in the order found:
// a node's leaves are searched newest first, a node's child leaves (or its eight children,
// in octant order) before its big leaves. The octant order is: upper x, upper y, upper z;
// lower x, upper y, upper z; upper x, lower y, upper z; lower x, lower y, upper z; then the
// same four with lower z. A point on a middle plane belongs to the upper half.
#pragma once

#include <cstddef>
#include <cstdint>

#include "searchtree/srch_leaf_index.h"
#include "tools/tool_array_class.h"

namespace srch_detail {

// Far limit of every stored coordinate, and the bounds of an empty content box.
constexpr double kFarLimit = 1e11;
// A node whose leaf array holds this many leaves splits on the next insertion, when its
// cell is at least the split size wide.
constexpr int kSplitCount = 100;
constexpr double kDefaultSplitSize = 500;
// Half the extent of a new tree's root cell on every axis.
constexpr double kRootHalfExtent = 1e6;

struct Box {
    double min[3];
    double max[3];
};

Box EmptyBox();

struct Leaf {
    Box box;
    int32_t id;    // 0 marks a removed leaf waiting for its array to be compacted
    int32_t mask;  // 0 for a removed leaf, so that searches pass it without a test
};

// A leaf's box in single precision, rounded outwards, so that a search rules out the
// leaves that miss the query by reading 24 bytes in order instead of 56 bytes each. A
// removed leaf has an empty box.
struct FloatBox {
    float min[3];
    float max[3];
};

// A node's leaves in storage order (oldest first); the logical list is the reverse.
// `x_ranges` and `yz_ranges` run parallel to `items`: the single-precision box, which the
// first test of a search reads (24 bytes per leaf instead of the leaf's 64). All three live
// in one allocation that starts at `x_ranges`.
struct LeafArray {
    Leaf* items = nullptr;
    float (*x_ranges)[2] = nullptr;   // min x, max x
    float (*yz_ranges)[4] = nullptr;  // min y, max y, min z, max z
    uint32_t size = 0;
    uint32_t capacity = 0;
    uint32_t removed = 0;

    uint32_t Live() const { return size - removed; }
};

struct ChildBlock;

// Fields a search reads come first; the cell is read only by insertion.
struct OctNode {
    Box content;  // bounding box of everything ever stored below (not shrunk by removal)
    ChildBlock* children = nullptr;  // eight nodes in octant order, or none
    LeafArray leaves;                // child leaves (only while there are no children)
    LeafArray big;                   // leaves too big for the children or outside their cells
    int32_t counter = 0;             // leaves stored below; above 0 while anything is held
    Box cell;
};

// A node's eight children with their content boxes in single precision (rounded
// outwards), which a search tests first without touching the children themselves.
struct ChildBlock {
    FloatBox boxes[8];
    OctNode nodes[8];
};

// The search transformation: images of the x, y and z axes, then the origin.
struct Transformation {
    double axis[3][3];
    double origin[3];
    bool identity;
};

Transformation IdentityTransformation();

struct SearchStatistics {
    int64_t nodes_created = 0;
    int64_t leaves_visited = 0;
    int64_t nodes_visited = 0;
    int64_t boxes_tested = 0;  // node boxes and leaf boxes compared in full
    int64_t hits = 0;
};

class Octree {
  public:
    Octree() = default;
    ~Octree();
    Octree(const Octree&) = delete;
    Octree& operator=(const Octree&) = delete;

    // Makes a new empty root (cell +-1e6 on every axis). False when memory runs out.
    bool Create(SearchStatistics* stats);
    // Frees every node and leaf and empties the index (back to its initial buckets).
    void Destroy();
    bool Exists() const { return m_root != nullptr; }

    // Stores a leaf. REQUIRES: id != 0, box normalised (min <= max) and within +-1e11.
    // False when memory runs out (nothing stored).
    bool Insert(int32_t id, int32_t mask, const Box& box, double split_size,
                SearchStatistics* stats);
    // Removes every leaf of the id; gives how many were removed.
    int Remove(int32_t id);

    // Appends the ids of the leaves whose mask shares a bit with `mask` and whose box, seen
    // through `transformation` and clamped to +-1e11, meets `query` (touching counts).
    // False when the results could not grow (those found so far are kept).
    bool Search(const Box& query, int32_t mask, const Transformation& transformation,
                toolArray_c<int>* results, SearchStatistics* stats) const;

    // The root's content box; RecomputeExtent sets it to the bounding box of every leaf.
    Box Extent() const;
    void RecomputeExtent();

    // Calls visit(id) -> new id (0 keeps the old id) for every leaf, then re-keys the index.
    template <typename Visit>
    void Renumber(Visit visit);

    size_t LeafCount() const { return m_index.Count(); }
    // Bytes held by nodes, leaf arrays and the index.
    size_t MemoryBytes() const;

  private:
    bool InsertAt(OctNode* node, const Leaf& leaf, double split_size, SearchStatistics* stats,
                  LeafPlace* placed);
    bool Split(OctNode* node, double split_size, SearchStatistics* stats);
    bool Append(OctNode* node, bool big, const Leaf& leaf, LeafPlace* placed);
    void RemoveAt(const LeafPlace& place);
    void Compact(OctNode* node, bool big);
    void RebuildIndex();
    template <typename F>
    static void ForEachNode(OctNode* node, F f);

    OctNode* m_root = nullptr;
    LeafIndex m_index;
};

template <typename F>
void Octree::ForEachNode(OctNode* node, F f) {
    f(node);
    if (node->children) {
        for (int i = 0; i < 8; ++i) ForEachNode(&node->children->nodes[i], f);
    }
}

template <typename Visit>
void Octree::Renumber(Visit visit) {
    if (!m_root) return;
    ForEachNode(m_root, [&visit](OctNode* node) {
        for (LeafArray* array : {&node->leaves, &node->big}) {
            for (uint32_t i = 0; i < array->size; ++i) {
                Leaf& leaf = array->items[i];
                if (leaf.id == 0) continue;
                const int32_t renumbered = visit(leaf.id);
                if (renumbered != 0) leaf.id = renumbered;
            }
        }
    });
    RebuildIndex();
}

}  // namespace srch_detail
