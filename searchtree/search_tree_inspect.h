// A look inside a quadtree for the library's own tests and benchmarks (not exported): the
// root box and how many nodes, entries and bytes the tree holds, and the query answered by
// a plain walk of the tree, which the tests compare the fast query with.
#pragma once

#include <cstdint>
#include <vector>

#include "searchtree/search_tree.h"

namespace searchtree {

struct SearchTreeShape_s {
    double root_min_x, root_max_x, root_min_y, root_max_y;
    uint32_t nodes;           // nodes in use
    uint32_t entries;         // entries stored in the tree
    uint32_t result_chunks;   // blocks of query results held by live cursors
    uint64_t bytes_reserved;  // the three pools and the nodes' entry arrays
    uint64_t index_records;
};

// All zero for a null tree.
SearchTreeShape_s InspectSearchTree(const SearchTreeType_s* tree);

struct QueryMatch_s {
    void* object;
    int32_t object_class;
    extrema_s box;
};

// What GetObjectsPointer hands out, in the same order, found by a recursive walk that tests
// every entry of every node it enters in double precision. Empty for a null tree.
std::vector<QueryMatch_s> QueryPlainly(const SearchTreeType_s* tree, extrema_s query,
                                       int32_t class_mask);

}  // namespace searchtree
