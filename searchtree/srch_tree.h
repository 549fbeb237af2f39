// Numbered search trees: up to five process-wide octrees, numbers 1 to 5, over the 3-D
// boxes of objects identified by a non-zero id and a class bit mask. One tree is current;
// every leaf operation, search and result read works on it. Searches may see the stored
// boxes through a transformation, so a tree built in one coordinate system can be queried
// in another. The leaf functions take their arguments by address for callers in other
// languages and print problems on standard output; bad tree numbers and use of a tree that
// does not exist are reported by the assertion convention (source srch_tree).
//
// Results come in the order found: within a node its leaves newest first, a node's child
// leaves (or its eight octants, upper x/y/z first, see srch_octree.h) before its big
// leaves. An id may be stored more than once; removing it removes every copy.
// All state is process-wide and unlocked: one thread at a time.
#pragma once

#include <cstdint>
#include <functional>

#include "dbv/common_export.h"
#include "searchtree/extrema.h"
#include "tools/tool_array_class.h"

// Creates tree `TreeNumber` (1 to 5) with an empty root whose cell is +-1e6 on every axis,
// and sets the split size to 500. A tree that exists is reported and deleted first.
COMMON_EXPORT void srchCreateSearchTree(int TreeNumber);

// Frees tree `Tree` (0 to 5), empties its index and its results. The current number stays.
COMMON_EXPORT void srchDeleteSearchTree(int Tree);

// Delete, then create.
COMMON_EXPORT void srchClearSearchTree(int TreeNumber);

// Makes tree `number` current. False (reported, nothing changed) unless 1 to 5.
COMMON_EXPORT bool srchSetCurrentSearchTree(int32_t number);
COMMON_EXPORT int32_t srchGetCurrentSearchTree();

extern "C" {

// Stores a leaf with the box spanned by two opposite corners in the current tree. An id of
// 0, or a coordinate not strictly within +-1e11, is printed and not stored; a box that
// reaches beyond +-5e6 on all six bounds is stored with a warning. Null addresses store
// nothing.
COMMON_EXPORT void fnewleaf(const int* id, const int* mask, const double* x1, const double* y1,
                            const double* z1, const double* x2, const double* y2, const double* z2);

// fnewleaf with the corners as three doubles each. 1, or 0 when a corner is null.
COMMON_EXPORT int insert_new_leaf(int id, int mask, const double* corner1, const double* corner2);

// Removes every leaf of the id from the current tree; an unknown id changes nothing.
COMMON_EXPORT void removeleaf(const int* id);
COMMON_EXPORT int delete_new_leaf(int id);  // removeleaf; gives 1

// Searches the current tree for leaves whose mask shares a bit with `mask` and whose
// transformed box meets [minimum, maximum] (three coordinates each; touching counts). The
// previous results of the tree are dropped. 1 after a search; 0 without one when the mask
// is 0, an address is null or the tree does not exist (then there are no results).
COMMON_EXPORT int srchStartSearch(int mask, const double* minimum, const double* maximum);
COMMON_EXPORT void startsearch(const int* mask, const double* min_x, const double* min_y,
                               const double* min_z, const double* max_x, const double* max_y,
                               const double* max_z);

// The next id of the last search on the current tree, or 0 after the last one.
COMMON_EXPORT int nextleaf();
// The number of ids the last search on the current tree found.
COMMON_EXPORT int LeafCount();
// Drops the current tree's results.
COMMON_EXPORT void srchStopSearch();

// The current root's content box (null outputs are skipped). Nothing is written when the
// tree does not exist. The box only grows with insertions until recomputed.
COMMON_EXPORT void gettreeminmax(double* min_x, double* min_y, double* min_z, double* max_x,
                                 double* max_y, double* max_z);
// Sets the current root's content box to the bounding box of all its leaves (min 1e11 and
// max -1e11 when there are none).
COMMON_EXPORT void srch_calculate_tree_minmax();

// Sets the search transformation from 12 doubles: the images of the x, y and z axes, then
// the origin; a stored point p is seen at x-axis * p.x + y-axis * p.y + z-axis * p.z +
// origin. Null sets the identity; a non-finite value is reported and changes nothing.
COMMON_EXPORT void srch_set_search_tree_transformation(const double* transformation);

}  // extern "C"

// Runs a search on the current tree (when `class_mask` is not 0 and `box` is not null) and
// appends to `out` every id from the read position to the end of the tree's results; with
// mask 0 it hands out what the previous search left. With `identity_transformation` the
// application's global transformation is set to the identity for the call and restored
// afterwards. False, with nothing appended, when the global transformation cannot be
// saved or set, when the tree does not exist or when `out` cannot grow; a failure to restore
// the global transformation gives false too (the ids are appended then).
COMMON_EXPORT bool srchGetObjectsFromSearchTree(const extrema_s* box, toolArray_c<int>& out,
                                                int class_mask, bool identity_transformation);

// The callable of the renumbering: (context, id, out new id, label) -> true to renumber.
using srchRenumberCallback_f = std::function<bool(void*, int32_t, int32_t*, const char*)>;

// Offers every leaf of the current tree to `callback` with the label "UpdateCurrentLeafId"
// and gives the leaf the new id when the callback returns true. The index follows, so a
// renumbered leaf is removed by its new id (also when ids are swapped). A new id of 0, or a
// callback that throws (which ends the walk), is reported and the leaf keeps its id.
// `table_number` is not used. True.
COMMON_EXPORT bool srchUpdateSearchTreeAfterCompactingCB(int32_t table_number,
                                                         const srchRenumberCallback_f& callback,
                                                         void* context);

// Counters of the last search (nodes created counts since that search started, or since
// the counters were last reset).
struct srchSearchStatistics_s {
    int64_t nodes_created;
    int64_t leaves_visited;  // leaves in the arrays of the nodes searched
    int64_t nodes_visited;
    int64_t boxes_tested;  // node and leaf boxes compared with the query
    int64_t hits;
};
COMMON_EXPORT srchSearchStatistics_s srchGetSearchStatistics();

// Leaves stored in the current tree and the bytes its nodes, leaf arrays and index hold.
COMMON_EXPORT int64_t srchGetLeafTotal();
COMMON_EXPORT int64_t srchGetTreeMemoryBytes();
