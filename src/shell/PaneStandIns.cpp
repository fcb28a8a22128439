#include "shell/PaneStandIns.h"

#include <QImage>
#include <QPainter>

#include "document/LumvaneDoc.h"

CStandInPane::CStandInPane(CLumvaneDoc* doc, bool drawing, QWidget* parent)
    : QWidget(parent), m_bDrawing(drawing) {
    doc->AddView(this);
    setFocusPolicy(Qt::StrongFocus);
}

void CStandInPane::OnUpdate(CView*, int, void*) {
    update();
}

void CStandInPane::paintEvent(QPaintEvent*) {
    QPainter p(this);
    auto* d = static_cast<CLumvaneDoc*>(GetDocument());
    p.fillRect(rect(), m_bDrawing ? palette().color(QPalette::Mid) : QColor(200, 200, 200));
    if (!m_bDrawing || !d || d->m_nFrameCount <= 0) return;
    const GrayImage& f = d->m_frames[d->m_nCurrentFrame];
    QImage img(f.GetData(), f.GetWidth(), f.GetHeight(), f.GetWidth(), QImage::Format_Grayscale8);
    p.drawImage(QPoint((width() - f.GetWidth()) / 2, (height() - f.GetHeight()) / 2),
                img.mirrored(false, true));
}
