// Recovery copies: change marks that follow the frames, copies byte for byte what Save writes
// without touching the document, encodings shared with the writer, copies left by earlier runs, and
// failures that keep the previous copy.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <atomic>
#include <functional>
#include <map>
#include <random>

#include "DocTestUtil.h"
#include "document/RecoveryCopy.h"
#include "support/ChildProcess.h"
#include "support/FillThroughDoor.h"
#include "support/ScriptedUi.h"

using namespace doctest;

namespace {
constexpr int A = 10, B = 20, C = 30;

// Copies and waits; the error the worker reported, or -1 when none came.
int CopyNow(CRecoveryWriter& w, CLumvaneDoc& d,
            CRecoveryWriter::Result expect = CRecoveryWriter::Result::Started) {
    std::atomic<int> error{-1};
    w.m_onWritten = [&error](int e) { error = e; };
    EXPECT_EQ(w.Copy(d), expect);
    w.WaitUntilIdle();
    w.m_onWritten = nullptr;
    return error;
}
}  // namespace

TEST(ChangeMarks, FollowTheFramesAndGrowOnlyForTheOnesChanged) {
    struct Case {
        const char* name;
        std::function<void(CLumvaneDoc&)> action;
        bool changed[3];  // which of A, B, C (B is current) count as changed
    } cases[] = {
        {"stroke", [](CLumvaneDoc& d) { d.BeginStroke(), d.EndStroke(); }, {0, 1, 0}},
        {"clear", [](CLumvaneDoc& d) { d.OnClearFrame(); }, {0, 1, 0}},
        {"paste", [](CLumvaneDoc& d) { d.OnCopy(), d.OnPaste(); }, {0, 1, 0}},
        {"paste lines", [](CLumvaneDoc& d) { d.OnCopy(), d.OnPasteLines(); }, {0, 1, 0}},
        {"undo", [](CLumvaneDoc& d) { d.OnClearFrame(), d.OnEditUndo(); }, {0, 1, 0}},
        {"redo",
         [](CLumvaneDoc& d) { d.OnClearFrame(), d.OnEditUndo(), d.OnEditRedo(); },
         {0, 1, 0}},
        {"add", [](CLumvaneDoc& d) { d.OnAddFrame(); }, {0, 0, 0}},
        {"delete", [](CLumvaneDoc& d) { d.OnDeleteFrame(); }, {0, 0, 0}},
        {"next frame", [](CLumvaneDoc& d) { d.OnNextFrame(); }, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedUi ui;
        ui.m_answers = {IDYES};
        CLumvaneDoc d;
        MakeAnimation(d, 8, 2, {A, B, C});
        d.m_nCurrentFrame = 1;
        // A frame left alone keeps its very encoding; a changed one is encoded anew and is
        // known by its pixels (only B changes, and stays where it is).
        std::map<const void*, std::pair<int, FrameMark>> before;
        for (int i = 0; i < 3; ++i) before[d.m_frames[i].Key()] = {i, d.Mark(i)};
        const FrameMark markB = d.Mark(1);
        const std::uint64_t count = d.ChangeCount();
        c.action(d);
        for (int i = 0; i < d.m_nFrameCount; ++i) {
            const auto it = before.find(d.m_frames[i].Key());
            if (it != before.end()) {
                const auto& [was, mark] = it->second;
                EXPECT_EQ(d.Mark(i).id, mark.id) << i;
                EXPECT_EQ(d.Mark(i).version > mark.version, c.changed[was]) << i;
            } else if (i == 1 && c.changed[1]) {
                EXPECT_EQ(d.Mark(i).id, markB.id);
                EXPECT_GT(d.Mark(i).version, markB.version);
            } else {
                EXPECT_GT(d.Mark(i).id, count) << "a new frame gets an id of its own";
            }
        }
    }
}

TEST(ChangeMarks, AStrokeCountsAsAChangeAtItsEndAndKeepsCopiesWaiting) {
    CLumvaneDoc d;
    MakeAnimation(d, 8, 2, {A, B});
    QTemporaryDir dir;
    CRecoveryWriter w(dir.path());
    d.BeginStroke();
    EXPECT_EQ(w.Copy(d), CRecoveryWriter::Result::InStroke);
    const std::uint64_t v = d.Mark(0).version;
    d.EndStroke();
    EXPECT_GT(d.Mark(0).version, v);
    EXPECT_EQ(CopyNow(w, d), 0);
}

TEST(RecoveryWriter, EachCopyHoldsWhatSaveWritesAndLeavesTheDocumentAlone) {
    CScriptedUi ui;
    QTemporaryDir dir;
    CRecoveryWriter w(dir.filePath(QStringLiteral("recovery")));
    CLumvaneDoc d;
    MakeAnimation(d, 8, 2, {A, B, C});
    d.SetPathName(dir.filePath(QStringLiteral("walk.anm")), false);
    d.SetModifiedFlag(true);
    struct Step {
        const char* name;
        std::function<void(CLumvaneDoc&)> change;
    } steps[] = {
        {"first copy", [](CLumvaneDoc&) {}},
        {"stroke on frame 2",
         [](CLumvaneDoc& d) {
             d.m_nCurrentFrame = 1;
             d.BeginStroke();
             d.StrokeDab(4, 1, 255);
             d.EndStroke();
         }},
        {"add", [](CLumvaneDoc& d) { d.OnAddFrame(); }},
        {"paste", [](CLumvaneDoc& d) { d.OnCopy(), d.OnFirstFrame(), d.OnPaste(); }},
        {"delete",
         [&ui](CLumvaneDoc& d) {
             ui.m_answers = {IDYES};
             d.OnLastFrame();
             d.OnDeleteFrame();
         }},
        {"undo", [](CLumvaneDoc& d) { d.OnEditUndo(); }},
        {"brushes", [](CLumvaneDoc& d) { d.m_brushes[3].Build(7, 50), d.m_nDrawBrush = 3; }},
        {"new size", [](CLumvaneDoc& d) { d.CreateAnimation(12, 3); }},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        s.change(d);
        const DocState before = Capture(d);
        ASSERT_EQ(CopyNow(w, d), 0);
        EXPECT_EQ(Capture(d), before);
        EXPECT_EQ(ReadAll(w.CopyPath()), Store(d));
        // Nothing changed: no copy.
        EXPECT_EQ(w.Copy(d), CRecoveryWriter::Result::Unchanged);
    }
    // Only changed frames are encoded again: one changed behind the marks' back stays as the
    // last copy had it, while the marked change is there.
    MakeAnimation(d, 8, 2, {A, B, C});
    ASSERT_EQ(CopyNow(w, d), 0);
    frames::Fill(d, 2, 99);
    d.m_nCurrentFrame = 0;
    FillThroughDoor(d, 77);
    ASSERT_EQ(CopyNow(w, d), 0);
    frames::Fill(d, 2, C);
    EXPECT_EQ(ReadAll(w.CopyPath()), Store(d));

    // The side file names the animation and the writer; Discard takes everything away.
    QFile info(w.InfoPath());
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    const QJsonObject o = QJsonDocument::fromJson(info.readAll()).object();
    EXPECT_EQ(o.value("path").toString(), d.GetPathName());
    EXPECT_EQ(o.value("title").toString(), QStringLiteral("walk"));
    EXPECT_EQ(o.value("pid").toInteger(), QCoreApplication::applicationPid());
    w.Discard();
    EXPECT_EQ(QDir(w.Folder()).entryList(QDir::Files), QStringList());
}

// Drawings are private: the folder is the user's alone and so is every file in it, also when
// the folder was already there for everyone to read.
TEST(RecoveryWriter, TheFolderAndItsFilesAreTheUsersAlone) {
    const mode_t oldMask = ::umask(022);
    for (const bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "a folder made before, 0755" : "a new folder");
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("data/recovery"));
        if (existing) {
            ASSERT_TRUE(QDir().mkpath(folder));
            ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
        }
        CScriptedUi ui;
        CRecoveryWriter w(folder);
        CLumvaneDoc d;
        MakeAnimation(d, 8, 2, {A, B});
        d.SetModifiedFlag(true);
        ASSERT_EQ(CopyNow(w, d), 0);
        FillThroughDoor(d, C);
        ASSERT_EQ(CopyNow(w, d), 0);  // a copy written over an earlier one too
        const auto mode = [](const QString& path) {
            struct stat st {};
            return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777
                                                                         : 01000000u;
        };
        EXPECT_EQ(mode(folder), 0700u);
        const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        EXPECT_EQ(files.size(), 3) << files.join(' ').toStdString();  // copy, side file, lock
        for (const QString& f : files) EXPECT_EQ(mode(folder + "/" + f), 0600u) << f.toStdString();
        w.Discard();
    }
    ::umask(oldMask);
}

TEST(RecoveryWriter, EncodingsACopyTookStayAsTheyWereAndUnchangedOnesAreShared) {
    struct Case {
        const char* name;
        std::function<void(CLumvaneDoc&)> change;
        int keptAt;  // where frame B's encoding is afterwards, shared; -1: gone
    } cases[] = {
        {"change", [](CLumvaneDoc& d) { FillThroughDoor(d, 1); }, 1},
        {"stroke", [](CLumvaneDoc& d) { d.BeginStroke(), d.StrokeDab(1, 1, 255); }, 1},
        {"delete", [](CLumvaneDoc& d) { d.OnDeleteFrame(); }, 0},
        {"new", [](CLumvaneDoc& d) { d.CreateAnimation(8, 2); }, -1},
        {"open", [](CLumvaneDoc& d) { Load(d, Store(d)); }, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CScriptedUi ui;
        ui.m_answers = {IDYES};
        auto d = std::make_unique<CLumvaneDoc>();
        MakeAnimation(*d, 8, 2, {A, B});
        // What a copy's snapshot takes.
        const CompactImage taken[2] = {d->StoredFrame(0), d->StoredFrame(1)};
        c.change(*d);
        EXPECT_FALSE(d->StoredFrame(0).SameAs(taken[0]));
        if (c.keptAt >= 0) {
            EXPECT_TRUE(d->m_frames[c.keptAt].SameAs(taken[1]));
        }
        d.reset();  // even the document's end leaves them
        EXPECT_EQ(Pixels(taken[0]), QByteArray(16, char(A)));
        EXPECT_EQ(Pixels(taken[1]), QByteArray(16, char(B)));
    }
}

TEST(RecoveryWriter, FramesChangedWhileACopyIsWrittenComeInTheNext) {
    QTemporaryDir dir;
    CRecoveryWriter w(dir.path());
    CLumvaneDoc d;
    MakeAnimation(d, 1028, 768, {0, 0, 0, 0, 0, 0});
    std::mt19937 rng(3);
    for (int f = 0; f < 6; ++f) {
        frames::Edit frame(d, f);
        for (std::size_t i = 0; i < frame->PixelCount(); ++i)
            frame->GetData()[i] = static_cast<unsigned char>(rng() & 3);
    }
    const QByteArray taken = Store(d);
    const CompactImage last = d.m_frames[5];
    ASSERT_EQ(w.Copy(d), CRecoveryWriter::Result::Started);
    // Strokes on every frame while the worker writes them; none waits for the copy, which
    // holds encodings the document never changes.
    for (int f = 5; f >= 0; --f) {
        d.m_nCurrentFrame = f;
        if (f % 2) {
            ASSERT_EQ(d.BeginStroke(), 1);
            d.StrokeLine(10, 10, 1000, 700, 255);
            d.EndStroke();
        } else {
            FillThroughDoor(d, 100 + f);
        }
    }
    d.m_nCurrentFrame = 0;
    // The last frame is written last: the stroke went to a new encoding.
    EXPECT_FALSE(d.m_frames[5].SameAs(last));
    w.WaitUntilIdle();
    EXPECT_EQ(ReadAll(w.CopyPath()), taken);
    ASSERT_EQ(CopyNow(w, d), 0);
    EXPECT_EQ(ReadAll(w.CopyPath()), Store(d));
}

TEST(RecoveredCopies, OnlyThoseOfProgramsGoneNewestFirstDamagedSetAside) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("recovery"));
    CRecoveryWriter live(folder);
    CLumvaneDoc d;
    MakeAnimation(d, 8, 2, {A});
    ASSERT_EQ(CopyNow(live, d), 0);
    // A running program's copy is never offered.
    EXPECT_TRUE(FindAbandonedCopies(folder).empty());

    // Copies without a lock: their programs are gone.
    auto leave = [&](const QString& id, const QByteArray& info) {
        QFile::copy(live.CopyPath(), QDir(folder).filePath(id + ".anm"));
        WriteAll(QDir(folder).filePath(id + ".recovery"), info);
    };
    leave("older", R"({"path":"","title":"Untitled","time":"2026-01-02T10:00:00.000Z","pid":1})");
    leave("newer", R"({"path":"/x/walk.anm","title":"walk","time":"2026-01-03T10:00:00.000Z"})");
    leave("broken", "{ not json");
    // A program that ended before its first copy leaves only the side file: nothing to offer.
    WriteAll(QDir(folder).filePath("empty.recovery"),
             R"({"title":"x","time":"2026-01-01T00:00:00Z"})");
    std::vector<CRecoveredCopy> found = FindAbandonedCopies(folder);
    ASSERT_EQ(found.size(), 3u);
    // The damaged side file sorts by the file's time, which is now: first.
    EXPECT_EQ(found[0].id, QStringLiteral("broken"));
    EXPECT_FALSE(found[0].readable);
    EXPECT_EQ(found[1].id, QStringLiteral("newer"));
    EXPECT_EQ(found[1].originalPath, QStringLiteral("/x/walk.anm"));
    EXPECT_EQ(found[2].title, QStringLiteral("Untitled"));
    // Found copies are locked: a second start at the same time does not see them.
    EXPECT_TRUE(FindAbandonedCopies(folder).empty());

    found[0].SetAside();
    found[1].Delete();
    found.clear();  // "older" is kept for the next start
    QStringList files = QDir(folder).entryList(QDir::Files);
    files.removeIf(
        [&](const QString& f) { return f.startsWith(QFileInfo(live.CopyPath()).baseName()); });
    EXPECT_EQ(files, (QStringList{"broken.anm.damaged", "broken.recovery.damaged", "older.anm",
                                  "older.recovery"}));
}

TEST(RecoveryWriter, AFailedCopyIsReportedAndKeepsThePreviousOne) {
    QTemporaryDir dir;
    // A folder that cannot be made: a file stands in its way.
    WriteAll(dir.filePath(QStringLiteral("blocked")), "x");
    {
        CRecoveryWriter w(dir.filePath(QStringLiteral("blocked")));
        CLumvaneDoc d;
        MakeAnimation(d, 8, 2, {A});
        EXPECT_GT(CopyNow(w, d), 0);
        // Failed copies are tried again even without a change.
        EXPECT_GT(CopyNow(w, d), 0);
    }
    // A full disk half-way through the second copy, in a child with a file-size limit.
    const QString folder = dir.filePath(QStringLiteral("recovery"));
    const ChildResult r = RunInChild([&] {
        CRecoveryWriter w(folder);
        CLumvaneDoc d;
        MakeAnimation(d, 200, 100, {A, B});
        std::string out = "first " + std::to_string(CopyNow(w, d));
        const QByteArray first = ReadAll(w.CopyPath());
        LimitFileSize(static_cast<rlim_t>(first.size()) + 1000);
        std::mt19937 rng(5);
        d.ChangePixels({0, 0, d.m_nWidth, d.m_nHeight}, [&rng](GrayImage& f) {
            for (std::size_t i = 0; i < f.PixelCount(); ++i)
                f.GetData()[i] = static_cast<unsigned char>(rng());
        });
        out += " second " + std::to_string(CopyNow(w, d));
        out += ReadAll(w.CopyPath()) == first ? " previous kept" : " previous lost";
        return out;
    });
    EXPECT_EQ(r.report, "first 0 second 27 previous kept") << r.How();
}

TEST(RecoveryWriter, AProgramKilledWhileACopyIsWrittenLeavesTheLastWholeCopy) {
    // Large noisy frames make the second copy take long enough to be cut short.
    for (int delayMs : {0, 2, 5, 10, 20, 40}) {
        SCOPED_TRACE(delayMs);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("recovery"));
        const QString firstCopy = dir.filePath(QStringLiteral("first.anm"));
        RunInChild([&] {
            CRecoveryWriter w(folder);
            CLumvaneDoc d;
            MakeAnimation(d, 1028, 768, {A, B, C});
            CopyNow(w, d);
            QFile::copy(w.CopyPath(), firstCopy);
            std::mt19937 rng(7);
            for (int f = 0; f < 3; ++f) {
                d.m_nCurrentFrame = f;
                d.ChangePixels({0, 0, d.m_nWidth, d.m_nHeight}, [&rng](GrayImage& f) {
                    for (std::size_t i = 0; i < f.PixelCount(); ++i)
                        f.GetData()[i] = static_cast<unsigned char>(rng() & 3);
                });
            }
            w.Copy(d);
            usleep(static_cast<useconds_t>(delayMs) * 1000);
            _exit(0);  // as a crash: nothing is cleaned up
            return std::string();
        });
        const QStringList copies = QDir(folder).entryList({QStringLiteral("*.anm")}, QDir::Files);
        ASSERT_EQ(copies.size(), 1);
        CLumvaneDoc loaded;
        const QByteArray bytes = ReadAll(QDir(folder).filePath(copies[0]));
        ASSERT_NO_THROW(Load(loaded, bytes));
        EXPECT_EQ(loaded.m_nFrameCount, 3);
        // Either the first copy or the whole second one, never a part of it.
        if (bytes != ReadAll(firstCopy)) {
            EXPECT_EQ(frames::Read(loaded, 0)->GetData()[0] & ~3, 0);
        }
        ASSERT_EQ(FindAbandonedCopies(folder).size(), 1u);
    }
}
