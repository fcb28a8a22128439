#include "views/OnionCompose.h"

#include "raster/FastDivide.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define LUMVANE_ONION_SSSE3 1
#endif

namespace {

inline std::uint32_t DisplayWord(std::uint32_t b, std::uint32_t c) {
    return 0xFF000000u | b << 16 | b << 8 | c;
}

void ComposeScalar(std::uint32_t* dst, const unsigned char* shown,
                   const unsigned char* const* onion, int onionCount, int from, int count) {
    for (int i = from; i < count; ++i) {
        std::uint16_t b = shown[i];
        for (int k = 0; k < onionCount; ++k)
            b = raster::Div255(static_cast<std::uint16_t>(b * onion[k][i]));
        dst[i] = DisplayWord(b, shown[i]);
    }
}

#ifdef LUMVANE_ONION_SSSE3
// x / 255 truncated on 16-bit lanes: (x * 0x8081) >> 23, exact for every 16-bit x.
__attribute__((target("ssse3"))) inline __m128i Div255x8(__m128i x) {
    return _mm_srli_epi16(_mm_mulhi_epu16(x, _mm_set1_epi16(static_cast<short>(0x8081))), 7);
}

// Eight composed values b over their shown values c (16-bit lanes) as eight display words.
__attribute__((target("ssse3"))) inline void StoreWords(std::uint32_t* d, __m128i b, __m128i c) {
    const __m128i blueGreen = _mm_or_si128(c, _mm_slli_epi16(b, 8));
    const __m128i redAlpha = _mm_or_si128(b, _mm_set1_epi16(static_cast<short>(0xFF00)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi16(blueGreen, redAlpha));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4), _mm_unpackhi_epi16(blueGreen, redAlpha));
}

__attribute__((target("ssse3"))) inline __m128i Widen8(const unsigned char* p) {
    return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                             _mm_setzero_si128());
}

// Each onion frame's multiply and divide waits for the previous one, so one chain of products
// leaves the multipliers idle: Chains independent runs of eight pixels go side by side.
template <int Chains>
__attribute__((target("ssse3"))) inline void StepSsse3(std::uint32_t* dst,
                                                       const unsigned char* shown,
                                                       const unsigned char* const* onion,
                                                       int onionCount, int i) {
    __m128i b[Chains];
#pragma GCC unroll 4
    for (int j = 0; j < Chains; ++j) b[j] = Widen8(shown + i + 8 * j);
    for (int k = 0; k < onionCount; ++k) {
#pragma GCC unroll 4
        for (int j = 0; j < Chains; ++j)
            b[j] = Div255x8(_mm_mullo_epi16(b[j], Widen8(onion[k] + i + 8 * j)));
    }
#pragma GCC unroll 4
    for (int j = 0; j < Chains; ++j) StoreWords(dst + i + 8 * j, b[j], Widen8(shown + i + 8 * j));
}

__attribute__((target("ssse3"))) int ComposeSsse3(std::uint32_t* dst, const unsigned char* shown,
                                                  const unsigned char* const* onion, int onionCount,
                                                  int count) {
    int i = 0;
    for (; i + 32 <= count; i += 32) StepSsse3<4>(dst, shown, onion, onionCount, i);
    for (; i + 8 <= count; i += 8) StepSsse3<1>(dst, shown, onion, onionCount, i);
    return i;
}

__attribute__((target("avx2"))) inline __m256i Div255x16(__m256i x) {
    return _mm256_srli_epi16(_mm256_mulhi_epu16(x, _mm256_set1_epi16(static_cast<short>(0x8081))),
                             7);
}

__attribute__((target("avx2"))) inline __m256i Widen16(const unsigned char* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// Sixteen values as in StoreWords; the in-lane unpacks give pixels 0-3 and 8-11, 4-7 and 12-15.
__attribute__((target("avx2"))) inline void StoreWords16(std::uint32_t* d, __m256i b, __m256i c) {
    const __m256i blueGreen = _mm256_or_si256(c, _mm256_slli_epi16(b, 8));
    const __m256i redAlpha = _mm256_or_si256(b, _mm256_set1_epi16(static_cast<short>(0xFF00)));
    const __m256i lo = _mm256_unpacklo_epi16(blueGreen, redAlpha);
    const __m256i hi = _mm256_unpackhi_epi16(blueGreen, redAlpha);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), _mm256_permute2x128_si256(lo, hi, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 8), _mm256_permute2x128_si256(lo, hi, 0x31));
}

template <int Chains>
__attribute__((target("avx2"))) inline void StepAvx2(std::uint32_t* dst, const unsigned char* shown,
                                                     const unsigned char* const* onion,
                                                     int onionCount, int i) {
    __m256i b[Chains];
#pragma GCC unroll 4
    for (int j = 0; j < Chains; ++j) b[j] = Widen16(shown + i + 16 * j);
    for (int k = 0; k < onionCount; ++k) {
#pragma GCC unroll 4
        for (int j = 0; j < Chains; ++j)
            b[j] = Div255x16(_mm256_mullo_epi16(b[j], Widen16(onion[k] + i + 16 * j)));
    }
#pragma GCC unroll 4
    for (int j = 0; j < Chains; ++j)
        StoreWords16(dst + i + 16 * j, b[j], Widen16(shown + i + 16 * j));
}

__attribute__((target("avx2"))) int ComposeAvx2(std::uint32_t* dst, const unsigned char* shown,
                                                const unsigned char* const* onion, int onionCount,
                                                int count) {
    int i = 0;
    for (; i + 64 <= count; i += 64) StepAvx2<4>(dst, shown, onion, onionCount, i);
    for (; i + 16 <= count; i += 16) StepAvx2<1>(dst, shown, onion, onionCount, i);
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

void ComposeOnionRowWith(OnionKernel kernel, std::uint32_t* dst, const unsigned char* shown,
                         const unsigned char* const* onion, int onionCount, int count) {
    int done = 0;
#ifdef LUMVANE_ONION_SSSE3
    if (kernel == OnionKernel::Avx2) done = ComposeAvx2(dst, shown, onion, onionCount, count);
    if (kernel == OnionKernel::Ssse3) done = ComposeSsse3(dst, shown, onion, onionCount, count);
#endif
    ComposeScalar(dst, shown, onion, onionCount, done, count);
}

void ComposeOnionRow(std::uint32_t* dst, const unsigned char* shown,
                     const unsigned char* const* onion, int onionCount, int count) {
    static const OnionKernel best = OnionKernelAvailable(OnionKernel::Avx2) ? OnionKernel::Avx2
                                    : OnionKernelAvailable(OnionKernel::Ssse3)
                                        ? OnionKernel::Ssse3
                                        : OnionKernel::Scalar;
    ComposeOnionRowWith(best, dst, shown, onion, onionCount, count);
}
