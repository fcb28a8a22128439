#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QWindow>
#include <cstring>
#include <functional>
#include <map>

#include "ShellFixture.h"
#include "framework/View.h"
#include "shell/BrushBar.h"
#include "shell/ViewSplitter.h"
#include "views/LumvaneView.h"
#include "views/TimeView.h"

namespace {
using MainFrameTest = ShellFixture;

QList<QAction*> RecentEntries(CMainFrame& f) {
    QList<QAction*> shown;
    QMenu* file = f.menuBar()->actions().at(0)->menu();
    for (QAction* a : file->actions()) {
        const int id = a->data().toInt();
        if (id >= ID_FILE_MRU_FILE1 && id <= ID_FILE_MRU_FILE4 && a->isVisible()) shown << a;
    }
    return shown;
}

// Sends a left-button drag event to the splitter handle at a point of the splitter.
void SendToHandle(QSplitterHandle* h, QEvent::Type type, QPoint inSplitter) {
    const QPoint local = h->mapFrom(h->parentWidget(), inSplitter);
    QMouseEvent e(
        type, QPointF(local), QPointF(local), QPointF(h->mapToGlobal(local)), Qt::LeftButton,
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(h, &e);
}
}  // namespace

TEST_F(MainFrameTest, TitleIsTheDocumentTitleAndTheApplicationTitle) {
    doc->SetTitle(QStringLiteral("Untitled"));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Untitled - Lumvane"));
    doc->SetTitle(QStringLiteral("walk cycle"));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("walk cycle - Lumvane"));
}

TEST_F(MainFrameTest, SplitterHoldsTheTimelineAboveTheDrawingViewAtItsIdealHeight) {
    frame->resize(900, 700);
    frame->show();
    QApplication::processEvents();
    CViewSplitter* s = frame->Splitter();
    ASSERT_EQ(s->count(), 2);
    EXPECT_EQ(s->orientation(), Qt::Vertical);
    EXPECT_EQ(s->widget(0), frame->TimeView()->GetWidget());
    EXPECT_EQ(s->widget(1), frame->DrawingView()->GetWidget());
    EXPECT_EQ(s->sizes().at(0), 75);
    EXPECT_EQ(s->widget(0)->minimumHeight(), 25);
    // A taller window gives the extra height to the drawing view.
    frame->resize(900, 800);
    QApplication::processEvents();
    EXPECT_EQ(s->sizes().at(0), 75);
}

TEST_F(MainFrameTest, TheTimelineStopsAtTheLastPointerPositionAtOrAbove100) {
    frame->resize(900, 700);
    frame->show();
    QApplication::processEvents();
    CViewSplitter* s = frame->Splitter();
    QSplitterHandle* h = s->handle(1);
    const int x = s->width() / 2;
    struct Step {
        int y;
        int timeline;
    };
    // The press is on the handle's top line, so the handle follows the pointer exactly.
    const Step drag[] = {{60, 60},   {97, 97},   {300, 97}, {101, 97}, {100, 100},
                         {300, 100}, {500, 100}, {40, 40},  {10, 25}};
    SendToHandle(h, QEvent::MouseButtonPress, QPoint(x, h->y()));
    for (const Step& st : drag) {
        SendToHandle(h, QEvent::MouseMove, QPoint(x, st.y));
        EXPECT_EQ(s->sizes().at(0), st.timeline) << "pointer at y = " << st.y;
    }
    SendToHandle(h, QEvent::MouseButtonRelease, QPoint(x, 300));
    EXPECT_EQ(s->sizes().at(0), 25);
}

TEST_F(MainFrameTest, ToolbarAndStatusBarTogglesShowHideAndCheck) {
    struct Case {
        int id;
        QWidget* bar;
    };
    const Case cases[] = {{ID_VIEW_TOOLBAR, frame->ToolBar()},
                          {ID_VIEW_STATUS_BAR, frame->StatusBar()}};
    for (const Case& c : cases) {
        QAction* a = frame->CommandAction(c.id);
        frame->UpdateCommandActions();
        EXPECT_TRUE(a->isChecked());
        EXPECT_TRUE(frame->ExecuteCommand(c.id));
        EXPECT_TRUE(c.bar->isHidden());
        EXPECT_FALSE(a->isChecked());
        EXPECT_TRUE(frame->ExecuteCommand(c.id));
        EXPECT_FALSE(c.bar->isHidden());
        EXPECT_TRUE(a->isChecked());
    }
}

TEST_F(MainFrameTest, F6AndShiftF6SwitchTheActivePane) {
    frame->show();
    CView* time = frame->TimeView();
    CView* drawing = frame->DrawingView();
    EXPECT_EQ(frame->GetActiveView(), drawing);
    const std::pair<int, CView*> steps[] = {{ID_NEXT_PANE, time},
                                            {ID_NEXT_PANE, drawing},
                                            {ID_PREV_PANE, time},
                                            {ID_PREV_PANE, drawing}};
    for (const auto& [id, want] : steps) {
        EXPECT_TRUE(frame->ExecuteCommand(id));
        EXPECT_EQ(frame->GetActiveView(), want);
    }
    EXPECT_EQ(frame->AcceleratorCommand(QKeySequence(Qt::Key_F6)), ID_NEXT_PANE);
    EXPECT_EQ(frame->AcceleratorCommand(QKeySequence(Qt::SHIFT | Qt::Key_F6)), ID_PREV_PANE);
}

TEST_F(MainFrameTest, RelayFrameKeyMakesTheDrawingViewActive) {
    frame->show();
    frame->ExecuteCommand(ID_NEXT_PANE);
    ASSERT_EQ(frame->GetActiveView(), frame->TimeView());
    frame->RelayFrameKey(-2);
    EXPECT_EQ(frame->GetActiveView(), frame->DrawingView());
}

TEST_F(MainFrameTest, HandsItselfToItsViewsAsTheirRelay) {
    frame->show();
    frame->ExecuteCommand(ID_NEXT_PANE);
    ASSERT_EQ(frame->GetActiveView(), frame->TimeView());
    // A digit key in the timeline reaches the drawing view through the frame.
    EXPECT_TRUE(frame->ExecuteCommand(ID_FRAME_KEY_PLUS1));
    EXPECT_EQ(frame->GetActiveView(), frame->DrawingView());
}

// Every way pixels change goes through the document's door: afterwards the document is
// modified, the frame's change mark has grown (the recovery copy writes it again), there is a
// step to undo (or, after Undo, to redo), and the pane shows exactly the frame. A drag from the
// timeline or the brush bar that enters the pane with the button held draws there as a press
// would, from the last position the pane saw.
TEST_F(MainFrameTest, EveryWriterGoesThroughTheDocument) {
    ASSERT_EQ(doc->CreateAnimation(64, 32), 1);
    frame->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    doc->UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
    QCoreApplication::processEvents();
    CLumvaneView* view = frame->DrawingView();
    QWidget* pane = view->viewport();
    QWindow* window = frame->windowHandle();
    const auto at = [this](QWidget* w, QPoint p) { return w->mapTo(frame.get(), p); };
    const QPoint first(view->m_nOffsetX + 10, view->m_nOffsetY + 10);
    const auto dragFrom = [&](QWidget* source) {
        QTest::mouseMove(window, at(pane, first));  // the pane sees the pointer, button up
        QTest::mousePress(window, Qt::LeftButton, {}, at(source, QPoint(3, 3)));
        QTest::mouseMove(window, at(pane, first + QPoint(20, 0)));
        QTest::mouseRelease(window, Qt::LeftButton, {}, at(pane, first + QPoint(30, 0)));
    };
    const auto run = [this](int id) { frame->ExecuteCommand(id); };
    struct Case {
        const char* name;
        std::function<void()> prepare;
        std::function<void()> write;
        bool undone;  // the step is one to redo
    } cases[] = {
        {"stroke", [] {},
         [&] {
             QTest::mousePress(pane, Qt::LeftButton, {}, first);
             QTest::mouseMove(pane, first + QPoint(9, 4));
             QTest::mouseRelease(pane, Qt::LeftButton, {}, first + QPoint(9, 4));
         },
         false},
        {"drag from the timeline", [] {}, [&] { dragFrom(frame->TimeView()->viewport()); }, false},
        {"drag from the brush bar", [] {},
         [&] { dragFrom(frame->BrushBar()->findChild<QAbstractButton*>()); }, false},
        {"clear", [&] { ui.m_answers = {IDYES}; }, [&] { run(ID_EDIT_CLEARFRAME); }, false},
        {"paste", [&] { run(ID_EDIT_COPY), run(ID_FRAMES_ADDFRAME); }, [&] { run(ID_EDIT_PASTE); },
         false},
        {"paste lines", [&] { run(ID_EDIT_COPY), run(ID_FRAMES_ADDFRAME); },
         [&] { run(ID_EDIT_PASTELINES); }, false},
        {"undo", [&] { dragFrom(frame->TimeView()->viewport()); }, [&] { run(ID_EDIT_UNDO); },
         true},
        {"redo", [&] { dragFrom(frame->TimeView()->viewport()), run(ID_EDIT_UNDO); },
         [&] { run(ID_EDIT_REDO); }, false},
        {"insert frames", [] {},
         [&] {
             std::vector<GrayImage> frames(2);
             for (GrayImage& f : frames) f.Create(64, 32), f.Fill(9);
             doc->InsertFrames(doc->m_nCurrentFrame, frames);
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(doc->CreateAnimation(64, 32), 1);
        frames::Fill(*doc, 0, 128);  // so that clear, paste and redo change something
        doc->UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
        doc->SetUndoDepth(10);
        const std::vector<unsigned char> before = frames::Bytes(*doc, doc->m_nCurrentFrame);
        c.prepare();
        doc->SetModifiedFlag(false);
        const std::uint64_t version = doc->Mark(doc->m_nCurrentFrame).version;
        const std::uint64_t changes = doc->ChangeCount();
        c.write();
        QCoreApplication::processEvents();
        EXPECT_TRUE(doc->IsModified());
        EXPECT_GT(doc->ChangeCount(), changes);
        EXPECT_GT(doc->Mark(doc->m_nCurrentFrame).version, version);
        EXPECT_TRUE(c.undone ? doc->History().CanRedo() : doc->History().CanUndo());
        EXPECT_FALSE(doc->StrokeActive());
        // The frame as stored, decoded here and not taken from the document's decoded frames:
        // what those serve, and so what the pane shows, must be no older than the encoding.
        GrayImage stored;
        ASSERT_TRUE(doc->m_frames[doc->m_nCurrentFrame].Decode(stored));
        const std::shared_ptr<const GrayImage> shown = frames::Read(*doc, doc->m_nCurrentFrame);
        ASSERT_EQ(shown->PixelCount(), stored.PixelCount());
        EXPECT_EQ(std::memcmp(shown->GetData(), stored.GetData(), stored.PixelCount()), 0);
        if (c.undone) {
            EXPECT_EQ(frames::Bytes(*doc, doc->m_nCurrentFrame), before);
        }
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 64; ++x)
                ASSERT_EQ(qGray(view->DisplayImage().pixel(x, 31 - y)),
                          shown->GetData()[y * 64 + x])
                    << x << "," << y;
    }
    // The drags drew along their whole way (a 2-pixel brush on stored row 32 - 10 - 1): from
    // the first point the pane saw, to the move, and on to the release.
    ASSERT_EQ(doc->CreateAnimation(64, 32), 1);
    dragFrom(frame->TimeView()->viewport());
    const std::shared_ptr<const GrayImage> drawn = frames::Read(*doc, 0);
    const unsigned char* row = drawn->GetData() + (doc->m_nHeight - 11) * 64;
    for (int from : {10, 20, 30}) {
        int ink = 0;
        for (int x = from; x < from + 10; ++x) ink += row[x] < 255;
        EXPECT_GT(ink, 0) << "from x " << from;
    }
}

TEST_F(MainFrameTest, RecentFileMenuShowsTheProfileListOrADisabledPlaceholder) {
    QList<QAction*> shown = RecentEntries(*frame);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0]->text(), QStringLiteral("Recent File"));
    frame->UpdateCommandActions();
    EXPECT_FALSE(shown[0]->isEnabled());

    app->AddToRecentFileList(QStringLiteral("/tmp/b & c.anm"));
    app->AddToRecentFileList(QStringLiteral("/tmp/a.anm"));
    shown = RecentEntries(*frame);
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0]->text(), QStringLiteral("&1 /tmp/a.anm"));
    EXPECT_EQ(shown[1]->text(), QStringLiteral("&2 /tmp/b && c.anm"));
    EXPECT_EQ(shown[0]->data().toInt(), ID_FILE_MRU_FILE1);
    EXPECT_EQ(shown[1]->data().toInt(), ID_FILE_MRU_FILE1 + 1);
    EXPECT_EQ(QSettings().value(QStringLiteral("Recent File List/File1")).toString(),
              QStringLiteral("/tmp/a.anm"));
    frame->UpdateCommandActions();
    EXPECT_TRUE(shown[0]->isEnabled());

    for (int i = 0; i < 5; ++i) app->AddToRecentFileList(QStringLiteral("/tmp/%1.anm").arg(i));
    shown = RecentEntries(*frame);
    ASSERT_EQ(shown.size(), 4);
    EXPECT_EQ(shown[3]->text(), QStringLiteral("&4 /tmp/1.anm"));
}

TEST_F(MainFrameTest, StatusBarShowsPromptsWhileHighlightedAndReadyWhenIdle) {
    EXPECT_EQ(frame->GetMessageText(), QStringLiteral("Ready"));
    const std::pair<int, const char*> prompts[] = {
        {ID_EDIT_CLEARFRAME, "Clears the current frame"},
        {ID_FILE_EXPORTMOVIE, "Export the animation as a movie, an animated GIF or PNG images"}};
    for (const auto& [id, prompt] : prompts) {
        frame->CommandAction(id)->showStatusText(frame.get());
        EXPECT_EQ(frame->GetMessageText(), QString::fromUtf8(prompt));
        QStatusTipEvent leave{QString()};
        QApplication::sendEvent(frame.get(), &leave);
        EXPECT_EQ(frame->GetMessageText(), QStringLiteral("Ready"));
    }
}

TEST_F(MainFrameTest, EveryAcceleratorKeyIssuesItsCommandAndNoKeyIsBoundTwice) {
    using K = QKeySequence;
    const std::pair<K, int> table[] = {
        {K(Qt::Key_1), 32805},
        {K(Qt::Key_2), 32804},
        {K(Qt::Key_3), 32803},
        {K(Qt::Key_4), 32802},
        {K(Qt::Key_5), 32815},
        {K(Qt::Key_6), 32806},
        {K(Qt::Key_7), 32807},
        {K(Qt::Key_8), 32808},
        {K(Qt::Key_9), 32809},
        {K(Qt::Key_A), 32784},
        {K(Qt::Key_B), 32810},
        {K(Qt::Key_C), 32880},
        {K(Qt::Key_L), 32824},
        {K(Qt::SHIFT | Qt::Key_L), 32840},
        {K(Qt::Key_O), 32793},
        {K(Qt::Key_P), 32818},
        {K(Qt::Key_S), 32827},
        {K(Qt::Key_Space), 32800},
        {K(Qt::Key_Backspace), 32771},
        {K(Qt::Key_Delete), 32785},
        {K(Qt::Key_Home), 32773},
        {K(Qt::Key_End), 32778},
        {K(Qt::Key_Right), 32788},
        {K(Qt::Key_Left), 32789},
        {K(Qt::CTRL | Qt::Key_N), 57600},
        {K(Qt::CTRL | Qt::Key_O), 57601},
        {K(Qt::CTRL | Qt::Key_S), 57603},
        {K(Qt::CTRL | Qt::Key_P), 57607},
        {K(Qt::CTRL | Qt::Key_Z), 57643},
        {K(Qt::ALT | Qt::Key_Backspace), 57643},
        {K(Qt::CTRL | Qt::Key_Y), 57644},
        {K(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), 57644},
        {K(Qt::CTRL | Qt::Key_Plus), 32850},
        {K(Qt::CTRL | Qt::Key_Equal), 32850},
        {K(Qt::CTRL | Qt::Key_Minus), 32851},
        {K(Qt::CTRL | Qt::Key_0), 32852},
        {K(Qt::CTRL | Qt::Key_9), 32853},
        {K(Qt::CTRL | Qt::Key_X), 57635},
        {K(Qt::SHIFT | Qt::Key_Delete), 57635},
        {K(Qt::CTRL | Qt::Key_C), 57634},
        {K(Qt::CTRL | Qt::Key_Insert), 57634},
        {K(Qt::CTRL | Qt::Key_V), 57637},
        {K(Qt::SHIFT | Qt::Key_Insert), 57637},
        {K(Qt::CTRL | Qt::Key_B), 32814},
        {K(Qt::CTRL | Qt::Key_L), 32860},
        {K(Qt::Key_F6), 57680},
        {K(Qt::SHIFT | Qt::Key_F6), 57681},
    };
    const auto all = frame->Accelerators();
    EXPECT_EQ(all.size(), std::size(table));
    std::map<QString, int> seen;
    for (const auto& [key, id] : all) ++seen[key.toString()];
    for (const auto& [key, count] : seen) EXPECT_EQ(count, 1) << key.toStdString();
    for (const auto& [key, id] : table)
        EXPECT_EQ(frame->AcceleratorCommand(key), id) << key.toString().toStdString();
}

TEST_F(MainFrameTest, SpaceAndRubberToggleTheSameFlagAndLeaveTheBarAlike) {
    frame->show();
    frame->SetActiveView(frame->DrawingView());
    CBrushBar* bar = frame->BrushBar();
    doc->m_nDrawBrush = 2;
    doc->m_nEraseBrush = 7;
    struct Step {
        bool space;  // else the RUBBER button
        int eraser;
        int pressed;
    };
    const Step steps[] = {{true, 1, 7}, {false, 0, 2}, {false, 1, 7},
                          {true, 0, 2}, {true, 1, 7},  {true, 0, 2}};
    for (const Step& st : steps) {
        if (st.space)
            EXPECT_TRUE(frame->ExecuteCommand(ID_TOGGLE_ERASER));
        else
            bar->Button(IDC_RUBBER)->click();
        EXPECT_EQ(doc->m_bEraser, st.eraser);
        EXPECT_EQ(bar->Button(IDC_RUBBER)->isChecked(), st.eraser == 1);
        for (int i = 0; i < 10; ++i)
            EXPECT_EQ(bar->Button(IDC_BRUSH_FIRST + i)->isChecked(), i == st.pressed) << i;
    }
    EXPECT_EQ(frame->AcceleratorCommand(QKeySequence(Qt::Key_Space)), ID_TOGGLE_ERASER);
}

TEST_F(MainFrameTest, DigitKeysInTheTimelineReachTheDrawingViewThroughTheRelay) {
    for (int i = 0; i < 3; ++i) frames::Fill(*doc, i, 10 * (i + 1));
    doc->m_nFrameCount = 3;
    doc->m_nCurrentFrame = 2;
    frame->show();
    struct Case {
        int id;
        int shownValue;  // of the frame the drawing view shows afterwards
    };
    // From frame 2: key 3 (-2) shows frame 0, key 4 (-1) frame 1, key 9 (+4) clamps to 2.
    const Case cases[] = {{ID_FRAME_KEY_MINUS2, 10},
                          {ID_FRAME_KEY_MINUS1, 20},
                          {ID_FRAME_KEY_PLUS4, 30},
                          {ID_FRAME_KEY_MINUS4, 10}};
    for (const Case& c : cases) {
        frame->SetActiveView(frame->TimeView());
        EXPECT_TRUE(frame->ExecuteCommand(c.id));
        EXPECT_EQ(frame->GetActiveView(), frame->DrawingView());
        EXPECT_EQ(qGray(frame->DrawingView()->DisplayImage().pixel(0, 0)), c.shownValue) << c.id;
        EXPECT_EQ(doc->m_nCurrentFrame, 2);
    }
}
