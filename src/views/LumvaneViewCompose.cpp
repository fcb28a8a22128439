// The display image: the shown frame, or a peeked neighbour, composed with the onion frames.
#include <QImage>
#include <algorithm>
#include <cstring>
#include <vector>

#include "document/LumvaneDoc.h"
#include "framework/Ui.h"
#include "views/LumvaneView.h"
#include "views/OnionCompose.h"

namespace {

// The frames one composition reads: the shown one and the valid onion frames, each as a
// pointer and a row stride (stride 0 repeats one white row for a frame without pixels).
struct ComposeSources {
    const unsigned char* shown = nullptr;
    std::size_t shownStride = 0;
    const unsigned char* onion[CLumvaneDoc::kMaxOnionFrames] = {};
    int onionCount = 0;
    std::size_t width = 0;
    bool tinted = false;  // onion skin active: 24-bit display
};

bool FrameUsable(const CLumvaneDoc& doc, int index) {
    if (index < 0 || index >= doc.m_nFrameCount || index >= CLumvaneDoc::kMaxFrames) return false;
    const GrayImage& f = doc.m_frames[index];
    return f.GetData() && f.GetWidth() == doc.m_nWidth && f.GetHeight() == doc.m_nHeight;
}

bool OnionActive(const CLumvaneDoc& doc) {
    return doc.m_bOnionSkin && doc.m_nOnionCount > 0;
}

ComposeSources PrepareSources(const CLumvaneDoc& doc, int index,
                              const std::vector<unsigned char>& whiteRow) {
    ComposeSources s;
    s.width = static_cast<std::size_t>(doc.m_nWidth);
    if (FrameUsable(doc, index)) {
        s.shown = doc.m_frames[index].GetData();
        s.shownStride = s.width;
    } else {
        s.shown = whiteRow.data();
    }
    s.tinted = OnionActive(doc);
    if (s.tinted) {
        const int n = std::min(doc.m_nOnionCount, CLumvaneDoc::kMaxOnionFrames);
        for (int k = 0; k < n; ++k)
            if (FrameUsable(doc, doc.m_onionFrames[k]))
                s.onion[s.onionCount++] = doc.m_frames[doc.m_onionFrames[k]].GetData();
    }
    return s;
}

// Columns [x0, x1) of stored row `row`, composed into a display row of the given format.
void ComposeRow(const ComposeSources& s, std::size_t row, int x0, int x1, QImage::Format format,
                unsigned char* dst) {
    const int n = x1 - x0;
    const unsigned char* c = s.shown + row * s.shownStride + x0;
    if (format == QImage::Format_Grayscale8) {
        std::memcpy(dst + x0, c, static_cast<std::size_t>(n));
        return;
    }
    unsigned char* d = dst + 3 * static_cast<std::size_t>(x0);
    if (!s.tinted) {
        for (int i = 0; i < n; ++i) d[3 * i] = d[3 * i + 1] = d[3 * i + 2] = c[i];
        return;
    }
    const unsigned char* rows[CLumvaneDoc::kMaxOnionFrames];
    for (int k = 0; k < s.onionCount; ++k) rows[k] = s.onion[k] + row * s.width + x0;
    ComposeOnionRow(d, c, rows, s.onionCount, n);
}

}  // namespace

int CLumvaneView::ComposeFrame(int index) {
    CLumvaneDoc* doc = GetDoc();
    if (!doc || doc->m_nWidth <= 0 || doc->m_nHeight <= 0) {
        m_memDC = QImage();
        return 1;
    }
    const int w = doc->m_nWidth;
    const int h = doc->m_nHeight;
    const QImage::Format format =
        OnionActive(*doc) ? QImage::Format_RGB888 : QImage::Format_Grayscale8;
    // The previous image is reused when it fits, sparing a fresh allocation per frame.
    if (m_memDC.format() != format || m_memDC.width() != w || m_memDC.height() != h) {
        m_memDC = QImage(w, h, format);
        if (m_memDC.isNull()) {
            AfxMessageBox(QStringLiteral("Could not create bitmap"));
            return 1;
        }
    }
    std::vector<unsigned char> white;
    if (!FrameUsable(*doc, index)) white.assign(static_cast<std::size_t>(w), 255);
    const ComposeSources src = PrepareSources(*doc, index, white);
    for (int y = 0; y < h; ++y)
        ComposeRow(src, static_cast<std::size_t>(h - 1 - y), 0, w, format, m_memDC.scanLine(y));
    return 1;
}

int CLumvaneView::RefreshRect(int index, int left, int top, int right, int bottom) {
    CLumvaneDoc* doc = GetDoc();
    if (!doc || doc->m_nWidth <= 0 || doc->m_nHeight <= 0) return 1;
    const int w = doc->m_nWidth;
    const int h = doc->m_nHeight;
    auto clampTo = [](int v, int limit) { return v < 0 ? 0 : (v >= limit ? limit : v); };
    left = clampTo(left, w);
    right = clampTo(right, w);
    top = clampTo(top, h);
    bottom = clampTo(bottom, h);
    if (right - left <= 0 || bottom - top <= 0) return 1;
    if (m_memDC.width() != w || m_memDC.height() != h) return ComposeFrame(index);
    if (OnionActive(*doc) && m_memDC.format() == QImage::Format_Grayscale8)
        m_memDC.convertTo(QImage::Format_RGB888);  // lossless; keeps the peeked picture
    std::vector<unsigned char> white;
    if (!FrameUsable(*doc, index)) white.assign(static_cast<std::size_t>(w), 255);
    const ComposeSources src = PrepareSources(*doc, index, white);
    for (int y = top; y < bottom; ++y)
        ComposeRow(src, static_cast<std::size_t>(h - 1 - y), left, right, m_memDC.format(),
                   m_memDC.scanLine(y));
    return 1;
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
