#include "views/OnionCompose.h"

#include <cstdint>

#include "raster/FastDivide.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LUMVANE_ONION_SSSE3 1
#endif

namespace {

void ComposeScalar(unsigned char* dst, const unsigned char* shown,
                   const unsigned char* const* onion, int onionCount, int from, int count) {
    for (int i = from; i < count; ++i) {
        std::uint16_t b = shown[i];
        for (int k = 0; k < onionCount; ++k)
            b = raster::Div255(static_cast<std::uint16_t>(b * onion[k][i]));
        dst[3 * i] = static_cast<unsigned char>(b);
        dst[3 * i + 1] = static_cast<unsigned char>(b);
        dst[3 * i + 2] = shown[i];
    }
}

#ifdef LUMVANE_ONION_SSSE3
// x / 255 truncated on 16-bit lanes, exact for x <= 255 x 255 (no lane overflows: the sum stays
// at most 65280).
__attribute__((target("ssse3"))) inline __m128i Div255x8(__m128i x) {
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(x, _mm_set1_epi16(1)), _mm_srli_epi16(x, 8));
    return _mm_srli_epi16(sum, 8);
}

// Sixteen pixels per step, every onion frame applied while the products stay in registers.
__attribute__((target("ssse3"))) int ComposeSsse3(unsigned char* dst, const unsigned char* shown,
                                                  const unsigned char* const* onion, int onionCount,
                                                  int count) {
    const __m128i zero = _mm_setzero_si128();
    // From pairs (b0, c0, b1, c1, ...) to triples (b, b, c): output byte j takes pixel j / 3.
    const __m128i first = _mm_setr_epi8(0, 0, 1, 2, 2, 3, 4, 4, 5, 6, 6, 7, 8, 8, 9, 10);
    const __m128i midLo =
        _mm_setr_epi8(10, 11, 12, 12, 13, 14, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i midHi = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 0, 0, 1, 2, 2, 3, 4, 4);
    const __m128i last = _mm_setr_epi8(5, 6, 6, 7, 8, 8, 9, 10, 10, 11, 12, 12, 13, 14, 14, 15);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(shown + i));
        __m128i lo = _mm_unpacklo_epi8(c, zero);
        __m128i hi = _mm_unpackhi_epi8(c, zero);
        for (int k = 0; k < onionCount; ++k) {
            const __m128i o = _mm_loadu_si128(reinterpret_cast<const __m128i*>(onion[k] + i));
            lo = Div255x8(_mm_mullo_epi16(lo, _mm_unpacklo_epi8(o, zero)));
            hi = Div255x8(_mm_mullo_epi16(hi, _mm_unpackhi_epi8(o, zero)));
        }
        const __m128i b = _mm_packus_epi16(lo, hi);
        const __m128i pairsLo = _mm_unpacklo_epi8(b, c);
        const __m128i pairsHi = _mm_unpackhi_epi8(b, c);
        unsigned char* d = dst + 3 * i;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_shuffle_epi8(pairsLo, first));
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(d + 16),
            _mm_or_si128(_mm_shuffle_epi8(pairsLo, midLo), _mm_shuffle_epi8(pairsHi, midHi)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32), _mm_shuffle_epi8(pairsHi, last));
    }
    return i;
}

bool HasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif

}  // namespace

void ComposeOnionRow(unsigned char* dst, const unsigned char* shown,
                     const unsigned char* const* onion, int onionCount, int count) {
    int done = 0;
#ifdef LUMVANE_ONION_SSSE3
    if (HasSsse3()) done = ComposeSsse3(dst, shown, onion, onionCount, count);
#endif
    ComposeScalar(dst, shown, onion, onionCount, done, count);
}
