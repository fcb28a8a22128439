#pragma once

#include <QKeySequence>
#include <QList>
#include <QMainWindow>
#include <QTimer>
#include <map>

#include "framework/CmdTarget.h"

class CDocument;
class CView;
class QAction;
class QMenu;

// The main window: command actions bound to ids, routing, update handlers and the status line.
class CFrameWnd : public QMainWindow, public CCmdTarget {
    Q_OBJECT
  public:
    explicit CFrameWnd(QWidget* parent = nullptr);
    ~CFrameWnd() override;

    // Route: active view (then its document), the frame itself, the application.
    bool OnCmdMsg(int id, CmdPhase phase, CCmdUI* pCmdUI) override;
    // Evaluates the update rule first: a disabled command does nothing, whichever way it came.
    // Returns true when the command ran.
    bool ExecuteCommand(int id);
    // Fills ui from the update handlers; without one, enabled exactly when a handler exists.
    void UpdateCmdUI(CCmdUI& ui);

    // An action bound to a command id; its triggers go through ExecuteCommand. prompt is
    // "status text\ntooltip" (either part may be missing).
    QAction* AddCommand(int id, const QString& text, const QList<QKeySequence>& keys = {},
                        const QString& prompt = QString());
    QAction* CommandAction(int id) const;
    const std::map<int, QAction*>& CommandActions() const { return m_actions; }
    // Menus refresh their items' states just before they open.
    void WatchMenu(QMenu* menu);
    // Refreshes enabled and checked states of every command action.
    void UpdateCommandActions();

    void SetActiveView(CView* view);
    CView* GetActiveView() const { return m_pActiveView; }
    CDocument* GetActiveDocument() const;

    void SetMessageText(const QString& text);
    QString GetMessageText() const;
    static QString IdleText() { return QStringLiteral("Ready"); }
    virtual void OnUpdateFrameTitle();

    // While a loop of the program's own runs (playback, export), commands are ignored and a
    // close request is only recorded for the loop to honour.
    void SetCommandsBlocked(bool blocked) { m_bCommandsBlocked = blocked; }
    bool CommandsBlocked() const { return m_bCommandsBlocked; }
    bool CloseRequested() const { return m_bCloseRequested; }
    void ClearCloseRequest() { m_bCloseRequested = false; }

  protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    std::map<int, QAction*> m_actions;
    CView* m_pActiveView = nullptr;
    QTimer m_idleTimer;
    QMetaObject::Connection m_focusConnection;
    bool m_bCommandsBlocked = false;
    bool m_bCloseRequested = false;
};

CFrameWnd* AfxGetMainWnd();
void AfxSetMainWnd(CFrameWnd* frame);
