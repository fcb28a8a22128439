// Pointer input: strokes, scrubbing through the frames with Ctrl, and dragging the selection
// box or one of its corners.
#include <QMouseEvent>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "document/LumvaneDoc.h"
#include "views/LumvaneView.h"
#include "views/SelectionBox.h"

int CLumvaneView::ScreenWidth() const {
    const QScreen* s = screen();
    return s ? s->geometry().width() : 0;
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
    m_bPressRefused = false;
    if (DocumentLocked()) {
        // Playback runs: the press starts nothing, and the drag it begins draws nothing.
        m_bPressRefused = true;
    } else if (e->modifiers() & Qt::ControlModifier) {
        m_bScrubbing = 1;
        m_nDragStartFrame = doc->m_nCurrentFrame;
    } else if (doc->m_bBoxSelect) {
        const QPoint b = BoxPoint(vx, vy);
        m_nSelectHandle = selection_box::ChooseHandle(doc->m_rcSelect, b.x(), b.y());
    } else if (doc->BeginStroke()) {
        const QPoint f = FramePoint(vx, vy);
        doc->StrokeDab(f.x(), f.y(), p);
    }
    m_nDragStartX = vx;
    m_ptLast = QPoint(vx, vy);
}

void CLumvaneView::mouseDoubleClickEvent(QMouseEvent* e) {
    // The second press of a double click is an ordinary press.
    mousePressEvent(e);
}

QPoint CLumvaneView::FramePoint(int vx, int vy) const {
    const QPoint s = ScrollPosition();
    return BoxPoint(vx + s.x(), vy + s.y());
}

QPoint CLumvaneView::BoxPoint(int vx, int vy) const {
    if (m_dZoom == 1.0) return QPoint(vx, vy);
    return QPoint(static_cast<int>(std::floor(vx / m_dZoom)),
                  static_cast<int>(std::floor(vy / m_dZoom)));
}

void CLumvaneView::DrawSegment(int vx, int vy, int pressure) {
    CLumvaneDoc* doc = GetDoc();
    // Whatever way the button came down (a press here, or a drag entering from elsewhere), a
    // stroke starts as a press starts it.
    if (!doc->StrokeActive() && !doc->BeginStroke()) return;
    const QPoint a = FramePoint(m_ptLast.x(), m_ptLast.y());
    const QPoint b = FramePoint(vx, vy);
    doc->StrokeLine(a.x(), a.y(), b.x(), b.y(), pressure);
}

void CLumvaneView::OnFrameRectChanged(int index, const LRect& r) {
    CLumvaneDoc* doc = GetDoc();
    if (!HasAnimation() || index != doc->m_nCurrentFrame) return;
    RefreshRect(index, r.left, r.top, r.right, r.bottom);
    RepaintFrameRect(QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1)));
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
            // In frame pixels: zoomed in, a step of the pointer may move the box by none.
            const QPoint now = BoxPoint(vx, vy);
            const QPoint last = BoxPoint(m_ptLast.x(), m_ptLast.y());
            selection_box::DragBox(doc->m_rcSelect, m_nSelectHandle, now.x() - last.x(),
                                   now.y() - last.y(), doc->m_nWidth, doc->m_nHeight);
            RepaintPane();
        } else if (!m_bPressRefused) {
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
    } else if (!DocumentLocked() && !m_bPressRefused) {
        DrawSegment(v.x(), v.y(), p);
    }
    // Whatever the press began (a key may have switched modes meanwhile), no stroke goes on.
    doc->EndStroke();
    m_bPressRefused = false;
}
