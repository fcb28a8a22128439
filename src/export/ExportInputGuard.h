#pragma once

#include <QEvent>
#include <QObject>

class CFrameWnd;

// For the length of an export the main window takes no input and runs no command, so nothing
// can change the document under the loop; it still repaints, and windows of their own (the
// progress window) still take input. A close request is honoured afterwards.
class CExportInputGuard : public QObject {
  public:
    // A null frame guards nothing.
    explicit CExportInputGuard(CFrameWnd* frame);
    ~CExportInputGuard() override;

  protected:
    bool eventFilter(QObject* target, QEvent* e) override;

  private:
    bool BelongsToFrame(QObject* target) const;

    CFrameWnd* m_pFrame;
    bool m_bWasBlocked = false;
};
