// The drawing view's life and commands: construction with its commands and tablet binding,
// the document's updates, the digit and Space keys, and the return from a peeked frame.
#include "views/LumvaneView.h"

#include <QKeyEvent>
#include <QPrinter>
#include <QTimerEvent>
#include <utility>

#include "document/LumvaneDoc.h"
#include "framework/FrameWnd.h"
#include "input/TabletInput.h"

CLumvaneView::CLumvaneView(CLumvaneDoc* doc, QWidget* parent, const CViewContext& context)
    : QAbstractScrollArea(parent),
      m_pRelay(context.relay),
      m_pPrinter(context.printer),
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
    const std::pair<int, void (CLumvaneView::*)()> zooms[] = {
        {ID_VIEW_ZOOMIN, &CLumvaneView::OnZoomIn},
        {ID_VIEW_ZOOMOUT, &CLumvaneView::OnZoomOut},
        {ID_VIEW_ACTUALSIZE, &CLumvaneView::OnActualSize},
        {ID_VIEW_FITINWINDOW, &CLumvaneView::OnFitInWindow}};
    for (const auto& [id, handler] : zooms) {
        OnCommand(id, [this, handler = handler] { (this->*handler)(); });
        OnUpdateCommand(id, [this](CCmdUI* ui) { ui->Enable(HasAnimation()); });
    }
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

void CLumvaneView::OnUpdate(CView*, int hint, void* pHint) {
    CLumvaneDoc* doc = GetDoc();
    if (!doc) return;
    if (!doc->m_bViewsReady) {
        // Every animation starts at actual size.
        if (m_dZoom != 1.0 && m_pRelay) m_pRelay->ShowZoom(100.0);
        m_dZoom = 1.0;
        UpdateScrollSizes();
        doc->m_bOnionSkin = 0;
        doc->m_nOnionCount = 0;
        m_bScrubbing = 0;
        doc->m_nFps = 25;
        doc->m_bShowEveryFrame = 0;
    }
    if (hint & 1) {
        if (!TakeFrameAhead(pHint)) ComposeFrame(doc->m_nCurrentFrame);
        // Playback paints each frame inside its own loop: the picture must be on screen now.
        RepaintPane();
    }
}

void CLumvaneView::RunCommand(int id) {
    if (DocumentLocked()) return;
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
    // Arrows and page keys that no command took do not scroll the pane: the window's commands
    // own them, and the scroll bars are for the pointer.
    QWidget::keyPressEvent(e);
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
