#include "views/TimeView.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "document/DocCommandIds.h"
#include "document/LumvaneDoc.h"
#include "document/SoundSlice.h"

namespace {
const QColor kBackground(200, 200, 200);
const QColor kLineGray(128, 128, 128);
const QColor kOnionBox(200, 200, 255);
const QColor kMarkLight(240, 240, 255);
const QColor kMarkCentre(30, 30, 255);
const QColor kMarkDark(0, 0, 40);

// Axis-aligned lines are filled as rectangles so that every pixel is exact; a line of the
// given width covers the pixels centred on the line (x - 1 and x for width 2).
void VerticalLine(QPainter& p, int x, int y0, int y1, int width, const QColor& c) {
    p.fillRect(x - width / 2, y0, width, y1 - y0, c);
}
void HorizontalLine(QPainter& p, int x0, int x1, int y, int width, const QColor& c) {
    p.fillRect(x0, y - width / 2, x1 - x0, width, c);
}

constexpr int kNumberHeight = 13;
constexpr int kNumberAverageWidth = 5;

// Thin, 13 pixels high and 5 pixels wide on average, so that three digits fit a cell: the
// face's own proportions are narrowed to that width.
QFont NumberFont() {
    QFont font;
    font.setPixelSize(kNumberHeight);
    font.setWeight(QFont::Thin);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    if (const int avg = QFontMetrics(font).averageCharWidth(); avg > 0)
        font.setStretch(qBound(25, kNumberAverageWidth * 100 / avg, 200));
    return font;
}
}  // namespace

CTimeView::CTimeView(QWidget* parent, const CViewContext& context)
    : QAbstractScrollArea(parent), m_pRelay(context.relay), m_numberFont(NumberFont()) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::ClickFocus);
    // The strip paints every pixel itself, so no background erase can flicker.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    viewport()->setAutoFillBackground(false);

    QScrollBar* bar = horizontalScrollBar();
    bar->setRange(0, 0);
    bar->setSingleStep(1);
    bar->setPageStep(kPageStep);
    connect(bar, &QAbstractSlider::actionTriggered, this, &CTimeView::OnScrollAction);
    connect(bar, &QAbstractSlider::sliderReleased, this,
            [this] { OnHScroll(SB_THUMBPOSITION, horizontalScrollBar()->sliderPosition()); });

    for (int id : {ID_FRAME_KEY_MINUS4, ID_FRAME_KEY_MINUS3, ID_FRAME_KEY_MINUS2,
                   ID_FRAME_KEY_MINUS1, ID_FRAME_KEY_CURRENT, ID_FRAME_KEY_PLUS1,
                   ID_FRAME_KEY_PLUS2, ID_FRAME_KEY_PLUS3, ID_FRAME_KEY_PLUS4}) {
        OnCommand(id, [this, id] {
            if (m_pRelay) m_pRelay->RelayFrameKey(FrameKeyOffset(id));
        });
    }
}

CTimeView::~CTimeView() = default;

CLumvaneDoc* CTimeView::GetLumvaneDoc() const {
    return static_cast<CLumvaneDoc*>(GetDocument());
}

QSize CTimeView::sizeHint() const {
    return QSize(100, 50);
}

QSize CTimeView::minimumSizeHint() const {
    return QSize(0, horizontalScrollBar()->sizeHint().height());
}

int CTimeView::FrameCount() const {
    const CLumvaneDoc* doc = GetLumvaneDoc();
    return doc ? doc->m_nFrameCount : 0;
}

void CTimeView::OnUpdate(CView*, int hint, void*) {
    if (!(hint & HINT_VIEWS)) return;
    m_nVisibleCells = viewport()->width() / kCellWidth;
    m_nMaxFirstFrame = std::max(0, FrameCount() - m_nVisibleCells);
    // A range of 0 .. 0 would hide the bar; the clamp bound stays 0.
    horizontalScrollBar()->setRange(0, std::max(1, m_nMaxFirstFrame));
    if (m_pRelay && GetLumvaneDoc()) m_pRelay->ShowFrameNumber(GetLumvaneDoc()->m_nCurrentFrame);
    viewport()->update();
}

void CTimeView::OnSize(int cx, int) {
    m_nVisibleCells = cx / kCellWidth;
    m_nMaxFirstFrame = std::max(1, FrameCount() - m_nVisibleCells);
    horizontalScrollBar()->setRange(0, m_nMaxFirstFrame);
}

void CTimeView::OnHScroll(int code, int pos) {
    const int maxFirst = std::max(0, m_nMaxFirstFrame);
    int first = m_nFirstFrame;
    bool moved = true;
    switch (code) {
        // Each bound on its own: a first frame beyond the limit (frames were deleted) steps left
        // from where it is, and only a step right or the thumb brings it back into range.
        case SB_LINELEFT:
            first = std::max(first - 1, 0);
            break;
        case SB_LINERIGHT:
            first = std::min(first + 1, maxFirst);
            break;
        case SB_PAGELEFT:
            first = std::max(first - kPageStep, 0);
            break;
        case SB_PAGERIGHT:
            first = std::min(first + kPageStep, maxFirst);
            break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK:
            first = std::clamp(pos, 0, maxFirst);
            break;
        default:
            moved = false;
            break;
    }
    if (moved) {
        m_nFirstFrame = first;
        viewport()->update();
    }
    QScrollBar* bar = horizontalScrollBar();
    bar->setSliderPosition(m_nFirstFrame);
    bar->setValue(m_nFirstFrame);
}

void CTimeView::OnScrollAction(int action) {
    QScrollBar* bar = horizontalScrollBar();
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            OnHScroll(SB_LINELEFT, 0);
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            OnHScroll(SB_LINERIGHT, 0);
            break;
        case QAbstractSlider::SliderPageStepSub:
            OnHScroll(SB_PAGELEFT, 0);
            break;
        case QAbstractSlider::SliderPageStepAdd:
            OnHScroll(SB_PAGERIGHT, 0);
            break;
        case QAbstractSlider::SliderMove:
            OnHScroll(SB_THUMBTRACK, bar->sliderPosition());
            break;
        case QAbstractSlider::SliderToMinimum:
            OnHScroll(SB_LEFT, 0);
            break;
        case QAbstractSlider::SliderToMaximum:
            OnHScroll(SB_RIGHT, 0);
            break;
        default:
            OnHScroll(SB_ENDSCROLL, 0);
            break;
    }
}

void CTimeView::OnMouseMove(Qt::MouseButtons buttons, QPoint point) {
    if (!(buttons & Qt::LeftButton)) return;
    // Qt keeps sending moves after the pointer leaves a pressed widget; the strip only
    // scrubs over itself.
    if (!viewport()->rect().contains(point)) return;
    // While playback or export runs the strip shows, but selects nothing.
    if (DocumentLocked()) return;
    CLumvaneDoc* doc = GetLumvaneDoc();
    // Without frames there is nothing to select, and -1 must never become the current frame.
    if (!doc || doc->m_nFrameCount <= 0) return;
    int frame = m_nFirstFrame + point.x() / kCellWidth;
    if (frame < 0) frame = 0;
    if (frame >= doc->m_nFrameCount) frame = doc->m_nFrameCount - 1;
    doc->m_nCurrentFrame = frame;
    doc->PlaySoundFrames(frame, 1);
    viewport()->repaint();
    if (m_pRelay) m_pRelay->ShowFrameNumber(doc->m_nCurrentFrame);
    doc->UpdateAllViews(nullptr, HINT_FRAME_CONTENT, nullptr);
}

std::vector<QPoint> CTimeView::WaveformPoints(int width, int height) const {
    std::vector<QPoint> points;
    const CLumvaneDoc* doc = GetLumvaneDoc();
    // A strip of zero width would be divided by.
    if (!doc || !doc->m_bSoundLoaded || width <= 0 || doc->m_nFps <= 0) return points;
    if (doc->m_pDecodedSound) return DecodedWaveformPoints(*doc->m_pDecodedSound, width, height);
    if (!doc->m_pSoundData) return points;
    const std::int64_t rate = doc->GetSoundSampleRate();
    if (rate <= 0) return points;
    const std::int64_t start = SoundBytesOfFrames(m_nFirstFrame, rate, doc->m_nFps);
    std::int64_t end = SoundBytesOfFrames(
        static_cast<std::int64_t>(m_nFirstFrame) + m_nVisibleCells, rate, doc->m_nFps);
    const std::int64_t span = end - start;
    if (span <= 0 || start < 0) return points;
    const std::int64_t step = std::max<std::int64_t>(1, span / width) + 1;
    if (start >= doc->m_nSoundBytes) return points;
    end = std::min<std::int64_t>(end, doc->m_nSoundBytes);
    const unsigned char* samples = doc->m_pSoundData.get();
    const std::int64_t band = static_cast<std::int64_t>(height) - kBandHeight;
    points.reserve(static_cast<std::size_t>((end - start) / step + 1));
    for (std::int64_t pos = start; pos < end; pos += step) {
        const std::int64_t x = (pos - start) * width / span;
        const std::int64_t y = kBandHeight + samples[pos] * band / 256;
        points.emplace_back(static_cast<int>(x), static_cast<int>(y));
    }
    return points;
}

std::vector<QPoint> CTimeView::DecodedWaveformPoints(const DecodedSound& track, int width,
                                                     int height) const {
    std::vector<QPoint> points;
    const CLumvaneDoc* doc = GetLumvaneDoc();
    const std::int64_t rate = track.rate;
    if (rate <= 0 || track.channels <= 0) return points;
    const std::int64_t start = SoundBytesOfFrames(m_nFirstFrame, rate, doc->m_nFps);
    std::int64_t end = SoundBytesOfFrames(
        static_cast<std::int64_t>(m_nFirstFrame) + m_nVisibleCells, rate, doc->m_nFps);
    const std::int64_t span = end - start;
    const std::int64_t frames = track.Frames();
    if (span <= 0 || start < 0 || start >= frames) return points;
    end = std::min(end, frames);
    const std::int64_t band = static_cast<std::int64_t>(height) - kBandHeight;
    const std::int16_t* samples = track.samples.data();
    const int channels = track.channels;
    // One point per pixel column: the sample of all channels farthest from silence.
    for (std::int64_t x = 0; x < width; ++x) {
        const std::int64_t from = start + x * span / width;
        if (from >= end) break;
        const std::int64_t to = std::min(end, std::max(from + 1, start + (x + 1) * span / width));
        int peak = 0;
        for (std::int64_t i = from * channels; i < to * channels; ++i) {
            const int v = samples[i];
            if (std::abs(v) > std::abs(peak)) peak = v;
        }
        const std::int64_t y = kBandHeight + ((peak + 32768) >> 8) * band / 256;
        points.emplace_back(static_cast<int>(x), static_cast<int>(y));
    }
    return points;
}

void CTimeView::OnDraw(QImage& image) const {
    if (image.isNull()) return;
    const int W = image.width();
    const int H = image.height();
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);

    p.fillRect(0, 0, W, H, kBackground);
    HorizontalLine(p, 0, W, kBandHeight, 2, kLineGray);

    const CLumvaneDoc* doc = GetLumvaneDoc();
    const int frameCount = doc ? doc->m_nFrameCount : 0;
    const int n = std::min(frameCount - m_nFirstFrame, m_nVisibleCells);

    p.setFont(m_numberFont);
    const QFontMetrics metrics(m_numberFont);
    p.setPen(Qt::black);

    for (int i = 0; i < n; ++i) {
        const int f = m_nFirstFrame + i;
        const int x = kCellWidth * i + 1;
        if (doc && doc->m_bOnionSkin) {
            const int count = std::clamp(doc->m_nOnionCount, 0, CLumvaneDoc::kMaxOnionFrames);
            if (std::find(doc->m_onionFrames, doc->m_onionFrames + count, f) !=
                doc->m_onionFrames + count)
                p.fillRect(x, 1, 18, 18, kOnionBox);
        }
        const QString text = QString::number(f + 1);
        // Opaque text: the text's band keeps the strip's gray even inside an onion box.
        p.fillRect(x, 0, metrics.horizontalAdvance(text), kNumberHeight, kBackground);
        p.drawText(x, metrics.ascent(), text);
        VerticalLine(p, x - 1, 0, H, 1, kLineGray);
    }
    VerticalLine(p, kCellWidth * std::max(n, 0), 0, H, 2, kLineGray);

    if (doc) {
        const std::int64_t c64 =
            static_cast<std::int64_t>(kCellWidth) * (doc->m_nCurrentFrame - m_nFirstFrame) + 10;
        // Far outside the strip the mark is not visible; keep the coordinates in range.
        if (c64 > -kCellWidth && c64 < static_cast<std::int64_t>(W) + kCellWidth) {
            const int c = static_cast<int>(c64);
            VerticalLine(p, c - 1, 0, H, 1, kMarkLight);
            HorizontalLine(p, c - 10, c + 10, 18, 1, kMarkLight);
            VerticalLine(p, c, 0, H, 1, kMarkCentre);
            VerticalLine(p, c + 1, 0, H, 1, kMarkDark);
            HorizontalLine(p, c - 10, c + 10, 21, 1, kMarkDark);
        }
    }

    const std::vector<QPoint> wave = WaveformPoints(W, H);
    if (wave.size() >= 2) {
        QPen pen(kMarkDark, 1);
        pen.setCosmetic(true);
        pen.setCapStyle(Qt::FlatCap);
        p.setPen(pen);
        p.drawPolyline(wave.data(), static_cast<int>(wave.size()));
    }
}

void CTimeView::paintEvent(QPaintEvent*) {
    // Drawn off-screen and copied in one go, so scrubbing does not flicker.
    QImage image(viewport()->size(), QImage::Format_RGB32);
    if (image.isNull()) return;
    OnDraw(image);
    QPainter p(viewport());
    p.drawImage(0, 0, image);
}

void CTimeView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    OnSize(viewport()->width(), viewport()->height());
}

void CTimeView::mousePressEvent(QMouseEvent* event) {
    // A click alone selects nothing; accepting it keeps the following moves coming here.
    event->accept();
}

void CTimeView::mouseMoveEvent(QMouseEvent* event) {
    OnMouseMove(event->buttons(), event->position().toPoint());
    QAbstractScrollArea::mouseMoveEvent(event);
}

void CTimeView::keyPressEvent(QKeyEvent* event) {
    // The strip is scrolled with its bar only; keys belong to the window's commands.
    QWidget::keyPressEvent(event);
}

void CTimeView::scrollContentsBy(int, int) {
    // OnHScroll repaints; the viewport's pixels are never shifted.
}
