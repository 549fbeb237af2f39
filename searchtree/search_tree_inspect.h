// A look inside a quadtree for the library's own tests and benchmarks (not exported): the
// root box and how many nodes, entries and bytes the tree holds.
#pragma once

#include <cstdint>

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

}  // namespace searchtree
