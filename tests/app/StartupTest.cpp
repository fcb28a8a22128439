#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include "AppFixture.h"
#include "app/FileTypeRegistration.h"
#include "shell/MainFrame.h"
#include "views/LumvaneView.h"

namespace {
using StartupTest = AppFixture;
}

TEST_F(StartupTest, NoOrEscapeInTheDisclaimerEndsBeforeAnythingElse) {
    for (const auto& answer : {Press(IDCANCEL), Escape()}) {
        CScriptedUi local;
        local.m_dialogScripts.push_back(answer);
        CLumvaneApp a;
        a.m_bRegisterFileType = false;
        EXPECT_EQ(a.InitInstance({}), 0);
        EXPECT_EQ(local.m_dialogTitles, QStringList{QStringLiteral("Lumvane Disclaimer")});
        EXPECT_EQ(AfxGetMainWnd(), nullptr);
        EXPECT_TRUE(local.m_messages.empty());
    }
}

TEST_F(StartupTest, AnAnimationOnTheCommandLineOpensMaximisedWithoutTheStartDialog) {
    const QString path = MakeAnimation(QStringLiteral("walk.anm"));
    ui.m_dialogScripts.push_back(Press(IDOK));
    ASSERT_EQ(app->InitInstance({path}), 1);
    EXPECT_EQ(ui.m_dialogTitles, QStringList{QStringLiteral("Lumvane Disclaimer")});
    CFrameWnd* frame = AfxGetMainWnd();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("walk - Lumvane"));
    EXPECT_EQ(app->GetDocument()->GetPathName(), QFileInfo(path).absoluteFilePath());
    // The opened file heads the recent-file list in the profile and on the File menu.
    EXPECT_EQ(QSettings().value(QStringLiteral("Recent File List/File1")).toString(),
              QFileInfo(path).absoluteFilePath());
    bool listed = false;
    for (QAction* a : frame->menuBar()->actions().at(0)->menu()->actions())
        if (a->isVisible() && a->text() == QStringLiteral("&1 ") + QDir::toNativeSeparators(path))
            listed = a->data().toInt() == ID_FILE_MRU_FILE1;
    EXPECT_TRUE(listed);
}

TEST_F(StartupTest, AFileThatCannotBeReadIsReportedAndEndsTheProgram) {
    ui.m_dialogScripts.push_back(Press(IDOK));
    const QString missing = dir.filePath(QStringLiteral("gone.anm"));
    EXPECT_EQ(app->InitInstance({missing}), 0);
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
    ASSERT_EQ(ui.m_messages.size(), 1u) << ui.Texts().join(" / ").toStdString();
    EXPECT_EQ(ui.m_messages[0].caption, QStringLiteral("Lumvane"));
}

TEST_F(StartupTest, APrintRequestShowsTheStartDialogLikeNoArguments) {
    const QString path = MakeAnimation(QStringLiteral("print.anm"));
    for (const QStringList& args : {QStringList{QStringLiteral("/p"), path}, QStringList{}}) {
        CScriptedUi local;
        local.m_dialogScripts.push_back(Press(IDOK));
        local.m_dialogScripts.push_back(Escape());
        CLumvaneApp a;
        a.m_bRegisterFileType = false;
        EXPECT_EQ(a.InitInstance(args), 1);
        EXPECT_EQ(local.m_dialogTitles,
                  (QStringList{QStringLiteral("Lumvane Disclaimer"), QStringLiteral("Lumvane")}));
        // Escape in the start dialog leaves no window: the program ends without a message.
        EXPECT_EQ(AfxGetMainWnd(), nullptr);
        EXPECT_TRUE(local.m_messages.empty());
    }
}

TEST_F(StartupTest, CancelledStartsEndWithoutAMessage) {
    // Create New Animation, then Cancel in the New Animation dialog.
    ui.m_dialogScripts = {Press(IDOK), Press(IDC_CREATE_NEW), Press(IDCANCEL)};
    EXPECT_EQ(app->InitInstance({}), 1);
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
    EXPECT_EQ(ui.m_dialogTitles,
              (QStringList{QStringLiteral("Lumvane Disclaimer"), QStringLiteral("Lumvane"),
                           QStringLiteral("New Animation")}));
    EXPECT_TRUE(ui.m_messages.empty()) << ui.Texts().join(" / ").toStdString();
}

TEST_F(StartupTest, OpenExistingThenCancelInTheFileDialogEnds) {
    ui.m_dialogScripts = {Press(IDOK), Press(IDC_OPEN_EXISTING)};
    EXPECT_EQ(app->InitInstance({}), 1);
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
    ASSERT_EQ(ui.m_fileRequests.size(), 1u);
    EXPECT_TRUE(ui.m_fileRequests[0].open);
    EXPECT_TRUE(
        ui.m_fileRequests[0].filter.startsWith(QStringLiteral("Lumvane Animation Files (*.anm)")));
    EXPECT_TRUE(ui.m_messages.empty()) << ui.Texts().join(" / ").toStdString();
}

TEST_F(StartupTest, OpenExistingOpensTheChosenFile) {
    const QString path = MakeAnimation(QStringLiteral("chosen.anm"));
    ui.m_dialogScripts = {Press(IDOK), Press(IDC_OPEN_EXISTING)};
    ui.m_fileAnswers.push_back(path);
    EXPECT_EQ(app->InitInstance({}), 1);
    ASSERT_NE(AfxGetMainWnd(), nullptr);
    EXPECT_EQ(AfxGetMainWnd()->windowTitle(), QStringLiteral("chosen - Lumvane"));
}

TEST_F(StartupTest, CreateNewShowsAnUntitledAnimationMaximised) {
    CFrameWnd* frame = StartNew();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Untitled - Lumvane"));
    EXPECT_TRUE(frame->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(frame->GetMessageText(), QStringLiteral("Ready"));
    EXPECT_EQ(static_cast<CLumvaneDoc*>(app->GetDocument())->m_nFrameCount, 1);
}

TEST_F(StartupTest, StartDialogButtonsSetTheirFlagAndEndWithNeitherOkNorCancel) {
    struct Case {
        int button;
        int create;
        int open;
    };
    for (const Case c : {Case{IDC_CREATE_NEW, 1, 0}, Case{IDC_OPEN_EXISTING, 0, 1}}) {
        ui.m_dialogScripts.push_back(Press(c.button));
        CStartDlg dlg;
        const int result = dlg.DoModal();
        EXPECT_NE(result, IDOK);
        EXPECT_NE(result, IDCANCEL);
        EXPECT_EQ(dlg.m_bCreateNew, c.create);
        EXPECT_EQ(dlg.m_bOpenExisting, c.open);
    }
    CStartDlg dlg;
    EXPECT_EQ(dlg.GetItemText(IDC_CREATE_NEW), QStringLiteral("Create New Animation"));
    EXPECT_EQ(dlg.GetItemText(IDC_OPEN_EXISTING), QStringLiteral("Open Existing Animation"));
    EXPECT_EQ(dlg.GetDlgItem(IDOK), nullptr);
    EXPECT_EQ(dlg.GetDlgItem(IDCANCEL), nullptr);
}

TEST_F(StartupTest, StartDialogKeysPressTheFocusedButton) {
    struct Case {
        int focus;
        Qt::Key key;
        int create, open;
        bool ended;
    } cases[] = {
        {IDC_CREATE_NEW, Qt::Key_Return, 1, 0, true},
        {IDC_OPEN_EXISTING, Qt::Key_Return, 0, 1, true},
        {IDC_CREATE_NEW, Qt::Key_Enter, 1, 0, true},
        {IDC_OPEN_EXISTING, Qt::Key_Enter, 0, 1, true},
        {IDC_OPEN_EXISTING, Qt::Key_Space, 0, 1, true},
        {IDC_CREATE_NEW, Qt::Key_Escape, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << c.key << " on " << c.focus);
        CStartDlg dlg;
        dlg.show();
        dlg.activateWindow();
        QWidget* button = dlg.GetDlgItem(c.focus);
        button->setFocus();
        QTest::keyClick(button, c.key);
        EXPECT_EQ(dlg.m_bCreateNew, c.create);
        EXPECT_EQ(dlg.m_bOpenExisting, c.open);
        EXPECT_EQ(dlg.IsEnded(), c.ended);
    }
}

TEST_F(StartupTest, DisclaimerTextsButtonsAndNoCloseBox) {
    CDisclaimerDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Lumvane Disclaimer"));
    const QStringList texts = CDisclaimerDlg::Texts();
    ASSERT_EQ(texts.size(), 3);
    EXPECT_TRUE(texts.last().endsWith(QStringLiteral("Do you agree?")));
    for (const QString& t : texts) {
        const QString warning = t.left(t.size() - (t == texts.last() ? 13 : 0));
        EXPECT_EQ(warning, warning.toUpper()) << t.toStdString();
    }
    EXPECT_EQ(dlg.GetItemText(IDOK), QStringLiteral("Yes"));
    EXPECT_EQ(dlg.GetItemText(IDCANCEL), QStringLiteral("No"));
    EXPECT_TRUE(dlg.Item<QPushButton>(IDOK)->isDefault());
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dlg.windowFlags() & Qt::WindowSystemMenuHint);
}

TEST_F(StartupTest, AboutBoxShowsIconVersionOkAndTheKeySummary) {
    CFrameWnd* frame = StartNew();
    ASSERT_NE(frame, nullptr);
    QStringList seen;
    ui.m_dialogScripts.push_back([&seen](CDialog& d) {
        seen = static_cast<CAboutDlg&>(d).StaticTexts();
        EXPECT_FALSE(d.findChild<QLabel*>(QStringLiteral("icon"))->pixmap().isNull());
        EXPECT_EQ(d.GetItemText(IDOK), QStringLiteral("OK"));
        d.ClickButton(IDOK);
    });
    EXPECT_TRUE(frame->ExecuteCommand(ID_APP_ABOUT));
    EXPECT_EQ(ui.m_dialogTitles.last(), QStringLiteral("About Lumvane"));
    const QStringList expected = {
        QStringLiteral("Lumvane Version 1.0"),
        QStringLiteral("Frame ShortCuts:"),
        QStringLiteral("1: Four Frames Back From Current Frame"),
        QStringLiteral("2: Three Frames Back From Current Frame"),
        QStringLiteral("3: Two Frames Back From Current Frame"),
        QStringLiteral("4: One Frame Back From Current Frame"),
        QStringLiteral("5: Current Frame"),
        QStringLiteral("6: One Frame Forward From Current Frame"),
        QStringLiteral("7: Two Frames Forward From Current Frame"),
        QStringLiteral("8: Three Frames Forward From Current Frame"),
        QStringLiteral("9: Four Frames Forward From Current Frame"),
        QStringLiteral("In Onion skin mode these keys add or remove that from onion skin list."),
        QStringLiteral("Cursor Right: Next frame"),
        QStringLiteral("Cursor Left: Previous frame"),
        QStringLiteral("All other shortcuts and explanations of functions are documented in the "
                       "menus")};
    EXPECT_EQ(seen, expected);
}

TEST_F(StartupTest, PrintSetupRunsThePageSetupOnTheApplicationsPrinter) {
    CFrameWnd* frame = StartNew();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->ExecuteCommand(ID_FILE_PRINT_SETUP));
    EXPECT_EQ(pageSetups, 1);
    // Print and Print Preview print on that printer, as the page setup left it.
    EXPECT_EQ(&static_cast<CMainFrame*>(frame)->DrawingView()->Printer(), &app->GetPrinter());
}

TEST_F(StartupTest, ProfileRecentFilesAreLoadedInOrder) {
    QSettings s;
    for (int i = 1; i <= 4; ++i)
        s.setValue(QStringLiteral("Recent File List/File%1").arg(i),
                   QStringLiteral("/anim/%1.anm").arg(i));
    s.sync();
    CFrameWnd* frame = StartNew();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(app->GetRecentFileList(),
              (QStringList{"/anim/1.anm", "/anim/2.anm", "/anim/3.anm", "/anim/4.anm"}));
    QStringList shown;
    for (QAction* a : frame->menuBar()->actions().at(0)->menu()->actions())
        if (a->isVisible() && a->data().toInt() >= ID_FILE_MRU_FILE1 &&
            a->data().toInt() <= ID_FILE_MRU_FILE4)
            shown << a->text();
    EXPECT_EQ(shown, (QStringList{"&1 /anim/1.anm", "&2 /anim/2.anm", "&3 /anim/3.anm",
                                  "&4 /anim/4.anm"}));
}

TEST(CommandLine, FollowsTheUsualRules) {
    struct Case {
        QStringList args;
        CCommandLineInfo::ShellCommand command;
        QString file;
    };
    const Case cases[] = {
        {{}, CCommandLineInfo::FileNew, {}},
        {{"walk.anm"}, CCommandLineInfo::FileOpen, "walk.anm"},
        {{"/home/ann/walk.anm"}, CCommandLineInfo::FileOpen, "/home/ann/walk.anm"},
        {{"/p", "walk.anm"}, CCommandLineInfo::FilePrint, "walk.anm"},
        {{"/P", "walk.anm"}, CCommandLineInfo::FilePrint, "walk.anm"},
        {{"-p", "walk.anm"}, CCommandLineInfo::FilePrint, "walk.anm"},
        {{"/pt", "walk.anm", "Laser"}, CCommandLineInfo::FilePrintTo, "walk.anm"},
        {{"/p"}, CCommandLineInfo::FileNew, {}},
        {{"/dde"}, CCommandLineInfo::FileNothing, {}},
        {{"-x", "a.anm", "b.anm"}, CCommandLineInfo::FileOpen, "a.anm"},
    };
    for (const Case& c : cases) {
        CCommandLineInfo info;
        ParseCommandLine(c.args, info);
        EXPECT_EQ(info.m_nShellCommand, c.command) << c.args.join(' ').toStdString();
        EXPECT_EQ(info.m_strFileName, c.file) << c.args.join(' ').toStdString();
    }
}

// The registered file type reaches the file dialogs: Open and Save As offer animations first
// and add ".anm" to a name typed without it.
TEST_F(StartupTest, OpenAndSaveAsOfferTheAnimationFileType) {
    CFrameWnd* frame = StartNew();
    ASSERT_NE(frame, nullptr);
    ui.m_fileAnswers = {QString(), QString()};  // both dialogs cancelled
    EXPECT_TRUE(frame->ExecuteCommand(ID_FILE_OPEN));
    EXPECT_TRUE(frame->ExecuteCommand(ID_FILE_SAVE_AS));
    ASSERT_EQ(ui.m_fileRequests.size(), 2u);
    for (const FileDialogRequest& r : ui.m_fileRequests) {
        EXPECT_EQ(r.filter, QStringLiteral("Lumvane Animation Files (*.anm);;All Files (*)"));
        EXPECT_EQ(r.defaultExt, QStringLiteral(".anm"));
    }
    EXPECT_TRUE(ui.m_fileRequests[0].open);
    EXPECT_FALSE(ui.m_fileRequests[1].open);
}

TEST_F(StartupTest, FileTypeIsWrittenOnlyWhenMissingOrChanged) {
    LumvaneInitResources();
    const QString data = dir.filePath(QStringLiteral("share"));
    const QString exe = QStringLiteral("/opt/lumvane/bin/lumvane");
    const QStringList none = {dir.filePath(QStringLiteral("usr"))};
    const QStringList first = CFileTypeRegistration::Register(data, exe, false, none);
    EXPECT_EQ(first.size(), 3);
    const QString desktop = data + QStringLiteral("/applications/lumvane.desktop");
    const QString mime = data + QStringLiteral("/mime/packages/lumvane.xml");
    QFile d(desktop);
    ASSERT_TRUE(d.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(d.readAll());
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=/opt/lumvane/bin/lumvane %f\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=/opt/lumvane/bin/lumvane /p %f\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nMimeType=application/x-lumvane-animation;\n")));
    QFile m(mime);
    ASSERT_TRUE(m.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(m.readAll());
    EXPECT_TRUE(
        xml.contains(QStringLiteral("<mime-type type=\"application/x-lumvane-animation\">")));
    EXPECT_TRUE(xml.contains(QStringLiteral("<glob pattern=\"*.anm\"/>")));
    EXPECT_TRUE(xml.contains(QStringLiteral("<comment>Lumvane Animation Document</comment>")));
    EXPECT_TRUE(QFile::exists(data + QStringLiteral("/icons/hicolor/48x48/apps/lumvane.png")));

    EXPECT_TRUE(CFileTypeRegistration::Register(data, exe, false, none).isEmpty());
    // Another place of the program rewrites the entry and nothing else; the user's own folder
    // on the system list does not make its copies installed ones.
    EXPECT_EQ(
        CFileTypeRegistration::Register(data, QStringLiteral("/usr/bin/lumvane"), false, {data}),
        QStringList{desktop});
}

TEST_F(StartupTest, FileTypeFilesThatAPackageInstalledAreNeitherWrittenNorOverwritten) {
    LumvaneInitResources();
    const QString data = dir.filePath(QStringLiteral("share"));
    const QString usr = dir.filePath(QStringLiteral("usr/share"));
    const QString exe = QStringLiteral("/opt/lumvane/bin/lumvane");
    // Here the package has the entry and the icon; the MIME type is missing.
    for (const char* name :
         {"applications/lumvane.desktop", "icons/hicolor/48x48/apps/lumvane.png"}) {
        const QString path = usr + '/' + name;
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("installed");
    }
    const QStringList dirs = {dir.filePath(QStringLiteral("missing")), usr};
    EXPECT_EQ(CFileTypeRegistration::Register(data, exe, false, dirs),
              QStringList{data + QStringLiteral("/mime/packages/lumvane.xml")});
    EXPECT_FALSE(QFileInfo::exists(data + QStringLiteral("/applications")));
    EXPECT_FALSE(QFileInfo::exists(data + QStringLiteral("/icons")));
    QFile installed(usr + QStringLiteral("/applications/lumvane.desktop"));
    ASSERT_TRUE(installed.open(QIODevice::ReadOnly));
    EXPECT_EQ(installed.readAll(), QByteArray("installed"));
}

TEST(FileType, ExecArgumentsAreQuotedByTheDesktopEntryRules) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/bin/lumvane", "/usr/bin/lumvane"},
        {"/home/ann/my apps/lumvane", "\"/home/ann/my apps/lumvane\""},
        {"/a$b/lumvane", "\"/a\\\\$b/lumvane\""},
        {"/a\\b", "\"/a\\\\\\\\b\""},
        {"/100%/x", "\"/100%%/x\""},
        {"/q\"x", "\"/q\\\\\"x\""},
    };
    for (const auto& [path, quoted] : cases)
        EXPECT_EQ(CFileTypeRegistration::QuoteExecArgument(QString::fromUtf8(path)),
                  QString::fromUtf8(quoted))
            << path;
}
