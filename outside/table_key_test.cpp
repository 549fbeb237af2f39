// Key hashing and comparison at every text length, with and without garbage after the
// terminator, and the merging of adjacent number columns into one compared range.
#include "outside/table_key.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace table_store {
namespace {

TEST(TableKeyTest, NumberColumnsCompareEveryByte) {
    static const dbd_columndef_t columns[] = {
        {"a", DBD_INT32, 0}, {"b", DBD_INT32, 0}, {"t", DBD_TEXT, 5}, {"d", DBD_DOUBLE, 0}};
    static const dbd_indexdef_t indexes[] = {{"pk", {"a", "b", "t", "d"}, 1, 1}};
    const dbd_tabledef_t def = {"key_numbers", columns, 4, indexes, 1, "pk"};
    TableLayout layout;
    ASSERT_TRUE(compile_table_layout(&def, &layout));
    const std::vector<KeyPart>& key = layout.indexes[0].key;
    EXPECT_EQ((std::vector<KeyPart>{{0, 8, false}, {8, 5, true}, {16, 8, false}}), key);
    EXPECT_EQ(24, layout.row_length);

    std::vector<unsigned char> a(24, 0), b(24, 0);
    a[13] = b[13] = 0x77;  // padding is no part of any key
    b[15] = 0x55;
    EXPECT_TRUE(key_equal(key, a.data(), b.data()));
    EXPECT_EQ(key_hash(key, a.data()), key_hash(key, b.data()));
    for (size_t at : {0u, 7u, 16u, 23u}) {  // every byte of a number column counts
        std::vector<unsigned char> c = a;
        c[at] = 1;
        EXPECT_FALSE(key_equal(key, a.data(), c.data())) << at;
        EXPECT_NE(key_hash(key, a.data()), key_hash(key, c.data())) << at;
    }
}

TEST(TableKeyTest, WordWiseComparisonsAndHashesAgreeWithTheByteRules) {
    // Random fields with NULs at random places, at every size including sub-word tails, at
    // an odd offset behind bytes that differ and belong to no key.
    std::mt19937 rng(3);
    for (uint32_t size = 1; size <= 83; size += size < 40 ? 1 : 42) {
        const std::vector<KeyPart> text_key = {{3, size, true}};
        for (int trial = 0; trial < 300; ++trial) {
            std::vector<unsigned char> a(size + 3);
            for (auto& c : a) c = static_cast<unsigned char>("ab\0"[rng() % 3]);
            std::vector<unsigned char> b = a;
            b[0] = static_cast<unsigned char>(a[0] + 1);
            for (int c = static_cast<int>(rng() % 3); c > 0; --c)
                b[3 + rng() % size] = static_cast<unsigned char>("ab\0\x80"[rng() % 4]);
            const unsigned char *fa = a.data() + 3, *fb = b.data() + 3;
            const bool same_text = std::strncmp(reinterpret_cast<const char*>(fa),
                                                reinterpret_cast<const char*>(fb), size) == 0;
            ASSERT_EQ(same_text, text_equal(fa, fb, size)) << size;
            ASSERT_EQ(same_text, key_equal(text_key, a.data(), b.data())) << size;
            ASSERT_EQ(same_text, key_hash(text_key, a.data()) == key_hash(text_key, b.data()))
                << size;
            ASSERT_EQ(std::memcmp(fa, fb, size) == 0, bytes_equal(fa, fb, size)) << size;
        }
    }
}

}  // namespace
}  // namespace table_store
