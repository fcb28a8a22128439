// Frames held as the file's runs: exact bytes, the fall back to plain pixels, and decoding.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "raster/CompactImage.h"
#include "raster/GrayImage.h"

namespace {

std::string Hex(const unsigned char* data, std::size_t n) {
    static const char* digits = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[data[i] >> 4];
        s += digits[data[i] & 15];
    }
    return s;
}

// Pixels made of (value, count) pieces.
std::vector<unsigned char> Pieces(std::initializer_list<std::pair<int, int>> pieces) {
    std::vector<unsigned char> px;
    for (auto [value, count] : pieces)
        px.insert(px.end(), count, static_cast<unsigned char>(value));
    return px;
}

std::vector<unsigned char> Noise(std::size_t n) {
    std::vector<unsigned char> px(n);
    std::uint32_t state = 12345;
    for (unsigned char& p : px) {
        state = state * 1664525u + 1013904223u;
        p = static_cast<unsigned char>(state >> 24);
    }
    return px;
}

TEST(CompactImage, EncodeKeepsTheFileRunsUnlessPlainPixelsTakeLess) {
    struct Case {
        const char* name;
        int width, height;
        std::vector<unsigned char> pixels;
        bool runs;
        std::string bytes;  // the runs; plain pixels when empty
    } cases[] = {
        {"one value over two rows", 16, 2, Pieces({{255, 32}}), true, "ff20000000"},
        {"a run continues into the next row", 8, 2, Pieces({{7, 3}, {9, 13}}), true,
         "0703000000090d000000"},
        {"runs exactly as long as the pixels", 10, 1, Pieces({{0, 5}, {255, 5}}), true,
         "0005000000ff05000000"},
        {"runs a byte longer than the pixels", 14, 1, Pieces({{0, 5}, {255, 4}, {0, 5}}), false,
         ""},
        {"noise", 64, 64, Noise(64 * 64), false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CompactImage image = CompactImage::Encode(c.pixels.data(), c.width, c.height);
        ASSERT_FALSE(image.Empty());
        EXPECT_EQ(image.Width(), c.width);
        EXPECT_EQ(image.Height(), c.height);
        EXPECT_EQ(image.PixelCount(), c.pixels.size());
        EXPECT_EQ(image.HasRuns(), c.runs);
        const std::string expect = c.runs ? c.bytes : Hex(c.pixels.data(), c.pixels.size());
        EXPECT_EQ(image.Bytes() * 2, expect.size());
        EXPECT_EQ(Hex(image.Data(), image.Bytes()), expect);
        // Decoded into an image of another size, which takes the right one.
        GrayImage out;
        ASSERT_TRUE(out.Create(3, 3));
        ASSERT_TRUE(image.Decode(out));
        EXPECT_EQ(out.GetWidth(), c.width);
        EXPECT_EQ(out.GetHeight(), c.height);
        EXPECT_EQ(Hex(out.GetData(), out.PixelCount()), Hex(c.pixels.data(), c.pixels.size()));
        // The same from a GrayImage.
        EXPECT_EQ(Hex(CompactImage::Encode(out).Data(), image.Bytes()), expect);
    }
}

TEST(CompactImage, FilledSplitsRunsAtTheMaximumWithoutTouchingPixels) {
    // 2.5 billion pixels, more than one run holds: 0x7FFFFFFE, then the other 0x1502F902.
    const CompactImage big = CompactImage::Filled(50000, 50000, 255);
    ASSERT_FALSE(big.Empty());
    EXPECT_TRUE(big.HasRuns());
    EXPECT_EQ(big.PixelCount(), 2500000000u);
    EXPECT_EQ(Hex(big.Data(), big.Bytes()), "fffeffff7fff02f90215");
    const CompactImage small = CompactImage::Filled(4, 3, 40);
    EXPECT_EQ(Hex(small.Data(), small.Bytes()), "280c000000");
    EXPECT_TRUE(CompactImage::Filled(0, 3, 40).Empty());
    EXPECT_TRUE(CompactImage::Filled(3, -1, 40).Empty());
}

TEST(CompactImage, CopiesShareOneEncodingThatNothingChanges) {
    const std::vector<unsigned char> px = Pieces({{1, 6}, {2, 10}});
    const CompactImage a = CompactImage::Encode(px.data(), 4, 4);
    const CompactImage copy = a;
    EXPECT_TRUE(copy.SameAs(a));
    EXPECT_EQ(copy.Data(), a.Data());
    // Equal pixels encoded twice are two encodings.
    EXPECT_FALSE(CompactImage::Encode(px.data(), 4, 4).SameAs(a));
    const CompactImage none;
    EXPECT_TRUE(none.Empty());
    EXPECT_EQ(none.Bytes(), 0u);
    GrayImage out;
    EXPECT_FALSE(none.Decode(out));
    EXPECT_TRUE(CompactImage::Encode(nullptr, 4, 4).Empty());
    // Runs given as the file has them decode to their pixels.
    const std::vector<unsigned char> runs = {1, 6, 0, 0, 0, 2, 10, 0, 0, 0};
    ASSERT_TRUE(CompactImage::FromRuns(runs, 4, 4).Decode(out));
    EXPECT_EQ(Hex(out.GetData(), out.PixelCount()), Hex(px.data(), px.size()));
}

}  // namespace
