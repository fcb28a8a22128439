#include "document/FrameMark.h"

#include <utility>

#include "document/FrameStore.h"
#include "document/MemoryCheck.h"

void SpareFrames::Prepare(const std::shared_ptr<FrameStore>& store, int width, int height) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_store = store;
    m_nWidth = width;
    m_nHeight = height;
}

void SpareFrames::TopUp(std::size_t count) {
    for (;;) {
        std::shared_ptr<FrameStore> store;
        int width = 0;
        int height = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_ready.size() >= count || !m_store) return;
            store = m_store;
            width = m_nWidth;
            height = m_nHeight;
        }
        // Spares are a convenience: none at all rather than one too many.
        if (!MemoryFits(ImageBytes(1, width, height))) return;
        auto image = std::make_unique<GrayImage>();
        if (!image->Create(width, height, store)) return;
        image->Fill(255);  // the touch that faults the pages in, here rather than at a stroke
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ready.push_back(std::move(image));
    }
}

bool SpareFrames::Take(GrayImage& image, int width, int height) {
    std::unique_ptr<GrayImage> taken;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_ready.empty()) return false;
        taken = std::move(m_ready.back());
        m_ready.pop_back();
    }
    // One of an earlier size goes back to its store when taken goes.
    if (taken->GetWidth() != width || taken->GetHeight() != height) return false;
    image.Swap(*taken);
    return true;
}

void SpareFrames::Clear() {
    std::vector<std::unique_ptr<GrayImage>> ready;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ready.swap(m_ready);
    }
}
