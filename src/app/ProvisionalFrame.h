#pragma once

#include "framework/FrameWnd.h"

class CLumvaneDoc;
class CLumvaneView;

// A stand-in main window around the drawing view until the real shell takes over.
class CProvisionalFrame : public CFrameWnd {
  public:
    explicit CProvisionalFrame(CLumvaneDoc* doc);
    void OnUpdateFrameTitle() override;
    CLumvaneView* DrawingView() const { return m_pView; }

  private:
    // Edit menu, digit keys, Space and printing: what the drawing view offers the user.
    void AddDrawingViewCommands();

    CLumvaneView* m_pView = nullptr;
};
