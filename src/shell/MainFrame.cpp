#include "shell/MainFrame.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>
#include <QToolBar>

#include "document/LumvaneDoc.h"
#include "framework/WinApp.h"
#include "shell/BrushBar.h"
#include "shell/ViewSplitter.h"
#include "views/LumvaneView.h"
#include "views/TimeView.h"

// Resources of a static library must be registered by name, outside any namespace.
void LumvaneInitResources() {
    Q_INIT_RESOURCE(lumvane);
}

namespace {
constexpr int kSeparator = 0;

QKeySequence Key(QKeyCombination key) {
    return QKeySequence(key);
}

// Toolbar artwork by command.
const char* ToolbarImage(int id) {
    switch (id) {
        case ID_FILE_NEW:
            return "new";
        case ID_FILE_OPEN:
            return "open";
        case ID_FILE_SAVE:
            return "save";
        case ID_EDIT_CUT:
            return "cut";
        case ID_EDIT_COPY:
            return "copy";
        case ID_EDIT_PASTE:
            return "paste";
        case ID_EDIT_PASTELINES:
            return "pastelines";
        case ID_EDIT_BOXSELECTION:
            return "boxselect";
        case ID_EDIT_CLEARFRAME:
            return "clearframe";
        case ID_FRAMES_ADDFRAME:
            return "addframe";
        case ID_FRAMES_DELETEFRAME:
            return "deleteframe";
        case ID_FRAMES_PLAY:
            return "play";
        case ID_FRAMES_SETTINGS:
            return "framesettings";
        case ID_FRAMES_CAPTURE:
            return "capture";
        case ID_AUDIO_SOUND:
            return "sound";
        case ID_EDIT_BRUSHSETTINGS:
            return "brushsettings";
        case ID_VIEW_ONIONSKIN:
            return "onionskin";
        case ID_FILE_PRINT:
            return "print";
        case ID_APP_ABOUT:
            return "about";
        default:
            return nullptr;
    }
}
}  // namespace

CMainFrame::CMainFrame(CLumvaneDoc* doc, CTabletInput* tablet, QPrinter* printer) {
    LumvaneInitResources();
    setObjectName(QStringLiteral("MainFrame"));
    setContextMenuPolicy(Qt::NoContextMenu);  // no toolbar chooser: the View menu has the toggles
    OnCreate();
    OnCreateClient(doc, tablet, printer);
    if (CWinApp* app = AfxGetApp())
        app->m_onRecentFilesChanged = [this] { UpdateRecentFileMenu(); };
    UpdateRecentFileMenu();
    OnUpdateFrameTitle();
    // Drags that begin elsewhere in the window and cross into the drawing pane.
    QCoreApplication::instance()->installEventFilter(this);
}

CMainFrame::~CMainFrame() {
    QCoreApplication::instance()->removeEventFilter(this);
    if (CWinApp* app = AfxGetApp()) app->m_onRecentFilesChanged = nullptr;
}

QAction* CMainFrame::Command(int id, const char* text, const QList<QKeySequence>& keys,
                             const char* prompt) {
    QAction* a = AddCommand(id, QString::fromUtf8(text), keys,
                            prompt ? QString::fromUtf8(prompt) : QString());
    a->setData(id);
    a->setIconVisibleInMenu(false);
    if (const char* image = ToolbarImage(id))
        a->setIcon(QIcon(QStringLiteral(":/toolbar/%1.png").arg(QLatin1String(image))));
    return a;
}

bool CMainFrame::OnCreate() {
    BuildMenus();
    BuildAccelerators();
    BuildToolBar();

    m_wndStatusBar = statusBar();
    m_wndStatusBar->setObjectName(QStringLiteral("StatusBar"));
    m_wndStatusBar->showMessage(IdleText());
    m_pZoomLabel = new QLabel(m_wndStatusBar);
    m_pZoomLabel->setObjectName(QStringLiteral("Zoom"));
    m_wndStatusBar->addPermanentWidget(m_pZoomLabel);
    ShowZoom(100.0);

    OnCommand(ID_VIEW_TOOLBAR, [this] { m_wndToolBar->setVisible(m_wndToolBar->isHidden()); });
    OnUpdateCommand(ID_VIEW_TOOLBAR,
                    [this](CCmdUI* ui) { ui->SetCheck(!m_wndToolBar->isHidden()); });
    OnCommand(ID_VIEW_STATUS_BAR,
              [this] { m_wndStatusBar->setVisible(m_wndStatusBar->isHidden()); });
    OnUpdateCommand(ID_VIEW_STATUS_BAR,
                    [this](CCmdUI* ui) { ui->SetCheck(!m_wndStatusBar->isHidden()); });
    OnCommand(ID_NEXT_PANE, [this] { ActivatePane(1); });
    OnCommand(ID_PREV_PANE, [this] { ActivatePane(-1); });
    return true;
}

void CMainFrame::BuildMenus() {
    struct Item {
        int id;
        const char* text;
        QList<QKeySequence> keys;  // the first is the one the menu shows
        const char* prompt;
    };
    struct Menu {
        const char* title;
        std::vector<Item> items;
    };
    const std::vector<Menu> menus = {
        {"&File",
         {{ID_FILE_NEW, "&New", {}, "New Drawing\nNew"},
          {ID_FILE_OPEN, "&Open", {}, "Opens an existing animation\nOpen"},
          {ID_FILE_SAVE, "&Save", {Key(Qt::CTRL | Qt::Key_S)}, "Save the active document\nSave"},
          {ID_FILE_SAVE_AS, "Save &As...", {}, "Save the active document with a new name\nSave As"},
          {kSeparator, nullptr, {}, nullptr},
          {ID_FILE_REVERTTOSAVED,
           "&Revert To Saved",
           {},
           "Reload the current document, discards last changes"},
          {kSeparator, nullptr, {}, nullptr},
          {ID_FILE_EXPORT, "E&xport", {}, "Exports the animation to Tessel Paint System"},
          {ID_FILE_EXPORTMOVIE,
           "Export &Movie...",
           {},
           "Export the animation as a movie, an animated GIF or PNG images\nExport Movie"},
          {ID_FILE_IMPORTDRAWINGS,
           "&Import Drawings...",
           {},
           "Imports scanned or photographed drawings as frames\nImport Drawings"},
          {kSeparator, nullptr, {}, nullptr},
          {ID_FILE_PRINT,
           "&Print...",
           {Key(Qt::CTRL | Qt::Key_P)},
           "Print the active document\nPrint"},
          {ID_FILE_PRINT_PREVIEW, "Print Pre&view", {}, "Display full pages\nPrint Preview"},
          {ID_FILE_PRINT_SETUP,
           "P&rint Setup...",
           {},
           "Change the printer and printing options\nPrint Setup"},
          {kSeparator, nullptr, {}, nullptr},
          {ID_FILE_MRU_FILE1, "Recent File", {}, nullptr},
          {kSeparator, nullptr, {}, nullptr},
          {ID_APP_EXIT, "E&xit", {}, "Quit the application; prompts to save documents\nExit"}}},
        {"&Edit",
         {{ID_EDIT_UNDO,
           "&Undo",
           {Key(Qt::CTRL | Qt::Key_Z), Key(Qt::ALT | Qt::Key_Backspace)},
           "Undo the last action\nUndo"},
          {ID_EDIT_REDO,
           "&Redo",
           {Key(Qt::CTRL | Qt::Key_Y), Key(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
           "Redo the previously undone action\nRedo"},
          {kSeparator, nullptr, {}, nullptr},
          {ID_EDIT_CUT,
           "Cu&t",
           {Key(Qt::CTRL | Qt::Key_X), Key(Qt::SHIFT | Qt::Key_Delete)},
           "Cut the selection and put it on the Clipboard\nCut"},
          {ID_EDIT_COPY,
           "&Copy",
           {Key(Qt::CTRL | Qt::Key_C), Key(Qt::CTRL | Qt::Key_Insert)},
           "Copy the selection and put it on the Clipboard\nCopy"},
          {ID_EDIT_PASTE,
           "&Paste",
           {Key(Qt::CTRL | Qt::Key_V), Key(Qt::SHIFT | Qt::Key_Insert)},
           "Insert Clipboard contents\nPaste"},
          {ID_EDIT_PASTELINES,
           "Paste &Lines",
           {Key(Qt::CTRL | Qt::Key_B)},
           "Pastes Just Lines\nPaste Lines"},
          {kSeparator, nullptr, {}, nullptr},
          {ID_EDIT_BOXSELECTION,
           "Box &Selection",
           {Key(Qt::Key_B)},
           "Enters Box Selection Mode\nBox Selection"},
          {kSeparator, nullptr, {}, nullptr},
          {ID_EDIT_CLEARFRAME,
           "C&lear Frame",
           {Key(Qt::Key_Backspace)},
           "Clears the current frame\nClear Frame"},
          {kSeparator, nullptr, {}, nullptr},
          {ID_EDIT_BRUSHSETTINGS,
           "&Brush Settings",
           {},
           "Changes the current brush settings\nBrush Settings"},
          {kSeparator, nullptr, {}, nullptr},
          {ID_EDIT_PREFERENCES,
           "Pr&eferences...",
           {},
           "Changes autosave, undo, loop playback and tablet settings\nPreferences"}}},
        {"&Frames",
         {
             {ID_FRAMES_FIRSTFRAME,
              "&First Frame",
              {Key(Qt::Key_Home)},
              "Advance to the first frame\nFirst Frame"},
             {ID_FRAMES_PREVFRAME,
              "Pre&vious Frame",
              {Key(Qt::Key_Left)},
              "Go to the Previous Frame in animation\nPrevious Frame"},
             {ID_FRAMES_NEXTFRAME,
              "&Next Frame",
              {Key(Qt::Key_Right)},
              "Advances to next frame of animation\nNext Frame"},
             {ID_FRAMES_LASTFRAME,
              "&Last Frame",
              {Key(Qt::Key_End)},
              "Advances to the last frame\nLast Frame"},
             {kSeparator, nullptr, {}, nullptr},
             {ID_FRAMES_ADDFRAME,
              "&Add Frame",
              {Key(Qt::Key_A)},
              "Add a frame at current frame\nAdd Frame"},
             {ID_FRAMES_DELETEFRAME,
              "&Delete Frame",
              {Key(Qt::Key_Delete)},
              "Delete Current Frame\nDelete Frame"},
             {kSeparator, nullptr, {}, nullptr},
             {ID_FRAMES_PLAY, "&Play", {Key(Qt::Key_P)}, "Plays the animation\nPlay"},
             {ID_FRAMES_LOOPPLAYBACK,
              "L&oop Playback",
              {Key(Qt::CTRL | Qt::Key_L)},
              "Plays the animation over and over until a key is pressed\nLoop Playback"},
             {kSeparator, nullptr, {}, nullptr},
             {ID_FRAMES_CAPTURE,
              "&Capture",
              {Key(Qt::Key_C)},
              "Shoots drawings from a camera into new frames\nCapture"},
             {ID_FRAMES_CAPTURESETTINGS,
              "Capture Se&ttings...",
              {},
              "Chooses the camera and how its pictures are cleaned\nCapture Settings"},
             {kSeparator, nullptr, {}, nullptr},
             {ID_FRAMES_SETTINGS, "&Settings", {}, "Adjust Frame Rate Settings\nFrame Settings"},
         }},
        {"&Audio",
         {{ID_AUDIO_LOAD,
           "&Load",
           {Key(Qt::Key_L)},
           "Loads an audio file to be played with animation\nLoad"},
          {ID_AUDIO_IMPORTSOUND,
           "&Import Sound...",
           {Key(Qt::SHIFT | Qt::Key_L)},
           "Loads any sound or video file's sound track to be played with animation\nImport "
           "Sound"},
          {kSeparator, nullptr, {}, nullptr},
          {ID_AUDIO_SOUND, "&Sound", {Key(Qt::Key_S)}, "Disables/Enables Sound\nSound ON/OFF"}}},
        {"&View",
         {{ID_VIEW_TOOLBAR, "&Toolbar", {}, "Show or hide the toolbar\nToggle ToolBar"},
          {ID_VIEW_STATUS_BAR, "&Status Bar", {}, "Show or hide the status bar\nToggle StatusBar"},
          {ID_VIEW_ONIONSKIN,
           "&Onion Skin",
           {Key(Qt::Key_O)},
           "Toggles Onion Skin of Selected Frames\nToggles Onion Skin"},
          {kSeparator, nullptr, {}, nullptr},
          {ID_VIEW_ZOOMIN,
           "Zoom &In",
           {Key(Qt::CTRL | Qt::Key_Plus), Key(Qt::CTRL | Qt::Key_Equal)},
           "Shows the frame larger\nZoom In"},
          {ID_VIEW_ZOOMOUT,
           "Zoom O&ut",
           {Key(Qt::CTRL | Qt::Key_Minus)},
           "Shows the frame smaller\nZoom Out"},
          {ID_VIEW_ACTUALSIZE,
           "&Actual Size",
           {Key(Qt::CTRL | Qt::Key_0)},
           "Shows one frame pixel per screen pixel\nActual Size"},
          {ID_VIEW_FITINWINDOW,
           "&Fit in Window",
           {Key(Qt::CTRL | Qt::Key_9)},
           "Shows the whole frame in the pane\nFit in Window"}}},
        {"&Help",
         {{ID_APP_ABOUT,
           "&About Lumvane...",
           {},
           "Display program information, version number and copyright\nAbout"}}},
    };

    for (const Menu& m : menus) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(m.title));
        WatchMenu(menu);
        for (const Item& it : m.items) {
            if (it.id == kSeparator) {
                menu->addSeparator();
            } else if (it.id == ID_FILE_MRU_FILE1) {
                m_pFileMenu = menu;
                for (int i = 0; i < 4; ++i) {
                    m_pRecentFiles[i] =
                        Command(ID_FILE_MRU_FILE1 + i, "Recent File", {}, "Open this document");
                    menu->addAction(m_pRecentFiles[i]);
                }
            } else {
                menu->addAction(Command(it.id, it.text, it.keys, it.prompt));
            }
        }
    }
}

void CMainFrame::BuildAccelerators() {
    // Keys that no menu item shows; the others are on their menu items.
    const std::vector<std::pair<QKeySequence, int>> keys = {
        {Key(Qt::CTRL | Qt::Key_N), ID_FILE_NEW}, {Key(Qt::CTRL | Qt::Key_O), ID_FILE_OPEN},
        {Key(Qt::Key_1), ID_FRAME_KEY_MINUS4},    {Key(Qt::Key_2), ID_FRAME_KEY_MINUS3},
        {Key(Qt::Key_3), ID_FRAME_KEY_MINUS2},    {Key(Qt::Key_4), ID_FRAME_KEY_MINUS1},
        {Key(Qt::Key_5), ID_FRAME_KEY_CURRENT},   {Key(Qt::Key_6), ID_FRAME_KEY_PLUS1},
        {Key(Qt::Key_7), ID_FRAME_KEY_PLUS2},     {Key(Qt::Key_8), ID_FRAME_KEY_PLUS3},
        {Key(Qt::Key_9), ID_FRAME_KEY_PLUS4},     {Key(Qt::Key_Space), ID_TOGGLE_ERASER},
        {Key(Qt::Key_F6), ID_NEXT_PANE},          {Key(Qt::SHIFT | Qt::Key_F6), ID_PREV_PANE},
    };
    for (const auto& [key, id] : keys) {
        auto* a = new QAction(this);
        a->setShortcut(key);
        a->setShortcutContext(Qt::WindowShortcut);
        a->setData(id);
        addAction(a);
        const int cmd = id;
        connect(a, &QAction::triggered, this, [this, cmd] { ExecuteCommand(cmd); });
        m_accelerators.emplace_back(a, id);
    }
}

std::vector<std::pair<QKeySequence, int>> CMainFrame::Accelerators() const {
    std::vector<std::pair<QKeySequence, int>> all;
    for (const auto& [a, id] : m_accelerators)
        for (const QKeySequence& k : a->shortcuts()) all.emplace_back(k, id);
    for (const auto& [id, a] : CommandActions())
        for (const QKeySequence& k : a->shortcuts()) all.emplace_back(k, id);
    return all;
}

int CMainFrame::AcceleratorCommand(const QKeySequence& key) const {
    for (const auto& [k, id] : Accelerators())
        if (k == key) return id;
    return 0;
}

void CMainFrame::BuildToolBar() {
    m_wndToolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    m_wndToolBar->setObjectName(QStringLiteral("ToolBar"));
    m_wndToolBar->setIconSize(QSize(16, 15));
    m_wndToolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_wndToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const int buttons[] = {ID_FILE_NEW,          ID_FILE_OPEN,       ID_FILE_SAVE,
                           kSeparator,           ID_EDIT_CUT,        ID_EDIT_COPY,
                           ID_EDIT_PASTE,        ID_EDIT_PASTELINES, kSeparator,
                           ID_EDIT_BOXSELECTION, kSeparator,         ID_EDIT_CLEARFRAME,
                           kSeparator,           ID_FRAMES_ADDFRAME, ID_FRAMES_DELETEFRAME,
                           kSeparator,           ID_FRAMES_PLAY,     ID_FRAMES_SETTINGS,
                           ID_AUDIO_SOUND,       kSeparator,         ID_EDIT_BRUSHSETTINGS,
                           kSeparator,           ID_VIEW_ONIONSKIN,  kSeparator,
                           ID_FILE_PRINT,        ID_APP_ABOUT};
    for (int id : buttons) {
        if (id == kSeparator)
            m_wndToolBar->addSeparator();
        else
            m_wndToolBar->addAction(CommandAction(id));
    }
    // Capture sits beside Play.
    m_wndToolBar->insertAction(CommandAction(ID_FRAMES_SETTINGS), CommandAction(ID_FRAMES_CAPTURE));
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
}

bool CMainFrame::OnCreateClient(CLumvaneDoc* doc, CTabletInput* tablet, QPrinter* printer) {
    auto* client = new QWidget(this);
    auto* layout = new QHBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_wndBrushBar = new CBrushBar(this, client);
    auto* barColumn = new QWidget(client);
    auto* barLayout = new QVBoxLayout(barColumn);
    barLayout->setContentsMargins(0, 0, 0, 0);
    barLayout->addWidget(m_wndBrushBar);
    barLayout->addStretch(1);
    layout->addWidget(barColumn);
    // The bar's border on its right side.
    auto* edge = new QFrame(client);
    edge->setFrameShape(QFrame::VLine);
    edge->setFrameShadow(QFrame::Sunken);
    layout->addWidget(edge);

    m_wndSplitter = new CViewSplitter(client);
    const CViewContext context{this, tablet, printer};
    auto* time = new CTimeView(nullptr, context);
    doc->AddView(time);
    auto* drawing = new CLumvaneView(doc, nullptr, context);
    time->resize(100, 50);
    drawing->resize(100, 50);
    m_pTimeView = time;
    m_pDrawingView = drawing;
    // Strokes announce their rectangles; everything else reaches the views through the hints.
    connect(doc, &CLumvaneDoc::FrameRectChanged, drawing, &CLumvaneView::OnFrameRectChanged);
    m_wndSplitter->SetPanes(time, drawing);
    layout->addWidget(m_wndSplitter, 1);
    setCentralWidget(client);
    SetActiveView(m_pDrawingView);
    return true;
}

void CMainFrame::UpdateRecentFileMenu() {
    const QStringList files = AfxGetApp() ? AfxGetApp()->GetRecentFileList() : QStringList();
    for (int i = 0; i < 4; ++i) {
        QAction* a = m_pRecentFiles[i];
        if (!a) continue;
        if (i < files.size()) {
            QString shown = QDir::toNativeSeparators(files[i]);
            shown.replace('&', QStringLiteral("&&"));
            a->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shown));
            a->setVisible(true);
        } else {
            // With no recent files the first entry stands, disabled, as "Recent File".
            a->setText(QStringLiteral("Recent File"));
            a->setVisible(i == 0 && files.isEmpty());
        }
    }
}

int CMainFrame::RebuildBrushBar() {
    return m_wndBrushBar->RebuildBrushImages();
}

int CMainFrame::UpdateBrushBar(int brushIndex) {
    return m_wndBrushBar->UpdateBrushChecks(brushIndex);
}

void CMainFrame::ShowFrameNumber(int frameIndex) {
    m_wndBrushBar->ShowFrameNumber(frameIndex);
}

void CMainFrame::ShowZoom(double percent) {
    m_pZoomLabel->setText(QStringLiteral("%1 %").arg(percent, 0, 'g', 4));
}

void CMainFrame::RelayFrameKey(int offset) {
    SetActiveView(m_pDrawingView);
    if (auto* view = dynamic_cast<CLumvaneView*>(GetActiveView())) view->ShowRelativeFrame(offset);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    // Qt sends the moves and the release of a drag to the widget where the button went down.
    // A drag from the timeline or the brush bar that enters the drawing pane with the left
    // button held reaches the pane too, which draws it from the last position it saw.
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::MouseButtonRelease) return false;
    auto* source = qobject_cast<QWidget*>(watched);
    if (!source || !m_pDrawingView || source->window() != this) return false;
    QWidget* pane = m_pDrawingView->viewport();
    if (source == pane || pane->isAncestorOf(source) || source->isWindow()) return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    const bool held = type == QEvent::MouseMove ? (mouse->buttons() & Qt::LeftButton)
                                                : mouse->button() == Qt::LeftButton;
    if (!held) return false;
    const QPointF global = mouse->globalPosition();
    const QPointF local = pane->mapFromGlobal(global);
    if (!pane->rect().contains(local.toPoint())) return false;
    // An event the source ignores goes on to its parents, through here again: forward it once.
    const ForwardedDrag key{type, mouse->timestamp(), global};
    if (key == m_lastForwarded) return false;
    m_lastForwarded = key;
    QMouseEvent forwarded(type, local, global, mouse->button(), mouse->buttons(),
                          mouse->modifiers());
    QCoreApplication::sendEvent(pane, &forwarded);
    return false;
}

void CMainFrame::ActivatePane(int step) {
    CView* panes[2] = {m_pTimeView, m_pDrawingView};
    int current = GetActiveView() == m_pTimeView ? 0 : 1;
    const int next = ((current + step) % 2 + 2) % 2;
    SetActiveView(panes[next]);
}
