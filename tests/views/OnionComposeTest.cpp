// The onion row kernel against the plain rule: every product, every length, every list order.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "views/OnionCompose.h"

namespace {

// Plain transcription of the per-pixel rule.
void Reference(std::uint32_t* dst, const unsigned char* shown, const unsigned char* const* onion,
               int onionCount, int count) {
    for (int i = 0; i < count; ++i) {
        std::uint32_t b = shown[i];
        for (int k = 0; k < onionCount; ++k) b = b * onion[k][i] / 255;
        dst[i] = 0xFF000000u | b << 16 | b << 8 | shown[i];  // alpha, red, green, blue
    }
}

const OnionKernel kKernels[] = {OnionKernel::Scalar, OnionKernel::Ssse3, OnionKernel::Avx2};

// All 65,536 products and every plain gray value, once through whole vector steps and once
// pixel by pixel, with every kernel this processor has.
TEST(OnionCompose, EveryProductIsExact) {
    for (OnionKernel kernel : kKernels) {
        if (!OnionKernelAvailable(kernel)) continue;
        SCOPED_TRACE(static_cast<int>(kernel));
        std::vector<unsigned char> shown(256), onion(256);
        std::vector<std::uint32_t> out(256), ref(256);
        for (int i = 0; i < 256; ++i) {
            shown[i] = static_cast<unsigned char>(i);
            ref[i] = 0xFF000000u | 0x010101u * i;
        }
        ComposeOnionRowWith(kernel, out.data(), shown.data(), nullptr, 0, 256);
        ASSERT_EQ(out, ref) << "gray";
        for (int v = 0; v < 256; ++v) {
            std::fill(onion.begin(), onion.end(), static_cast<unsigned char>(v));
            const unsigned char* rows[1] = {onion.data()};
            Reference(ref.data(), shown.data(), rows, 1, 256);
            ComposeOnionRowWith(kernel, out.data(), shown.data(), rows, 1, 256);
            ASSERT_EQ(out, ref) << "onion " << v;
            std::fill(out.begin(), out.end(), 0);
            for (int i = 0; i < 256; ++i) {
                const unsigned char* one[1] = {onion.data() + i};
                ComposeOnionRowWith(kernel, out.data() + i, shown.data() + i, one, 1, 1);
            }
            ASSERT_EQ(out, ref) << "onion " << v;
        }
    }
}

TEST(OnionCompose, RandomRowsOfEveryLengthAndListSize) {
    std::mt19937 rng(11);
    std::vector<unsigned char> frames[9];
    for (auto& f : frames) {
        f.resize(100);
        for (auto& v : f) v = static_cast<unsigned char>(rng());
    }
    for (OnionKernel kernel : kKernels)
        for (int onions = 0; onions <= 8; ++onions)
            for (int from = 0; from < 3; ++from)
                for (int count = 0; count + from <= 100; ++count) {
                    const unsigned char* rows[8];
                    for (int k = 0; k < onions; ++k) rows[k] = frames[k + 1].data() + from;
                    // One guard word after the row must stay untouched.
                    std::vector<std::uint32_t> out(count + 1, 0xA5A5A5A5),
                        ref(count + 1, 0xA5A5A5A5);
                    Reference(ref.data(), frames[0].data() + from, rows, onions, count);
                    if (!OnionKernelAvailable(kernel)) continue;
                    ComposeOnionRowWith(kernel, out.data(), frames[0].data() + from, rows, onions,
                                        count);
                    ASSERT_EQ(out, ref) << static_cast<int>(kernel) << ": " << onions << " onions, "
                                        << count << " pixels";
                }
}

}  // namespace
