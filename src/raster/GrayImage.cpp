#include "raster/GrayImage.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

GrayImage::~GrayImage() {
    delete[] m_pData;
}

int GrayImage::Create(int width, int height) {
    Free();
    if (width < 0 || height < 0) return 0;
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    // Pixel offsets are formed as pointer differences, so the buffer must stay below PTRDIFF_MAX.
    constexpr auto kMaxBytes = static_cast<std::size_t>(PTRDIFF_MAX);
    if (h != 0 && w > kMaxBytes / h) return 0;
    unsigned char* data = new (std::nothrow) unsigned char[w * h];
    if (data == nullptr) return 0;
    m_pData = data;
    m_nWidth = width;
    m_nHeight = height;
    return 1;
}

int GrayImage::Free() {
    delete[] m_pData;
    m_pData = nullptr;
    return 1;
}

int GrayImage::Fill(int value) {
    if (m_pData != nullptr) {
        std::memset(m_pData, value & 0xFF, PixelCount());
    }
    return 1;
}

std::size_t GrayImage::PixelCount() const {
    if (m_pData == nullptr || m_nWidth <= 0 || m_nHeight <= 0) return 0;
    return static_cast<std::size_t>(m_nWidth) * static_cast<std::size_t>(m_nHeight);
}

void GrayImage::Swap(GrayImage& other) noexcept {
    std::swap(m_pData, other.m_pData);
    std::swap(m_nWidth, other.m_nWidth);
    std::swap(m_nHeight, other.m_nHeight);
}
