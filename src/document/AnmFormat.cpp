#include "document/AnmFormat.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cstddef>

#include "framework/Archive.h"
#include "raster/BrushStamp.h"
#include "raster/GrayImage.h"
#include "raster/RunLength.h"

namespace anm {

namespace {
std::atomic<std::uint64_t> g_loadLimit{0};

// Fresh memory costs a page fault per page on first touch; asking for all pages of a frame at
// once is much cheaper. Only a hint: without kernel support the faults happen as usual.
void Prefault(unsigned char* data, std::size_t bytes) {
#if defined(__linux__)
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif
    const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(page - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)bytes;
#endif
}
}  // namespace

void SetLoadMemoryLimit(std::uint64_t bytes) {
    g_loadLimit = bytes;
}

std::uint64_t LoadMemoryLimit() {
    return g_loadLimit;
}

void StoreFrameRecord(CArchive& ar, const GrayImage& image) {
    const std::size_t count = image.PixelCount();
    if (image.GetData() == nullptr || count != static_cast<std::size_t>(image.GetWidth()) *
                                                   static_cast<std::size_t>(image.GetHeight()))
        throw CArchiveException(CArchiveException::writeFailed);
    ar << static_cast<std::int32_t>(image.GetWidth());
    ar << static_cast<std::int32_t>(image.GetHeight());
    raster::RunEncoder encoder(image.GetData(), count);
    unsigned char block[4096 * raster::kRunBytes];
    while (std::size_t n = encoder.Encode(block, sizeof block)) ar.Write(block, n);
}

void LoadFrameRecord(CArchive& ar, GrayImage& image, int width, int height) {
    std::int32_t w = 0;
    std::int32_t h = 0;
    ar >> w >> h;
    if (w != width || h != height || w <= 0 || h <= 0)
        throw CArchiveException(CArchiveException::badFormat);
    if (!image.Create(w, h)) throw CArchiveException(CArchiveException::noMemory);
    Prefault(image.GetData(), image.PixelCount());
    raster::RunDecoder decoder(image.GetData(), image.PixelCount());
    while (!decoder.Done()) {
        const unsigned char* data = nullptr;
        const std::size_t avail = ar.Peek(&data);
        if (avail == 0) throw CArchiveException(CArchiveException::endOfFile);
        ar.Consume(decoder.Feed(data, avail));
        if (decoder.Failed()) throw CArchiveException(CArchiveException::badFormat);
    }
}

void StoreBrushRecord(CArchive& ar, const BrushStamp& brush) {
    ar << static_cast<std::int32_t>(brush.GetSize());
    ar << static_cast<std::int32_t>(brush.GetHardness());
}

BrushRecord LoadBrushRecord(CArchive& ar) {
    std::int32_t size = 0;
    std::int32_t hardness = 0;
    ar >> size >> hardness;
    if (size < kMinBrushSize || size > kMaxBrushSize)
        throw CArchiveException(CArchiveException::badFormat);
    return {size, hardness};
}

}  // namespace anm
