// The export writers: one frame to one Targa-style file.
#include <cstdio>
#include <memory>
#include <utility>

#include "raster/GrayImage.h"

namespace {
int Fail(const std::string& fileName, const WriteErrorSink& report) {
    if (report) report("Error writing file " + fileName + "!: Disk Full or Write Protected");
    return 0;
}

constexpr std::size_t kHeaderSize = 18;
// The header stores each dimension in two bytes.
constexpr int kMaxDimension = 0xFFFF;

void FillHeader(unsigned char* h, unsigned char imageType, unsigned char byte3, int width,
                int height, unsigned char bits) {
    for (std::size_t i = 0; i < kHeaderSize; ++i) h[i] = 0;
    h[2] = imageType;
    h[3] = byte3;
    h[12] = static_cast<unsigned char>(width % 256);
    h[13] = static_cast<unsigned char>(width / 256);
    h[14] = static_cast<unsigned char>(height % 256);
    h[15] = static_cast<unsigned char>(height / 256);
    h[16] = bits;
}

// Buffered data may only fail on its way out, so a file counts as written only once the
// stream has been flushed and closed without error.
int Finish(std::FILE* f, const std::string& fileName, const WriteErrorSink& report) {
    const bool flushed = std::fflush(f) == 0 && !std::ferror(f);
    const bool closed = std::fclose(f) == 0;
    return flushed && closed ? 1 : Fail(fileName, report);
}

// Each gray byte three times (blue, green, red).
inline void ExpandGrayPlain(const unsigned char* src, std::size_t n, unsigned char* dst) {
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char g = src[i];
        dst[3 * i] = g;
        dst[3 * i + 1] = g;
        dst[3 * i + 2] = g;
    }
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// With byte shuffles the compiler vectorises the same loop several times faster.
__attribute__((target("ssse3"))) void ExpandGraySsse3(const unsigned char* src, std::size_t n,
                                                      unsigned char* dst) {
    ExpandGrayPlain(src, n, dst);
}
#endif

void ExpandGray(const unsigned char* src, std::size_t n, unsigned char* dst) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (ssse3) {
        ExpandGraySsse3(src, n, dst);
        return;
    }
#endif
    ExpandGrayPlain(src, n, dst);
}
}  // namespace

int GrayImage::WriteEightBit(const std::string& fileName, unsigned char imageType,
                             unsigned char byte3, const WriteErrorSink& report) const {
    // An image whose size the header cannot hold, or that lost its pixels, would give a file
    // that contradicts its own header: refuse before anything is created.
    if (m_nWidth < 0 || m_nHeight < 0 || m_nWidth > kMaxDimension || m_nHeight > kMaxDimension ||
        (m_pData == nullptr && m_nWidth > 0 && m_nHeight > 0))
        return Fail(fileName, report);
    std::FILE* f = std::fopen(fileName.c_str(), "wb");
    if (f == nullptr) return Fail(fileName, report);
    unsigned char header[kHeaderSize];
    FillHeader(header, imageType, byte3, m_nWidth, m_nHeight, 8);
    const std::size_t n = PixelCount();
    if (std::fwrite(header, 1, kHeaderSize, f) != kHeaderSize ||
        (n != 0 && std::fwrite(m_pData, 1, n, f) != n)) {
        std::fclose(f);
        return Fail(fileName, report);
    }
    return Finish(f, fileName, report);
}

int GrayImage::WriteDrawingFile(const std::string& fileName, const WriteErrorSink& report) const {
    return WriteEightBit(fileName, 3, 0x48, report);
}

int GrayImage::WriteGrayTarga(const std::string& fileName, const WriteErrorSink& report) const {
    return WriteEightBit(fileName, 3, 0, report);
}

int GrayImage::WriteColorTarga(const std::string& fileName, const WriteErrorSink& report) const {
    if (m_nWidth < 0 || m_nHeight < 0 || m_nWidth > kMaxDimension || m_nHeight > kMaxDimension ||
        (m_pData == nullptr && m_nWidth > 0 && m_nHeight > 0))
        return Fail(fileName, report);
    // One block of expanded pixels per write, the header riding in front of the first.
    constexpr std::size_t kBlockPixels = 21840;
    std::unique_ptr<unsigned char[]> block(
        new (std::nothrow) unsigned char[kHeaderSize + 3 * kBlockPixels]);
    if (!block) return Fail(fileName, report);
    std::FILE* f = std::fopen(fileName.c_str(), "wb");
    if (f == nullptr) return Fail(fileName, report);
    // The blocks are the buffer: the stream's own would only add a copy.
    std::setvbuf(f, nullptr, _IONBF, 0);
    FillHeader(block.get(), 2, 0, m_nWidth, m_nHeight, 24);
    const std::size_t n = PixelCount();
    std::size_t done = 0;
    std::size_t offset = kHeaderSize;
    do {
        const std::size_t count = n - done < kBlockPixels ? n - done : kBlockPixels;
        ExpandGray(m_pData + done, count, block.get() + offset);
        const std::size_t bytes = offset + 3 * count;
        // Stop at the first failing write: the stream reports it through the count or its
        // error indicator.
        if (std::fwrite(block.get(), 1, bytes, f) != bytes || std::ferror(f)) {
            std::fclose(f);
            return Fail(fileName, report);
        }
        done += count;
        offset = 0;
    } while (done < n);
    return Finish(f, fileName, report);
}
