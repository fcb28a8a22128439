#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "raster/GrayImage.h"
#include "raster/PegRegister.h"
#include "raster/ScanCleanup.h"
#include "support/ScanMaker.h"

namespace {

GrayPlane PlaneOf(int w, int h, const std::vector<int>& v) {
    GrayPlane p;
    p.Create(w, h);
    for (std::size_t i = 0; i < v.size(); ++i) p.pixels[i] = static_cast<unsigned char>(v[i]);
    return p;
}

GrayPlane GrayOf(const scanmaker::Scan& scan, bool drop) {
    std::vector<unsigned char> rgba(static_cast<std::size_t>(scan.width) * scan.height * 4);
    for (std::size_t i = 0; i < rgba.size() / 4; ++i) {
        for (int k = 0; k < 3; ++k) rgba[4 * i + k] = scan.rgb[3 * i + k];
        rgba[4 * i + 3] = 255;
    }
    const RgbaView view{rgba.data(), scan.width, scan.height,
                        static_cast<std::size_t>(scan.width) * 4};
    GrayPlane g;
    g.Create(scan.width, scan.height);
    GrayFromRgba(view, drop, EstimatePaperColour(view), g);
    return g;
}

TEST(ScanCleanup, GrayIsBt709LumaWithAlphaOverWhite) {
    struct Case {
        unsigned char rgba[4];
        bool bgra;
        int gray;
    };
    const Case cases[] = {
        {{255, 255, 255, 255}, false, 255}, {{0, 0, 0, 255}, false, 0},
        {{255, 0, 0, 255}, false, 54},      {{0, 255, 0, 255}, false, 182},
        {{0, 0, 255, 255}, false, 18},      {{0, 0, 255, 255}, true, 54},  // B G R A: red
        {{0, 0, 0, 0}, false, 255},         {{0, 0, 0, 128}, false, 127},
        {{100, 100, 100, 255}, false, 100}, {{10, 200, 30, 51}, false, 233},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.rgba[0]) << ',' << int(c.rgba[1]) << ','
                                        << int(c.rgba[2]) << ',' << int(c.rgba[3]));
        const RgbaView view{c.rgba, 1, 1, 4, c.bgra};
        GrayPlane g;
        ASSERT_TRUE(g.Create(1, 1));
        GrayFromRgba(view, false, PaperColour{}, g);
        EXPECT_EQ(g.pixels[0], c.gray);
    }
}

TEST(ScanCleanup, DropColourTurnsColouredPencilToPaperAndKeepsGraphite) {
    struct Case {
        const char* what;
        PaperColour paper;
        unsigned char rgb[3];
        int lo, hi;  // the gray it may become
    };
    const Case cases[] = {
        {"light blue pencil", {235, 235, 235}, {110, 160, 230}, 255, 255},
        {"dark blue pencil", {235, 235, 235}, {40, 60, 150}, 255, 255},
        {"red pencil", {235, 235, 235}, {200, 60, 60}, 255, 255},
        {"graphite", {235, 235, 235}, {50, 50, 50}, 50, 50},
        {"slightly warm graphite", {235, 235, 235}, {58, 54, 50}, 55, 55},
        {"paper", {235, 235, 235}, {235, 235, 235}, 235, 235},
        {"graphite under warm light", {250, 225, 180}, {60, 54, 43}, 54, 56},
        {"warm paper", {250, 225, 180}, {250, 225, 180}, 227, 227},
        {"blue under warm light", {250, 225, 180}, {120, 150, 200}, 255, 255},
        {"graphite over blue pencil", {235, 235, 235}, {18, 28, 38}, 25, 38},
        {"edge of a blue line", {235, 235, 235}, {200, 215, 233}, 240, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const unsigned char px[4] = {c.rgb[0], c.rgb[1], c.rgb[2], 255};
        GrayPlane g;
        ASSERT_TRUE(g.Create(1, 1));
        GrayFromRgba(RgbaView{px, 1, 1, 4}, true, c.paper, g);
        EXPECT_GE(g.pixels[0], c.lo);
        EXPECT_LE(g.pixels[0], c.hi);
    }
}

TEST(ScanCleanup, PaperColourIsTheBrightEndOfEachChannel) {
    std::vector<unsigned char> rgba;
    for (int i = 0; i < 100; ++i) {
        const bool ink = i % 10 == 0;
        const unsigned char px[4] = {static_cast<unsigned char>(ink ? 40 : 250),
                                     static_cast<unsigned char>(ink ? 40 : 225),
                                     static_cast<unsigned char>(ink ? 40 : 180), 255};
        rgba.insert(rgba.end(), px, px + 4);
    }
    const PaperColour p = EstimatePaperColour(RgbaView{rgba.data(), 10, 10, 40});
    EXPECT_EQ(p.r, 250);
    EXPECT_EQ(p.g, 225);
    EXPECT_EQ(p.b, 180);
}

TEST(ScanCleanup, AutoLevelsMakesFlatPaperWhiteAndInkBlack) {
    // 64 x 64 paper at 240 with an ink bar of 40: exactly 255 and 0.
    GrayPlane p;
    ASSERT_TRUE(p.Create(64, 64));
    std::fill(p.pixels.begin(), p.pixels.end(), 240);
    for (int y = 20; y < 24; ++y)
        for (int x = 8; x < 56; ++x) p.Row(y)[x] = 40;
    AutoLevels(p);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const bool ink = y >= 20 && y < 24 && x >= 8 && x < 56;
            ASSERT_EQ(p.At(x, y), ink ? 0 : 255) << x << ',' << y;
        }
    // A blank sheet stays blank.
    GrayPlane blank = PlaneOf(40, 40, std::vector<int>(1600, 231));
    AutoLevels(blank);
    for (unsigned char v : blank.pixels) ASSERT_EQ(v, 255);
}

TEST(ScanCleanup, AutoLevelsRemovesGrainAndShadowAndKeepsLines) {
    struct Case {
        const char* what;
        double shadow;
        int paperLo, paperHi;
    };
    const Case cases[] = {
        {"even light", 0, 225, 245},
        {"shadow to the right", 40, 225, 245},
        {"dim paper", 0, 200, 215},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        scanmaker::ScanRecipe recipe;
        recipe.blueLines = false;
        recipe.holes = 0;
        recipe.shadow = c.shadow;
        recipe.paperLo = c.paperLo;
        recipe.paperHi = c.paperHi;
        GrayPlane g = GrayOf(scanmaker::MakeScan(recipe), false);
        // Which pixels are paper and which the middle of a line: the same drawing in pure
        // black on pure white.
        scanmaker::ScanRecipe pure = recipe;
        pure.paperLo = pure.paperHi = 255;
        pure.inkLo = pure.inkHi = 0;
        pure.shadow = 0;
        const GrayPlane truth = GrayOf(scanmaker::MakeScan(pure), false);
        AutoLevels(g);
        std::size_t paper = 0, white = 0, ink = 0, inkAbove = 0;
        for (std::size_t i = 0; i < g.pixels.size(); ++i) {
            if (truth.pixels[i] == 255) {
                ++paper;
                white += g.pixels[i] == 255;
            } else if (truth.pixels[i] == 0) {
                ++ink;
                inkAbove += g.pixels[i] >= 64;
            }
        }
        ASSERT_GT(ink, 500u);
        EXPECT_GE(static_cast<double>(white) / paper, 0.99);
        EXPECT_EQ(inkAbove, 0u);
    }
}

TEST(ScanCleanup, DropColourLeavesPaperWhereBlueLinesWere) {
    scanmaker::ScanRecipe recipe;
    recipe.holes = 0;
    scanmaker::ScanRecipe plain = recipe;
    plain.blueLines = false;
    GrayPlane with = GrayOf(scanmaker::MakeScan(recipe), true);
    GrayPlane without = GrayOf(scanmaker::MakeScan(plain), true);
    AutoLevels(with);
    AutoLevels(without);
    std::size_t differ = 0;
    for (std::size_t i = 0; i < with.pixels.size(); ++i)
        differ += std::abs(with.pixels[i] - without.pixels[i]) > 24;
    // Only where a blue line crosses a pencil line can a trace stay.
    EXPECT_LT(differ, 60u);
    // Without dropping, the blue lines are there.
    GrayPlane kept = GrayOf(scanmaker::MakeScan(recipe), false);
    AutoLevels(kept);
    std::size_t blue = 0;
    for (std::size_t i = 0; i < kept.pixels.size(); ++i)
        blue += std::abs(kept.pixels[i] - without.pixels[i]) > 24;
    EXPECT_GT(blue, 800u);
}

TEST(ScanCleanup, FitPlacesScalesAndCrops) {
    struct Case {
        const char* what;
        int w, h;
        std::vector<int> src;
        int W, H;
        FitMode mode;
        std::vector<int> expected;  // top row first
    };
    const Case cases[] = {
        {"inside, down by 2 averages",
         4,
         2,
         {0, 255, 100, 100, 255, 255, 100, 100},
         2,
         1,
         FitMode::Inside,
         {191, 100}},
        {"inside, up by 2 is bilinear",
         2,
         1,
         {0, 200},
         4,
         2,
         FitMode::Inside,
         {0, 50, 150, 200, 0, 50, 150, 200}},
        {"inside, white beside",
         2,
         2,
         {10, 20, 30, 40},
         4,
         2,
         FitMode::Inside,
         {255, 10, 20, 255, 255, 30, 40, 255}},
        {"inside, white above and below",
         2,
         1,
         {10, 20},
         2,
         3,
         FitMode::Inside,
         {255, 255, 10, 20, 255, 255}},
        {"inside, down by 3 over partial pixels",
         3,
         1,
         {30, 60, 90},
         2,
         1,
         FitMode::Inside,
         {40, 80}},
        {"cover crops evenly", 4, 2, {1, 2, 3, 4, 5, 6, 7, 8}, 2, 2, FitMode::Cover, {2, 3, 6, 7}},
        {"cover scales to fill", 2, 1, {0, 200}, 2, 2, FitMode::Cover, {50, 150, 50, 150}},
        {"none centres 1:1",
         3,
         1,
         {7, 8, 9},
         5,
         3,
         FitMode::None,
         {255, 255, 255, 255, 255, 255, 7, 8, 9, 255, 255, 255, 255, 255, 255}},
        {"none crops the overflow",
         4,
         3,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
         2,
         1,
         FitMode::None,
         {6, 7}},
        {"odd margin goes right", 1, 1, {9}, 4, 1, FitMode::None, {255, 9, 255, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const GrayPlane p = PlaneOf(c.w, c.h, c.src);
        GrayImage frame;
        ASSERT_EQ(frame.Create(c.W, c.H), 1);
        ASSERT_EQ(FitToFrame(p, c.mode, frame), 1);
        std::vector<int> got;
        for (int y = c.H - 1; y >= 0; --y)  // frames keep the bottom row first
            for (int x = 0; x < c.W; ++x) got.push_back(frame.GetData()[y * c.W + x]);
        EXPECT_EQ(got, c.expected);
    }
}

TEST(ScanCleanup, FitKeepsAFlatToneFlat) {
    const GrayPlane p = PlaneOf(97, 61, std::vector<int>(97 * 61, 173));
    for (FitMode mode : {FitMode::Inside, FitMode::Cover}) {
        GrayImage frame;
        ASSERT_EQ(frame.Create(40, 40), 1);
        ASSERT_EQ(FitToFrame(p, mode, frame), 1);
        for (int y = 14; y < 26; ++y)
            for (int x = 0; x < 40; ++x) ASSERT_EQ(frame.GetData()[y * 40 + x], 173);
    }
}

TEST(ScanCleanup, MoveByWholePixelsCopiesAndFillsWithPaper) {
    const GrayPlane p = PlaneOf(3, 2, {1, 2, 3, 4, 5, 6});
    RigidMove m;
    m.tx = 1;
    m.ty = -1;
    GrayPlane out;
    ASSERT_TRUE(ApplyMove(p, m, 3, 2, out));
    EXPECT_EQ(std::vector<int>(out.pixels.begin(), out.pixels.end()),
              (std::vector<int>{255, 4, 5, 255, 255, 255}));
}

// Registers a scan onto the unmoved sheet and returns how far the picture's corners land
// from where they should, in pixels.
double RegistrationError(const scanmaker::ScanRecipe& first, const scanmaker::ScanRecipe& other) {
    PegHoles a, b;
    const GrayPlane ga = GrayOf(scanmaker::MakeScan(first), false);
    const GrayPlane gb = GrayOf(scanmaker::MakeScan(other), false);
    if (!FindPegHoles(ga, a) || !FindPegHoles(gb, b)) return 1e9;
    const RigidMove m = MoveOnto(b, a);
    return scanmaker::CornerError(first, other, m.c, m.s, m.tx, m.ty);
}

TEST(ScanCleanup, PegRegistrationLandsWithinAPixel) {
    struct Case {
        double dx, dy, angle;
        int holes;
        bool top;
        double shadow = 0;
    };
    // Up to 5 % of the width (32 pixels) and 2 degrees, dark and light holes, top and bottom.
    const Case cases[] = {
        {0, 0, 0, -1, true},
        {32, 0, 0, -1, true},
        {-32, 10, 0, -1, true},
        {0, 0, 2, -1, true},
        {0, 0, -2, -1, true},
        {31, -9, 1.7, -1, true},
        {-25, 12, -2, -1, false},
        {18, 7, 1.2, 1, true},
        {-32, -8, -2, 1, true},
        {12, 5, 0.6, 1, false},
        {32, 10, 2, 1, false},
        // Light holes in uneven light: the grain is told apart from the shadow.
        {20, 6, 1.5, 1, true, 30},
        {-28, -6, -1.8, 1, false, 30},
        {25, 8, 1, -1, true, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.dx << ' ' << c.dy << ' ' << c.angle << ' ' << c.holes << ' ' << c.top);
        scanmaker::ScanRecipe first;
        first.holes = c.holes;
        first.holesTop = c.top;
        first.shadow = c.shadow;
        scanmaker::ScanRecipe other = first;
        other.shiftX = c.dx;
        other.shiftY = c.dy;
        other.angleDeg = c.angle;
        other.pose = 5;
        other.seed = 7;
        EXPECT_LT(RegistrationError(first, other), 1.0);
        // The holes are found where they are.
        PegHoles h;
        const scanmaker::Scan scan = scanmaker::MakeScan(other);
        ASSERT_TRUE(FindPegHoles(GrayOf(scan, false), h));
        EXPECT_EQ(h.top, c.top);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(h.x[i], scan.holeX[i], 0.3);
            EXPECT_NEAR(h.y[i], scan.holeY[i], 0.3);
        }
    }
}

TEST(ScanCleanup, NoPegHolesAreFoundWhereThereAreNone) {
    scanmaker::ScanRecipe recipe;
    recipe.holes = 0;
    PegHoles h;
    EXPECT_FALSE(FindPegHoles(GrayOf(scanmaker::MakeScan(recipe), false), h));
    const GrayPlane blank = PlaneOf(200, 100, std::vector<int>(20000, 240));
    EXPECT_FALSE(FindPegHoles(blank, h));
    EXPECT_FALSE(FindPegHoles(PlaneOf(4, 4, std::vector<int>(16, 0)), h));
}

}  // namespace
