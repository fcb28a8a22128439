// Pointer input: strokes, scrubbing through the frames with Ctrl, and dragging the selection
// box or one of its corners.
#include <QMouseEvent>
#include <QScreen>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "document/LumvaneDoc.h"
#include "views/LumvaneView.h"

int CLumvaneView::ScreenWidth() const {
    const QScreen* s = screen();
    return s ? s->geometry().width() : 0;
}

int CLumvaneView::ChooseHandle(const LRect& box, int vx, int vy) {
    auto dist = [vx, vy](int x, int y) {
        return std::llabs(std::int64_t{vx} - x) + std::llabs(std::int64_t{vy} - y);
    };
    const std::int64_t d[4] = {dist(box.left, box.top), dist(box.right, box.top),
                               dist(box.right, box.bottom), dist(box.left, box.bottom)};
    for (int i = 0; i < 4; ++i)
        if (d[i] < kHandleReach) return i;
    return 4;
}

void CLumvaneView::DragBox(LRect& box, int handle, int ddx, int ddy, int width, int height) {
    constexpr int kMin = kHandleReach;  // the box stays more than 40 pixels on a side
    if (handle == 4) {
        const LRect moved = {box.left + ddx, box.top + ddy, box.right + ddx, box.bottom + ddy};
        if (moved.left >= 0 && moved.top >= 0 && moved.right >= 0 && moved.bottom >= 0 &&
            moved.left < width && moved.right < width && moved.top < height &&
            moved.bottom < height)
            box = moved;
        return;
    }
    // Horizontal edge first, then vertical, each on its own.
    if (handle == 0 || handle == 3) {
        const int v = box.left + ddx;
        if (v < box.right - kMin && v >= 0) box.left = v;
    } else {
        const int v = box.right + ddx;
        if (v > box.left + kMin && v < width) box.right = v;
    }
    if (handle == 0 || handle == 1) {
        const int v = box.top + ddy;
        if (v < box.bottom - kMin && v >= 0) box.top = v;
    } else {
        const int v = box.bottom + ddy;
        if (v > box.top + kMin && v < height) box.bottom = v;
    }
}

QPoint CLumvaneView::ViewPoint(const QMouseEvent* e) {
    RecomputeOffsets();
    return e->position().toPoint() - QPoint(m_nOffsetX, m_nOffsetY);
}

void CLumvaneView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(e);
        return;
    }
    // Qt grabs the pointer for the pressed widget until the release.
    const int p = ReadPressure();
    if (!HasAnimation()) return;
    CLumvaneDoc* doc = GetDoc();
    const QPoint v = ViewPoint(e);
    const int vx = v.x();
    const int vy = v.y();
    if (DocumentLocked()) {
        // Playback runs: the press starts nothing, but later moves start from here.
    } else if (e->modifiers() & Qt::ControlModifier) {
        m_bScrubbing = 1;
        m_nDragStartFrame = doc->m_nCurrentFrame;
    } else if (doc->m_bBoxSelect) {
        m_nSelectHandle = ChooseHandle(doc->m_rcSelect, vx, vy);
    } else {
        const QPoint s = ScrollPosition();
        doc->SaveUndo();
        doc->SetStrokeActive(true);
        doc->CurrentFrame().DrawStamp(doc->ActiveBrush(), vx + s.x(), doc->m_nHeight - vy - s.y(),
                                      doc->m_bEraser, p);
    }
    m_nDragStartX = vx;
    m_ptLast = QPoint(vx, vy);
}

void CLumvaneView::mouseDoubleClickEvent(QMouseEvent* e) {
    // The second press of a double click is an ordinary press.
    mousePressEvent(e);
}

void CLumvaneView::DrawSegment(int vx, int vy, int pressure) {
    CLumvaneDoc* doc = GetDoc();
    const QPoint s = ScrollPosition();
    const int x0 = m_ptLast.x() + s.x();
    const int y0 = m_ptLast.y() + s.y();
    const int x1 = vx + s.x();
    const int y1 = vy + s.y();
    const BrushStamp& stamp = doc->ActiveBrush();
    doc->CurrentFrame().DrawLine(stamp, x0, doc->m_nHeight - y0, x1, doc->m_nHeight - y1,
                                 doc->m_bEraser, pressure);
    const int size = stamp.GetSize();
    const int left = std::min(x0, x1) - size;
    const int right = std::max(x0, x1) + size;
    const int top = std::min(y0, y1) - size;
    const int bottom = std::max(y0, y1) + size;
    RefreshRect(doc->m_nCurrentFrame, left, top, right, bottom);
    RepaintFrameRect(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
}

void CLumvaneView::mouseMoveEvent(QMouseEvent* e) {
    const int p = ReadPressure();
    const QPoint v = ViewPoint(e);
    const int vx = v.x();
    const int vy = v.y();
    if ((e->buttons() & Qt::LeftButton) && HasAnimation() && !DocumentLocked()) {
        CLumvaneDoc* doc = GetDoc();
        if (m_bScrubbing) {
            int step = std::min(ScreenWidth() / doc->m_nFrameCount, kMaxScrubStep);
            if (step <= 0) step = 1;  // a screen narrower than the frame count
            const int frame = std::clamp(m_nDragStartFrame + (vx - m_nDragStartX) / step, 0,
                                         doc->m_nFrameCount - 1);
            if (frame != doc->m_nCurrentFrame) {
                doc->m_nCurrentFrame = frame;
                doc->UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
            }
        } else if (doc->m_bBoxSelect) {
            DragBox(doc->m_rcSelect, m_nSelectHandle, vx - m_ptLast.x(), vy - m_ptLast.y(),
                    doc->m_nWidth, doc->m_nHeight);
            RepaintPane();
        } else {
            DrawSegment(vx, vy, p);
        }
    }
    m_ptLast = QPoint(vx, vy);
}

void CLumvaneView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(e);
        return;
    }
    const int p = ReadPressure();
    if (!HasAnimation()) return;
    CLumvaneDoc* doc = GetDoc();
    const QPoint v = ViewPoint(e);
    // A release always ends a scrub or a box drag, also while playback runs; only the last
    // piece of a stroke waits for the document to be free.
    if (m_bScrubbing) {
        m_bScrubbing = 0;
        RepaintPane();
    } else if (doc->m_bBoxSelect) {
        RepaintPane();
    } else if (!DocumentLocked()) {
        DrawSegment(v.x(), v.y(), p);
    }
    // Whatever the press began (a key may have switched modes meanwhile), no stroke goes on.
    doc->SetStrokeActive(false);
}
