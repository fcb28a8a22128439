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
// x / 255 truncated on 16-bit lanes: (x * 0x8081) >> 23, exact for every 16-bit x.
__attribute__((target("ssse3"))) inline __m128i Div255x8(__m128i x) {
    return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(static_cast<short>(0x8081))), 7);
}

// Sixteen composed pixels b (bytes) over their shown values c, written as 48 bytes b, b, c.
__attribute__((target("ssse3"))) inline void StoreTriples(unsigned char* d, __m128i b, __m128i c) {
    // From pairs (b0, c0, b1, c1, ...) to triples: output byte j takes pixel j / 3.
    const __m128i first = _mm_setr_epi8(0, 0, 1, 2, 2, 3, 4, 4, 5, 6, 6, 7, 8, 8, 9, 10);
    const __m128i midLo =
        _mm_setr_epi8(10, 11, 12, 12, 13, 14, 14, 15, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i midHi = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 0, 0, 1, 2, 2, 3, 4, 4);
    const __m128i last = _mm_setr_epi8(5, 6, 6, 7, 8, 8, 9, 10, 10, 11, 12, 12, 13, 14, 14, 15);
    const __m128i pairsLo = _mm_unpacklo_epi8(b, c);
    const __m128i pairsHi = _mm_unpackhi_epi8(b, c);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_shuffle_epi8(pairsLo, first));
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(d + 16),
        _mm_or_si128(_mm_shuffle_epi8(pairsLo, midLo), _mm_shuffle_epi8(pairsHi, midHi)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32), _mm_shuffle_epi8(pairsHi, last));
}

// Sixteen pixels per step, every onion frame applied while the products stay in registers.
__attribute__((target("ssse3"))) int ComposeSsse3(unsigned char* dst, const unsigned char* shown,
                                                  const unsigned char* const* onion, int onionCount,
                                                  int count) {
    const __m128i zero = _mm_setzero_si128();
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
        StoreTriples(dst + 3 * i, _mm_packus_epi16(lo, hi), c);
    }
    return i;
}

// The same with all sixteen products in one register.
__attribute__((target("avx2"))) int ComposeAvx2(unsigned char* dst, const unsigned char* shown,
                                                const unsigned char* const* onion, int onionCount,
                                                int count) {
    const __m256i magic = _mm256_set1_epi16(static_cast<short>(0x8081));
    int i = 0;
    // Two independent chains of products per step: each onion frame's multiply and divide
    // depends on the previous one, so a single chain leaves the multipliers waiting.
    for (; i + 32 <= count; i += 32) {
        const __m128i c0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(shown + i));
        const __m128i c1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(shown + i + 16));
        __m256i t0 = _mm256_cvtepu8_epi16(c0);
        __m256i t1 = _mm256_cvtepu8_epi16(c1);
        for (int k = 0; k < onionCount; ++k) {
            const __m256i o0 = _mm256_cvtepu8_epi16(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(onion[k] + i)));
            const __m256i o1 = _mm256_cvtepu8_epi16(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(onion[k] + i + 16)));
            t0 = _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_mullo_epi16(t0, o0), magic), 7);
            t1 = _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_mullo_epi16(t1, o1), magic), 7);
        }
        StoreTriples(dst + 3 * i,
                     _mm_packus_epi16(_mm256_castsi256_si128(t0), _mm256_extracti128_si256(t0, 1)),
                     c0);
        StoreTriples(dst + 3 * i + 48,
                     _mm_packus_epi16(_mm256_castsi256_si128(t1), _mm256_extracti128_si256(t1, 1)),
                     c1);
    }
    for (; i + 16 <= count; i += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(shown + i));
        __m256i t = _mm256_cvtepu8_epi16(c);
        for (int k = 0; k < onionCount; ++k) {
            const __m256i o = _mm256_cvtepu8_epi16(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(onion[k] + i)));
            t = _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_mullo_epi16(t, o), magic), 7);
        }
        const __m128i b =
            _mm_packus_epi16(_mm256_castsi256_si128(t), _mm256_extracti128_si256(t, 1));
        StoreTriples(dst + 3 * i, b, c);
    }
    return i;
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

bool HasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif

}  // namespace

bool OnionKernelAvailable(OnionKernel kernel) {
    switch (kernel) {
        case OnionKernel::Scalar:
            return true;
#ifdef LUMVANE_ONION_SSSE3
        case OnionKernel::Ssse3:
            return HasSsse3();
        case OnionKernel::Avx2:
            return HasAvx2();
#endif
        default:
            return false;
    }
}

void ComposeOnionRowWith(OnionKernel kernel, unsigned char* dst, const unsigned char* shown,
                         const unsigned char* const* onion, int onionCount, int count) {
    int done = 0;
#ifdef LUMVANE_ONION_SSSE3
    if (kernel == OnionKernel::Avx2) done = ComposeAvx2(dst, shown, onion, onionCount, count);
    if (kernel == OnionKernel::Ssse3) done = ComposeSsse3(dst, shown, onion, onionCount, count);
#endif
    ComposeScalar(dst, shown, onion, onionCount, done, count);
}

void ComposeOnionRow(unsigned char* dst, const unsigned char* shown,
                     const unsigned char* const* onion, int onionCount, int count) {
    static const OnionKernel best = OnionKernelAvailable(OnionKernel::Avx2) ? OnionKernel::Avx2
                                    : OnionKernelAvailable(OnionKernel::Ssse3)
                                        ? OnionKernel::Ssse3
                                        : OnionKernel::Scalar;
    ComposeOnionRowWith(best, dst, shown, onion, onionCount, count);
}
