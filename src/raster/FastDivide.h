#pragma once

#include <cstdint>

namespace raster {

// Largest dividend the dab arithmetic divides by 255: 255 x 255.
constexpr std::uint32_t kMaxDiv255Input = 255u * 255u;

// n / 255 rounded down, exact for 0 <= n <= kMaxDiv255Input (the tests check every such n).
// Stays within 16 bits so the pixel loops vectorise on 16-bit lanes.
inline std::uint16_t Div255(std::uint16_t n) {
    return static_cast<std::uint16_t>(
        static_cast<std::uint16_t>(n + 1u + static_cast<std::uint16_t>(n >> 8)) >> 8);
}

// Stamps larger than this only come from damaged files and are refused.
constexpr int kMaxStampSize = 10000;

// Largest dividend a dab divides by its pressure scale: half the largest stamp x 255.
constexpr std::uint32_t kMaxScaleDividend = kMaxStampSize / 2 * 255u;

// Division by a divisor fixed for a whole dab without a hardware divide per pixel:
// n / d == (n x (2^32 / d + 1)) >> 32 whenever n x d < 2^32, which holds for every divisor up
// to 254 and n up to kMaxScaleDividend (the tests check every such pair).
class ScaleDivider {
  public:
    constexpr ScaleDivider() : ScaleDivider(1) {}
    constexpr explicit ScaleDivider(std::uint32_t divisor)
        : m_magic((std::uint64_t{1} << 32) / divisor + 1) {}
    std::uint32_t Divide(std::uint32_t n) const {
        return static_cast<std::uint32_t>((n * m_magic) >> 32);
    }
    // Quotient truncated toward zero for a signed dividend.
    int DivideSigned(int n) const {
        return n >= 0 ? static_cast<int>(Divide(static_cast<std::uint32_t>(n)))
                      : -static_cast<int>(Divide(static_cast<std::uint32_t>(-n)));
    }

  private:
    std::uint64_t m_magic;
};

}  // namespace raster
