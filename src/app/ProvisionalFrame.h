#pragma once

#include <QWidget>

#include "framework/FrameWnd.h"
#include "framework/View.h"

class CLumvaneDoc;

// A plain view of the current frame that draws with the active brush at full pressure; it
// stands in until the real drawing view and shell take over.
class CProvisionalView : public QWidget, public CView {
  public:
    explicit CProvisionalView(CLumvaneDoc* doc, QWidget* parent = nullptr);
    QWidget* GetWidget() override { return this; }
    void OnUpdate(CView* sender, int hint, void* pHint) override;

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

  private:
    QPoint FrameOrigin() const;
    CLumvaneDoc* Doc() const;
    QPoint m_last;
};

class CProvisionalFrame : public CFrameWnd {
  public:
    explicit CProvisionalFrame(CLumvaneDoc* doc);
    void OnUpdateFrameTitle() override;
};
