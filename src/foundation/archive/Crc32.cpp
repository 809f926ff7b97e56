#include "foundation/archive/Crc32.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kvx::archive {

namespace {

// zlib takes at most an unsigned int at a time.
uint32_t zlibCrc32(uint32_t crc, const uint8_t* data, size_t size) {
    while (size > 0) {
        const auto part = static_cast<uInt>(std::min<size_t>(size, UINT_MAX));
        crc = static_cast<uint32_t>(::crc32(crc, data, part));
        data += part;
        size -= part;
    }
    return crc;
}

#if defined(__x86_64__)
#define KVX_CLMUL __attribute__((target("pclmul,sse4.1")))

// The bit-reflected CRC-32 by folding: x^(4*128+64) and x^(4*128) mod P fold four lanes 512 bits
// ahead, x^(128+64) and x^128 one lane 128 bits ahead, x^64 takes 64 bits to 32, and a Barrett
// step (P and floor(x^64 / P)) gives the remainder.
constexpr int64_t kFold4Low = 0x154442bd4, kFold4High = 0x1c6e41596;
constexpr int64_t kFold1Low = 0x1751997d0, kFold1High = 0x0ccaa009e;
constexpr int64_t kFold64 = 0x163cd6124;
constexpr int64_t kPolynomial = 0x1db710641, kBarrett = 0x1f7011641;

KVX_CLMUL inline __m128i loadLane(const uint8_t* data) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
}

KVX_CLMUL inline __m128i foldLane(__m128i lane, __m128i constants, __m128i next) {
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(lane, constants, 0x00),
                                       _mm_clmulepi64_si128(lane, constants, 0x11)),
                         next);
}

// `crc` and the result without zlib's final inversion; `size` a multiple of 16, at least 64.
KVX_CLMUL uint32_t foldedCrc32(uint32_t crc, const uint8_t* data, size_t size) {
    const __m128i fold4 = _mm_set_epi64x(kFold4High, kFold4Low);
    const __m128i fold1 = _mm_set_epi64x(kFold1High, kFold1Low);
    const __m128i low32 = _mm_setr_epi32(-1, 0, -1, 0);
    __m128i lanes[4] = {_mm_xor_si128(loadLane(data), _mm_cvtsi32_si128(static_cast<int>(crc))), loadLane(data + 16),
                        loadLane(data + 32), loadLane(data + 48)};
    for (data += 64, size -= 64; size >= 64; data += 64, size -= 64) {
        for (int i = 0; i < 4; ++i) {
            lanes[i] = foldLane(lanes[i], fold4, loadLane(data + 16 * i));
        }
    }
    __m128i value = foldLane(foldLane(foldLane(lanes[0], fold1, lanes[1]), fold1, lanes[2]), fold1, lanes[3]);
    for (; size >= 16; data += 16, size -= 16) {
        value = foldLane(value, fold1, loadLane(data));
    }
    value = _mm_xor_si128(_mm_srli_si128(value, 8), _mm_clmulepi64_si128(value, fold1, 0x10));
    value = _mm_xor_si128(_mm_srli_si128(value, 4),
                          _mm_clmulepi64_si128(_mm_and_si128(value, low32), _mm_set_epi64x(0, kFold64), 0x00));
    const __m128i reduction = _mm_set_epi64x(kBarrett, kPolynomial);
    __m128i quotient = _mm_clmulepi64_si128(_mm_and_si128(value, low32), reduction, 0x10);
    quotient = _mm_clmulepi64_si128(_mm_and_si128(quotient, low32), reduction, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(value, quotient), 1));
}

bool hasCarrylessMultiply() {
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
}
#endif

}  // namespace

uint32_t crc32(uint32_t crc, const uint8_t* data, size_t size) {
#if defined(__x86_64__)
    if (size >= 64 && hasCarrylessMultiply()) {
        const size_t folded = size & ~size_t{15};
        crc = ~foldedCrc32(~crc, data, folded);
        data += folded;
        size -= folded;
    }
#endif
    return zlibCrc32(crc, data, size);
}

}  // namespace kvx::archive
