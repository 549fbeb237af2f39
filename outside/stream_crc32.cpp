// CRC-32 (the polynomial of zlib and gzip) over the store's stream blocks. Blocks run to
// tens of megabytes and the table-at-a-time CRC was the slowest step of reading one, so
// on x86 processors with carry-less multiplication the bytes are folded 64 at a time; the
// result is bit for bit what zlib computes, which stays the fallback everywhere else.
#include <zlib.h>

#include "outside/stream_bytes.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define QM_CRC32_FOLDING 1
#endif

namespace stream_bytes {
namespace {

uint32_t crc32_zlib(uint32_t crc, const uint8_t* data, size_t size) {
    uLong value = crc;
    while (size > 0) {
        const uInt part = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
        value = crc32(value, data, part);
        data += part;
        size -= part;
    }
    return static_cast<uint32_t>(value);
}

#ifdef QM_CRC32_FOLDING

constexpr size_t kFoldingMinimum = 64;

#define QM_FOLDING_TARGET __attribute__((target("pclmul,sse4.1")))

QM_FOLDING_TARGET inline __m128i load(const uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// Moves `lane` on by the distance `k` stands for and adds `next` there.
QM_FOLDING_TARGET inline __m128i fold(__m128i lane, __m128i k, __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(lane, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(lane, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// Folds `size` bytes (a multiple of 16, at least 64) into the inverted CRC register `crc`
// and returns the register. The constants are powers of x modulo the polynomial, in the
// bit-reflected order the CRC uses: x^(512+32) and x^(512-32) move a lane 512 bits on,
// x^(128+32) and x^(128-32) 128 bits, x^64 reduces 96 bits to 64, and the last pair are
// the polynomial and its Barrett quotient for the reduction to 32 bits.
QM_FOLDING_TARGET uint32_t fold_register(uint32_t crc, const uint8_t* p, size_t size) {
    alignas(16) static constexpr uint64_t kFold4[2] = {0x0154442bd4, 0x01c6e41596};
    alignas(16) static constexpr uint64_t kFold1[2] = {0x01751997d0, 0x00ccaa009e};
    alignas(16) static constexpr uint64_t kTo64[2] = {0x0163cd6124, 0};
    alignas(16) static constexpr uint64_t kBarrett[2] = {0x01db710641, 0x01f7011641};
    __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = load(p + 16);
    __m128i x3 = load(p + 32);
    __m128i x4 = load(p + 48);
    p += 64;
    size -= 64;
    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold4));
    for (; size >= 64; p += 64, size -= 64) {
        x1 = fold(x1, k, load(p));
        x2 = fold(x2, k, load(p + 16));
        x3 = fold(x3, k, load(p + 32));
        x4 = fold(x4, k, load(p + 48));
    }
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold1));
    x1 = fold(x1, k, x2);
    x1 = fold(x1, k, x3);
    x1 = fold(x1, k, x4);
    for (; size >= 16; p += 16, size -= 16) x1 = fold(x1, k, load(p));

    // 128 bits to 64, then Barrett reduction to 32.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k, 0x10));
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kTo64));
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00),
                       _mm_srli_si128(x1, 4));
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(kBarrett));
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, low32), k, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, t), 1));
}

bool can_fold() {
    static const bool supported =
        __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return supported;
}

#endif

}  // namespace

uint32_t crc32_of(uint32_t crc, const uint8_t* data, size_t size) {
    if (data == nullptr) return static_cast<uint32_t>(crc32(crc, nullptr, 0));
#ifdef QM_CRC32_FOLDING
    if (size >= kFoldingMinimum && can_fold()) {
        const size_t folded = size & ~size_t{15};
        crc = ~fold_register(~crc, data, folded);
        data += folded;
        size -= folded;
    }
#endif
    return crc32_zlib(crc, data, size);
}

}  // namespace stream_bytes
