// SHA-1 as the standard defines it: 64-byte blocks, eighty rounds, big-endian words and a
// length-terminated padding.
#include "services/sha1.h"

#include <cstring>

namespace tools {
namespace {

inline uint32_t rotate_left(uint32_t v, int n) {
    return (v << n) | (v >> (32 - n));
}

inline uint32_t load_be32(const unsigned char* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

}  // namespace

Sha1::Sha1() : state_{0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u, 0xc3d2e1f0u} {}

void Sha1::Compress(const unsigned char* block) {
    uint32_t w[80];
    for (int i = 0; i < 16; ++i) w[i] = load_be32(block + 4 * i);
    for (int i = 16; i < 80; ++i)
        w[i] = rotate_left(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    for (int i = 0; i < 80; ++i) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5a827999u;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ed9eba1u;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8f1bbcdcu;
        } else {
            f = b ^ c ^ d;
            k = 0xca62c1d6u;
        }
        const uint32_t next = rotate_left(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = rotate_left(b, 30);
        b = a;
        a = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

void Sha1::Update(const unsigned char* data, size_t size) {
    length_ += size;
    if (used_ > 0) {
        const size_t take = size < 64 - used_ ? size : 64 - used_;
        std::memcpy(block_ + used_, data, take);
        used_ += take;
        data += take;
        size -= take;
        if (used_ < 64) return;
        Compress(block_);
        used_ = 0;
    }
    for (; size >= 64; data += 64, size -= 64) Compress(data);
    std::memcpy(block_, data, size);
    used_ = size;
}

std::array<unsigned char, 20> Sha1::Finish() {
    const uint64_t bits = length_ * 8;
    block_[used_++] = 0x80;
    if (used_ > 56) {
        std::memset(block_ + used_, 0, 64 - used_);
        Compress(block_);
        used_ = 0;
    }
    std::memset(block_ + used_, 0, 56 - used_);
    for (int i = 0; i < 8; ++i) block_[56 + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    Compress(block_);
    std::array<unsigned char, 20> digest;
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 4; ++j) {
            digest[4 * i + j] = static_cast<unsigned char>(state_[i] >> (24 - 8 * j));
        }
    }
    return digest;
}

std::string Sha1::Hex(const std::array<unsigned char, 20>& digest) {
    static const char kHex[] = "0123456789abcdef";
    std::string text(40, '0');
    for (size_t i = 0; i < digest.size(); ++i) {
        text[2 * i] = kHex[digest[i] >> 4];
        text[2 * i + 1] = kHex[digest[i] & 0x0f];
    }
    return text;
}

}  // namespace tools
