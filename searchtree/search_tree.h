// Loose quadtree over the plan (x, y) boxes of objects the application owns: it answers
// quickly which objects of given classes lie near a box. Objects are opaque pointers with
// a class bit mask and a 3-D box (z is kept but not searched). The tree grows towards
// objects that lie outside it, up to 1e11 from the origin; objects beyond that are left out
// without a report. Nodes, query results and cursors come from per-tree block allocators;
// a node keeps its entries in one array.
//
// Every function accepts null pointers and then gives its neutral result. A tree and its
// cursors are used from one thread at a time.
#pragma once

#include <cstdint>

#include "dbv/common_export.h"
#include "searchtree/extrema.h"

namespace searchtree {

struct SearchTreeType_s;  // one tree
struct PointerType_s;     // one query result with its read position

// A new empty tree whose root cell is centred on the box's plan and is at least
// `minimum_cell_size` wide and high. `minimum_cell_size` is also the smallest extent an
// object is given for placement. Null when memory is short, and (reported by the assertion
// convention, source searchtree) when the minimum cell size is not a positive finite number
// or the box is not finite or too small to grow from.
COMMON_EXPORT SearchTreeType_s* OpenSearchTree(extrema_s box, double minimum_cell_size);

// Stores `object` with its class and box. The tree grows towards an object outside it; an
// object whose plan does not lie strictly within +-1e11 is not stored. The same object may
// be stored more than once (for example with several boxes); every one of its entries is
// found by queries and removed by DelObjectFromTree.
COMMON_EXPORT void InsertObjectOnTree(SearchTreeType_s* tree, void* object, int32_t object_class,
                                      extrema_s box);

// Removes every entry of `object`. True when at least one entry was removed.
COMMON_EXPORT bool DelObjectFromTree(SearchTreeType_s* tree, void* object);

// Gives every entry of *object the class `new_class`. True when the object was found.
COMMON_EXPORT bool ChangeTreeObjectClass(SearchTreeType_s* tree, void** object, int32_t new_class);

// A cursor over the entries whose class shares a bit with `class_mask` and whose box may
// meet the query box. The result is a superset of the exact plan overlaps (a box that
// misses the query by up to a quarter of its cell's size is returned too); callers that
// need exact overlaps test the boxes handed out. Order: the root's own matches first (among
// one node's entries the earliest stored first), then those below the root's upper-right,
// upper-left, lower-right and lower-left quarters, each ordered in the same way. The
// cursor's results do not change with later changes of the tree. Null for a null tree or
// when memory is short. REQUIRES: the cursor is deleted (DelObjectsPointer) before the
// tree is closed.
COMMON_EXPORT PointerType_s* GetObjectsPointer(const SearchTreeType_s* tree, extrema_s query,
                                               int32_t class_mask);

// Hands out the next result (any output may be null) and advances. False for a null cursor
// or after the last result.
COMMON_EXPORT bool GetNextObject(PointerType_s* cursor, void** object, int32_t* object_class,
                                 extrema_s* box);

// Starts the cursor's walk again at its first result.
COMMON_EXPORT void ResetObjectsPointer(PointerType_s* cursor);

// Frees the cursor and its results and sets *cursor to null.
COMMON_EXPORT void DelObjectsPointer(PointerType_s** cursor);

// Frees the tree and sets *tree to null. REQUIRES: none of its cursors is still alive.
COMMON_EXPORT void CloseSearchTree(SearchTreeType_s** tree);

}  // namespace searchtree
