#include "framework/FrameWnd.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QStatusBar>
#include <QStatusTipEvent>

#include "framework/Document.h"
#include "framework/View.h"
#include "framework/WinApp.h"

namespace {
CFrameWnd* g_mainWnd = nullptr;
}

CFrameWnd* AfxGetMainWnd() {
    return g_mainWnd;
}
void AfxSetMainWnd(CFrameWnd* frame) {
    g_mainWnd = frame;
}

CFrameWnd::CFrameWnd(QWidget* parent) : QMainWindow(parent) {
    // Toolbar buttons follow their update rules while the program is idle.
    m_idleTimer.setInterval(100);
    connect(&m_idleTimer, &QTimer::timeout, this, [this] {
        if (isVisible() && !m_bCommandsBlocked) UpdateCommandActions();
    });
    m_idleTimer.start();
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        m_focusConnection =
            connect(app, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
                CDocument* doc = GetActiveDocument();
                if (!doc || !now) return;
                for (CView* v : doc->GetViews()) {
                    QWidget* w = v->GetWidget();
                    if (w && (w == now || w->isAncestorOf(now))) {
                        m_pActiveView = v;
                        return;
                    }
                }
            });
    }
}

CFrameWnd::~CFrameWnd() {
    // Destroying the child widgets moves the focus; this part of the object is gone by then.
    disconnect(m_focusConnection);
    m_idleTimer.stop();
    if (g_mainWnd == this) g_mainWnd = nullptr;
}

bool CFrameWnd::OnCmdMsg(int id, CmdPhase phase, CCmdUI* pCmdUI) {
    if (m_pActiveView && m_pActiveView->OnCmdMsg(id, phase, pCmdUI)) return true;
    if (DispatchOwn(id, phase, pCmdUI)) return true;
    CWinApp* app = AfxGetApp();
    return app && app->OnCmdMsg(id, phase, pCmdUI);
}

void CFrameWnd::UpdateCmdUI(CCmdUI& ui) {
    if (!OnCmdMsg(ui.m_nID, CmdPhase::Update, &ui) || !ui.m_bEnableChanged)
        ui.Enable(OnCmdMsg(ui.m_nID, CmdPhase::Query, nullptr));
}

bool CFrameWnd::ExecuteCommand(int id) {
    if (m_bCommandsBlocked) return false;
    CCmdUI ui(id);
    UpdateCmdUI(ui);
    if (!ui.m_bEnabled) return false;
    const bool ran = OnCmdMsg(id, CmdPhase::Execute, nullptr);
    if (AfxGetMainWnd() == this) UpdateCommandActions();
    return ran;
}

QAction* CFrameWnd::AddCommand(int id, const QString& text, const QList<QKeySequence>& keys,
                               const QString& prompt) {
    QAction* a = CommandAction(id);
    if (!a) {
        a = new QAction(text, this);
        addAction(a);  // keys work without a menu too
        connect(a, &QAction::triggered, this, [this, id] { ExecuteCommand(id); });
        m_actions[id] = a;
    }
    a->setText(text);
    a->setShortcuts(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    if (!prompt.isNull()) {
        const int nl = prompt.indexOf('\n');
        a->setStatusTip(nl < 0 ? prompt : prompt.left(nl));
        if (nl >= 0) a->setToolTip(prompt.mid(nl + 1));
    }
    return a;
}

QAction* CFrameWnd::CommandAction(int id) const {
    auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CFrameWnd::WatchMenu(QMenu* menu) {
    connect(menu, &QMenu::aboutToShow, this, [this] { UpdateCommandActions(); });
}

void CFrameWnd::UpdateCommandActions() {
    for (auto& [id, action] : m_actions) {
        CCmdUI ui(id);
        UpdateCmdUI(ui);
        action->setEnabled(ui.m_bEnabled);
        if (ui.m_bCheckChanged) {
            action->setCheckable(true);
            action->setChecked(ui.m_nCheck != 0);
        }
    }
}

void CFrameWnd::SetActiveView(CView* view) {
    m_pActiveView = view;
    if (view && view->GetWidget()) view->GetWidget()->setFocus();
}

CDocument* CFrameWnd::GetActiveDocument() const {
    if (m_pActiveView && m_pActiveView->GetDocument()) return m_pActiveView->GetDocument();
    CWinApp* app = AfxGetApp();
    return app ? app->GetDocument() : nullptr;
}

void CFrameWnd::SetMessageText(const QString& text) {
    statusBar()->showMessage(text);
}

QString CFrameWnd::GetMessageText() const {
    return statusBar()->currentMessage();
}

void CFrameWnd::OnUpdateFrameTitle() {
    CDocument* doc = GetActiveDocument();
    QString app = AfxGetApp() ? AfxGetApp()->m_strAppTitle : QString();
    if (doc && !doc->GetTitle().isEmpty())
        setWindowTitle(doc->GetTitle() + QStringLiteral(" - ") + app);
    else
        setWindowTitle(app);
}

bool CFrameWnd::event(QEvent* e) {
    if (e->type() == QEvent::StatusTip) {
        // Leaving a menu item or button brings the idle text back.
        auto* tip = static_cast<QStatusTipEvent*>(e);
        if (tip->tip().isEmpty()) {
            statusBar()->showMessage(IdleText());
            return true;
        }
    }
    return QMainWindow::event(e);
}

void CFrameWnd::closeEvent(QCloseEvent* e) {
    if (m_bCommandsBlocked) {
        m_bCloseRequested = true;
        e->ignore();
        return;
    }
    CDocument* doc = GetActiveDocument();
    if (doc && !doc->SaveModified()) {
        e->ignore();
        return;
    }
    e->accept();
}
