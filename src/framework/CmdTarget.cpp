#include "framework/CmdTarget.h"

void CCmdTarget::OnCommandRange(int first, int last, std::function<void(int)> handler) {
    for (int id = first; id <= last; ++id) OnCommand(id, [handler, id] { handler(id); });
}

bool CCmdTarget::DispatchOwn(int id, CmdPhase phase, CCmdUI* pCmdUI) {
    switch (phase) {
        case CmdPhase::Execute: {
            auto it = m_handlers.find(id);
            if (it == m_handlers.end()) return false;
            Handler h = it->second;  // the handler may change the table
            h();
            return true;
        }
        case CmdPhase::Update: {
            auto it = m_updates.find(id);
            if (it == m_updates.end()) return false;
            it->second(pCmdUI);
            return true;
        }
        case CmdPhase::Query:
            return m_handlers.count(id) != 0;
    }
    return false;
}

bool CCmdTarget::OnCmdMsg(int id, CmdPhase phase, CCmdUI* pCmdUI) {
    return DispatchOwn(id, phase, pCmdUI);
}
