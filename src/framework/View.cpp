#include "framework/View.h"

#include "framework/Document.h"
#include "framework/FrameWnd.h"

CView::~CView() {
    if (CFrameWnd* f = AfxGetMainWnd(); f && f->GetActiveView() == this) f->SetActiveView(nullptr);
    if (m_pDocument) m_pDocument->RemoveView(this);
}

void CView::OnUpdate(CView*, int, void*) {}

bool CView::DocumentLocked() {
    QWidget* widget = GetWidget();
    auto* frame = widget ? qobject_cast<CFrameWnd*>(widget->window()) : nullptr;
    return frame && frame->CommandsBlocked();
}

bool CView::OnCmdMsg(int id, CmdPhase phase, CCmdUI* pCmdUI) {
    if (DispatchOwn(id, phase, pCmdUI)) return true;
    return m_pDocument && m_pDocument->OnCmdMsg(id, phase, pCmdUI);
}
