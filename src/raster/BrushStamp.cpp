#include "raster/BrushStamp.h"

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <new>

#include "raster/FastDivide.h"

BrushStamp::~BrushStamp() {
    Release();
}

void BrushStamp::Release() {
    delete[] m_pMask;
    delete[] m_pBox;
    m_pMask = nullptr;
    m_pBox = nullptr;
    m_nSize = 0;
    m_nCore = 0;
}

int BrushStamp::Build(int size, int hardness) {
    Release();
    if (size < 1 || size > raster::kMaxStampSize) return 1;

    // A damaged file may carry any hardness; the product must not overflow, and a core beyond
    // the int range already makes the mask all 0 (or all 255 when negative).
    std::int64_t core = static_cast<std::int64_t>(size) * hardness / 100;
    if (core > INT_MAX) core = INT_MAX;
    if (core < INT_MIN) core = INT_MIN;

    const auto side = static_cast<std::size_t>(size);
    const std::size_t boxSide = side - 1;
    unsigned char* mask = new (std::nothrow) unsigned char[side * side];
    unsigned char* box = new (std::nothrow) unsigned char[boxSide * boxSide];
    if (mask == nullptr || box == nullptr) {
        // Stays a stamp without size, which draws nothing.
        delete[] mask;
        delete[] box;
        return 1;
    }

    const double R = size / 2.0;
    const double r = static_cast<double>(core) / 2.0;
    const double D = R - r;
    for (int v = 0; v < size; ++v) {
        const double dv = v - R;
        unsigned char* row = mask + static_cast<std::size_t>(v) * side;
        for (int u = 0; u < size; ++u) {
            const double du = u - R;
            const double d = std::sqrt(du * du + dv * dv);
            int value;
            if (d < r) {
                value = 0;
            } else if (d < R) {
                value = 255 - static_cast<int>((D - (d - r)) / D * 255);
            } else {
                value = 255;
            }
            row[u] = static_cast<unsigned char>(value);
        }
    }
    for (std::size_t v = 0; v < boxSide; ++v) {
        const unsigned char* m0 = mask + v * side;
        const unsigned char* m1 = m0 + side;
        for (std::size_t u = 0; u < boxSide; ++u) {
            box[v * boxSide + u] =
                static_cast<unsigned char>((m0[u] + m0[u + 1] + m1[u] + m1[u + 1]) / 4);
        }
    }
    m_pMask = mask;
    m_pBox = box;
    m_nSize = size;
    m_nCore = static_cast<int>(core);
    return 1;
}

int BrushStamp::GetHardness() const {
    if (m_nSize <= 0) return 0;
    // |core| x 100 / size never exceeds the hardness given to Build, so it fits an int.
    return static_cast<int>(static_cast<std::int64_t>(m_nCore) * 100 / m_nSize);
}
