#include "app/ProvisionalFrame.h"

#include <QMenuBar>
#include <QStatusBar>

#include "document/LumvaneDoc.h"
#include "views/LumvaneView.h"

CProvisionalFrame::CProvisionalFrame(CLumvaneDoc* doc) {
    m_pView = new CLumvaneView(doc, this);
    setCentralWidget(m_pView);
    SetActiveView(m_pView);
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    WatchMenu(file);
    file->addAction(AddCommand(ID_APP_EXIT, QStringLiteral("E&xit")));
    AddDrawingViewCommands();
    statusBar()->showMessage(IdleText());
}

void CProvisionalFrame::AddDrawingViewCommands() {
    using QKS = QKeySequence;
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    WatchMenu(edit);
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
