// New Animation dialog, File > New, Open of a damaged file and Revert To Saved.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <optional>

#include "DocTestUtil.h"
#include "document/NewAnimationDlg.h"
#include "framework/WinApp.h"
#include "support/FakeMemoryInfo.h"
#include "support/FillThroughDoor.h"
#include "support/ScriptedUi.h"

using namespace doctest;

namespace {

// The application as main() builds it, with a plain window around a recording view.
struct App {
    CWinApp app{QStringLiteral("Lumvane")};
    App() {
        app.AddDocTemplate(std::make_unique<CSingleDocTemplate>(
            QStringLiteral("Lumvane\n\nLumvane\nLumvane Animation Files (*.anm)\n.anm\n"
                           "Lumvane.Document\nLumvane Animation Document"),
            [] { return new CLumvaneDoc(); },
            [](CDocument* doc) {
                auto* f = new CFrameWnd();
                auto* v = new CHintRecorder(doc);
                f->setCentralWidget(v);
                f->SetActiveView(v);
                return f;
            }));
    }
    CLumvaneDoc* Doc() { return static_cast<CLumvaneDoc*>(app.GetDocument()); }
    bool Enabled(int id) {
        CCmdUI ui(id);
        AfxGetMainWnd()->UpdateCmdUI(ui);
        return ui.m_bEnabled;
    }
};

CScriptedUi::DialogScript TypeAndOk(QString x, QString y) {
    return [x, y](CDialog& d) {
        d.SetItemText(CNewAnimationDlg::IDC_XDIMENSION, x);
        d.SetItemText(CNewAnimationDlg::IDC_YDIMENSION, y);
        d.ClickButton(IDOK);
    };
}
CScriptedUi::DialogScript Click(int id) {
    return [id](CDialog& d) { d.ClickButton(id); };
}

// Makes an animation through File > New, then saves it to path and draws on it.
void NewSavedAndChanged(App& a, CScriptedUi& ui, const QString& path) {
    ui.m_dialogScripts.push_back(Click(CNewAnimationDlg::IDC_320X240));
    a.app.OnFileNew();
    CLumvaneDoc& d = *a.Doc();
    d.m_nCurrentFrame = 0;
    d.OnAddFrame();
    frames::Fill(d, 1, 40);
    ASSERT_EQ(d.OnSaveDocument(path), 1);
    d.SetPathName(path);
    FillThroughDoor(d, 7);
    d.OnFirstFrame();
    ASSERT_TRUE(d.IsModified());
}

}  // namespace

TEST(NewAnimationDlg, ControlsTextsAndLayout) {
    CNewAnimationDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("New Animation"));
    QStringList labels;
    for (QLabel* l : dlg.findChildren<QLabel*>()) labels << l->text();
    labels.sort();
    EXPECT_EQ(labels, (QStringList{"Xdimension:", "Ydimension:"}));
    auto* grid = qobject_cast<QGridLayout*>(dlg.layout());
    ASSERT_NE(grid, nullptr);
    struct Case {
        int id;
        const char* text;
        int row, column;
    } cases[] = {
        {IDOK, "OK", 0, 2},       {IDCANCEL, "Cancel", 1, 2}, {1003, "640x480", 2, 0},
        {1004, "1024x768", 2, 1}, {1005, "320x240", 2, 2},    {1002, "720x576", 3, 0},
        {1006, "800x600", 3, 1},  {1007, "360x288", 3, 2},
    };
    for (const Case& c : cases) {
        auto* b = dlg.Item<QPushButton>(c.id);
        ASSERT_NE(b, nullptr) << c.id;
        EXPECT_EQ(b->text(), QString::fromLatin1(c.text));
        int row, column, rs, cs;
        grid->getItemPosition(grid->indexOf(b), &row, &column, &rs, &cs);
        EXPECT_EQ(row, c.row) << c.text;
        EXPECT_EQ(column, c.column) << c.text;
    }
    ASSERT_NE(dlg.Item<QLineEdit>(1000), nullptr);
    ASSERT_NE(dlg.Item<QLineEdit>(1001), nullptr);
    CScriptedUi ui;
    QString x, y;
    ui.m_dialogScripts.push_back([&](CDialog& d) {
        x = d.GetItemText(1000);
        y = d.GetItemText(1001);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(x, QStringLiteral("250"));
    EXPECT_EQ(y, QStringLiteral("250"));
}

TEST(NewAnimation, PresetsIgnoreTheEditsAndCloseWithTheirOwnResult) {
    struct Case {
        int id;
        int width, height;
    } cases[] = {
        {1003, 644, 480}, {1002, 724, 576}, {1004, 1028, 768},
        {1006, 804, 600}, {1005, 324, 240}, {1007, 364, 288},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        CScriptedUi ui;
        CNewAnimationDlg dlg;
        ui.m_dialogScripts.push_back([&](CDialog& d) {
            d.SetItemText(1000, QStringLiteral("100"));
            d.SetItemText(1001, QStringLiteral("not a number"));
            d.ClickButton(c.id);
        });
        const int r = dlg.DoModal();
        EXPECT_NE(r, IDOK);
        EXPECT_NE(r, IDCANCEL);
        EXPECT_TRUE(ui.m_messages.empty());

        CScriptedUi ui2;
        CLumvaneDoc doc;
        ui2.m_dialogScripts.push_back([&](CDialog& d) {
            d.SetItemText(1000, QStringLiteral("100"));
            d.ClickButton(c.id);
        });
        ASSERT_EQ(doc.OnNewDocument(), 1);
        EXPECT_EQ(doc.m_nWidth, c.width);
        EXPECT_EQ(doc.m_nHeight, c.height);
    }
}

TEST(NewAnimation, OkChecksXBeforeYAndKeepsTheDialogOpen) {
    struct Case {
        QString x, y;
        QStringList texts;
        int focus;  // the edit focused after a refusal, 0 when accepted
        int width, height;
    } cases[] = {
        {"1", "1", {}, 0, 4, 1},
        {"10000", "10000", {}, 0, 10004, 10000},
        {"640", "480", {}, 0, 644, 480},
        {"641", "2", {}, 0, 644, 2},
        {"643", "2", {}, 0, 644, 2},
        {"644", "2", {}, 0, 648, 2},
        {" 5 ", "3", {}, 0, 8, 3},
        {"0", "1", {"Please enter an integer between 1 and 10000."}, 1000, 0, 0},
        {"10001", "1", {"Please enter an integer between 1 and 10000."}, 1000, 0, 0},
        {"-5", "1", {"Please enter an integer between 1 and 10000."}, 1000, 0, 0},
        {"abc", "1", {"Please enter an integer."}, 1000, 0, 0},
        {"", "1", {"Please enter an integer."}, 1000, 0, 0},
        {"1.5", "1", {"Please enter an integer."}, 1000, 0, 0},
        {"1", "0", {"Please enter an integer between 1 and 10000."}, 1001, 0, 0},
        {"1", "10001", {"Please enter an integer between 1 and 10000."}, 1001, 0, 0},
        {"1", "x", {"Please enter an integer."}, 1001, 0, 0},
        {"x", "0", {"Please enter an integer."}, 1000, 0, 0},
        {"0", "x", {"Please enter an integer between 1 and 10000."}, 1000, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.x + "," + c.y).toStdString());
        CScriptedUi ui;
        CLumvaneDoc doc;
        bool open = false;
        int focus = 0;
        ui.m_dialogScripts.push_back([&](CDialog& d) {
            TypeAndOk(c.x, c.y)(d);
            open = !d.IsEnded();
            focus = d.FocusedControl();
            if (open) TypeAndOk("16", "9")(d);  // a correction is then accepted
        });
        ASSERT_EQ(doc.OnNewDocument(), 1);
        EXPECT_EQ(ui.Texts(), c.texts);
        for (auto& m : ui.m_messages) EXPECT_EQ(m.caption, QStringLiteral("Lumvane"));
        EXPECT_EQ(open, c.focus != 0);
        if (c.focus) {
            EXPECT_EQ(focus, c.focus);
            EXPECT_EQ(doc.m_nWidth, 20);
            EXPECT_EQ(doc.m_nHeight, 9);
        } else {
            EXPECT_EQ(doc.m_nWidth, c.width);
            EXPECT_EQ(doc.m_nHeight, c.height);
        }
    }
}

TEST(NewAnimation, FileNewMakesOneWhiteFrameAndKeepsBrushesAndSound) {
    CScriptedUi ui;
    QTemporaryDir dir;
    App a;
    NewSavedAndChanged(a, ui, dir.filePath("walk.anm"));
    CLumvaneDoc& d = *a.Doc();
    d.m_brushes[2].Build(33, 50);
    d.m_nDrawBrush = 2;
    d.m_nEraseBrush = 5;
    d.m_bEraser = 1;
    d.m_bClipValid = 1;
    d.m_bSoundOn = 0;
    d.m_bBoxSelect = 1;
    d.m_rcSelect = {1, 2, 3, 4};
    d.m_bViewsReady = 1;
    ui.m_answers.push_back(IDNO);  // do not save the changes
    ui.m_dialogScripts.push_back(TypeAndOk("7", "3"));
    a.app.OnFileNew();
    ASSERT_EQ(a.Doc(), &d);
    EXPECT_EQ(ui.Texts(), QStringList{"Save changes to walk?"});
    EXPECT_EQ(d.m_nFrameCount, 1);
    EXPECT_EQ(d.m_nCurrentFrame, 0);
    EXPECT_EQ(d.m_nWidth, 8);
    EXPECT_EQ(d.m_nHeight, 3);
    EXPECT_EQ(Pixels(d.m_frames[0]), QByteArray(24, '\xff'));
    EXPECT_TRUE(d.m_frames[1].Empty());
    EXPECT_EQ(d.m_undoImage.PixelCount(), 24u);
    EXPECT_EQ(d.m_clipImage.PixelCount(), 24u);
    EXPECT_EQ(d.m_bEraser, 0);
    EXPECT_EQ(d.m_bUndoValid, 0);
    EXPECT_EQ(d.m_bClipValid, 0);
    EXPECT_EQ(d.m_bViewsReady, 0);
    EXPECT_FALSE(a.Enabled(ID_EDIT_UNDO));
    EXPECT_FALSE(a.Enabled(ID_EDIT_PASTE));
    EXPECT_FALSE(a.Enabled(ID_EDIT_PASTELINES));
    EXPECT_FALSE(a.Enabled(ID_FILE_REVERTTOSAVED));
    EXPECT_EQ(d.m_brushes[2].GetSize(), 33);
    EXPECT_EQ(d.m_nDrawBrush, 2);
    EXPECT_EQ(d.m_nEraseBrush, 5);
    EXPECT_EQ(d.m_bSoundOn, 0);
    EXPECT_EQ(d.m_bBoxSelect, 1);
    EXPECT_EQ(d.m_rcSelect, (LRect{1, 2, 3, 4}));
    EXPECT_EQ(d.GetTitle(), QStringLiteral("Untitled"));
    EXPECT_TRUE(d.GetPathName().isEmpty());
    EXPECT_FALSE(d.IsModified());
}

TEST(NewAnimation, CancelKeepsTheOpenAnimationExactly) {
    CScriptedUi ui;
    QTemporaryDir dir;
    App a;
    NewSavedAndChanged(a, ui, dir.filePath("walk.anm"));
    const DocState before = Capture(*a.Doc());
    for (auto script : {Click(IDCANCEL), CScriptedUi::DialogScript([](CDialog& d) {
                            d.SetItemText(1000, "0");
                            d.ClickButton(IDOK);
                            d.ClickButton(IDCANCEL);
                        })}) {
        ui.Clear();
        ui.m_answers.push_back(IDNO);
        ui.m_dialogScripts.push_back(script);
        a.app.OnFileNew();
        EXPECT_TRUE(Capture(*a.Doc()) == before);
        EXPECT_EQ(a.Doc()->GetTitle(), QStringLiteral("walk"));
        EXPECT_NE(AfxGetMainWnd(), nullptr);
    }
}

TEST(NewAnimation, CancelAtStartLeavesNoWindow) {
    CScriptedUi ui;
    App a;
    ui.m_dialogScripts.push_back(Click(IDCANCEL));
    a.app.OnFileNew();
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
    EXPECT_EQ(ui.m_dialogTitles, QStringList{"New Animation"});
}

TEST(NewAnimation, WithoutMemoryTellsAndChangesNothing) {
    // 10000 x 10000 makes three images of 10004 x 10000.
    constexpr std::uint64_t kNeed = 3ull * 10004 * 10000;
    struct Case {
        const char* name;
        bool addressLimit;   // the system refuses the allocation
        std::uint64_t room;  // else it succeeds, and touching more than room would kill
    } cases[] = {
        {"address space too small", true, 0},
        {"one byte beyond what the process may have", false, kNeed - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
#if defined(__SANITIZE_ADDRESS__)
        if (c.addressLimit) continue;  // the limit does not mix with the shadow memory
#endif
        CScriptedUi ui;
        QTemporaryDir dir;
        App a;
        NewSavedAndChanged(a, ui, dir.filePath("walk.anm"));
        const DocState before = Capture(*a.Doc());
        rlimit old{};
        getrlimit(RLIMIT_AS, &old);
        std::optional<FakeMemoryInfo> fake;
        ui.Clear();
        ui.m_answers.push_back(IDNO);
        ui.m_dialogScripts.push_back([&](CDialog& d) {
            TypeAndOk("10000", "10000")(d);
            if (!c.addressLimit) {
                fake.emplace().LeaveRoomFor(c.room);
                return;
            }
            // Room for a little, not for three images of 100 MB.
            rlimit tight = old;
            QFile status(QStringLiteral("/proc/self/statm"));
            status.open(QIODevice::ReadOnly);
            const qulonglong pages = status.readAll().split(' ').value(0).toULongLong();
            tight.rlim_cur = pages * 4096 + 150ull * 1024 * 1024;
            setrlimit(RLIMIT_AS, &tight);
        });
        a.app.OnFileNew();
        setrlimit(RLIMIT_AS, &old);
        EXPECT_EQ(ui.Texts(), (QStringList{"Save changes to walk?",
                                           "Not enough memory to create the animation."}));
        EXPECT_TRUE(Capture(*a.Doc()) == before);
        if (fake) {
            // Exactly the room: the animation is made.
            fake->LeaveRoomFor(kNeed);
            ui.Clear();
            ui.m_answers.push_back(IDNO);
            ui.m_dialogScripts.push_back(TypeAndOk("10000", "10000"));
            a.app.OnFileNew();
            EXPECT_EQ(ui.Texts(), QStringList{"Save changes to walk?"});
            EXPECT_EQ(a.Doc()->m_nWidth, 10004);
        }
    }
}

TEST(OpenDamaged, KeepsTheOpenAnimationAndStartsNoNewOne) {
    struct Case {
        const char* name;
        QByteArray bytes;
        bool missing;
    } cases[] = {
        {"truncated", QByteArray::fromHex("01000000000000000000000004000000"), false},
        {"empty", QByteArray(), false},
        {"bad count", Header(0, 0, 0, 4, 1, 0, 0, 9) + Brushes(), false},
        {"missing", QByteArray(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedUi ui;
        QTemporaryDir dir;
        App a;
        NewSavedAndChanged(a, ui, dir.filePath("walk.anm"));
        const DocState before = Capture(*a.Doc());
        const QString bad = dir.filePath("bad.anm");
        if (!c.missing) WriteAll(bad, c.bytes);
        ui.Clear();
        ui.m_answers.push_back(IDNO);
        EXPECT_EQ(a.app.OpenDocumentFile(bad), nullptr);
        EXPECT_EQ(ui.Texts(),
                  (QStringList{"Save changes to walk?",
                               c.missing ? bad + " was not found." : "Unexpected file format."}));
        EXPECT_TRUE(ui.m_dialogTitles.isEmpty());
        EXPECT_TRUE(Capture(*a.Doc()) == before);
        EXPECT_FALSE(a.app.GetRecentFileList().contains(bad));
    }
}

TEST(Revert, AsksThenReadsTheSavedFile) {
    CScriptedUi ui;
    QTemporaryDir dir;
    const QString path = dir.filePath("walk.anm");
    App a;
    NewSavedAndChanged(a, ui, path);
    CLumvaneDoc& d = *a.Doc();
    ASSERT_TRUE(a.Enabled(ID_FILE_REVERTTOSAVED));
    const QStringList recent = a.app.GetRecentFileList();

    // No changes nothing.
    const DocState before = Capture(d);
    ui.Clear();
    ui.m_answers.push_back(IDNO);
    ASSERT_TRUE(AfxGetMainWnd()->ExecuteCommand(ID_FILE_REVERTTOSAVED));
    ASSERT_EQ(ui.m_messages.size(), 1u);
    EXPECT_EQ(ui.m_messages[0].text,
              QStringLiteral("Are you sure? You will lose changes since last save!"));
    EXPECT_EQ(ui.m_messages[0].caption, QStringLiteral("Lumvane"));
    EXPECT_EQ(ui.m_messages[0].type, static_cast<unsigned>(MB_YESNO | MB_ICONEXCLAMATION));
    EXPECT_TRUE(Capture(d) == before);

    // Yes reads the file again: the saved frames, frame 1 current as saved, not modified.
    ui.Clear();
    ui.m_answers.push_back(IDYES);
    ASSERT_TRUE(AfxGetMainWnd()->ExecuteCommand(ID_FILE_REVERTTOSAVED));
    EXPECT_EQ(ui.Texts(), QStringList{"Are you sure? You will lose changes since last save!"});
    EXPECT_EQ(d.m_nFrameCount, 2);
    EXPECT_EQ(d.m_nCurrentFrame, 1);
    EXPECT_EQ(Pixels(d.m_frames[0]), QByteArray(324 * 240, '\xff'));
    EXPECT_EQ(Pixels(d.m_frames[1]), QByteArray(324 * 240, 40));
    EXPECT_EQ(d.m_bUndoValid, 0);
    EXPECT_FALSE(d.IsModified());
    EXPECT_EQ(d.GetPathName(), path);
    EXPECT_EQ(a.app.GetRecentFileList(), recent);
}

TEST(Revert, DamagedOrMissingFileChangesNothingAndKeepsModified) {
    struct Case {
        const char* name;
        QByteArray bytes;
        bool remove;
    } cases[] = {
        {"empty", QByteArray(), false},
        {"truncated", Header(1, 0, 0, 324, 240, 0, 0, 9) + I32(324) + I32(240), false},
        {"runs pass the end",
         Header(1, 0, 0, 4, 1, 0, 0, 9) + I32(4) + I32(1) + RunBytes(1, 5) + Brushes(), false},
        {"removed", QByteArray(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedUi ui;
        QTemporaryDir dir;
        const QString path = dir.filePath("walk.anm");
        App a;
        NewSavedAndChanged(a, ui, path);
        if (c.remove)
            QFile::remove(path);
        else
            WriteAll(path, c.bytes);
        const DocState before = Capture(*a.Doc());
        ui.Clear();
        ui.m_answers.push_back(IDYES);
        a.Doc()->OnRevertToSaved();
        EXPECT_EQ(ui.Texts(),
                  (QStringList{"Are you sure? You will lose changes since last save!",
                               c.remove ? path + " was not found." : "Unexpected file format."}));
        EXPECT_TRUE(ui.m_dialogTitles.isEmpty());
        EXPECT_TRUE(Capture(*a.Doc()) == before);
        EXPECT_TRUE(a.Doc()->IsModified());
    }
}
