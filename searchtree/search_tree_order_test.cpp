// The quadtree query against a plain recursive walk of the same tree: the same entries, in
// the same order, for trees whose nodes hold a few entries or many hundreds, for queries
// that find nothing or everything, at coordinates where single precision is coarse, and
// after deletions and class changes.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "searchtree/search_tree.h"
#include "searchtree/search_tree_inspect.h"

namespace {

using namespace searchtree;

// Compares every handed-out result with the plain walk's; gives how many there were.
size_t ExpectSameAsPlainWalk(const SearchTreeType_s* tree, const extrema_s& query, int32_t mask) {
    const std::vector<QueryMatch_s> expected = QueryPlainly(tree, query, mask);
    PointerType_s* cursor = GetObjectsPointer(tree, query, mask);
    EXPECT_NE(cursor, nullptr);
    QueryMatch_s got{};
    size_t i = 0;
    while (GetNextObject(cursor, &got.object, &got.object_class, &got.box)) {
        if (i < expected.size()) {
            EXPECT_EQ(got.object, expected[i].object) << "result " << i;
            EXPECT_EQ(got.object_class, expected[i].object_class) << "result " << i;
            EXPECT_EQ(got.box.max_y, expected[i].box.max_y) << "result " << i;
        }
        ++i;
    }
    EXPECT_EQ(i, expected.size());
    DelObjectsPointer(&cursor);
    return i;
}

struct Scenario {
    const char* name;
    double origin;    // where the objects lie
    double world;     // half the width of the region they lie in
    double max_size;  // of an object, on each axis
    int objects;
};

TEST(SearchTreeOrder, SameEntriesInTheSameOrderAsAPlainWalk) {
    const Scenario scenarios[] = {
        {"small objects spread out", 0, 50000, 500, 3000},
        {"objects of every size", 0, 50000, 40000, 3000},
        // All of them end up in one node, so its scan runs over several blocks and more
        // candidates wait than there are slots for them.
        {"one crowded node", 0, 10, 1, 900},
        {"far from the origin", 3e10, 2000, 50, 2000},
    };
    for (const Scenario& sc : scenarios) {
        SCOPED_TRACE(sc.name);
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> where(sc.origin - sc.world, sc.origin + sc.world);
        std::uniform_real_distribution<double> size(0, sc.max_size);
        SearchTreeType_s* tree =
            OpenSearchTree({sc.origin, sc.origin, 0, sc.origin + 10, sc.origin + 10, 0}, 1);
        ASSERT_NE(tree, nullptr);
        std::vector<extrema_s> boxes(size_t(sc.objects));
        for (extrema_s& b : boxes) {
            const double x = where(rng), y = where(rng);
            b = {x, y, 0, x + size(rng), y + size(rng), 0};
            InsertObjectOnTree(tree, &b, int32_t(1u << (rng() % 3)), b);
        }
        size_t found = 0;
        for (int q = 0; q < 40; ++q) {
            const double x = where(rng), y = where(rng), s = sc.world * (q % 4) / 3;
            found += ExpectSameAsPlainWalk(tree, {x, y, 0, x + s, y + s, 0}, q % 8);
        }
        // A box that touches a stored one only at an edge is found when it is near enough.
        const extrema_s& b = boxes[0];
        found += ExpectSameAsPlainWalk(tree, {b.max_x, b.max_y, 0, b.max_x, b.max_y, 0}, 7);
        found += ExpectSameAsPlainWalk(tree,
                                       {sc.origin - 2 * sc.world, sc.origin - 2 * sc.world, 0,
                                        sc.origin + 2 * sc.world, sc.origin + 2 * sc.world, 0},
                                       7);
        EXPECT_GT(found, boxes.size());

        for (size_t i = 0; i < boxes.size(); i += 3) {
            EXPECT_TRUE(DelObjectFromTree(tree, &boxes[i]));
            void* object = &boxes[i + 1 < boxes.size() ? i + 1 : i];
            ChangeTreeObjectClass(tree, &object, 4);
        }
        for (int q = 0; q < 10; ++q) {
            const double x = where(rng), y = where(rng), s = sc.world * (q % 3);
            ExpectSameAsPlainWalk(tree, {x, y, 0, x + s, y + s, 0}, q % 2 ? 4 : 3);
        }
        CloseSearchTree(&tree);
    }
}

TEST(SearchTreeOrder, PlainWalkOfANullOrEmptyTreeFindsNothing) {
    EXPECT_TRUE(QueryPlainly(nullptr, {0, 0, 0, 1, 1, 0}, 1).empty());
    SearchTreeType_s* tree = OpenSearchTree({0, 0, 0, 10, 10, 0}, 1);
    EXPECT_EQ(ExpectSameAsPlainWalk(tree, {0, 0, 0, 10, 10, 0}, 1), 0u);
    int object = 0;
    InsertObjectOnTree(tree, &object, 1, {1, 1, 0, 2, 2, 0});
    EXPECT_EQ(ExpectSameAsPlainWalk(tree, {0, 0, 0, 10, 10, 0}, 1), 1u);
    EXPECT_EQ(ExpectSameAsPlainWalk(tree, {0, 0, 0, 10, 10, 0}, 2), 0u);
    CloseSearchTree(&tree);
}

}  // namespace
