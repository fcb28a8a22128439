#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "raster/BrushStamp.h"

namespace {

std::vector<int> MaskRows(const BrushStamp& stamp, int firstRow, int rows) {
    std::vector<int> out;
    const int size = stamp.GetSize();
    for (int v = firstRow; v < firstRow + rows; ++v) {
        for (int u = 0; u < size; ++u) out.push_back(stamp.GetMask()[v * size + u]);
    }
    return out;
}

TEST(BrushStamp, MaskExamples) {
    struct Case {
        int size;
        int hardness;
        int core;
        int firstRow;
        int rows;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {4,
         0,
         0,
         0,
         4,
         {255, 255, 255, 255, 255, 181, 128, 181, 255, 128, 0, 128, 255, 181, 128, 181}},
        {2, 20, 0, 0, 2, {255, 255, 255, 0}},
        {6, 20, 1, 3, 1, {255, 153, 51, 0, 51, 153}},
        {4, 100, 4, 0, 4, {255, 255, 255, 255, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0}},
        // Negative hardness widens the ramp beyond the radius: centre 255 - trunc(5 / 6 x 255).
        {10, -20, -2, 5, 1, {255, 213, 170, 128, 85, 43, 85, 128, 170, 213}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Build(" << c.size << ", " << c.hardness << ")");
        BrushStamp stamp;
        EXPECT_EQ(stamp.Build(c.size, c.hardness), 1);
        ASSERT_EQ(stamp.GetSize(), c.size);
        EXPECT_EQ(stamp.GetCore(), c.core);
        ASSERT_NE(stamp.GetMask(), nullptr);
        EXPECT_EQ(MaskRows(stamp, c.firstRow, c.rows), c.expected);
    }
}

TEST(BrushStamp, HardnessReadsBackFromCore) {
    struct Case {
        int size;
        int hardness;
        int size_after;
        int readBack;
    };
    const Case cases[] = {
        {6, 20, 6, 16},
        {25, 0, 25, 0},
        {2, 20, 2, 0},
        {3, 20, 3, 0},
        {4, 20, 4, 0},
        {40, 100, 40, 100},
        {10, 150, 10, 150},
        {10, -20, 10, -20},
        {1, 50, 1, 0},
        {0, 20, 0, 0},
        {-5, 20, 0, 0},
        {10001, 20, 0, 0},
        {INT_MIN, 0, 0, 0},
        {INT_MAX, 100, 0, 0},
        // Hardness a damaged file can carry: no overflow, and the reading stays in range.
        {10, INT_MAX, 10, 2147483640},
        {10, INT_MIN, 10, -2147483640},
        {200, INT_MAX, 200, 1073741823},
        {200, INT_MIN, 200, -1073741824},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Build(" << c.size << ", " << c.hardness << ")");
        BrushStamp stamp;
        EXPECT_EQ(stamp.Build(c.size, c.hardness), 1);
        EXPECT_EQ(stamp.GetSize(), c.size_after);
        EXPECT_EQ(stamp.GetHardness(), c.readBack);
        EXPECT_EQ(stamp.GetMask() == nullptr, c.size_after == 0);
    }
}

TEST(BrushStamp, NewStampHasNoSize) {
    BrushStamp stamp;
    EXPECT_EQ(stamp.GetSize(), 0);
    EXPECT_EQ(stamp.GetMask(), nullptr);
    EXPECT_EQ(stamp.GetHardness(), 0);
}

TEST(BrushStamp, HardnessAboveHundredInksBeyondCircle) {
    BrushStamp stamp;
    stamp.Build(10, 150);  // r = 7.5 > R = 5
    for (int v = 0; v < 10; ++v) {
        for (int u = 0; u < 10; ++u) {
            SCOPED_TRACE(testing::Message() << u << ", " << v);
            EXPECT_EQ(stamp.GetMask()[v * 10 + u], 0);  // even (0, 0), at 7.07
        }
    }
    stamp.Build(10, 120);  // r = 6: (0,0) at 7.07 and (1,0) at 6.40 stay 255, (5,0) at 5 is 0
    EXPECT_EQ(stamp.GetMask()[0], 255);
    EXPECT_EQ(stamp.GetMask()[1], 255);
    EXPECT_EQ(stamp.GetMask()[5], 0);
}

TEST(BrushStamp, ExtremeHardnessGivesFlatMasks) {
    const struct {
        int hardness;
        int value;
    } cases[] = {{INT_MAX, 0}, {INT_MIN, 255}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hardness);
        BrushStamp stamp;
        stamp.Build(300, c.hardness);
        ASSERT_EQ(stamp.GetSize(), 300);
        for (int i = 0; i < 300 * 300; ++i) ASSERT_EQ(stamp.GetMask()[i], c.value) << i;
    }
}

TEST(BrushStamp, RebuildReplacesMask) {
    BrushStamp stamp;
    stamp.Build(40, 0);
    stamp.Build(2, 20);
    EXPECT_EQ(MaskRows(stamp, 0, 2), (std::vector<int>{255, 255, 255, 0}));
    stamp.Build(0, 0);
    EXPECT_EQ(stamp.GetMask(), nullptr);
    EXPECT_EQ(stamp.GetCore(), 0);
}

}  // namespace
