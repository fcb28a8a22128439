#include "app/ProvisionalFrame.h"

#include <QImage>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QStatusBar>

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
    statusBar()->showMessage(IdleText());
}
