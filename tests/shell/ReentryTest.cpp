// Requests that arrive while the program runs a loop of its own. While Play runs: the window
// closed, New, Open or Export asked for by command, menu action or key. While Export runs:
// strokes on the drawing view, Add Frame, Delete Frame and Play. Nothing may re-enter the
// document: no dialog opens, no frame changes, the export writes every frame as it was, and a
// close request is honoured only after the loop.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "document/LumvaneDoc.h"
#include "document/NewAnimationDlg.h"
#include "export/ExportDlg.h"
#include "export/ExportSequence.h"
#include "framework/FrameWnd.h"
#include "framework/WinApp.h"
#include "playback/Playback.h"
#include "support/FrameAccess.h"
#include "support/RecordingWaveOut.h"
#include "support/ScriptedUi.h"
#include "views/LumvaneView.h"

namespace {

// Simulated time; onWait runs inside the playback loop before each frame.
struct StepClock : IPlaybackClock {
    std::int64_t now = 1'000'000'000;
    int waits = 0;
    std::function<void(int wait)> onWait;
    std::int64_t NowMicros() override { return now; }
    void WaitUntil(std::int64_t deadline) override {
        if (onWait) onWait(++waits);
        if (now < deadline) now = deadline;
    }
};

struct Command {
    int id;
    const char* name;
    QKeySequence key;
};
const Command kCommands[] = {
    {ID_FILE_NEW, "New", QKeySequence(Qt::CTRL | Qt::Key_N)},
    {ID_FILE_OPEN, "Open", QKeySequence(Qt::CTRL | Qt::Key_O)},
    {ID_FILE_EXPORT, "Export", QKeySequence(Qt::CTRL | Qt::Key_E)},
    {ID_FRAMES_PLAY, "Play", QKeySequence(Qt::Key_P)},
    {ID_FRAMES_ADDFRAME, "Add Frame", QKeySequence(Qt::Key_Insert)},
    {ID_FRAMES_DELETEFRAME, "Delete Frame", QKeySequence(Qt::Key_Delete)},
};

// The application as the program builds it: one document, a main window around the real
// drawing view, the playback and export commands on the document.
class ReentryTest : public ::testing::Test {
  protected:
    CScriptedUi ui;
    StepClock clock;
    std::unique_ptr<CRecordingWaveOutSystem> sound;
    std::unique_ptr<CWinApp> app;
    CLumvaneDoc* doc = nullptr;
    CFrameWnd* frame = nullptr;
    CLumvaneView* view = nullptr;
    std::shared_ptr<CPlayback> player;
    QTemporaryDir dir;

    void SetUp() override {
        app = std::make_unique<CWinApp>(QStringLiteral("Lumvane"));
        app->AddDocTemplate(std::make_unique<CSingleDocTemplate>(
            QStringLiteral("Lumvane\n\nLumvane\nLumvane Animation Files (*.anm)\n.anm\n"
                           "Lumvane.Document\nLumvane Animation Document"),
            [] { return new CLumvaneDoc(); },
            [this](CDocument* d) {
                frame = new CFrameWnd;
                view = new CLumvaneView(static_cast<CLumvaneDoc*>(d), frame);
                frame->setCentralWidget(view);
                frame->SetActiveView(view);
                for (const Command& c : kCommands)
                    frame->AddCommand(c.id, QString::fromLatin1(c.name), {c.key});
                return frame;
            }));
        ui.m_dialogScripts.push_back([](CDialog& d) {
            d.SetItemText(CNewAnimationDlg::IDC_XDIMENSION, QStringLiteral("60"));
            d.SetItemText(CNewAnimationDlg::IDC_YDIMENSION, QStringLiteral("40"));
            d.ClickButton(IDOK);
        });
        app->OnFileNew();
        ASSERT_NE(frame, nullptr);
        doc = static_cast<CLumvaneDoc*>(app->GetDocument());
        sound = std::make_unique<CRecordingWaveOutSystem>(doc);
        player = RegisterPlaybackCommands(*doc, frame, *sound, clock);
        RegisterExportCommands(*doc, frame);
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
        // Six frames, each with pixels of its own, saved so that nothing is pending.
        for (int i = 1; i < 6; ++i) ASSERT_TRUE(frame->ExecuteCommand(ID_FRAMES_ADDFRAME));
        for (int i = 0; i < 6; ++i) {
            frames::Edit f(*doc, i);
            for (std::size_t p = 0; p < f->PixelCount(); ++p)
                f->GetData()[p] = static_cast<unsigned char>(p * 7 + i * 31);
        }
        ASSERT_TRUE(doc->DoSave(dir.filePath("walk.anm")));
        doc->m_nCurrentFrame = 2;
        doc->UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
        QApplication::processEvents();
        ui.Clear();
    }

    void TearDown() override {
        clock.onWait = nullptr;
        app.reset();  // the window first, then the document
        sound.reset();
    }

    std::vector<QByteArray> Frames() const {
        std::vector<QByteArray> v;
        for (int i = 0; i < CLumvaneDoc::kMaxFrames; ++i) {
            if (i < doc->m_nFrameCount) {
                const std::vector<unsigned char> f = frames::Bytes(*doc, i);
                v.emplace_back(reinterpret_cast<const char*>(f.data()),
                               static_cast<qsizetype>(f.size()));
            } else if (!doc->m_frames[i].Empty()) {
                // A slot past the end that still holds a frame counts as a change too.
                GrayImage f;
                doc->m_frames[i].Decode(f);
                v.emplace_back(reinterpret_cast<const char*>(f.GetData()),
                               static_cast<qsizetype>(f.PixelCount()));
            }
        }
        return v;
    }

    // The three ways a request reaches the window, made from inside a running loop.
    enum Way { kExecute, kAction, kKey };
    void Request(const Command& c, Way way) {
        switch (way) {
            case kExecute:
                // As a menu or toolbar would, from the event loop.
                QMetaObject::invokeMethod(
                    frame, [this, id = c.id] { frame->ExecuteCommand(id); }, Qt::QueuedConnection);
                break;
            case kAction:
                QMetaObject::invokeMethod(frame->CommandAction(c.id), "trigger",
                                          Qt::QueuedConnection);
                break;
            case kKey: {
                const QKeyCombination k = c.key[0];
                QTest::keyClick(view->viewport(), k.key(), k.keyboardModifiers());
                break;
            }
        }
    }
};

}  // namespace

TEST_F(ReentryTest, WindowClosedDuringPlayIsClosedAfterItAsksAboutChanges) {
    doc->SetModifiedFlag(true);
    const auto frames = Frames();
    clock.onWait = [this](int wait) {
        if (wait == 3) QMetaObject::invokeMethod(frame, "close", Qt::QueuedConnection);
    };
    EXPECT_TRUE(frame->ExecuteCommand(ID_FRAMES_PLAY));
    // Playback stopped at the close and put the current frame back; the window is still open.
    EXPECT_EQ(frame->GetMessageText(), QString::fromLatin1(kTextStopped));
    EXPECT_EQ(doc->m_nCurrentFrame, 2);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(ui.Texts().isEmpty());
    // The close goes through afterwards, asking first; Cancel keeps window and changes.
    ui.m_answers = {IDCANCEL};
    QApplication::processEvents();
    EXPECT_EQ(ui.Texts(), QStringList{"Save changes to walk?"});
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(Frames(), frames);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_FALSE(frame->CommandsBlocked());
    // Asked again and answered No, it closes.
    ui.Clear();
    ui.m_answers = {IDNO};
    frame->close();
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(Frames(), frames);
}

// The pointer reaches the drawing view while Play runs: a release ends the Ctrl-drag that was
// under way, and a stroke made during the run changes nothing; afterwards strokes draw.
TEST_F(ReentryTest, PointerDuringPlayEndsDragsButChangesNothing) {
    const auto frames = Frames();
    QWidget* pane = view->viewport();
    const QPoint at(pane->width() / 2, pane->height() / 2);
    const auto move = [pane](QPoint p) {
        QMouseEvent e(QEvent::MouseMove, QPointF(p), pane->mapToGlobal(QPointF(p)), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pane, &e);
    };
    QTest::mousePress(pane, Qt::LeftButton, Qt::ControlModifier, at);
    ASSERT_EQ(view->m_bScrubbing, 1);
    clock.onWait = [&](int wait) {
        if (wait == 2) QTest::mouseRelease(pane, Qt::LeftButton, Qt::ControlModifier, at);
        if (wait == 3) {
            QTest::mousePress(pane, Qt::LeftButton, Qt::NoModifier, at);
            move(at + QPoint(12, 5));
            QTest::mouseRelease(pane, Qt::LeftButton, Qt::NoModifier, at + QPoint(12, 5));
        }
    };
    EXPECT_TRUE(frame->ExecuteCommand(ID_FRAMES_PLAY));
    clock.onWait = nullptr;
    EXPECT_EQ(frame->GetMessageText(), QString::fromLatin1(kTextFinished));
    EXPECT_EQ(view->m_bScrubbing, 0);
    EXPECT_EQ(Frames(), frames);
    EXPECT_FALSE(doc->m_bUndoValid);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(doc->m_nCurrentFrame, 2);

    // A press that playback refused, held on after the end: its drag draws nothing.
    clock.waits = 0;
    clock.onWait = [&](int wait) {
        if (wait == 3) QTest::mousePress(pane, Qt::LeftButton, Qt::NoModifier, at);
    };
    EXPECT_TRUE(frame->ExecuteCommand(ID_FRAMES_PLAY));
    clock.onWait = nullptr;
    move(at + QPoint(12, 5));
    QTest::mouseRelease(pane, Qt::LeftButton, Qt::NoModifier, at + QPoint(20, 5));
    EXPECT_EQ(Frames(), frames);
    EXPECT_FALSE(doc->m_bUndoValid);
    EXPECT_FALSE(doc->IsModified());

    QTest::mousePress(pane, Qt::LeftButton, Qt::NoModifier, at);
    move(at + QPoint(12, 5));
    QTest::mouseRelease(pane, Qt::LeftButton, Qt::NoModifier, at + QPoint(12, 5));
    EXPECT_EQ(doc->m_nCurrentFrame, 2);
    EXPECT_NE(Frames(), frames);
    EXPECT_TRUE(doc->m_bUndoValid);
}

TEST_F(ReentryTest, NewOpenOrExportDuringPlayDoNothing) {
    const auto frames = Frames();
    const QString path = doc->GetPathName();
    for (const Command& c : {kCommands[0], kCommands[1], kCommands[2]}) {
        for (Way way : {kExecute, kAction, kKey}) {
            SCOPED_TRACE(std::string(c.name) + " way " + std::to_string(way));
            ui.Clear();
            // Anything that got through would find its answers here and change the document.
            ui.m_fileAnswers = {dir.filePath("walk.anm"), dir.path()};
            ui.m_answers = {IDYES, IDYES};
            clock.waits = 0;
            clock.onWait = [&](int wait) {
                if (wait == 2) Request(c, way);
            };
            EXPECT_TRUE(frame->ExecuteCommand(ID_FRAMES_PLAY));
            QApplication::processEvents();
            clock.onWait = nullptr;
            // A key stops playback; a command does not, and the cycle runs to its end.
            EXPECT_EQ(frame->GetMessageText(),
                      QString::fromLatin1(way == kKey ? kTextStopped : kTextFinished));
            EXPECT_EQ(clock.waits, way == kKey ? 2 : 6);
            EXPECT_TRUE(ui.m_dialogTitles.isEmpty()) << ui.m_dialogTitles.join(',').toStdString();
            EXPECT_TRUE(ui.m_fileRequests.empty());
            EXPECT_TRUE(ui.Texts().isEmpty());
            EXPECT_EQ(app->GetDocument(), doc);
            EXPECT_EQ(doc->m_nCurrentFrame, 2);
            EXPECT_EQ(Frames(), frames);
            EXPECT_EQ(doc->GetPathName(), path);
            EXPECT_FALSE(doc->IsModified());
            EXPECT_FALSE(frame->CommandsBlocked());
            EXPECT_FALSE(player->IsPlaying());
        }
    }
    // Afterwards the same command runs again.
    ui.Clear();
    ui.m_fileAnswers = {QString()};
    EXPECT_TRUE(frame->ExecuteCommand(ID_FILE_OPEN));
    EXPECT_EQ(ui.m_fileRequests.size(), 1u);
}

TEST_F(ReentryTest, StrokesAndFrameCommandsDuringExportChangeNothing) {
    const auto frames = Frames();
    QTemporaryDir out;
    int passes = 0;
    bool ranAny = false;
    QTimer poke;
    poke.setInterval(0);
    // Every event pass of the export: a stroke by the real pointer path, a press sent straight
    // to the pane, and Add Frame, Delete Frame and Play by each way they can come. All of it is
    // delivered at once: an event still queued when the export ends would rightly be handled.
    QObject::connect(&poke, &QTimer::timeout, [&] {
        if (!frame->CommandsBlocked()) return;
        ++passes;
        QWidget* pane = view->viewport();
        const QPoint a(pane->width() / 2 - 10, pane->height() / 2);
        const QPoint b = a + QPoint(20, 5);
        QTest::mousePress(pane, Qt::LeftButton, Qt::NoModifier, a);
        QTest::mouseMove(pane, b);
        QTest::mouseRelease(pane, Qt::LeftButton, Qt::NoModifier, b);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(a), pane->mapToGlobal(QPointF(a)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(pane, &press);
        for (const Command& c : {kCommands[3], kCommands[4], kCommands[5]}) {
            ranAny = frame->ExecuteCommand(c.id) || ranAny;
            frame->CommandAction(c.id)->trigger();
            const QKeyCombination k = c.key[0];
            QTest::keyClick(pane, k.key(), k.keyboardModifiers());
        }
        QTest::keyClick(pane, Qt::Key_5);  // the digit keys peek at frames
    });
    poke.start();
    ui.m_fileAnswers = {out.path()};
    ui.m_dialogScripts.push_back([](CDialog& d) {
        d.ClickButton(IDC_SELECT_OUTPUT_PATH);
        d.SetItemText(IDC_SEQUENCE_NAME, QStringLiteral("walk"));
        d.SetCheck(IDC_FORMAT_GRAY, true);
        d.ClickButton(IDOK);
    });
    ui.m_answers = {IDYES, IDYES, IDYES, IDYES};  // a Delete Frame that got through would delete
    EXPECT_TRUE(frame->ExecuteCommand(ID_FILE_EXPORT));
    poke.stop();
    QApplication::processEvents();

    EXPECT_GE(passes, 6);  // once for each frame at least
    EXPECT_FALSE(ranAny);
    EXPECT_TRUE(ui.Texts().isEmpty()) << ui.Texts().join('|').toStdString();
    EXPECT_EQ(ui.m_dialogTitles, QStringList{"Export Settings"});
    EXPECT_EQ(doc->m_nFrameCount, 6);
    EXPECT_EQ(doc->m_nCurrentFrame, 2);
    EXPECT_EQ(Frames(), frames);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_FALSE(doc->m_bUndoValid);
    EXPECT_FALSE(player->IsPlaying());
    // Every frame reached its file as it was.
    QTemporaryDir reference;
    ASSERT_EQ(ExportFrames(*doc, {reference.path() + "/", "walk", 1, EXPORT_GRAY_TARGA}), 1);
    const QStringList names = QDir(out.path()).entryList(QDir::Files, QDir::Name);
    ASSERT_EQ(names.size(), 6);
    for (const QString& n : names) {
        QFile got(out.filePath(n)), want(reference.filePath(n));
        ASSERT_TRUE(got.open(QIODevice::ReadOnly) && want.open(QIODevice::ReadOnly));
        EXPECT_EQ(got.readAll(), want.readAll()) << n.toStdString();
    }
    // Afterwards a stroke draws again.
    QWidget* pane = view->viewport();
    const QPoint a(pane->width() / 2, pane->height() / 2);
    QTest::mousePress(pane, Qt::LeftButton, Qt::NoModifier, a);
    QTest::mouseRelease(pane, Qt::LeftButton, Qt::NoModifier, a);
    EXPECT_TRUE(doc->m_bUndoValid);
    EXPECT_NE(Frames(), frames);
}
