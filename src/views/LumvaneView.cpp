#include "views/LumvaneView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <QScrollBar>
#include <QTabletEvent>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "document/LumvaneDoc.h"
#include "framework/FrameWnd.h"
#include "framework/Ui.h"
#include "input/TabletInput.h"
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

QColor CLumvaneView::MarginColour(const QWidget* widget) {
    return widget->palette().color(QPalette::Mid);
}

CLumvaneView::CLumvaneView(CLumvaneDoc* doc, QWidget* parent, const CViewContext& context)
    : QAbstractScrollArea(parent),
      m_pRelay(context.relay),
      m_pOwnTablet(context.tablet ? nullptr : std::make_unique<CTabletInput>()),
      m_tablet(context.tablet ? *context.tablet : *m_pOwnTablet) {
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    // Moves with the button up keep m_ptLast current; every pixel is painted by us.
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    static const int keys[] = {ID_FRAME_KEY_MINUS4, ID_FRAME_KEY_MINUS3,  ID_FRAME_KEY_MINUS2,
                               ID_FRAME_KEY_MINUS1, ID_FRAME_KEY_CURRENT, ID_FRAME_KEY_PLUS1,
                               ID_FRAME_KEY_PLUS2,  ID_FRAME_KEY_PLUS3,   ID_FRAME_KEY_PLUS4};
    for (int id : keys) {
        OnCommand(id, [this, id] { ShowRelativeFrame(FrameKeyOffset(id)); });
        OnUpdateCommand(id, [this](CCmdUI* ui) { ui->Enable(HasAnimation()); });
    }
    OnCommand(ID_TOGGLE_ERASER, [this] { OnToggleEraser(); });
    OnCommand(ID_FILE_PRINT, [this] { OnFilePrint(); });
    OnUpdateCommand(ID_FILE_PRINT, [this](CCmdUI* ui) { ui->Enable(HasAnimation()); });
    OnCommand(ID_FILE_PRINT_PREVIEW, [this] { OnFilePrintPreview(); });
    OnUpdateCommand(ID_FILE_PRINT_PREVIEW, [this](CCmdUI* ui) { ui->Enable(HasAnimation()); });

    if (doc) doc->AddView(this);
    m_bTablet = m_tablet.Bind();
}

CLumvaneView::~CLumvaneView() {
    if (m_bContextOpened) m_tablet.CloseContext();
    m_tablet.Release();
}

CLumvaneDoc* CLumvaneView::GetDoc() const {
    return static_cast<CLumvaneDoc*>(GetDocument());
}

bool CLumvaneView::HasAnimation() const {
    const CLumvaneDoc* doc = GetDoc();
    return doc && doc->m_nFrameCount > 0 && doc->m_nWidth > 0 && doc->m_nHeight > 0 &&
           doc->m_nCurrentFrame >= 0 && doc->m_nCurrentFrame < doc->m_nFrameCount;
}

// ---------------------------------------------------------------- display image

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

// ---------------------------------------------------------------- painting

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
    RecomputeOffsets();
    if (!HasAnimation()) {
        painter.fillRect(viewport()->rect(), MarginColour(this));
        return;
    }
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

void CLumvaneView::OnUpdate(CView*, int hint, void*) {
    CLumvaneDoc* doc = GetDoc();
    if (!doc) return;
    if (!doc->m_bViewsReady) {
        UpdateScrollSizes();
        doc->m_bOnionSkin = 0;
        doc->m_nOnionCount = 0;
        m_bScrubbing = 0;
        doc->m_nFps = 25;
        doc->m_bShowEveryFrame = 0;
    }
    if (hint & 1) {
        ComposeFrame(doc->m_nCurrentFrame);
        // Playback paints each frame inside its own loop: the picture must be on screen now.
        RepaintPane();
    }
}

// ---------------------------------------------------------------- printing

void CLumvaneView::OnPrint(QPainter& painter) {
    // Printed from the page's corner when the pane is smaller than the frame, so that nothing
    // of the frame is cut off.
    const int ox = m_nOffsetX;
    const int oy = m_nOffsetY;
    m_nOffsetX = std::max(0, ox);
    m_nOffsetY = std::max(0, oy);
    OnDraw(painter);
    m_nOffsetX = ox;
    m_nOffsetY = oy;
}

void CLumvaneView::OnFilePrint() {
    QPrinter printer(QPrinter::ScreenResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    QPainter painter(&printer);
    OnPrint(painter);
}

void CLumvaneView::OnFilePrintPreview() {
    QPrinter printer(QPrinter::ScreenResolution);
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) {
        QPainter painter(p);
        OnPrint(painter);
    });
    dialog.exec();
}

// ---------------------------------------------------------------- pointer and keys

int CLumvaneView::ScreenWidth() const {
    const QScreen* s = screen();
    return s ? s->geometry().width() : 0;
}

int CLumvaneView::ReadPressure() {
    const int raw = m_bTablet ? m_tablet.ReadTabletPressure(this) : -1;
    return raw < 0 ? 255 : raw;
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

void CLumvaneView::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(e);
        return;
    }
    // Qt grabs the pointer for the pressed widget until the release.
    const int p = ReadPressure();
    if (!HasAnimation()) return;
    CLumvaneDoc* doc = GetDoc();
    RecomputeOffsets();
    const QPoint pos = e->position().toPoint();
    const int vx = pos.x() - m_nOffsetX;
    const int vy = pos.y() - m_nOffsetY;
    if (e->modifiers() & Qt::ControlModifier) {
        m_bScrubbing = 1;
        m_nDragStartFrame = doc->m_nCurrentFrame;
    } else if (doc->m_bBoxSelect) {
        m_nSelectHandle = ChooseHandle(doc->m_rcSelect, vx, vy);
    } else {
        const QPoint s = ScrollPosition();
        doc->SaveUndo();
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
    RecomputeOffsets();
    const QPoint pos = e->position().toPoint();
    const int vx = pos.x() - m_nOffsetX;
    const int vy = pos.y() - m_nOffsetY;
    if ((e->buttons() & Qt::LeftButton) && HasAnimation()) {
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
    RecomputeOffsets();
    const QPoint pos = e->position().toPoint();
    if (m_bScrubbing) {
        m_bScrubbing = 0;
        RepaintPane();
    } else if (doc->m_bBoxSelect) {
        RepaintPane();
    } else {
        DrawSegment(pos.x() - m_nOffsetX, pos.y() - m_nOffsetY, p);
    }
}

void CLumvaneView::tabletEvent(QTabletEvent* e) {
    m_tablet.OnTabletEvent(e);
    // Positions come from the mouse events Qt makes of an ignored tablet event.
    e->ignore();
}

void CLumvaneView::showEvent(QShowEvent* e) {
    QAbstractScrollArea::showEvent(e);
    if (!m_bContextOpened) {
        m_bContextOpened = true;
        m_bTablet = m_tablet.OpenContext(this, m_bTablet);
    }
}

void CLumvaneView::RunCommand(int id) {
    if (auto* f = qobject_cast<CFrameWnd*>(window()); f && f->CommandsBlocked()) return;
    CCmdUI ui(id);
    if (!OnCmdMsg(id, CmdPhase::Update, &ui) || !ui.m_bEnableChanged)
        ui.Enable(OnCmdMsg(id, CmdPhase::Query, nullptr));
    if (ui.m_bEnabled) OnCmdMsg(id, CmdPhase::Execute, nullptr);
}

void CLumvaneView::keyPressEvent(QKeyEvent* e) {
    // Reached only when no window shortcut took the key.
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::NoModifier) {
        if (e->key() >= Qt::Key_1 && e->key() <= Qt::Key_9) {
            static const int ids[9] = {
                ID_FRAME_KEY_MINUS4, ID_FRAME_KEY_MINUS3,  ID_FRAME_KEY_MINUS2,
                ID_FRAME_KEY_MINUS1, ID_FRAME_KEY_CURRENT, ID_FRAME_KEY_PLUS1,
                ID_FRAME_KEY_PLUS2,  ID_FRAME_KEY_PLUS3,   ID_FRAME_KEY_PLUS4};
            RunCommand(ids[e->key() - Qt::Key_1]);
            return;
        }
        if (e->key() == Qt::Key_Space) {
            RunCommand(ID_TOGGLE_ERASER);
            return;
        }
    }
    QAbstractScrollArea::keyPressEvent(e);
}

void CLumvaneView::keyReleaseEvent(QKeyEvent* e) {
    m_returnTimer.start(kReturnTimerMs, this);  // restarts the count when already running
    QAbstractScrollArea::keyReleaseEvent(e);
}

void CLumvaneView::timerEvent(QTimerEvent* e) {
    if (e->timerId() != m_returnTimer.timerId()) {
        QAbstractScrollArea::timerEvent(e);
        return;
    }
    m_returnTimer.stop();
    if (!HasAnimation()) return;
    ComposeFrame(GetDoc()->m_nCurrentFrame);
    RepaintPane();
}

void CLumvaneView::OnToggleEraser() {
    CLumvaneDoc* doc = GetDoc();
    if (!doc) return;
    doc->m_bEraser = 1 - doc->m_bEraser;
    if (m_pRelay) m_pRelay->UpdateBrushBar(doc->ActiveBrushIndex());
}
