#pragma once

#include <QKeySequence>
#include <QList>
#include <QPointF>
#include <vector>

#include "framework/FrameWnd.h"
#include "views/ViewContext.h"

class CBrushBar;
class CLumvaneDoc;
class CLumvaneView;
class CTabletInput;
class CTimeView;
class QLabel;
class CView;
class CViewSplitter;
class QAction;
class QMenu;
class QStatusBar;
class QToolBar;

// Registers the compiled-in artwork, icons and desktop files (the library is static).
void LumvaneInitResources();

// The one top-level window: menus, accelerators, toolbar, status bar, the brush bar on the
// left and the timeline above the drawing view. It relays requests between those parts.
class CMainFrame : public CFrameWnd, public IShellRelay {
    Q_OBJECT
  public:
    // tablet: the program's tablet binding, handed to the drawing view (null: the view binds
    // its own).
    // The printer is the one File > Print Setup sets up; the drawing view prints on it.
    explicit CMainFrame(CLumvaneDoc* doc, CTabletInput* tablet = nullptr,
                        QPrinter* printer = nullptr);
    ~CMainFrame() override;

    // IShellRelay
    int RebuildBrushBar() override;
    int UpdateBrushBar(int brushIndex) override;
    void ShowFrameNumber(int frameIndex) override;
    void RelayFrameKey(int offset) override;
    void ShowZoom(double percent) override;

    CBrushBar* BrushBar() const { return m_wndBrushBar; }
    CViewSplitter* Splitter() const { return m_wndSplitter; }
    QToolBar* ToolBar() const { return m_wndToolBar; }
    QStatusBar* StatusBar() const { return m_wndStatusBar; }
    CTimeView* TimeView() const { return m_pTimeView; }
    CLumvaneView* DrawingView() const { return m_pDrawingView; }

    // The command an accelerator key issues, or 0 when the key is not in the table.
    int AcceleratorCommand(const QKeySequence& key) const;
    // Every accelerator key with its command.
    std::vector<std::pair<QKeySequence, int>> Accelerators() const;
    // Refreshes File > Recent File from the application's list.
    void UpdateRecentFileMenu();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool OnCreate();
    bool OnCreateClient(CLumvaneDoc* doc, CTabletInput* tablet, QPrinter* printer);
    void BuildMenus();
    void BuildToolBar();
    void BuildAccelerators();
    // An action bound to a command id (also when it comes from a key only).
    QAction* Command(int id, const char* text, const QList<QKeySequence>& keys, const char* prompt);
    void ActivatePane(int step);

    CBrushBar* m_wndBrushBar = nullptr;
    CViewSplitter* m_wndSplitter = nullptr;
    QStatusBar* m_wndStatusBar = nullptr;
    QLabel* m_pZoomLabel = nullptr;  // the drawing view's zoom, at the status bar's right
    QToolBar* m_wndToolBar = nullptr;
    CTimeView* m_pTimeView = nullptr;
    CLumvaneView* m_pDrawingView = nullptr;
    QMenu* m_pFileMenu = nullptr;
    QAction* m_pRecentFiles[4] = {};
    // The last pointer event passed on to the drawing pane.
    struct ForwardedDrag {
        int type = 0;
        quint64 timestamp = 0;
        QPointF global;
        bool operator==(const ForwardedDrag&) const = default;
    };
    ForwardedDrag m_lastForwarded;
    // Keys of the accelerator table that no menu item shows.
    std::vector<std::pair<QAction*, int>> m_accelerators;
};
