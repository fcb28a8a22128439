// Allocation failure under an address-space limit: New with 10000 x 10000 through the New
// Animation dialog and Open of a file too large give their message, leave the animation as it
// was and do not crash; Add Frame, which keeps only a frame's runs, goes on to the last frame. Runs
// in a child process with RLIMIT_AS; skipped in the sanitizer build, whose shadow memory needs far
// more address space than any such limit.
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

// FNV-1a over a frame as kept: frames too large to decode under the limit are compared by this.
std::uint64_t Fingerprint(const CompactImage& img) {
    std::uint64_t h = 1469598103934665603ull;
    const unsigned char* p = img.Data();
    for (std::size_t i = 0; i < img.Bytes(); ++i) h = (h ^ p[i]) * 1099511628211ull;
    return (h ^ img.PixelCount()) * 1099511628211ull;
}

std::string Summary(CLumvaneDoc& d) {
    std::ostringstream s;
    s << d.m_nFrameCount << " frames of " << d.m_nWidth << "x" << d.m_nHeight << ", current "
      << d.m_nCurrentFrame << ", undo " << d.m_undoImage.PixelCount() << ", clip "
      << d.m_clipImage.PixelCount();
    for (int i = 0; i < CLumvaneDoc::kMaxFrames; ++i) {
        if (i < d.m_nFrameCount)
            s << ", " << Fingerprint(d.m_frames[i]);
        else if (!d.m_frames[i].Empty())
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
        frames::Edit(h.doc, 1)->GetData()[100] = 0;
        h.doc.m_nCurrentFrame = 1;
        h.doc.SetModifiedFlag(true);
        const DocState before = Capture(h.doc);
        // Room for one of the two 100 MB images a 10004 x 10000 animation allocates (its white
        // frame is a few runs).
        if (!LimitAddressSpace(150 * kMB)) return std::string("no limit");
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
    EXPECT_EQ(r.report,
              "result 0\nmessage Not enough memory to create the animation.\ndialogs New "
              "Animation\nunchanged 1\nsmall new 1 1 frames of 32x20, current 0, undo 640, "
              "clip 640, " +
                  std::to_string(Fingerprint(CompactImage::Filled(32, 20, 255))) + "\n");
}

TEST(OutOfMemory, AddFrameKeepsOnlyRunsAndReachesTheLastFrame) {
    if (LUMVANE_UNDER_ASAN) GTEST_SKIP() << "address-space limits do not hold under ASan";
    const ChildResult r = RunInChild([] {
        std::ostringstream s;
        CommandHarness h;
        MakeAnimation(h.doc, 8, 2, {1});
        // New at the largest size takes 200 MB for the undo and copy images and a frame shown;
        // decoded, the frames added would have filled the rest after a few.
        if (!LimitAddressSpace(760 * kMB)) return std::string("no limit");
        CScriptedUi ui;
        ui.m_dialogScripts.push_back(TypeAndOk("10000", "10000"));
        s << "new " << h.doc.OnNewDocument() << " " << h.doc.m_nWidth << "x" << h.doc.m_nHeight
          << "\n";
        // Add Frame goes on while there are fewer than 499 frames.
        while (ui.Texts().isEmpty() && h.Enabled(ID_FRAMES_ADDFRAME))
            if (!h.Exec(ID_FRAMES_ADDFRAME)) break;
        s << "frames " << h.doc.m_nFrameCount << "\n";
        const int last = h.doc.m_nFrameCount - 1;
        // Ink on the first and the last frame, through the door; each is decoded only then.
        for (int f : {0, last}) {
            h.doc.m_nCurrentFrame = f;
            // Pixel f of the bottom row, which is stored first.
            h.doc.ChangePixels({f, h.doc.m_nHeight - 1, f + 1, h.doc.m_nHeight},
                               [f](GrayImage& img) { img.GetData()[f] = 0; });
        }
        const CompactImage first = h.doc.m_frames[0];
        for (int f : {0, last}) {
            const std::shared_ptr<const GrayImage> px = h.doc.FramePixels(f);
            s << "ink " << f << " " << (px ? int(px->GetData()[f]) : -1) << "\n";
        }
        for (const QString& t : ui.Texts()) s << "message " << t.toStdString() << "\n";
        // Giving a frame back makes room for one again.
        ui.m_answers = {IDYES};
        h.Exec(ID_FRAMES_DELETEFRAME);
        h.doc.m_nCurrentFrame = 0;
        h.Exec(ID_FRAMES_ADDFRAME);
        s << "delete then add " << h.doc.m_nFrameCount << " messages "
          << ui.Texts().join('|').toStdString() << "\n";
        s << "first frame kept " << h.doc.m_frames[0].SameAs(first) << "\n";
        return s.str();
    });
    ASSERT_TRUE(r.exited && r.code == 0) << r.How();
    EXPECT_EQ(r.report,
              "new 1 10004x10000\nframes 499\nink 0 0\nink 498 0\ndelete then add 499 "
              "messages Are you sure you want to delete this frame? (You can't Undo)\nfirst frame "
              "kept 1\n");
}

TEST(OutOfMemory, OpenTooLargeForTheLimitKeepsTheOpenAnimation) {
    if (LUMVANE_UNDER_ASAN) GTEST_SKIP() << "address-space limits do not hold under ASan";
    // White frames of the largest size, each one run: tiny files of 100 MB of pixels a frame,
    // read without decoding. With room for 150 MB the undo image fits and the copy image does
    // not, however many frames there are.
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
            if (!LimitAddressSpace(150 * kMB)) return std::string("no limit");
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
