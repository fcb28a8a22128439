// A disk that fills during File > Export, in each of the three formats: the writer's message
// for the file it was writing, then "Disk Problem in Export"; the files before it complete,
// that file left as far as it got, and nothing written after it. Two kinds of full disk: a
// file-size limit (the first file fails) and a real tiny tmpfs (where mounting is permitted;
// a file part-way through the sequence fails), each in a child process.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <sstream>

#include "document/LumvaneDoc.h"
#include "export/ExportDlg.h"
#include "export/ExportSequence.h"
#include "support/ChildProcess.h"
#include "support/FrameAccess.h"
#include "support/ScriptedUi.h"

namespace {

constexpr int kFrames = 10;
constexpr int kSide = 100;

struct FormatCase {
    const char* name;
    int format;
    int radio;
};
const FormatCase kFormats[] = {{"drawing", EXPORT_DRAWING, IDC_FORMAT_TESSEL},
                               {"gray targa", EXPORT_GRAY_TARGA, IDC_FORMAT_GRAY},
                               {"color targa", EXPORT_COLOR_TARGA, IDC_FORMAT_COLOR}};

void MakeFrames(CLumvaneDoc& doc) {
    doc.CreateAnimation(kSide, kSide);
    for (int i = 0; i < kFrames; ++i) {
        frames::Edit f(doc, i);
        for (std::size_t p = 0; p < f->PixelCount(); ++p)
            f->GetData()[p] = static_cast<unsigned char>(p * 3 + i * 17);
    }
    doc.m_nFrameCount = kFrames;
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// In the child: File > Export into dir, then what came of it, one line per message and file.
std::string ExportAndObserve(const FormatCase& fc, const QString& dir, const QString& reference) {
    CScriptedUi ui;
    CLumvaneDoc doc;
    MakeFrames(doc);
    ui.m_fileAnswers.push_back(dir);
    ui.m_dialogScripts.push_back([&](CDialog& d) {
        d.ClickButton(IDC_SELECT_OUTPUT_PATH);
        d.SetItemText(IDC_SEQUENCE_NAME, QStringLiteral("walk"));
        d.SetItemText(IDC_START_NUMBER, QStringLiteral("1"));
        d.SetCheck(fc.radio, true);
        d.ClickButton(IDOK);
    });
    OnExport(doc, nullptr);
    std::ostringstream s;
    for (const QString& t : ui.Texts()) s << "message " << t.toStdString() << "\n";
    for (const QString& name : QDir(dir).entryList(QDir::Files, QDir::Name)) {
        const QByteArray got = ReadAll(dir + "/" + name);
        const QByteArray whole = ReadAll(reference + "/" + name);
        s << "file " << name.toStdString() << " " << got.size() << " of " << whole.size()
          << (whole.startsWith(got) ? "" : " differs") << "\n";
    }
    return s.str();
}

// The files of a complete export, for comparison.
void WriteReference(const FormatCase& fc, const QString& dir) {
    CScriptedUi ui;
    CLumvaneDoc doc;
    MakeFrames(doc);
    ASSERT_EQ(ExportFrames(doc, {dir + "/", "walk", 1, fc.format}), 1);
    ASSERT_EQ(QDir(dir).entryList(QDir::Files).size(), kFrames);
}

QString FileName(const QString& dir, int number, int format) {
    return ExportFileName(dir + "/", "walk", static_cast<unsigned>(number), format);
}

// The report of an export that failed on file number `failed` (1-based).
std::string Expected(const FormatCase& fc, const QString& dir, const QString& reference, int failed,
                     qint64 partial) {
    std::ostringstream s;
    s << "message Error writing file " << FileName(dir, failed, fc.format).toStdString()
      << "!: Disk Full or Write Protected\nmessage Disk Problem in Export\n";
    for (int n = 1; n <= failed; ++n) {
        const QString name = QFileInfo(FileName(dir, n, fc.format)).fileName();
        const qint64 whole = QFileInfo(reference + "/" + name).size();
        s << "file " << name.toStdString() << " " << (n < failed ? whole : partial) << " of "
          << whole << "\n";
    }
    return s.str();
}

}  // namespace

TEST(ExportDiskFull, FileSizeLimitStopsAtTheFirstFileInEveryFormat) {
    constexpr rlim_t kLimit = 5000;  // below one frame's file in every format
    for (const FormatCase& fc : kFormats) {
        SCOPED_TRACE(fc.name);
        QTemporaryDir out, reference;
        WriteReference(fc, reference.path());
        const ChildResult r = RunInChild([&] {
            LimitFileSize(kLimit);
            return ExportAndObserve(fc, out.path(), reference.path());
        });
        ASSERT_TRUE(r.exited && r.code == 0) << r.How();
        EXPECT_EQ(r.report, Expected(fc, out.path(), reference.path(), 1, kLimit));
    }
}

TEST(ExportDiskFull, TinyTmpfsFillsPartWayInEveryFormat) {
    QTemporaryDir probe;
    if (!CanMountTinyDisk(probe.path().toStdString().c_str()))
        GTEST_SKIP() << "a private tmpfs cannot be mounted here (needs root)";
    // 17 pages: a few whole files of every format fit, the whole sequence does not.
    constexpr std::size_t kDisk = 17 * 4096;
    for (const FormatCase& fc : kFormats) {
        SCOPED_TRACE(fc.name);
        QTemporaryDir out, reference;
        WriteReference(fc, reference.path());
        const std::string mountPoint = out.path().toStdString();
        const ChildResult r = RunInChild([&] {
            if (!MountTinyDisk(mountPoint.c_str(), kDisk)) return std::string("mount failed");
            return ExportAndObserve(fc, out.path(), reference.path());
        });
        ASSERT_TRUE(r.exited && r.code == 0) << r.How();
        // Which file fills the disk depends on the file system's blocks: find it in the report.
        int failed = 0;
        qint64 partial = -1;
        std::istringstream lines(r.report);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("file ", 0) != 0) continue;
            ++failed;
            partial = std::stoll(line.substr(line.find(' ', 5) + 1));
        }
        ASSERT_GT(failed, 1) << r.report;  // some files complete before the disk is full
        ASSERT_LT(failed, kFrames) << r.report;
        const qint64 whole =
            QFileInfo(reference.path() + "/" +
                      QFileInfo(FileName(out.path(), failed, fc.format)).fileName())
                .size();
        EXPECT_LT(partial, whole);
        EXPECT_EQ(r.report, Expected(fc, out.path(), reference.path(), failed, partial));
    }
}
