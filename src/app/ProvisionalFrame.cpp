#include "app/ProvisionalFrame.h"

#include <QImage>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusBar>
#include <vector>

#include "document/LumvaneDoc.h"

CProvisionalView::CProvisionalView(CLumvaneDoc* doc, QWidget* parent) : QWidget(parent) {
    doc->AddView(this);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(false);
}

CLumvaneDoc* CProvisionalView::Doc() const {
    return static_cast<CLumvaneDoc*>(GetDocument());
}

void CProvisionalView::OnUpdate(CView*, int, void*) {
    if (CFrameWnd* f = AfxGetMainWnd()) f->OnUpdateFrameTitle();
    update();
}

QPoint CProvisionalView::FrameOrigin() const {
    const CLumvaneDoc* d = Doc();
    return QPoint((width() - d->m_nWidth) / 2, (height() - d->m_nHeight) / 2);
}

void CProvisionalView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Mid));
    CLumvaneDoc* d = Doc();
    if (!d || d->m_nFrameCount <= 0) return;
    const GrayImage& f = d->CurrentFrame();
    QImage img(f.GetData(), f.GetWidth(), f.GetHeight(), f.GetWidth(), QImage::Format_Grayscale8);
    // Frames are stored bottom row first.
    p.drawImage(FrameOrigin(), img.mirrored(false, true));
}

void CProvisionalView::mousePressEvent(QMouseEvent* e) {
    CLumvaneDoc* d = Doc();
    if (e->button() != Qt::LeftButton || !d || d->m_nFrameCount <= 0) return;
    m_last = e->position().toPoint() - FrameOrigin();
    d->SaveUndo();
    d->CurrentFrame().DrawStamp(d->ActiveBrush(), m_last.x(), d->m_nHeight - m_last.y(),
                                d->m_bEraser, 255);
    update();
}

void CProvisionalView::mouseMoveEvent(QMouseEvent* e) {
    CLumvaneDoc* d = Doc();
    if (!(e->buttons() & Qt::LeftButton) || !d || d->m_nFrameCount <= 0) return;
    const QPoint p = e->position().toPoint() - FrameOrigin();
    d->CurrentFrame().DrawLine(d->ActiveBrush(), m_last.x(), d->m_nHeight - m_last.y(), p.x(),
                               d->m_nHeight - p.y(), d->m_bEraser, 255);
    m_last = p;
    update();
}

void CProvisionalView::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) mouseMoveEvent(e);
}

CProvisionalFrame::CProvisionalFrame(CLumvaneDoc* doc) {
    auto* view = new CProvisionalView(doc, this);
    setCentralWidget(view);
    SetActiveView(view);

    struct Item {
        int id;  // 0: separator
        const char* text;
        QList<QKeySequence> keys;
        const char* prompt;
    };
    auto addMenu = [this](const char* title, const std::vector<Item>& items) {
        QMenu* menu = menuBar()->addMenu(QString::fromLatin1(title));
        WatchMenu(menu);
        for (const Item& it : items) {
            if (it.id == 0) {
                menu->addSeparator();
                continue;
            }
            menu->addAction(AddCommand(it.id, QString::fromLatin1(it.text), it.keys,
                                       it.prompt ? QString::fromLatin1(it.prompt) : QString()));
        }
    };
    addMenu("&File",
            {
                {ID_FILE_NEW, "&New", {QKeySequence(Qt::CTRL | Qt::Key_N)}, "New Drawing\nNew"},
                {ID_FILE_OPEN,
                 "&Open...",
                 {QKeySequence(Qt::CTRL | Qt::Key_O)},
                 "Opens an existing animation\nOpen"},
                {ID_FILE_SAVE,
                 "&Save",
                 {QKeySequence(Qt::CTRL | Qt::Key_S)},
                 "Save the active document\nSave"},
                {ID_FILE_SAVE_AS,
                 "Save &As...",
                 {},
                 "Save the active document with a new name\nSave As"},
                {ID_FILE_REVERTTOSAVED,
                 "&Revert To Saved",
                 {},
                 "Reload the current document, discards last changes"},
                {0, nullptr, {}, nullptr},
                {ID_APP_EXIT, "E&xit", {}, "Quit the application; prompts to save documents\nExit"},
            });
    addMenu("&Edit",
            {
                {ID_EDIT_UNDO,
                 "&Undo",
                 {QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::ALT | Qt::Key_Backspace)},
                 "Undo the last action\nUndo"},
                {ID_EDIT_CLEARFRAME,
                 "&Clear Frame",
                 {QKeySequence(Qt::Key_Backspace)},
                 "Clears the current frame\nClear Frame"},
            });
    addMenu("F&rames", {
                           {ID_FRAMES_FIRSTFRAME,
                            "&First Frame",
                            {QKeySequence(Qt::Key_Home)},
                            "Advance to the first frame\nFirst Frame"},
                           {ID_FRAMES_PREVFRAME,
                            "&Previous Frame",
                            {QKeySequence(Qt::Key_Left)},
                            "Go to the Previous Frame in animation\nPrevious Frame"},
                           {ID_FRAMES_NEXTFRAME,
                            "&Next Frame",
                            {QKeySequence(Qt::Key_Right)},
                            "Advances to next frame of animation\nNext Frame"},
                           {ID_FRAMES_LASTFRAME,
                            "&Last Frame",
                            {QKeySequence(Qt::Key_End)},
                            "Advances to the last frame\nLast Frame"},
                           {0, nullptr, {}, nullptr},
                           {ID_FRAMES_ADDFRAME,
                            "&Add Frame",
                            {QKeySequence(Qt::Key_A)},
                            "Add a frame at current frame\nAdd Frame"},
                           {ID_FRAMES_DELETEFRAME,
                            "&Delete Frame",
                            {QKeySequence(Qt::Key_Delete)},
                            "Delete Current Frame\nDelete Frame"},
                       });
    addMenu("&View", {
                         {ID_VIEW_ONIONSKIN,
                          "&Onion Skin",
                          {QKeySequence(Qt::Key_O)},
                          "Toggles Onion Skin of Selected Frames\nToggles Onion Skin"},
                     });
    statusBar()->showMessage(IdleText());
}

void CProvisionalFrame::OnUpdateFrameTitle() {
    CFrameWnd::OnUpdateFrameTitle();
    // The frame number, until the timeline shows it.
    if (auto* d = static_cast<CLumvaneDoc*>(GetActiveDocument()); d && d->m_nFrameCount > 0)
        setWindowTitle(
            windowTitle() +
            QStringLiteral(" [frame %1 of %2]").arg(d->m_nCurrentFrame + 1).arg(d->m_nFrameCount));
}
