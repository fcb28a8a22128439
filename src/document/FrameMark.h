#pragma once

// What the recovery copy needs to know of each frame slot: which frame it holds, how often
// that frame changed, and whether a copy being written still reads its pixels.

#include <atomic>
#include <cstdint>
#include <memory>

#include "raster/GrayImage.h"

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
