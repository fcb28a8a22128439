// Box selection, copy, paste and paste lines through the document's own copy buffer.
#include <algorithm>
#include <cstddef>

#include "document/LumvaneDoc.h"

namespace {

// The copy buffer holds whole frame rows: it must be as large as a frame.
bool BuffersUsable(const CLumvaneDoc& doc) {
    if (doc.m_nWidth <= 0 || doc.m_nHeight <= 0) return false;
    if (doc.m_nCurrentFrame < 0 || doc.m_nCurrentFrame >= doc.m_nFrameCount) return false;
    const CompactImage& frame = doc.m_frames[doc.m_nCurrentFrame];
    const std::size_t pixels =
        static_cast<std::size_t>(doc.m_nWidth) * static_cast<std::size_t>(doc.m_nHeight);
    return !frame.Empty() && frame.PixelCount() == pixels && doc.m_clipImage.GetData() &&
           doc.m_clipImage.PixelCount() >= pixels;
}

// Writes the copied region into the current frame from the paste origin, pixel by pixel,
// dropping whatever falls outside the frame.
// Where the copied region's bottom-left pixel goes: the box's bottom-left corner, or the
// frame's without a box (column, stored row).
void PasteOrigin(const CLumvaneDoc& doc, int& x0, int& y0) {
    x0 = 0;
    y0 = 0;
    if (doc.m_bBoxSelect) {
        const LRect& r = doc.m_rcSelect;
        x0 = std::min(r.left, r.right);
        y0 = std::min(doc.m_nHeight - r.top, doc.m_nHeight - r.bottom);
    }
}

template <typename Rule>
void PasteRegion(CLumvaneDoc& doc, GrayImage& target, Rule rule) {
    if (!BuffersUsable(doc)) return;
    const int w = doc.m_nWidth;
    const int h = doc.m_nHeight;
    int x0, y0;
    PasteOrigin(doc, x0, y0);
    const int cw = std::clamp(doc.m_nClipWidth, 0, w);
    const int ch = std::clamp(doc.m_nClipHeight, 0, h);
    unsigned char* frame = target.GetData();
    const unsigned char* clip = doc.m_clipImage.GetData();
    for (int row = 0; row < ch; ++row) {
        const long long y = static_cast<long long>(y0) + row;
        if (y < 0 || y >= h) continue;
        for (int col = 0; col < cw; ++col) {
            const long long x = static_cast<long long>(x0) + col;
            if (x < 0 || x >= w) continue;
            unsigned char& v = frame[y * w + x];
            v = rule(v, clip[static_cast<std::size_t>(row) * w + col]);
        }
    }
}

// The top-down rectangle a paste writes (before clipping to the frame).
LRect PasteTarget(const CLumvaneDoc& doc) {
    const int h = doc.m_nHeight;
    int x0, y0;
    PasteOrigin(doc, x0, y0);
    const long long cw = std::clamp(doc.m_nClipWidth, 0, doc.m_nWidth);
    const long long ch = std::clamp(doc.m_nClipHeight, 0, h);
    auto clampInt = [](long long v) {
        return static_cast<int>(std::clamp<long long>(v, -0x40000000LL, 0x40000000LL));
    };
    return {clampInt(x0), clampInt(h - (y0 + ch)), clampInt(x0 + cw),
            clampInt(static_cast<long long>(h) - y0)};
}

}  // namespace

void CLumvaneDoc::OnBoxSelection() {
    m_bBoxSelect = 1 - m_bBoxSelect;
    UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
}

void CLumvaneDoc::OnCopy() {
    if (!BuffersUsable(*this)) return;
    const int w = m_nWidth;
    const int h = m_nHeight;
    const std::shared_ptr<const GrayImage> pixels = CurrentFrame();
    if (!pixels) return;
    const unsigned char* frame = pixels->GetData();
    unsigned char* clip = m_clipImage.GetData();
    if (!m_bBoxSelect) {
        std::copy(frame, frame + static_cast<std::size_t>(w) * h, clip);
        m_nClipWidth = w;
        m_nClipHeight = h;
        m_bClipValid = 1;
        return;
    }
    // The box may lie partly or wholly outside a frame smaller than it: only the part inside
    // the frame is copied.
    const LRect& r = m_rcSelect;
    const int left = std::clamp(std::min(r.left, r.right), 0, w);
    const int right = std::clamp(std::max(r.left, r.right), 0, w);
    const int top = std::clamp(std::min(r.top, r.bottom), 0, h);
    const int bottom = std::clamp(std::max(r.top, r.bottom), 0, h);
    const int cw = right - left;
    const int ch = bottom - top;
    if (cw <= 0 || ch <= 0) return;  // nothing inside: the buffer keeps what it held
    const int firstRow = h - bottom;
    for (int row = 0; row < ch; ++row) {
        const unsigned char* src = frame + static_cast<std::size_t>(firstRow + row) * w + left;
        std::copy(src, src + cw, clip + static_cast<std::size_t>(row) * w);
    }
    m_nClipWidth = cw;
    m_nClipHeight = ch;
    m_bClipValid = 1;
}

void CLumvaneDoc::OnPaste() {
    if (m_nFrameCount <= 0) return;
    ChangePixels(PasteTarget(*this), [this](GrayImage& frame) {
        PasteRegion(*this, frame, [](unsigned char, unsigned char c) { return c; });
    });
}

void CLumvaneDoc::OnPasteLines() {
    if (m_nFrameCount <= 0) return;
    ChangePixels(PasteTarget(*this), [this](GrayImage& frame) {
        PasteRegion(*this, frame, [](unsigned char v, unsigned char c) {
            return static_cast<unsigned char>(v * c / 255);
        });
    });
}
