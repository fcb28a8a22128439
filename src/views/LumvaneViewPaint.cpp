// Painting the pane: the centring offsets, the scroll range, the margins around the frame and
// the picture with the selection outline.
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "document/LumvaneDoc.h"
#include "views/LumvaneView.h"

QColor CLumvaneView::MarginColour(const QWidget* widget) {
    return widget->palette().color(QPalette::Mid);
}

void CLumvaneView::OnSize(int cx, int cy) {
    const CLumvaneDoc* doc = GetDoc();
    const QSize shown = doc ? ZoomedSize() : QSize(0, 0);
    m_nOffsetX = (cx - (doc ? shown.width() : 0)) / 2;
    m_nOffsetY = (cy - (doc ? shown.height() : 0)) / 2;
}

void CLumvaneView::RecomputeOffsets() {
    OnSize(viewport()->width(), viewport()->height());
}

QPoint CLumvaneView::ScrollPosition() const {
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void CLumvaneView::UpdateScrollSizes() {
    RecomputeOffsets();
    const QSize shown = ZoomedSize();
    const int w = shown.width();
    const int h = shown.height();
    // The range starts at the (negative) offset so that every column and row of a frame larger
    // than the pane can be scrolled into view; a pane at least the frame's size has range 0.
    auto set = [](QScrollBar* bar, int size, int client, int offset) {
        const int lo = std::min(0, offset);
        bar->setRange(lo, lo + std::max(0, size - client));
        bar->setPageStep(std::max(1, size / 10));
        bar->setSingleStep(1);
    };
    // A frame that fits the pane once the bars are gone needs no bars.
    const QSize room = maximumViewportSize();
    const bool fits = w <= room.width() && h <= room.height();
    set(horizontalScrollBar(), fits ? 0 : w, viewport()->width(), m_nOffsetX);
    set(verticalScrollBar(), fits ? 0 : h, viewport()->height(), m_nOffsetY);
    RecomputeOffsets();
}

std::vector<QRect> CLumvaneView::MarginRects() const {
    const QSize shown = ZoomedSize();
    const int w = shown.width();
    const int h = shown.height();
    const int cr = viewport()->width();
    const int cb = viewport()->height();
    std::vector<QRect> rects;
    auto add = [&rects](int l, int t, int r, int b) {
        if (r > l && b > t) rects.emplace_back(QPoint(l, t), QPoint(r - 1, b - 1));
    };
    add(0, 0, m_nOffsetX, cb);
    add(m_nOffsetX + w, 0, cr, cb);
    add(0, 0, cr, m_nOffsetY);
    add(0, m_nOffsetY + h, cr, cb);
    return rects;
}

void CLumvaneView::OnEraseBkgnd(QPainter& painter) {
    if (!HasAnimation()) {
        RecomputeOffsets();
        painter.fillRect(viewport()->rect(), MarginColour(this));
        return;
    }
    // A frame that fills the pane (both offsets 0) leaves no margin worth a fill.
    if (m_nOffsetX == 0 && m_nOffsetY == 0) return;
    RecomputeOffsets();
    for (const QRect& r : MarginRects()) painter.fillRect(r, MarginColour(this));
}

void CLumvaneView::OnDraw(QPainter& painter) {
    const CLumvaneDoc* doc = GetDoc();
    if (!doc || m_memDC.isNull()) return;
    const QPoint o(m_nOffsetX, m_nOffsetY);
    if (m_dZoom == 1.0) {
        painter.drawImage(o, m_memDC);
    } else if (m_dZoom < 1.0 && m_scaledDC.size() == ZoomedSize()) {
        painter.drawImage(o, m_scaledDC);
    } else {
        // Enlarged without smoothing: each frame pixel is a square.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRect(o, ZoomedSize()), m_memDC);
    }
    if (doc->m_bBoxSelect) {
        const LRect& r = doc->m_rcSelect;
        QPen pen(SelectionColour(), 1, Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.setRenderHint(QPainter::Antialiasing, false);
        const double z = m_dZoom;
        auto at = [o, z](int x, int y) {
            return QPoint(static_cast<int>(std::lround(x * z)),
                          static_cast<int>(std::lround(y * z))) +
                   o;
        };
        const QPoint outline[5] = {at(r.left, r.top), at(r.right, r.top), at(r.right, r.bottom),
                                   at(r.left, r.bottom), at(r.left, r.top)};
        painter.drawPolyline(outline, 5);
    }
}

void CLumvaneView::FirstPaint() {
    CLumvaneDoc* doc = GetDoc();
    if (m_pRelay) {
        m_pRelay->RebuildBrushBar();
        m_pRelay->UpdateBrushBar(doc->ActiveBrushIndex());
    }
    doc->m_bViewsReady = 1;
    viewport()->update();
    // The other views repaint for hint 2; that must not happen inside this paint.
    QTimer::singleShot(0, this, [this] {
        if (CLumvaneDoc* d = GetDoc()) d->UpdateAllViews(nullptr, HINT_VIEWS);
    });
}

void CLumvaneView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    RecomputeOffsets();
    CLumvaneDoc* doc = GetDoc();
    if (HasAnimation() && !doc->m_bViewsReady) FirstPaint();
    OnEraseBkgnd(painter);
    const QPoint s = ScrollPosition();
    painter.translate(-s.x(), -s.y());
    OnDraw(painter);
}

void CLumvaneView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    UpdateScrollSizes();
}

void CLumvaneView::scrollContentsBy(int, int) {
    viewport()->update();
}

void CLumvaneView::RepaintPane() {
    viewport()->repaint();
}

void CLumvaneView::RepaintFrameRect(const QRect& frameRect) {
    RecomputeOffsets();
    const QPoint s = ScrollPosition();
    QRect shown = frameRect;
    if (m_dZoom != 1.0) {
        // Every screen pixel that shows part of a frame pixel in the rectangle.
        const double z = m_dZoom;
        const int l = static_cast<int>(std::floor(frameRect.left() * z));
        const int t = static_cast<int>(std::floor(frameRect.top() * z));
        const int r = static_cast<int>(std::ceil((frameRect.right() + 1) * z));
        const int b = static_cast<int>(std::ceil((frameRect.bottom() + 1) * z));
        shown = QRect(QPoint(l, t), QPoint(r - 1, b - 1));
    }
    const QRect pane =
        shown.translated(m_nOffsetX - s.x(), m_nOffsetY - s.y()) & viewport()->rect();
    if (!pane.isEmpty()) viewport()->repaint(pane);
}
