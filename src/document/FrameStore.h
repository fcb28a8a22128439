#pragma once

// Pixel buffers for the frames of one animation. All frames have one size, so they are cut as
// equal slots from large blocks mapped from the system: a block can be backed by huge pages,
// which makes the first touch of hundreds of megabytes of fresh frames many times cheaper than
// page by page, and a freed slot is handed out again by the next Add Frame.

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "raster/GrayImage.h"

class FrameStore final : public PixelAllocator {
  public:
    // A store for frames of frameBytes bytes each; nothing is mapped yet.
    explicit FrameStore(std::size_t frameBytes);
    ~FrameStore() override;
    FrameStore(const FrameStore&) = delete;
    FrameStore& operator=(const FrameStore&) = delete;

    // The store to take width x height frames from: store itself when its slots have that
    // size, otherwise a new one.
    static std::shared_ptr<FrameStore> For(const std::shared_ptr<FrameStore>& store, int width,
                                           int height);

    std::size_t FrameBytes() const { return m_nFrameBytes; }
    // Maps one block with room for count more frames, so that loading a file takes them from
    // one mapping; false when the system refuses it.
    bool Reserve(std::size_t count);

    // A slot for a frame of up to FrameBytes bytes, or null without memory.
    unsigned char* Allocate(std::size_t bytes) override;
    void Release(unsigned char* data) noexcept override;

  private:
    struct Block {
        unsigned char* base;     // first slot
        std::size_t count;       // slots
        std::size_t handed = 0;  // slots taken from the block so far, in order
        std::size_t live = 0;    // slots in use
        void* map;               // the mapping, for munmap
        std::size_t mapBytes;
    };
    bool MapBlock(std::size_t count);

    std::mutex m_mutex;
    const std::size_t m_nFrameBytes;
    const std::size_t m_nSlotBytes;
    std::vector<Block> m_blocks;
    std::size_t m_nSlots = 0;            // in all blocks
    std::vector<unsigned char*> m_free;  // released slots, the latest last
};
