#pragma once

// What the recovery copy needs to know of each frame slot: which frame it holds, how often
// that frame changed, and whether a copy being written still reads its pixels.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "raster/GrayImage.h"

class FrameStore;

// Pixels lent to a recovery copy that is being written on another thread. While the copy
// reads them, the document writes into a fresh buffer and hands the old one to the lease
// instead of freeing it; the buffer goes when the last holder lets go of the lease.
struct FrameLease {
    std::atomic<int> readers{0};  // copies still reading the pixels
    GrayImage orphan;             // the buffer, once the document has let go of it
    void Done() { readers.fetch_sub(1, std::memory_order_release); }
    bool InUse() const { return readers.load(std::memory_order_acquire) > 0; }
};

// Frames move between slots on Add and Delete, so a frame is known by its id, not its slot.
// The version grows with every change; a copy writes a frame again only when its version
// differs from the one written last.
struct FrameMark {
    std::uint64_t id = 0;
    std::uint64_t version = 0;
    std::shared_ptr<FrameLease> lease;
};

// Frame buffers touched in advance by the copy's worker thread, for copy on write while it
// reads: the first touch of fresh memory costs milliseconds for a frame (a page fault per page,
// or memory compacted for a huge page), which the window thread must not pay at a stroke.
class SpareFrames {
  public:
    // Window thread: the size and the store of the frames to come.
    void Prepare(const std::shared_ptr<FrameStore>& store, int width, int height);
    // Worker: allocates and touches buffers until count are ready.
    void TopUp(std::size_t count);
    // Window thread: a ready buffer of width x height into image; false when none is.
    bool Take(GrayImage& image, int width, int height);
    // Worker: gives the buffers back to the store once the copy is done.
    void Clear();

  private:
    std::mutex m_mutex;
    std::shared_ptr<FrameStore> m_store;
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<std::unique_ptr<GrayImage>> m_ready;
};
