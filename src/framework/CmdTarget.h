#pragma once

#include <functional>
#include <unordered_map>

// Carries the enabled and checked state of one command while its update handler runs.
class CCmdUI {
  public:
    explicit CCmdUI(int id) : m_nID(id) {}
    void Enable(bool enable = true) {
        m_bEnabled = enable;
        m_bEnableChanged = true;
    }
    void SetCheck(int check = 1) {
        m_nCheck = check;
        m_bCheckChanged = true;
    }
    int m_nID;
    bool m_bEnabled = true;
    bool m_bEnableChanged = false;
    int m_nCheck = 0;
    bool m_bCheckChanged = false;
};

// What a routed command asks of a target.
enum class CmdPhase {
    Execute,  // run the handler
    Update,   // run the update handler on the CCmdUI
    Query     // only tell whether a handler exists
};

// Anything that can receive commands: a table of handlers and update handlers by command id.
class CCmdTarget {
  public:
    using Handler = std::function<void()>;
    using UpdateHandler = std::function<void(CCmdUI*)>;

    virtual ~CCmdTarget() = default;

    // Returns true when this target (or one it routes to) took the command in that phase.
    virtual bool OnCmdMsg(int id, CmdPhase phase, CCmdUI* pCmdUI);

    // Tables are open so that modules built above a target can add its commands.
    void OnCommand(int id, Handler handler) { m_handlers[id] = std::move(handler); }
    void OnUpdateCommand(int id, UpdateHandler handler) { m_updates[id] = std::move(handler); }
    void OnCommandRange(int first, int last, std::function<void(int)> handler);
    bool HasHandler(int id) const { return m_handlers.count(id) != 0; }

  protected:
    // The target's own table only, without routing.
    bool DispatchOwn(int id, CmdPhase phase, CCmdUI* pCmdUI);

  private:
    std::unordered_map<int, Handler> m_handlers;
    std::unordered_map<int, UpdateHandler> m_updates;
};
