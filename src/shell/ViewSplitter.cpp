#include "shell/ViewSplitter.h"

#include <QMouseEvent>

void CViewSplitterHandle::mouseMoveEvent(QMouseEvent* e) {
    const QPoint inSplitter = mapTo(splitter(), e->position().toPoint());
    if (inSplitter.y() <= CViewSplitter::kMaxTrackY) {
        QSplitterHandle::mouseMoveEvent(e);
        return;
    }
    e->ignore();
}

CViewSplitter::CViewSplitter(QWidget* parent) : QSplitter(Qt::Vertical, parent) {
    setObjectName(QStringLiteral("ViewSplitter"));
    setChildrenCollapsible(false);
}

QSplitterHandle* CViewSplitter::createHandle() {
    return new CViewSplitterHandle(orientation(), this);
}

void CViewSplitter::SetPanes(QWidget* timeline, QWidget* drawing) {
    addWidget(timeline);
    addWidget(drawing);
    timeline->setMinimumHeight(kMinTimelineHeight);
    // A larger window gives its extra height to the drawing view.
    setStretchFactor(0, 0);
    setStretchFactor(1, 1);
    const int total = qMax(height(), kIdealTimelineHeight + handleWidth() + 1);
    setSizes({kIdealTimelineHeight, total - kIdealTimelineHeight - handleWidth()});
}
