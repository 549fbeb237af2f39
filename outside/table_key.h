// Hashing and comparison of index keys held in rows. A key is a list of byte ranges of the
// row (KeyPart); numbers compare byte for byte, texts up to their terminator, so bytes
// left in a text field after its NUL never make two keys differ.
#pragma once

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

// True when rows `a` and `b` hold the same key. strncmp stops at the first NUL, which is
// exactly the text rule: equal up to the terminator, whatever follows it.
inline bool key_equal(const std::vector<KeyPart>& parts, const unsigned char* a,
                      const unsigned char* b) {
    for (const KeyPart& part : parts) {
        const unsigned char* pa = a + part.offset;
        const unsigned char* pb = b + part.offset;
        if (part.text) {
            if (std::strncmp(reinterpret_cast<const char*>(pa), reinterpret_cast<const char*>(pb),
                             part.size) != 0) {
                return false;
            }
        } else if (std::memcmp(pa, pb, part.size) != 0) {
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
