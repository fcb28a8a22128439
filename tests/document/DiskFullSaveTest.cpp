// A disk that fills during Save: the old file stays as it was, the user reads the full-disk
// message with the file's path, and the document keeps its changes and its modified flag.
// Two kinds of full disk: a file-size limit (always) and a real tiny tmpfs (where mounting is
// permitted), each in a child process.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <random>
#include <sstream>

#include "DocTestUtil.h"
#include "support/ChildProcess.h"
#include "support/ScriptedUi.h"

using namespace doctest;

namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 100;
constexpr rlim_t kLimit = 64 * 1024;  // far below the new file, above the old one

// Three frames of noise: about five bytes a pixel once run-length coded.
void MakeNoisy(CLumvaneDoc& doc) {
    MakeAnimation(doc, kWidth, kHeight, {0, 0, 0});
    std::mt19937 rng(99);
    for (int f = 0; f < 3; ++f) {
        frames::Edit frame(doc, f);
        for (std::size_t i = 0; i < frame->PixelCount(); ++i)
            frame->GetData()[i] = static_cast<unsigned char>(rng());
    }
    doc.m_nCurrentFrame = 1;
}

QByteArray OldFile() {
    CLumvaneDoc old;
    MakeAnimation(old, 8, 2, {10, 20, 30});
    return Store(old);
}

// What the child saw after the failed save, one fact a line.
std::string Observe(bool result, CLumvaneDoc& doc, const DocState& before, const CScriptedUi& ui,
                    const QString& target, const QByteArray& oldBytes) {
    std::ostringstream s;
    s << "result " << result << "\n";
    for (const QString& t : ui.Texts()) s << "message " << t.toStdString() << "\n";
    s << "modified " << doc.IsModified() << "\n";
    s << "path " << doc.GetPathName().toStdString() << "\n";
    DocState now = Capture(doc);
    now.modified = before.modified;  // compared on its own line above
    s << "document unchanged " << (now == before) << "\n";
    s << "old file intact " << (ReadAll(target) == oldBytes) << "\n";
    s << "files " << QDir(QFileInfo(target).path()).entryList(QDir::Files).join(',').toStdString()
      << "\n";
    return s.str();
}

std::string Expected(const QString& path, const QString& messagePath, const char* files) {
    return "result 0\nmessage Disk full while accessing " + messagePath.toStdString() +
           ".\nmodified 1\npath " + path.toStdString() +
           "\ndocument unchanged 1\nold file intact 1\nfiles " + files + "\n";
}

// Save over the old file, then Save As a new name, on a disk that fills part-way.
std::string SaveBoth(const QString& dir, const std::function<void()>& fill) {
    const QString target = dir + "/walk.anm";
    const QString other = dir + "/other.anm";
    const QByteArray oldBytes = OldFile();
    if (!WriteAll(target, oldBytes)) return "cannot write the old file";
    fill();
    CScriptedUi ui;
    CLumvaneDoc doc;
    MakeNoisy(doc);
    doc.SetPathName(target, false);
    doc.SetModifiedFlag(true);
    const DocState before = Capture(doc);
    std::string r = Observe(doc.DoFileSave(), doc, before, ui, target, oldBytes);
    ui.Clear();
    ui.m_fileAnswers.push_back(other);
    r += Observe(doc.DoSave(QString()), doc, before, ui, target, oldBytes);
    return r;
}

}  // namespace

TEST(DiskFullSave, FileSizeLimitKeepsTheOldFileAndTheChanges) {
    QTemporaryDir dir;
    const QString target = dir.path() + "/walk.anm";
    // The limit is set only after the old file is in place.
    const ChildResult r =
        RunInChild([&] { return SaveBoth(dir.path(), [] { LimitFileSize(kLimit); }); });
    ASSERT_TRUE(r.exited && r.code == 0) << r.How();
    EXPECT_EQ(r.report, Expected(target, target, "walk.anm") +
                            Expected(target, dir.path() + "/other.anm", "walk.anm"));
    // Seen from outside the child too.
    EXPECT_EQ(ReadAll(target), OldFile());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"walk.anm"});
}

TEST(DiskFullSave, TinyTmpfsKeepsTheOldFileAndTheChanges) {
    QTemporaryDir dir;
    const std::string mountPoint = dir.path().toStdString();
    if (!CanMountTinyDisk(mountPoint.c_str()))
        GTEST_SKIP() << "a private tmpfs cannot be mounted here (needs root)";
    const QString target = dir.path() + "/walk.anm";
    // The old file goes onto the tiny disk, which the new file then fills.
    const ChildResult r = RunInChild([&] {
        if (!MountTinyDisk(mountPoint.c_str(), kLimit)) return std::string("mount failed");
        return SaveBoth(dir.path(), [] {});
    });
    ASSERT_TRUE(r.exited && r.code == 0) << r.How();
    EXPECT_EQ(r.report, Expected(target, target, "walk.anm") +
                            Expected(target, dir.path() + "/other.anm", "walk.anm"));
}

TEST(DiskFullSave, ClosingWithYesOnAFullDiskKeepsTheWindowAndTheChanges) {
    QTemporaryDir dir;
    const QString target = dir.path() + "/walk.anm";
    const QByteArray oldBytes = OldFile();
    ASSERT_TRUE(WriteAll(target, oldBytes));
    const ChildResult r = RunInChild([&] {
        CommandHarness h;
        MakeNoisy(h.doc);
        h.doc.SetPathName(target, false);
        h.doc.SetModifiedFlag(true);
        h.frame.show();
        LimitFileSize(kLimit);
        CScriptedUi ui;
        ui.m_answers = {IDYES};  // "Save changes to walk?"
        std::ostringstream s;
        s << "closed " << h.frame.close() << " visible " << h.frame.isVisible() << " modified "
          << h.doc.IsModified() << "\n";
        for (const QString& t : ui.Texts()) s << "message " << t.toStdString() << "\n";
        return s.str();
    });
    ASSERT_TRUE(r.exited && r.code == 0) << r.How();
    EXPECT_EQ(r.report,
              "closed 0 visible 1 modified 1\nmessage Save changes to walk?\nmessage "
              "Disk full while accessing " +
                  target.toStdString() + ".\n");
    EXPECT_EQ(ReadAll(target), oldBytes);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"walk.anm"});
}
