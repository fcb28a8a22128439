#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "raster/BrushStamp.h"
#include "raster/FastDivide.h"
#include "raster/GrayImage.h"

namespace {

using raster::Div255;
using raster::ScaleDivider;

// Footprint columns are handled in chunks of this width so all scratch space lives on the
// stack, whatever size a damaged file gave the stamp.
constexpr int kChunk = 64;
// Sample span one chunk can need: 64 columns spread by at most 255 / 127.
constexpr int kSampleSpan = 2 * kChunk + 8;

// Dividers for every pressure scale (p >> 1) + 127, so a dab needs no hardware divide at all.
constexpr auto kScaleDividers = [] {
    std::array<ScaleDivider, 128> dividers{};
    for (std::uint32_t half = 0; half < dividers.size(); ++half) {
        dividers[half] = ScaleDivider(half + 127);
    }
    return dividers;
}();

void Ink(unsigned char* __restrict px, const unsigned char* __restrict t, int count) {
    for (int j = 0; j < count; ++j) {
        px[j] = static_cast<unsigned char>(static_cast<std::uint16_t>(px[j] * t[j]) >> 8);
    }
}

void Erase(unsigned char* __restrict px, const unsigned char* __restrict t, int count) {
    for (int j = 0; j < count; ++j) {
        const auto gap = static_cast<std::uint16_t>((255u - px[j]) * t[j]);
        px[j] = static_cast<unsigned char>(255u - Div255(gap));
    }
}

}  // namespace

// Every pixel of a dab is independent of the others, so visiting the columns chunk by chunk
// changes no result.
void GrayImage::DrawDab(unsigned char* data, int width, int height, const BrushStamp& stamp,
                        std::int64_t x, std::int64_t y, int mode, unsigned p) {
    const int size = stamp.m_nSize;
    const unsigned char* box = stamp.m_pBox;
    if (p == 0 || size < 2 || box == nullptr || data == nullptr || width <= 0 || height <= 0) {
        return;
    }
    const int half = size / 2;
    const ScaleDivider scale = kScaleDividers[(p >> 1) & 127];
    const int lastSample = size - 2;  // the 2 x 2 average reads one element further
    const auto boxSide = static_cast<std::size_t>(size - 1);

    const std::int64_t colLo = std::max<std::int64_t>(x - half, 0);
    const std::int64_t colHi = std::min<std::int64_t>(x + half, width);
    const std::int64_t rowLo = std::max<std::int64_t>(y - half, 0);
    const std::int64_t rowHi = std::min<std::int64_t>(y + half, height);
    if (colLo >= colHi || rowLo >= rowHi) return;

    // After clipping, offsets from the centre lie within [-half, half).
    const int dxBegin = static_cast<int>(colLo - x);
    const int dxEnd = static_cast<int>(colHi - x);
    const int dyBegin = static_cast<int>(rowLo - y);
    const int dyEnd = static_cast<int>(rowHi - y);
    const auto stride = static_cast<std::size_t>(width);
    const auto pressure = static_cast<std::uint16_t>(p);

    for (int chunkBegin = dxBegin; chunkBegin < dxEnd; chunkBegin += kChunk) {
        const int chunkEnd = std::min(dxEnd, chunkBegin + kChunk);
        // The sample index only grows with the offset, so the columns that find a sample are
        // one run; trim the others off both ends.
        int sx[kChunk];
        int first = 0;
        int count = 0;
        for (int dx = chunkBegin; dx < chunkEnd; ++dx) {
            const int s = half + scale.DivideSigned(dx * 255);
            if (s < 0) {
                ++first;
                continue;
            }
            if (s > lastSample) break;
            sx[first + count] = s;
            ++count;
        }
        if (count == 0) continue;
        const int* cols = sx + first;
        const int sampleLo = cols[0];
        const int sampleCount = cols[count - 1] - sampleLo + 1;
        // Near full pressure the samples follow the columns one to one.
        const bool contiguous = sampleCount == count;
        unsigned char rel[kChunk];
        for (int j = 0; j < count; ++j) rel[j] = static_cast<unsigned char>(cols[j] - sampleLo);

        unsigned char* rowStart = data + static_cast<std::size_t>(x + chunkBegin + first);
        for (int dy = dyBegin; dy < dyEnd; ++dy) {
            const int sy = half + scale.DivideSigned(dy * 255);
            if (sy < 0 || sy > lastSample) continue;
            const unsigned char* a = box + static_cast<std::size_t>(sy) * boxSide + sampleLo;

            // Pressure weakens every sample; at full pressure the sample is the strength.
            const unsigned char* tSample = a;
            unsigned char weakened[kSampleSpan];
            if (pressure != 255) {
                for (int k = 0; k < sampleCount; ++k) {
                    const auto loss = static_cast<std::uint16_t>((255u - a[k]) * pressure);
                    weakened[k] = static_cast<unsigned char>(255u - Div255(loss));
                }
                tSample = weakened;
            }
            const unsigned char* t = tSample;
            unsigned char gathered[kChunk];
            if (!contiguous) {
                for (int j = 0; j < count; ++j) gathered[j] = tSample[rel[j]];
                t = gathered;
            }

            unsigned char* px = rowStart + static_cast<std::size_t>(y + dy) * stride;
            if (mode == 1) {
                Erase(px, t, count);
            } else {
                Ink(px, t, count);
            }
        }
    }
}

int GrayImage::DrawStamp(const BrushStamp& stamp, int x, int y, int mode, int pressure) {
    DrawDab(m_pData, m_nWidth, m_nHeight, stamp, x, y, mode,
            static_cast<unsigned>(pressure) & 0xFFu);
    return 1;
}

int GrayImage::DrawLine(const BrushStamp& stamp, int x0, int y0, int x1, int y1, int mode,
                        int pressure) {
    const unsigned p = static_cast<unsigned>(pressure) & 0xFFu;
    if (x0 == x1 && y0 == y1) return 1;
    const int size = stamp.GetSize();
    const int half = size / 2;
    // Without pressure, size or pixels no dab can change anything; skip the walk.
    if (p == 0 || half == 0 || m_pData == nullptr || m_nWidth <= 0 || m_nHeight <= 0) return 1;

    const std::int64_t step = ((static_cast<std::int64_t>(size) * p / 255) & 0xFF) / 4 + 1;
    const std::int64_t xmin = std::min(x0, x1);
    const std::int64_t xmax = std::max(x0, x1);
    const std::int64_t ymin = std::min(y0, y1);
    const std::int64_t ymax = std::max(y0, y1);
    const bool falling = (x1 < x0 && y1 > y0) || (x1 > x0 && y1 < y0);
    const std::int64_t dx = xmax - xmin;
    const std::int64_t dy = ymax - ymin;
    const bool xMajor = dx > dy;

    const std::int64_t lo = xMajor ? xmin : ymin;
    const std::int64_t hi = xMajor ? xmax : ymax;
    const std::int64_t minorMin = xMajor ? ymin : xmin;
    const std::int64_t minorMax = xMajor ? ymax : xmax;
    // The quotient of two exact doubles rounds to the same float as a float division of
    // coordinates below 2^24, and stays correct beyond.
    const float slope =
        static_cast<float>(xMajor ? static_cast<double>(dy) / static_cast<double>(dx)
                                  : static_cast<double>(dx) / static_cast<double>(dy));
    const std::int64_t extent = xMajor ? m_nWidth : m_nHeight;

    // Dabs whose footprint misses the image along the major axis change nothing; starting and
    // stopping at the image keeps huge coordinates from walking billions of steps. The dabs
    // that remain sit exactly where the full walk would put them.
    std::int64_t start = lo;
    const std::int64_t lowest = 1 - half;
    if (start < lowest) start = lo + (lowest - lo + step - 1) / step * step;
    const std::int64_t end = std::min(hi, extent + half);

    for (std::int64_t m = start; m < end; m += step) {
        const double along = static_cast<double>(m - lo) * static_cast<double>(slope);
        const double minor =
            falling ? static_cast<double>(minorMax) - along : static_cast<double>(minorMin) + along;
        const auto n = static_cast<std::int64_t>(minor);
        if (xMajor) {
            DrawDab(m_pData, m_nWidth, m_nHeight, stamp, m, n, mode, p);
        } else {
            DrawDab(m_pData, m_nWidth, m_nHeight, stamp, n, m, mode, p);
        }
    }
    return 1;
}
