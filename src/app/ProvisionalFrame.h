#pragma once

#include <memory>

#include "framework/FrameWnd.h"
#include "framework/View.h"

class CLumvaneDoc;
class CLumvaneView;
class QMenu;

// A stand-in main window around the drawing view until the real shell takes over.
class CProvisionalFrame : public CFrameWnd {
  public:
    explicit CProvisionalFrame(CLumvaneDoc* doc);
    ~CProvisionalFrame() override;
    void OnUpdateFrameTitle() override;
    CLumvaneView* DrawingView() const { return m_pView; }

  private:
    // Copy, paste, box selection, digit keys, Space and printing: what the drawing view offers.
    void AddDrawingViewCommands(QMenu* edit);

    CLumvaneView* m_pView = nullptr;
    std::unique_ptr<CView> m_pTitleWatcher;
};
