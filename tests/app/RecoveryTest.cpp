// Recovery copies in the running program: each way of saving or giving up the changes removes
// the copy, and a copy left by a program that ended unexpectedly is offered at the next start.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <cstring>
#include <functional>

#include "AppFixture.h"
#include "app/Autosave.h"
#include "document/DocCommandIds.h"
#include "framework/CommandIds.h"
#include "support/FillThroughDoor.h"
#include "support/FrameAccess.h"

namespace {
using RecoveryTest = AppFixture;

QByteArray ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}
}  // namespace

TEST_F(RecoveryTest, SavingOrGivingUpTheChangesRemovesTheCopy) {
    const QString other = MakeAnimation(QStringLiteral("other.anm"));
    const QString saved = dir.filePath(QStringLiteral("saved.anm"));
    struct Case {
        const char* name;
        std::function<void(RecoveryTest&, CFrameWnd*)> action;
    } cases[] = {
        {"Save",
         [&](RecoveryTest& t, CFrameWnd* f) {
             t.ui.m_fileAnswers.push_back(saved);
             f->ExecuteCommand(ID_FILE_SAVE);
         }},
        {"Save As",
         [&](RecoveryTest& t, CFrameWnd* f) {
             t.ui.m_fileAnswers.push_back(saved);
             f->ExecuteCommand(ID_FILE_SAVE_AS);
         }},
        {"No to the save prompt, then Cancel in New",
         [](RecoveryTest& t, CFrameWnd* f) {
             t.ui.m_answers.push_back(IDNO);
             t.ui.m_dialogScripts.push_back(Press(IDCANCEL));
             f->ExecuteCommand(ID_FILE_NEW);
         }},
        {"New",
         [](RecoveryTest& t, CFrameWnd* f) {
             t.app->GetDocument()->SetModifiedFlag(false);
             t.ui.m_dialogScripts.push_back(Press(IDOK));
             f->ExecuteCommand(ID_FILE_NEW);
         }},
        {"Open",
         [&](RecoveryTest& t, CFrameWnd*) {
             t.app->GetDocument()->SetModifiedFlag(false);
             t.app->OpenDocumentFile(other);
         }},
        {"Revert",
         [&](RecoveryTest& t, CFrameWnd* f) {
             t.app->GetDocument()->SetPathName(other, false);
             t.ui.m_answers.push_back(IDYES);
             f->ExecuteCommand(ID_FILE_REVERTTOSAVED);
         }},
        {"normal end", [](RecoveryTest& t, CFrameWnd*) { t.app.reset(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        ui.Clear();
        CFrameWnd* frame = StartNew();
        ASSERT_NE(frame, nullptr);
        auto* doc = static_cast<CLumvaneDoc*>(app->GetDocument());
        FillThroughDoor(*doc, 3);
        const QStringList recent = app->GetRecentFileList();
        const QString title = doc->GetTitle();
        app->Autosave()->Tick();
        CRecoveryWriter& writer = app->Autosave()->Writer();
        writer.WaitUntilIdle();
        ASSERT_TRUE(QFile::exists(writer.CopyPath()));
        // The copy leaves the document as it was.
        EXPECT_TRUE(doc->IsModified());
        EXPECT_EQ(doc->GetTitle(), title);
        EXPECT_EQ(doc->GetPathName(), QString());
        EXPECT_EQ(doc->m_bUndoValid, 1);
        EXPECT_EQ(app->GetRecentFileList(), recent);
        EXPECT_EQ(frame->windowTitle(), QStringLiteral("Untitled - Lumvane"));

        c.action(*this, frame);
        EXPECT_EQ(QDir(dir.filePath(QStringLiteral("recovery"))).entryList(QDir::Files),
                  QStringList());
        TearDown();
    }
}

TEST_F(RecoveryTest, ACopyLeftBehindIsOfferedNewestFirstAtTheNextStart) {
    const QString original = MakeAnimation(QStringLiteral("walk.anm"));
    const QString folder = dir.filePath(QStringLiteral("recovery"));
    CLumvaneDoc drawn;
    drawn.CreateAnimation(8, 2);
    drawn.OnAddFrame();
    frames::Fill(drawn, 1, 40);
    drawn.m_brushes[4].Build(6, 0);  // a brush that reads back as it was written
    const QString copyPath = dir.filePath(QStringLiteral("copy.anm"));
    ASSERT_EQ(drawn.OnSaveDocument(copyPath), 1);
    const QByteArray copy = ReadFile(copyPath);
    const QDateTime older = QDateTime::fromString("2026-03-04T05:06:07.000Z", Qt::ISODateWithMs);
    const QDateTime newer = older.addSecs(3600);
    auto when = [](const QDateTime& t) {
        return QLocale().toString(t.toLocalTime(), QLocale::ShortFormat);
    };
    auto ask = [](const QString& title, const QString& time) {
        return QStringLiteral(
                   "Lumvane was closed before the changes to %1 were saved. Recover the version "
                   "of %2?")
            .arg(title, time);
    };
    const QString discard = QStringLiteral("Discard the recovered changes to %1?");
    enum Outcome { Recovered, Kept, Deleted, SetAside };
    struct Case {
        const char* name;
        std::vector<int> answers;
        bool damaged;
        QStringList texts;  // after the disclaimer
        Outcome first;      // what becomes of the newer copy
    } cases[] = {
        {"Yes", {IDYES}, false, {ask("walk", when(newer))}, Recovered},
        {"No, No", {IDNO, IDNO}, false, {ask("walk", when(newer)), discard.arg("walk")}, Kept},
        {"No, Yes", {IDNO, IDYES}, false, {ask("walk", when(newer)), discard.arg("walk")}, Deleted},
        {"damaged",
         {IDYES},
         true,
         {ask("walk", when(newer)), QStringLiteral("Unexpected file format.")},
         SetAside},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        ui.Clear();
        QDir().mkpath(folder);
        for (const QString& f : QDir(folder).entryList(QDir::Files))
            QFile::remove(folder + '/' + f);
        WriteFile(folder + "/new.anm", c.damaged ? copy.left(60) : copy);
        WriteFile(folder + "/new.recovery",
                  QStringLiteral(R"({"path":"%1","title":"walk","time":"%2","pid":99})")
                      .arg(original, newer.toString(Qt::ISODateWithMs))
                      .toUtf8());
        WriteFile(folder + "/old.anm", copy);
        WriteFile(folder + "/old.recovery",
                  QStringLiteral(R"({"path":"","title":"","time":"%1","pid":98})")
                      .arg(older.toString(Qt::ISODateWithMs))
                      .toUtf8());
        const QByteArray originalBytes = ReadFile(original);
        ui.m_answers = {c.answers.begin(), c.answers.end()};
        // The older copy, never saved, is asked about next unless the newer was recovered.
        if (c.first != Recovered) ui.m_answers.insert(ui.m_answers.end(), {IDNO, IDNO});
        ui.m_dialogScripts = {Press(IDOK), Escape()};
        // With the file on the command line when recovered, without it otherwise.
        ASSERT_EQ(app->InitInstance(c.first == Recovered ? QStringList{original} : QStringList{}),
                  1);
        QStringList texts = c.texts;
        if (c.first != Recovered) texts << ask("Untitled", when(older)) << discard.arg("Untitled");
        EXPECT_EQ(ui.Texts(), texts);
        for (const CScriptedUi::Message& m : ui.m_messages) {
            EXPECT_EQ(m.caption, QStringLiteral("Lumvane"));
            const unsigned type = m.text.endsWith('?') ? MB_YESNO | MB_ICONQUESTION : m.type;
            EXPECT_EQ(m.type, type);
        }
        QStringList files = QDir(folder).entryList(QDir::Files);
        files.removeIf([](const QString& f) { return f.startsWith("old"); });
        if (c.first == Recovered) {
            // The start dialog and the file on the command line give way to the recovered work.
            EXPECT_EQ(ui.m_dialogTitles, QStringList{QStringLiteral("Lumvane Disclaimer")});
            auto* doc = static_cast<CLumvaneDoc*>(app->GetDocument());
            EXPECT_EQ(doc->GetPathName(), original);
            EXPECT_EQ(doc->GetTitle(), QStringLiteral("walk"));
            EXPECT_TRUE(doc->IsModified());
            EXPECT_EQ(app->GetRecentFileList(), QStringList());
            ASSERT_EQ(doc->m_nFrameCount, 2);
            for (int i = 0; i < 2; ++i) EXPECT_EQ(frames::Bytes(*doc, i), frames::Bytes(drawn, i));
            // Until saved, the recovered copy stays; Save writes the original file.
            EXPECT_EQ(files, (QStringList{"new.anm", "new.lock", "new.recovery"}));
            doc->SetModifiedFlag(true);
            ASSERT_TRUE(AfxGetMainWnd()->ExecuteCommand(ID_FILE_SAVE));
            EXPECT_EQ(ReadFile(original), copy);
            files = QDir(folder).entryList(QDir::Files);
            files.removeIf([](const QString& f) { return f.startsWith("old"); });
            EXPECT_EQ(files, QStringList());
        } else {
            EXPECT_EQ(ui.m_dialogTitles, (QStringList{QStringLiteral("Lumvane Disclaimer"),
                                                      QStringLiteral("Lumvane")}));
            const QStringList expected[] = {
                {}, {"new.anm", "new.recovery"}, {}, {"new.anm.damaged", "new.recovery.damaged"}};
            EXPECT_EQ(files, expected[c.first]);
        }
        EXPECT_EQ(ReadFile(original), c.first == Recovered ? copy : originalBytes);
        TearDown();
    }
}

TEST_F(RecoveryTest, AFolderThatCannotBeWrittenGivesOneNoticeAndDrawingGoesOn) {
    const QString folder = dir.filePath(QStringLiteral("recovery"));
    WriteFile(folder, "a file where the folder should be");
    CFrameWnd* frame = StartNew();
    ASSERT_NE(frame, nullptr);
    auto* doc = static_cast<CLumvaneDoc*>(app->GetDocument());
    for (int round = 0; round < 3; ++round) {
        FillThroughDoor(*doc, round);
        frame->SetMessageText(CFrameWnd::IdleText());
        app->Autosave()->Tick();
        app->Autosave()->Writer().WaitUntilIdle();
        QCoreApplication::processEvents();
        EXPECT_EQ(frame->GetMessageText(),
                  round == 0 ? CAutosave::NoticeText(folder) : CFrameWnd::IdleText());
    }
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(doc->CurrentFrame()->GetData()[0], 2);
}

TEST_F(RecoveryTest, SettingsTurnCopiesOffAndSetTheirInterval) {
    struct Case {
        QVariant enabled, interval;
        bool copies;
        int intervalMs;
    } cases[] = {
        {{}, {}, true, 60000},        {true, 5, true, 5000},     {false, {}, false, 60000},
        {{}, 0, true, 1000},          {{}, 3600, true, 3600000}, {{}, 3601, true, 3600000},
        {"yes", "soon", true, 60000},
    };
    CLumvaneDoc doc;
    doc.CreateAnimation(8, 2);
    doc.SetModifiedFlag(true);
    for (const Case& c : cases) {
        SCOPED_TRACE((c.enabled.toString() + "/" + c.interval.toString()).toStdString());
        QSettings s;
        s.clear();
        if (c.enabled.isValid()) s.setValue("Autosave/Enabled", c.enabled);
        if (c.interval.isValid()) s.setValue("Autosave/IntervalSeconds", c.interval);
        s.sync();
        QTemporaryDir folder;
        CAutosave autosave(folder.path(), {});
        autosave.Attach(&doc);
        EXPECT_EQ(autosave.TimerIntervalMs(), c.intervalMs);
        autosave.Tick();
        autosave.Writer().WaitUntilIdle();
        EXPECT_EQ(QDir(folder.path()).isEmpty(), !c.copies);
    }
}

// Edit > Preferences reaches what the application owns: the recovery copies stop or start and
// follow the new interval at once, and the document keeps the new number of undo steps.
TEST_F(RecoveryTest, PreferencesApplyToTheRunningProgram) {
    CFrameWnd* frame = StartNew();
    ASSERT_NE(frame, nullptr);
    auto* doc = static_cast<CLumvaneDoc*>(app->GetDocument());
    FillThroughDoor(*doc, 3);
    auto prefs = [&](bool autosave, const QString& interval, const QString& undo) {
        ui.m_dialogScripts.push_back([=](CDialog& d) {
            d.SetCheck(1101, autosave);
            d.SetItemText(1102, interval);
            d.SetItemText(1103, undo);
            d.ClickButton(IDOK);
        });
        ASSERT_TRUE(frame->ExecuteCommand(ID_EDIT_PREFERENCES));
    };
    const QString folder = dir.filePath(QStringLiteral("recovery"));
    prefs(false, QStringLiteral("5"), QStringLiteral("20"));
    EXPECT_FALSE(app->Autosave()->IsEnabled());
    EXPECT_EQ(app->Autosave()->TimerIntervalMs(), 5000);
    EXPECT_EQ(doc->History().Depth(), 20);
    app->Autosave()->Tick();
    app->Autosave()->Writer().WaitUntilIdle();
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty());

    prefs(true, QStringLiteral("3600"), QStringLiteral("1000"));
    EXPECT_TRUE(app->Autosave()->IsEnabled());
    EXPECT_EQ(app->Autosave()->TimerIntervalMs(), 3600000);
    EXPECT_EQ(doc->History().Depth(), 1000);
    app->Autosave()->Tick();
    app->Autosave()->Writer().WaitUntilIdle();
    EXPECT_FALSE(QDir(folder).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(ui.m_messages.empty());
}
