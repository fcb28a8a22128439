#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "raster/BrushStamp.h"
#include "raster/FastDivide.h"
#include "raster/GrayImage.h"

namespace {

std::vector<unsigned char> Pixels(const GrayImage& image) {
    return {image.GetData(), image.GetData() + image.PixelCount()};
}

void MakeImage(GrayImage& image, int width, int height, int value) {
    ASSERT_EQ(image.Create(width, height), 1);
    image.Fill(value);
}

void FillRandom(GrayImage& image, std::mt19937& rng, int lo, int hi) {
    std::uniform_int_distribution<int> dist(lo, hi);
    unsigned char* data = image.GetData();
    for (std::size_t i = 0; i < image.PixelCount(); ++i)
        data[i] = static_cast<unsigned char>(dist(rng));
}

// Straight per-pixel transcription of the dab rules, for comparison with the optimised loops.
void ReferenceStamp(unsigned char* data, int width, int height, const BrushStamp& stamp, int x,
                    int y, int mode, int pressure) {
    const int p = pressure & 255;
    if (p == 0 || stamp.GetMask() == nullptr) return;
    const int size = stamp.GetSize();
    const unsigned char* m = stamp.GetMask();
    const int half = size / 2;
    const int scale = (p >> 1) + 127;
    for (std::int64_t yy = std::int64_t{y} - half; yy < std::int64_t{y} + half; ++yy) {
        for (std::int64_t xx = std::int64_t{x} - half; xx < std::int64_t{x} + half; ++xx) {
            if (xx < 0 || yy < 0 || xx >= width || yy >= height) continue;
            const int sx = half + static_cast<int>(xx - x) * 255 / scale;
            const int sy = half + static_cast<int>(yy - y) * 255 / scale;
            if (sx < 0 || sx > size - 2 || sy < 0 || sy > size - 2) continue;
            const int a = (m[sy * size + sx] + m[sy * size + sx + 1] + m[(sy + 1) * size + sx] +
                           m[(sy + 1) * size + sx + 1]) /
                          4;
            const int t = 255 - (255 - a) * p / 255;
            unsigned char& px = data[yy * width + xx];
            const int v = px;
            px = static_cast<unsigned char>(mode == 1 ? 255 - (255 - v) * t / 255 : v * t / 256);
        }
    }
}

// Straight transcription of the dab walk, every dab through DrawStamp.
void ReferenceLine(GrayImage& image, const BrushStamp& stamp, int x0, int y0, int x1, int y1,
                   int mode, int pressure) {
    const int p = pressure & 255;
    const int step = ((stamp.GetSize() * p / 255) % 256) / 4 + 1;
    if (x0 == x1 && y0 == y1) return;
    const int xmin = std::min(x0, x1), xmax = std::max(x0, x1);
    const int ymin = std::min(y0, y1), ymax = std::max(y0, y1);
    const bool falling = (x1 < x0 && y1 > y0) || (x1 > x0 && y1 < y0);
    const int dx = xmax - xmin, dy = ymax - ymin;
    if (dx > dy) {
        const float slope = static_cast<float>(dy) / static_cast<float>(dx);
        for (int x = xmin; x < xmax; x += step) {
            const double y = falling ? ymax - static_cast<double>(x - xmin) * slope
                                     : ymin + static_cast<double>(x - xmin) * slope;
            image.DrawStamp(stamp, x, static_cast<int>(y), mode, pressure);
        }
    } else {
        const float slope = static_cast<float>(dx) / static_cast<float>(dy);
        for (int y = ymin; y < ymax; y += step) {
            const double x = falling ? xmax - static_cast<double>(y - ymin) * slope
                                     : xmin + static_cast<double>(y - ymin) * slope;
            image.DrawStamp(stamp, static_cast<int>(x), y, mode, pressure);
        }
    }
}

TEST(Div255, ExactForEveryDividendTheDabsProduce) {
    for (std::uint32_t n = 0; n <= raster::kMaxDiv255Input; ++n) {
        ASSERT_EQ(raster::Div255(static_cast<std::uint16_t>(n)), n / 255) << n;
    }
}

TEST(ScaleDivider, ExactForEveryPressureScaleAndOffset) {
    for (std::uint32_t divisor = 127; divisor <= 254; ++divisor) {
        const raster::ScaleDivider divider(divisor);
        for (std::uint32_t n = 0; n <= raster::kMaxScaleDividend; ++n) {
            ASSERT_EQ(divider.Divide(n), n / divisor) << n << " / " << divisor;
        }
        for (int n : {-1, -254, -255, -256, -5000 * 255}) {
            ASSERT_EQ(divider.DivideSigned(n), n / static_cast<int>(divisor))
                << n << " / " << divisor;
        }
    }
}

// Size 4, hardness 0 at (4, 4) on 8 x 8: the pixels from 2 to 4 fall into three classes.
TEST(DrawStamp, EightByEightDab) {
    struct Case {
        int mode;
        int pressure;
        int background;
        int corner;  // (2, 2)
        int edge;    // (3, 2), (4, 2), (2, 3), (2, 4)
        int centre;  // (3, 3), (4, 3), (3, 4), (4, 4)
    };
    const Case cases[] = {
        {0, 255, 255, 235, 203, 108},   {0, 128, 255, 245, 229, 181},  {0, 1, 255, 255, 255, 254},
        {1, 255, 0, 19, 51, 146},       {0, 511, 255, 235, 203, 108},  {0, -1, 255, 235, 203, 108},
        {0, 0x1FF, 255, 235, 203, 108}, {0, 256, 255, 255, 255, 255},  {0, 0, 255, 255, 255, 255},
        {2, 255, 255, 235, 203, 108},   {-1, 255, 255, 235, 203, 108}, {1, 256, 0, 0, 0, 0},
    };
    BrushStamp stamp;
    stamp.Build(4, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " pressure " << c.pressure);
        GrayImage image;
        MakeImage(image, 8, 8, c.background);
        EXPECT_EQ(image.DrawStamp(stamp, 4, 4, c.mode, c.pressure), 1);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) {
                int expected = c.background;
                if (x >= 2 && x <= 4 && y >= 2 && y <= 4) {
                    const int lowSides = (x == 2) + (y == 2);
                    expected = lowSides == 2 ? c.corner : lowSides == 1 ? c.edge : c.centre;
                }
                EXPECT_EQ(image.GetData()[y * 8 + x], expected) << "(" << x << ", " << y << ")";
            }
        }
    }
}

TEST(DrawStamp, SizeTwoDabChangesOnePixel) {
    BrushStamp stamp;
    stamp.Build(2, 20);
    GrayImage image;
    MakeImage(image, 8, 8, 255);
    image.DrawStamp(stamp, 4, 4, 0, 255);
    std::vector<unsigned char> expected(64, 255);
    expected[3 * 8 + 3] = 190;
    EXPECT_EQ(Pixels(image), expected);
}

TEST(DrawStamp, SizeTwentyFiveDabDarkensWholeSampledFootprint) {
    BrushStamp stamp;
    stamp.Build(25, 0);
    GrayImage image;
    MakeImage(image, 64, 64, 255);
    image.DrawStamp(stamp, 32, 32, 0, 255);
    int changed = 0;
    int faint = 0;
    for (unsigned char v : Pixels(image)) {
        changed += v != 255;
        faint += v == 254;
    }
    EXPECT_EQ(changed, 576);
    EXPECT_EQ(faint, 65);
}

TEST(DrawStamp, DabsOffTheImageOrWithoutMaskChangeNothing) {
    BrushStamp big;
    big.Build(40, 0);
    struct Case {
        int x;
        int y;
    };
    // An 8 x 8 image; the size-40 footprint reaches 20 pixels either way.
    const Case offImage[] = {{-100, -100}, {INT_MIN, INT_MIN}, {INT_MAX, INT_MAX},
                             {INT_MIN, 4}, {4, INT_MAX},       {INT_MAX, 4},
                             {-20, 4},     {4, -20},           {28, 4},
                             {4, 28},      {INT_MAX - 5, 3},   {INT_MIN + 5, INT_MAX - 5}};
    for (const Case& c : offImage) {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        GrayImage image;
        MakeImage(image, 8, 8, 200);
        EXPECT_EQ(image.DrawStamp(big, c.x, c.y, 0, 255), 1);
        EXPECT_EQ(image.DrawStamp(big, c.x, c.y, 1, 255), 1);
        EXPECT_EQ(Pixels(image), std::vector<unsigned char>(64, 200));
    }

    const std::pair<int, int> degenerate[] = {{0, 0}, {1, 0}, {1, 100}, {-3, 0}, {10001, 0}};
    for (const auto& [size, hardness] : degenerate) {
        SCOPED_TRACE(testing::Message() << "size " << size);
        BrushStamp stamp;
        stamp.Build(size, hardness);
        GrayImage image;
        MakeImage(image, 8, 8, 200);
        EXPECT_EQ(image.DrawStamp(stamp, 4, 4, 0, 255), 1);
        EXPECT_EQ(image.DrawLine(stamp, 0, 0, 7, 5, 0, 255), 1);
        EXPECT_EQ(Pixels(image), std::vector<unsigned char>(64, 200));
    }
    BrushStamp unbuilt;
    GrayImage image;
    MakeImage(image, 8, 8, 200);
    image.DrawStamp(unbuilt, 4, 4, 0, 255);
    EXPECT_EQ(Pixels(image), std::vector<unsigned char>(64, 200));
}

TEST(DrawStamp, ImageWithoutPixelsIsLeftAlone) {
    BrushStamp stamp;
    stamp.Build(10, 0);
    GrayImage empty;
    EXPECT_EQ(empty.DrawStamp(stamp, 0, 0, 0, 255), 1);
    EXPECT_EQ(empty.DrawLine(stamp, 0, 0, 30, 30, 0, 255), 1);
    GrayImage freed;
    ASSERT_EQ(freed.Create(20, 20), 1);
    freed.Free();
    EXPECT_EQ(freed.DrawStamp(stamp, 5, 5, 1, 255), 1);
    EXPECT_EQ(freed.DrawLine(stamp, 0, 0, 30, 30, 1, 255), 1);
    EXPECT_EQ(freed.GetData(), nullptr);
}

// The optimised dab must match the per-pixel rules byte for byte, and write nothing outside the
// image: the buffer is framed by guard bytes.
TEST(DrawStamp, MatchesReferenceModel) {
    std::mt19937 rng(20240611);
    constexpr int kGuard = 64;
    BrushStamp stamp;
    for (int round = 0; round < 3000; ++round) {
        const bool odd = round % 10 == 0;
        const int size = odd ? std::uniform_int_distribution<int>(41, 150)(rng)
                             : std::uniform_int_distribution<int>(2, 40)(rng);
        const int hardness = odd ? std::uniform_int_distribution<int>(-30, 160)(rng)
                                 : std::uniform_int_distribution<int>(0, 100)(rng);
        stamp.Build(size, hardness);
        const int width = std::uniform_int_distribution<int>(1, 90)(rng);
        const int height = std::uniform_int_distribution<int>(1, 90)(rng);
        const std::size_t count = static_cast<std::size_t>(width) * height;
        std::vector<unsigned char> buffer(count + 2 * kGuard);
        for (auto& b : buffer) b = static_cast<unsigned char>(rng());
        std::vector<unsigned char> expected(buffer);

        GrayImage framed;
        ASSERT_EQ(framed.Create(width, height), 1);
        // Hand the image's own buffer back however the checks below leave the scope.
        struct Restore {
            GrayImage& image;
            unsigned char* own;
            ~Restore() { image.SetData(own); }
        } restore{framed, framed.GetData()};
        framed.SetData(buffer.data() + kGuard);

        const int half = size / 2;
        for (int dab = 0; dab < 4; ++dab) {
            const int x = std::uniform_int_distribution<int>(-half - 3, width + half + 3)(rng);
            const int y = std::uniform_int_distribution<int>(-half - 3, height + half + 3)(rng);
            const int modes[] = {0, 1, 1, 2, -1};
            const int mode = modes[std::uniform_int_distribution<int>(0, 4)(rng)];
            const int pressure =
                round % 7 == 0 ? 255 : std::uniform_int_distribution<int>(-2, 511)(rng);
            SCOPED_TRACE(testing::Message()
                         << "size " << size << " hardness " << hardness << " image " << width << "x"
                         << height << " at " << x << "," << y << " mode " << mode << " pressure "
                         << pressure);
            framed.DrawStamp(stamp, x, y, mode, pressure);
            ReferenceStamp(expected.data() + kGuard, width, height, stamp, x, y, mode, pressure);
            ASSERT_EQ(buffer, expected);
        }
    }
}

TEST(DrawLine, DabPositionsOfExamples) {
    using Dabs = std::vector<std::pair<int, int>>;
    struct Case {
        int x0, y0, x1, y1;
        int size;
        int pressure;
        Dabs dabs;
    };
    const Dabs shallow = {{0, 0}, {7, 2}};
    const Dabs steep = {{0, 0}, {0, 2}, {1, 4}, {1, 6}, {2, 8}};
    const Dabs steepFalling = {{3, 0}, {2, 2}, {1, 4}, {1, 6}, {0, 8}};
    const Dabs diagonal = {{0, 0}, {1, 1}, {2, 2}, {3, 3}};
    const Case cases[] = {
        {0, 0, 10, 3, 25, 255, shallow},
        {10, 3, 0, 0, 25, 255, shallow},
        {3, 10, 0, 0, 6, 255, steep},
        {0, 0, 3, 10, 6, 255, steep},
        {0, 10, 3, 0, 6, 255, steepFalling},
        {3, 0, 0, 10, 6, 255, steepFalling},
        {0, 0, 4, 4, 2, 255, diagonal},
        {4, 4, 0, 0, 2, 255, diagonal},
        {0, 0, 10, 3, 25, 128, {{0, 0}, {4, 1}, {8, 2}}},  // step (25 x 128 / 255) / 4 + 1 = 4
        {0, 0, 10, 3, 25, 0, {}},
        {0, 0, 10, 3, 25, 256, {}},
        {0, 0, 10, 3, 25, 511, shallow},
        {5, 5, 5, 5, 6, 255, {}},
    };
    std::mt19937 rng(7);
    for (const Case& c : cases) {
        for (int offset : {0, 20}) {
            SCOPED_TRACE(testing::Message() << "(" << c.x0 << ", " << c.y0 << ") to (" << c.x1
                                            << ", " << c.y1 << ") size " << c.size << " pressure "
                                            << c.pressure << " offset " << offset);
            BrushStamp stamp;
            stamp.Build(c.size, 0);
            GrayImage line;
            GrayImage dabs;
            MakeImage(line, 64, 64, 255);
            MakeImage(dabs, 64, 64, 255);
            FillRandom(line, rng, 100, 255);
            std::memcpy(dabs.GetData(), line.GetData(), line.PixelCount());
            const auto before = Pixels(line);
            EXPECT_EQ(line.DrawLine(stamp, c.x0 + offset, c.y0 + offset, c.x1 + offset,
                                    c.y1 + offset, 0, c.pressure),
                      1);
            for (const auto& [x, y] : c.dabs)
                dabs.DrawStamp(stamp, x + offset, y + offset, 0, c.pressure);
            EXPECT_EQ(Pixels(line), Pixels(dabs));
            if (c.dabs.empty()) {
                EXPECT_EQ(Pixels(line), before);
            }
        }
    }
}

// Lines reaching far off the image skip the dabs that cannot touch it; the rest must land where
// the plain walk puts them.
TEST(DrawLine, MatchesPlainWalkForLongLines) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> coord(-3000, 3000);
    std::uniform_int_distribution<int> nearCoord(-30, 80);
    BrushStamp stamp;
    for (int round = 0; round < 600; ++round) {
        stamp.Build(std::uniform_int_distribution<int>(2, 40)(rng), 0);
        const int pressure = round % 3 == 0 ? 255 : std::uniform_int_distribution<int>(1, 255)(rng);
        const int mode = round % 2;
        const bool far = round % 4 != 0;
        const int x0 = far ? coord(rng) : nearCoord(rng), y0 = far ? coord(rng) : nearCoord(rng);
        const int x1 = far ? coord(rng) : nearCoord(rng), y1 = far ? coord(rng) : nearCoord(rng);
        SCOPED_TRACE(testing::Message()
                     << "(" << x0 << ", " << y0 << ") to (" << x1 << ", " << y1 << ") size "
                     << stamp.GetSize() << " pressure " << pressure);
        GrayImage line;
        GrayImage walk;
        MakeImage(line, 50, 40, 0);
        MakeImage(walk, 50, 40, 0);
        FillRandom(line, rng, 0, 255);
        std::memcpy(walk.GetData(), line.GetData(), line.PixelCount());
        line.DrawLine(stamp, x0, y0, x1, y1, mode, pressure);
        ReferenceLine(walk, stamp, x0, y0, x1, y1, mode, pressure);
        ASSERT_EQ(Pixels(line), Pixels(walk));
    }
}

// End points at the int limits: no overflow, no endless walk, and the dabs near the image sit
// on the grid that starts at INT_MIN.
TEST(DrawLine, EndPointsAtIntLimits) {
    struct Case {
        int x0, y0, x1, y1;
        int size;
        int (*minorOf)(std::int64_t);  // the dab's other coordinate
        bool xMajor;
    };
    const Case cases[] = {
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 2, [](std::int64_t m) { return int(m); }, false},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 25, [](std::int64_t m) { return int(m); }, false},
        {INT_MAX, INT_MAX, INT_MIN, INT_MIN, 40, [](std::int64_t m) { return int(m); }, false},
        {INT_MIN, INT_MAX, INT_MAX, INT_MIN, 25, [](std::int64_t m) { return int(-1 - m); }, false},
        {INT_MIN, 5, INT_MAX, 5, 6, [](std::int64_t) { return 5; }, true},
        {7, INT_MAX, 7, INT_MIN, 25, [](std::int64_t) { return 7; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.x0 << ", " << c.y0 << ") to (" << c.x1 << ", "
                                        << c.y1 << ") size " << c.size);
        BrushStamp stamp;
        stamp.Build(c.size, 0);
        GrayImage line;
        GrayImage dabs;
        MakeImage(line, 48, 40, 255);
        MakeImage(dabs, 48, 40, 255);
        EXPECT_EQ(line.DrawLine(stamp, c.x0, c.y0, c.x1, c.y1, 0, 255), 1);
        const std::int64_t step = c.size / 4 + 1;
        for (std::int64_t m = -80; m < 130; ++m) {
            if ((m - INT_MIN) % step != 0) continue;
            const int n = c.minorOf(m);
            if (c.xMajor) {
                dabs.DrawStamp(stamp, int(m), n, 0, 255);
            } else {
                dabs.DrawStamp(stamp, n, int(m), 0, 255);
            }
        }
        EXPECT_EQ(Pixels(line), Pixels(dabs));
        EXPECT_NE(Pixels(line), std::vector<unsigned char>(48 * 40, 255));
    }
}

}  // namespace
