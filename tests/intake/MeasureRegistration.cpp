// Prints how far registered drawings land from the first one, in pixels at the picture's
// corners, for scans of 1920 x 1080 at 150 dpi shifted by up to 5 % of the width and turned
// by up to 2 degrees, with dark and light holes at the top and the bottom.
#include <cmath>
#include <cstdio>
#include <vector>

#include "raster/PegRegister.h"
#include "raster/ScanCleanup.h"
#include "support/ScanMaker.h"

namespace {
GrayPlane Gray(const scanmaker::Scan& scan) {
    std::vector<unsigned char> rgba(static_cast<std::size_t>(scan.width) * scan.height * 4, 255);
    for (std::size_t i = 0; i < rgba.size() / 4; ++i)
        for (int k = 0; k < 3; ++k) rgba[4 * i + k] = scan.rgb[3 * i + k];
    const RgbaView view{rgba.data(), scan.width, scan.height,
                        static_cast<std::size_t>(scan.width) * 4};
    GrayPlane g;
    g.Create(scan.width, scan.height);
    GrayFromRgba(view, false, PaperColour{}, g);
    return g;
}
}  // namespace

int main() {
    struct Case {
        double dx, dy, angle;
        int holes;
        bool top;
    };
    const Case cases[] = {{96, 0, 0, -1, true},   {-96, 30, 0, -1, true},
                          {0, 0, 2, -1, true},    {0, 0, -2, -1, true},
                          {96, -30, 2, -1, true}, {-96, 30, -2, -1, false},
                          {60, 20, 1.3, 1, true}, {-96, -30, -2, 1, true},
                          {96, 30, 2, 1, false},  {-40, 10, -0.7, 1, false}};
    double worstAll = 0;
    std::printf("shift x  shift y  turn   holes        error (px)\n");
    for (const Case& c : cases) {
        scanmaker::ScanRecipe first;
        first.width = 1920;
        first.height = 1080;
        first.dpi = 150;
        first.holes = c.holes;
        first.holesTop = c.top;
        first.shadow = 25;
        scanmaker::ScanRecipe other = first;
        other.shiftX = c.dx;
        other.shiftY = c.dy;
        other.angleDeg = c.angle;
        other.pose = 4;
        other.seed = 9;
        PegHoles a, b;
        if (!FindPegHoles(Gray(scanmaker::MakeScan(first)), a) ||
            !FindPegHoles(Gray(scanmaker::MakeScan(other)), b)) {
            std::printf("%7.1f  %7.1f  %5.2f  holes not found\n", c.dx, c.dy, c.angle);
            continue;
        }
        const RigidMove m = MoveOnto(b, a);
        const double worst = scanmaker::CornerError(first, other, m.c, m.s, m.tx, m.ty);
        worstAll = std::max(worstAll, worst);
        std::printf("%7.1f  %7.1f  %5.2f  %-5s %-6s  %.3f\n", c.dx, c.dy, c.angle,
                    c.holes < 0 ? "dark" : "light", c.top ? "top" : "bottom", worst);
    }
    std::printf("worst: %.3f pixels\n", worstAll);
    return worstAll < 1 ? 0 : 1;
}
