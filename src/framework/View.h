#pragma once

#include "framework/CmdTarget.h"

class CDocument;
class QWidget;

// A view of a document: receives its updates and routes commands to it.
class CView : public CCmdTarget {
  public:
    ~CView() override;
    CDocument* GetDocument() const { return m_pDocument; }
    virtual void OnUpdate(CView* sender, int hint, void* pHint);
    virtual void OnInitialUpdate() { OnUpdate(nullptr, 0, nullptr); }
    virtual QWidget* GetWidget() = 0;
    // Own table first, then the document's.
    bool OnCmdMsg(int id, CmdPhase phase, CCmdUI* pCmdUI) override;
    // Whether a loop of the program's own (playback, export) runs in the view's window: its
    // commands are blocked, and the view's own input changes nothing in the document either.
    bool DocumentLocked();

    CDocument* m_pDocument = nullptr;  // set by CDocument::AddView
};
