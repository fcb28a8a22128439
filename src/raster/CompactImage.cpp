#include "raster/CompactImage.h"

#include <cstring>
#include <new>
#include <utility>

#include "raster/GrayImage.h"
#include "raster/RunLength.h"

std::size_t CompactImage::PixelCount() const {
    return m_data
               ? static_cast<std::size_t>(m_data->width) * static_cast<std::size_t>(m_data->height)
               : 0;
}

CompactImage CompactImage::Make(std::vector<unsigned char> bytes, bool runs, int width,
                                int height) {
    CompactImage image;
    try {
        auto data = std::make_shared<Body>();
        data->width = width;
        data->height = height;
        data->runs = runs;
        data->bytes = std::move(bytes);
        image.m_data = std::move(data);
    } catch (const std::bad_alloc&) {
    }
    return image;
}

CompactImage CompactImage::Encode(const unsigned char* pixels, int width, int height) {
    if (!pixels || width <= 0 || height <= 0) return {};
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    try {
        // Encoded into a scratch buffer that stays with the thread, then copied at its exact
        // size: the re-encode at the end of every stroke allocates only what it keeps.
        thread_local std::vector<unsigned char> scratch;
        if (scratch.size() < 64 * 1024) scratch.resize(64 * 1024);
        raster::RunEncoder encoder(pixels, count);
        std::size_t used = 0;
        while (!encoder.Done()) {
            if (used > count) break;  // runs would outgrow the pixels
            if (scratch.size() - used < 4096 * raster::kRunBytes)
                scratch.resize(scratch.size() * 2);
            used += encoder.Encode(scratch.data() + used, scratch.size() - used);
        }
        std::vector<unsigned char> bytes;
        bool runs = encoder.Done() && used <= count;
        if (runs) {
            bytes.assign(scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(used));
        } else {
            bytes.assign(pixels, pixels + count);
        }
        // A noise frame once encoded must not hold its megabytes for the rest of the session.
        if (scratch.size() > (std::size_t{16} << 20)) std::vector<unsigned char>().swap(scratch);
        return Make(std::move(bytes), runs, width, height);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

CompactImage CompactImage::Encode(const GrayImage& image) {
    return Encode(image.GetData(), image.GetWidth(), image.GetHeight());
}

CompactImage CompactImage::Filled(int width, int height, unsigned char value) {
    if (width <= 0 || height <= 0) return {};
    std::size_t left = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    try {
        std::vector<unsigned char> bytes;
        while (left > 0) {
            const auto n = static_cast<std::uint32_t>(
                left > raster::kMaxRunLength ? raster::kMaxRunLength : left);
            bytes.resize(bytes.size() + raster::kRunBytes);
            raster::PutRun(bytes.data() + bytes.size() - raster::kRunBytes, value, n);
            left -= n;
        }
        return Make(std::move(bytes), true, width, height);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

CompactImage CompactImage::FromRuns(std::vector<unsigned char> runs, int width, int height) {
    return Make(std::move(runs), true, width, height);
}

CompactImage CompactImage::FromPixels(std::vector<unsigned char> pixels, int width, int height) {
    return Make(std::move(pixels), false, width, height);
}

void CompactImage::Decode(unsigned char* pixels) const {
    if (!m_data) return;
    const std::vector<unsigned char>& b = m_data->bytes;
    if (!m_data->runs) {
        std::memcpy(pixels, b.data(), b.size());
        return;
    }
    // The runs were checked against the size when they came in; the bound stays anyway.
    const std::size_t count = PixelCount();
    std::size_t pos = 0;
    for (std::size_t at = 0; at + raster::kRunBytes <= b.size(); at += raster::kRunBytes) {
        std::uint32_t len = raster::GetRunLength(b.data() + at);
        if (len > count - pos) len = static_cast<std::uint32_t>(count - pos);
        raster::FillRun(pixels + pos, b[at], len);
        pos += len;
    }
    if (pos < count) std::memset(pixels + pos, 255, count - pos);
}

bool CompactImage::Decode(GrayImage& image) const {
    if (!m_data) return false;
    if (!image.GetData() || image.GetWidth() != Width() || image.GetHeight() != Height())
        if (!image.Create(Width(), Height())) return false;
    Decode(image.GetData());
    return true;
}
