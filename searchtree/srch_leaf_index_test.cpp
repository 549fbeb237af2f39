// Tests of the id index: records of one id in several places, moves and removals, and a
// long random run against std::multimap (which exercises the backward-shift deletion).
#include "searchtree/srch_leaf_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

namespace {

using srch_detail::LeafIndex;
using srch_detail::LeafPlace;
using srch_detail::OctNode;

OctNode* Node(uintptr_t n) {
    return reinterpret_cast<OctNode*>(n * 64);
}

TEST(SrchLeafIndex, KeepsEveryPlaceOfAnId) {
    LeafIndex index;
    LeafPlace place{};
    EXPECT_FALSE(index.FindAny(5, &place));
    ASSERT_TRUE(index.Insert(5, {Node(1), 3, false}));
    ASSERT_TRUE(index.Insert(5, {Node(2), 0, true}));
    EXPECT_EQ(index.Count(), 2u);
    EXPECT_FALSE(index.Erase(5, {Node(1), 3, true}));  // same slot, other array
    EXPECT_TRUE(index.Update(5, {Node(1), 3, false}, {Node(4), 9, false}));
    EXPECT_FALSE(index.Update(5, {Node(1), 3, false}, {Node(4), 9, false}));
    EXPECT_TRUE(index.Erase(5, {Node(2), 0, true}));
    ASSERT_TRUE(index.FindAny(5, &place));
    EXPECT_EQ(place, (LeafPlace{Node(4), 9, false}));
    EXPECT_TRUE(index.Erase(5, place));
    EXPECT_FALSE(index.FindAny(5, &place));
    EXPECT_EQ(index.Count(), 0u);
}

TEST(SrchLeafIndex, ResetGoesBackToEightBuckets) {
    LeafIndex index;
    for (int id = 1; id <= 100; ++id) ASSERT_TRUE(index.Insert(id, {Node(1), uint32_t(id), false}));
    EXPECT_EQ(index.Buckets(), 256u);
    index.ClearKeepingBuckets();
    EXPECT_EQ(index.Count(), 0u);
    EXPECT_EQ(index.Buckets(), 256u);
    index.Reset();
    EXPECT_EQ(index.Buckets(), 8u);
}

TEST(SrchLeafIndex, RandomOperationsMatchAMultimap) {
    std::mt19937 rng(7);
    LeafIndex index;
    std::multimap<int32_t, uint32_t> model;  // id -> slot (node fixed)
    uint32_t next_slot = 0;
    for (int step = 0; step < 20000; ++step) {
        const int32_t id = int32_t(rng() % 300) - 150;
        if (id == 0) continue;
        if (rng() % 3 != 0) {
            ASSERT_TRUE(index.Insert(id, {Node(1), next_slot, false}));
            model.emplace(id, next_slot++);
        } else {
            LeafPlace place{};
            const bool found = index.FindAny(id, &place);
            ASSERT_EQ(found, model.count(id) > 0) << id;
            if (!found) continue;
            auto [first, last] = model.equal_range(id);
            const auto it =
                std::find_if(first, last, [&](const auto& e) { return e.second == place.slot; });
            ASSERT_NE(it, last);
            model.erase(it);
            ASSERT_TRUE(index.Erase(id, place));
        }
        ASSERT_EQ(index.Count(), model.size());
    }
    for (const auto& [id, slot] : model) EXPECT_TRUE(index.Erase(id, {Node(1), slot, false}));
    EXPECT_EQ(index.Count(), 0u);
}

}  // namespace
