#include "document/AnmFormat.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/Archive.h"
#include "raster/BrushStamp.h"
#include "raster/CompactImage.h"
#include "raster/GrayImage.h"
#include "raster/RunLength.h"

namespace anm {

namespace {
std::atomic<std::uint64_t> g_loadLimit{0};

}  // namespace

void SetLoadMemoryLimit(std::uint64_t bytes) {
    g_loadLimit = bytes;
}

std::uint64_t LoadMemoryLimit() {
    return g_loadLimit;
}

std::uint64_t LeastBytesForFrames(int count, int width, int height) {
    if (count <= 0 || width <= 0 || height <= 0) return kBrushRecordBytes * 10;
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height);
    const std::uint64_t runs = (pixels + raster::kMaxRunLength - 1) / raster::kMaxRunLength;
    return static_cast<std::uint64_t>(count) * (kFrameHeaderBytes + raster::kRunBytes * runs) +
           kBrushRecordBytes * 10;
}

void StoreHeader(CArchive& ar, const FileHeader& h) {
    ar << h.frameCount << h.currentFrame << h.eraser << h.width << h.height << h.eraser
       << h.drawBrush << h.eraseBrush;
}

void StoreFrameRecord(CArchive& ar, const GrayImage& image) {
    const std::size_t count = image.PixelCount();
    if (image.GetData() == nullptr || count != static_cast<std::size_t>(image.GetWidth()) *
                                                   static_cast<std::size_t>(image.GetHeight()))
        throw CArchiveException(CArchiveException::writeFailed);
    StoreFrameRecord(ar, image.GetData(), image.GetWidth(), image.GetHeight());
}

void StoreFrameRecord(CArchive& ar, const unsigned char* pixels, int width, int height) {
    if (pixels == nullptr || width <= 0 || height <= 0)
        throw CArchiveException(CArchiveException::writeFailed);
    ar << static_cast<std::int32_t>(width);
    ar << static_cast<std::int32_t>(height);
    raster::RunEncoder encoder(pixels,
                               static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    unsigned char block[4096 * raster::kRunBytes];
    while (std::size_t n = encoder.Encode(block, sizeof block)) ar.Write(block, n);
}

void StoreFrameRecord(CArchive& ar, const CompactImage& image) {
    if (image.Empty()) throw CArchiveException(CArchiveException::writeFailed);
    if (!image.HasRuns()) {
        StoreFrameRecord(ar, image.Data(), image.Width(), image.Height());
        return;
    }
    ar << static_cast<std::int32_t>(image.Width());
    ar << static_cast<std::int32_t>(image.Height());
    ar.Write(image.Data(), image.Bytes());
}

void StoreFrameRecords(CArchive& ar, const GrayImage* frames, int count) {
    for (int i = 0; i < count; ++i) StoreFrameRecord(ar, frames[i]);
}

void StoreFrameRecords(CArchive& ar, const CompactImage* frames, int count) {
    for (int i = 0; i < count; ++i) StoreFrameRecord(ar, frames[i]);
}

namespace {

// Runs as read from a file, checked against the frame's size as they come. Kept as they are
// when the writer would have made the same ones, so that saving writes the same bytes; runs
// that take more room than the pixels are decoded as they come.
class RecordReader {
  public:
    explicit RecordReader(std::size_t total) : m_total(total) {}

    // Takes runs up to the frame's end out of n; returns how many it took.
    std::size_t Add(const unsigned char* runs, std::size_t n) {
        using raster::kRunBytes;
        for (std::size_t k = 0; k < n; ++k) {
            const unsigned char* run = runs + k * kRunBytes;
            const std::uint32_t len = raster::GetRunLength(run);
            if (len > m_total - m_pos) throw CArchiveException(CArchiveException::badFormat);
            if (len == 0 || (m_pos != 0 && run[0] == m_last && m_lastLen < raster::kMaxRunLength))
                m_canonical = false;
            m_last = run[0];
            m_lastLen = len;
            if (!m_pixels.empty()) raster::FillRun(m_pixels.data() + m_pos, run[0], len);
            m_pos += len;
            if (m_pos == m_total) {
                n = k + 1;
                break;
            }
        }
        if (m_pixels.empty()) {
            m_runs.insert(m_runs.end(), runs, runs + n * kRunBytes);
            if (m_runs.size() > m_total) ToPixels();
        }
        return n;
    }
    bool Done() const { return m_pos == m_total; }

    CompactImage Take(int width, int height) {
        CompactImage image;
        if (!m_pixels.empty()) {
            image = CompactImage::FromPixels(std::move(m_pixels), width, height);
        } else if (m_canonical) {
            m_runs.shrink_to_fit();  // kept for the session: no room left over from growing
            image = CompactImage::FromRuns(std::move(m_runs), width, height);
        } else {
            std::vector<unsigned char> pixels(m_total);
            Decode(pixels.data());
            image = CompactImage::Encode(pixels.data(), width, height);
        }
        if (image.Empty()) throw CArchiveException(CArchiveException::noMemory);
        return image;
    }

  private:
    void Decode(unsigned char* out) const {
        raster::RunDecoder(out, m_total).Feed(m_runs.data(), m_runs.size());
    }
    void ToPixels() {
        m_pixels.resize(m_total);
        Decode(m_pixels.data());
        std::vector<unsigned char>().swap(m_runs);
    }

    const std::size_t m_total;
    std::size_t m_pos = 0;
    std::vector<unsigned char> m_runs;
    std::vector<unsigned char> m_pixels;  // in use once the runs outgrow them
    bool m_canonical = true;
    unsigned char m_last = 0;
    std::uint32_t m_lastLen = 0;
};

}  // namespace

CompactImage LoadFrameRecord(CArchive& ar, int width, int height) {
    using raster::kRunBytes;
    std::int32_t w = 0;
    std::int32_t h = 0;
    ar >> w >> h;
    if (w != width || h != height || w <= 0 || h <= 0)
        throw CArchiveException(CArchiveException::badFormat);
    try {
        RecordReader reader(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
        while (!reader.Done()) {
            const unsigned char* data = nullptr;
            const std::size_t avail = ar.Peek(&data);
            if (avail < kRunBytes) {
                // A run split by the end of the archive's buffer (or of the file).
                unsigned char run[kRunBytes];
                ar.ReadExact(run, kRunBytes);
                reader.Add(run, 1);
                continue;
            }
            // Only the runs this frame still needs; the next record may follow in the buffer.
            ar.Consume(reader.Add(data, avail / kRunBytes) * kRunBytes);
        }
        return reader.Take(w, h);
    } catch (const std::bad_alloc&) {
        throw CArchiveException(CArchiveException::noMemory);
    }
}

void LoadFrameRecords(CArchive& ar, CompactImage* frames, int count, int width, int height) {
    for (int i = 0; i < count; ++i) frames[i] = LoadFrameRecord(ar, width, height);
}

BrushRecord BrushRecordOf(const BrushStamp& brush) {
    return {brush.GetSize(), brush.GetHardness()};
}

void StoreBrushRecord(CArchive& ar, const BrushRecord& brush) {
    ar << static_cast<std::int32_t>(brush.size);
    ar << static_cast<std::int32_t>(brush.hardness);
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
