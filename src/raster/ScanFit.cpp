#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

#include "raster/GrayImage.h"
#include "raster/ScanCleanup.h"

namespace {

constexpr int kWeightBits = 14;
constexpr std::int32_t kOne = 1 << kWeightBits;

// For each output position along one axis: the source samples it takes and their weights
// (summing to kOne), or none when it lies outside the scaled picture (white).
struct AxisTaps {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<int> start;  // index of the first weight in weights
    std::vector<std::int32_t> weights;
};

// Quantises one output's weights so that they add up to kOne exactly: a flat tone stays flat.
void AddWeights(AxisTaps& t, const std::vector<double>& w) {
    double sum = 0;
    for (double v : w) sum += v;
    std::int32_t given = 0;
    std::size_t largest = 0;
    const std::size_t base = t.weights.size();
    for (std::size_t i = 0; i < w.size(); ++i) {
        const auto q = static_cast<std::int32_t>(std::lround(w[i] / sum * kOne));
        t.weights.push_back(q);
        given += q;
        if (w[i] > w[largest]) largest = i;
    }
    t.weights[base + largest] += kOne - given;
}

// Output index o shows scaled position o - offset; the picture scaled is scaledLen long, made
// from srcLen samples.
AxisTaps BuildTaps(int outLen, int srcLen, int scaledLen, int offset) {
    AxisTaps t;
    t.first.assign(outLen, 0);
    t.count.assign(outLen, 0);
    t.start.assign(outLen, 0);
    const double scale = static_cast<double>(scaledLen) / srcLen;
    std::vector<double> w;
    for (int o = 0; o < outLen; ++o) {
        const int i = o - offset;
        if (i < 0 || i >= scaledLen) continue;
        w.clear();
        int first = 0;
        if (scaledLen == srcLen) {
            first = i;
            w.push_back(1);
        } else if (scaledLen < srcLen) {
            // The source span this output covers, each sample weighted by its overlap.
            const double a = i / scale;
            const double b = std::min(static_cast<double>(srcLen), (i + 1) / scale);
            first = static_cast<int>(std::floor(a));
            for (int s = first; s < srcLen && s < b; ++s)
                w.push_back(std::min<double>(s + 1, b) - std::max<double>(s, a));
        } else {
            const double c = std::clamp((i + 0.5) / scale - 0.5, 0.0, srcLen - 1.0);
            first = std::min(static_cast<int>(c), std::max(0, srcLen - 2));
            const double f = c - first;
            w.push_back(1 - f);
            if (first + 1 < srcLen) w.push_back(f);
        }
        t.first[o] = first;
        t.count[o] = static_cast<int>(w.size());
        t.start[o] = static_cast<int>(t.weights.size());
        AddWeights(t, w);
    }
    return t;
}

}  // namespace

namespace {

// Scales picture to sw x sh placed at ox, oy of a W x H output (white where it does not reach),
// rows top first, or bottom first when bottomUp.
int Resample(const GrayPlane& picture, int sw, int sh, int ox, int oy, int W, int H,
             unsigned char* out, bool bottomUp) {
    const int w = picture.width;
    const int h = picture.height;
    try {
        const AxisTaps tx = BuildTaps(W, w, sw, ox);
        const AxisTaps ty = BuildTaps(H, h, sh, oy);
        int rowLo = h;
        int rowHi = -1;
        for (int y = 0; y < H; ++y)
            if (ty.count[y]) {
                rowLo = std::min(rowLo, ty.first[y]);
                rowHi = std::max(rowHi, ty.first[y] + ty.count[y] - 1);
            }
        // Rows across first: every source row the output needs, at the output width, with 8
        // bits below the point. Every output takes the same number of taps (the extra ones
        // weigh nothing), so the loop over them is fixed.
        constexpr int kAcrossShift = kWeightBits - 8;
        const int rows = rowHi >= rowLo ? rowHi - rowLo + 1 : 0;
        int taps = 1;
        for (int x = 0; x < W; ++x) taps = std::max(taps, tx.count[x]);
        taps = std::min(taps, w);
        std::vector<int> firsts(W, 0);
        std::vector<std::uint32_t> weights(static_cast<std::size_t>(W) * taps, 0);
        for (int x = 0; x < W; ++x) {
            if (!tx.count[x]) {
                // White: a sample of the picture that weighs nothing, plus the white added below.
                continue;
            }
            const int first = std::min(tx.first[x], w - taps);
            firsts[x] = first;
            for (int i = 0; i < tx.count[x]; ++i)
                weights[static_cast<std::size_t>(x) * taps + (tx.first[x] - first) + i] =
                    static_cast<std::uint32_t>(tx.weights[tx.start[x] + i]);
        }
        // Fewer rows out than in: down the columns first, over whole rows at a time, then
        // across the fewer rows.
        if (H < h) {
            std::vector<std::uint32_t> sumRow(static_cast<std::size_t>(w));
            std::vector<std::uint16_t> down(static_cast<std::size_t>(w));
            const auto across1 = [&]<int K>(std::integral_constant<int, K>, unsigned char* o) {
                const int n = K > 0 ? K : taps;
                for (int x = 0; x < W; ++x) {
                    const std::uint16_t* sp = down.data() + firsts[x];
                    const std::uint32_t* k = weights.data() + static_cast<std::size_t>(x) * n;
                    std::uint32_t a = 1u << (kWeightBits + 8 - 1);
                    for (int i = 0; i < n; ++i) a += k[i] * sp[i];
                    const std::uint32_t v = a >> (kWeightBits + 8);
                    o[x] = tx.count[x] ? static_cast<unsigned char>(v < 255 ? v : 255) : 255;
                }
            };
            for (int y = 0; y < H; ++y) {
                unsigned char* o = out + static_cast<std::size_t>(bottomUp ? H - 1 - y : y) * W;
                const int n = ty.count[y];
                if (!n) {
                    std::fill(o, o + W, static_cast<unsigned char>(255));
                    continue;
                }
                const std::int32_t* k = ty.weights.data() + ty.start[y];
                std::fill(sumRow.begin(), sumRow.end(), 1u << (kAcrossShift - 1));
                for (int i = 0; i < n; ++i) {
                    const std::uint32_t weight = static_cast<std::uint32_t>(k[i]);
                    const unsigned char* line = picture.Row(ty.first[y] + i);
                    for (int x = 0; x < w; ++x) sumRow[x] += weight * line[x];
                }
                for (int x = 0; x < w; ++x)
                    down[x] = static_cast<std::uint16_t>(sumRow[x] >> kAcrossShift);
                switch (taps) {
                    case 1:
                        across1(std::integral_constant<int, 1>(), o);
                        break;
                    case 2:
                        across1(std::integral_constant<int, 2>(), o);
                        break;
                    case 3:
                        across1(std::integral_constant<int, 3>(), o);
                        break;
                    case 4:
                        across1(std::integral_constant<int, 4>(), o);
                        break;
                    default:
                        across1(std::integral_constant<int, 0>(), o);
                        break;
                }
            }
            return 1;
        }
        std::vector<std::uint16_t> across(static_cast<std::size_t>(rows) * W);
        const auto acrossRows = [&]<int K>(std::integral_constant<int, K>) {
            const int n = K > 0 ? K : taps;
            for (int r = 0; r < rows; ++r) {
                const unsigned char* src = picture.Row(rowLo + r);
                std::uint16_t* dst = across.data() + static_cast<std::size_t>(r) * W;
                for (int x = 0; x < W; ++x) {
                    const unsigned char* sp = src + firsts[x];
                    const std::uint32_t* k = weights.data() + static_cast<std::size_t>(x) * n;
                    std::uint32_t acc = 0;
                    for (int i = 0; i < n; ++i) acc += k[i] * sp[i];
                    dst[x] = static_cast<std::uint16_t>((acc + (1u << (kAcrossShift - 1))) >>
                                                        kAcrossShift);
                }
                for (int x = 0; x < W; ++x)
                    if (!tx.count[x]) dst[x] = 255u << 8;
            }
        };
        switch (taps) {
            case 1:
                acrossRows(std::integral_constant<int, 1>());
                break;
            case 2:
                acrossRows(std::integral_constant<int, 2>());
                break;
            case 3:
                acrossRows(std::integral_constant<int, 3>());
                break;
            case 4:
                acrossRows(std::integral_constant<int, 4>());
                break;
            default:
                acrossRows(std::integral_constant<int, 0>());
                break;
        }
        std::vector<std::uint32_t> acc(W);
        for (int y = 0; y < H; ++y) {
            unsigned char* o = out + static_cast<std::size_t>(bottomUp ? H - 1 - y : y) * W;
            const int n = ty.count[y];
            if (!n) {
                std::fill(o, o + W, static_cast<unsigned char>(255));
                continue;
            }
            const std::int32_t* k = ty.weights.data() + ty.start[y];
            const std::uint16_t* base =
                across.data() + static_cast<std::size_t>(ty.first[y] - rowLo) * W;
            std::fill(acc.begin(), acc.end(), 1u << (kWeightBits + 8 - 1));
            for (int i = 0; i < n; ++i) {
                const std::uint32_t weight = static_cast<std::uint32_t>(k[i]);
                const std::uint16_t* line = base + static_cast<std::size_t>(i) * W;
                for (int x = 0; x < W; ++x) acc[x] += weight * line[x];
            }
            for (int x = 0; x < W; ++x) {
                const std::uint32_t v = acc[x] >> (kWeightBits + 8);
                o[x] = static_cast<unsigned char>(v < 255 ? v : 255);
            }
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

// The scale and the place of the picture in a W x H frame.
void Placement(const GrayPlane& picture, FitMode mode, int W, int H, int& sw, int& sh, int& ox,
               int& oy) {
    const int w = picture.width;
    const int h = picture.height;
    double scale = 1;
    if (mode == FitMode::Inside)
        scale = std::min(static_cast<double>(W) / w, static_cast<double>(H) / h);
    else if (mode == FitMode::Cover)
        scale = std::max(static_cast<double>(W) / w, static_cast<double>(H) / h);
    sw = std::max(1, static_cast<int>(std::lround(w * scale)));
    sh = std::max(1, static_cast<int>(std::lround(h * scale)));
    // Centred; an odd margin's extra pixel goes right and down, an odd crop's left and up.
    ox = (W - sw) / 2 - ((W - sw) < 0 && (W - sw) % 2 ? 1 : 0);
    oy = (H - sh) / 2 - ((H - sh) < 0 && (H - sh) % 2 ? 1 : 0);
}

}  // namespace

int FitToFrame(const GrayPlane& picture, FitMode mode, GrayImage& frame) {
    const int W = frame.GetWidth();
    const int H = frame.GetHeight();
    unsigned char* out = frame.GetData();
    if (!out || W <= 0 || H <= 0) return 0;
    if (picture.width <= 0 || picture.height <= 0) {
        frame.Fill(255);
        return 1;
    }
    int sw, sh, ox, oy;
    Placement(picture, mode, W, H, sw, sh, ox, oy);
    // Frames keep their bottom row first.
    return Resample(picture, sw, sh, ox, oy, W, H, out, true);
}

int ScaleForFrame(const GrayPlane& picture, FitMode mode, int W, int H, GrayPlane& shown, int& left,
                  int& top) {
    if (picture.width <= 0 || picture.height <= 0 || W <= 0 || H <= 0) return 0;
    int sw, sh, ox, oy;
    Placement(picture, mode, W, H, sw, sh, ox, oy);
    left = std::max(0, ox);
    top = std::max(0, oy);
    const int vw = std::min(W, ox + sw) - left;
    const int vh = std::min(H, oy + sh) - top;
    if (vw <= 0 || vh <= 0 || !shown.Create(vw, vh)) return 0;
    return Resample(picture, sw, sh, ox - left, oy - top, vw, vh, shown.pixels.data(), false);
}

int PlaceInFrame(const GrayPlane& shown, int left, int top, GrayImage& frame) {
    const int W = frame.GetWidth();
    const int H = frame.GetHeight();
    unsigned char* out = frame.GetData();
    if (!out || left < 0 || top < 0 || left + shown.width > W || top + shown.height > H) return 0;
    frame.Fill(255);
    for (int y = 0; y < shown.height; ++y)
        std::memcpy(out + static_cast<std::size_t>(H - 1 - top - y) * W + left, shown.Row(y),
                    static_cast<std::size_t>(shown.width));
    return 1;
}
