#include "export/ExportInputGuard.h"

#include <QCoreApplication>
#include <QWidget>
#include <QWindow>

#include "framework/FrameWnd.h"

namespace {
bool IsInput(QEvent::Type t) {
    switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::TabletPress:
        case QEvent::TabletMove:
        case QEvent::TabletRelease:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::InputMethod:
        case QEvent::NativeGesture:
            return true;
        default:
            return false;
    }
}
}  // namespace

CExportInputGuard::CExportInputGuard(CFrameWnd* frame) : m_pFrame(frame) {
    if (!m_pFrame) return;
    m_bWasBlocked = m_pFrame->CommandsBlocked();
    m_pFrame->SetCommandsBlocked(true);
    QCoreApplication::instance()->installEventFilter(this);
}

CExportInputGuard::~CExportInputGuard() {
    if (!m_pFrame) return;
    QCoreApplication::instance()->removeEventFilter(this);
    m_pFrame->SetCommandsBlocked(m_bWasBlocked);
    if (!m_bWasBlocked && m_pFrame->CloseRequested()) {
        m_pFrame->ClearCloseRequest();
        m_pFrame->close();
    }
}

bool CExportInputGuard::eventFilter(QObject* target, QEvent* e) {
    if (!IsInput(e->type()) || !BelongsToFrame(target)) return false;
    // Claiming the key keeps shortcuts from firing; the key itself is then dropped.
    if (e->type() == QEvent::ShortcutOverride) e->accept();
    return true;
}

bool CExportInputGuard::BelongsToFrame(QObject* target) const {
    if (target->isWidgetType()) return static_cast<QWidget*>(target)->window() == m_pFrame;
    if (auto* w = qobject_cast<QWindow*>(target)) return w == m_pFrame->windowHandle();
    return false;
}
