#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "framework/Archive.h"
#include "framework/Document.h"
#include "support/FifoRescue.h"
#include "support/ScriptedUi.h"

namespace {
// A document of a few integers, enough to see what open and save do around Serialize.
struct IntDoc : CDocument {
    std::vector<std::int32_t> values{1, 2, 3};
    void Serialize(CArchive& ar) override {
        if (ar.IsStoring()) {
            ar << std::int32_t(values.size());
            for (auto v : values) ar << v;
        } else {
            std::int32_t n;
            ar >> n;
            std::vector<std::int32_t> read(static_cast<std::size_t>(n));
            for (auto& v : read) ar >> v;
            values = read;  // only a complete read replaces the data
        }
    }
};

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
}  // namespace

TEST(Document, SaveAndOpenRoundTrip) {
    CScriptedUi ui;
    QTemporaryDir dir;
    const QString path = dir.filePath("a.anm");
    IntDoc doc;
    doc.SetModifiedFlag(true);
    ASSERT_EQ(doc.OnSaveDocument(path), 1);
    EXPECT_FALSE(doc.IsModified());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray::fromHex("03000000010000000200000003000000"));
    IntDoc other;
    other.values = {9};
    ASSERT_EQ(other.OnOpenDocument(path), 1);
    EXPECT_EQ(other.values, (std::vector<std::int32_t>{1, 2, 3}));
    EXPECT_FALSE(other.IsModified());
    EXPECT_TRUE(ui.Texts().isEmpty());
}

TEST(Document, OpenFailuresReportAndKeepTheDocument) {
    QTemporaryDir dir;
    const QString truncated = dir.filePath("t.anm");
    WriteFile(truncated, QByteArray::fromHex("0200000001000000"));
    const QString empty = dir.filePath("e.anm");
    WriteFile(empty, QByteArray());
    const QString missing = dir.filePath("missing.anm");
    const QString denied = dir.filePath("denied.anm");
    WriteFile(denied, QByteArray::fromHex("00000000"));
    QFile::setPermissions(denied, QFileDevice::Permissions());
    const bool runningAsRoot = QFile(denied).open(QIODevice::ReadOnly);
    // Paths that are no regular file: a FIFO (also through a link), a device, a folder.
    const QString fifo = dir.filePath("fifo.anm");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString fifoLink = dir.filePath("link.anm");
    ASSERT_TRUE(QFile::link(fifo, fifoLink));

    struct Case {
        QString path;
        QString text;
    } cases[] = {
        {truncated, "Unexpected file format."},   {empty, "Unexpected file format."},
        {missing, missing + " was not found."},   {denied, "Access to " + denied + " was denied."},
        {fifo, "Unexpected file format."},        {fifoLink, "Unexpected file format."},
        {"/dev/zero", "Unexpected file format."}, {dir.path(), "Failed to open document."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        if (c.path == denied && runningAsRoot) continue;  // root reads anything
        CScriptedUi ui;
        IntDoc doc;
        doc.SetModifiedFlag(true);
        // A reader waiting on the FIFO is let go after a while, so that a wait shows as a
        // failure instead of a hang.
        FifoRescue rescue(fifo);
        EXPECT_EQ(doc.OnOpenDocument(c.path), 0);
        EXPECT_FALSE(rescue.Stop()) << "the open waited for a writer";
        EXPECT_EQ(ui.Texts(), QStringList{c.text});
        EXPECT_EQ(ui.m_messages[0].caption, QStringLiteral("Lumvane"));
        EXPECT_EQ(doc.values, (std::vector<std::int32_t>{1, 2, 3}));
        EXPECT_TRUE(doc.IsModified());
    }
}

TEST(Document, SaveIntoMissingFolderReportsAndKeepsModified) {
    CScriptedUi ui;
    QTemporaryDir dir;
    const QString path = dir.filePath("no/such/dir/a.anm");
    IntDoc doc;
    doc.SetModifiedFlag(true);
    EXPECT_EQ(doc.OnSaveDocument(path), 0);
    EXPECT_EQ(ui.Texts(), QStringList{path + " was not found."});
    EXPECT_TRUE(doc.IsModified());
}

TEST(Document, SaveModifiedPromptsWithTheTitle) {
    struct Case {
        int answer;
        bool result;
        int fileDialogs;
    } cases[] = {{IDNO, true, 0}, {IDCANCEL, false, 0}, {IDYES, false, 1}};
    for (const Case& c : cases) {
        CScriptedUi ui;
        IntDoc doc;
        doc.SetTitle(QStringLiteral("walk"));
        doc.SetModifiedFlag(true);
        ui.m_answers.push_back(c.answer);
        ui.m_fileAnswers.push_back(QString());  // Yes leads to Save As, cancelled here
        EXPECT_EQ(doc.SaveModified(), c.result);
        EXPECT_EQ(ui.Texts(), QStringList{"Save changes to walk?"});
        EXPECT_EQ(static_cast<int>(ui.m_fileRequests.size()), c.fileDialogs);
    }
}

TEST(Document, SaveAsAddsTheDefaultExtensionAndSetsTitle) {
    CScriptedUi ui;
    QTemporaryDir dir;
    CDocument::SetFileType({QStringLiteral("Lumvane Animation Files (*.anm)"), ".anm"});
    IntDoc doc;
    ui.m_fileAnswers.push_back(dir.filePath("walk"));
    ASSERT_TRUE(doc.DoSave(QString()));
    ASSERT_EQ(ui.m_fileRequests.size(), 1u);
    EXPECT_TRUE(ui.m_fileRequests[0].filter.startsWith("Lumvane Animation Files (*.anm)"));
    EXPECT_EQ(ui.m_fileRequests[0].defaultExt, QStringLiteral(".anm"));
    EXPECT_EQ(doc.GetPathName(), dir.filePath("walk.anm"));
    EXPECT_EQ(doc.GetTitle(), QStringLiteral("walk"));
    EXPECT_TRUE(QFile::exists(dir.filePath("walk.anm")));
}
