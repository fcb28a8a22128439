#include "raster/PegRegister.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>

namespace {

struct Blob {
    int area = 0;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // bounding box, inclusive
    bool dark = true;
    double cx = 0, cy = 0;  // in band rows
    int Width() const { return x1 - x0 + 1; }
    int Height() const { return y1 - y0 + 1; }
};

// Sum over a box of a summed-area table (w + 1 columns), the box clipped to the band.
struct Summed {
    int w = 0, h = 0;
    std::vector<std::int64_t> s;
    void Build(const GrayPlane& p, int row0, int rows) {
        w = p.width;
        h = rows;
        s.assign(static_cast<std::size_t>(w + 1) * (h + 1), 0);
        for (int y = 0; y < h; ++y) {
            const unsigned char* r = p.Row(row0 + y);
            std::int64_t line = 0;
            for (int x = 0; x < w; ++x) {
                line += r[x];
                s[static_cast<std::size_t>(y + 1) * (w + 1) + x + 1] =
                    s[static_cast<std::size_t>(y) * (w + 1) + x + 1] + line;
            }
        }
    }
    double Mean(int x, int y, int radius) const {
        const int xa = std::max(0, x - radius), xb = std::min(w, x + radius + 1);
        const int ya = std::max(0, y - radius), yb = std::min(h, y + radius + 1);
        const auto at = [&](int yy, int xx) {
            return s[static_cast<std::size_t>(yy) * (w + 1) + xx];
        };
        const std::int64_t sum = at(yb, xb) - at(ya, xb) - at(yb, xa) + at(ya, xa);
        return static_cast<double>(sum) / ((xb - xa) * (yb - ya));
    }
};

double Distance(const Blob& a, const Blob& b) {
    return std::hypot(a.cx - b.cx, a.cy - b.cy);
}

struct BandResult {
    bool found = false;
    double sigma = 1;  // the paper's grain
    double score = 1e300;
    Blob holes[3];
};

// The grain of the paper: spread of the band's tones around their median.
void PaperStats(const GrayPlane& p, int row0, int rows, int& median, double& sigma) {
    unsigned hist[256] = {};
    std::uint64_t n = 0;
    for (int y = row0; y < row0 + rows; ++y) {
        const unsigned char* r = p.Row(y);
        for (int x = 0; x < p.width; ++x, ++n) ++hist[r[x]];
    }
    std::uint64_t seen = 0;
    median = 255;
    for (int i = 0; i < 256; ++i) {
        seen += hist[i];
        if (seen * 2 > n) {
            median = i;
            break;
        }
    }
    // The grain from neighbours' differences: uneven light across the sheet does not count.
    unsigned dev[256] = {};
    std::uint64_t pairs = 0;
    for (int y = row0; y < row0 + rows; ++y) {
        const unsigned char* r = p.Row(y);
        for (int x = 0; x + 1 < p.width; x += 2, ++pairs) ++dev[std::abs(r[x + 1] - r[x])];
    }
    seen = 0;
    int mad = 0;
    for (int i = 0; i < 256; ++i) {
        seen += dev[i];
        if (seen * 2 > pairs) {
            mad = i;
            break;
        }
    }
    // The median absolute difference of two samples is about 0.95 of one sample's spread.
    sigma = std::max(1.0, 1.05 * mad);
}

// Puts h's centre at the mean of the pixels in [xa, xb] x [ya, yb], each weighted by how far it
// has gone from the paper towards the hole's tone (departure): nothing up to the noise (or
// half the hole's depth), fully from the depth on.
template <typename Departure>
void WeightCentre(Blob& h, int xa, int xb, int ya, int yb, double depth, double noise,
                  Departure departure) {
    const double lo = std::min(noise, 0.5 * depth);
    double sw = 0, sx = 0, sy = 0;
    for (int y = ya; y <= yb; ++y)
        for (int x = xa; x <= xb; ++x) {
            const double wt =
                std::clamp((departure(x, y) - lo) / std::max(1e-6, depth - lo), 0.0, 1.0);
            sw += wt;
            sx += wt * x;
            sy += wt * y;
        }
    if (sw > 0) {
        h.cx = sx / sw;
        h.cy = sy / sw;
    }
}

BandResult SearchBand(const GrayPlane& p, int row0, int rows) {
    BandResult best;
    const int w = p.width;
    int median = 0;
    double sigma = 1;
    PaperStats(p, row0, rows, median, sigma);
    Summed sum;
    sum.Build(p, row0, rows);
    const int smooth = std::max(1, w / 1000);
    const int wide = std::max(16, w / 30);
    // The pixel's smoothed difference from the paper around it.
    std::vector<signed char> mask(static_cast<std::size_t>(w) * rows, 0);
    const double smoothSigma = sigma / (2 * smooth + 1);
    const double darkStep = std::max(30.0, 6 * smoothSigma);
    const double lightStep = std::max(6.0, 6 * smoothSigma);
    // The paper around changes slowly: measured once per block of pixels.
    constexpr int kBlock = 8;
    std::vector<float> blockMean(static_cast<std::size_t>((w + kBlock - 1) / kBlock) *
                                 ((rows + kBlock - 1) / kBlock));
    const int bw = (w + kBlock - 1) / kBlock;
    for (int by = 0; by * kBlock < rows; ++by)
        for (int bx = 0; bx < bw; ++bx)
            blockMean[static_cast<std::size_t>(by) * bw + bx] = static_cast<float>(
                sum.Mean(bx * kBlock + kBlock / 2, by * kBlock + kBlock / 2, wide));
    const auto background = [&](int x, int y) {
        return static_cast<double>(
            blockMean[static_cast<std::size_t>(y / kBlock) * bw + x / kBlock]);
    };
    const std::size_t stride = static_cast<std::size_t>(w) + 1;
    const double area = (2 * smooth + 1) * (2 * smooth + 1);
    // Per block, the box sums below and above which a pixel is darker or lighter than paper.
    std::vector<std::int64_t> darkBelow(blockMean.size()), lightAbove(blockMean.size());
    for (std::size_t b = 0; b < blockMean.size(); ++b) {
        darkBelow[b] = static_cast<std::int64_t>(std::ceil((blockMean[b] - darkStep) * area));
        lightAbove[b] = static_cast<std::int64_t>(std::floor((blockMean[b] + lightStep) * area));
    }
    for (int y = 0; y < rows; ++y) {
        const bool inner = y >= smooth && y + smooth < rows;
        const std::int64_t* lo =
            sum.s.data() + static_cast<std::size_t>(inner ? y - smooth : 0) * stride;
        const std::int64_t* hi =
            sum.s.data() + static_cast<std::size_t>(inner ? y + smooth + 1 : 0) * stride;
        const std::size_t blockRow = static_cast<std::size_t>(y / kBlock) * bw;
        signed char* m = mask.data() + static_cast<std::size_t>(y) * w;
        for (int x = 0; x < w; ++x) {
            const std::size_t b = blockRow + static_cast<std::size_t>(x / kBlock);
            std::int64_t v;
            if (inner && x >= smooth && x + smooth < w)
                v = hi[x + smooth + 1] - lo[x + smooth + 1] - hi[x - smooth] + lo[x - smooth];
            else
                v = std::llround(sum.Mean(x, y, smooth) * area);
            m[x] = v < darkBelow[b] ? -1 : v > lightAbove[b] ? 1 : 0;
        }
    }

    // Connected regions of one polarity.
    std::vector<Blob> blobs;
    std::vector<int> stack;
    std::vector<unsigned char> seen(mask.size(), 0);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < w; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * w + x;
            if (!mask[i] || seen[i]) continue;
            const signed char pol = mask[i];
            Blob b;
            b.dark = pol < 0;
            b.x0 = b.x1 = x;
            b.y0 = b.y1 = y;
            double sx = 0, sy = 0;
            stack.clear();
            stack.push_back(static_cast<int>(i));
            seen[i] = 1;
            while (!stack.empty()) {
                const int j = stack.back();
                stack.pop_back();
                const int px = j % w, py = j / w;
                ++b.area;
                sx += px;
                sy += py;
                b.x0 = std::min(b.x0, px);
                b.x1 = std::max(b.x1, px);
                b.y0 = std::min(b.y0, py);
                b.y1 = std::max(b.y1, py);
                const int next[4][2] = {{px - 1, py}, {px + 1, py}, {px, py - 1}, {px, py + 1}};
                for (const auto& n : next) {
                    if (n[0] < 0 || n[0] >= w || n[1] < 0 || n[1] >= rows) continue;
                    const std::size_t k = static_cast<std::size_t>(n[1]) * w + n[0];
                    if (mask[k] != pol || seen[k]) continue;
                    seen[k] = 1;
                    stack.push_back(static_cast<int>(k));
                }
            }
            if (b.area < 12 || b.Width() > w / 6) continue;
            b.cx = sx / b.area;
            b.cy = sy / b.area;
            blobs.push_back(b);
        }

    std::vector<int> rounds, oblongs;
    for (int i = 0; i < static_cast<int>(blobs.size()); ++i) {
        const Blob& b = blobs[i];
        const double aspect = static_cast<double>(b.Width()) / b.Height();
        const double fill = static_cast<double>(b.area) / (b.Width() * b.Height());
        if (aspect >= 0.7 && aspect <= 1.4 && fill >= 0.6) rounds.push_back(i);
        if (aspect >= 2.2 && fill >= 0.55) oblongs.push_back(i);
    }
    const double pi = 3.14159265358979323846;
    for (int r : rounds) {
        const Blob& c = blobs[r];
        for (int li : oblongs) {
            const Blob& a = blobs[li];
            if (a.cx >= c.cx || a.dark != c.dark) continue;
            for (int ri : oblongs) {
                const Blob& b = blobs[ri];
                if (b.cx <= c.cx || b.dark != c.dark) continue;
                const double d1 = Distance(a, c), d2 = Distance(c, b);
                const double d = (d1 + d2) / 2;
                if (d < 0.1 * w || d > 0.6 * w) continue;
                if (std::abs(d1 - d2) > 0.04 * d + 2) continue;
                // In one line, near level (a sheet turned by a few degrees at most).
                const double tilt = std::atan2(b.cy - a.cy, b.cx - a.cx);
                if (std::abs(tilt) > 5 * pi / 180) continue;
                const double bend =
                    std::abs((c.cx - a.cx) * (b.cy - a.cy) - (c.cy - a.cy) * (b.cx - a.cx)) /
                    (2 * d);
                if (bend > 0.03 * d + 2) continue;
                // Hole sizes that belong to holes 4 inches apart.
                const double roundSize = 2 * std::sqrt(c.area / pi);
                if (roundSize < d / 40 || roundSize > d / 6) continue;
                if (a.Width() < d / 24 || a.Width() > d / 3) continue;
                if (b.Width() < d / 24 || b.Width() > d / 3) continue;
                if (a.area * 2 < b.area || b.area * 2 < a.area) continue;
                const double score = std::abs(d1 - d2) / d + bend / d;
                if (score < best.score) {
                    best.found = true;
                    best.score = score;
                    best.holes[0] = a;
                    best.holes[1] = c;
                    best.holes[2] = b;
                }
            }
        }
    }
    if (!best.found) return best;

    // Centres weighted by how far each pixel around a hole has gone from the paper towards
    // the hole's tone: edge pixels count in part, so the centre falls between pixels.
    best.sigma = sigma;
    const double noise = 3 * sigma;
    for (Blob& h : best.holes) {
        const int xa = std::max(0, h.x0 - 2), xb = std::min(w - 1, h.x1 + 2);
        const int ya = std::max(0, h.y0 - 2), yb = std::min(rows - 1, h.y1 + 2);
        double depth = 0;
        int count = 0;
        for (int y = h.y0; y <= h.y1; ++y)
            for (int x = h.x0; x <= h.x1; ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * w + x;
                if (mask[i] != (h.dark ? -1 : 1)) continue;
                const double d = p.At(x, row0 + y) - background(x, y);
                depth += h.dark ? -d : d;
                ++count;
            }
        WeightCentre(h, xa, xb, ya, yb, count ? depth / count : 1, noise, [&](int x, int y) {
            const double d = p.At(x, row0 + y) - background(x, y);
            return h.dark ? -d : d;
        });
    }
    return best;
}

// Large pictures are searched at half size, a quarter of the pixels; the centres are then
// measured on the full picture, weighted as in SearchBand against the paper around each hole.
BandResult Search(const GrayPlane& p, int row0, int rows) {
    if (p.width < 1200) return SearchBand(p, row0, rows);
    GrayPlane half;
    if (!half.Create(p.width / 2, rows / 2)) return {};
    for (int y = 0; y < half.height; ++y) {
        const unsigned char* a = p.Row(row0 + 2 * y);
        const unsigned char* b = p.Row(row0 + 2 * y + 1);
        unsigned char* o = half.Row(y);
        for (int x = 0; x < half.width; ++x)
            o[x] = static_cast<unsigned char>(
                (a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1] + 2) >> 2);
    }
    BandResult r = SearchBand(half, 0, half.height);
    if (!r.found) return r;
    const double noise = 3 * 2 * r.sigma;  // four pixels averaged halve the grain
    std::vector<int> ring;
    for (Blob& h : r.holes) {
        const int xa = std::max(0, 2 * h.x0 - 3), xb = std::min(p.width - 1, 2 * h.x1 + 4);
        const int ya = std::max(0, 2 * h.y0 - 3), yb = std::min(rows - 1, 2 * h.y1 + 4);
        ring.clear();
        for (int y = ya; y <= yb; ++y)
            for (int x = xa; x <= xb; ++x)
                if (y - ya < 2 || yb - y < 2 || x - xa < 2 || xb - x < 2)
                    ring.push_back(p.At(x, row0 + y));
        if (ring.empty()) continue;
        std::nth_element(ring.begin(), ring.begin() + ring.size() / 2, ring.end());
        const double paper = ring[ring.size() / 2];
        // The hole's own depth: what most of its inside reaches.
        double depth = 0;
        int count = 0;
        for (int y = 2 * h.y0 + 1; y <= 2 * h.y1; ++y)
            for (int x = 2 * h.x0 + 1; x <= 2 * h.x1; ++x) {
                const double d = h.dark ? paper - p.At(x, row0 + y) : p.At(x, row0 + y) - paper;
                if (d > noise) {
                    depth += d;
                    ++count;
                }
            }
        WeightCentre(h, xa, xb, ya, yb, count ? depth / count : 1, noise, [&](int x, int y) {
            return h.dark ? paper - p.At(x, row0 + y) : p.At(x, row0 + y) - paper;
        });
    }
    return r;
}

}  // namespace

bool FindPegHoles(const GrayPlane& picture, PegHoles& holes, PegEdge prefer) {
    const int w = picture.width, h = picture.height;
    if (w < 32 || h < 16) return false;
    const int rows = std::max(8, h / 5);
    try {
        // The preferred edge first (the top unless told): the other is searched only when
        // the first shows no holes.
        const bool topFirst = prefer != PegEdge::Bottom;
        BandResult r = Search(picture, topFirst ? 0 : h - rows, rows);
        bool useTop = topFirst;
        if (!r.found) {
            r = Search(picture, topFirst ? h - rows : 0, rows);
            useTop = !topFirst;
        }
        if (!r.found) return false;
        const int row0 = useTop ? 0 : h - rows;
        for (int i = 0; i < 3; ++i) {
            holes.x[i] = r.holes[i].cx;
            holes.y[i] = r.holes[i].cy + row0;
        }
        holes.top = useTop;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

RigidMove MoveOnto(const PegHoles& from, const PegHoles& to) {
    double fx = 0, fy = 0, tx = 0, ty = 0;
    for (int i = 0; i < 3; ++i) {
        fx += from.x[i] / 3;
        fy += from.y[i] / 3;
        tx += to.x[i] / 3;
        ty += to.y[i] / 3;
    }
    double dot = 0, cross = 0;
    for (int i = 0; i < 3; ++i) {
        const double ax = from.x[i] - fx, ay = from.y[i] - fy;
        const double bx = to.x[i] - tx, by = to.y[i] - ty;
        dot += ax * bx + ay * by;
        cross += ax * by - ay * bx;
    }
    const double angle = std::atan2(cross, dot);
    RigidMove m;
    m.c = std::cos(angle);
    m.s = std::sin(angle);
    m.tx = tx - (m.c * fx - m.s * fy);
    m.ty = ty - (m.s * fx + m.c * fy);
    return m;
}

bool ApplyMove(const GrayPlane& picture, const RigidMove& move, int width, int height,
               GrayPlane& out, int fill) {
    if (!out.Create(width, height)) return false;
    const int w = picture.width, h = picture.height;
    // Each output pixel reads the picture where the move came from: p = R^T (q - t).
    constexpr int kFrac = 16;
    constexpr std::int64_t kOneFx = std::int64_t{1} << kFrac;
    const auto fixed = [](double v) { return static_cast<std::int64_t>(std::llround(v * kOneFx)); };
    const std::int64_t stepX = fixed(move.c), stepY = fixed(-move.s);
    for (int y = 0; y < height; ++y) {
        const double qx = -move.tx, qy = y - move.ty;
        std::int64_t sx = fixed(move.c * qx + move.s * qy);
        std::int64_t sy = fixed(-move.s * qx + move.c * qy);
        unsigned char* o = out.Row(y);
        for (int x = 0; x < width; ++x, sx += stepX, sy += stepY) {
            const std::int64_t ix = sx >> kFrac, iy = sy >> kFrac;
            if (ix < -1 || iy < -1 || ix >= w || iy >= h) {
                o[x] = static_cast<unsigned char>(fill);
                continue;
            }
            const auto fx = static_cast<std::uint32_t>((sx & (kOneFx - 1)) >> 8);
            const auto fy = static_cast<std::uint32_t>((sy & (kOneFx - 1)) >> 8);
            if (ix >= 0 && iy >= 0 && ix + 1 < w && iy + 1 < h) {
                const unsigned char* p0 = picture.Row(static_cast<int>(iy)) + ix;
                const unsigned char* p1 = p0 + w;
                const std::uint32_t t = p0[0] * (256 - fx) + p0[1] * fx;
                const std::uint32_t b = p1[0] * (256 - fx) + p1[1] * fx;
                o[x] = static_cast<unsigned char>((t * (256 - fy) + b * fy + 32768) >> 16);
                continue;
            }
            const auto at = [&](std::int64_t xx, std::int64_t yy) -> std::uint32_t {
                if (xx < 0 || yy < 0 || xx >= w || yy >= h) return static_cast<std::uint32_t>(fill);
                return picture.At(static_cast<int>(xx), static_cast<int>(yy));
            };
            const std::uint32_t top = at(ix, iy) * (256 - fx) + at(ix + 1, iy) * fx;
            const std::uint32_t bottom = at(ix, iy + 1) * (256 - fx) + at(ix + 1, iy + 1) * fx;
            o[x] = static_cast<unsigned char>((top * (256 - fy) + bottom * fy + 32768) >> 16);
        }
    }
    return true;
}
