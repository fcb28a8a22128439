#pragma once

#include <QSplitter>
#include <QSplitterHandle>

// The handle between the timeline and the drawing view: it follows the pointer only while the
// pointer is at most kMaxTrackY pixels from the splitter's top, so the timeline row cannot be
// dragged taller than about that.
class CViewSplitterHandle : public QSplitterHandle {
    Q_OBJECT
  public:
    CViewSplitterHandle(Qt::Orientation o, QSplitter* parent) : QSplitterHandle(o, parent) {}

  protected:
    void mouseMoveEvent(QMouseEvent* e) override;
};

// Two rows: the timeline (row 0) above the drawing view (row 1).
class CViewSplitter : public QSplitter {
    Q_OBJECT
  public:
    static constexpr int kMaxTrackY = 100;
    static constexpr int kIdealTimelineHeight = 75;
    static constexpr int kMinTimelineHeight = 25;

    explicit CViewSplitter(QWidget* parent = nullptr);
    // Puts the two panes in place with the timeline row at its ideal height.
    void SetPanes(QWidget* timeline, QWidget* drawing);
    QWidget* GetPane(int row) const { return widget(row); }

  protected:
    QSplitterHandle* createHandle() override;
};
