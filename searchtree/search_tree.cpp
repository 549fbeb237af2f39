// Loose quadtree: every node's loose region is its cell widened by half the cell on each
// side, so an object sits in the deepest node whose cell holds its centre and whose loose
// region holds its whole (placement) box. Cells are not stored; they follow from the path,
// and insertion and queries derive them the same way.
//
// A node keeps its entries in one array in insertion order, beside a compact array of
// their plan boxes in single precision, so that a query scans memory in order and reads
// 16 bytes per entry it rules out. Query results are copied into fixed-size blocks from
// the tree's pool and appended in result order.
#include "searchtree/search_tree.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SSE__) || defined(_M_X64)
#include <xmmintrin.h>
#define SEARCHTREE_SSE 1
#endif

#include "outside/assert_log.h"
#include "searchtree/float_bounds.h"
#include "searchtree/object_index.h"
#include "searchtree/search_tree_inspect.h"
#include "tools/allocator.h"

namespace searchtree {
namespace {

using srch_detail::FloatAbove;
using srch_detail::FloatBelow;

constexpr const char* kSource = "searchtree";
// Objects beyond this distance from the origin make the tree refuse to grow.
constexpr double kFarLimit = 1e11;
// Growth doubles the root, so from any positive size the far limit is reached in far fewer
// steps than this; the bound only guarantees termination whatever the floating point does.
constexpr int kMaxGrowthSteps = 4096;
constexpr double kDegenerate = 0.01;
// Results per block: a typical window query fills a few blocks.
constexpr uint32_t kResultsPerChunk = 32;
// Candidates are picked from this many entries at a time before their full records are read.
constexpr uint32_t kScanBlock = 256;
// Candidate records asked for and not yet read: the oldest is read when the list is full,
// and at the end of each node those beyond the newest kCandidatesAhead.
constexpr uint32_t kPendingSlots = 256;
constexpr uint32_t kCandidatesAhead = 24;
// Lines of a node's single-precision boxes asked for when the node is found.
constexpr uint32_t kBoundLinesAhead = 16;
// Nodes a query's list may hold between queries (a typical window query enters well under
// a hundred).
constexpr size_t kKeptVisits = 4096;

struct Entry {
    void* object;
    extrema_s box;
    int32_t object_class;
};
constexpr size_t kCacheLine = 64;
static_assert(sizeof(Entry) <= kCacheLine);

// A node's entries, oldest first. `bounds` runs parallel to `items`: each entry's plan box
// in single precision, rounded outwards and stored as (min x, min y, -max x, -max y), so
// that one four-way "not above" comparison with the query's (max x, max y, -min x, -min y)
// tells whether it may meet the query. Both live in one allocation aligned to a cache line
// that starts at `items`, so that reading an entry costs one line.
struct EntryArray {
    float (*bounds)[4];
    Entry* items;
    uint32_t size;
    uint32_t capacity;
};

// The centre of a node's cell follows from the path like the cell itself, so it is not
// kept: a node then fits one cache line.
struct Node {
    EntryArray entries;
    Node* children[4];  // lower-left, lower-right, upper-left, upper-right
};

struct ResultChunk {
    ResultChunk* next;
    uint32_t count;
    Entry items[kResultsPerChunk];
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

// The nodes a query enters, breadth first, each with its cell and the range of its entered
// children (in the order upper-right to lower-left) further on in the same list.
struct QueryScratch {
    struct Visit {
        const Node* node;
        Cell cell;
        uint32_t first_child;
        uint32_t child_count;
    };
    // A candidate entry whose full record has been asked for, with the node it belongs to.
    struct Pending {
        const Entry* entry;
        uint32_t visit;
    };
    std::vector<Visit> visits;
    std::vector<uint32_t> stack;
    Pending pending[kPendingSlots];
    uint32_t picked[kScanBlock];
};

}  // namespace

struct SearchTreeType_s {
    double root_min_x, root_max_x, root_min_y, root_max_y;
    double centre_x, centre_y;
    double half_x, half_y;
    double minimum_cell_size;
    // Every node that holds an entry of the object, once per stored entry; deletion and
    // class changes visit exactly these.
    ObjectIndex index;
    tool_allocator_s* node_pool;
    tool_allocator_s* chunk_pool;  // blocks of query results
    tool_allocator_s* cursor_pool;
    Node* root;
    uint32_t entry_count;
    uint64_t entry_bytes;  // held by the nodes' entry arrays
    // Made by the first query and kept for the next ones (a tree serves one thread at a time).
    mutable QueryScratch* scratch;

    Cell RootCell() const {
        return {root_min_x, root_max_x, root_min_y, root_max_y, half_x, half_y};
    }
};

struct PointerType_s {
    ResultChunk* first;
    ResultChunk* current;
    uint32_t position;  // in `current`
};

namespace {

constexpr size_t kBytesPerEntry = sizeof(Entry) + sizeof(float[4]);

void DestroyPools(SearchTreeType_s* tree) {
    tool_allocator_destroy(tree->node_pool);
    tool_allocator_destroy(tree->chunk_pool);
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

Node* NewNode(SearchTreeType_s* tree) {
    auto* node = static_cast<Node*>(tool_allocator_alloc(tree->node_pool));
    if (!node) return nullptr;
    *node = Node{{}, {nullptr, nullptr, nullptr, nullptr}};
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
        Node* root = NewNode(t);
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

void FreeEntryArray(const EntryArray& a) {
    if (a.items) operator delete (static_cast<void*>(a.items), std::align_val_t{kCacheLine});
}

// Appends an entry to the node's array. False when the array cannot grow.
bool AppendEntry(SearchTreeType_s* tree, Node* node, const Entry& entry) {
    EntryArray& a = node->entries;
    if (a.size == a.capacity) {
        const uint32_t capacity = a.capacity ? a.capacity * 2 : 2;
        if (capacity <= a.capacity) return false;
        auto* block = static_cast<unsigned char*>(operator new (
            capacity* kBytesPerEntry, std::align_val_t{kCacheLine}, std::nothrow));
        if (!block) return false;
        auto* items = reinterpret_cast<Entry*>(block);
        auto* bounds = reinterpret_cast<float(*)[4]>(block + capacity * sizeof(Entry));
        if (a.size > 0) {
            std::memcpy(static_cast<void*>(bounds), a.bounds, a.size * sizeof(float[4]));
            std::memcpy(static_cast<void*>(items), a.items, a.size * sizeof(Entry));
        }
        FreeEntryArray(a);
        tree->entry_bytes += uint64_t(capacity - a.capacity) * kBytesPerEntry;
        a.bounds = bounds;
        a.items = items;
        a.capacity = capacity;
    }
    float* b = a.bounds[a.size];
    b[0] = FloatBelow(entry.box.min_x);
    b[1] = FloatBelow(entry.box.min_y);
    b[2] = -FloatAbove(entry.box.max_x);
    b[3] = -FloatAbove(entry.box.max_y);
    a.items[a.size++] = entry;
    ++tree->entry_count;
    return true;
}

// Removes every entry of `object` from the node's array, keeping the order of the rest;
// gives how many were removed.
uint32_t RemoveFromNode(Node* node, const void* object) {
    EntryArray& a = node->entries;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < a.size; ++i) {
        if (a.items[i].object == object) continue;
        if (kept != i) {
            a.items[kept] = a.items[i];
            std::memcpy(a.bounds[kept], a.bounds[i], sizeof(float[4]));
        }
        ++kept;
    }
    const uint32_t removed = a.size - kept;
    a.size = kept;
    return removed;
}

// Frees every entry array below `node` (the nodes themselves go with their pool).
void FreeEntryArrays(Node* node) {
    for (Node* child : node->children) {
        if (child) FreeEntryArrays(child);
    }
    FreeEntryArray(node->entries);
}

void FreeChunks(ResultChunk* chunk) {
    while (chunk) {
        ResultChunk* next = chunk->next;
        tool_allocator_free(chunk);
        chunk = next;
    }
}

bool Enters(const Cell& cell, const extrema_s& b) {
    return cell.x1 + cell.margin_x >= b.min_x && cell.y1 + cell.margin_y >= b.min_y &&
           b.max_x >= cell.x0 - cell.margin_x && b.max_y >= cell.y0 - cell.margin_y;
}

// The query box widened by half a node's margins: an entry of that node is a match when its
// box meets it. Entries lie within the loose region, so boxes just outside the query count
// as near.
struct Widened {
    double min_x, min_y, max_x, max_y;
};

Widened WidenedQuery(const extrema_s& q, const Cell& cell) {
    return {q.min_x - cell.margin_x / 2, q.min_y - cell.margin_y / 2, q.max_x + cell.margin_x / 2,
            q.max_y + cell.margin_y / 2};
}

bool Matches(const Entry& e, const Widened& w, int32_t mask) {
    return (e.object_class & mask) && e.box.min_x <= w.max_x && e.box.min_y <= w.max_y &&
           e.box.max_x >= w.min_x && e.box.max_y >= w.min_y;
}

// The results of one query, in blocks from the tree's pool.
struct ResultList {
    tool_allocator_s* chunk_pool;
    ResultChunk* first = nullptr;
    ResultChunk* last = nullptr;
    bool out_of_memory = false;

    void Add(const Entry& e) {
        ResultChunk* chunk = last;
        if (!chunk || chunk->count == kResultsPerChunk) {
            chunk = static_cast<ResultChunk*>(tool_allocator_alloc(chunk_pool));
            if (!chunk) {
                out_of_memory = true;
                return;
            }
            chunk->next = nullptr;
            chunk->count = 0;
            (last ? last->next : first) = chunk;
            last = chunk;
        }
        chunk->items[chunk->count++] = e;
    }
};

// Picks from `bounds[start, end)` the entries whose single-precision box may meet the
// query (all four bounds not above `key`); gives how many indexes it wrote to `picked`.
uint32_t PickCandidates(const float (*bounds)[4], uint32_t start, uint32_t end, const float* key,
                        uint32_t* picked) {
    uint32_t count = 0;
#ifdef SEARCHTREE_SSE
    const __m128 k = _mm_loadu_ps(key);
    for (uint32_t i = start; i < end; ++i) {
        picked[count] = i;
        count += _mm_movemask_ps(_mm_cmple_ps(_mm_load_ps(bounds[i]), k)) == 15;
    }
#else
    for (uint32_t i = start; i < end; ++i) {
        const float* b = bounds[i];
        picked[count] = i;
        count += (b[0] <= key[0]) & (b[1] <= key[1]) & (b[2] <= key[2]) & (b[3] <= key[3]);
    }
#endif
    return count;
}

// Asks for the single-precision boxes of a node's entries, up to a bound: a query that
// visits many nodes would otherwise push out of the cache what it asked for first.
void PrefetchBounds(const EntryArray& a) {
    constexpr uint32_t kPerLine = kCacheLine / sizeof(float[4]);
    const uint32_t lines = std::min<uint32_t>((a.size + kPerLine - 1) / kPerLine, kBoundLinesAhead);
    for (uint32_t i = 0; i < lines; ++i) __builtin_prefetch(a.bounds + i * kPerLine);
}

// A query runs in three overlapping steps so that its memory fetches overlap rather than
// follow one another. First the nodes it enters are found level by level, every node of a
// level asked for before any is read, and so are the boxes of their entries. Then the nodes
// are taken in result order (a node's own matches before those of its children), their
// candidates picked from the single-precision boxes, and the candidates' full records asked
// for; each candidate is tested in double and copied a number of candidates later, once its
// record has arrived. Throws std::bad_alloc when the scratch lists cannot grow.
void RunQuery(const SearchTreeType_s* tree, const extrema_s& query, int32_t mask, QueryScratch& s,
              ResultList& results) {
    auto& visits = s.visits;
    visits.clear();
    visits.push_back({tree->root, tree->RootCell(), 0, 0});
    for (size_t i = 0; i < visits.size(); ++i) {
        const Node* node = visits[i].node;
        const Cell cell = visits[i].cell;
        const auto first = uint32_t(visits.size());
        if (node->entries.size > 0) PrefetchBounds(node->entries);
        for (int c = 3; c >= 0; --c) {
            const Node* child = node->children[c];
            if (!child) continue;
            const Cell child_cell = cell.Child(c);
            if (!Enters(child_cell, query)) continue;
            __builtin_prefetch(child);
            visits.push_back({child, child_cell, 0, 0});
        }
        visits[i].first_child = first;
        visits[i].child_count = uint32_t(visits.size()) - first;
    }

    uint32_t head = 0, tail = 0;  // pending[head, tail) modulo the slots, oldest first
    auto finish_one = [&] {
        const QueryScratch::Pending& p = s.pending[head++ % kPendingSlots];
        if (Matches(*p.entry, WidenedQuery(query, visits[p.visit].cell), mask)) {
            results.Add(*p.entry);
        }
    };
    auto& stack = s.stack;
    stack.clear();
    stack.push_back(0);
    while (!stack.empty() && !results.out_of_memory) {
        const uint32_t v = stack.back();
        stack.pop_back();
        const QueryScratch::Visit& visit = visits[v];
        for (uint32_t k = visit.child_count; k-- > 0;) stack.push_back(visit.first_child + k);
        const EntryArray& a = visit.node->entries;
        if (a.size == 0) continue;
        const Widened w = WidenedQuery(query, visit.cell);
        // Rounded outwards like the stored boxes, so no entry that meets the query is passed by.
        const float key[4] = {FloatAbove(w.max_x), FloatAbove(w.max_y), -FloatBelow(w.min_x),
                              -FloatBelow(w.min_y)};
        for (uint32_t start = 0; start < a.size; start += kScanBlock) {
            const uint32_t end = std::min(a.size, start + kScanBlock);
            const uint32_t count = PickCandidates(a.bounds, start, end, key, s.picked);
            for (uint32_t k = 0; k < count; ++k) {
                if (tail - head == kPendingSlots) finish_one();
                const Entry* e = &a.items[s.picked[k]];
                __builtin_prefetch(e);
                s.pending[tail++ % kPendingSlots] = {e, v};
            }
        }
        while (tail - head > kCandidatesAhead) finish_one();
    }
    while (tail != head && !results.out_of_memory) finish_one();
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
    tree->chunk_pool =
        tool_allocator_create(sizeof(ResultChunk), 8, 0, "searchtree results", __LINE__);
    tree->cursor_pool =
        tool_allocator_create(sizeof(PointerType_s), 16, 0, "searchtree cursors", __LINE__);
    if (!tree->node_pool || !tree->chunk_pool || !tree->cursor_pool) {
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
            *slot = NewNode(tree);
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
        if (!AppendEntry(tree, node, Entry{object, box, object_class})) {
            QM_ASSERT(!"InsertObjectOnTree: out of memory", kSource);
            return;
        }
        if (!tree->index.Insert(object, node)) {
            // Without its index record the entry could never be deleted: leave it out.
            --node->entries.size;
            --tree->entry_count;
            QM_ASSERT(!"InsertObjectOnTree: out of memory", kSource);
        }
        return;
    }
}

bool DelObjectFromTree(SearchTreeType_s* tree, void* object) {
    if (!tree || !object) return false;
    uint32_t removed = 0;
    tree->index.ForEach(
        object, [&](void* node) { removed += RemoveFromNode(static_cast<Node*>(node), object); });
    tree->entry_count -= removed;
    tree->index.EraseAll(object);
    return removed > 0;
}

bool ChangeTreeObjectClass(SearchTreeType_s* tree, void** object, int32_t new_class) {
    if (!tree || !object) return false;
    bool found = false;
    tree->index.ForEach(*object, [&](void* node) {
        EntryArray& a = static_cast<Node*>(node)->entries;
        for (uint32_t i = 0; i < a.size; ++i) {
            if (a.items[i].object == *object) {
                a.items[i].object_class = new_class;
                found = true;
            }
        }
    });
    return found;
}

PointerType_s* GetObjectsPointer(const SearchTreeType_s* tree, extrema_s query,
                                 int32_t class_mask) {
    if (!tree) return nullptr;
    auto* cursor = static_cast<PointerType_s*>(tool_allocator_alloc(tree->cursor_pool));
    if (!cursor) return nullptr;
    ResultList results{tree->chunk_pool};
    if (tree->root && class_mask != 0 && Enters(tree->RootCell(), query)) {
        if (!tree->scratch) tree->scratch = new (std::nothrow) QueryScratch;
        if (!tree->scratch) {
            results.out_of_memory = true;
        } else {
            try {
                RunQuery(tree, query, class_mask, *tree->scratch, results);
            } catch (const std::bad_alloc&) {
                results.out_of_memory = true;
            }
            // A query over much of a large tree leaves long lists behind: not kept.
            if (tree->scratch->visits.capacity() > kKeptVisits) {
                std::vector<QueryScratch::Visit>().swap(tree->scratch->visits);
                std::vector<uint32_t>().swap(tree->scratch->stack);
            }
        }
    }
    if (results.out_of_memory) {
        FreeChunks(results.first);
        tool_allocator_free(cursor);
        return nullptr;
    }
    *cursor = PointerType_s{results.first, results.first, 0};
    return cursor;
}

bool GetNextObject(PointerType_s* cursor, void** object, int32_t* object_class, extrema_s* box) {
    if (!cursor) return false;
    // Only the last block is ever partly filled, so a full one means another may follow.
    while (cursor->current && cursor->position == cursor->current->count) {
        cursor->current = cursor->current->next;
        cursor->position = 0;
    }
    if (!cursor->current) return false;
    const Entry& e = cursor->current->items[cursor->position++];
    if (object) *object = e.object;
    if (object_class) *object_class = e.object_class;
    if (box) *box = e.box;
    return true;
}

void ResetObjectsPointer(PointerType_s* cursor) {
    if (!cursor) return;
    cursor->current = cursor->first;
    cursor->position = 0;
}

void DelObjectsPointer(PointerType_s** cursor) {
    if (!cursor || !*cursor) return;
    FreeChunks((*cursor)->first);
    tool_allocator_free(*cursor);
    *cursor = nullptr;
}

void CloseSearchTree(SearchTreeType_s** tree) {
    if (!tree || !*tree) return;
    // The nodes live in the node pool, so destroying the pools returns them.
    if ((*tree)->root) FreeEntryArrays((*tree)->root);
    delete (*tree)->scratch;
    DestroyPools(*tree);
    delete *tree;
    *tree = nullptr;
}

namespace {

void CollectPlainly(const Node* node, const Cell& cell, const extrema_s& query, int32_t mask,
                    std::vector<QueryMatch_s>* out) {
    const Widened w = WidenedQuery(query, cell);
    for (uint32_t i = 0; i < node->entries.size; ++i) {
        const Entry& e = node->entries.items[i];
        if (Matches(e, w, mask)) out->push_back({e.object, e.object_class, e.box});
    }
    for (int c = 3; c >= 0; --c) {
        const Cell child_cell = cell.Child(c);
        if (node->children[c] && Enters(child_cell, query)) {
            CollectPlainly(node->children[c], child_cell, query, mask, out);
        }
    }
}

}  // namespace

std::vector<QueryMatch_s> QueryPlainly(const SearchTreeType_s* tree, extrema_s query,
                                       int32_t class_mask) {
    std::vector<QueryMatch_s> out;
    if (tree && tree->root && class_mask != 0 && Enters(tree->RootCell(), query)) {
        CollectPlainly(tree->root, tree->RootCell(), query, class_mask, &out);
    }
    return out;
}

SearchTreeShape_s InspectSearchTree(const SearchTreeType_s* tree) {
    SearchTreeShape_s shape{};
    if (!tree) return shape;
    shape.root_min_x = tree->root_min_x;
    shape.root_max_x = tree->root_max_x;
    shape.root_min_y = tree->root_min_y;
    shape.root_max_y = tree->root_max_y;
    uint64_t reserved = tree->entry_bytes + tree->index.MemoryBytes();
    for (const tool_allocator_s* pool : {tree->node_pool, tree->chunk_pool, tree->cursor_pool}) {
        uint64_t bytes = 0;
        tool_allocator_stats(pool, nullptr, nullptr, nullptr, nullptr, nullptr, &bytes);
        reserved += bytes;
    }
    tool_allocator_stats(tree->node_pool, &shape.nodes, nullptr, nullptr, nullptr, nullptr,
                         nullptr);
    tool_allocator_stats(tree->chunk_pool, &shape.result_chunks, nullptr, nullptr, nullptr, nullptr,
                         nullptr);
    shape.entries = tree->entry_count;
    shape.bytes_reserved = reserved;
    shape.index_records = tree->index.Count();
    return shape;
}

}  // namespace searchtree
