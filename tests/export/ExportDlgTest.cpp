// Export Settings, the progress window and the export loop through the scripted UI.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "document/LumvaneDoc.h"
#include "export/ExportDlg.h"
#include "export/ExportSequence.h"
#include "export/MovieExportDlg.h"
#include "export/MovieProbe.h"
#include "framework/FrameWnd.h"
#include "framework/View.h"
#include "support/FrameAccess.h"
#include "support/ScriptedUi.h"

namespace fs = std::filesystem;

namespace {
// An animation of count frames of w x h; frame i is filled with the value 10 + i.
void MakeAnimation(CLumvaneDoc& doc, int count, int w = 8, int h = 2) {
    ASSERT_EQ(doc.CreateAnimation(w, h), 1);
    for (int i = 0; i < count; ++i) frames::Fill(doc, i, 10 + i);
    doc.m_nFrameCount = count;
}

QStringList FilesIn(const QString& dir) {
    QStringList names;
    for (const auto& e : fs::directory_iterator(dir.toStdString()))
        names.append(QString::fromStdString(e.path().filename().string()));
    names.sort();
    return names;
}

std::vector<unsigned char> ReadAll(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

QString Err(const QString& file) {
    return QStringLiteral("Error writing file %1!: Disk Full or Write Protected").arg(file);
}

// What a user does in Export Settings; an empty text leaves that edit alone.
struct Settings {
    QString directory;  // answer of the directory chooser; empty: the button is not pressed
    QString name;
    QString start;
    int formatId = IDC_FORMAT_TESSEL;
};

// What a user does in Export Movie; a null text leaves that field alone. The chooser's answer
// for Select Output Path is the test's to queue.
struct MovieSteps {
    int formatId = IDC_MOVIE_MP4;
    bool choose = false;
    QString fps = {};
    QString name = {};
    QString start = {};
};

CScriptedUi::DialogScript FillMovie(const MovieSteps& s, bool press = true) {
    return [s, press](CDialog& d) {
        d.ClickButton(s.formatId);
        if (s.choose) d.ClickButton(IDC_MOVIE_SELECT_OUTPUT);
        if (!s.fps.isNull()) d.SetItemText(IDC_MOVIE_FPS, s.fps);
        if (!s.name.isNull()) d.SetItemText(IDC_MOVIE_SEQUENCE_NAME, s.name);
        if (!s.start.isNull()) d.SetItemText(IDC_MOVIE_START_NUMBER, s.start);
        if (press) d.ClickButton(IDOK);
    };
}

CScriptedUi::DialogScript Fill(const Settings& s, bool press = true) {
    return [s, press](CDialog& d) {
        if (!s.directory.isNull()) d.ClickButton(IDC_SELECT_OUTPUT_PATH);
        if (!s.name.isNull()) d.SetItemText(IDC_SEQUENCE_NAME, s.name);
        if (!s.start.isNull()) d.SetItemText(IDC_START_NUMBER, s.start);
        d.SetCheck(s.formatId, true);
        if (press) d.ClickButton(IDOK);
    };
}
}  // namespace

TEST(ExportDlg, ControlsTextsAndLayout) {
    CExportDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Export Settings");
    struct Item {
        int id;
        const char* text;
    } buttons[] = {{IDOK, "Export"},
                   {IDCANCEL, "Cancel"},
                   {IDC_FORMAT_TESSEL, "Tessel Drawing Sequence"},
                   {IDC_FORMAT_GRAY, "Grayscale Targa Sequence"},
                   {IDC_SELECT_OUTPUT_PATH, "Select Output Path"},
                   {IDC_FORMAT_COLOR, "Truecolor Targa Sequence"}};
    for (const Item& b : buttons) EXPECT_EQ(dlg.GetItemText(b.id), b.text) << b.id;
    EXPECT_TRUE(dlg.Item<QPushButton>(IDOK)->isDefault());
    EXPECT_TRUE(dlg.Item<QLineEdit>(IDC_OUTPUT_PATH)->isReadOnly());
    EXPECT_FALSE(dlg.Item<QLineEdit>(IDC_SEQUENCE_NAME)->isReadOnly());
    EXPECT_EQ(dlg.RadioGroup(IDC_FORMAT_TESSEL),
              (std::vector<int>{IDC_FORMAT_TESSEL, IDC_FORMAT_GRAY, IDC_FORMAT_COLOR}));
    QStringList boxes, labels;
    for (auto* g : dlg.findChildren<QGroupBox*>()) boxes.append(g->title());
    for (auto* l : dlg.findChildren<QLabel*>()) labels.append(l->text());
    EXPECT_EQ(boxes, (QStringList{"Sequence", "Format"}));
    EXPECT_EQ(labels, (QStringList{"Sequence Name :", "Start Frame No :"}));

    // The order in which Tab moves through the controls.
    const int order[] = {IDOK,
                         IDCANCEL,
                         IDC_SEQUENCE_NAME,
                         IDC_START_NUMBER,
                         IDC_FORMAT_TESSEL,
                         IDC_FORMAT_GRAY,
                         IDC_SELECT_OUTPUT_PATH,
                         IDC_OUTPUT_PATH,
                         IDC_FORMAT_COLOR};
    auto nextTabStop = [](QWidget* w) {
        do w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
        return w;
    };
    for (std::size_t i = 1; i < std::size(order); ++i)
        EXPECT_EQ(nextTabStop(dlg.GetDlgItem(order[i - 1])), dlg.GetDlgItem(order[i])) << order[i];

    // Top to bottom in the Sequence box, the Format box below, Cancel left of Export.
    dlg.show();
    QApplication::processEvents();
    auto y = [&](int id) { return dlg.GetDlgItem(id)->mapTo(&dlg, QPoint(0, 0)).y(); };
    auto x = [&](int id) { return dlg.GetDlgItem(id)->mapTo(&dlg, QPoint(0, 0)).x(); };
    EXPECT_LT(y(IDC_SELECT_OUTPUT_PATH), y(IDC_OUTPUT_PATH));
    EXPECT_LT(y(IDC_OUTPUT_PATH), y(IDC_SEQUENCE_NAME));
    EXPECT_LT(y(IDC_SEQUENCE_NAME), y(IDC_START_NUMBER));
    EXPECT_LT(y(IDC_START_NUMBER), y(IDC_FORMAT_TESSEL));
    EXPECT_LT(y(IDC_FORMAT_TESSEL), y(IDC_FORMAT_GRAY));
    EXPECT_LT(y(IDC_FORMAT_GRAY), y(IDC_FORMAT_COLOR));
    EXPECT_LT(y(IDC_FORMAT_COLOR), y(IDOK));
    EXPECT_EQ(y(IDOK), y(IDCANCEL));
    EXPECT_LT(x(IDCANCEL), x(IDOK));
}

TEST(ExportDlg, OpensWithTitleOneTesselAndNoPath) {
    struct Case {
        QString title;
        QString shown;
    } cases[] = {{"", "Untitled"}, {"walk", "walk"}, {"walk.anm", "walk.anm"}};
    for (const Case& c : cases) {
        CScriptedUi ui;
        CLumvaneDoc doc;
        MakeAnimation(doc, 1);
        doc.SetTitle(c.title);
        QString name, start, path;
        bool tessel = false;
        ui.m_dialogScripts.push_back([&](CDialog& d) {
            name = d.GetItemText(IDC_SEQUENCE_NAME);
            start = d.GetItemText(IDC_START_NUMBER);
            path = d.GetItemText(IDC_OUTPUT_PATH);
            tessel = d.IsChecked(IDC_FORMAT_TESSEL) && !d.IsChecked(IDC_FORMAT_GRAY) &&
                     !d.IsChecked(IDC_FORMAT_COLOR);
        });
        OnExport(doc, nullptr);
        EXPECT_EQ(ui.m_dialogTitles, QStringList{"Export Settings"});
        EXPECT_EQ(name, c.shown);
        EXPECT_EQ(start, "1");
        EXPECT_EQ(path, "");
        EXPECT_TRUE(tessel);
        EXPECT_TRUE(ui.Texts().isEmpty());
    }
}

TEST(ExportDlg, ExportButtonChecksInOrder) {
    const QString dir = QStringLiteral("/tmp");
    struct Case {
        Settings s;
        QStringList messages;
        bool accepted;
    } cases[] = {
        {{QString(), "walk", "1"}, {"Please Select an Output Path"}, false},
        {{QString(), "walk.x", "abc"}, {"Please Select an Output Path"}, false},
        {{dir, "walk", "1"}, {}, true},
        {{dir, "", "1"}, {}, true},
        {{dir, "abcdefghijklmnopqrstuvwxy", "0"}, {}, true},
        {{dir, "abcdefghijklmnopqrstuvwxyz", "1"},
         {"Please enter no more than 25 characters."},
         false},
        {{dir, "walk", "9999"}, {}, true},
        {{dir, "walk", " 12 "}, {}, true},
        {{dir, "walk", "10000"}, {"Please enter an integer between 0 and 9999."}, false},
        {{dir, "walk", "4294967295"}, {"Please enter an integer between 0 and 9999."}, false},
        {{dir, "walk", "4294967296"}, {"Please enter a positive integer."}, false},
        {{dir, "walk", "-1"}, {"Please enter a positive integer."}, false},
        {{dir, "walk", ""}, {"Please enter a positive integer."}, false},
        {{dir, "walk", "1x"}, {"Please enter a positive integer."}, false},
        {{dir, "walk.anm", "1"}, {"Only letters are allowed for the sequence name."}, false},
        {{dir, "walk1", "1"}, {"Only letters are allowed for the sequence name."}, false},
        {{dir, "my walk", "1"}, {"Only letters are allowed for the sequence name."}, false},
        {{dir, QString::fromUtf8("w\u00e4lk"), "1"},
         {"Only letters are allowed for the sequence name."},
         false},
        // The number is checked before the name.
        {{dir, "walk1", "10000"}, {"Please enter an integer between 0 and 9999."}, false},
    };
    for (const Case& c : cases) {
        CScriptedUi ui;
        ui.m_fileAnswers.push_back(c.s.directory);
        CExportDlg dlg;
        bool openAfterOk = false;
        ui.m_dialogScripts.push_back([&](CDialog& d) {
            Fill(c.s)(d);
            openAfterOk = !d.IsEnded();
        });
        const int result = dlg.DoModal();
        EXPECT_EQ(ui.Texts(), c.messages)
            << c.s.name.toStdString() << " " << c.s.start.toStdString();
        EXPECT_EQ(result, c.accepted ? IDOK : IDCANCEL) << c.s.name.toStdString();
        EXPECT_EQ(openAfterOk, !c.accepted);
        if (c.accepted) {
            EXPECT_EQ(dlg.m_strSequenceName, c.s.name);
            EXPECT_EQ(dlg.m_strOutputPath, "/tmp/");
        }
    }
}

TEST(ExportDlg, NameEditTakesNoTwentySixthCharacterButKeepsALongTitle) {
    CScriptedUi ui;
    CExportDlg dlg;
    dlg.m_strSequenceName = QStringLiteral("averyveryverylongtitleofthirty");  // 30 letters
    ui.m_dialogScripts.push_back([&](CDialog& d) {
        auto* edit = d.Item<QLineEdit>(IDC_SEQUENCE_NAME);
        EXPECT_EQ(edit->text().size(), 30);  // shown whole, reported on Export
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClicks(edit, "z");
        EXPECT_EQ(edit->text().size(), 30);
        QTest::keyClick(edit, Qt::Key_Backspace);
        EXPECT_EQ(edit->text().size(), 29);
        edit->selectAll();
        QTest::keyClicks(edit, "abcdefghijklmnopqrstuvwxyz");
        EXPECT_EQ(edit->text(), "abcdefghijklmnopqrstuvwxy");
    });
    dlg.DoModal();
}

TEST(ExportDlg, SelectOutputPathStoresADirectoryEndingInTheSeparator) {
    struct Case {
        QString answer;
        int chosen;
        QString path;
    } cases[] = {{"", 0, ""},
                 {"/tmp/anim", 1, "/tmp/anim/"},
                 {"/tmp/anim/", 1, "/tmp/anim/"},
                 {"/", 1, "/"}};
    for (const Case& c : cases) {
        CScriptedUi ui;
        ui.m_fileAnswers.push_back(c.answer);
        CExportDlg dlg;
        dlg.m_strSequenceName = QStringLiteral("walk");
        QString nameAfter, startAfter, pathAfter;
        ui.m_dialogScripts.push_back([&](CDialog& d) {
            d.SetItemText(IDC_SEQUENCE_NAME, QStringLiteral("typed"));
            d.SetItemText(IDC_START_NUMBER, QStringLiteral("77"));
            d.ClickButton(IDC_SELECT_OUTPUT_PATH);
            nameAfter = d.GetItemText(IDC_SEQUENCE_NAME);
            startAfter = d.GetItemText(IDC_START_NUMBER);
            pathAfter = d.GetItemText(IDC_OUTPUT_PATH);
        });
        dlg.DoModal();
        ASSERT_EQ(ui.m_fileRequests.size(), 1u);
        EXPECT_EQ(ui.m_fileRequests[0].title, "Select Output Directory");
        EXPECT_EQ(dlg.m_bPathChosen, c.chosen);
        EXPECT_EQ(dlg.m_strOutputPath, c.path);
        EXPECT_EQ(pathAfter, c.path);
        // Cancel changes nothing; a chosen path refills every control from the members.
        EXPECT_EQ(nameAfter, c.chosen ? "walk" : "typed");
        EXPECT_EQ(startAfter, c.chosen ? "1" : "77");
    }
}

TEST(ProgressDlg, CaptionBarAndKeysThatDoNothing) {
    CProgressDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Progress...");
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowCloseButtonHint);
    ASSERT_TRUE(dlg.Create());
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(dlg.isModal());
    EXPECT_EQ(dlg.m_progress, dlg.GetDlgItem(IDC_EXPORT_PROGRESS));
    EXPECT_EQ(dlg.m_progress->minimum(), 0);
    EXPECT_EQ(dlg.m_progress->maximum(), 100);
    EXPECT_TRUE(dlg.Item<QLineEdit>(IDC_EXPORT_STATUS)->isReadOnly());
    EXPECT_TRUE(dlg.findChildren<QPushButton*>().isEmpty());
    dlg.SetProgress(QStringLiteral("Exporting frame 2 of 3"), 33);
    EXPECT_EQ(dlg.m_strStatus, "Exporting frame 2 of 3");
    EXPECT_EQ(dlg.GetItemText(IDC_EXPORT_STATUS), "Exporting frame 2 of 3");
    EXPECT_EQ(dlg.m_progress->value(), 33);
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(&dlg, static_cast<Qt::Key>(key));
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_FALSE(dlg.IsEnded());
    }
    dlg.close();
    EXPECT_TRUE(dlg.isVisible());
}

TEST(Export, FileNamesOfEveryFormat) {
    struct Case {
        int frames;
        QString name;
        QString start;
        int formatId;
        QStringList files;
    } cases[] = {
        {3, "walk", "1", IDC_FORMAT_TESSEL, {"walk1.tsd", "walk2.tsd", "walk3.tsd"}},
        {2, "walk", "0", IDC_FORMAT_TESSEL, {"walk0.tsd", "walk1.tsd"}},
        {2, "walk", "9", IDC_FORMAT_TESSEL, {"walk10.tsd", "walk9.tsd"}},
        {2, "walk", "0", IDC_FORMAT_GRAY, {"walk0000.tga", "walk0001.tga"}},
        {2, "", "1", IDC_FORMAT_GRAY, {"0001.tga", "0002.tga"}},
        {3, "walk", "9999", IDC_FORMAT_COLOR, {"walk10000.tga", "walk10001.tga", "walk9999.tga"}},
        {3, "walk", "98", IDC_FORMAT_COLOR, {"walk0098.tga", "walk0099.tga", "walk0100.tga"}},
        {2, "walk", "999", IDC_FORMAT_GRAY, {"walk0999.tga", "walk1000.tga"}},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        CScriptedUi ui;
        CLumvaneDoc doc;
        MakeAnimation(doc, c.frames);
        ui.m_fileAnswers.push_back(dir.path());
        ui.m_dialogScripts.push_back(Fill({dir.path(), c.name, c.start, c.formatId}));
        OnExport(doc, nullptr);
        EXPECT_TRUE(ui.Texts().isEmpty()) << ui.Texts().join("|").toStdString();
        EXPECT_EQ(FilesIn(dir.path()), c.files) << c.name.toStdString() << c.start.toStdString();
    }
}

TEST(Export, EveryFrameInOrderWithItsWriter) {
    QTemporaryDir dir;
    CScriptedUi ui;
    CLumvaneDoc doc;
    MakeAnimation(doc, 3, 4, 1);
    const int ids[] = {IDC_FORMAT_TESSEL, IDC_FORMAT_GRAY, IDC_FORMAT_COLOR};
    const QString names[] = {"a", "b", "c"};
    for (int f = 0; f < 3; ++f) {
        ui.m_fileAnswers.push_back(dir.path());
        ui.m_dialogScripts.push_back(Fill({dir.path(), names[f], "1", ids[f]}));
        OnExport(doc, nullptr);
    }
    for (int i = 0; i < 3; ++i) {
        const auto tsd = ReadAll(dir.path() + QStringLiteral("/a%1.tsd").arg(i + 1));
        const auto gray = ReadAll(dir.path() + QStringLiteral("/b000%1.tga").arg(i + 1));
        const auto color = ReadAll(dir.path() + QStringLiteral("/c000%1.tga").arg(i + 1));
        ASSERT_EQ(tsd.size(), 22u);
        ASSERT_EQ(gray.size(), 22u);
        ASSERT_EQ(color.size(), 30u);
        EXPECT_EQ(tsd[3], 0x48);
        EXPECT_EQ(gray[3], 0);
        EXPECT_EQ(color[2], 2);
        EXPECT_EQ(tsd[18], 10 + i);
        EXPECT_EQ(gray[21], 10 + i);
        EXPECT_EQ(color[29], 10 + i);
    }
    EXPECT_TRUE(ui.Texts().isEmpty());
    EXPECT_FALSE(doc.IsModified());
}

TEST(Export, PathMustBeChosenAgainInEveryExport) {
    QTemporaryDir dir;
    CScriptedUi ui;
    CLumvaneDoc doc;
    MakeAnimation(doc, 1);
    ui.m_fileAnswers.push_back(dir.path());
    ui.m_dialogScripts.push_back(Fill({dir.path(), "walk", "1"}));
    OnExport(doc, nullptr);
    ASSERT_TRUE(ui.Texts().isEmpty());
    ui.m_dialogScripts.push_back(Fill({QString(), "walk", "1"}));
    OnExport(doc, nullptr);
    EXPECT_EQ(ui.Texts(), QStringList{"Please Select an Output Path"});
    EXPECT_EQ(FilesIn(dir.path()), QStringList{"walk1.tsd"});
}

TEST(Export, CancelWritesNothing) {
    QTemporaryDir dir;
    CScriptedUi ui;
    CLumvaneDoc doc;
    MakeAnimation(doc, 2);
    ui.m_fileAnswers.push_back(dir.path());
    ui.m_dialogScripts.push_back([&](CDialog& d) {
        Fill({dir.path(), "walk", "1"}, false)(d);
        d.ClickButton(IDCANCEL);
    });
    OnExport(doc, nullptr);
    EXPECT_TRUE(FilesIn(dir.path()).isEmpty());
    EXPECT_TRUE(ui.Texts().isEmpty());
}

TEST(Export, FailureOnFrameFiveOfTenStopsWithTwoMessages) {
    // Frame 5 can neither be created (a directory holds its name) or fails while writing (its
    // name leads to a full device); four complete files stay and nothing after it is written.
    for (int variant = 0; variant < 2; ++variant) {
        QTemporaryDir dir;
        const QString fifth = dir.path() + "/walk0005.tga";
        if (variant == 0)
            fs::create_directory(fifth.toStdString());
        else
            fs::create_symlink("/dev/full", fifth.toStdString());
        CScriptedUi ui;
        CLumvaneDoc doc;
        MakeAnimation(doc, 10, 720, 576);
        ui.m_fileAnswers.push_back(dir.path());
        ui.m_dialogScripts.push_back(Fill({dir.path(), "walk", "1", IDC_FORMAT_COLOR}));
        OnExport(doc, nullptr);
        EXPECT_EQ(ui.Texts(), (QStringList{Err(fifth), "Disk Problem in Export"}));
        EXPECT_EQ(FilesIn(dir.path()), (QStringList{"walk0001.tga", "walk0002.tga", "walk0003.tga",
                                                    "walk0004.tga", "walk0005.tga"}));
        for (int i = 1; i <= 4; ++i)
            EXPECT_EQ(fs::file_size(
                          QStringLiteral("%1/walk000%2.tga").arg(dir.path()).arg(i).toStdString()),
                      1244178u);
    }
}

TEST(Export, ProgressTextsAndPositions) {
    QTemporaryDir dir;
    CLumvaneDoc doc;
    MakeAnimation(doc, 3);
    std::vector<std::pair<int, int>> calls;
    ExportSettings s{dir.path() + "/", "walk", 1, EXPORT_DRAWING};
    EXPECT_EQ(ExportFrames(doc, s, [&](int i, int n) { calls.push_back({i, n}); }), 1);
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}}));
    EXPECT_EQ(ExportTextProgress(1, 3), "Exporting frame 1 of 3");
    // An unknown format writes nothing and goes on.
    s.format = 3;
    s.sequenceName = "other";
    EXPECT_EQ(ExportFrames(doc, s), 1);
    EXPECT_EQ(FilesIn(dir.path()), (QStringList{"walk1.tsd", "walk2.tsd", "walk3.tsd"}));
}

namespace {
// Records the input and paints a main-window widget receives.
struct Recorder : QWidget, CView {
    QWidget* GetWidget() override { return this; }
    int inputs = 0;
    int paints = 0;
    bool event(QEvent* e) override {
        switch (e->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::KeyPress:
            case QEvent::Wheel:
                ++inputs;
                return true;
            case QEvent::Paint:
                ++paints;
                return true;
            default:
                return QWidget::event(e);
        }
    }
};
}  // namespace

TEST(Export, MainWindowTakesNoInputButRepaintsAndClosesAfterwards) {
    struct Case {
        int id;
        const char* title;
        int files;
    } cases[] = {{ID_FILE_EXPORT, "Export Settings", 6}, {ID_FILE_EXPORTMOVIE, "Export Movie", 1}};
    for (const Case& c : cases) {
        QTemporaryDir dir;
        CScriptedUi ui;
        CLumvaneDoc doc;
        MakeAnimation(doc, 6, 720, 576);
        auto* frame = new CFrameWnd;
        RegisterExportCommands(doc, frame);
        RegisterMovieExportCommands(doc, frame);
        frame->setAttribute(Qt::WA_DeleteOnClose, false);
        auto* view = new Recorder;
        frame->setCentralWidget(view);
        doc.AddView(view);
        frame->SetActiveView(view);
        frame->resize(400, 300);
        frame->show();
        AfxSetMainWnd(frame);
        QApplication::processEvents();

        int paintsDuring = -1, framesSeen = 0;
        bool commandRan = true, blocked = false, progressShown = false;
        QString progressText;
        // Runs from the progress window's first event pass, i.e. while frame 1 is being exported.
        QTimer::singleShot(0, [&] {
            blocked = frame->CommandsBlocked();
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* p = qobject_cast<CProgressDlg*>(w)) {
                    progressShown = p->isVisible();
                    progressText = p->m_strStatus;
                }
            const int before = doc.m_nFrameCount;
            commandRan = frame->ExecuteCommand(c.id);
            framesSeen = before;
            QPointF at(5, 5);
            QCoreApplication::postEvent(
                view, new QMouseEvent(QEvent::MouseButtonPress, at, at, at, Qt::LeftButton,
                                      Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(
                view, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
            paintsDuring = view->paints;
            view->update();
            frame->close();
        });
        if (c.id == ID_FILE_EXPORT) {
            ui.m_fileAnswers.push_back(dir.path());
            ui.m_dialogScripts.push_back(Fill({dir.path(), "walk", "1", IDC_FORMAT_COLOR}));
        } else {
            ui.m_fileAnswers.push_back(dir.path() + "/walk.gif");
            ui.m_dialogScripts.push_back(FillMovie({IDC_MOVIE_GIF, true}));
        }
        EXPECT_TRUE(frame->ExecuteCommand(c.id));
        const int paintsAfter = view->paints;

        EXPECT_TRUE(blocked);
        EXPECT_TRUE(progressShown);
        EXPECT_EQ(progressText, "Exporting frame 1 of 6");
        EXPECT_FALSE(commandRan);
        EXPECT_EQ(framesSeen, 6);
        EXPECT_EQ(view->inputs, 0);
        EXPECT_GT(paintsAfter, paintsDuring);
        EXPECT_EQ(ui.m_dialogTitles, QStringList{c.title});  // no second export
        EXPECT_EQ(FilesIn(dir.path()).size(), c.files);
        EXPECT_TRUE(ui.Texts().isEmpty()) << ui.Texts().join('|').toStdString();
        // Afterwards: commands run again, the progress window is gone and the close went through.
        EXPECT_FALSE(frame->CommandsBlocked());
        EXPECT_FALSE(frame->isVisible());
        for (QWidget* w : QApplication::topLevelWidgets())
            EXPECT_FALSE(qobject_cast<CProgressDlg*>(w) && w->isVisible());
        AfxSetMainWnd(nullptr);
        delete frame;
    }
}

TEST(Export, CommandIsAlwaysEnabled) {
    CScriptedUi ui;
    CLumvaneDoc doc;  // not even an animation yet
    RegisterExportCommands(doc, nullptr);
    RegisterMovieExportCommands(doc, nullptr);
    for (const int id : {ID_FILE_EXPORT, ID_FILE_EXPORTMOVIE}) {
        CCmdUI cmd(id);
        EXPECT_TRUE(doc.OnCmdMsg(id, CmdPhase::Update, &cmd));
        EXPECT_TRUE(cmd.m_bEnabled);
        EXPECT_TRUE(doc.OnCmdMsg(id, CmdPhase::Execute, nullptr));
    }
    EXPECT_EQ(ui.m_dialogTitles, (QStringList{"Export Settings", "Export Movie"}));
    // Export Movie follows Export, should that ever be disabled.
    doc.OnUpdateCommand(ID_FILE_EXPORT, [](CCmdUI* u) { u->Enable(false); });
    CCmdUI movie(ID_FILE_EXPORTMOVIE);
    EXPECT_TRUE(doc.OnCmdMsg(ID_FILE_EXPORTMOVIE, CmdPhase::Update, &movie));
    EXPECT_FALSE(movie.m_bEnabled);
}

TEST(Export, TitleThatIsNotOnlyLettersMustBeEdited) {
    for (const QString title : {"walk.anm", "walk2", "my walk"}) {
        QTemporaryDir dir;
        CScriptedUi ui;
        CLumvaneDoc doc;
        MakeAnimation(doc, 1);
        doc.SetTitle(title);
        ui.m_fileAnswers.push_back(dir.path());
        bool open = false;
        ui.m_dialogScripts.push_back([&](CDialog& d) {
            d.ClickButton(IDC_SELECT_OUTPUT_PATH);
            d.ClickButton(IDOK);
            open = !d.IsEnded();
        });
        OnExport(doc, nullptr);
        EXPECT_TRUE(open) << title.toStdString();
        EXPECT_EQ(ui.Texts(), QStringList{"Only letters are allowed for the sequence name."});
        EXPECT_TRUE(FilesIn(dir.path()).isEmpty());
    }
}

namespace {
// A track of n bytes at 11025 samples per second, as Audio > Load leaves it.
void LoadTrack(CLumvaneDoc& doc, int n) {
    doc.m_pWaveFormat = {1, 0, 1, 0, 0x11, 0x2B, 0, 0, 0x11, 0x2B, 0, 0, 1, 0, 8, 0};
    doc.m_pSoundData.reset(new unsigned char[static_cast<std::size_t>(n)]);
    for (int i = 0; i < n; ++i) doc.m_pSoundData[i] = static_cast<unsigned char>(i * 7);
    doc.m_nSoundBytes = n;
    doc.m_bSoundLoaded = 1;
}

// The document as a fingerprint: frames, their pixels, the current frame, the modified flag.
std::string Fingerprint(const CLumvaneDoc& doc) {
    std::string s = std::to_string(doc.m_nFrameCount) + " " + std::to_string(doc.m_nCurrentFrame) +
                    " " + std::to_string(doc.IsModified());
    for (int i = 0; i < doc.m_nFrameCount; ++i) {
        const std::vector<unsigned char> b = frames::Bytes(doc, i);
        s.append(b.begin(), b.end());
    }
    return s;
}

QStringList AllFilesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}
}  // namespace

TEST(MovieExportDlg, ControlsAndTexts) {
    CMovieExportDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), "Export Movie");
    const std::pair<int, const char*> texts[] = {{IDOK, "Export"},
                                                 {IDCANCEL, "Cancel"},
                                                 {IDC_MOVIE_MP4, "MP4 video (H.264)"},
                                                 {IDC_MOVIE_WEBM, "WebM video (VP9)"},
                                                 {IDC_MOVIE_GIF, "Animated GIF"},
                                                 {IDC_MOVIE_PNG, "PNG images"},
                                                 {IDC_MOVIE_SOUND, "Include the sound track"},
                                                 {IDC_MOVIE_SELECT_OUTPUT, "Select Output Path"}};
    for (const auto& [id, text] : texts) EXPECT_EQ(dlg.GetItemText(id), text) << id;
    EXPECT_EQ(dlg.RadioGroup(IDC_MOVIE_MP4),
              (std::vector<int>{IDC_MOVIE_MP4, IDC_MOVIE_WEBM, IDC_MOVIE_GIF, IDC_MOVIE_PNG}));
    EXPECT_TRUE(dlg.Item<QLineEdit>(IDC_MOVIE_OUTPUT)->isReadOnly());
    QStringList boxes, labels;
    for (auto* g : dlg.findChildren<QGroupBox*>()) boxes.append(g->title());
    for (auto* l : dlg.findChildren<QLabel*>()) labels.append(l->text());
    EXPECT_EQ(boxes, (QStringList{"Format", "Output"}));
    EXPECT_EQ(labels, (QStringList{"Frame rate :", "frames per second",
                                   "Sequence Name :", "Start Frame No :"}));
    // The progress window of a movie: the Targa one's caption and fields, and Cancel.
    CMovieProgressDlg progress;
    EXPECT_EQ(progress.windowTitle(), "Progress...");
    EXPECT_FALSE(progress.windowFlags() & Qt::WindowCloseButtonHint);
    ASSERT_EQ(progress.findChildren<QPushButton*>().size(), 1);
    EXPECT_EQ(progress.GetItemText(IDCANCEL), "Cancel");
    EXPECT_TRUE(progress.Item<QLineEdit>(IDC_EXPORT_STATUS)->isReadOnly());
}

TEST(MovieExportDlg, OpensWithTheDocumentsRateSoundAndNames) {
    struct Case {
        QString path;  // empty: never saved
        int fps;
        bool sound;
        QString shownName;
        QString defaultFile;
    } cases[] = {
        {"", 25, false, "Untitled", QDir::homePath() + "/Untitled.mp4"},
        {"/tmp/anims/walk.anm", 30, true, "walk", "/tmp/anims/walk.mp4"},
        {"/tmp/anims/walk.v2.anm", 100, true, "walk.v2", "/tmp/anims/walk.v2.mp4"},
    };
    for (const Case& c : cases) {
        CScriptedUi ui;
        CLumvaneDoc doc;
        MakeAnimation(doc, 1);
        if (!c.path.isEmpty()) doc.SetPathName(c.path, false);
        doc.m_nFps = c.fps;
        if (c.sound) LoadTrack(doc, 100);
        QString fps, name, output;
        bool mp4 = false, soundOn = false, soundChecked = false, nameOn = true;
        ui.m_dialogScripts.push_back([&](CDialog& d) {
            fps = d.GetItemText(IDC_MOVIE_FPS);
            name = d.GetItemText(IDC_MOVIE_SEQUENCE_NAME);
            output = d.GetItemText(IDC_MOVIE_OUTPUT);
            mp4 = d.IsChecked(IDC_MOVIE_MP4) && !d.IsChecked(IDC_MOVIE_WEBM) &&
                  !d.IsChecked(IDC_MOVIE_GIF) && !d.IsChecked(IDC_MOVIE_PNG);
            soundOn = d.GetDlgItem(IDC_MOVIE_SOUND)->isEnabled();
            soundChecked = d.IsChecked(IDC_MOVIE_SOUND);
            nameOn = d.GetDlgItem(IDC_MOVIE_SEQUENCE_NAME)->isEnabled();
            d.ClickButton(IDC_MOVIE_SELECT_OUTPUT);  // answered Cancel
        });
        OnExportMovie(doc, nullptr);
        SCOPED_TRACE(c.path.toStdString());
        EXPECT_EQ(ui.m_dialogTitles, QStringList{"Export Movie"});
        EXPECT_EQ(fps, QString::number(c.fps));
        EXPECT_TRUE(mp4);
        EXPECT_EQ(soundOn, c.sound);
        EXPECT_EQ(soundChecked, c.sound);
        EXPECT_EQ(name, c.shownName);
        EXPECT_FALSE(nameOn);
        EXPECT_EQ(output, "");
        ASSERT_EQ(ui.m_fileRequests.size(), 1u);
        const FileDialogRequest& r = ui.m_fileRequests[0];
        EXPECT_FALSE(r.open);
        EXPECT_EQ(r.title, "Select Output File");
        EXPECT_EQ(r.filter, "MP4 video (*.mp4)");
        EXPECT_EQ(r.defaultExt, ".mp4");
        EXPECT_EQ(r.initialPath, c.defaultFile);
        EXPECT_TRUE(ui.Texts().isEmpty());
    }
}

TEST(MovieExportDlg, EachFormatShowsWhatAppliesToIt) {
    CScriptedUi ui;
    CLumvaneDoc doc;
    MakeAnimation(doc, 1);
    doc.SetPathName("/tmp/anims/walk.anm", false);
    LoadTrack(doc, 100);
    ui.m_fileAnswers = {"/tmp/x/take", "/tmp/x", "/tmp/y/run.gif"};
    struct Step {
        int click;  // a format, Select Output Path or the sound box
        QString output;
        bool soundOn, soundChecked, fpsOn, nameOn;
    };
    const Step steps[] = {
        {IDC_MOVIE_SELECT_OUTPUT, "/tmp/x/take.mp4", true, true, true, false},
        {IDC_MOVIE_SOUND, "/tmp/x/take.mp4", true, false, true, false},
        {IDC_MOVIE_WEBM, "/tmp/x/take.webm", true, false, true, false},
        {IDC_MOVIE_SOUND, "/tmp/x/take.webm", true, true, true, false},
        {IDC_MOVIE_GIF, "/tmp/x/take.gif", false, false, true, false},
        {IDC_MOVIE_PNG, "", false, false, false, true},
        {IDC_MOVIE_SELECT_OUTPUT, "/tmp/x/", false, false, false, true},
        {IDC_MOVIE_MP4, "/tmp/x/take.mp4", true, true, true, false},
        {IDC_MOVIE_GIF, "/tmp/x/take.gif", false, false, true, false},
        {IDC_MOVIE_SELECT_OUTPUT, "/tmp/y/run.gif", false, false, true, false},
        {IDC_MOVIE_PNG, "/tmp/x/", false, false, false, true},
        {IDC_MOVIE_WEBM, "/tmp/y/run.webm", true, true, true, false},
    };
    ui.m_dialogScripts.push_back([&](CDialog& d) {
        for (const Step& st : steps) {
            d.ClickButton(st.click);
            SCOPED_TRACE(st.output.toStdString());
            EXPECT_EQ(d.GetItemText(IDC_MOVIE_OUTPUT), st.output);
            EXPECT_EQ(d.GetDlgItem(IDC_MOVIE_SOUND)->isEnabled(), st.soundOn);
            EXPECT_EQ(d.IsChecked(IDC_MOVIE_SOUND), st.soundChecked);
            EXPECT_EQ(d.GetDlgItem(IDC_MOVIE_FPS)->isEnabled(), st.fpsOn);
            EXPECT_EQ(d.GetDlgItem(IDC_MOVIE_SEQUENCE_NAME)->isEnabled(), st.nameOn);
            EXPECT_EQ(d.GetDlgItem(IDC_MOVIE_START_NUMBER)->isEnabled(), st.nameOn);
        }
    });
    OnExportMovie(doc, nullptr);
    ASSERT_EQ(ui.m_fileRequests.size(), 3u);
    EXPECT_EQ(ui.m_fileRequests[1].title, "Select Output Directory");
    EXPECT_EQ(ui.m_fileRequests[1].initialPath, "/tmp/anims");
    // Chosen once, a movie is offered again where it was, under the format's ending.
    EXPECT_EQ(ui.m_fileRequests[2].initialPath, "/tmp/x/take.gif");
    EXPECT_EQ(ui.m_fileRequests[2].filter, "Animated GIF (*.gif)");
}

TEST(MovieExportDlg, ExportButtonChecksInOrder) {
    const QString range = "Please enter an integer between 1 and 100.";
    const QString letters = "Only letters are allowed for the sequence name.";
    struct Case {
        int formatId;
        QString output;  // the chooser's answer; null: not chosen
        QString fps, name, start;
        QStringList messages;
        int fpsSet = 0;  // accepted: the rate of the settings
    } cases[] = {
        {IDC_MOVIE_MP4, QString(), "25", "walk", "1", {"Please Select an Output Path"}},
        {IDC_MOVIE_PNG, QString(), "0", "walk", "1", {"Please Select an Output Path"}},
        {IDC_MOVIE_MP4, "/tmp/m.mp4", "0", "walk", "1", {range}},
        {IDC_MOVIE_WEBM, "/tmp/m.webm", "101", "walk", "1", {range}},
        {IDC_MOVIE_GIF, "/tmp/m.gif", "x", "walk", "1", {"Please enter an integer."}},
        {IDC_MOVIE_MP4, "/tmp/m.mp4", "", "walk", "1", {"Please enter an integer."}},
        {IDC_MOVIE_MP4, "/tmp/m.mp4", "1", "walk", "1", {}, 1},
        {IDC_MOVIE_GIF, "/tmp/m.gif", " 100 ", "walk", "1", {}, 100},
        // Name and number belong to images only; the rate does not.
        {IDC_MOVIE_MP4, "/tmp/m.mp4", "30", "walk1", "x", {}, 30},
        {IDC_MOVIE_PNG, "/tmp", "0", "walk", "9999", {}, 25},
        {IDC_MOVIE_PNG, "/tmp", "25", "walk1", "1", {letters}},
        {IDC_MOVIE_PNG,
         "/tmp",
         "25",
         "abcdefghijklmnopqrstuvwxyz",
         "1",
         {"Please enter no more than 25 characters."}},
        {IDC_MOVIE_PNG,
         "/tmp",
         "25",
         "walk",
         "10000",
         {"Please enter an integer between 0 and 9999."}},
        {IDC_MOVIE_PNG, "/tmp", "25", "walk1", "-1", {"Please enter a positive integer."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.output + " " + c.fps + " " + c.name + " " + c.start).toStdString());
        CScriptedUi ui;
        if (!c.output.isNull()) ui.m_fileAnswers.push_back(c.output);
        CMovieExportDlg dlg;
        bool open = false;
        ui.m_dialogScripts.push_back([&](CDialog& d) {
            FillMovie({c.formatId, !c.output.isNull(), c.fps, c.name, c.start})(d);
            open = !d.IsEnded();
        });
        const int result = dlg.DoModal();
        EXPECT_EQ(ui.Texts(), c.messages);
        EXPECT_EQ(result, c.messages.isEmpty() ? IDOK : IDCANCEL);
        EXPECT_EQ(open, !c.messages.isEmpty());
        if (result != IDOK) continue;
        const MovieSettings s = dlg.Settings();
        EXPECT_EQ(s.fps, c.fpsSet);
        EXPECT_EQ(s.outputPath, c.formatId == IDC_MOVIE_PNG ? c.output + "/" : c.output);
        EXPECT_FALSE(s.includeSound);
        EXPECT_EQ(s.startNumber, c.formatId == IDC_MOVIE_PNG ? c.start.toUInt() : 1u);
    }
}

// What the dialog asks for is what gets written, the document untouched.
TEST(MovieExport, WritesWhatTheDialogAsks) {
    struct Case {
        int formatId;
        bool soundClick;  // clicks the sound box once
        const char* output;
        QStringList files;
        const char* audio;  // the sound stream's codec, "" none
    } cases[] = {
        {IDC_MOVIE_MP4, false, "/walk.mp4", {"walk.mp4"}, "aac"},
        {IDC_MOVIE_MP4, true, "/walk.mp4", {"walk.mp4"}, ""},
        {IDC_MOVIE_WEBM, false, "/walk", {"walk.webm"}, "opus"},
        {IDC_MOVIE_GIF, false, "/walk.gif", {"walk.gif"}, ""},
        {IDC_MOVIE_PNG, false, "", {"walk0007.png", "walk0008.png", "walk0009.png"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files.join(' ').toStdString() + (c.soundClick ? " without sound" : ""));
        QTemporaryDir dir;
        CScriptedUi ui;
        CLumvaneDoc doc;
        MakeAnimation(doc, 3, 16, 8);
        LoadTrack(doc, 2000);
        doc.SetModifiedFlag(false);
        const std::string before = Fingerprint(doc);
        ui.m_fileAnswers.push_back(dir.path() + c.output);
        ui.m_dialogScripts.push_back([&](CDialog& d) {
            if (c.soundClick) d.ClickButton(IDC_MOVIE_SOUND);
            FillMovie({c.formatId, true, "10", "walk", "7"})(d);
        });
        OnExportMovie(doc, nullptr);
        EXPECT_TRUE(ui.Texts().isEmpty()) << ui.Texts().join('|').toStdString();
        EXPECT_EQ(AllFilesIn(dir.path()), c.files);
        EXPECT_EQ(Fingerprint(doc), before);
        if (c.formatId == IDC_MOVIE_PNG) continue;
        const ProbedMovie m = ProbeMovie((dir.path() + "/" + c.files[0]).toStdString());
        ASSERT_EQ(m.error, "");
        EXPECT_EQ(m.frames.size(), 3u);
        EXPECT_EQ(m.audio.present ? m.audio.codec : "", c.audio);
    }
}

// Cancel at the first, a middle and the last frame (button or Escape), and a movie that cannot
// be written: the message, no partial movie, the document as it was.
TEST(MovieExport, CancelAndFailureThroughTheProgressWindow) {
    struct Case {
        int formatId;
        int cancelAt;  // 1-based frame whose progress text is showing; 0: no Cancel
        bool escape;
        const char* output;    // below the folder
        QStringList messages;  // $ stands for the folder
        QStringList files;
        unsigned icon;
    } cases[] = {
        {IDC_MOVIE_MP4,
         1,
         false,
         "/walk.mp4",
         {"Export cancelled. $/walk.mp4 was not written."},
         {},
         MB_ICONINFORMATION},
        {IDC_MOVIE_MP4,
         3,
         true,
         "/walk.mp4",
         {"Export cancelled. $/walk.mp4 was not written."},
         {},
         MB_ICONINFORMATION},
        {IDC_MOVIE_WEBM,
         5,
         false,
         "/walk.webm",
         {"Export cancelled. $/walk.webm was not written."},
         {},
         MB_ICONINFORMATION},
        {IDC_MOVIE_GIF,
         5,
         false,
         "/walk.gif",
         {"Export cancelled. $/walk.gif was not written."},
         {},
         MB_ICONINFORMATION},
        {IDC_MOVIE_PNG,
         3,
         false,
         "",
         {"Export cancelled after 2 of 5 images."},
         {"walk0001.png", "walk0002.png"},
         MB_ICONINFORMATION},
        {IDC_MOVIE_MP4,
         0,
         false,
         "/no/walk.mp4",
         {"Error writing file $/no/walk.mp4!: Disk Full or Write Protected",
          "Disk Problem in Export"},
         {},
         MB_ICONEXCLAMATION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QString("%1 at %2").arg(c.output).arg(c.cancelAt).toStdString());
        QTemporaryDir dir;
        CScriptedUi ui;
        CLumvaneDoc doc;
        MakeAnimation(doc, 5, 64, 48);
        LoadTrack(doc, 5000);
        doc.SetModifiedFlag(false);
        const std::string before = Fingerprint(doc);
        ui.m_fileAnswers.push_back(dir.path() + c.output);
        ui.m_dialogScripts.push_back(FillMovie({c.formatId, true, "25", "walk", "1"}));
        // Looks at the progress window at every pass of its events, i.e. once per frame.
        QTimer watch;
        const QString due = QString("Exporting frame %1 of 5").arg(c.cancelAt);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* p = qobject_cast<CMovieProgressDlg*>(w);
                if (!p || !p->isVisible() || p->m_strStatus != due) continue;
                if (c.escape)
                    QTest::keyClick(p, Qt::Key_Escape);
                else
                    p->ClickButton(IDCANCEL);
                watch.stop();
            }
        });
        if (c.cancelAt) watch.start(0);
        OnExportMovie(doc, nullptr);
        QStringList messages = c.messages;
        messages.replaceInStrings("$", dir.path());
        EXPECT_EQ(ui.Texts(), messages);
        ASSERT_FALSE(ui.m_messages.empty());
        EXPECT_EQ(ui.m_messages[0].type & MB_ICONMASK, c.icon);
        EXPECT_EQ(AllFilesIn(dir.path()), c.files);
        EXPECT_EQ(Fingerprint(doc), before);
    }
}

// File > Export and File > Export Movie with an output that is what the export reads: the
// animation's own file (by name, through a link, or as one of the numbered names) or the sound
// track. The message names both, nothing is written, every file stays as it was.
TEST(Export, OutputThatIsTheAnimationOrTheSoundIsRefused) {
    struct Case {
        const char* name;
        const char* animation;  // the document's file in the folder
        bool movie;             // File > Export Movie, else File > Export
        int formatId;
        const char* output;  // the chooser's answer below the folder ("" the folder)
        const char* start;
        QString message;  // $ stands for the folder
    } cases[] = {
        {"a movie over the animation", "walk.anm", true, IDC_MOVIE_MP4, "/walk.anm", "1",
         "Cannot write $/walk.anm: it is the animation file $/walk.anm."},
        {"a GIF through a link to it", "walk.anm", true, IDC_MOVIE_GIF, "/link.gif", "1",
         "Cannot write $/link.gif: it is the animation file $/walk.anm."},
        {"a movie over the sound track", "walk.anm", true, IDC_MOVIE_WEBM, "/voice.wav", "1",
         "Cannot write $/voice.wav: it is the sound track $/voice.wav."},
        {"PNG images, one named as the animation", "walk0004.png", true, IDC_MOVIE_PNG, "", "2",
         "Cannot write $/walk0004.png: it is the animation file $/walk0004.png."},
        {"Targa files, one named as the animation", "walk0002.tga", false, IDC_FORMAT_GRAY, "", "1",
         "Cannot write $/walk0002.tga: it is the animation file $/walk0002.tga."},
        {"drawing files, one named as the animation", "walk3.tsd", false, IDC_FORMAT_TESSEL, "",
         "3", "Cannot write $/walk3.tsd: it is the animation file $/walk3.tsd."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString d = dir.path();
        CScriptedUi ui;
        CLumvaneDoc doc;
        MakeAnimation(doc, 3, 16, 8);
        const QString anm = d + "/" + c.animation;
        ASSERT_EQ(doc.OnSaveDocument(anm), 1);
        doc.SetPathName(anm, false);
        LoadTrack(doc, 2000);
        doc.m_szSoundPath = d + "/voice.wav";
        ASSERT_TRUE(QFile::copy(anm, doc.m_szSoundPath));
        ASSERT_TRUE(QFile::link(anm, d + "/link.gif"));
        const QStringList files = AllFilesIn(d);
        const std::vector<unsigned char> animation = ReadAll(anm);
        bool open = false;
        if (c.movie) {
            ui.m_fileAnswers.push_back(d + c.output);
            ui.m_dialogScripts.push_back([&](CDialog& dlg) {
                FillMovie({c.formatId, true, "25", "walk", c.start})(dlg);
                open = !dlg.IsEnded();
            });
            OnExportMovie(doc, nullptr);
        } else {
            ui.m_fileAnswers.push_back(d);
            ui.m_dialogScripts.push_back([&](CDialog& dlg) {
                Fill({d, "walk", c.start, c.formatId})(dlg);
                open = !dlg.IsEnded();
            });
            OnExport(doc, nullptr);
        }
        EXPECT_EQ(ui.Texts(), QStringList{QString(c.message).replace('$', d)});
        // The movie dialog stays open for another name; Export has closed before it knows.
        EXPECT_EQ(open, c.movie);
        EXPECT_EQ(AllFilesIn(d), files);
        EXPECT_EQ(ReadAll(anm), animation);
        EXPECT_EQ(ReadAll(doc.m_szSoundPath), animation);
    }
}
