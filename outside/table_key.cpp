// Key hashing for the table store's hash indexes: a 64-bit multiply-xorshift hash over
// eight bytes at a time, cheap for the short names that make up most keys.
#include "outside/table_key.h"

#include <bit>

namespace table_store {
namespace {

constexpr uint64_t kMultiplier = 0xc6a4a7935bd1e995ULL;

inline uint64_t scramble(uint64_t k) {
    k *= kMultiplier;
    k ^= k >> 47;
    return k * kMultiplier;
}

inline uint64_t hash_bytes(const unsigned char* p, size_t n, uint64_t h) {
    h = (h ^ n) * kMultiplier;  // the length separates "ab","" from "a","b"
    while (n >= 8) {
        uint64_t k;
        std::memcpy(&k, p, 8);
        h = (h ^ scramble(k)) * kMultiplier;
        p += 8;
        n -= 8;
    }
    if (n >= 4) {  // the first and the last four bytes; fixed-size loads need no call
        uint32_t lo, hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + n - 4, 4);
        h = (h ^ scramble(lo | uint64_t{hi} << 32)) * kMultiplier;
    } else if (n > 0) {
        const uint64_t k = p[0] | uint64_t{p[n / 2]} << 8 | uint64_t{p[n - 1]} << 16;
        h = (h ^ scramble(k)) * kMultiplier;
    }
    return h;
}

// Hashes the text in a field of `size` bytes up to its NUL, finding the NUL eight bytes at
// a time in the same pass instead of scanning the field twice.
inline uint64_t hash_text(const unsigned char* p, size_t size, uint64_t h) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t kLow = 0x0101010101010101ULL;
        constexpr uint64_t kHigh = 0x8080808080808080ULL;
        size_t done = 0;
        while (true) {
            const size_t left = size - done;
            uint64_t k = 0;
            if (left >= 8) {
                std::memcpy(&k, p + done, 8);  // a fixed size compiles to one load, no call
            } else {
                std::memcpy(&k, p + done, left);
            }
            // Lowest flagged byte is the first zero byte (higher flags may be false alarms).
            uint64_t zero = (k - kLow) & ~k & kHigh;
            if (left < 8) zero &= (uint64_t{1} << (8 * left)) - 1;  // bytes beyond the field
            if (zero != 0) {
                const unsigned bytes = static_cast<unsigned>(std::countr_zero(zero)) / 8;
                k &= bytes == 0 ? 0 : (~uint64_t{0} >> (64 - 8 * bytes));
                h = (h ^ scramble(k)) * kMultiplier;
                return (h ^ (done + bytes)) * kMultiplier;
            }
            h = (h ^ scramble(k)) * kMultiplier;
            done += left < 8 ? left : 8;
            if (done == size) return (h ^ done) * kMultiplier;  // no terminator: whole field
        }
    } else {
        return hash_bytes(p, text_length(p, size), h);
    }
}

}  // namespace

uint64_t key_hash(const std::vector<KeyPart>& parts, const unsigned char* row) {
    // Most keys are one number; they take one load and two multiplies instead of a chain
    // of them, which matters when a whole table is indexed at once. The mix is a bijection
    // of the 64-bit word, so distinct numbers never share a hash.
    if (parts.size() == 1 && !parts[0].text && parts[0].size <= 8) {
        const unsigned char* field = row + parts[0].offset;
        uint64_t k = 0;
        if (parts[0].size == 4) {  // loads of the field's own size: no stalled forwarding
            uint32_t v;
            std::memcpy(&v, field, 4);
            k = v;
        } else if (parts[0].size == 8) {
            std::memcpy(&k, field, 8);
        } else {
            std::memcpy(&k, field, parts[0].size);
        }
        k += 0x9e3779b97f4a7c15ULL;
        k = (k ^ (k >> 30)) * 0xbf58476d1ce4e5b9ULL;
        k = (k ^ (k >> 27)) * 0x94d049bb133111ebULL;
        return k ^ (k >> 31);
    }
    uint64_t h = 0x9e3779b97f4a7c15ULL;
    for (const KeyPart& part : parts) {
        const unsigned char* field = row + part.offset;
        h = part.text ? hash_text(field, part.size, h) : hash_bytes(field, part.size, h);
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

}  // namespace table_store
