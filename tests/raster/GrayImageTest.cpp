#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "raster/GrayImage.h"

#if defined(__SANITIZE_ADDRESS__)
// A refused huge allocation must come back as null, as it does without the sanitizer.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif

namespace {

bool AllBytes(const GrayImage& image, unsigned char value) {
    const unsigned char* data = image.GetData();
    return std::all_of(data, data + image.PixelCount(),
                       [&](unsigned char b) { return b == value; });
}

TEST(GrayImage, NewImageHasNoPixelsAndFillAllocatesNothing) {
    GrayImage image;
    EXPECT_EQ(image.GetData(), nullptr);
    EXPECT_EQ(image.GetWidth(), 0);
    EXPECT_EQ(image.GetHeight(), 0);
    EXPECT_EQ(image.Fill(255), 1);
    EXPECT_EQ(image.GetData(), nullptr);
    EXPECT_EQ(image.PixelCount(), 0u);
}

TEST(GrayImage, CreateReplacesBufferAndFillWhitens) {
    GrayImage image;
    ASSERT_EQ(image.Create(16, 8), 1);
    image.Fill(0);
    ASSERT_EQ(image.Create(644, 576), 1);
    ASSERT_NE(image.GetData(), nullptr);
    EXPECT_EQ(image.GetWidth(), 644);
    EXPECT_EQ(image.GetHeight(), 576);
    EXPECT_EQ(image.PixelCount(), 370944u);
    EXPECT_EQ(image.Fill(255), 1);
    EXPECT_TRUE(AllBytes(image, 255));
}

TEST(GrayImage, FillUsesLowEightBits) {
    struct Case {
        int value;
        unsigned char expected;
    };
    const Case cases[] = {{511, 255}, {256, 0}, {-1, 255}, {0x1234, 0x34}, {0, 0}, {INT_MIN, 0}};
    GrayImage image;
    ASSERT_EQ(image.Create(7, 3), 1);  // any width is accepted, not only multiples of 4
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(image.Fill(c.value), 1);
        EXPECT_TRUE(AllBytes(image, c.expected));
    }
}

TEST(GrayImage, FreeKeepsSize) {
    GrayImage image;
    ASSERT_EQ(image.Create(12, 5), 1);
    EXPECT_EQ(image.Free(), 1);
    EXPECT_EQ(image.GetData(), nullptr);
    EXPECT_EQ(image.GetWidth(), 12);
    EXPECT_EQ(image.GetHeight(), 5);
    EXPECT_EQ(image.PixelCount(), 0u);
    EXPECT_EQ(image.Free(), 1);
    EXPECT_EQ(image.Fill(0), 1);
}

TEST(GrayImage, SetDataNullLeavesBufferToItsOwner) {
    unsigned char* buffer = nullptr;
    {
        GrayImage image;
        ASSERT_EQ(image.Create(5, 4), 1);
        image.Fill(7);
        buffer = image.GetData();
        image.SetData(nullptr);
        EXPECT_EQ(image.GetData(), nullptr);
        EXPECT_EQ(image.GetWidth(), 5);
        EXPECT_EQ(image.GetHeight(), 4);
    }
    // Still intact after the image is gone (a sanitizer build catches a release).
    EXPECT_EQ(buffer[19], 7);
    delete[] buffer;
}

TEST(GrayImage, SetDataDoesNotReleaseDisplacedBuffer) {
    GrayImage a;
    ASSERT_EQ(a.Create(4, 2), 1);
    a.Fill(9);
    unsigned char* displaced = a.GetData();
    auto* replacement = new unsigned char[8]();
    a.SetData(replacement);
    EXPECT_EQ(displaced[7], 9);
    delete[] displaced;
}

TEST(GrayImage, CreateRefusesBadSizes) {
    struct Case {
        int width;
        int height;
    };
    const Case cases[] = {{-1, 10}, {10, -1}, {INT_MIN, INT_MIN}, {-4, -4}, {INT_MAX, INT_MAX}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        GrayImage image;
        ASSERT_EQ(image.Create(8, 6), 1);
        EXPECT_EQ(image.Create(c.width, c.height), 0);
        EXPECT_EQ(image.GetData(), nullptr);
        EXPECT_EQ(image.GetWidth(), 8);
        EXPECT_EQ(image.GetHeight(), 6);
        EXPECT_EQ(image.PixelCount(), 0u);
        EXPECT_EQ(image.Fill(1), 1);
    }
}

TEST(GrayImage, SwapExchangesBuffersAndSizes) {
    GrayImage a;
    GrayImage b;
    ASSERT_EQ(a.Create(4, 3), 1);
    a.Fill(1);
    unsigned char* aData = a.GetData();
    a.Swap(b);
    EXPECT_EQ(a.GetData(), nullptr);
    EXPECT_EQ(a.GetWidth(), 0);
    EXPECT_EQ(b.GetData(), aData);
    EXPECT_EQ(b.GetWidth(), 4);
    EXPECT_EQ(b.GetHeight(), 3);
    EXPECT_EQ(b.PixelCount(), 12u);
}

}  // namespace
