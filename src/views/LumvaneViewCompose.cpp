// The display image: the shown frame, or a peeked neighbour, composed with the onion frames.
#include <QImage>
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "document/LumvaneDoc.h"
#include "document/MemoryCheck.h"
#include "framework/Ui.h"
#include "views/LumvaneView.h"
#include "views/OnionCompose.h"

namespace {

// The encoding of frame index when it is there and of the animation's size, else null.
const CompactImage* UsableFrame(const CLumvaneDoc& doc, int index) {
    if (index < 0 || index >= doc.m_nFrameCount || index >= CLumvaneDoc::kMaxFrames) return nullptr;
    const CompactImage& f = doc.m_frames[index];
    if (f.Empty() || f.Width() != doc.m_nWidth || f.Height() != doc.m_nHeight) return nullptr;
    return &f;
}

bool OnionActive(const CLumvaneDoc& doc) {
    return doc.m_bOnionSkin && doc.m_nOnionCount > 0;
}

// Whether an image can be composed into as it is, without a fresh allocation.
bool FitsDisplay(const QImage& image, int width, int height) {
    return image.format() == CLumvaneView::kDisplayFormat && image.width() == width &&
           image.height() == height;
}

// Start of a display image row as its pixel words.
std::uint32_t* DisplayRow(QImage& image, int y) {
    return reinterpret_cast<std::uint32_t*>(image.scanLine(y));
}

}  // namespace

CLumvaneView::DisplaySources CLumvaneView::SourcesOf(int index, bool decode) const {
    static_assert(std::size(decltype(DisplaySources::onion){}) == CLumvaneDoc::kMaxOnionFrames);
    const CLumvaneDoc& doc = *GetDoc();
    DisplaySources s;
    s.width = doc.m_nWidth;
    s.height = doc.m_nHeight;
    // Pixels of frame i into slot, unless only the encodings are asked for.
    auto take = [&](int i, int slot) -> const unsigned char* {
        const CompactImage* f = UsableFrame(doc, i);
        if (!f) return nullptr;
        s.encodings[slot] = *f;
        if (!decode) return nullptr;
        s.held[slot] = doc.FramePixels(i);
        return s.held[slot] ? s.held[slot]->GetData() : nullptr;
    };
    s.shown = take(index, 0);
    if (m_liveSource && index == doc.m_nCurrentFrame)
        if (const unsigned char* live = m_liveSource()) s.shown = s.live = live;
    if (OnionActive(doc)) {
        const int n = std::min(doc.m_nOnionCount, CLumvaneDoc::kMaxOnionFrames);
        for (int k = 0; k < n; ++k) {
            const int slot = s.onionCount + 1;
            const unsigned char* p = take(doc.m_onionFrames[k], slot);
            if (!s.encodings[slot].Empty() && (p || !decode)) s.onion[s.onionCount++] = p;
        }
    }
    return s;
}

void CLumvaneView::Compose(const DisplaySources& s, QImage& image, int left, int top, int right,
                           int bottom) {
    const auto width = static_cast<std::size_t>(s.width);
    // A frame without pixels shows as white paper: one white row stands for all of its rows.
    std::vector<unsigned char> white;
    if (!s.shown) white.assign(width, 255);
    const unsigned char* shown = s.shown ? s.shown : white.data();
    const std::size_t shownStride = s.shown ? width : 0;
    const unsigned char* rows[CLumvaneDoc::kMaxOnionFrames];
    for (int y = top; y < bottom; ++y) {
        const auto row = static_cast<std::size_t>(s.height - 1 - y);  // stored bottom-up
        for (int k = 0; k < s.onionCount; ++k) rows[k] = s.onion[k] + row * width + left;
        ComposeOnionRow(DisplayRow(image, y) + left, shown + row * shownStride + left, rows,
                        s.onionCount, right - left);
    }
}

int CLumvaneView::ComposeFrame(int index) {
    CLumvaneDoc* doc = GetDoc();
    m_pAhead = nullptr;
    if (!doc || doc->m_nWidth <= 0 || doc->m_nHeight <= 0) {
        m_memDC = QImage();
        return 1;
    }
    const int w = doc->m_nWidth;
    const int h = doc->m_nHeight;
    // The previous image is reused when it fits, sparing a fresh allocation per frame.
    if (!FitsDisplay(m_memDC, w, h)) {
        // Four bytes a pixel: for the largest frames more than a frame's worth; refused rather
        // than touched beyond what the process may have.
        m_memDC = QImage();
        if (MemoryFits(ImageBytes(4, w, h))) m_memDC = QImage(w, h, kDisplayFormat);
        if (m_memDC.isNull()) {
            AfxMessageBox(QStringLiteral("Could not create bitmap"));
            return 1;
        }
    }
    Compose(SourcesOf(index), m_memDC, 0, 0, w, h);
    RescaleRect(0, 0, w, h);
    m_nComposedFrame = index;
    return 1;
}

int CLumvaneView::RefreshRect(int index, int left, int top, int right, int bottom) {
    CLumvaneDoc* doc = GetDoc();
    m_pAhead = nullptr;
    if (!doc || doc->m_nWidth <= 0 || doc->m_nHeight <= 0) return 1;
    const int w = doc->m_nWidth;
    const int h = doc->m_nHeight;
    auto clampTo = [](int v, int limit) { return v < 0 ? 0 : (v >= limit ? limit : v); };
    left = clampTo(left, w);
    right = clampTo(right, w);
    top = clampTo(top, h);
    bottom = clampTo(bottom, h);
    if (right - left <= 0 || bottom - top <= 0) return 1;
    if (!FitsDisplay(m_memDC, w, h)) return ComposeFrame(index);
    Compose(SourcesOf(index), m_memDC, left, top, right, bottom);
    RescaleRect(left, top, right, bottom);
    return 1;
}

void CLumvaneView::PrepareFrame(const CFrameAhead& ahead) {
    CLumvaneDoc* doc = GetDoc();
    if (ahead.frame == CFrameAhead::kNone) {
        m_pAhead = nullptr;
        m_aheadDC = QImage();
        m_aheadSources = DisplaySources();  // the decoded frames go back to the cache's care
        return;
    }
    if (!doc || doc->m_nWidth <= 0 || doc->m_nHeight <= 0) return;
    // The loop may announce the same frame again when its wait ends early.
    if (m_pAhead == &ahead && m_nAheadFrame == ahead.frame &&
        m_aheadSources == SourcesOf(ahead.frame, false))
        return;
    const DisplaySources sources = SourcesOf(ahead.frame);
    m_pAhead = nullptr;
    if (!FitsDisplay(m_aheadDC, sources.width, sources.height)) {
        m_aheadDC = QImage();
        if (MemoryFits(ImageBytes(4, sources.width, sources.height)))
            m_aheadDC = QImage(sources.width, sources.height, kDisplayFormat);
        if (m_aheadDC.isNull()) return;  // shown the ordinary way when its time comes
    }
    Compose(sources, m_aheadDC, 0, 0, sources.width, sources.height);
    if (m_dZoom < 1.0) {
        // Shrunk here too, while the loop waits, not when the frame's time has come.
        const QSize size = ZoomedSize();
        if (m_aheadScaled.size() != size || m_aheadScaled.format() != kDisplayFormat)
            m_aheadScaled = QImage(size, kDisplayFormat);
        if (m_aheadScaled.isNull()) return;
        ShrinkInto(m_aheadDC, m_aheadScaled, m_dZoom, 0, 0, sources.width, sources.height);
    }
    m_pAhead = &ahead;
    m_nAheadFrame = ahead.frame;
    m_aheadSources = sources;
}

bool CLumvaneView::TakeFrameAhead(const void* pHint) {
    const CFrameAhead* ahead = m_pAhead;
    m_pAhead = nullptr;
    const CLumvaneDoc* doc = GetDoc();
    if (!ahead || pHint != ahead || !doc || doc->m_nCurrentFrame != m_nAheadFrame ||
        SourcesOf(m_nAheadFrame, false) != m_aheadSources)
        return false;
    m_memDC.swap(m_aheadDC);
    if (m_dZoom < 1.0) m_scaledDC.swap(m_aheadScaled);
    for (auto& pixels : m_aheadSources.held) pixels.reset();
    m_nComposedFrame = m_nAheadFrame;
    return true;
}

void CLumvaneView::SetLivePicture(std::function<const unsigned char*()> source) {
    m_liveSource = std::move(source);
    m_pAhead = nullptr;
}

void CLumvaneView::ShowLivePicture() {
    const CLumvaneDoc* doc = GetDoc();
    if (!doc || !m_liveSource || m_nComposedFrame != doc->m_nCurrentFrame) return;
    ComposeFrame(doc->m_nCurrentFrame);
    RepaintPane();
}

void CLumvaneView::ToggleOnionFrame(int frame) {
    CLumvaneDoc* doc = GetDoc();
    if (!doc || frame < 0 || frame >= doc->m_nFrameCount) return;
    int* list = doc->m_onionFrames;
    int n = std::clamp(doc->m_nOnionCount, 0, CLumvaneDoc::kMaxOnionFrames);
    int* found = std::find(list, list + n, frame);
    if (found != list + n) {
        std::copy(found + 1, list + n, found);
        --n;
    } else if (n < CLumvaneDoc::kMaxOnionFrames) {
        list[n++] = frame;
    } else {
        return;  // the list is full: a ninth frame is refused
    }
    doc->m_nOnionCount = n;
    doc->UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
}

void CLumvaneView::ShowRelativeFrame(int offset) {
    CLumvaneDoc* doc = GetDoc();
    if (!HasAnimation()) return;
    int target = doc->m_nCurrentFrame + offset;
    if (doc->m_bOnionSkin && offset != 0) ToggleOnionFrame(target);
    target = std::clamp(target, 0, doc->m_nFrameCount - 1);
    if (!doc->m_bOnionSkin) ComposeFrame(target);
    RepaintPane();
}
