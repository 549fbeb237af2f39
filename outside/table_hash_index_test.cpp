// The open-addressing hash index against a plain multimap model under random inserts and
// deletions, with deliberately colliding hashes so that probe runs wrap and shift back.
#include "outside/table_hash_index.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

namespace table_store {
namespace {

TEST(HashIndexTest, MatchesAModelUnderChurnWithCollisions) {
    HashIndex index;
    std::map<uint32_t, uint64_t> model;  // id -> hash
    std::mt19937_64 rng(5);
    uint32_t next_id = 0;
    for (int step = 0; step < 20000; ++step) {
        // Few distinct hashes, some near the top of the bucket range, so runs collide and wrap.
        const uint64_t hash = (rng() % 40) | (step % 3 == 0 ? 0xfffffff0ULL : 0);
        if (model.empty() || rng() % 3 != 0) {
            index.reserve(index.size() + 1);
            index.insert(hash, next_id);
            model[next_id++] = hash;
        } else {
            auto it = model.begin();
            std::advance(it, static_cast<long>(rng() % model.size()));
            ASSERT_TRUE(index.erase(it->second, it->first));
            ASSERT_FALSE(index.erase(it->second, it->first)) << "erased twice";
            model.erase(it);
        }
        ASSERT_EQ(model.size(), index.size());
        if (step % 997 == 0) {  // every id is still found under its own hash
            for (const auto& [id, h] : model) {
                const uint32_t wanted = id;
                ASSERT_EQ(wanted,
                          index.find(h, [&](uint32_t candidate) { return candidate == wanted; }));
            }
        }
    }
    EXPECT_EQ(HashIndex::kNone, index.find(1000, [](uint32_t) { return true; }));  // no such hash
    index.clear();
    EXPECT_EQ(0u, index.size());
    EXPECT_EQ(HashIndex::kNone, index.find(model.begin()->second, [](uint32_t) { return true; }));
}

}  // namespace
}  // namespace table_store
