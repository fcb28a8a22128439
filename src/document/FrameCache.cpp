#include "document/FrameCache.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

int FrameCache::CapacityFor(int width, int height) {
    const std::size_t bytes =
        std::max<std::size_t>(1, static_cast<std::size_t>(std::max(width, 0)) *
                                     static_cast<std::size_t>(std::max(height, 0)));
    const std::size_t least = kOnionFrames * bytes <= kOnionBudget ? kOnionFrames : 3;
    return static_cast<int>(std::clamp<std::size_t>(kBudget / bytes, least, 16));
}

void FrameCache::SetFrameSize(int width, int height) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.clear();
    m_nCapacity = CapacityFor(width, height);
}

int FrameCache::Find(const CompactImage& frame) const {
    for (std::size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].frame.SameAs(frame)) return static_cast<int>(i);
    return -1;
}

std::shared_ptr<GrayImage> FrameCache::DropOldest() {
    auto oldest = std::min_element(m_entries.begin(), m_entries.end(),
                                   [](const Entry& a, const Entry& b) { return a.used < b.used; });
    std::shared_ptr<GrayImage> pixels = std::move(oldest->pixels);
    m_entries.erase(oldest);
    return pixels;
}

std::shared_ptr<GrayImage> FrameCache::Buffer(int width, int height) {
    if (static_cast<int>(m_entries.size()) >= m_nCapacity) {
        // The oldest entry's buffer is used again when no one reads it.
        std::shared_ptr<GrayImage> pixels = DropOldest();
        if (pixels.use_count() == 1 && pixels->GetWidth() == width && pixels->GetHeight() == height)
            return pixels;
    }
    try {
        auto pixels = std::make_shared<GrayImage>();
        if (!pixels->Create(width, height)) return nullptr;
        return pixels;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void FrameCache::Insert(const CompactImage& frame, std::shared_ptr<GrayImage> pixels) {
    try {
        m_entries.push_back({frame, std::move(pixels), ++m_nClock});
    } catch (const std::bad_alloc&) {
    }
}

std::shared_ptr<const GrayImage> FrameCache::Get(const CompactImage& frame) {
    if (frame.Empty()) return nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    const int at = Find(frame);
    if (at >= 0) {
        Entry& e = m_entries[static_cast<std::size_t>(at)];
        e.used = ++m_nClock;
        return e.pixels;
    }
    std::shared_ptr<GrayImage> pixels = Buffer(frame.Width(), frame.Height());
    if (!pixels) return nullptr;
    frame.Decode(pixels->GetData());
    Insert(frame, pixels);
    return pixels;
}

std::shared_ptr<GrayImage> FrameCache::Take(const CompactImage& frame) {
    if (frame.Empty()) return nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    const int at = Find(frame);
    if (at >= 0) {
        std::shared_ptr<GrayImage> pixels =
            std::move(m_entries[static_cast<std::size_t>(at)].pixels);
        m_entries.erase(m_entries.begin() + at);
        if (pixels.use_count() == 1) return pixels;
        // Someone still reads these pixels as they are: the writer gets its own.
        auto own = std::make_shared<GrayImage>();
        if (!own->Create(pixels->GetWidth(), pixels->GetHeight())) return nullptr;
        std::memcpy(own->GetData(), pixels->GetData(), pixels->PixelCount());
        return own;
    }
    std::shared_ptr<GrayImage> pixels = Buffer(frame.Width(), frame.Height());
    if (pixels) frame.Decode(pixels->GetData());
    return pixels;
}

void FrameCache::Put(const CompactImage& frame, std::shared_ptr<GrayImage> pixels) {
    if (frame.Empty() || !pixels) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (Find(frame) >= 0) return;
    while (static_cast<int>(m_entries.size()) >= m_nCapacity) DropOldest();
    Insert(frame, std::move(pixels));
}

void FrameCache::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.clear();
}

int FrameCache::Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_entries.size());
}

std::size_t FrameCache::Bytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::size_t bytes = 0;
    for (const Entry& e : m_entries) bytes += e.pixels->PixelCount();
    return bytes;
}
