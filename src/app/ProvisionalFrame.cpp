#include "app/ProvisionalFrame.h"

#include <QMenuBar>
#include <QStatusBar>
#include <vector>

#include "document/LumvaneDoc.h"
#include "views/LumvaneView.h"

// ---- playback and sound-track menus (stand-in until the shell's menus) ----
static void AddPlaybackMenus(CFrameWnd* frame, QMenuBar* bar) {
    QMenu* frames = nullptr;
    for (QAction* a : bar->actions())
        if (a->menu() && a->text().remove('&') == QStringLiteral("Frames")) frames = a->menu();
    if (!frames) {
        frames = bar->addMenu(QStringLiteral("&Frames"));
        frame->WatchMenu(frames);
    }
    frames->addSeparator();
    frames->addAction(frame->AddCommand(ID_FRAMES_PLAY, QStringLiteral("&Play"),
                                        {QKeySequence(Qt::Key_P)},
                                        QStringLiteral("Plays the animation\nPlay")));
    frames->addSeparator();
    frames->addAction(
        frame->AddCommand(ID_FRAMES_SETTINGS, QStringLiteral("&Settings"), {},
                          QStringLiteral("Adjust Frame Rate Settings\nFrame Settings")));
    QMenu* audio = bar->addMenu(QStringLiteral("&Audio"));
    frame->WatchMenu(audio);
    audio->addAction(
        frame->AddCommand(ID_AUDIO_LOAD, QStringLiteral("&Load"), {QKeySequence(Qt::Key_L)},
                          QStringLiteral("Loads an audio file to be played with animation")));
    audio->addSeparator();
    audio->addAction(frame->AddCommand(ID_AUDIO_SOUND, QStringLiteral("&Sound"),
                                       {QKeySequence(Qt::Key_S)},
                                       QStringLiteral("Disables/Enables Sound\nSound ON/OFF")));
}
// ---- end of playback menus ----

CProvisionalFrame::CProvisionalFrame(CLumvaneDoc* doc) {
    m_pView = new CLumvaneView(doc, this);
    setCentralWidget(m_pView);
    SetActiveView(m_pView);

    struct Item {
        int id;  // 0: separator
        const char* text;
        QList<QKeySequence> keys;
        const char* prompt;
    };
    auto addMenu = [this](const char* title, const std::vector<Item>& items) {
        QMenu* menu = menuBar()->addMenu(QString::fromLatin1(title));
        WatchMenu(menu);
        for (const Item& it : items) {
            if (it.id == 0) {
                menu->addSeparator();
                continue;
            }
            menu->addAction(AddCommand(it.id, QString::fromLatin1(it.text), it.keys,
                                       it.prompt ? QString::fromLatin1(it.prompt) : QString()));
        }
    };
    addMenu("&File",
            {
                {ID_FILE_NEW, "&New", {QKeySequence(Qt::CTRL | Qt::Key_N)}, "New Drawing\nNew"},
                {ID_FILE_OPEN,
                 "&Open...",
                 {QKeySequence(Qt::CTRL | Qt::Key_O)},
                 "Opens an existing animation\nOpen"},
                {ID_FILE_SAVE,
                 "&Save",
                 {QKeySequence(Qt::CTRL | Qt::Key_S)},
                 "Save the active document\nSave"},
                {ID_FILE_SAVE_AS,
                 "Save &As...",
                 {},
                 "Save the active document with a new name\nSave As"},
                {ID_FILE_REVERTTOSAVED,
                 "&Revert To Saved",
                 {},
                 "Reload the current document, discards last changes"},
                {0, nullptr, {}, nullptr},
                {ID_APP_EXIT, "E&xit", {}, "Quit the application; prompts to save documents\nExit"},
            });
    addMenu("&Edit",
            {
                {ID_EDIT_UNDO,
                 "&Undo",
                 {QKeySequence(Qt::CTRL | Qt::Key_Z), QKeySequence(Qt::ALT | Qt::Key_Backspace)},
                 "Undo the last action\nUndo"},
                {ID_EDIT_CLEARFRAME,
                 "&Clear Frame",
                 {QKeySequence(Qt::Key_Backspace)},
                 "Clears the current frame\nClear Frame"},
            });
    addMenu("F&rames", {
                           {ID_FRAMES_FIRSTFRAME,
                            "&First Frame",
                            {QKeySequence(Qt::Key_Home)},
                            "Advance to the first frame\nFirst Frame"},
                           {ID_FRAMES_PREVFRAME,
                            "&Previous Frame",
                            {QKeySequence(Qt::Key_Left)},
                            "Go to the Previous Frame in animation\nPrevious Frame"},
                           {ID_FRAMES_NEXTFRAME,
                            "&Next Frame",
                            {QKeySequence(Qt::Key_Right)},
                            "Advances to next frame of animation\nNext Frame"},
                           {ID_FRAMES_LASTFRAME,
                            "&Last Frame",
                            {QKeySequence(Qt::Key_End)},
                            "Advances to the last frame\nLast Frame"},
                           {0, nullptr, {}, nullptr},
                           {ID_FRAMES_ADDFRAME,
                            "&Add Frame",
                            {QKeySequence(Qt::Key_A)},
                            "Add a frame at current frame\nAdd Frame"},
                           {ID_FRAMES_DELETEFRAME,
                            "&Delete Frame",
                            {QKeySequence(Qt::Key_Delete)},
                            "Delete Current Frame\nDelete Frame"},
                       });
    addMenu("&View", {
                         {ID_VIEW_ONIONSKIN,
                          "&Onion Skin",
                          {QKeySequence(Qt::Key_O)},
                          "Toggles Onion Skin of Selected Frames\nToggles Onion Skin"},
                     });
    AddDrawingViewCommands();
    AddPlaybackMenus(this, menuBar());
    statusBar()->showMessage(IdleText());
}

void CProvisionalFrame::OnUpdateFrameTitle() {
    CFrameWnd::OnUpdateFrameTitle();
    // The frame number, until the timeline shows it.
    if (auto* d = static_cast<CLumvaneDoc*>(GetActiveDocument()); d && d->m_nFrameCount > 0)
        setWindowTitle(
            windowTitle() +
            QStringLiteral(" [frame %1 of %2]").arg(d->m_nCurrentFrame + 1).arg(d->m_nFrameCount));
}

void CProvisionalFrame::AddDrawingViewCommands() {
    using QKS = QKeySequence;
    QMenu* edit = nullptr;
    for (QAction* a : menuBar()->actions())
        if (a->text() == QStringLiteral("&Edit")) edit = a->menu();
    edit->addAction(
        AddCommand(ID_EDIT_CUT, QStringLiteral("Cu&t"),
                   {QKS(Qt::CTRL | Qt::Key_X), QKS(Qt::SHIFT | Qt::Key_Delete)},
                   QStringLiteral("Cut the selection and put it on the Clipboard\nCut")));
    edit->addAction(
        AddCommand(ID_EDIT_COPY, QStringLiteral("&Copy"),
                   {QKS(Qt::CTRL | Qt::Key_C), QKS(Qt::CTRL | Qt::Key_Insert)},
                   QStringLiteral("Copy the selection and put it on the Clipboard\nCopy")));
    edit->addAction(AddCommand(ID_EDIT_PASTE, QStringLiteral("&Paste"),
                               {QKS(Qt::CTRL | Qt::Key_V), QKS(Qt::SHIFT | Qt::Key_Insert)},
                               QStringLiteral("Insert Clipboard contents\nPaste")));
    edit->addAction(AddCommand(ID_EDIT_PASTELINES, QStringLiteral("Paste &Lines"),
                               {QKS(Qt::CTRL | Qt::Key_B)},
                               QStringLiteral("Pastes Just Lines\nPaste Lines")));
    edit->addAction(AddCommand(ID_EDIT_BOXSELECTION, QStringLiteral("Box &Selection"),
                               {QKS(Qt::Key_B)},
                               QStringLiteral("Enters Box Selection Mode\nBox Selection")));

    // Keys 1 to 9 peek at (or, with onion skin, tint) the frames four back to four ahead.
    static const int frameKeys[9] = {ID_FRAME_KEY_MINUS4, ID_FRAME_KEY_MINUS3,  ID_FRAME_KEY_MINUS2,
                                     ID_FRAME_KEY_MINUS1, ID_FRAME_KEY_CURRENT, ID_FRAME_KEY_PLUS1,
                                     ID_FRAME_KEY_PLUS2,  ID_FRAME_KEY_PLUS3,   ID_FRAME_KEY_PLUS4};
    for (int i = 0; i < 9; ++i)
        AddCommand(frameKeys[i], QString::number(i + 1), {QKS(Qt::Key_1 + i)});
    AddCommand(ID_TOGGLE_ERASER, QStringLiteral("Eraser"), {QKS(Qt::Key_Space)});
    AddCommand(ID_FILE_PRINT, QStringLiteral("&Print..."), {QKS(Qt::CTRL | Qt::Key_P)});
    AddCommand(ID_FILE_PRINT_PREVIEW, QStringLiteral("Print Pre&view"));
}
