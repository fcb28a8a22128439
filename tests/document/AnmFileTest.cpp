// The .anm format: exact bytes written, what loading accepts, and that a rejected file
// leaves the open animation exactly as it was.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

#include "DocTestUtil.h"
#include "document/AnmFormat.h"
#include "document/MemoryCheck.h"
#include "raster/RunLength.h"
#include "support/FakeMemoryInfo.h"
#include "support/ScriptedUi.h"

using namespace doctest;

namespace {

// The constructor's brushes as written: (2,20) (3,20) (4,20) have no core, (5,20) keeps a core
// of 1 (20 %), (6,20) a core of 1 (16 %).
QByteArray DefaultBrushBytes() {
    const int rec[10][2] = {{2, 0}, {3, 0},  {4, 0},  {5, 20}, {6, 16},
                            {5, 0}, {10, 0}, {15, 0}, {20, 0}, {25, 0}};
    QByteArray b;
    for (auto& r : rec) b += I32(r[0]) + I32(r[1]);
    return b;
}

// A small valid file: 2 frames of 4 x 2, frame 1 current, eraser on, brushes 3 and 7.
QByteArray SmallFile() {
    return Header(2, 1, 1, 4, 2, 1, 3, 7) + I32(4) + I32(2) + RunBytes(255, 3) + RunBytes(0, 2) +
           RunBytes(128, 3) + I32(4) + I32(2) + RunBytes(10, 8) + Brushes();
}

// 12 frames of 512 x 256; the alternating pixels of frames 0 and 6 make records longer than
// the archive's buffer, so their runs are read in several pieces.
void MakeLargeAnimation(CLumvaneDoc& doc) {
    MakeAnimation(doc, 512, 256, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    for (int f : {0, 6}) {
        frames::Edit frame(doc, f);
        for (int i = 0; i < 512 * 256; ++i) frame->GetData()[i] = i % 2 ? 0 : 255;
    }
    SetPixels(*frames::Edit(doc, 11), {0, 0, 7});
}

// Offsets of each frame record, then of the brush records, in a file with valid runs.
std::vector<qsizetype> RecordOffsets(const QByteArray& file) {
    auto u32 = [&](qsizetype at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(file[at])) |
               static_cast<std::uint32_t>(static_cast<unsigned char>(file[at + 1])) << 8 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(file[at + 2])) << 16 |
               static_cast<std::uint32_t>(static_cast<unsigned char>(file[at + 3])) << 24;
    };
    std::vector<qsizetype> offsets;
    qsizetype at = 32;
    for (std::uint32_t f = 0; f < u32(0); ++f) {
        offsets.push_back(at);
        const std::uint64_t pixels = std::uint64_t{u32(at)} * u32(at + 4);
        at += 8;
        for (std::uint64_t done = 0; done < pixels; at += 5) done += u32(at + 1);
    }
    offsets.push_back(at);
    return offsets;
}

// Loads through the framework's open path; returns the texts shown.
QStringList OpenBytes(CLumvaneDoc& doc, const QByteArray& bytes, int* result = nullptr) {
    QTemporaryDir dir;
    const QString path = dir.filePath("t.anm");
    WriteAll(path, bytes);
    CScriptedUi ui;
    const int r = doc.OnOpenDocument(path);
    if (result) *result = r;
    QStringList texts = ui.Texts();
    for (auto& m : ui.m_messages) EXPECT_EQ(m.caption, QStringLiteral("Lumvane"));
    return texts;
}

// A document with some state that a failed load must leave alone.
void MakeOpenAnimation(CLumvaneDoc& doc) {
    MakeAnimation(doc, 8, 3, {1, 2, 3});
    doc.m_nCurrentFrame = 2;
    doc.m_bEraser = 1;
    doc.m_nDrawBrush = 4;
    doc.BeginStroke();
    doc.EndStroke();
    doc.SetPathName(QStringLiteral("/tmp/previous.anm"), false);
    doc.SetModifiedFlag(true);
}

}  // namespace

TEST(AnmFile, WhiteFrameIs125BytesWithRunLengthA90500) {
    CLumvaneDoc doc;
    doc.CreateAnimation(644, 576);
    const QByteArray bytes = Store(doc);
    ASSERT_EQ(bytes.size(), 125);
    EXPECT_EQ(bytes.left(32), Header(1, 0, 0, 644, 576, 0, 0, 9));
    EXPECT_EQ(bytes.mid(32, 13), I32(644) + I32(576) + QByteArray::fromHex("ff00a90500"));
    EXPECT_EQ(bytes.mid(41, 4), QByteArray::fromHex("00a90500"));
    EXPECT_EQ(bytes.mid(45), DefaultBrushBytes());
}

TEST(AnmFile, FrameRecordsAsWritten) {
    struct Case {
        const char* name;
        int width, height;
        std::vector<int> pixels;
        QByteArray record;
    };
    std::vector<Case> cases = {
        {"4x1 of 255 255 0 255",
         4,
         1,
         {255, 255, 0, 255},
         QByteArray::fromHex("04000000"
                             "01000000"
                             "ff02000000"
                             "0001000000"
                             "ff01000000")},
        {"a run continues into the next row",
         4,
         2,
         {7, 7, 7, 9, 9, 9, 9, 9},
         I32(4) + I32(2) + RunBytes(7, 3) + RunBytes(9, 5)},
        {"one value", 4, 3, std::vector<int>(12, 0), I32(4) + I32(3) + RunBytes(0, 12)},
    };
    // Alternating pixels: one run of length 1 per pixel.
    Case alt{"alternating", 8, 3, {}, I32(8) + I32(3)};
    for (int i = 0; i < 24; ++i) {
        alt.pixels.push_back(i % 2 ? 0 : 255);
        alt.record += RunBytes(i % 2 ? 0 : 255, 1);
    }
    cases.push_back(alt);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLumvaneDoc doc;
        doc.CreateAnimation(c.width, c.height);
        {
            frames::Edit frame(doc, 0);
            for (std::size_t i = 0; i < c.pixels.size(); ++i)
                frame->GetData()[i] = static_cast<unsigned char>(c.pixels[i]);
        }
        const QByteArray bytes = Store(doc);
        EXPECT_EQ(bytes.size(), 32 + c.record.size() + 80);
        EXPECT_EQ(bytes.mid(32, c.record.size()).toHex(), c.record.toHex());
        // And it reads back to the same pixels.
        CLumvaneDoc back;
        Load(back, bytes);
        EXPECT_EQ(Pixels(back.m_frames[0]), Pixels(doc.m_frames[0]));
    }
}

TEST(AnmFile, WriterSplitsRunsOnlyAtTheMaximum) {
    EXPECT_EQ(raster::kMaxRunLength, 0x7FFFFFFEu);
    // The rule with a small maximum: 8 equal bytes with maximum 3 are 3, 3, 2; a change of
    // value always starts a new run.
    const unsigned char px[] = {5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6};
    struct Case {
        std::uint32_t max;
        QByteArray runs;
    } cases[] = {
        {3, RunBytes(5, 3) + RunBytes(5, 3) + RunBytes(5, 2) + RunBytes(6, 3) + RunBytes(6, 1)},
        {4, RunBytes(5, 4) + RunBytes(5, 4) + RunBytes(6, 4)},
        {8, RunBytes(5, 8) + RunBytes(6, 4)},
        {raster::kMaxRunLength, RunBytes(5, 8) + RunBytes(6, 4)},
    };
    for (const Case& c : cases) {
        // Whole at once, and in output blocks of one run: the same bytes.
        for (std::size_t room : {std::size_t{4096}, raster::kRunBytes, std::size_t{7}}) {
            raster::RunEncoder enc(px, sizeof px, c.max);
            QByteArray out;
            unsigned char block[4096];
            while (std::size_t n = enc.Encode(block, room))
                out += QByteArray(reinterpret_cast<char*>(block), static_cast<qsizetype>(n));
            EXPECT_EQ(out.toHex(), c.runs.toHex()) << c.max << " " << room;
            EXPECT_TRUE(enc.Done());
        }
    }
}

TEST(AnmFile, RunEndFindsTheFirstDifferentByteAtEveryOffset) {
    std::vector<unsigned char> buf(100, 42);
    for (std::size_t start = 0; start < 40; ++start)
        for (std::size_t diff = start + 1; diff <= 100; ++diff) {
            std::vector<unsigned char> b = buf;
            if (diff < 100) b[diff] = 43;
            ASSERT_EQ(raster::RunEnd(b.data(), start, b.size()), diff) << start;
        }
}

TEST(AnmFile, ReaderAcceptsAnySplitOfRunsFedInAnyPieces) {
    // Adjacent equal runs, runs of length 0 and runs across rows give the same pixels.
    const QByteArray expect = QByteArray(3, '\xff') + QByteArray(1, '\0') + QByteArray(4, '\xff');
    const QByteArray splits[] = {
        RunBytes(255, 3) + RunBytes(0, 1) + RunBytes(255, 4),
        RunBytes(255, 1) + RunBytes(255, 2) + RunBytes(0, 1) + RunBytes(255, 2) + RunBytes(255, 2),
        RunBytes(0, 0) + RunBytes(255, 3) + RunBytes(7, 0) + RunBytes(0, 1) + RunBytes(255, 4),
    };
    for (const QByteArray& runs : splits) {
        const QByteArray file = Header(1, 0, 0, 4, 2, 0, 0, 9) + I32(4) + I32(2) + runs + Brushes();
        CLumvaneDoc doc;
        Load(doc, file);
        EXPECT_EQ(Pixels(doc.m_frames[0]), expect);
        // Byte by byte through the decoder as well.
        volatile std::size_t size = 8;  // an unknown size, as in the program
        std::vector<unsigned char> px(size);
        raster::RunDecoder dec(px.data(), px.size());
        std::size_t used = 0;
        for (char ch : runs) {
            if (dec.Done()) break;
            const auto b = static_cast<unsigned char>(ch);
            used += dec.Feed(&b, 1);
        }
        EXPECT_TRUE(dec.Done());
        EXPECT_EQ(QByteArray(reinterpret_cast<char*>(px.data()), 8), expect);
        EXPECT_EQ(static_cast<qsizetype>(used), runs.size());
    }
}

TEST(AnmFile, RunsTheWriterWouldNotHaveMadeAreKeptAsItWouldHaveMadeThem) {
    // A 40 x 1 frame of 30 white and 10 black pixels, and what Save writes of it.
    const QByteArray canonical = RunBytes(255, 30) + RunBytes(0, 10);
    QByteArray alternating;
    for (int i = 0; i < 40; ++i) alternating += RunBytes(i % 2 ? 0 : 255, 1);
    QByteArray outgrown;
    for (int i = 0; i < 9; ++i) outgrown += RunBytes(i % 2 ? 0 : 255, 1);
    outgrown += RunBytes(0, 31);
    struct Case {
        const char* name;
        QByteArray runs;
        QByteArray saved;
        bool keptAsRuns;
    } cases[] = {
        {"as written", canonical, canonical, true},
        {"a run split in two", RunBytes(255, 10) + RunBytes(255, 20) + RunBytes(0, 10), canonical,
         true},
        {"a run of length 0 between", RunBytes(255, 30) + RunBytes(7, 0) + RunBytes(0, 10),
         canonical, true},
        {"a run of length 0 first", RunBytes(0, 0) + canonical, canonical, true},
        {"runs longer than the pixels", alternating, alternating, false},
        {"runs that outgrow the pixels half-way", outgrown, outgrown, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray head = Header(1, 0, 0, 40, 1, 0, 0, 9) + I32(40) + I32(1);
        CLumvaneDoc doc;
        Load(doc, head + c.runs + Brushes());
        const CompactImage& frame = doc.m_frames[0];
        EXPECT_EQ(frame.HasRuns(), c.keptAsRuns);
        if (c.keptAsRuns) {
            EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(frame.Data()),
                                 static_cast<qsizetype>(frame.Bytes())),
                      c.saved);
        } else {
            EXPECT_EQ(frame.Bytes(), 40u);
        }
        EXPECT_EQ(doc.Cache().Count(), 0);  // read without decoding
        EXPECT_EQ(Store(doc).toHex(), (head + c.saved + Brushes()).toHex());
    }
}

TEST(AnmFile, LoadTakesTheFileValuesAndResetsUndoAndCopy) {
    CommandHarness h;
    MakeAnimation(h.doc, 8, 3, {1, 2, 3});
    h.doc.m_bClipValid = 1;
    h.doc.BeginStroke();
    h.doc.EndStroke();
    h.doc.m_nOnionCount = 2;
    h.doc.m_bViewsReady = 1;
    h.view->hints.clear();
    Load(h.doc, SmallFile());
    EXPECT_EQ(h.doc.m_nFrameCount, 2);
    EXPECT_EQ(h.doc.m_nCurrentFrame, 1);
    EXPECT_EQ(h.doc.m_nWidth, 4);
    EXPECT_EQ(h.doc.m_nHeight, 2);
    EXPECT_EQ(h.doc.m_bEraser, 1);
    EXPECT_EQ(h.doc.m_nDrawBrush, 3);
    EXPECT_EQ(h.doc.m_nEraseBrush, 7);
    EXPECT_EQ(Pixels(h.doc.m_frames[0]), QByteArray::fromHex("ffffff0000808080"));
    EXPECT_EQ(Pixels(h.doc.m_frames[1]), QByteArray(8, 10));
    EXPECT_TRUE(h.doc.m_frames[2].Empty());
    EXPECT_EQ(h.doc.m_undoImage.PixelCount(), 8u);
    EXPECT_EQ(h.doc.m_clipImage.PixelCount(), 8u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(h.doc.m_brushes[i].GetSize(), 2 + i);
    EXPECT_EQ(h.doc.m_bUndoValid, 0);
    EXPECT_EQ(h.doc.m_bClipValid, 0);
    EXPECT_EQ(h.doc.m_bViewsReady, 0);
    EXPECT_EQ(h.doc.m_nOnionCount, 0);
    EXPECT_FALSE(h.Enabled(ID_EDIT_UNDO));
    EXPECT_FALSE(h.Enabled(ID_EDIT_PASTE));
    EXPECT_FALSE(h.Enabled(ID_EDIT_PASTELINES));
    EXPECT_EQ(h.view->hints, std::vector<int>{HINT_FRAME_CONTENT});
}

TEST(AnmFile, RoundTripKeepsFramesAndBrushHardnessAsTruncated) {
    CLumvaneDoc doc;
    MakeAnimation(doc, 12, 5, {0, 255, 77});
    {
        frames::Edit frame(doc, 1);
        for (int i = 0; i < 60; ++i) frame->GetData()[i] = static_cast<unsigned char>(i * 37);
    }
    doc.m_nCurrentFrame = 2;
    doc.m_brushes[3].Build(3, 40);   // core 1, written as 33, read back with core 0
    doc.m_brushes[8].Build(40, 50);  // core 20, written as 50, unchanged
    const QByteArray bytes = Store(doc);
    EXPECT_EQ(bytes.mid(bytes.size() - 80 + 3 * 8, 8), I32(3) + I32(33));
    EXPECT_EQ(bytes.mid(bytes.size() - 80 + 4 * 8, 8), I32(6) + I32(16));
    CLumvaneDoc back;
    Load(back, bytes);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Pixels(back.m_frames[i]), Pixels(doc.m_frames[i]));
    EXPECT_EQ(back.m_nCurrentFrame, 2);
    EXPECT_EQ(back.m_brushes[3].GetCore(), 0);
    EXPECT_EQ(back.m_brushes[4].GetCore(), 0);
    EXPECT_EQ(back.m_brushes[8].GetCore(), 20);
    EXPECT_EQ(Store(back).left(bytes.size() - 80), bytes.left(bytes.size() - 80));
}

TEST(AnmFile, AcceptedEdgeValues) {
    struct Case {
        const char* name;
        QByteArray file;
        int eraser;
    };
    QByteArray many = Header(500, 499, 0, 4, 1, 0, 9, 0);
    for (int i = 0; i < 500; ++i) many += I32(4) + I32(1) + RunBytes(i & 0xFF, 4);
    QByteArray oddBrushes;
    for (int i = 0; i < 10; ++i) oddBrushes += I32(i % 2 ? 40 : 2) + I32(i % 3 ? -1000 : 1000000);
    const Case cases[] = {
        {"first eraser field 1, second 0",
         Header(1, 0, 1, 4, 1, 0, 0, 9) + I32(4) + I32(1) + RunBytes(1, 4) + Brushes(), 0},
        {"first eraser field garbage",
         Header(1, 0, -77, 4, 1, 1, 0, 9) + I32(4) + I32(1) + RunBytes(1, 4) + Brushes(), 1},
        {"trailing bytes",
         Header(1, 0, 0, 4, 1, 0, 0, 9) + I32(4) + I32(1) + RunBytes(1, 4) + Brushes() +
             QByteArray("junk after the brushes"),
         0},
        {"widest frame",
         Header(1, 0, 0, 10004, 1, 0, 0, 9) + I32(10004) + I32(1) + RunBytes(3, 10004) + Brushes(),
         0},
        {"tallest frame",
         Header(1, 0, 0, 1, 10000, 0, 0, 9) + I32(1) + I32(10000) + RunBytes(3, 10000) + Brushes(),
         0},
        {"500 frames, last current", many + Brushes(), 0},
        {"brush sizes 2 and 40 with any hardness",
         Header(1, 0, 0, 4, 1, 0, 0, 9) + I32(4) + I32(1) + RunBytes(1, 4) + oddBrushes, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLumvaneDoc doc;
        int result = 0;
        EXPECT_TRUE(OpenBytes(doc, c.file, &result).isEmpty());
        EXPECT_EQ(result, 1);
        EXPECT_EQ(doc.m_bEraser, c.eraser);
    }
    CLumvaneDoc doc;
    OpenBytes(doc, many + Brushes());
    EXPECT_EQ(doc.m_nFrameCount, 500);
    EXPECT_EQ(doc.m_nCurrentFrame, 499);
    EXPECT_EQ(Pixels(doc.m_frames[300]), QByteArray(4, static_cast<char>(300 & 0xFF)));
    CLumvaneDoc odd;
    OpenBytes(odd, Header(1, 0, 0, 4, 1, 0, 0, 9) + I32(4) + I32(1) + RunBytes(1, 4) + oddBrushes);
    EXPECT_EQ(odd.m_brushes[0].GetSize(), 2);
    EXPECT_EQ(odd.m_brushes[0].GetCore(), 20000);  // 2 x 1000000 / 100, kept as read
    EXPECT_EQ(odd.m_brushes[1].GetSize(), 40);
    EXPECT_EQ(odd.m_brushes[1].GetCore(), -400);
}

TEST(AnmFile, ValuesOutsideTheDataModelAreRejectedAndChangeNothing) {
    const QByteArray frame41 = I32(4) + I32(1) + RunBytes(1, 4);
    auto withHeader = [&](QByteArray header) { return header + frame41 + Brushes(); };
    struct Case {
        const char* name;
        QByteArray file;
    };
    auto brushFile = [&](int index, int size) {
        QByteArray b = Brushes();
        b.replace(index * 8, 4, I32(size));
        return Header(1, 0, 0, 4, 1, 0, 0, 9) + frame41 + b;
    };
    const Case cases[] = {
        {"frame count 0", withHeader(Header(0, 0, 0, 4, 1, 0, 0, 9))},
        {"frame count -1", withHeader(Header(-1, 0, 0, 4, 1, 0, 0, 9))},
        {"frame count 501", withHeader(Header(501, 0, 0, 4, 1, 0, 0, 9))},
        {"current frame -1", withHeader(Header(1, -1, 0, 4, 1, 0, 0, 9))},
        {"current frame = count", withHeader(Header(1, 1, 0, 4, 1, 0, 0, 9))},
        {"eraser 2", withHeader(Header(1, 0, 0, 4, 1, 2, 0, 9))},
        {"eraser -1", withHeader(Header(1, 0, 0, 4, 1, -1, 0, 9))},
        {"drawing brush -1", withHeader(Header(1, 0, 0, 4, 1, 0, -1, 9))},
        {"drawing brush 10", withHeader(Header(1, 0, 0, 4, 1, 0, 10, 9))},
        {"eraser brush -1", withHeader(Header(1, 0, 0, 4, 1, 0, 0, -1))},
        {"eraser brush 10", withHeader(Header(1, 0, 0, 4, 1, 0, 0, 10))},
        {"width 0", Header(1, 0, 0, 0, 1, 0, 0, 9) + I32(0) + I32(1) + Brushes()},
        {"height 0", Header(1, 0, 0, 4, 0, 0, 0, 9) + I32(4) + I32(0) + Brushes()},
        {"width -4",
         Header(1, 0, 0, -4, -1, 0, 0, 9) + I32(-4) + I32(-1) + RunBytes(1, 4) + Brushes()},
        {"width 10005",
         Header(1, 0, 0, 10005, 1, 0, 0, 9) + I32(10005) + I32(1) + RunBytes(1, 10005) + Brushes()},
        {"height 10001",
         Header(1, 0, 0, 1, 10001, 0, 0, 9) + I32(1) + I32(10001) + RunBytes(1, 10001) + Brushes()},
        {"frame record wider than the header",
         Header(1, 0, 0, 4, 1, 0, 0, 9) + I32(8) + I32(1) + RunBytes(1, 8) + Brushes()},
        {"frame record narrower than the header",
         Header(1, 0, 0, 4, 1, 0, 0, 9) + I32(2) + I32(2) + RunBytes(1, 4) + Brushes()},
        {"second frame of another height",
         Header(2, 0, 0, 4, 1, 0, 0, 9) + frame41 + I32(4) + I32(2) + RunBytes(1, 8) + Brushes()},
        {"run passes the end", Header(1, 0, 0, 4, 1, 0, 0, 9) + I32(4) + I32(1) + RunBytes(1, 3) +
                                   RunBytes(2, 2) + Brushes()},
        {"run of 0xFFFFFFFF",
         Header(1, 0, 0, 4, 1, 0, 0, 9) + I32(4) + I32(1) + RunBytes(1, 0xFFFFFFFFu) + Brushes()},
        {"run of 0x80000000 after one pixel", Header(1, 0, 0, 4, 1, 0, 0, 9) + I32(4) + I32(1) +
                                                  RunBytes(1, 1) + RunBytes(1, 0x80000000u) +
                                                  Brushes()},
        {"brush size 1", brushFile(0, 1)},
        {"brush size 0", brushFile(5, 0)},
        {"brush size -3", brushFile(9, -3)},
        {"brush size 41", brushFile(9, 41)},
        {"empty file", QByteArray()},
        {"header only", Header(1, 0, 0, 4, 1, 0, 0, 9)},
        // Checked against the file's size before anything is allocated for 50 GB of frames.
        {"200 bytes announcing 500 frames of 10004 x 10000",
         (Header(500, 0, 0, 10004, 10000, 0, 0, 9) + I32(10004) + I32(10000) +
          RunBytes(255, 100040000u))
             .leftJustified(200, '\0')},
        {"one byte short of 3 records of one run each",
         Header(3, 0, 0, 4, 1, 0, 0, 9) + QByteArray(3 * 13 + 80 - 1, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CLumvaneDoc doc;
        MakeOpenAnimation(doc);
        const DocState before = Capture(doc);
        int result = 1;
        EXPECT_EQ(OpenBytes(doc, c.file, &result), QStringList{"Unexpected file format."});
        EXPECT_EQ(result, 0);
        EXPECT_TRUE(Capture(doc) == before);
    }
}

TEST(AnmFile, KeptRunsAreWrittenAsTheRecordsEncodedFromThePixels) {
    CLumvaneDoc doc;
    MakeLargeAnimation(doc);
    QByteArray records;
    QBuffer buf(&records);
    buf.open(QIODevice::WriteOnly);
    CArchive ar(&buf, CArchive::store);
    // Encoded again from the pixels: the runs kept since are written as they are.
    for (int f = 0; f < 12; ++f) anm::StoreFrameRecord(ar, *frames::Read(doc, f));
    ar.Flush();
    const QByteArray file = Store(doc);
    EXPECT_TRUE(file.mid(32, file.size() - 32 - 80) == records);
    EXPECT_EQ(file.size(), 32 + records.size() + 80);
}

TEST(AnmFile, DamagedFrameAnywhereRefusesTheWholeFile) {
    CLumvaneDoc src;
    MakeLargeAnimation(src);
    const QByteArray file = Store(src);
    const std::vector<qsizetype> at = RecordOffsets(file);
    ASSERT_EQ(at.size(), 13u);
    ASSERT_GT(at[1] - at[0], 256 * 1024);
    {
        CLumvaneDoc doc;
        EXPECT_TRUE(OpenBytes(doc, file).isEmpty());
        for (int f = 0; f < 12; ++f) EXPECT_EQ(Pixels(doc.m_frames[f]), Pixels(src.m_frames[f]));
    }
    // The last run of frame f, one pixel longer or shorter; its size; a cut inside it.
    auto rec = [&](int f) { return at[static_cast<std::size_t>(f)]; };
    auto lastRun = [&](int f, int delta) {
        QByteArray b = file;
        const qsizetype len = rec(f + 1) - 4;
        std::uint32_t n = 0;
        std::memcpy(&n, b.constData() + len, 4);
        return b.replace(len, 4, I32(static_cast<std::int32_t>(n) + delta));
    };
    struct Damage {
        const char* name;
        std::function<QByteArray(int)> make;
    } damages[] = {
        {"last run passes the end", [&](int f) { return lastRun(f, 1); }},
        {"runs stop a pixel short", [&](int f) { return lastRun(f, -1); }},
        {"other height", [&](int f) { return QByteArray(file).replace(rec(f) + 4, 4, I32(255)); }},
        {"file ends inside", [&](int f) { return file.left(rec(f) + 8 + 5 * 3); }},
    };
    for (int f : {0, 6, 11})
        for (const Damage& d : damages) {
            SCOPED_TRACE(testing::Message() << d.name << " in frame " << f);
            CLumvaneDoc doc;
            MakeOpenAnimation(doc);
            const DocState before = Capture(doc);
            int result = 1;
            EXPECT_EQ(OpenBytes(doc, d.make(f), &result), QStringList{"Unexpected file format."});
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(Capture(doc) == before);
        }
}

TEST(AnmFile, TruncatedAtEveryOffsetChangesNothing) {
    const QByteArray file = SmallFile();
    CLumvaneDoc ref;
    OpenBytes(ref, file);
    ASSERT_EQ(ref.m_nFrameCount, 2);
    for (qsizetype len = 0; len < file.size(); ++len) {
        SCOPED_TRACE(len);
        CLumvaneDoc doc;
        MakeOpenAnimation(doc);
        const DocState before = Capture(doc);
        EXPECT_EQ(OpenBytes(doc, file.left(len)), QStringList{"Unexpected file format."});
        EXPECT_TRUE(Capture(doc) == before);
    }
}

TEST(AnmFile, FramesBeyondWhatTheProcessMayHaveGetTheMemoryMessageAndChangeNothing) {
    struct LimitGuard {
        explicit LimitGuard(std::uint64_t bytes) { anm::SetLoadMemoryLimit(bytes); }
        ~LimitGuard() { anm::SetLoadMemoryLimit(0); }
    };
    QTemporaryDir dir;
    const QString path = dir.filePath("big.anm");
    // Open counts the frames as the file holds them (at most their pixels), the frames decoded
    // beside them (three here) and the undo and copy images. 3 white frames of 100 x 10 hold
    // 119 bytes after the header: 119 + (3 + 2) x 1000.
    CLumvaneDoc big;
    MakeAnimation(big, 100, 10, {1, 2, 3});
    const QByteArray small = Store(big);
    // Noise is kept as its pixels: 3000 + (3 + 2) x 1000.
    std::uint64_t state = 88172645463325252ull;
    for (int f = 0; f < 3; ++f) {
        frames::Edit frame(big, f);
        for (std::size_t i = 0; i < frame->PixelCount(); ++i) {
            state ^= state << 13, state ^= state >> 7, state ^= state << 17;
            frame->GetData()[i] = static_cast<unsigned char>(state);
        }
    }
    const QByteArray noisy = Store(big);
    // 500 white frames of the largest size: 6.6 KB holding 50 GB of pixels, which all decoded
    // no machine here could hold; kept as runs they need the file, 3 frames and 2 images.
    QByteArray huge = Header(500, 0, 0, 10004, 10000, 0, 0, 9);
    for (int f = 0; f < 500; ++f) huge += I32(10004) + I32(10000) + RunBytes(255, 100040000u);
    huge += Brushes();
    const std::uint64_t hugeNeed = static_cast<std::uint64_t>(huge.size() - 32) + 5 * 100040000ull;
    const QString noMemory = "There is not enough memory to open " + path + ".";
    constexpr std::uint64_t kReal = 0;  // the process's real room, not a fake one
    struct Case {
        const char* name;
        QByteArray file;
        std::uint64_t limit;  // 0: none of the reader's own
        std::uint64_t room;   // what the memory check finds
        QString message;      // empty: it loads
        int frames;           // when it loads
    } cases[] = {
        {"one byte more than the limit", small, 5118, kReal, noMemory, 0},
        {"exactly the limit", small, 5119, kReal, QString(), 3},
        {"one byte more than the process may have", small, 0, 5118, noMemory, 0},
        {"exactly what the process may have", small, 0, 5119, QString(), 3},
        {"noise: its pixels one byte beyond the limit", noisy, 7999, kReal, noMemory, 0},
        {"noise: exactly the limit", noisy, 8000, kReal, QString(), 3},
        // Damage is found before memory is counted.
        {"damaged beyond the limit", small.left(small.size() - 1), 5118, kReal,
         "Unexpected file format.", 0},
        {"damaged beyond the room", small.left(small.size() - 1), 0, 5118,
         "Unexpected file format.", 0},
        {"50 GB of pixels, one byte more than the process may have", huge, 0, hugeNeed - 1,
         noMemory, 0},
        {"50 GB of pixels within the limit", huge, hugeNeed, kReal, QString(), 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LimitGuard guard(c.limit);
        WriteAll(path, c.file);
        CScriptedUi ui;
        CLumvaneDoc doc;
        MakeOpenAnimation(doc);
        const DocState before = Capture(doc);
        std::optional<FakeMemoryInfo> fake;
        if (c.room != kReal) fake.emplace().LeaveRoomFor(c.room);
        const int r = doc.OnOpenDocument(path);
        EXPECT_EQ(r, c.message.isEmpty() ? 1 : 0);
        if (c.message.isEmpty()) {
            EXPECT_TRUE(ui.Texts().isEmpty());
            EXPECT_EQ(doc.m_nFrameCount, c.frames);
            // Read without decoding a frame.
            EXPECT_EQ(doc.Cache().Count(), 0);
        } else {
            EXPECT_EQ(ui.Texts(), QStringList{c.message});
            // Not decoded when the large file went in by mistake.
            ASSERT_EQ(doc.m_nWidth, before.width);
            EXPECT_TRUE(Capture(doc) == before);
        }
    }
}

TEST(AnmFile, SaveWritesTheWholeFileAndReplacesTheOldOne) {
    CScriptedUi ui;
    QTemporaryDir dir;
    const QString path = dir.filePath("walk.anm");
    WriteAll(path, QByteArray("old contents"));
    CLumvaneDoc doc;
    MakeAnimation(doc, 4, 1, {0});
    doc.SetModifiedFlag(true);
    ASSERT_EQ(doc.OnSaveDocument(path), 1);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(ReadAll(path), Store(doc));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"walk.anm"});
    EXPECT_TRUE(ui.Texts().isEmpty());
}
