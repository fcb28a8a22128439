#include "document/UndoHistory.h"

#include <algorithm>
#include <cstring>

#include "raster/RunLength.h"

EncodedRect EncodedRect::Encode(const unsigned char* frame, int width, const PixelRect& r) {
    EncodedRect e;
    e.m_rect = r;
    if (r.Empty() || !frame) return e;
    const std::size_t w = static_cast<std::size_t>(r.w);
    std::vector<unsigned char> pixels(w * static_cast<std::size_t>(r.h));
    for (int row = 0; row < r.h; ++row)
        std::memcpy(pixels.data() + row * w,
                    frame + (static_cast<std::size_t>(r.y) + row) * width + r.x, w);
    raster::RunEncoder enc(pixels.data(), pixels.size());
    unsigned char block[4096];
    while (const std::size_t n = enc.Encode(block, sizeof block))
        e.m_runs.insert(e.m_runs.end(), block, block + n);
    e.m_runs.shrink_to_fit();
    return e;
}

bool EncodedRect::Decode(unsigned char* frame, int width) const {
    if (m_rect.Empty()) return true;
    if (!frame) return false;
    const std::size_t w = static_cast<std::size_t>(m_rect.w);
    const std::size_t total = w * static_cast<std::size_t>(m_rect.h);
    std::size_t covered = 0;
    for (std::size_t i = 0; i + raster::kRunBytes <= m_runs.size(); i += raster::kRunBytes)
        covered += raster::GetRunLength(&m_runs[i]);
    if (covered != total) return false;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < m_runs.size(); i += raster::kRunBytes) {
        const unsigned char value = m_runs[i];
        std::size_t left = raster::GetRunLength(&m_runs[i]);
        while (left > 0) {
            const std::size_t row = pos / w;
            const std::size_t col = pos % w;
            const std::size_t n = std::min(left, w - col);
            unsigned char* dst =
                frame + (m_rect.y + row) * static_cast<std::size_t>(width) + m_rect.x + col;
            raster::FillRun(dst, value, static_cast<std::uint32_t>(n));
            pos += n;
            left -= n;
        }
    }
    return true;
}

std::size_t UndoStep::Bytes() const {
    std::size_t n = sizeof(UndoStep) + before.Bytes() + after.Bytes() +
                    insertedIds.size() * sizeof(std::uint64_t);
    for (const CompactImage& f : inserted) n += sizeof(CompactImage) + f.Bytes();
    return n;
}

bool UndoStep::Holds(std::uint64_t id) const {
    if (kind == Kind::Pixels) return frameId == id;
    return std::find(insertedIds.begin(), insertedIds.end(), id) != insertedIds.end();
}

void CUndoHistory::SetDepth(int steps) {
    m_nDepth = std::clamp(steps, 1, kMaxDepth);
    Trim();
}

void CUndoHistory::Push(UndoStep step) {
    while (m_steps.size() > m_nCursor) {
        m_nBytes -= m_steps.back().Bytes();
        m_steps.pop_back();
    }
    m_nBytes += step.Bytes();
    m_steps.push_back(std::move(step));
    m_nCursor = m_steps.size();
    Trim();
}

void CUndoHistory::Recount() {
    m_nBytes = 0;
    for (const UndoStep& s : m_steps) m_nBytes += s.Bytes();
    Trim();
}

void CUndoHistory::DropFront() {
    m_nBytes -= m_steps.front().Bytes();
    m_steps.pop_front();
    --m_nCursor;
}

void CUndoHistory::Trim() {
    // The oldest steps go first; steps to redo only when nothing is left to undo, since
    // redoing a step needs the ones before it.
    while (m_steps.size() > static_cast<std::size_t>(m_nDepth)) {
        if (m_nCursor > 0) {
            DropFront();
        } else {
            m_nBytes -= m_steps.back().Bytes();
            m_steps.pop_back();
        }
    }
    while (m_nBytes > m_nBudget && m_steps.size() > 1 && m_nCursor > 0) DropFront();
}

void CUndoHistory::DropFrame(std::uint64_t id) {
    for (std::size_t i = m_steps.size(); i-- > 0;) {
        if (!m_steps[i].Holds(id)) continue;
        m_nBytes -= m_steps[i].Bytes();
        m_steps.erase(m_steps.begin() + static_cast<std::ptrdiff_t>(i));
        if (i < m_nCursor) --m_nCursor;
    }
}

void CUndoHistory::Clear() {
    m_steps.clear();
    m_nCursor = 0;
    m_nBytes = 0;
}
