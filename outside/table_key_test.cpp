// Key hashing and comparison at every text length, with and without garbage after the
// terminator, and the merging of adjacent number columns into one compared range.
#include "outside/table_key.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace table_store {
namespace {

TEST(TableKeyTest, TextKeysAgreeUpToTheTerminatorAtEveryLength) {
    std::mt19937 rng(99);
    for (uint32_t size : {1u, 7u, 8u, 9u, 16u, 33u, 82u}) {
        const std::vector<KeyPart> parts = {{3, size, true}};  // an odd offset on purpose
        for (uint32_t length = 0; length <= size; ++length) {
            std::vector<unsigned char> a(size + 8), b(size + 8);
            for (auto& c : a) c = static_cast<unsigned char>('a' + rng() % 26);
            for (auto& c : b) c = static_cast<unsigned char>('a' + rng() % 26);
            for (uint32_t i = 0; i < length; ++i) b[3 + i] = a[3 + i];
            if (length < size) a[3 + length] = b[3 + length] = 0;  // else: no terminator
            if (length == size) b = a;                             // a full field compares in full
            ASSERT_TRUE(key_equal(parts, a.data(), b.data())) << size << "/" << length;
            ASSERT_EQ(key_hash(parts, a.data()), key_hash(parts, b.data()))
                << size << "/" << length;
            if (length > 0) {  // changing a byte before the terminator changes the key
                std::vector<unsigned char> c = a;
                c[3 + length - 1] = c[3 + length - 1] == 'z' ? 'y' : 'z';
                ASSERT_FALSE(key_equal(parts, a.data(), c.data()));
                ASSERT_NE(key_hash(parts, a.data()), key_hash(parts, c.data()));
            }
            if (length + 1 < size) {  // a longer text is another key
                std::vector<unsigned char> d = a;
                d[3 + length] = 'q';
                d[3 + length + 1] = 0;
                ASSERT_FALSE(key_equal(parts, a.data(), d.data()));
            }
        }
    }
}

TEST(TableKeyTest, NumberColumnsCompareEveryByte) {
    static const dbd_columndef_t columns[] = {
        {"a", DBD_INT32, 0}, {"b", DBD_INT32, 0}, {"t", DBD_TEXT, 5}, {"d", DBD_DOUBLE, 0}};
    static const dbd_indexdef_t indexes[] = {{"pk", {"a", "b", "t", "d"}, 1, 1}};
    const dbd_tabledef_t def = {"key_numbers", columns, 4, indexes, 1, "pk"};
    TableLayout layout;
    ASSERT_TRUE(compile_table_layout(&def, &layout));
    const std::vector<KeyPart> expected = {{0, 8, false}, {8, 5, true}, {16, 8, false}};
    EXPECT_EQ(expected, layout.indexes[0].key);
    EXPECT_EQ(24, layout.row_length);

    std::vector<unsigned char> a(24, 0), b(24, 0);
    a[13] = b[13] = 0x77;  // padding is no part of any key
    b[15] = 0x55;
    EXPECT_TRUE(key_equal(layout.indexes[0].key, a.data(), b.data()));
    EXPECT_EQ(key_hash(layout.indexes[0].key, a.data()), key_hash(layout.indexes[0].key, b.data()));
    for (size_t at : {0u, 7u, 16u, 23u}) {
        std::vector<unsigned char> c = a;
        c[at] = 1;
        EXPECT_FALSE(key_equal(layout.indexes[0].key, a.data(), c.data())) << at;
    }
}

TEST(TableKeyTest, WordWiseComparisonsAgreeWithTheByteRules) {
    // Random fields with NULs at random places: text_equal must agree with strncmp and
    // bytes_equal with memcmp at every size, including the tails shorter than a word.
    std::mt19937 rng(3);
    for (size_t size = 1; size <= 40; ++size) {
        for (int trial = 0; trial < 300; ++trial) {
            std::vector<unsigned char> a(size), b(size);
            for (size_t i = 0; i < size; ++i) a[i] = static_cast<unsigned char>("ab\0"[rng() % 3]);
            b = a;
            const int changes = static_cast<int>(rng() % 3);
            for (int c = 0; c < changes; ++c) {
                b[rng() % size] = static_cast<unsigned char>("ab\0\x80"[rng() % 4]);
            }
            const bool same_text = std::strncmp(reinterpret_cast<const char*>(a.data()),
                                                reinterpret_cast<const char*>(b.data()), size) == 0;
            ASSERT_EQ(same_text, text_equal(a.data(), b.data(), size)) << size;
            ASSERT_EQ(std::memcmp(a.data(), b.data(), size) == 0,
                      bytes_equal(a.data(), b.data(), size))
                << size;
            const std::vector<KeyPart> text_key = {{0, static_cast<uint32_t>(size), true}};
            if (same_text) {
                ASSERT_EQ(key_hash(text_key, a.data()), key_hash(text_key, b.data())) << size;
            }
        }
    }
}

TEST(TableKeyTest, EveryByteOfAShortNumberKeyChangesTheHash) {
    for (uint32_t size = 1; size <= 12; ++size) {
        const std::vector<KeyPart> key = {{0, size, false}};
        std::vector<unsigned char> row(size, 0x11);
        const uint64_t base = key_hash(key, row.data());
        for (uint32_t at = 0; at < size; ++at) {
            std::vector<unsigned char> other = row;
            other[at] = 0x12;
            EXPECT_NE(base, key_hash(key, other.data())) << size << "/" << at;
        }
    }
}

}  // namespace
}  // namespace table_store
