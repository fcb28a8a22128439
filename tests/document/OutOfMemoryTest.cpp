// Allocation failure under an address-space limit: New with 10000 x 10000 through the New
// Animation dialog, and Add Frame until memory runs out. Each gives its message, leaves the
// animation as it was and does not crash. Runs in a child process with RLIMIT_AS; skipped in
// the sanitizer build, whose shadow memory needs far more address space than any such limit.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <sstream>

#include "DocTestUtil.h"
#include "document/NewAnimationDlg.h"
#include "support/ChildProcess.h"
#include "support/ScriptedUi.h"

using namespace doctest;

namespace {

constexpr rlim_t kMB = 1024 * 1024;

CScriptedUi::DialogScript TypeAndOk(const char* x, const char* y) {
    return [x, y](CDialog& d) {
        d.SetItemText(CNewAnimationDlg::IDC_XDIMENSION, QString::fromLatin1(x));
        d.SetItemText(CNewAnimationDlg::IDC_YDIMENSION, QString::fromLatin1(y));
        d.ClickButton(IDOK);
    };
}

// FNV-1a over a frame's pixels: frames too large to copy under the limit are compared by this.
std::uint64_t Fingerprint(const GrayImage& img) {
    std::uint64_t h = 1469598103934665603ull;
    const unsigned char* p = img.GetData();
    for (std::size_t i = 0; i < img.PixelCount(); i += 7) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

std::string Summary(CLumvaneDoc& d) {
    std::ostringstream s;
    s << d.m_nFrameCount << " frames of " << d.m_nWidth << "x" << d.m_nHeight << ", current "
      << d.m_nCurrentFrame << ", undo " << d.m_undoImage.PixelCount() << ", clip "
      << d.m_clipImage.PixelCount();
    for (int i = 0; i < CLumvaneDoc::kMaxFrames; ++i) {
        if (i < d.m_nFrameCount)
            s << ", " << Fingerprint(d.m_frames[i]);
        else if (d.m_frames[i].GetData())
            s << ", stray frame " << i;
    }
    return s.str();
}

}  // namespace

TEST(OutOfMemory, NewTenThousandSquaredKeepsTheOpenAnimation) {
    if (LUMVANE_UNDER_ASAN) GTEST_SKIP() << "address-space limits do not hold under ASan";
    const ChildResult r = RunInChild([] {
        CommandHarness h;
        MakeAnimation(h.doc, 64, 48, {10, 20, 30});
        h.doc.m_frames[1].GetData()[100] = 0;
        h.doc.m_nCurrentFrame = 1;
        h.doc.SetModifiedFlag(true);
        const DocState before = Capture(h.doc);
        // Room for two of the three 100 MB images a 10004 x 10000 animation needs.
        if (!LimitAddressSpace(250 * kMB)) return std::string("no limit");
        CScriptedUi ui;
        ui.m_dialogScripts.push_back(TypeAndOk("10000", "10000"));
        const int result = h.doc.OnNewDocument();
        std::ostringstream s;
        s << "result " << result << "\n";
        for (const QString& t : ui.Texts()) s << "message " << t.toStdString() << "\n";
        s << "dialogs " << ui.m_dialogTitles.join(',').toStdString() << "\n";
        s << "unchanged " << (Capture(h.doc) == before) << "\n";
        // Still usable: a small New goes through.
        ui.m_dialogScripts.push_back(TypeAndOk("30", "20"));
        s << "small new " << h.doc.OnNewDocument() << " " << Summary(h.doc) << "\n";
        return s.str();
    });
    ASSERT_TRUE(r.exited && r.code == 0) << r.How();
    EXPECT_EQ(
        r.report,
        "result 0\nmessage Not enough memory to create the animation.\ndialogs New "
        "Animation\nunchanged 1\nsmall new 1 1 frames of 32x20, current 0, undo 640, "
        "clip 640, " +
            [] {
                GrayImage white;
                white.Create(32, 20);
                white.Fill(255);
                return std::to_string(Fingerprint(white));
            }() +
            "\n");
}

TEST(OutOfMemory, AddFrameUntilMemoryRunsOut) {
    if (LUMVANE_UNDER_ASAN) GTEST_SKIP() << "address-space limits do not hold under ASan";
    const ChildResult r = RunInChild([] {
        std::ostringstream s;
        CommandHarness h;
        MakeAnimation(h.doc, 8, 2, {1});
        // New at the largest size takes 300 MB; the limit leaves room for a few more frames.
        if (!LimitAddressSpace(760 * kMB)) return std::string("no limit");
        CScriptedUi ui;
        ui.m_dialogScripts.push_back(TypeAndOk("10000", "10000"));
        s << "new " << h.doc.OnNewDocument() << " " << h.doc.m_nWidth << "x" << h.doc.m_nHeight
          << "\n";
        int added = 0;
        std::string before;
        while (ui.Texts().isEmpty() && h.doc.m_nFrameCount < 499) {
            // A mark of each frame's own, so that a shifted or lost frame shows.
            h.doc.CurrentFrame().GetData()[h.doc.m_nFrameCount * 1000] = 0;
            before = Summary(h.doc);
            if (!h.Exec(ID_FRAMES_ADDFRAME)) break;
            if (ui.Texts().isEmpty()) ++added;
        }
        s << "added some " << (added > 0) << ", stopped before 499 " << (h.doc.m_nFrameCount < 499)
          << "\n";
        for (const QString& t : ui.Texts()) s << "message " << t.toStdString() << "\n";
        s << "unchanged " << (Summary(h.doc) == before) << "\n";
        s << "current is last " << (h.doc.m_nCurrentFrame == h.doc.m_nFrameCount - 1) << "\n";
        // Giving a frame back makes room for one again.
        ui.Clear();
        ui.m_answers = {IDYES};
        const int count = h.doc.m_nFrameCount;
        h.Exec(ID_FRAMES_DELETEFRAME);
        h.Exec(ID_FRAMES_ADDFRAME);
        s << "delete then add " << (h.doc.m_nFrameCount == count) << " messages "
          << ui.Texts().join('|').toStdString() << "\n";
        return s.str();
    });
    ASSERT_TRUE(r.exited && r.code == 0) << r.How();
    EXPECT_EQ(r.report,
              "new 1 10004x10000\nadded some 1, stopped before 499 1\nmessage Not enough memory "
              "to add a frame.\nunchanged 1\ncurrent is last 1\ndelete then add 1 messages Are "
              "you sure you want to delete this frame? (You can't Undo)\n");
}

TEST(OutOfMemory, OpenTooLargeForTheLimitKeepsTheOpenAnimation) {
    if (LUMVANE_UNDER_ASAN) GTEST_SKIP() << "address-space limits do not hold under ASan";
    // White frames of the largest size, each one run: tiny files of 100 MB of pixels a frame.
    // With room for 250 MB, 3 frames fail when their store is mapped, 2 frames are read and
    // decoded and then the undo and copy images fail.
    for (int frames : {3, 2}) {
        SCOPED_TRACE(frames);
        QTemporaryDir dir;
        const QString path = dir.filePath("huge.anm");
        QByteArray file = Header(frames, 0, 0, 10004, 10000, 0, 0, 9);
        for (int f = 0; f < frames; ++f)
            file += I32(10004) + I32(10000) + RunBytes(255, 100040000u);
        ASSERT_TRUE(WriteAll(path, file + Brushes()));
        const ChildResult r = RunInChild([&] {
            CommandHarness h;
            MakeAnimation(h.doc, 64, 48, {10, 20});
            h.doc.SetModifiedFlag(true);
            const DocState before = Capture(h.doc);
            if (!LimitAddressSpace(250 * kMB)) return std::string("no limit");
            CScriptedUi ui;
            std::ostringstream s;
            s << "result " << h.doc.OnOpenDocument(path) << "\n";
            for (const QString& t : ui.Texts()) s << "message " << t.toStdString() << "\n";
            s << "unchanged " << (Capture(h.doc) == before) << "\n";
            // The frames of the failed load went back: Add Frame still finds room.
            h.Exec(ID_FRAMES_ADDFRAME);
            s << "then added " << h.doc.m_nFrameCount << "\n";
            return s.str();
        });
        ASSERT_TRUE(r.exited && r.code == 0) << r.How();
        EXPECT_EQ(r.report, "result 0\nmessage There is not enough memory to open " +
                                path.toStdString() + ".\nunchanged 1\nthen added 3\n");
    }
}
