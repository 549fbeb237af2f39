// The byte-level helpers of the store's self-checking stream blocks: little-endian 32-bit
// words and a CRC-32 over any length.
#pragma once

#include <cstddef>
#include <cstdint>

namespace stream_bytes {

inline void put_le32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline uint32_t get_le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Continues `crc` over `size` bytes; start with crc32_of(0, nullptr, 0). The same values
// as zlib's crc32(), computed faster where the processor allows.
uint32_t crc32_of(uint32_t crc, const uint8_t* data, size_t size);

}  // namespace stream_bytes
