// Zoom: the frame shown larger (pixels as squares) or smaller (each covered area averaged),
// about the pane's centre or the pointer.
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <thread>
#include <vector>

#include "document/LumvaneDoc.h"
#include "views/LumvaneView.h"

const std::vector<double>& CLumvaneView::ZoomSteps() {
    static const std::vector<double> steps = {0.125, 0.25, 0.33, 0.5, 0.67, 1.0,
                                              1.5,   2.0,  3.0,  4.0, 8.0};
    return steps;
}

QSize CLumvaneView::ZoomedSize() const {
    const CLumvaneDoc* doc = GetDoc();
    const int w = doc ? std::max(doc->m_nWidth, 0) : 0;
    const int h = doc ? std::max(doc->m_nHeight, 0) : 0;
    if (m_dZoom == 1.0) return QSize(w, h);
    auto scaled = [this](int v) {
        return v > 0 ? std::max(1, static_cast<int>(std::lround(v * m_dZoom))) : 0;
    };
    return QSize(scaled(w), scaled(h));
}

void CLumvaneView::SetZoom(double zoom, QPoint anchor) {
    const std::vector<double>& steps = ZoomSteps();
    zoom = std::clamp(zoom, steps.front(), steps.back());
    if (!HasAnimation()) {
        m_dZoom = zoom;
        return;
    }
    if (anchor.x() < 0) anchor = viewport()->rect().center();
    RecomputeOffsets();
    // The frame point under the anchor, in frame pixels (fractions kept).
    const QPoint s = ScrollPosition();
    const double fx = (anchor.x() - m_nOffsetX + s.x()) / m_dZoom;
    const double fy = (anchor.y() - m_nOffsetY + s.y()) / m_dZoom;
    m_dZoom = zoom;
    UpdateScrollSizes();
    horizontalScrollBar()->setValue(
        static_cast<int>(std::lround(fx * m_dZoom - anchor.x() + m_nOffsetX)));
    verticalScrollBar()->setValue(
        static_cast<int>(std::lround(fy * m_dZoom - anchor.y() + m_nOffsetY)));
    const CLumvaneDoc* doc = GetDoc();
    if (m_dZoom < 1.0) RescaleRect(0, 0, doc->m_nWidth, doc->m_nHeight);
    if (m_pRelay) m_pRelay->ShowZoom(m_dZoom * 100.0);
    RepaintPane();
}

void CLumvaneView::OnZoomIn() {
    for (double step : ZoomSteps())
        if (step > m_dZoom * 1.001) return SetZoom(step);
}

void CLumvaneView::OnZoomOut() {
    const std::vector<double>& steps = ZoomSteps();
    for (auto it = steps.rbegin(); it != steps.rend(); ++it)
        if (*it < m_dZoom * 0.999) return SetZoom(*it);
}

void CLumvaneView::OnActualSize() {
    SetZoom(1.0);
}

void CLumvaneView::OnFitInWindow() {
    const CLumvaneDoc* doc = GetDoc();
    if (!HasAnimation()) return;
    // The pane without scroll bars, which a fitting frame does not need.
    const QSize pane = maximumViewportSize();
    SetZoom(std::min(static_cast<double>(pane.width()) / doc->m_nWidth,
                     static_cast<double>(pane.height()) / doc->m_nHeight));
}

void CLumvaneView::wheelEvent(QWheelEvent* e) {
    if (!(e->modifiers() & Qt::ControlModifier) || DocumentLocked()) {
        QAbstractScrollArea::wheelEvent(e);
        return;
    }
    const QPoint at = e->position().toPoint();
    const int dy = e->angleDelta().y();
    if (dy == 0) return;
    const std::vector<double>& steps = ZoomSteps();
    if (dy > 0) {
        for (double step : steps)
            if (step > m_dZoom * 1.001) return SetZoom(step, at);
    } else {
        for (auto it = steps.rbegin(); it != steps.rend(); ++it)
            if (*it < m_dZoom * 0.999) return SetZoom(*it, at);
    }
}

namespace {
// 2^32 / n rounded up: a rounded division of a sum below 2^16 by n is a multiplication.
struct Inverses {
    std::uint64_t v[82];
    constexpr Inverses() : v() {
        for (std::uint64_t n = 1; n < 82; ++n) v[n] = ((std::uint64_t{1} << 32) + n - 1) / n;
    }
    constexpr std::uint64_t operator[](std::uint32_t n) const { return v[n]; }
};
constexpr Inverses kInverse;
}  // namespace

namespace {

// Source columns or rows [first, end) that destination column or row d covers.
std::pair<int, int> CoveredSpan(double zoom, int d, int limit) {
    const int a = std::min(static_cast<int>(d / zoom), limit - 1);
    const int b = std::clamp(static_cast<int>((d + 1) / zoom), a + 1, limit);
    return {a, b};
}

struct ShrinkJob {
    const unsigned char* src;
    qsizetype srcStride;
    int srcHeight;
    unsigned char* dst;
    qsizetype dstStride;
    double zoom;
    int dx0;
    std::vector<std::pair<int, int>> cols;  // spans of destination columns dx0, dx0 + 1, ...

    // Destination rows [dy0, dy1).
    void Rows(int dy0, int dy1) const {
        const int sx0 = cols.front().first;
        const int sx1 = cols.back().second;
        const std::size_t n = static_cast<std::size_t>(sx1 - sx0);
        // The covered rows summed column by column (red and blue two to a word, green on its
        // own; at 12.5 % an area holds at most 9 x 9 pixels, so no 16-bit lane overflows), then
        // running totals along the row, so that each destination pixel is one difference.
        std::vector<std::uint32_t> rb(n), g(n);
        // Running totals: red in the high and blue in the low half of one word, green alone.
        std::vector<std::uint64_t> runRB(n + 1), runG(n + 1);
        for (int dy = dy0; dy < dy1; ++dy) {
            const auto [sy0, sy1] = CoveredSpan(zoom, dy, srcHeight);
            std::fill(rb.begin(), rb.end(), 0u);
            std::fill(g.begin(), g.end(), 0u);
            for (int sy = sy0; sy < sy1; ++sy) {
                const auto* in = reinterpret_cast<const std::uint32_t*>(src + sy * srcStride) + sx0;
                for (std::size_t x = 0; x < n; ++x) {
                    rb[x] += in[x] & 0x00FF00FFu;
                    g[x] += (in[x] >> 8) & 0xFFu;
                }
            }
            for (std::size_t x = 0; x < n; ++x) {
                runRB[x + 1] = runRB[x] + ((std::uint64_t{rb[x] >> 16} << 32) | (rb[x] & 0xFFFFu));
                runG[x + 1] = runG[x] + g[x];
            }
            auto* out = reinterpret_cast<std::uint32_t*>(dst + dy * dstStride) + dx0;
            const std::uint32_t rows = static_cast<std::uint32_t>(sy1 - sy0);
            for (std::size_t k = 0; k < cols.size(); ++k) {
                const auto a = static_cast<std::size_t>(cols[k].first - sx0);
                const auto b = static_cast<std::size_t>(cols[k].second - sx0);
                const std::uint32_t count = rows * static_cast<std::uint32_t>(b - a);
                const std::uint64_t inv = kInverse[count];
                const std::uint32_t half = count / 2;
                auto divide = [inv, half](std::uint64_t v) {
                    return static_cast<std::uint32_t>(((v + half) * inv) >> 32);
                };
                const std::uint64_t sumRB = runRB[b] - runRB[a];
                out[k] = 0xFF000000u | divide(sumRB >> 32) << 16 | divide(runG[b] - runG[a]) << 8 |
                         divide(sumRB & 0xFFFFFFFFu);
            }
        }
    }
};

}  // namespace

void CLumvaneView::ShrinkInto(const QImage& src, QImage& dst, double zoom, int left, int top,
                              int right, int bottom) {
    const int sw = src.width();
    const int sh = src.height();
    const int dw = dst.width();
    const int dh = dst.height();
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
    // The destination pixels whose covered area meets the rectangle.
    const int dx0 = std::clamp(static_cast<int>(std::floor(left * zoom)), 0, dw);
    const int dx1 = std::clamp(static_cast<int>(std::ceil(right * zoom)), 0, dw);
    const int dy0 = std::clamp(static_cast<int>(std::floor(top * zoom)), 0, dh);
    const int dy1 = std::clamp(static_cast<int>(std::ceil(bottom * zoom)), 0, dh);
    if (dx0 >= dx1 || dy0 >= dy1) return;
    ShrinkJob job{
        src.constBits(), src.bytesPerLine(), sh, dst.bits(), dst.bytesPerLine(), zoom, dx0, {}};
    job.cols.resize(static_cast<std::size_t>(dx1 - dx0));
    for (int dx = dx0; dx < dx1; ++dx)
        job.cols[static_cast<std::size_t>(dx - dx0)] = CoveredSpan(zoom, dx, sw);
    // A whole frame is shrunk on two cores: playback does it for every frame while it waits.
    const int rows = dy1 - dy0;
    if (static_cast<long long>(rows) * (dx1 - dx0) < 200000) {
        job.Rows(dy0, dy1);
        return;
    }
    const int middle = dy0 + rows / 2;
    std::thread lower([&job, middle, dy1] { job.Rows(middle, dy1); });
    job.Rows(dy0, middle);
    lower.join();
}

void CLumvaneView::RescaleRect(int left, int top, int right, int bottom) {
    if (m_dZoom >= 1.0 || m_memDC.isNull()) return;
    const QSize size = ZoomedSize();
    if (m_scaledDC.size() != size || m_scaledDC.format() != kDisplayFormat) {
        m_scaledDC = QImage(size, kDisplayFormat);
        if (m_scaledDC.isNull()) return;
        left = top = 0;
        right = m_memDC.width();
        bottom = m_memDC.height();
    }
    ShrinkInto(m_memDC, m_scaledDC, m_dZoom, left, top, right, bottom);
}
