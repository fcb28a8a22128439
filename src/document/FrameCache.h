#pragma once

// Decoded pixels of a few frames: the shown one, its onion frames and those playback shows
// next, so that flipping, onion skin and playback read frames as fast as when every frame was
// held decoded. Entries are known by the encoding they were decoded from, so a frame that
// changes (and so gets a new encoding) can never be served stale.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "raster/CompactImage.h"
#include "raster/GrayImage.h"

class FrameCache {
  public:
    // Frames of width x height it keeps at most: sixteen, or fewer within kBudget; at least a
    // frame with eight onion frames and the next one while they fit in kOnionBudget (else
    // three), so that drawing and playing over onion skin decode nothing again.
    static int CapacityFor(int width, int height);
    static constexpr std::size_t kBudget = std::size_t{256} << 20;
    static constexpr std::size_t kOnionBudget = std::size_t{512} << 20;
    static constexpr int kOnionFrames = 10;

    void SetFrameSize(int width, int height);
    int Capacity() const { return m_nCapacity; }

    // The pixels of frame, decoded now unless kept; null without memory. The pixels stay
    // valid for as long as the caller holds them, whatever the cache drops meanwhile.
    std::shared_ptr<const GrayImage> Get(const CompactImage& frame);
    // The kept pixels of frame, taken out of the cache to be written (decoded now unless
    // kept; a copy when someone still reads them). Null without memory.
    std::shared_ptr<GrayImage> Take(const CompactImage& frame);
    // Keeps pixels as the decoded form of frame.
    void Put(const CompactImage& frame, std::shared_ptr<GrayImage> pixels);
    void Clear();

    int Count() const;
    std::size_t Bytes() const;

  private:
    struct Entry {
        CompactImage frame;
        std::shared_ptr<GrayImage> pixels;
        std::uint64_t used = 0;
    };
    // Index of frame's entry, or -1 (lock held).
    int Find(const CompactImage& frame) const;
    // Takes the least recently used entry out (lock held) and returns its pixels.
    std::shared_ptr<GrayImage> DropOldest();
    // A buffer for a frame of width x height: one no one reads any more if the cache is full.
    std::shared_ptr<GrayImage> Buffer(int width, int height);
    void Insert(const CompactImage& frame, std::shared_ptr<GrayImage> pixels);

    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
    std::uint64_t m_nClock = 0;
    int m_nCapacity = 16;
};
