#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScrollBar>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "document/LumvaneDoc.h"
#include "support/HintRecorder.h"
#include "views/TimeView.h"
#include "views/ViewContext.h"

namespace {

constexpr QRgb kBg = 0xffc8c8c8;      // (200, 200, 200)
constexpr QRgb kGray = 0xff808080;    // (128, 128, 128)
constexpr QRgb kOnion = 0xffc8c8ff;   // (200, 200, 255)
constexpr QRgb kLight = 0xfff0f0ff;   // (240, 240, 255)
constexpr QRgb kCentre = 0xff1e1eff;  // (30, 30, 255)
constexpr QRgb kDark = 0xff000028;    // (0, 0, 40)

struct PlayLog {
    std::vector<std::pair<std::ptrdiff_t, std::size_t>> plays;  // offset into the track, bytes
    const unsigned char* base = nullptr;
};

class FakeWaveOut : public IWaveOut {
  public:
    explicit FakeWaveOut(PlayLog* log) : m_log(log) {}
    bool Prepare(const unsigned char*, std::size_t) override { return true; }
    bool Play(const unsigned char* data, std::size_t bytes) override {
        m_log->plays.emplace_back(data - m_log->base, bytes);
        return true;
    }
    void Reset() override {}

  private:
    PlayLog* m_log;
};

class FakeRelay : public IShellRelay {
  public:
    int RebuildBrushBar() override { return ++rebuilds, 1; }
    int UpdateBrushBar(int) override { return 1; }
    void ShowFrameNumber(int frameIndex) override { shown.push_back(frameIndex); }
    void RelayFrameKey(int offset) override { keys.push_back(offset); }
    int rebuilds = 0;
    std::vector<int> shown;
    std::vector<int> keys;
};

class PaintCounter : public QObject {
  public:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
    int paints = 0;
};

// A document with a strip and a probe attached; the strip is shown with a client area of
// width x height pixels.
struct Strip {
    FakeRelay relay;
    CLumvaneDoc doc;
    CTimeView view{nullptr, CViewContext{&relay, nullptr}};
    CHintRecorder probe;  // another view of the document: which hints the strip sends
    PaintCounter counter;
    PlayLog log;

    explicit Strip(int frames, int width = 400, int height = 60) {
        doc.m_nFrameCount = frames;
        doc.AddView(&view);
        doc.AddView(&probe);
        view.resize(width, height + view.horizontalScrollBar()->sizeHint().height());
        view.show();
        QCoreApplication::processEvents();
        view.viewport()->installEventFilter(&counter);
    }
    int Paints() {
        QCoreApplication::processEvents();
        return counter.paints;
    }
    // An 8-bit mono track: the rate sits at offset 4 of the 16-byte format.
    void LoadSound(int rate, const std::vector<unsigned char>& samples) {
        doc.m_pWaveFormat.assign(16, 0);
        doc.m_pWaveFormat[0] = 1;
        doc.m_pWaveFormat[2] = 1;
        for (int i = 0; i < 4; ++i) {
            doc.m_pWaveFormat[4 + i] = static_cast<unsigned char>(rate >> (8 * i));
            doc.m_pWaveFormat[8 + i] = static_cast<unsigned char>(rate >> (8 * i));
        }
        doc.m_pWaveFormat[12] = 1;
        doc.m_pWaveFormat[14] = 8;
        doc.m_nSoundBytes = static_cast<int>(samples.size());
        doc.m_pSoundData = std::make_unique<unsigned char[]>(samples.size());
        if (!samples.empty()) std::memcpy(doc.m_pSoundData.get(), samples.data(), samples.size());
        log.base = doc.m_pSoundData.get();
        doc.m_hWaveOut = std::make_unique<FakeWaveOut>(&log);
        doc.m_bSoundLoaded = 1;
    }
    QImage Render(int w, int h) {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(Qt::magenta);
        view.OnDraw(img);
        return img;
    }
    void MoveMouse(int x, int y, Qt::MouseButtons buttons) {
        const QPointF p(x, y);
        QMouseEvent ev(QEvent::MouseMove, p, view.viewport()->mapToGlobal(p), Qt::NoButton, buttons,
                       Qt::NoModifier);
        QCoreApplication::sendEvent(view.viewport(), &ev);
    }
};

int CountColour(const QImage& img, QRgb colour, QRect area) {
    int n = 0;
    area &= img.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (img.pixel(x, y) == colour) ++n;
    return n;
}

}  // namespace

TEST(TimeView, ScrollLimitsAfterResizeAndAfterUpdate) {
    struct Case {
        int frames, width, cells;
        int maxResize, barMaxResize;
        int maxUpdate, barMaxUpdate;
    } cases[] =
        {
            {500, 400, 20, 480, 480, 480, 480},
            {3, 400, 20, 1, 1, 0, 1},  // all fit: resize still allows one step, an update none
            {20, 400, 20, 1, 1, 0, 1},
            {21, 400, 20, 1, 1, 1, 1},
            {25, 419, 20, 5, 5, 5, 5},
            {25, 420, 21, 4, 4, 4, 4},
            {1, 10, 0, 1, 1, 1, 1},
        };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frames << " frames in " << c.width << " px");
        Strip s(c.frames, c.width);
        ASSERT_EQ(s.view.viewport()->size(), QSize(c.width, 60));
        QScrollBar* bar = s.view.horizontalScrollBar();
        EXPECT_EQ(s.view.m_nVisibleCells, c.cells);
        EXPECT_EQ(s.view.m_nMaxFirstFrame, c.maxResize);
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), c.barMaxResize);
        EXPECT_EQ(bar->pageStep(), 10);
        EXPECT_EQ(bar->singleStep(), 1);
        EXPECT_TRUE(bar->isVisible());

        s.view.m_nFirstFrame = 7;  // an update neither clamps nor moves it
        s.doc.UpdateAllViews(nullptr, HINT_VIEWS);
        EXPECT_EQ(s.view.m_nVisibleCells, c.cells);
        EXPECT_EQ(s.view.m_nMaxFirstFrame, c.maxUpdate);
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), c.barMaxUpdate);
        EXPECT_EQ(s.view.m_nFirstFrame, 7);
    }
}

TEST(TimeView, StripCanShrinkToTheSplittersMinimumRow) {
    CTimeView view;
    EXPECT_LE(view.minimumSizeHint().height(), 25);
    EXPECT_EQ(view.sizeHint(), QSize(100, 50));
}

TEST(TimeView, ScrollCodes) {
    using V = CTimeView;
    struct Case {
        int start, code, pos, expected;
        bool repaint;
    } cases[] = {
        {475, V::SB_PAGERIGHT, 0, 480, true},
        {480, V::SB_PAGERIGHT, 0, 480, true},
        {100, V::SB_PAGERIGHT, 0, 110, true},
        {100, V::SB_PAGELEFT, 0, 90, true},
        {5, V::SB_PAGELEFT, 0, 0, true},
        {7, V::SB_LINERIGHT, 0, 8, true},
        {480, V::SB_LINERIGHT, 0, 480, true},
        {7, V::SB_LINELEFT, 0, 6, true},
        {0, V::SB_LINELEFT, 0, 0, true},
        {7, V::SB_THUMBTRACK, 1000, 480, true},
        {7, V::SB_THUMBTRACK, -3, 0, true},
        {7, V::SB_THUMBPOSITION, 250, 250, true},
        {7, V::SB_THUMBPOSITION, 481, 480, true},
        {7, V::SB_LEFT, 0, 7, false},
        {7, V::SB_RIGHT, 0, 7, false},
        {7, V::SB_ENDSCROLL, 300, 7, false},
        // A first frame beyond the limit (frames were deleted) steps left from where it is.
        {700, V::SB_LINELEFT, 0, 699, true},
        {700, V::SB_PAGELEFT, 0, 690, true},
        {700, V::SB_LINERIGHT, 0, 480, true},
        {700, V::SB_PAGERIGHT, 0, 480, true},
    };
    Strip s(500);
    ASSERT_EQ(s.view.m_nMaxFirstFrame, 480);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "code " << c.code << " from " << c.start);
        s.view.m_nFirstFrame = c.start;
        s.view.horizontalScrollBar()->setValue(c.start);
        const int before = s.Paints();
        s.view.OnHScroll(c.code, c.pos);
        EXPECT_EQ(s.view.m_nFirstFrame, c.expected);
        EXPECT_EQ(s.view.horizontalScrollBar()->value(), std::min(c.expected, 480));
        EXPECT_EQ(s.Paints() > before, c.repaint);
    }
}

TEST(TimeView, ScrollBarActionsReachTheStrip) {
    Strip s(500);
    QScrollBar* bar = s.view.horizontalScrollBar();
    s.view.OnHScroll(CTimeView::SB_THUMBTRACK, 475);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(s.view.m_nFirstFrame, 480);
    EXPECT_EQ(bar->value(), 480);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(s.view.m_nFirstFrame, 479);
    bar->triggerAction(QAbstractSlider::SliderToMinimum);  // top, bottom: unchanged
    EXPECT_EQ(s.view.m_nFirstFrame, 479);
    EXPECT_EQ(bar->value(), 479);
    bar->setSliderPosition(200);  // dragging the thumb
    EXPECT_EQ(s.view.m_nFirstFrame, 200);
}

TEST(TimeView, ThreeFramesScrollOnlyAfterAResize) {
    Strip s(3);
    s.doc.m_nCurrentFrame = 0;
    QScrollBar* bar = s.view.horizontalScrollBar();
    const QImage atZero = s.Render(400, 60);

    s.doc.UpdateAllViews(nullptr, HINT_VIEWS);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(s.view.m_nFirstFrame, 0);
    EXPECT_EQ(bar->value(), 0);

    s.view.resize(400, s.view.height() + 1);
    QCoreApplication::processEvents();
    ASSERT_EQ(s.view.m_nMaxFirstFrame, 1);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(s.view.m_nFirstFrame, 1);

    // Frames 2 and 3 now fill the first two cells: their numbers match cells 1 and 2 of
    // the unscrolled strip, and the closing line moves from x = 60 to x = 40.
    const QImage scrolled = s.Render(400, 60);
    for (int y = 0; y < 18; ++y)
        for (int x = 21; x < 59; ++x)
            ASSERT_EQ(scrolled.pixel(x - 20, y), atZero.pixel(x, y)) << x << "," << y;
    EXPECT_EQ(scrolled.pixel(39, 40), kGray);
    EXPECT_EQ(scrolled.pixel(40, 40), kGray);
    EXPECT_EQ(scrolled.pixel(41, 40), kBg);
    EXPECT_EQ(scrolled.pixel(60, 40), kBg);
    EXPECT_EQ(atZero.pixel(60, 40), kGray);
}

TEST(TimeView, StripLayoutPixels) {
    Strip s(30);
    s.doc.m_nCurrentFrame = 3;
    s.doc.m_bOnionSkin = 1;
    s.doc.m_nOnionCount = 2;
    s.doc.m_onionFrames[0] = 1;
    s.doc.m_onionFrames[1] = 5;
    s.doc.m_onionFrames[2] = 7;  // beyond the count: no box
    const QImage img = s.Render(400, 60);

    struct Px {
        int x, y;
        QRgb colour;
        const char* what;
    } expected[] = {
        {15, 40, kBg, "background"},
        {5, 18, kBg, "above the band line"},
        {5, 19, kGray, "band line, upper row"},
        {5, 20, kGray, "band line, lower row"},
        {5, 21, kBg, "below the band line"},
        {0, 40, kGray, "separator of cell 0"},
        {1, 40, kBg, "right of separator 0"},
        {19, 40, kBg, "left of separator 1"},
        {20, 40, kGray, "separator of cell 1"},
        {380, 59, kGray, "separator of cell 19"},
        {399, 40, kGray, "closing line after 20 cells"},
        {398, 40, kBg, "left of the closing line"},
        {38, 17, kOnion, "onion box of frame 1, right column"},
        {39, 17, kBg, "right of the onion box"},
        {21, 18, kOnion, "onion box, bottom row"},
        {38, 1, kOnion, "onion box, top row"},
        {38, 0, kBg, "above the onion box"},
        {117, 17, kOnion, "onion box of frame 5"},
        {157, 17, kBg, "frame 7 is past the onion count"},
        {69, 40, kLight, "mark, light edge c - 1"},
        {70, 40, kCentre, "mark, centre c"},
        {71, 40, kDark, "mark, dark edge c + 1"},
        {72, 40, kBg, "right of the mark"},
        {68, 40, kBg, "left of the mark"},
        {70, 0, kCentre, "mark reaches the top"},
        {71, 59, kDark, "mark reaches the bottom"},
        {60, 18, kLight, "light bar starts at c - 10"},
        {79, 18, kLight, "light bar ends at c + 9"},
        {80, 18, kGray, "separator past the light bar"},
        {59, 18, kBg, "left of the light bar"},
        {60, 21, kDark, "dark bar starts at c - 10"},
        {79, 21, kDark, "dark bar ends at c + 9"},
        {59, 21, kBg, "left of the dark bar"},
        {70, 19, kCentre, "centre line crosses the band line"},
    };
    for (const Px& p : expected)
        EXPECT_EQ(img.pixel(p.x, p.y), p.colour) << p.what << " at " << p.x << "," << p.y;
    for (int i = 0; i < 20; ++i) EXPECT_EQ(img.pixel(20 * i, 45), kGray) << "separator " << i;

    // Numbers: black text on the strip's gray, also inside an onion box.
    for (int cell : {0, 1}) {
        const QRect text(20 * cell + 1, 0, 5, 12);
        int ink = 0;
        for (int y = text.top(); y <= text.bottom(); ++y)
            for (int x = text.left(); x <= text.right(); ++x) {
                const QRgb c = img.pixel(x, y);
                EXPECT_NE(c, kOnion) << "text background in cell " << cell;
                if (c != kBg && qRed(c) == qGreen(c) && qGreen(c) == qBlue(c)) ++ink;
            }
        EXPECT_GT(ink, 3) << "number of cell " << cell;
    }
}

// Three-digit numbers stay inside their 20-pixel cell, and their 13-pixel band leaves the rows
// of the onion box below it in the box's colour.
TEST(TimeView, ThreeDigitNumbersFitTheirCell) {
    for (int frame : {100, 255, 500}) {
        SCOPED_TRACE(testing::Message() << "frame " << frame);
        Strip s(frame);
        s.view.m_nFirstFrame = frame - 1;  // the last frame alone, in cell 0
        s.doc.m_bOnionSkin = 1;
        s.doc.m_nOnionCount = 1;
        s.doc.m_onionFrames[0] = frame - 1;
        const QImage img = s.Render(400, 60);
        int ink = 0;
        for (int y = 0; y < 13; ++y)
            for (int x = 0; x < 60; ++x) {
                const QRgb c = img.pixel(x, y);
                if (c == kBg || c == kOnion || c == kGray || qRed(c) != qBlue(c)) continue;
                ++ink;
                EXPECT_LT(x, 19) << "ink beyond the cell at " << x << "," << y;
            }
        EXPECT_GT(ink, 10);
        for (int y = 13; y <= 18; ++y)
            for (int x = 1; x <= 18; ++x)
                EXPECT_EQ(img.pixel(x, y), kOnion) << "onion box at " << x << "," << y;
    }
}

TEST(TimeView, OnionBoxesOnlyInOnionMode) {
    Strip s(30);
    s.doc.m_nOnionCount = 2;
    s.doc.m_onionFrames[0] = 1;
    s.doc.m_onionFrames[1] = 2;
    for (int mode : {0, 1}) {
        s.doc.m_bOnionSkin = mode;
        const QImage img = s.Render(400, 60);
        EXPECT_EQ(CountColour(img, kOnion, img.rect()) > 0, mode == 1) << "mode " << mode;
    }
}

TEST(TimeView, MarkAndCellsFollowTheFirstFrame) {
    struct Case {
        int frames, first, current;
        int closing;     // the 2-pixel line covers closing - 1 and closing
        int markCentre;  // -1: no mark visible
    } cases[] = {
        {30, 10, 3, 400, -1},                          // current frame scrolled out to the left
        {30, 0, 25, 400, -1},                          // and out to the right
        {30, 10, 12, 400, 50}, {30, 25, 29, 100, 90},  // 5 cells left
        {3, 10, 2, 0, -1},  // first beyond the count: empty strip, line at x = 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "first " << c.first << " current " << c.current);
        Strip s(c.frames);
        s.view.m_nFirstFrame = c.first;
        s.doc.m_nCurrentFrame = c.current;
        const QImage img = s.Render(400, 60);
        for (int x = c.closing - 2; x <= c.closing + 1; ++x) {
            if (x < 0 || x >= 400) continue;
            const bool line = x == c.closing - 1 || x == c.closing;
            EXPECT_EQ(img.pixel(x, 40), line ? kGray : kBg) << "x " << x;
        }
        if (c.markCentre < 0) {
            EXPECT_EQ(CountColour(img, kCentre, img.rect()), 0);
            EXPECT_EQ(CountColour(img, kDark, img.rect()), 0);
        } else {
            EXPECT_EQ(img.pixel(c.markCentre, 40), kCentre);
            EXPECT_EQ(CountColour(img, kCentre, img.rect()), 59);  // row 21 is the dark bar
        }
    }
}

TEST(TimeView, WaveformPoints) {
    struct Case {
        const char* what;
        int rate, fps, first, cells, width, height, bytes;
        unsigned char sample;
        std::size_t count;
        QPoint firstPoint, lastPoint;
    } cases[] = {
        // span 6400, step 16 + 1: x = pos * 400 / 6400
        {"full span", 8000, 25, 0, 20, 400, 60, 8000, 128, 377, {0, 40}, {399, 40}},
        {"sample 0 on the band line", 8000, 25, 0, 20, 400, 60, 8000, 0, 377, {0, 20}, {399, 20}},
        {"sample 255 near the bottom",
         8000,
         25,
         0,
         20,
         400,
         60,
         8000,
         255,
         377,
         {0, 59},
         {399, 59}},
        {"sound ends part-way", 8000, 25, 0, 20, 400, 60, 3200, 128, 189, {0, 40}, {199, 40}},
        {"scrolled: start 1600", 8000, 25, 5, 20, 400, 60, 8000, 128, 377, {0, 40}, {399, 40}},
        {"start at the sound's end", 8000, 25, 25, 20, 400, 60, 8000, 128, 0, {}, {}},
        {"start one before the end", 8000, 25, 25, 20, 400, 60, 8001, 128, 1, {0, 40}, {0, 40}},
        {"span of the width: step 2", 500, 25, 0, 20, 400, 60, 8000, 128, 200, {0, 40}, {398, 40}},
        // (pos - start) * W reaches 999318 * 4000, beyond 32 bits.
        {"64-bit product", 44100, 1, 0, 200, 4000, 60, 1000000, 128, 454, {0, 40}, {453, 40}},
        {"zero width", 8000, 25, 0, 0, 0, 60, 8000, 128, 0, {}, {}},
        {"no cells", 8000, 25, 0, 0, 10, 60, 8000, 128, 0, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Strip s(500);
        s.LoadSound(c.rate, std::vector<unsigned char>(c.bytes, c.sample));
        s.doc.m_nFps = c.fps;
        s.view.m_nFirstFrame = c.first;
        s.view.m_nVisibleCells = c.cells;
        const std::vector<QPoint> pts = s.view.WaveformPoints(c.width, c.height);
        ASSERT_EQ(pts.size(), c.count);
        if (pts.empty()) continue;
        EXPECT_EQ(pts.front(), c.firstPoint);
        EXPECT_EQ(pts.back(), c.lastPoint);
        for (std::size_t i = 1; i < pts.size(); ++i) {
            ASSERT_GE(pts[i].x(), pts[i - 1].x());
            ASSERT_LT(pts[i].x(), c.width);
        }
    }
}

TEST(TimeView, WaveformStepAndSampleOffsets) {
    Strip s(500);
    std::vector<unsigned char> samples(8000);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<unsigned char>(i);
    s.LoadSound(8000, samples);
    s.view.m_nFirstFrame = 5;  // start = 8000 * 5 / 25 = 1600
    s.view.m_nVisibleCells = 20;
    const std::vector<QPoint> pts = s.view.WaveformPoints(400, 276);  // 256-pixel band
    ASSERT_GE(pts.size(), 3u);
    // Samples 1600, 1617, 1634: bytes 64, 81, 98; x = 17k * 400 / 6400.
    EXPECT_EQ(pts[0], QPoint(0, 20 + 64));
    EXPECT_EQ(pts[1], QPoint(1, 20 + 81));
    EXPECT_EQ(pts[2], QPoint(2, 20 + 98));

    s.doc.m_bSoundLoaded = 0;
    EXPECT_TRUE(s.view.WaveformPoints(400, 60).empty());
}

TEST(TimeView, WaveformPixels) {
    Strip s(500);
    s.doc.m_nCurrentFrame = 400;  // mark out of view
    s.LoadSound(8000, std::vector<unsigned char>(8000, 0));
    QImage img = s.Render(400, 60);
    EXPECT_EQ(img.pixel(100, 20), kDark);  // sample 0 lies on the band's line
    EXPECT_EQ(img.pixel(100, 19), kGray);
    EXPECT_EQ(img.pixel(110, 21), kBg);

    s.LoadSound(8000, std::vector<unsigned char>(3200, 255));  // ends at x = 199
    img = s.Render(400, 60);
    EXPECT_EQ(img.pixel(100, 59), kDark);
    EXPECT_EQ(img.pixel(198, 59), kDark);
    EXPECT_EQ(CountColour(img, kDark, QRect(200, 0, 200, 60)), 0);

    s.view.m_nFirstFrame = 25;  // start = 8000, beyond the 3200 bytes
    img = s.Render(400, 60);
    EXPECT_EQ(CountColour(img, kDark, img.rect()), 0);
}

TEST(TimeView, ZeroWidthStrip) {
    Strip s(500, 0);
    s.LoadSound(8000, std::vector<unsigned char>(8000, 0));
    EXPECT_EQ(s.view.m_nVisibleCells, 0);
    EXPECT_TRUE(s.view.WaveformPoints(0, 60).empty());
    QImage empty(0, 60, QImage::Format_RGB32);
    s.view.OnDraw(empty);
    s.view.viewport()->repaint();
    // A strip narrower than one cell shows no cell, only the closing line at x = 0.
    const QImage narrow = s.Render(15, 60);
    EXPECT_EQ(narrow.pixel(0, 40), kGray);
    EXPECT_EQ(narrow.pixel(2, 40), kBg);
}

TEST(TimeView, OnlyHintsWithBitTwoRepaint) {
    struct Case {
        int hint;
        bool acts;
    } cases[] = {{0, false}, {1, false}, {2, true}, {3, true}, {6, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "hint " << c.hint);
        Strip s(30);
        s.doc.m_nCurrentFrame = 12;
        s.doc.m_nFrameCount = 100;  // changes the limit only when the strip acts
        const int before = s.Paints();
        s.doc.UpdateAllViews(nullptr, c.hint);
        EXPECT_EQ(s.Paints() > before, c.acts);
        EXPECT_EQ(s.view.m_nMaxFirstFrame, c.acts ? 80 : 10);
        EXPECT_EQ(s.relay.shown, c.acts ? std::vector<int>{12} : std::vector<int>{});
    }
}

TEST(TimeView, Scrubbing) {
    struct Case {
        int frames, first, x, y;
        Qt::MouseButtons buttons;
        int selected;  // -1: nothing happens
    } cases[] = {
        {500, 0, 0, 5, Qt::LeftButton, 0},
        {500, 0, 19, 5, Qt::LeftButton, 0},
        {500, 0, 20, 5, Qt::LeftButton, 1},
        {500, 5, 0, 30, Qt::LeftButton, 5},
        {500, 5, 19, 59, Qt::LeftButton, 5},
        {500, 480, 399, 5, Qt::LeftButton, 499},
        {3, 0, 45, 5, Qt::LeftButton, 2},  // right of the last cell
        {3, 0, 399, 5, Qt::LeftButton, 2},
        {3, 10, 0, 5, Qt::LeftButton, 2},  // first frame beyond the count
        {500, 0, 60, 5, Qt::LeftButton | Qt::RightButton, 3},
        {500, 0, 60, 5, Qt::RightButton, -1},
        {500, 0, 60, 5, Qt::NoButton, -1},
        {500, 0, -1, 5, Qt::LeftButton, -1},  // outside the strip
        {500, 0, 400, 5, Qt::LeftButton, -1},
        {500, 0, 60, 60, Qt::LeftButton, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "first " << c.first << " x " << c.x << " y " << c.y);
        Strip s(c.frames);
        s.LoadSound(8000, std::vector<unsigned char>(500 * 320, 128));  // 320 bytes a frame
        s.view.m_nFirstFrame = c.first;
        s.doc.m_nCurrentFrame = 1;
        s.doc.m_bOnionSkin = 1;
        s.doc.m_nOnionCount = 1;
        const int before = s.counter.paints;
        s.MoveMouse(c.x, c.y, c.buttons);
        EXPECT_EQ(s.view.m_nFirstFrame, c.first);  // the strip does not follow the pointer
        EXPECT_EQ(s.doc.m_nOnionCount, 1);
        if (c.selected < 0) {
            EXPECT_EQ(s.doc.m_nCurrentFrame, 1);
            EXPECT_TRUE(s.log.plays.empty());
            EXPECT_TRUE(s.probe.hints.empty());
            EXPECT_TRUE(s.relay.shown.empty());
            continue;
        }
        EXPECT_EQ(s.doc.m_nCurrentFrame, c.selected);
        ASSERT_EQ(s.log.plays.size(), 1u);
        EXPECT_EQ(s.log.plays[0].first, c.selected * 320);
        EXPECT_EQ(s.log.plays[0].second, 320u);
        EXPECT_EQ(s.probe.hints, std::vector<int>{HINT_FRAME_CONTENT});
        EXPECT_EQ(s.relay.shown, std::vector<int>{c.selected});
        EXPECT_GT(s.counter.paints, before);  // repainted at once, before any event loop
    }
}

TEST(TimeView, ScrubbingRestartsTheSliceOnEveryMove) {
    Strip s(500);
    s.LoadSound(8000, std::vector<unsigned char>(500 * 320, 128));
    s.MoveMouse(45, 5, Qt::LeftButton);
    s.MoveMouse(46, 5, Qt::LeftButton);
    ASSERT_EQ(s.log.plays.size(), 2u);
    EXPECT_EQ(s.log.plays[1].first, 2 * 320);
    EXPECT_EQ(s.probe.hints, (std::vector<int>{1, 1}));

    s.doc.m_bSoundOn = 0;  // frames still follow, silently
    s.MoveMouse(65, 5, Qt::LeftButton);
    EXPECT_EQ(s.doc.m_nCurrentFrame, 3);
    EXPECT_EQ(s.log.plays.size(), 2u);

    s.doc.m_nFrameCount = 0;  // no frames: nothing to select
    s.MoveMouse(85, 5, Qt::LeftButton);
    EXPECT_EQ(s.doc.m_nCurrentFrame, 3);
}

TEST(TimeView, DigitKeysRelayTheirOffsets) {
    struct Case {
        int id, offset;
    } cases[] = {{32805, -4}, {32804, -3}, {32803, -2}, {32802, -1}, {32815, 0},
                 {32806, 1},  {32807, 2},  {32808, 3},  {32809, 4}};
    CTimeView alone;
    for (const Case& c : cases) {
        EXPECT_TRUE(alone.OnCmdMsg(c.id, CmdPhase::Execute, nullptr));  // no relay: skipped
        Strip s(30);
        EXPECT_TRUE(s.view.OnCmdMsg(c.id, CmdPhase::Execute, nullptr));
        EXPECT_EQ(s.relay.keys, std::vector<int>{c.offset}) << c.id;
    }
    EXPECT_FALSE(alone.OnCmdMsg(32810 + 100, CmdPhase::Query, nullptr));
}

// An imported track: one point per pixel column, the sample of all channels farthest from
// silence, with the same start and end as the 8-bit track's.
TEST(TimeView, DecodedWaveformTakesThePeakOfAllChannels) {
    struct Case {
        const char* what;
        int frames, first;
        std::size_t count;
        int column3;  // y of column 3 (frames 48 .. 63 when not scrolled)
    } cases[] = {
        {"full span", 8000, 0, 400, 20 + 10},  // right's -30000 beats left's 20000
        {"sound ends part-way", 3200, 0, 200, 20 + 10},
        {"scrolled past the spikes", 8000, 5, 400, 20 + 128},
        {"start at the sound's end", 4000, 25, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Strip s(500);
        auto track = std::make_shared<DecodedSound>();
        track->rate = 8000;
        track->channels = 2;
        track->samples.assign(static_cast<std::size_t>(c.frames) * 2, 0);
        track->samples[50 * 2] = 20000;       // left
        track->samples[60 * 2 + 1] = -30000;  // right
        s.doc.UseDecodedSound(track, DecodedSoundFormat(8000, 2), nullptr);
        s.view.m_nFirstFrame = c.first;
        s.view.m_nVisibleCells = 20;
        const std::vector<QPoint> pts = s.view.WaveformPoints(400, 276);  // 256-pixel band
        ASSERT_EQ(pts.size(), c.count);
        if (!c.count) continue;
        EXPECT_EQ(pts[0], QPoint(0, 20 + 128));
        EXPECT_EQ(pts[3], QPoint(3, c.column3));
        EXPECT_EQ(pts.back(), QPoint(static_cast<int>(c.count) - 1, 20 + 128));
    }
}
