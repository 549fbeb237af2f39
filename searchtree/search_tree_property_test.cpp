// Property tests of the loose quadtree against a brute-force scan: on random boxes, after
// random deletions and class changes, every exact plan overlap of the right class is found,
// and nothing is found that is not stored with a matching class.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "searchtree/search_tree.h"

namespace {

using namespace searchtree;

struct Stored {
    extrema_s box;
    int32_t object_class;
    bool live;
};

extrema_s RandomBox(std::mt19937& rng, double world, double max_size) {
    std::uniform_real_distribution<double> where(-world, world);
    std::uniform_real_distribution<double> size(0, max_size);
    const double x = where(rng), y = where(rng);
    return {x, y, 0, x + size(rng), y + size(rng), 1};  // braces keep the draws in order
}

bool Overlaps(const extrema_s& a, const extrema_s& b) {
    return a.min_x <= b.max_x && b.min_x <= a.max_x && a.min_y <= b.max_y && b.min_y <= a.max_y;
}

void CheckQueries(const SearchTreeType_s* tree, const std::vector<Stored>& stored,
                  std::mt19937& rng, double world) {
    for (int q = 0; q < 60; ++q) {
        const extrema_s query = RandomBox(rng, world * 1.2, world / 4);
        const int32_t mask = int32_t(rng() % 7) + 1;
        std::map<size_t, int> found;
        PointerType_s* cursor = GetObjectsPointer(tree, query, mask);
        void* object = nullptr;
        int32_t object_class = 0;
        extrema_s box{};
        while (GetNextObject(cursor, &object, &object_class, &box)) {
            const size_t i = static_cast<const Stored*>(object) - stored.data();
            ASSERT_LT(i, stored.size());
            EXPECT_TRUE(stored[i].live) << i;
            EXPECT_NE(object_class & mask, 0);
            EXPECT_EQ(object_class, stored[i].object_class);
            EXPECT_EQ(box.min_x, stored[i].box.min_x);
            ++found[i];
        }
        DelObjectsPointer(&cursor);
        for (size_t i = 0; i < stored.size(); ++i) {
            const Stored& s = stored[i];
            if (!s.live || !(s.object_class & mask) || !Overlaps(s.box, query)) continue;
            EXPECT_EQ(found[i], 1) << "object " << i << " query " << q;
        }
    }
}

TEST(SearchTreeProperty, MatchesABruteForceScan) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
        std::mt19937 rng(seed);
        const double world = seed % 2 ? 1000 : 50000;
        // The tree starts small so that growth in every direction is exercised.
        SearchTreeType_s* tree = OpenSearchTree({0, 0, 0, 10, 10, 0}, seed % 2 ? 0.5 : 20);
        ASSERT_NE(tree, nullptr);
        std::vector<Stored> stored(1500);
        for (Stored& s : stored) {
            s = Stored{RandomBox(rng, world, world / (rng() % 2 ? 500 : 20)),
                       int32_t(1u << (rng() % 3)), true};
            InsertObjectOnTree(tree, &s, s.object_class, s.box);
        }
        CheckQueries(tree, stored, rng, world);
        for (Stored& s : stored) {
            const unsigned dice = rng() % 4;
            if (dice == 0) {
                EXPECT_TRUE(DelObjectFromTree(tree, &s));
                s.live = false;
            } else if (dice == 1) {
                void* object = &s;
                s.object_class = int32_t(1u << (rng() % 3));
                EXPECT_TRUE(ChangeTreeObjectClass(tree, &object, s.object_class));
            }
        }
        CheckQueries(tree, stored, rng, world);
        CloseSearchTree(&tree);
    }
}

}  // namespace
