// Printing the picture as the pane shows it.
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <algorithm>

#include "views/LumvaneView.h"

void CLumvaneView::OnPrint(QPainter& painter) {
    // Printed at 100 %, whatever the pane's zoom, and from the page's corner when the pane is
    // smaller than the frame, so that nothing of the frame is cut off.
    const int ox = m_nOffsetX;
    const int oy = m_nOffsetY;
    const double zoom = m_dZoom;
    m_dZoom = 1.0;
    RecomputeOffsets();
    m_nOffsetX = std::max(0, m_nOffsetX);
    m_nOffsetY = std::max(0, m_nOffsetY);
    OnDraw(painter);
    m_dZoom = zoom;
    m_nOffsetX = ox;
    m_nOffsetY = oy;
}

QPrinter& CLumvaneView::Printer() {
    if (m_pPrinter) return *m_pPrinter;
    if (!m_pOwnPrinter) m_pOwnPrinter = std::make_unique<QPrinter>(QPrinter::ScreenResolution);
    return *m_pOwnPrinter;
}

void CLumvaneView::OnFilePrint() {
    QPrinter& printer = Printer();
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    QPainter painter(&printer);
    OnPrint(painter);
}

void CLumvaneView::OnFilePrintPreview() {
    QPrinter& printer = Printer();
    QPrintPreviewDialog dialog(&printer, this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) {
        QPainter painter(p);
        OnPrint(painter);
    });
    dialog.exec();
}
