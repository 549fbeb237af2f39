// Tests of the quadtree's object index: records of one object in several nodes, removal of
// every record of an object amid colliding neighbours, and a random run against a multimap.
#include "searchtree/object_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

namespace {

using searchtree::ObjectIndex;

char g_objects[512];
int g_nodes[4];

std::vector<void*> NodesOf(const ObjectIndex& index, const void* object) {
    std::vector<void*> nodes;
    index.ForEach(object, [&](void* node) { nodes.push_back(node); });
    std::sort(nodes.begin(), nodes.end());
    return nodes;
}

TEST(ObjectIndex, KeepsEveryRecordOfAnObjectAndErasesThemTogether) {
    ObjectIndex index;
    EXPECT_EQ(index.EraseAll(&g_objects[0]), 0u);
    EXPECT_TRUE(NodesOf(index, &g_objects[0]).empty());
    ASSERT_TRUE(index.Insert(&g_objects[0], &g_nodes[1]));
    ASSERT_TRUE(index.Insert(&g_objects[8], &g_nodes[2]));
    ASSERT_TRUE(index.Insert(&g_objects[0], &g_nodes[0]));
    ASSERT_TRUE(index.Insert(&g_objects[0], &g_nodes[1]));  // twice in one node
    EXPECT_EQ(index.Count(), 4u);
    std::vector<void*> expected{&g_nodes[0], &g_nodes[1], &g_nodes[1]};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(NodesOf(index, &g_objects[0]), expected);
    EXPECT_EQ(index.EraseAll(&g_objects[0]), 3u);
    EXPECT_EQ(index.EraseAll(&g_objects[0]), 0u);
    EXPECT_EQ(NodesOf(index, &g_objects[8]), std::vector<void*>{&g_nodes[2]});
    EXPECT_EQ(index.Count(), 1u);
    EXPECT_TRUE(NodesOf(index, nullptr).empty());
}

TEST(ObjectIndex, MatchesAMultimapThroughGrowthAndRemoval) {
    ObjectIndex index;
    std::multimap<const void*, void*> model;
    std::mt19937 rng(7);
    for (int step = 0; step < 20000; ++step) {
        const void* object = &g_objects[rng() % 200];  // neighbours collide in their buckets
        if (rng() % 3 == 0) {
            EXPECT_EQ(index.EraseAll(object), model.erase(object));
        } else {
            void* node = &g_nodes[rng() % 4];
            ASSERT_TRUE(index.Insert(object, node));
            model.emplace(object, node);
        }
        if (step % 997 == 0) {
            for (int i = 0; i < 200; ++i) {
                std::vector<void*> expected;
                auto [first, last] = model.equal_range(&g_objects[i]);
                for (auto it = first; it != last; ++it) expected.push_back(it->second);
                std::sort(expected.begin(), expected.end());
                ASSERT_EQ(NodesOf(index, &g_objects[i]), expected) << step << " " << i;
            }
        }
    }
    EXPECT_EQ(index.Count(), model.size());
    EXPECT_GE(index.MemoryBytes(), index.Count() * 16);
}

}  // namespace
