// Loose quadtree: every node's loose region is its cell widened by half the cell on each
// side, so an object sits in the deepest node whose cell holds its centre and whose loose
// region holds its whole (placement) box. Cells are not stored; they follow from the path,
// and insertion and queries derive them the same way.
#include "searchtree/search_tree.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <unordered_map>

#include "outside/assert_log.h"
#include "searchtree/search_tree_inspect.h"
#include "tools/allocator.h"

namespace searchtree {
namespace {

constexpr const char* kSource = "searchtree";
// Objects beyond this distance from the origin make the tree refuse to grow.
constexpr double kFarLimit = 1e11;
// Growth doubles the root, so from any positive size the far limit is reached in far fewer
// steps than this; the bound only guarantees termination whatever the floating point does.
constexpr int kMaxGrowthSteps = 4096;
constexpr double kDegenerate = 0.01;

struct Entry {
    void* object;
    int32_t object_class;
    extrema_s box;
    Entry* next;
};

struct Node {
    double centre_x;
    double centre_y;
    Entry* entries;
    Node* children[4];  // lower-left, lower-right, upper-left, upper-right
};

// A cell with its margins (how far its loose region reaches beyond it on each side).
struct Cell {
    double x0, x1, y0, y1;
    double margin_x, margin_y;

    double MidX() const { return (x0 + x1) / 2; }
    double MidY() const { return (y0 + y1) / 2; }

    Cell Child(int index) const {
        const double cx = MidX();
        const double cy = MidY();
        const double mx = margin_x / 2;
        const double my = margin_y / 2;
        switch (index) {
            case 0:
                return {x0, cx, y0, cy, mx, my};
            case 1:
                return {cx, x1, y0, cy, mx, my};
            case 2:
                return {x0, cx, cy, y1, mx, my};
            default:
                return {cx, x1, cy, y1, mx, my};
        }
    }
};

// The box an object is placed by: its plan, at least the minimum cell size on each axis.
struct Placement {
    double min_x, max_x, min_y, max_y;
    double centre_x, centre_y;
};

bool Accepts(const Cell& c, const Placement& p) {
    return p.min_x >= c.x0 - c.margin_x && p.max_x <= c.x1 + c.margin_x &&
           p.min_y >= c.y0 - c.margin_y && p.max_y <= c.y1 + c.margin_y && c.x0 < p.centre_x &&
           p.centre_x <= c.x1 && c.y0 < p.centre_y && p.centre_y <= c.y1;
}

}  // namespace

struct SearchTreeType_s {
    double root_min_x, root_max_x, root_min_y, root_max_y;
    double centre_x, centre_y;
    double half_x, half_y;
    double minimum_cell_size;
    // Every node that holds an entry of the object, once per stored entry; deletion and
    // class changes visit exactly these.
    std::unordered_multimap<const void*, Node*> index;
    tool_allocator_s* node_pool;
    tool_allocator_s* entry_pool;
    tool_allocator_s* cursor_pool;
    Node* root;

    Cell RootCell() const {
        return {root_min_x, root_max_x, root_min_y, root_max_y, half_x, half_y};
    }
};

struct PointerType_s {
    Entry* first;
    Entry* current;
};

namespace {

void DestroyPools(SearchTreeType_s* tree) {
    tool_allocator_destroy(tree->node_pool);
    tool_allocator_destroy(tree->entry_pool);
    tool_allocator_destroy(tree->cursor_pool);
}

Placement PlacementOf(const SearchTreeType_s* tree, const extrema_s& box) {
    Placement p;
    p.centre_x = (box.min_x + box.max_x) / 2;
    p.centre_y = (box.min_y + box.max_y) / 2;
    const double hx = std::max(box.max_x - box.min_x, tree->minimum_cell_size) / 2;
    const double hy = std::max(box.max_y - box.min_y, tree->minimum_cell_size) / 2;
    p.min_x = p.centre_x - hx;
    p.max_x = p.centre_x + hx;
    p.min_y = p.centre_y - hy;
    p.max_y = p.centre_y + hy;
    return p;
}

bool IsDegenerate(const SearchTreeType_s* t) {
    const double values[] = {t->root_min_x, t->root_max_x, t->root_min_y, t->root_max_y,
                             t->centre_x,   t->centre_y,   t->half_x,     t->half_y};
    return std::all_of(std::begin(values), std::end(values),
                       [](double v) { return std::fabs(v) <= kDegenerate; });
}

void UpdateCentre(SearchTreeType_s* t) {
    t->centre_x = (t->root_min_x + t->root_max_x) / 2;
    t->centre_y = (t->root_min_y + t->root_max_y) / 2;
    t->half_x = (t->root_max_x - t->root_min_x) / 2;
    t->half_y = (t->root_max_y - t->root_min_y) / 2;
}

Node* NewNode(SearchTreeType_s* tree, double centre_x, double centre_y) {
    auto* node = static_cast<Node*>(tool_allocator_alloc(tree->node_pool));
    if (!node) return nullptr;
    *node = Node{centre_x, centre_y, nullptr, {nullptr, nullptr, nullptr, nullptr}};
    return node;
}

// Doubles the root towards the placement box. False when the box is too far away (or a
// new root node cannot be had).
bool Grow(SearchTreeType_s* t, const Placement& p) {
    // Written as "not strictly inside" so that a NaN coordinate is refused as well.
    if (!(p.min_x > -kFarLimit && p.max_x < kFarLimit && p.min_y > -kFarLimit &&
          p.max_y < kFarLimit)) {
        return false;
    }
    const double width = t->root_max_x - t->root_min_x;
    const double height = t->root_max_y - t->root_min_y;
    const bool left = t->centre_x > p.centre_x;
    const bool below = t->centre_y > p.centre_y;
    int old_root_position;
    double min_x = t->root_min_x, max_x = t->root_max_x;
    double min_y = t->root_min_y, max_y = t->root_max_y;
    if (!left && !below) {
        max_x += width;
        max_y += height;
        old_root_position = 0;
    } else if (left && !below) {
        min_x -= width;
        max_y += height;
        old_root_position = 1;
    } else if (!left && below) {
        min_y -= height;
        max_x += width;
        old_root_position = 2;
    } else {
        min_x -= width;
        min_y -= height;
        old_root_position = 3;
    }
    if (t->root) {
        Node* root = NewNode(t, (min_x + max_x) / 2, (min_y + max_y) / 2);
        if (!root) return false;
        root->children[old_root_position] = t->root;
        t->root = root;
    }
    t->root_min_x = min_x;
    t->root_max_x = max_x;
    t->root_min_y = min_y;
    t->root_max_y = max_y;
    UpdateCentre(t);
    return true;
}

void FreeEntries(Entry* entry) {
    while (entry) {
        Entry* next = entry->next;
        tool_allocator_free(entry);
        entry = next;
    }
}

// Removes every entry of `object` from the node's list; gives how many were removed.
int RemoveFromNode(Node* node, const void* object) {
    int removed = 0;
    for (Entry** link = &node->entries; *link;) {
        Entry* entry = *link;
        if (entry->object == object) {
            *link = entry->next;
            tool_allocator_free(entry);
            ++removed;
        } else {
            link = &entry->next;
        }
    }
    return removed;
}

struct Query {
    extrema_s box;
    int32_t mask;
    tool_allocator_s* entry_pool;
    Entry* results;
    bool out_of_memory;
};

void Collect(const Node* node, const Cell& cell, Query& q) {
    if (q.out_of_memory) return;
    const extrema_s& b = q.box;
    if (!(cell.x1 + cell.margin_x >= b.min_x && cell.y1 + cell.margin_y >= b.min_y &&
          b.max_x >= cell.x0 - cell.margin_x && b.max_y >= cell.y0 - cell.margin_y)) {
        return;
    }
    for (int i = 0; i < 4; ++i) {
        if (node->children[i]) Collect(node->children[i], cell.Child(i), q);
    }
    // Entries lie within the loose region, so the query is widened by half the margins to
    // let boxes just outside it count as near.
    const double wx = cell.margin_x / 2;
    const double wy = cell.margin_y / 2;
    for (const Entry* e = node->entries; e; e = e->next) {
        if (!(e->object_class & q.mask)) continue;
        if (e->box.min_x <= b.max_x + wx && e->box.min_y <= b.max_y + wy &&
            e->box.max_x >= b.min_x - wx && e->box.max_y >= b.min_y - wy) {
            auto* copy = static_cast<Entry*>(tool_allocator_alloc(q.entry_pool));
            if (!copy) {
                q.out_of_memory = true;
                return;
            }
            *copy = *e;
            copy->next = q.results;
            q.results = copy;
        }
    }
}

}  // namespace

SearchTreeType_s* OpenSearchTree(extrema_s box, double minimum_cell_size) {
    const double cx = (box.min_x + box.max_x) / 2;
    const double cy = (box.min_y + box.max_y) / 2;
    const double hx = std::max(box.max_x - box.min_x, minimum_cell_size) / 2;
    const double hy = std::max(box.max_y - box.min_y, minimum_cell_size) / 2;
    // Growth doubles the root from its size; a root without positive, finite extent (in
    // floating point, at its position) could never grow to reach an object.
    const bool usable =
        std::isfinite(minimum_cell_size) && minimum_cell_size > 0 && std::isfinite(cx - hx) &&
        std::isfinite(cx + hx) && std::isfinite(cy - hy) && std::isfinite(cy + hy) &&
        (cx + hx) - (cx - hx) > 0 && (cy + hy) - (cy - hy) > 0 && std::isfinite(box.min_x) &&
        std::isfinite(box.max_x) && std::isfinite(box.min_y) && std::isfinite(box.max_y);
    if (!usable) {
        QM_ASSERT(!"OpenSearchTree: invalid box or minimum cell size", kSource);
        return nullptr;
    }

    auto* tree = new (std::nothrow) SearchTreeType_s{};
    if (!tree) return nullptr;
    tree->root_min_x = cx - hx;
    tree->root_max_x = cx + hx;
    tree->root_min_y = cy - hy;
    tree->root_max_y = cy + hy;
    tree->centre_x = cx;
    tree->centre_y = cy;
    tree->half_x = hx;
    tree->half_y = hy;
    tree->minimum_cell_size = minimum_cell_size;
    tree->node_pool = tool_allocator_create(sizeof(Node), 500, 0, "searchtree nodes", __LINE__);
    tree->entry_pool = tool_allocator_create(sizeof(Entry), 400, 0, "searchtree entries", __LINE__);
    tree->cursor_pool =
        tool_allocator_create(sizeof(PointerType_s), 16, 0, "searchtree cursors", __LINE__);
    if (!tree->node_pool || !tree->entry_pool || !tree->cursor_pool) {
        DestroyPools(tree);
        delete tree;
        return nullptr;
    }
    return tree;
}

void InsertObjectOnTree(SearchTreeType_s* tree, void* object, int32_t object_class, extrema_s box) {
    if (!tree) return;
    if (IsDegenerate(tree)) {
        QM_ASSERT(!"InsertObjectOnTree: Empty tree.", kSource);
        return;
    }
    const Placement p = PlacementOf(tree, box);
    for (int steps = 0; !Accepts(tree->RootCell(), p); ++steps) {
        if (steps == kMaxGrowthSteps || !Grow(tree, p)) return;
    }

    Node** slot = &tree->root;
    Cell cell = tree->RootCell();
    for (;;) {
        if (!*slot) {
            *slot = NewNode(tree, cell.MidX(), cell.MidY());
            if (!*slot) return;
        }
        Node* node = *slot;
        int taker = -1;
        Cell child_cell{};
        for (int i = 0; i < 4 && taker < 0; ++i) {
            child_cell = cell.Child(i);
            if (Accepts(child_cell, p)) taker = i;
        }
        if (taker >= 0) {
            slot = &node->children[taker];
            cell = child_cell;
            continue;
        }
        auto* entry = static_cast<Entry*>(tool_allocator_alloc(tree->entry_pool));
        if (!entry) return;
        *entry = Entry{object, object_class, box, node->entries};
        node->entries = entry;
        try {
            tree->index.emplace(object, node);
        } catch (...) {
            // Without its index record the entry could never be deleted: leave it out.
            node->entries = entry->next;
            tool_allocator_free(entry);
            QM_ASSERT(!"InsertObjectOnTree: out of memory", kSource);
        }
        return;
    }
}

bool DelObjectFromTree(SearchTreeType_s* tree, void* object) {
    if (!tree || !object) return false;
    auto [first, last] = tree->index.equal_range(object);
    if (first == last) return false;
    int removed = 0;
    for (auto it = first; it != last; ++it) removed += RemoveFromNode(it->second, object);
    tree->index.erase(first, last);
    return removed > 0;
}

bool ChangeTreeObjectClass(SearchTreeType_s* tree, void** object, int32_t new_class) {
    if (!tree || !object) return false;
    auto [first, last] = tree->index.equal_range(*object);
    bool found = false;
    for (auto it = first; it != last; ++it) {
        for (Entry* e = it->second->entries; e; e = e->next) {
            if (e->object == *object) {
                e->object_class = new_class;
                found = true;
            }
        }
    }
    return found;
}

PointerType_s* GetObjectsPointer(const SearchTreeType_s* tree, extrema_s query,
                                 int32_t class_mask) {
    if (!tree) return nullptr;
    auto* cursor = static_cast<PointerType_s*>(tool_allocator_alloc(tree->cursor_pool));
    if (!cursor) return nullptr;
    Query q{query, class_mask, tree->entry_pool, nullptr, false};
    if (tree->root && class_mask != 0) Collect(tree->root, tree->RootCell(), q);
    if (q.out_of_memory) {
        FreeEntries(q.results);
        tool_allocator_free(cursor);
        return nullptr;
    }
    cursor->first = cursor->current = q.results;
    return cursor;
}

bool GetNextObject(PointerType_s* cursor, void** object, int32_t* object_class, extrema_s* box) {
    if (!cursor || !cursor->current) return false;
    const Entry* e = cursor->current;
    if (object) *object = e->object;
    if (object_class) *object_class = e->object_class;
    if (box) *box = e->box;
    cursor->current = e->next;
    return true;
}

void ResetObjectsPointer(PointerType_s* cursor) {
    if (cursor) cursor->current = cursor->first;
}

void DelObjectsPointer(PointerType_s** cursor) {
    if (!cursor || !*cursor) return;
    FreeEntries((*cursor)->first);
    tool_allocator_free(*cursor);
    *cursor = nullptr;
}

void CloseSearchTree(SearchTreeType_s** tree) {
    if (!tree || !*tree) return;
    // Nodes and entries all live in the tree's pools, so destroying the pools returns them.
    DestroyPools(*tree);
    delete *tree;
    *tree = nullptr;
}

SearchTreeShape_s InspectSearchTree(const SearchTreeType_s* tree) {
    SearchTreeShape_s shape{};
    if (!tree) return shape;
    shape.root_min_x = tree->root_min_x;
    shape.root_max_x = tree->root_max_x;
    shape.root_min_y = tree->root_min_y;
    shape.root_max_y = tree->root_max_y;
    uint64_t reserved = 0;
    for (const tool_allocator_s* pool : {tree->node_pool, tree->entry_pool, tree->cursor_pool}) {
        uint64_t bytes = 0;
        tool_allocator_stats(pool, nullptr, nullptr, nullptr, nullptr, nullptr, &bytes);
        reserved += bytes;
    }
    tool_allocator_stats(tree->node_pool, &shape.nodes, nullptr, nullptr, nullptr, nullptr,
                         nullptr);
    tool_allocator_stats(tree->entry_pool, &shape.entries, nullptr, nullptr, nullptr, nullptr,
                         nullptr);
    shape.bytes_reserved = reserved;
    shape.index_records = tree->index.size();
    return shape;
}

}  // namespace searchtree
