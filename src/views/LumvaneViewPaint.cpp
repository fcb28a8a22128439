// Painting the pane: the centring offsets, the scroll range, the margins around the frame and
// the picture with the selection outline.
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

#include "document/LumvaneDoc.h"
#include "views/LumvaneView.h"

QColor CLumvaneView::MarginColour(const QWidget* widget) {
    return widget->palette().color(QPalette::Mid);
}

void CLumvaneView::OnSize(int cx, int cy) {
    const CLumvaneDoc* doc = GetDoc();
    const int w = doc ? doc->m_nWidth : 0;
    const int h = doc ? doc->m_nHeight : 0;
    m_nOffsetX = (cx - w) / 2;
    m_nOffsetY = (cy - h) / 2;
}

void CLumvaneView::RecomputeOffsets() {
    OnSize(viewport()->width(), viewport()->height());
}

QPoint CLumvaneView::ScrollPosition() const {
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void CLumvaneView::UpdateScrollSizes() {
    RecomputeOffsets();
    const CLumvaneDoc* doc = GetDoc();
    const int w = doc ? std::max(doc->m_nWidth, 0) : 0;
    const int h = doc ? std::max(doc->m_nHeight, 0) : 0;
    // The range starts at the (negative) offset so that every column and row of a frame larger
    // than the pane can be scrolled into view; a pane at least the frame's size has range 0.
    auto set = [](QScrollBar* bar, int size, int client, int offset) {
        const int lo = std::min(0, offset);
        bar->setRange(lo, lo + std::max(0, size - client));
        bar->setPageStep(std::max(1, size / 10));
        bar->setSingleStep(1);
    };
    set(horizontalScrollBar(), w, viewport()->width(), m_nOffsetX);
    set(verticalScrollBar(), h, viewport()->height(), m_nOffsetY);
    RecomputeOffsets();
}

std::vector<QRect> CLumvaneView::MarginRects() const {
    const CLumvaneDoc* doc = GetDoc();
    const int w = doc ? doc->m_nWidth : 0;
    const int h = doc ? doc->m_nHeight : 0;
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
    painter.drawImage(QPoint(m_nOffsetX, m_nOffsetY), m_memDC);
    if (doc->m_bBoxSelect) {
        const LRect& r = doc->m_rcSelect;
        QPen pen(SelectionColour(), 1, Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.setRenderHint(QPainter::Antialiasing, false);
        const QPoint o(m_nOffsetX, m_nOffsetY);
        const QPoint outline[5] = {QPoint(r.left, r.top) + o, QPoint(r.right, r.top) + o,
                                   QPoint(r.right, r.bottom) + o, QPoint(r.left, r.bottom) + o,
                                   QPoint(r.left, r.top) + o};
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
    const QRect pane =
        frameRect.translated(m_nOffsetX - s.x(), m_nOffsetY - s.y()) & viewport()->rect();
    if (!pane.isEmpty()) viewport()->repaint(pane);
}
