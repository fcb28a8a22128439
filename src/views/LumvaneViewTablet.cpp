// The view's tablet life: the context opened with its window, the packets Qt delivers as
// tablet events, and one pressure read per pointer event.
#include <QTabletEvent>

#include "input/TabletInput.h"
#include "views/LumvaneView.h"

int CLumvaneView::ReadPressure() {
    const int raw = m_bTablet ? m_tablet.ReadTabletPressure(this) : -1;
    return raw < 0 ? 255 : raw;
}

void CLumvaneView::tabletEvent(QTabletEvent* e) {
    // A pen that was missing or refused at start may be taken now, by the tablet choices.
    if (m_bContextOpened)
        m_bTablet = m_tablet.OnPenEvent(e, this, m_bTablet);
    else
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
