#include "document/FrameStore.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <new>

#include "document/AnmFormat.h"

namespace {
constexpr std::size_t kSlotAlign = 64;  // a cache line: two frames never share one
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Blocks that Add Frame and New start: room for a few dozen frames of the usual sizes.
constexpr std::size_t kGrowthBytes = std::size_t{16} << 20;

std::size_t PageSize() {
    static const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return page;
}
}  // namespace

FrameStore::FrameStore(std::size_t frameBytes)
    : m_nFrameBytes(frameBytes),
      m_nSlotBytes(std::max(kSlotAlign, (frameBytes + kSlotAlign - 1) / kSlotAlign * kSlotAlign)) {}

FrameStore::~FrameStore() {
    for (const Block& b : m_blocks) munmap(b.map, b.mapBytes);
}

std::shared_ptr<FrameStore> FrameStore::For(const std::shared_ptr<FrameStore>& store, int width,
                                            int height) {
    if (width < 0 || height < 0) return nullptr;
    const std::size_t bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (height != 0 && bytes / static_cast<std::size_t>(height) != static_cast<std::size_t>(width))
        return nullptr;
    if (store && store->FrameBytes() == bytes) return store;
    return std::make_shared<FrameStore>(bytes);
}

bool FrameStore::MapBlock(std::size_t count) {
    if (count == 0 || m_nSlotBytes > SIZE_MAX / count) return false;
    const std::size_t page = PageSize();
    const std::size_t bytes = (count * m_nSlotBytes + page - 1) / page * page;
    // Huge pages need 2 MB alignment: map a little more, then give back what is cut off.
    const bool huge = bytes >= kHugePage;
    const std::size_t pad = huge ? kHugePage : 0;
    if (bytes > SIZE_MAX - pad) return false;
    void* raw =
        mmap(nullptr, bytes + pad, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return false;
    try {
        // Release must not allocate: room for every slot on the free list now.
        m_free.reserve(m_nSlots + count);
        m_blocks.reserve(m_blocks.size() + 1);
    } catch (const std::bad_alloc&) {
        munmap(raw, bytes + pad);
        return false;
    }
    auto* start = static_cast<unsigned char*>(raw);
    if (huge) {
        const auto addr = reinterpret_cast<std::uintptr_t>(raw);
        auto* aligned = reinterpret_cast<unsigned char*>((addr + kHugePage - 1) & ~(kHugePage - 1));
        const std::size_t head = static_cast<std::size_t>(aligned - start);
        if (head) munmap(start, head);
        if (pad - head) munmap(aligned + bytes, pad - head);
        start = aligned;
        madvise(start, bytes, MADV_HUGEPAGE);  // only advice: without it pages come in 4 KB
    }
    m_blocks.push_back(Block{start, count, 0, 0, start, bytes});
    m_nSlots += count;
    return true;
}

bool FrameStore::Reserve(std::size_t count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::size_t room = m_free.size();
    for (const Block& b : m_blocks) room += b.count - b.handed;
    return room >= count || MapBlock(count - room);
}

unsigned char* FrameStore::Allocate(std::size_t bytes) {
    if (bytes > m_nFrameBytes) return nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_free.empty()) {
        unsigned char* p = m_free.back();
        m_free.pop_back();
        for (Block& b : m_blocks)
            if (p >= b.base && p < b.base + b.count * m_nSlotBytes) ++b.live;
        return p;
    }
    for (Block& b : m_blocks)
        if (b.handed < b.count) {
            ++b.live;
            return b.base + b.handed++ * m_nSlotBytes;
        }
    // An animation never has more frames than a file can hold.
    const std::size_t growth =
        std::clamp<std::size_t>(kGrowthBytes / m_nSlotBytes, 1, anm::kMaxFrameCount);
    // Where a block of many frames does not fit, one frame still may.
    if (!MapBlock(growth) && (growth == 1 || !MapBlock(1))) return nullptr;
    Block& b = m_blocks.back();
    ++b.live;
    return b.base + b.handed++ * m_nSlotBytes;
}

void FrameStore::Release(unsigned char* data) noexcept {
    if (data == nullptr) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (std::size_t i = 0; i < m_blocks.size(); ++i) {
        Block& b = m_blocks[i];
        if (data < b.base || data >= b.base + b.count * m_nSlotBytes) continue;
        if (--b.live > 0) {
            m_free.push_back(data);
            return;
        }
        // A block with no frame left goes back to the system, with its free slots.
        const unsigned char* lo = b.base;
        const unsigned char* hi = b.base + b.count * m_nSlotBytes;
        m_free.erase(std::remove_if(m_free.begin(), m_free.end(),
                                    [&](unsigned char* p) { return p >= lo && p < hi; }),
                     m_free.end());
        munmap(b.map, b.mapBytes);
        m_nSlots -= b.count;
        m_blocks.erase(m_blocks.begin() + static_cast<std::ptrdiff_t>(i));
        return;
    }
}
