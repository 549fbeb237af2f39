// Tests of the hash table: the exact hash arithmetic, shadowing of equal keys, collisions,
// callbacks, iteration (also while removing), key lists, printing and failures.
#include "tools/tool_hash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tools/containers_test_support.h"
#include "tools/tool_alloc.h"
#include "tools/tool_dstring.h"

namespace {

void* P(uintptr_t n) {
    return reinterpret_cast<void*>(n);
}

using CallLog = std::vector<std::pair<char, void*>>;  // ('k', key) or ('v', value)
void LogKey(void* entry, void* user) {
    static_cast<CallLog*>(user)->emplace_back('k', *static_cast<void**>(entry));
}
void LogValue(void* value_address, void* user) {
    static_cast<CallLog*>(user)->emplace_back('v', *static_cast<void**>(value_address));
}

std::vector<void*> Keys(tool_ptrlist_s* keys) {
    std::vector<void*> out;
    for (int more = tool_ptrlist_first(keys); more; more = tool_ptrlist_next(keys)) {
        out.push_back(tool_ptrlist_current(keys));
    }
    tool_ptrlist_delete(&keys, nullptr, nullptr);
    return out;
}

class HashTest : public ::testing::Test {
  protected:
    void TearDown() override {
        tool_alloc_fail_reset();
        tool_hash_destroy(&table_, nullptr, nullptr, nullptr);
    }
    tool_hash_s* table_ = nullptr;
};

TEST_F(HashTest, HashArithmetic) {
    EXPECT_EQ(tool_hash_int(10000, P(1)), 8535u);
    EXPECT_EQ(tool_hash_int(10000, P(0x100000001)), 7604u);  // the high half takes part
    EXPECT_EQ(tool_hash_int(10000, P(5)), 715u);  // h = 2377866395 is sign-extended first
    EXPECT_EQ(tool_hash_int(0, P(5)), 0u);
    EXPECT_EQ(tool_hash_string(10000, nullptr), 0u);
    EXPECT_EQ(tool_hash_intcmp(P(0x700000003), P(3)), 0);
    EXPECT_NE(tool_hash_intcmp(P(4), P(3)), 0);
    EXPECT_LT(tool_hash_stringcmp(nullptr, "x"), 0);
    // The text hash against its definition, for lengths up to 40 and bytes of both signs,
    // reduced by a small and by the largest bucket count.
    const auto reference = [](uint64_t buckets, const std::string& text) {
        uint32_t h = 0;
        for (char c : text)
            h = (static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(c))) ^ h) *
                    69069u +
                1u;
        return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(h))) % buckets;
    };
    std::mt19937 random(11);
    for (int i = 0; i < 3000; ++i) {
        std::string text(i % 41, 'x');
        for (char& c : text) c = static_cast<char>(1 + random() % (i % 3 ? 127 : 255));
        const uint64_t buckets = i % 2 ? 1000003 : UINT64_MAX;
        ASSERT_EQ(tool_hash_string(buckets, text.c_str()), reference(buckets, text)) << i;
    }
}

TEST_F(HashTest, LookupsReduceExactlyAsTheHashFunctions) {
    // Finds take a division-free path; every key must still be found in the bucket its
    // hash function names, whatever the bucket count and the sign of the 32-bit hash.
    std::mt19937_64 random(5);
    for (uint64_t buckets : {1, 2, 3, 7, 97, 10000, 65536, 1056323}) {
        table_ = tool_hash_create(buckets, nullptr, nullptr);
        tool_hash_s* texts = tool_hash_create(buckets, tool_hash_string, tool_hash_stringcmp);
        std::set<uint32_t> low_halves;
        std::vector<std::pair<uint64_t, std::string>> keys;
        while (low_halves.size() < 500) {
            const uint64_t key = random();
            if (!low_halves.insert(static_cast<uint32_t>(key)).second) continue;
            keys.emplace_back(key, std::to_string(key) + "\xf0\x9f");
            tool_hash_insert(table_, P(key), P(key ^ 1));
            tool_hash_insert(texts, tool_strdup(keys.back().second.c_str()), texts);
        }
        for (const auto& [key, name] : keys) {
            ASSERT_EQ(tool_hash_find(table_, P(key)), P(key ^ 1)) << buckets;
            ASSERT_EQ(tool_hash_find(texts, name.c_str()), texts) << buckets;
        }
        EXPECT_EQ(tool_hash_find(texts, "absent"), nullptr);
        tool_hash_destroy(&texts, tool_hash_stringfree, nullptr, nullptr);
        tool_hash_destroy(&table_, nullptr, nullptr, nullptr);
    }
}

TEST_F(HashTest, DefaultsEqualKeysAndCollisions) {
    table_ = tool_hash_create(0, nullptr, nullptr);
    ASSERT_NE(table_, nullptr);
    EXPECT_EQ(table_->bucket_count, 10000u);
    EXPECT_TRUE(table_->hash == &tool_hash_int && table_->compare == &tool_hash_intcmp);
    EXPECT_EQ(tool_hash_insert(table_, P(9), P(1)) + tool_hash_insert(table_, P(9), P(2)), 2);
    EXPECT_EQ(tool_hash_find(table_, P(9)), P(2));  // the newer entry shadows the older
    EXPECT_EQ(tool_hash_remove(table_, P(9), nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(tool_hash_find(table_, P(9)), P(1));
    tool_hash_destroy(&table_, nullptr, nullptr, nullptr);
    table_ = tool_hash_create(1, nullptr, nullptr);  // every key collides
    EXPECT_EQ(tool_hash_insert(table_, P(0x100000005), P(50)), 1);
    EXPECT_EQ(tool_hash_find(table_, P(5)), P(50));  // only the low halves are compared
    for (uintptr_t k = 1; k <= 100; ++k) tool_hash_insert(table_, P(k), P(k * 10));
    for (uintptr_t k = 2; k <= 100; k += 2)
        ASSERT_EQ(tool_hash_remove(table_, P(k), nullptr, nullptr, nullptr), 1);
    for (uintptr_t k = 1; k <= 100; ++k)
        ASSERT_EQ(tool_hash_find(table_, P(k)), k % 2 ? P(k * 10) : nullptr) << k;
}

TEST_F(HashTest, CallbacksRunKeyFirstThenValueBeforeTheEntryIsFreed) {
    table_ = tool_hash_create(3, nullptr, nullptr);  // buckets of 1..6: 0 2 1 0 2 1
    for (uintptr_t k = 1; k <= 6; ++k) tool_hash_insert(table_, P(k), P(k + 100));
    CallLog log;
    EXPECT_EQ(tool_hash_remove(table_, P(2), LogKey, LogValue, &log), 1);
    EXPECT_EQ(tool_hash_remove(table_, P(2), LogKey, LogValue, &log), 0);
    EXPECT_EQ(log, (CallLog{{'k', P(2)}, {'v', P(102)}}));
    log.clear();
    EXPECT_EQ(tool_hash_clear(&table_, LogKey, nullptr, &log), 1);
    // Bucket order, head of each chain first (the newest insert).
    EXPECT_EQ(log, (CallLog{{'k', P(4)}, {'k', P(1)}, {'k', P(6)}, {'k', P(3)}, {'k', P(5)}}));
    EXPECT_EQ(tool_hash_find(table_, P(4)), nullptr);
    tool_hash_destroy(&table_, nullptr, nullptr, nullptr);
    table_ = tool_hash_create(7, tool_hash_string, tool_hash_stringcmp);  // owning keys and values
    for (const char* name : {"alpha", "beta", "gamma"})
        tool_hash_insert(table_, tool_strdup(name), TOOL_MALLOC(16));
    EXPECT_EQ(tool_hash_find(table_, "gam"), nullptr);
    EXPECT_EQ(tool_hash_remove(table_, "beta", tool_hash_stringfree, tool_hash_freevalue, nullptr),
              1);
    EXPECT_EQ(tool_hash_destroy(&table_, tool_hash_stringfree, tool_hash_freevalue, nullptr), 1);
    EXPECT_EQ(table_, nullptr);  // the leak checker of the sanitizer build sees the rest
    EXPECT_EQ(tool_hash_destroy(&table_, nullptr, nullptr, nullptr) +
                  tool_hash_clear(&table_, nullptr, nullptr, nullptr),
              0);
}

TEST_F(HashTest, IterationVisitsEveryEntryOnceInBucketOrder) {
    table_ = tool_hash_create(7, nullptr, nullptr);
    void* key = P(1);
    void* value = P(1);
    EXPECT_EQ(tool_hash_first(table_, &key, &value), 0);
    EXPECT_TRUE(key == nullptr && value == nullptr);
    for (uintptr_t k = 1; k <= 500; ++k) tool_hash_insert(table_, P(k), P(k * 2));
    std::vector<uint64_t> buckets;
    std::set<void*> seen;
    for (int more = tool_hash_first(table_, &key, &value); more;
         more = tool_hash_next(table_, &key, &value)) {
        ASSERT_TRUE(seen.insert(key).second);
        ASSERT_EQ(value, P(reinterpret_cast<uintptr_t>(key) * 2));
        buckets.push_back(tool_hash_int(7, key));
    }
    EXPECT_EQ(seen.size(), 500u);
    EXPECT_TRUE(std::is_sorted(buckets.begin(), buckets.end()));
    EXPECT_EQ(key, nullptr);
    key = P(1000);  // a key that is not in the table continues with the head of its bucket
    ASSERT_EQ(tool_hash_next(table_, &key, &value), 1);
    EXPECT_EQ(key, table_->buckets[tool_hash_int(7, P(1000))]->key);
}

TEST_F(HashTest, RemovingWhileIteratingNeitherRevisitsNorTouchesReleasedKeys) {
    table_ = tool_hash_create(3, tool_hash_string, tool_hash_stringcmp);
    for (int i = 0; i < 60; ++i)
        tool_hash_insert(table_, tool_strdup(("key" + std::to_string(i)).c_str()), nullptr);
    std::multiset<std::string> visited;
    std::set<std::string> kept;
    void* key = nullptr;
    bool drop = false;
    for (int more = tool_hash_first(table_, &key, nullptr); more;
         more = tool_hash_next(table_, &key, nullptr)) {
        visited.insert(static_cast<const char*>(key));
        drop = !drop;  // every other entry, heads and middles of chains alike
        if (!drop) {
            kept.insert(static_cast<const char*>(key));
        } else {
            ASSERT_EQ(tool_hash_remove(table_, key, tool_hash_stringfree, nullptr, nullptr), 1);
        }
    }
    EXPECT_EQ(visited.size(), 60u);
    EXPECT_EQ(std::set<std::string>(visited.begin(), visited.end()).size(), 60u);
    tool_ptrlist_s* keys = nullptr;
    EXPECT_EQ(tool_hash_keys(table_, 0, nullptr, &keys), 30);
    for (void* k : Keys(keys)) EXPECT_EQ(kept.count(static_cast<const char*>(k)), 1u);
    tool_hash_destroy(&table_, tool_hash_stringfree, nullptr, nullptr);
}

TEST_F(HashTest, KeyListsSortedPrintedAndFailing) {
    table_ = tool_hash_create(4, nullptr, nullptr);
    for (uintptr_t k : {3, 11, 7, 1, 20}) tool_hash_insert(table_, P(k), nullptr);
    tool_ptrlist_s* keys = nullptr;
    EXPECT_EQ(tool_hash_keys(table_, 1, nullptr, &keys), 5);
    EXPECT_EQ(Keys(keys), (std::vector<void*>{P(1), P(3), P(7), P(11), P(20)}));
    EXPECT_EQ(tool_hash_keys(table_, -1, nullptr, &keys), 5);
    EXPECT_EQ(Keys(keys).front(), P(20));
    EXPECT_EQ(tool_hash_keys(nullptr, 1, nullptr, &keys), 0);  // absent table: empty list
    ASSERT_NE(keys, nullptr);
    EXPECT_TRUE(Keys(keys).empty());
    for (long successes : {0, 3}) {  // the list itself fails; the third key fails
        tool_alloc_fail_after(successes, 1);
        const auto list = [&] { EXPECT_EQ(tool_hash_keys(table_, 1, nullptr, &keys), 0); };
        EXPECT_TRUE(
            IsErrorLine(captured_stderr(list), "Memory allocation failed!", "tool_ptrlist"));
        EXPECT_EQ(keys, nullptr);
    }
    tool_hash_destroy(&table_, nullptr, nullptr, nullptr);
    table_ = tool_hash_create(3, nullptr, nullptr);
    for (uintptr_t k : {1, 4, 2}) tool_hash_insert(table_, P(k), P(k * 16));  // buckets 0, 0, 2
    testing::internal::CaptureStdout();
    EXPECT_EQ(tool_hash_print(table_), 3u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "000000000000 -> 0x4 0x40 -> 0x1 0x10\n\n000000000002 -> 0x2 0x20\n");
    EXPECT_EQ(tool_hash_print(nullptr), 0u);
}

TEST_F(HashTest, FailuresAndCorruptedTables) {
    const auto reports = [](const char* text, auto call) {
        EXPECT_TRUE(IsErrorLine(captured_stderr(call), text, "tool_hash")) << text;
    };
    for (long successes : {0, 1}) {  // the table, then its bucket array
        tool_alloc_fail_after(successes, 1);
        reports("Memory allocation failed.",
                [] { EXPECT_EQ(tool_hash_create(10, nullptr, nullptr), nullptr); });
    }
    reports("Memory allocation failed.",
            [] { EXPECT_EQ(tool_hash_create(UINT64_MAX, nullptr, nullptr), nullptr); });
    table_ = tool_hash_create(5, nullptr, nullptr);
    tool_alloc_fail_after(0, 1);
    reports("Memory allocation failed.",
            [&] { EXPECT_EQ(tool_hash_insert(table_, P(3), P(4)), 0); });
    EXPECT_EQ(tool_hash_first(table_, nullptr, nullptr), 0);
    // A hash function that answers out of range still lands inside the table.
    table_->hash = [](uint64_t, const void*) -> uint64_t { return 12; };
    EXPECT_EQ(tool_hash_insert(table_, P(3), P(4)), 1);
    EXPECT_EQ(tool_hash_find(table_, P(3)), P(4));
    EXPECT_NE(table_->buckets[2], nullptr);
    table_->hash = nullptr;
    reports("Hash function missing (corrupted hash?)",
            [&] { EXPECT_EQ(tool_hash_insert(table_, P(8), P(9)), 1); });
    EXPECT_NE(table_->buckets[0], nullptr);
    // A table without its bucket array: every call refuses with one line and no effect.
    static tool_hash_s broken{};
    broken.bucket_count = 5;
    broken.hash = tool_hash_int;
    broken.compare = tool_hash_intcmp;
    void* key = P(3);
    for (int (*call)(void**) :
         {+[](void**) { return tool_hash_insert(&broken, P(1), P(1)); },
          +[](void**) { return tool_hash_remove(&broken, P(1), nullptr, nullptr, nullptr); },
          +[](void** k) { return tool_hash_first(&broken, k, nullptr); },
          +[](void** k) { return tool_hash_next(&broken, k, nullptr); },
          +[](void**) { return int{tool_hash_find(&broken, P(1)) != nullptr}; },
          +[](void**) {
              tool_ptrlist_s* keys = nullptr;
              return tool_hash_keys(&broken, 0, nullptr, &keys);
          }}) {
        reports("Corrupted hash table.", [&] { EXPECT_EQ(call(&key), 0); });
    }
    EXPECT_EQ(tool_hash_find(nullptr, P(1)), nullptr);
    EXPECT_EQ(tool_hash_insert(nullptr, P(1), P(1)) +
                  tool_hash_remove(nullptr, P(1), nullptr, nullptr, nullptr) +
                  tool_hash_next(nullptr, &key, nullptr),
              0);
    EXPECT_EQ(key, nullptr);
}

}  // namespace
