// Hashing and comparison of index keys held in rows. A key is a list of byte ranges of the
// row (KeyPart); numbers compare byte for byte, texts up to their terminator, so bytes
// left in a text field after its NUL never make two keys differ.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "outside/table_layout.h"

namespace table_store {

// Length of the text in a field of `size` bytes: up to the NUL, or the whole field.
inline size_t text_length(const unsigned char* field, size_t size) {
    const void* nul = std::memchr(field, 0, size);
    return nul == nullptr ? size
                          : static_cast<size_t>(static_cast<const unsigned char*>(nul) - field);
}

// Hash of the key `parts` of `row`; equal keys give equal hashes.
uint64_t key_hash(const std::vector<KeyPart>& parts, const unsigned char* row);

// Byte ranges compared a word at a time, inline: key fields are short, and a library call
// per field costs more than the comparison itself.
inline bool bytes_equal(const unsigned char* a, const unsigned char* b, size_t n) {
    for (; n >= 8; a += 8, b += 8, n -= 8) {
        uint64_t x, y;
        std::memcpy(&x, a, 8);
        std::memcpy(&y, b, 8);
        if (x != y) return false;
    }
    if (n >= 4) {  // the first and the last four bytes cover the rest
        uint32_t x0, y0, x1, y1;
        std::memcpy(&x0, a, 4);
        std::memcpy(&y0, b, 4);
        std::memcpy(&x1, a + n - 4, 4);
        std::memcpy(&y1, b + n - 4, 4);
        return ((x0 ^ y0) | (x1 ^ y1)) == 0;
    }
    for (; n > 0; ++a, ++b, --n) {
        if (*a != *b) return false;
    }
    return true;
}

// True when the texts in two fields of `size` bytes are equal up to the terminator (or in
// full when there is none), whatever follows it: the rule strncmp implements.
inline bool text_equal(const unsigned char* a, const unsigned char* b, size_t size) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t kLow = 0x0101010101010101ULL;
        constexpr uint64_t kHigh = 0x8080808080808080ULL;
        for (; size >= 8; a += 8, b += 8, size -= 8) {
            uint64_t x, y;
            std::memcpy(&x, a, 8);
            std::memcpy(&y, b, 8);
            // The lowest flagged byte is the first NUL of `x` (higher flags may be false
            // alarms). Equal bytes up to and including it mean equal texts.
            const uint64_t zero = (x - kLow) & ~x & kHigh;
            if (zero != 0) {
                const unsigned bits = static_cast<unsigned>(std::countr_zero(zero)) + 1;
                const uint64_t upto = bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
                return ((x ^ y) & upto) == 0;
            }
            if (x != y) return false;
        }
    }
    for (; size > 0; ++a, ++b, --size) {
        if (*a != *b) return false;
        if (*a == 0) return true;
    }
    return true;
}

// True when rows `a` and `b` hold the same key.
inline bool key_equal(const std::vector<KeyPart>& parts, const unsigned char* a,
                      const unsigned char* b) {
    for (const KeyPart& part : parts) {
        const unsigned char* pa = a + part.offset;
        const unsigned char* pb = b + part.offset;
        if (part.text ? !text_equal(pa, pb, part.size) : !bytes_equal(pa, pb, part.size)) {
            return false;
        }
    }
    return true;
}

// key_equal for a stored row that is probably not in cache: the lines of all key parts
// are requested first so that their misses overlap instead of following one another.
inline bool key_equal_prefetched(const std::vector<KeyPart>& parts, const unsigned char* stored,
                                 const unsigned char* probe) {
    for (const KeyPart& part : parts) __builtin_prefetch(stored + part.offset);
    return key_equal(parts, stored, probe);
}

}  // namespace table_store
