// The store's CRC-32 must give zlib's values bit for bit whatever the length, alignment and
// split of the bytes, since blocks written with one are checked with the other.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "outside/stream_bytes.h"

namespace {

using stream_bytes::crc32_of;

uint32_t zlib_crc(uint32_t crc, const uint8_t* data, size_t size) {
    return static_cast<uint32_t>(crc32(crc, data, static_cast<uInt>(size)));
}

std::vector<uint8_t> random_bytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(generator());
    return bytes;
}

TEST(StreamCrc32, KnownValues) {
    const auto text = reinterpret_cast<const uint8_t*>("123456789");
    EXPECT_EQ(0xcbf43926u, crc32_of(0, text, 9));
    EXPECT_EQ(0u, crc32_of(0, nullptr, 0));
    EXPECT_EQ(0x12345678u, crc32_of(0x12345678u, text, 0));
    const std::vector<uint8_t> zeros(4096, 0);
    EXPECT_EQ(zlib_crc(0, zeros.data(), zeros.size()), crc32_of(0, zeros.data(), zeros.size()));
}

TEST(StreamCrc32, EveryLengthAndAlignmentMatchesZlib) {
    const std::vector<uint8_t> bytes = random_bytes(1200, 7);
    for (size_t offset = 0; offset < 16; ++offset) {
        for (size_t size = 0; size + offset <= 1100; size += (size < 200 ? 1 : 37)) {
            ASSERT_EQ(zlib_crc(0x5a5a5a5au, bytes.data() + offset, size),
                      crc32_of(0x5a5a5a5au, bytes.data() + offset, size))
                << "offset " << offset << " size " << size;
        }
    }
}

TEST(StreamCrc32, ContinuingInPiecesGivesTheWholeValue) {
    const std::vector<uint8_t> bytes = random_bytes(1 << 20, 11);
    const uint32_t whole = zlib_crc(0, bytes.data(), bytes.size());
    EXPECT_EQ(whole, crc32_of(0, bytes.data(), bytes.size()));
    for (size_t split : {1u, 15u, 63u, 64u, 65u, 4097u, 700001u}) {
        const uint32_t first = crc32_of(0, bytes.data(), split);
        EXPECT_EQ(whole, crc32_of(first, bytes.data() + split, bytes.size() - split)) << split;
    }
}

}  // namespace
