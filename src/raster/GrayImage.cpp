#include "raster/GrayImage.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

GrayImage::~GrayImage() {
    Free();
}

namespace {
// width x height as a byte count; false when negative or too large to address.
bool ByteCount(int width, int height, std::size_t& bytes) {
    if (width < 0 || height < 0) return false;
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    // Pixel offsets are formed as pointer differences, so the buffer must stay below PTRDIFF_MAX.
    constexpr auto kMaxBytes = static_cast<std::size_t>(PTRDIFF_MAX);
    if (h != 0 && w > kMaxBytes / h) return false;
    bytes = w * h;
    return true;
}
}  // namespace

int GrayImage::Create(int width, int height) {
    return Create(width, height, nullptr);
}

int GrayImage::Create(int width, int height, std::shared_ptr<PixelAllocator> allocator) {
    Free();
    std::size_t bytes = 0;
    if (!ByteCount(width, height, bytes)) return 0;
    unsigned char* data =
        allocator ? allocator->Allocate(bytes) : new (std::nothrow) unsigned char[bytes];
    if (data == nullptr) return 0;
    m_pData = data;
    m_pAllocator = std::move(allocator);
    m_nWidth = width;
    m_nHeight = height;
    return 1;
}

int GrayImage::Free() {
    if (m_pData != nullptr) {
        if (m_pAllocator)
            m_pAllocator->Release(m_pData);
        else
            delete[] m_pData;
    }
    m_pData = nullptr;
    m_pAllocator.reset();
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
    std::swap(m_pAllocator, other.m_pAllocator);
}
