#pragma once

#include <QWidget>

#include "framework/View.h"

class CLumvaneDoc;

// Panes that hold the places of the timeline and the drawing view until those views exist.
class CStandInPane : public QWidget, public CView {
  public:
    CStandInPane(CLumvaneDoc* doc, bool drawing, QWidget* parent = nullptr);
    QWidget* GetWidget() override { return this; }
    void OnUpdate(CView* sender, int hint, void* pHint) override;
    void ShowRelativeFrame(int) {}

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    bool m_bDrawing;
};
