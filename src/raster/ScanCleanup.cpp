#include "raster/ScanCleanup.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>

bool GrayPlane::Create(int w, int h) {
    width = 0;
    height = 0;
    pixels.clear();
    if (w <= 0 || h <= 0) return false;
    try {
        pixels.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    } catch (const std::bad_alloc&) {
        pixels = {};
        return false;
    }
    width = w;
    height = h;
    return true;
}

namespace {

struct Rgb {
    int r, g, b;
};

// One pixel laid over white paper.
inline Rgb PixelOverWhite(const unsigned char* p, bool bgra) {
    const int a = p[3];
    int r = bgra ? p[2] : p[0];
    const int g = p[1];
    int b = bgra ? p[0] : p[2];
    if (a == 255) return {r, g, b};
    const int white = 255 * (255 - a);
    auto over = [&](int c) { return (c * a + white + 127) / 255; };
    return {over(r), over(g), over(b)};
}

// BT.709 weights in 16 bits; they sum to 65536, so white stays 255.
inline int Luma(const Rgb& c) {
    return (13933 * c.r + 46871 * c.g + 4732 * c.b + 32768) >> 16;
}

bool Opaque(const unsigned char* in, int width) {
    unsigned char all = 255;
    for (int x = 0; x < width; ++x) all &= in[4 * x + 3];
    return all == 255;
}

// A row without transparency, written so that the compiler can vectorise it.
template <int R, int B>
void LumaRow(const unsigned char* in, int width, unsigned char* out) {
    for (int x = 0; x < width; ++x) {
        const unsigned r = in[4 * x + R], g = in[4 * x + 1], b = in[4 * x + B];
        out[x] = static_cast<unsigned char>((13933u * r + 46871u * g + 4732u * b + 32768u) >> 16);
    }
}

// Colour spread (against neutral paper) from which a line counts as coloured pencil, and from
// which it is paper outright. Graphite and ink spread less than the first.
constexpr int kColourStart = 12;
constexpr int kColourFull = 40;
// A coloured line whose lightest channel stays below this is kept dark (graphite over it).
constexpr int kColourDark = 64;

int Percentile(const unsigned* hist, int bins, std::uint64_t total, double fraction) {
    if (total == 0) return 0;
    const auto target = static_cast<std::uint64_t>(fraction * static_cast<double>(total - 1));
    std::uint64_t seen = 0;
    for (int i = 0; i < bins; ++i) {
        seen += hist[i];
        if (seen > target) return i;
    }
    return bins - 1;
}

}  // namespace

PaperColour EstimatePaperColour(const RgbaView& rgba) {
    unsigned hist[3][256] = {};
    std::uint64_t total = 0;
    // Every second pixel of every second row is plenty for a tone that fills most of the sheet.
    for (int y = 0; y < rgba.height; y += 2) {
        const unsigned char* row = rgba.data + static_cast<std::size_t>(y) * rgba.stride;
        for (int x = 0; x < rgba.width; x += 2) {
            const Rgb c = PixelOverWhite(row + 4 * static_cast<std::size_t>(x), rgba.bgra);
            ++hist[0][c.r];
            ++hist[1][c.g];
            ++hist[2][c.b];
            ++total;
        }
    }
    PaperColour paper;
    if (total == 0) return paper;
    paper.r = std::max(1, Percentile(hist[0], 256, total, 0.9));
    paper.g = std::max(1, Percentile(hist[1], 256, total, 0.9));
    paper.b = std::max(1, Percentile(hist[2], 256, total, 0.9));
    return paper;
}

void GrayFromRgba(const RgbaView& rgba, bool dropColour, const PaperColour& paper, GrayPlane& out) {
    // Channel gains that make the paper neutral, in 8.8 fixed point.
    const int kr = 255 * 256 / std::max(1, paper.r);
    const int kg = 255 * 256 / std::max(1, paper.g);
    const int kb = 255 * 256 / std::max(1, paper.b);
    for (int y = 0; y < rgba.height; ++y) {
        const unsigned char* in = rgba.data + static_cast<std::size_t>(y) * rgba.stride;
        unsigned char* o = out.Row(y);
        if (!dropColour && Opaque(in, rgba.width)) {
            if (rgba.bgra)
                LumaRow<2, 0>(in, rgba.width, o);
            else
                LumaRow<0, 2>(in, rgba.width, o);
            continue;
        }
        for (int x = 0; x < rgba.width; ++x, in += 4) {
            const Rgb c = PixelOverWhite(in, rgba.bgra);
            int v = Luma(c);
            if (dropColour) {
                const int r = std::min(255, (c.r * kr) >> 8);
                const int g = std::min(255, (c.g * kg) >> 8);
                const int b = std::min(255, (c.b * kb) >> 8);
                const int top = std::max({r, g, b});
                const int spread = top - std::min({r, g, b});
                if (spread > kColourStart) {
                    // Coloured pencil is as light as its lightest channel, and a light one is
                    // paper; graphite over it keeps its darkness in every channel.
                    const int paperLike =
                        top >= 2 * kColourDark ? 255
                        : top <= kColourDark
                            ? top
                            : top + (255 - top) * (top - kColourDark) / kColourDark;
                    if (spread >= kColourFull)
                        v = paperLike;
                    else
                        v += (paperLike - v) * (spread - kColourStart) /
                             (kColourFull - kColourStart);
                }
            }
            o[x] = static_cast<unsigned char>(v);
        }
    }
}

namespace {
constexpr int kTile = 32;         // pixels per side of a region whose paper tone is measured
constexpr int kUnit = 1024;       // a pixel's tone against its paper, 1024 = the paper's
constexpr int kBins = 2 * kUnit;  // up to twice as bright as the paper
}  // namespace

void AutoLevels(GrayPlane& plane) {
    const int w = plane.width;
    const int h = plane.height;
    if (w <= 0 || h <= 0) return;
    const int gx = (w + kTile - 1) / kTile;
    const int gy = (h + kTile - 1) / kTile;

    // Paper tone of each region: a tone most of its pixels reach.
    std::vector<int> tone(static_cast<std::size_t>(gx) * gy);
    for (int ty = 0; ty < gy; ++ty)
        for (int tx = 0; tx < gx; ++tx) {
            unsigned hist[256] = {};
            std::uint64_t n = 0;
            // A quarter of the region's pixels tell its paper tone as well as all of them.
            for (int y = ty * kTile; y < std::min(h, (ty + 1) * kTile); y += 2) {
                const unsigned char* row = plane.Row(y);
                for (int x = tx * kTile; x < std::min(w, (tx + 1) * kTile); x += 2, ++n)
                    ++hist[row[x]];
            }
            tone[static_cast<std::size_t>(ty) * gx + tx] = Percentile(hist, 256, n, 0.6);
        }
    // A region filled mostly by lines takes its neighbours' paper.
    std::vector<float> paper(tone.size());
    for (int ty = 0; ty < gy; ++ty)
        for (int tx = 0; tx < gx; ++tx) {
            int around[9];
            int k = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int y = std::clamp(ty + dy, 0, gy - 1);
                    const int x = std::clamp(tx + dx, 0, gx - 1);
                    around[k++] = tone[static_cast<std::size_t>(y) * gx + x];
                }
            std::nth_element(around, around + 4, around + 9);
            const int own = tone[static_cast<std::size_t>(ty) * gx + tx];
            paper[static_cast<std::size_t>(ty) * gx + tx] =
                static_cast<float>(std::max({own, around[4], 1}));
        }

    // Each pixel's tone against the paper around it: the paper's reciprocal, interpolated
    // between region centres, times the pixel.
    std::vector<float> inverse(paper.size());
    for (std::size_t i = 0; i < paper.size(); ++i)
        inverse[i] = static_cast<float>(kUnit) / paper[i];
    std::vector<float> band(gx);
    std::vector<float> inv(w);
    // One row of factors: flat before the first centre and after the last, straight between.
    auto rowFactors = [&](int y) {
        const float c = std::clamp((y + 0.5f) / kTile - 0.5f, 0.0f, static_cast<float>(gy - 1));
        const int y0 = std::min(static_cast<int>(c), std::max(0, gy - 2));
        const int y1 = std::min(y0 + 1, gy - 1);
        const float fy = gy > 1 ? c - static_cast<float>(y0) : 0.0f;
        for (int t = 0; t < gx; ++t)
            band[t] = inverse[static_cast<std::size_t>(y0) * gx + t] * (1 - fy) +
                      inverse[static_cast<std::size_t>(y1) * gx + t] * fy;
        const int first = std::min(w, kTile / 2);
        std::fill(inv.begin(), inv.begin() + first, band[0]);
        for (int t = 0; t + 1 < gx; ++t) {
            const int xa = t * kTile + kTile / 2;
            const int xb = std::min(w, xa + kTile);
            const float a = band[t];
            const float step = (band[t + 1] - a) / kTile;
            for (int x = xa; x < xb; ++x) inv[x] = a + step * static_cast<float>(x - xa);
        }
        const int last = std::min(w, (gx - 1) * kTile + kTile / 2);
        std::fill(inv.begin() + last, inv.end(), band[gx - 1]);
    };
    auto toneRow = [&](int y, std::uint16_t* r) {
        const unsigned char* row = plane.Row(y);
        for (int x = 0; x < w; ++x) {
            const int v = static_cast<int>(static_cast<float>(row[x]) * inv[x]);
            r[x] = static_cast<std::uint16_t>(v < kBins - 1 ? v : kBins - 1);
        }
    };
    // The tones' spread from every second row and column is as good as from all of them.
    unsigned hist[kBins] = {};
    std::vector<std::uint16_t> rel(w);
    const int step = w * static_cast<std::int64_t>(h) >= 40'000 ? 2 : 1;
    for (int y = 0; y < h; y += step) {
        rowFactors(y);
        toneRow(y, rel.data());
        for (int x = 0; x < w; x += step) ++hist[rel[x]];
    }
    // White point: below the paper's middle tone by a little more than its grain reaches
    // above it (the bright side of the grain is free of lines, so it measures the grain).
    std::uint64_t total = 0;
    for (unsigned n : hist) total += n;
    std::uint64_t paperCount = 0;
    for (int i = kUnit * 6 / 10; i < kBins; ++i) paperCount += hist[i];
    int middle = kUnit;
    if (paperCount > 0) {
        const auto target = paperCount / 2;
        std::uint64_t seen = 0;
        for (int i = kUnit * 6 / 10; i < kBins; ++i) {
            seen += hist[i];
            if (seen > target) {
                middle = i;
                break;
            }
        }
    }
    const int top = Percentile(hist, kBins, total, 0.995);
    const int grain = std::clamp(top - middle, kUnit / 200, kUnit * 3 / 10);
    const int white = std::max(1, middle - grain * 6 / 5 - kUnit / 100);
    // Black point: the darkest tone lines reach, ignoring the odd speck of dirt.
    std::uint64_t inkCount = 0;
    for (int i = 0; i < white / 2; ++i) inkCount += hist[i];
    int black = 0;
    if (inkCount >= 16) black = Percentile(hist, white / 2, inkCount, 0.02);
    black = std::clamp(black, 0, std::max(0, white - kUnit / 10));

    unsigned char lut[kBins];
    for (int i = 0; i < kBins; ++i) {
        if (i <= black)
            lut[i] = 0;
        else if (i >= white)
            lut[i] = 255;
        else
            lut[i] = static_cast<unsigned char>((2 * 255 * (i - black) + (white - black)) /
                                                (2 * (white - black)));
    }
    for (int y = 0; y < h; ++y) {
        rowFactors(y);
        toneRow(y, rel.data());
        unsigned char* row = plane.Row(y);
        for (int x = 0; x < w; ++x) row[x] = lut[rel[x]];
    }
}
