#pragma once

// Makes believable scans of drawings on punched animation paper: paper tone with grain and a
// shadow, pencil lines of varying darkness, blue construction lines, Acme peg holes (darker
// or lighter than the paper), the sheet shifted and turned on the glass as a hand lays it.
// Standard library only, so the raster tests, the intake tests and the benchmarks share it.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace scanmaker {

struct ScanRecipe {
    int width = 640;
    int height = 360;
    double dpi = 50;  // pixels per inch of the sheet: the side holes sit 4 inches from the middle
    double shiftX = 0, shiftY = 0;     // where the sheet lies, in pixels
    double angleDeg = 0;               // and how it is turned, about the picture's centre
    int paperLo = 225, paperHi = 245;  // the grain's range
    double shadow = 0;                 // levels lost towards the right edge (an uneven light)
    int inkLo = 30, inkHi = 60;        // pencil tones
    double lineWidth = 2.5;            // pencil line width in pixels
    bool blueLines = true;
    int holes = -1;  // -1 darker than the paper (a black lid), 1 lighter (white lid), 0 none
    bool holesTop = true;
    int lid = 12;  // what the lid shows through the holes and around the sheet
    int pose = 0;  // which drawing of a cycle: the ball moves along
    std::uint32_t seed = 1;
};

struct Scan {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;  // top row first, R G B
    // Where the hole centres really are in the picture: left oblong, round, right oblong.
    double holeX[3] = {}, holeY[3] = {};
};

struct Segment {
    double x0, y0, x1, y1, halfWidth;
    int tone0, tone1;
    bool blue;
};

inline double SegmentDistance(const Segment& s, double px, double py, double& t) {
    const double dx = s.x1 - s.x0, dy = s.y1 - s.y0;
    const double len2 = dx * dx + dy * dy;
    t = len2 > 0 ? std::clamp(((px - s.x0) * dx + (py - s.y0) * dy) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(px - (s.x0 + t * dx), py - (s.y0 + t * dy));
}

// The drawing on the sheet, in sheet pixels (the sheet as it lies unmoved on the glass).
inline std::vector<Segment> Drawing(const ScanRecipe& recipe) {
    std::vector<Segment> segs;
    const double w = recipe.width, h = recipe.height;
    const double hw = recipe.lineWidth / 2;
    const double pi = 3.14159265358979323846;
    const auto ring = [&](double cx, double cy, double r, bool blue, double half, int n) {
        for (int i = 0; i < n; ++i) {
            const double a0 = 2 * pi * i / n, a1 = 2 * pi * (i + 1) / n;
            const int t0 = recipe.inkLo + (recipe.inkHi - recipe.inkLo) * i / n;
            const int t1 = recipe.inkLo + (recipe.inkHi - recipe.inkLo) * (i + 1) / n;
            segs.push_back({cx + r * std::cos(a0), cy + r * std::sin(a0), cx + r * std::cos(a1),
                            cy + r * std::sin(a1), half, t0, t1, blue});
        }
    };
    // A ball bouncing along the ground, one pose per drawing.
    const double phase = (recipe.pose % 12) / 12.0;
    const double bx = w * (0.2 + 0.6 * phase);
    const double by = h * 0.68 - h * 0.38 * std::abs(std::sin(pi * phase * 2));
    const double r = h * 0.08;
    ring(bx, by, r, false, hw, 32);
    segs.push_back({bx - r * 0.6, by - r * 0.2, bx + r * 0.6, by + r * 0.3, hw, recipe.inkHi,
                    recipe.inkLo, false});
    segs.push_back(
        {w * 0.08, h * 0.68 + r, w * 0.92, h * 0.68 + r, hw, recipe.inkLo, recipe.inkHi, false});
    for (int i = 0; i < 6; ++i)
        segs.push_back({w * (0.1 + 0.13 * i), h * 0.68 + r + 3, w * (0.14 + 0.13 * i),
                        h * 0.68 + r + 14, hw * 0.7, recipe.inkHi, recipe.inkHi, false});
    if (recipe.blueLines) {
        ring(bx, by, r * 1.3, true, 0.8, 24);
        segs.push_back({bx - r * 1.6, by, bx + r * 1.6, by, 0.8, 0, 0, true});
        segs.push_back({bx, by - r * 1.6, bx, by + r * 1.6, 0.8, 0, 0, true});
        segs.push_back({w * 0.05, h * 0.35, w * 0.95, h * 0.35, 0.8, 0, 0, true});
    }
    return segs;
}

// Sheet hole centres (left oblong, round, right oblong) and sizes: 1/4 inch round hole,
// 1/2 by 1/8 inch oblongs.
inline void Holes(const ScanRecipe& recipe, double x[3], double y[3]) {
    const double cy = recipe.holesTop ? 0.6 * recipe.dpi : recipe.height - 0.6 * recipe.dpi;
    for (int i = 0; i < 3; ++i) {
        x[i] = recipe.width / 2.0 + (i - 1) * 4 * recipe.dpi;
        y[i] = cy;
    }
}

// How much of a one-pixel square around (px, py) a hole covers, by distance to its outline.
inline double HoleCover(const ScanRecipe& recipe, const double hx[3], const double hy[3], double px,
                        double py) {
    double best = 0;
    for (int i = 0; i < 3; ++i) {
        double d;
        if (i == 1) {
            d = std::hypot(px - hx[i], py - hy[i]) - recipe.dpi / 8;
        } else {
            // A stadium: a segment widened by the slot's half height.
            Segment s{hx[i] - recipe.dpi / 4 + recipe.dpi / 16,
                      hy[i],
                      hx[i] + recipe.dpi / 4 - recipe.dpi / 16,
                      hy[i],
                      0,
                      0,
                      0,
                      false};
            double t;
            d = SegmentDistance(s, px, py, t) - recipe.dpi / 16;
        }
        best = std::max(best, std::clamp(0.5 - d, 0.0, 1.0));
    }
    return best;
}

inline Scan MakeScan(const ScanRecipe& recipe) {
    Scan scan;
    scan.width = recipe.width;
    scan.height = recipe.height;
    scan.rgb.resize(static_cast<std::size_t>(recipe.width) * recipe.height * 3);
    const std::vector<Segment> segs = Drawing(recipe);
    double hx[3], hy[3];
    Holes(recipe, hx, hy);
    const double pi = 3.14159265358979323846;
    const double a = recipe.angleDeg * pi / 180, c = std::cos(a), s = std::sin(a);
    const double cx = recipe.width / 2.0, cy = recipe.height / 2.0;
    // Where the sheet's hole centres land in the picture.
    for (int i = 0; i < 3; ++i) {
        scan.holeX[i] = cx + c * (hx[i] - cx) - s * (hy[i] - cy) + recipe.shiftX;
        scan.holeY[i] = cy + s * (hx[i] - cx) + c * (hy[i] - cy) + recipe.shiftY;
    }
    std::uint32_t rng = recipe.seed * 2654435761u + 1;
    const auto next = [&rng] {
        rng ^= rng << 13;
        rng ^= rng >> 17;
        rng ^= rng << 5;
        return rng;
    };
    // Segment boxes, to skip the far ones quickly.
    std::vector<double> box(segs.size() * 4);
    for (std::size_t i = 0; i < segs.size(); ++i) {
        const Segment& g = segs[i];
        box[4 * i] = std::min(g.x0, g.x1) - g.halfWidth - 1;
        box[4 * i + 1] = std::max(g.x0, g.x1) + g.halfWidth + 1;
        box[4 * i + 2] = std::min(g.y0, g.y1) - g.halfWidth - 1;
        box[4 * i + 3] = std::max(g.y0, g.y1) + g.halfWidth + 1;
    }
    const int lidTone = recipe.holes > 0 ? 255 : recipe.lid;
    for (int y = 0; y < recipe.height; ++y)
        for (int x = 0; x < recipe.width; ++x) {
            // The sheet point under this pixel.
            const double qx = x - recipe.shiftX - cx, qy = y - recipe.shiftY - cy;
            const double px = cx + c * qx + s * qy, py = cy - s * qx + c * qy;
            const double span = recipe.paperHi - recipe.paperLo + 1;
            double paper = recipe.paperLo + static_cast<double>(next() % 4096) / 4096 * span;
            paper -= recipe.shadow * (static_cast<double>(x) / recipe.width) *
                     (static_cast<double>(x) / recipe.width);
            double r = paper, g = paper, b = paper;
            for (std::size_t i = 0; i < segs.size(); ++i) {
                if (px < box[4 * i] || px > box[4 * i + 1] || py < box[4 * i + 2] ||
                    py > box[4 * i + 3])
                    continue;
                double t;
                const double d = SegmentDistance(segs[i], px, py, t);
                const double cover = std::clamp(segs[i].halfWidth + 0.5 - d, 0.0, 1.0);
                if (cover <= 0) continue;
                if (segs[i].blue) {
                    // Light blue pencil: a filter over what is there.
                    r -= cover * r * 0.55;
                    g -= cover * g * 0.3;
                    b -= cover * b * 0.04;
                } else {
                    const double tone = segs[i].tone0 + (segs[i].tone1 - segs[i].tone0) * t;
                    const double m = std::min({r, g, b});
                    const double v = m + (tone - m) * cover;
                    r = std::min(r, v);
                    g = std::min(g, v);
                    b = std::min(b, v);
                }
            }
            const bool onSheet = px >= -recipe.width * 0.1 && px < recipe.width * 1.1 &&
                                 py >= -recipe.height * 0.1 && py < recipe.height * 1.1;
            double hole = onSheet ? (recipe.holes ? HoleCover(recipe, hx, hy, px, py) : 0) : 1;
            r += (lidTone - r) * hole;
            g += (lidTone - g) * hole;
            b += (lidTone - b) * hole;
            unsigned char* o =
                scan.rgb.data() + (static_cast<std::size_t>(y) * recipe.width + x) * 3;
            o[0] = static_cast<unsigned char>(std::clamp(std::lround(r), 0L, 255L));
            o[1] = static_cast<unsigned char>(std::clamp(std::lround(g), 0L, 255L));
            o[2] = static_cast<unsigned char>(std::clamp(std::lround(b), 0L, 255L));
        }
    return scan;
}

// The sheet point a picture point shows: how far off a registration lands is measured by
// sending the picture's corners through the found move and back to the sheet.
inline void PictureToSheet(const ScanRecipe& recipe, double x, double y, double& sx, double& sy) {
    const double pi = 3.14159265358979323846;
    const double a = recipe.angleDeg * pi / 180, c = std::cos(a), s = std::sin(a);
    const double cx = recipe.width / 2.0, cy = recipe.height / 2.0;
    const double qx = x - recipe.shiftX - cx, qy = y - recipe.shiftY - cy;
    sx = cx + c * qx + s * qy;
    sy = cy - s * qx + c * qy;
}

// How far, in pixels, the picture's corners land from where they should when the found move
// (cosine c, sine s, shift tx, ty) registers the other scan onto the first: output pixel (x, y)
// shows the other picture's point m^-1 (x, y).
inline double CornerError(const ScanRecipe& first, const ScanRecipe& other, double c, double s,
                          double tx, double ty) {
    double worst = 0;
    for (double x : {0.0, first.width - 1.0})
        for (double y : {0.0, first.height - 1.0}) {
            const double qx = x - tx, qy = y - ty;
            const double px = c * qx + s * qy, py = -s * qx + c * qy;
            double s0x, s0y, s1x, s1y;
            PictureToSheet(first, x, y, s0x, s0y);
            PictureToSheet(other, px, py, s1x, s1y);
            worst = std::max(worst, std::hypot(s0x - s1x, s0y - s1y));
        }
    return worst;
}

}  // namespace scanmaker
