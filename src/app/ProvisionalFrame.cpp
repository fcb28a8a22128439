#include "app/ProvisionalFrame.h"

#include <QImage>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusBar>

#include "document/LumvaneDoc.h"

// ---- playback and sound-track menus (stand-in until the shell's menus) ----
static void AddPlaybackMenus(CFrameWnd* frame, QMenuBar* bar) {
    QMenu* frames = bar->addMenu(QStringLiteral("&Frames"));
    frame->WatchMenu(frames);
    frames->addAction(frame->AddCommand(ID_FRAMES_PLAY, QStringLiteral("&Play"),
                                        {QKeySequence(Qt::Key_P)},
                                        QStringLiteral("Plays the animation\nPlay")));
    frames->addSeparator();
    frames->addAction(
        frame->AddCommand(ID_FRAMES_SETTINGS, QStringLiteral("&Settings"), {},
                          QStringLiteral("Adjust Frame Rate Settings\nFrame Settings")));
    QMenu* audio = bar->addMenu(QStringLiteral("&Audio"));
    frame->WatchMenu(audio);
    audio->addAction(
        frame->AddCommand(ID_AUDIO_LOAD, QStringLiteral("&Load"), {QKeySequence(Qt::Key_L)},
                          QStringLiteral("Loads an audio file to be played with animation")));
    audio->addSeparator();
    audio->addAction(frame->AddCommand(ID_AUDIO_SOUND, QStringLiteral("&Sound"),
                                       {QKeySequence(Qt::Key_S)},
                                       QStringLiteral("Disables/Enables Sound\nSound ON/OFF")));
}
// ---- end of playback menus ----

CProvisionalView::CProvisionalView(CLumvaneDoc* doc, QWidget* parent) : QWidget(parent) {
    doc->AddView(this);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(false);
}

CLumvaneDoc* CProvisionalView::Doc() const {
    return static_cast<CLumvaneDoc*>(GetDocument());
}

void CProvisionalView::OnUpdate(CView*, int, void*) {
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
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    WatchMenu(file);
    file->addAction(AddCommand(ID_APP_EXIT, QStringLiteral("E&xit")));
    AddPlaybackMenus(this, menuBar());
    statusBar()->showMessage(IdleText());
}
