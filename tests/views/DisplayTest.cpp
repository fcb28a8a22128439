// The composed display image, onion skin, flip keys, margins, hints and the first paint.
#include <QAction>
#include <QBackingStore>
#include <QEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cstring>
#include <functional>
#include <tuple>

#include "ViewFixture.h"
#include "framework/FrameWnd.h"

namespace {

struct OnionCase {
    int shown;
    std::vector<int> onions;  // pixel values of the onion frames, in list order
    int red, green, blue;
};

class OnionColours : public ViewTest, public ::testing::WithParamInterface<OnionCase> {};

TEST_P(OnionColours, PixelRule) {
    const OnionCase& c = GetParam();
    const int n = static_cast<int>(c.onions.size());
    MakeAnimation(8, 4, n + 1);
    ShowView(100, 100);
    frames::Fill(doc, 0, c.shown);
    doc.m_bOnionSkin = 1;
    for (int k = 0; k < n; ++k) {
        frames::Fill(doc, k + 1, c.onions[k]);
        doc.m_onionFrames[k] = k + 1;
    }
    doc.m_nOnionCount = n;
    view->ComposeFrame(0);
    EXPECT_EQ(Word(3, 2), qRgb(c.red, c.green, c.blue));
    // What reaches the screen is the same colour.
    const QImage screen = Pane()->grab().toImage();
    EXPECT_EQ(QColor(screen.pixel(view->m_nOffsetX + 3, view->m_nOffsetY + 2)),
              QColor(c.red, c.green, c.blue));
}

INSTANTIATE_TEST_SUITE_P(
    Display, OnionColours,
    ::testing::Values(OnionCase{255, {0}, 0, 0, 255}, OnionCase{128, {128}, 64, 64, 128},
                      OnionCase{101, {3, 254}, 0, 0, 101}, OnionCase{101, {254, 3}, 1, 1, 101},
                      OnionCase{0, {255}, 0, 0, 0}, OnionCase{255, {255, 255}, 255, 255, 255}));

// Every product of a shown and an onion value, through the real composition.
TEST_F(ViewTest, OnionDivisionIsExactForAllProducts) {
    MakeAnimation(256, 256, 2);
    {
        frames::Edit shown(doc, 0);
        frames::Edit onion(doc, 1);
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x) {
                shown->GetData()[y * 256 + x] = static_cast<unsigned char>(x);
                onion->GetData()[y * 256 + x] = static_cast<unsigned char>(y);
            }
    }
    view = std::make_unique<TestView>(&doc);
    doc.m_bViewsReady = 1;
    doc.m_bOnionSkin = 1;
    doc.m_onionFrames[0] = 1;
    doc.m_nOnionCount = 1;
    view->ComposeFrame(0);
    int wrong = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            wrong += Word(x, 255 - y) != qRgb(x * y / 255, x * y / 255, x);
    EXPECT_EQ(wrong, 0);
}

TEST_F(ViewTest, OnionModeWithEmptyListShowsPlainGray) {
    MakeAnimation(8, 4, 2);
    ShowView(100, 100);
    SetPixel(0, 1, 0, 77);
    frames::Fill(doc, 1, 0);
    doc.m_bOnionSkin = 1;
    doc.m_nOnionCount = 0;
    view->ComposeFrame(0);
    EXPECT_EQ(Word(1, 3), qRgb(77, 77, 77));  // stored row 0 is the bottom row
    EXPECT_EQ(Word(0, 3), qRgb(255, 255, 255));
    const QImage withMode = view->DisplayImage().copy();
    doc.m_bOnionSkin = 0;
    view->ComposeFrame(0);
    EXPECT_EQ(view->DisplayImage(), withMode);
}

// Painting copies the display image as it is: the window's backing store holds 32-bit words
// that an opaque RGB32 image is copied into without conversion.
TEST_F(ViewTest, DisplayImageIsInTheBackingStoreFormat) {
    MakeAnimation(16, 8);
    ShowView(50, 50);
    ASSERT_TRUE(view->backingStore());
    QPaintDevice* device = view->backingStore()->paintDevice();
    ASSERT_EQ(device->devType(), QInternal::Image);
    const QImage::Format store = static_cast<QImage*>(device)->format();
    EXPECT_TRUE(store == QImage::Format_RGB32 || store == QImage::Format_ARGB32_Premultiplied)
        << store;
    EXPECT_EQ(device->devicePixelRatio(), 1);
    EXPECT_EQ(view->DisplayImage().format(), QImage::Format_RGB32);
}

// Widths that are not a multiple of 4 come only from files; rows must not shear.
TEST_F(ViewTest, OddWidthsDisplayRowByRow) {
    for (int width : {5, 6, 7}) {
        MakeAnimation(width, 3, 2);
        view = std::make_unique<TestView>(&doc);
        doc.m_bViewsReady = 1;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x) {
                SetPixel(0, x, y, 10 * y + x);
                SetPixel(1, x, y, 255);
            }
        for (int onion : {0, 1}) {
            doc.m_bOnionSkin = onion;
            doc.m_onionFrames[0] = 1;
            doc.m_nOnionCount = onion;
            view->ComposeFrame(0);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < width; ++x) {
                    const int v = 10 * y + x;
                    ASSERT_EQ(Word(x, 2 - y), qRgb(v, v, v))
                        << width << " " << onion << " " << x << "," << y;
                }
        }
    }
}

// Frame i is filled with 10 * (i + 1) so the shown frame can be told by any pixel.
class FlipKeys : public ViewTest {
  protected:
    void SetUp() override {
        MakeAnimation(16, 8, 6);
        for (int i = 0; i < 6; ++i) frames::Fill(doc, i, 10 * (i + 1));
        ShowView(100, 100);
    }
    int ShownFrame() { return qGray(view->DisplayImage().pixel(0, 0)) / 10 - 1; }
    void Key(int digit) { QTest::keyClick(view.get(), static_cast<Qt::Key>(Qt::Key_0 + digit)); }
};

TEST_F(FlipKeys, ShowNeighboursClampedWithoutOnionSkin) {
    struct Case {
        int current, digit, shown;
    };
    for (Case c : {Case{2, 1, 0}, Case{2, 2, 0}, Case{2, 3, 0}, Case{2, 4, 1}, Case{2, 5, 2},
                   Case{2, 6, 3}, Case{2, 9, 5}, Case{5, 9, 5}, Case{5, 6, 5}, Case{5, 5, 5},
                   Case{0, 1, 0}, Case{3, 8, 5}}) {
        doc.m_nCurrentFrame = c.current;
        view->ComposeFrame(c.current);
        Key(c.digit);
        EXPECT_EQ(ShownFrame(), c.shown) << "frame " << c.current << " key " << c.digit;
        EXPECT_EQ(doc.m_nCurrentFrame, c.current);
        EXPECT_EQ(doc.m_nOnionCount, 0);
    }
}

TEST_F(FlipKeys, ReturnTimerBringsBackTheCurrentFrame) {
    doc.m_nCurrentFrame = 2;
    view->ComposeFrame(2);
    QTest::keyPress(view.get(), Qt::Key_9);
    EXPECT_EQ(ShownFrame(), 5);
    EXPECT_FALSE(view->ReturnTimerActive());  // only a release starts it
    QTest::keyRelease(view.get(), Qt::Key_9);
    EXPECT_TRUE(view->ReturnTimerActive());
    QTest::qWait(300);
    QTest::keyRelease(view.get(), Qt::Key_Shift);  // any key restarts the count
    QTest::qWait(300);
    EXPECT_EQ(ShownFrame(), 5);
    QTest::qWait(400);
    EXPECT_EQ(ShownFrame(), 2);
    EXPECT_FALSE(view->ReturnTimerActive());
}

TEST_F(FlipKeys, StrokeOnPeekedFrameGoesIntoCurrentFrame) {
    doc.m_nCurrentFrame = 2;
    view->ComposeFrame(2);
    QTest::keyPress(view.get(), Qt::Key_9);
    Press(At(8, 4));
    Release(At(8, 4));
    EXPECT_LT(Pixel(2, 7, 3), 30);  // the dab went into frame 2
    EXPECT_EQ(Pixel(5, 7, 3), 60);
    // The refreshed square shows frame 2 over the peeked frame 5.
    EXPECT_EQ(qGray(view->DisplayImage().pixel(7, 4)), Pixel(2, 7, 3));
    EXPECT_EQ(qGray(view->DisplayImage().pixel(6, 2)), 30);  // within 2 pixels of the dab
    EXPECT_EQ(qGray(view->DisplayImage().pixel(0, 0)), 60);  // elsewhere still the peek
    EXPECT_EQ(qGray(view->DisplayImage().pixel(15, 7)), 60);
}

TEST_F(FlipKeys, OnionModeKeysToggleNeighbours) {
    doc.m_nCurrentFrame = 2;
    doc.m_bOnionSkin = 1;
    doc.m_nOnionCount = 0;
    CHintRecorder hints(&doc);
    Key(1);  // frame -2 does not exist
    EXPECT_EQ(doc.m_nOnionCount, 0);
    EXPECT_TRUE(hints.hints.empty());
    Key(6);
    ASSERT_EQ(doc.m_nOnionCount, 1);
    EXPECT_EQ(doc.m_onionFrames[0], 3);
    EXPECT_EQ(hints.hints, std::vector<int>{3});
    EXPECT_EQ(Word(0, 0), qRgb(4, 4, 30));  // 30 x 40 / 255 = 4.7, truncated
    Key(6);
    EXPECT_EQ(doc.m_nOnionCount, 0);
    EXPECT_EQ(hints.hints, (std::vector<int>{3, 3}));
    Key(5);  // offset 0 never toggles
    EXPECT_EQ(doc.m_nOnionCount, 0);
    // Order of addition is kept; removal closes the gap.
    Key(4);
    Key(8);
    Key(6);
    Key(8);
    ASSERT_EQ(doc.m_nOnionCount, 2);
    EXPECT_EQ(doc.m_onionFrames[0], 1);
    EXPECT_EQ(doc.m_onionFrames[1], 3);
}

// More frames than stay decoded: on the way to the last frame and back, every frame shown is
// exactly its own, those decoded again after they left the cache too.
TEST_F(ViewTest, NextAndPreviousShowEveryFrameOfALongAnimationExactly) {
    constexpr int kFrames = 20;
    MakeAnimation(16, 8, kFrames);
    ASSERT_LT(doc.Cache().Capacity(), kFrames);
    const auto value = [](int frame, int x, int y) { return (frame * 37 + x * 5 + y * 11) & 255; };
    for (int i = 0; i < kFrames; ++i) {
        frames::Edit f(doc, i);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x)
                f->GetData()[y * 16 + x] = static_cast<unsigned char>(value(i, x, y));
    }
    ShowView(100, 100);
    std::vector<int> path;
    for (int i = 1; i < kFrames; ++i) path.push_back(i);
    for (int i = kFrames - 2; i >= 0; --i) path.push_back(i);
    for (int frame : path) {
        const int id = frame > doc.m_nCurrentFrame ? ID_FRAMES_NEXTFRAME : ID_FRAMES_PREVFRAME;
        ASSERT_TRUE(doc.OnCmdMsg(id, CmdPhase::Execute, nullptr));
        ASSERT_EQ(doc.m_nCurrentFrame, frame);
        int wrong = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 16; ++x) {
                const int v = value(frame, x, y);
                wrong += Word(x, 7 - y) != qRgb(v, v, v);
            }
        EXPECT_EQ(wrong, 0) << "frame " << frame;
        EXPECT_LE(doc.Cache().Count(), doc.Cache().Capacity());
    }
}

// Frames so large that only three stay decoded, under eight onion frames: each of the nine
// frames composed is its own. Onion frame k darkens only the rows y % 9 == k.
TEST_F(ViewTest, EightOnionFramesComposeExactlyWhenFewerStayDecoded) {
    constexpr int kW = 8192, kH = 8193;  // just over a quarter of the cache's budget
    ASSERT_EQ(FrameCache::CapacityFor(kW, kH), 3);
    MakeAnimation(kW, kH, 9);
    const auto value = [](int frame, int y) {
        if (frame == 0) return 150 + y % 101;
        return y % 9 == frame ? 60 + 20 * frame : 255;
    };
    {
        GrayImage f;
        ASSERT_EQ(f.Create(kW, kH), 1);
        for (int k = 0; k < 9; ++k) {
            for (int y = 0; y < kH; ++y)
                std::memset(f.GetData() + static_cast<std::size_t>(y) * kW, value(k, y), kW);
            frames::Set(doc, k, f);
        }
    }
    view = std::make_unique<TestView>(&doc);
    doc.m_bViewsReady = 1;
    doc.m_bOnionSkin = 1;
    // Listed out of order, so that list order and frame order differ.
    const int list[8] = {5, 1, 8, 2, 7, 3, 6, 4};
    std::copy(list, list + 8, doc.m_onionFrames);
    doc.m_nOnionCount = 8;
    view->ComposeFrame(0);
    EXPECT_EQ(doc.Cache().Capacity(), 3);
    const QImage& image = view->DisplayImage();
    ASSERT_EQ(image.size(), QSize(kW, kH));
    int wrongRows = 0;
    for (int y = 0; y < kH; ++y) {
        const int shown = value(0, y);
        int b = shown;
        for (int k : list) b = b * value(k, y) / 255;
        const QRgb expected = qRgb(b, b, shown);
        const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(kH - 1 - y));
        wrongRows += std::count(row, row + kW, expected) != kW;
    }
    EXPECT_EQ(wrongRows, 0);
}

TEST_F(ViewTest, NinthOnionFrameIsRefused) {
    MakeAnimation(8, 8, 12);
    ShowView(50, 50);
    doc.m_bOnionSkin = 1;
    for (int f = 0; f < 8; ++f) view->ToggleOnionFrame(f);
    ASSERT_EQ(doc.m_nOnionCount, 8);
    CHintRecorder hints(&doc);
    view->ToggleOnionFrame(10);
    EXPECT_EQ(doc.m_nOnionCount, 8);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(doc.m_onionFrames[k], k);
    EXPECT_TRUE(hints.hints.empty());
    // Removing one makes room again; out-of-range frames are ignored.
    view->ToggleOnionFrame(3);
    view->ToggleOnionFrame(10);
    view->ToggleOnionFrame(-1);
    view->ToggleOnionFrame(12);
    ASSERT_EQ(doc.m_nOnionCount, 8);
    EXPECT_EQ(doc.m_onionFrames[2], 2);
    EXPECT_EQ(doc.m_onionFrames[3], 4);
    EXPECT_EQ(doc.m_onionFrames[7], 10);
}

TEST_F(ViewTest, OffsetsAndMarginsOfACentredFrame) {
    MakeAnimation(720, 576);
    ShowView(1000, 700);
    ASSERT_EQ(Pane()->size(), QSize(1000, 700));
    EXPECT_EQ(view->m_nOffsetX, 140);
    EXPECT_EQ(view->m_nOffsetY, 62);
    const std::vector<QRect> margins = view->MarginRects();
    const std::vector<QRect> expected = {QRect(0, 0, 140, 700), QRect(860, 0, 140, 700),
                                         QRect(0, 0, 1000, 62), QRect(0, 638, 1000, 62)};
    EXPECT_EQ(margins, expected);
    const QImage screen = Pane()->grab().toImage();
    const QColor margin = CLumvaneView::MarginColour(view.get());
    ASSERT_NE(margin.rgb(), QColor(Qt::white).rgb());
    for (QPoint p : {QPoint(139, 300), QPoint(860, 300), QPoint(500, 61), QPoint(500, 638),
                     QPoint(0, 0), QPoint(999, 699)})
        EXPECT_EQ(screen.pixel(p), margin.rgb()) << p.x() << "," << p.y();
    for (QPoint p : {QPoint(140, 62), QPoint(859, 637), QPoint(500, 300)})
        EXPECT_EQ(QColor(screen.pixel(p)), QColor(Qt::white)) << p.x() << "," << p.y();
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(view->ScrollPosition(), QPoint(0, 0));
}

TEST_F(ViewTest, BothOffsetsZeroFillNoMargin) {
    MakeAnimation(100, 50);
    for (auto [w, h, filled] : {std::tuple{101, 51, false}, std::tuple{100, 50, false},
                                std::tuple{102, 50, true}, std::tuple{100, 53, true}}) {
        ShowView(w, h);
        ASSERT_EQ(Pane()->size(), QSize(w, h));
        QImage surface(w, h, QImage::Format_RGB32);
        surface.fill(Qt::magenta);
        QPainter painter(&surface);
        view->OnEraseBkgnd(painter);
        painter.end();
        int changed = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) changed += surface.pixel(x, y) != QColor(Qt::magenta).rgb();
        EXPECT_EQ(changed > 0, filled) << w << " x " << h;
    }
}

TEST_F(ViewTest, FrameWiderThanPaneHasNegativeOffsetAndNoSideMargins) {
    MakeAnimation(640, 100);
    ShowView(500, 400);
    ASSERT_EQ(Pane()->width(), 500);
    EXPECT_EQ(view->m_nOffsetX, -70);
    for (const QRect& r : view->MarginRects()) EXPECT_EQ(r.width(), 500);  // top and bottom only
    // Scroll sizes: total the frame, a page a tenth of it, a line one pixel.
    EXPECT_EQ(view->horizontalScrollBar()->pageStep(), 64);
    EXPECT_EQ(view->horizontalScrollBar()->singleStep(), 1);
    EXPECT_EQ(view->horizontalScrollBar()->maximum() - view->horizontalScrollBar()->minimum(), 140);
}

TEST_F(ViewTest, OffsetsTruncateTowardZero) {
    MakeAnimation(101, 51);
    view = std::make_unique<TestView>(&doc);
    for (auto [cx, cy, ox, oy] : {std::tuple{200, 100, 49, 24}, std::tuple{100, 50, 0, 0},
                                  std::tuple{0, 0, -50, -25}, std::tuple{98, 47, -1, -2}}) {
        view->OnSize(cx, cy);
        EXPECT_EQ(view->m_nOffsetX, ox);
        EXPECT_EQ(view->m_nOffsetY, oy);
    }
}

TEST_F(ViewTest, SetUpResetsModesUntilViewsReady) {
    MakeAnimation(16, 16, 3);
    view = std::make_unique<TestView>(&doc);
    doc.m_bOnionSkin = 1;
    doc.m_nOnionCount = 2;
    doc.m_nFps = 30;
    doc.m_bShowEveryFrame = 1;
    view->m_bScrubbing = 1;
    doc.m_bViewsReady = 1;
    doc.UpdateAllViews(nullptr, HINT_VIEWS);  // ready: nothing is reset
    EXPECT_EQ(doc.m_nFps, 30);
    doc.m_bViewsReady = 0;
    doc.UpdateAllViews(nullptr, HINT_VIEWS);
    EXPECT_EQ(doc.m_bOnionSkin, 0);
    EXPECT_EQ(doc.m_nOnionCount, 0);
    EXPECT_EQ(doc.m_nFps, 25);
    EXPECT_EQ(doc.m_bShowEveryFrame, 0);
    EXPECT_EQ(view->m_bScrubbing, 0);
}

TEST_F(ViewTest, FirstPaintShowsBrushAndAnnouncesViews) {
    RelayRecorder relay;
    context.relay = &relay;
    MakeAnimation(16, 16);
    doc.m_bEraser = 1;
    doc.m_nEraseBrush = 7;
    CHintRecorder hints(&doc);
    view = std::make_unique<TestView>(&doc, nullptr, context);
    EXPECT_EQ(doc.m_bViewsReady, 0);
    view->resize(100, 100);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    QCoreApplication::processEvents();
    EXPECT_EQ(doc.m_bViewsReady, 1);
    EXPECT_EQ(relay.rebuilds, std::vector<int>{0});  // rebuilt before the brush was shown
    EXPECT_EQ(relay.brushIndices, std::vector<int>{7});
    EXPECT_EQ(hints.hints, std::vector<int>{2});
    // Later paints do neither.
    Pane()->repaint();
    QCoreApplication::processEvents();
    EXPECT_EQ(relay.brushIndices.size(), 1u);
    EXPECT_EQ(hints.hints.size(), 1u);
}

// Counts paints of a widget.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST_F(ViewTest, OddHintsRecomposeAndPaintAtOnce) {
    MakeAnimation(16, 16, 2);
    ShowView(100, 100);
    PaintCounter counter;
    Pane()->installEventFilter(&counter);
    frames::Fill(doc, 0, 40);
    doc.UpdateAllViews(nullptr, HINT_VIEWS);
    EXPECT_EQ(qGray(view->DisplayImage().pixel(0, 0)), 255);
    EXPECT_EQ(counter.paints, 0);
    doc.UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
    EXPECT_EQ(qGray(view->DisplayImage().pixel(0, 0)), 40);
    EXPECT_EQ(counter.paints, 1);  // before any event was processed
    frames::Fill(doc, 1, 90);
    doc.m_nCurrentFrame = 1;
    doc.UpdateAllViews(nullptr, HINT_CURRENT_FRAME);
    EXPECT_EQ(qGray(view->DisplayImage().pixel(0, 0)), 90);
    EXPECT_EQ(counter.paints, 2);
    Pane()->removeEventFilter(&counter);
}

TEST_F(ViewTest, RefreshRectClampsAndTouchesOnlyItsRectangle) {
    MakeAnimation(8, 6);
    ShowView(50, 50);
    view->ComposeFrame(0);
    frames::Fill(doc, 0, 0);
    struct Case {
        int l, t, r, b;
        int changed;  // display pixels that became 0
    };
    for (Case c : {Case{2, 1, 4, 3, 4}, Case{-5, -5, 1, 1, 1}, Case{7, 5, 99, 99, 1},
                   Case{4, 4, 4, 9, 0}, Case{5, 3, 2, 4, 0}, Case{-9, -9, 99, 99, 48}}) {
        view->ComposeFrame(0);
        frames::Fill(doc, 0, 255);
        view->ComposeFrame(0);
        frames::Fill(doc, 0, 0);
        view->RefreshRect(0, c.l, c.t, c.r, c.b);
        int changed = 0;
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool inside = x >= c.l && x < c.r && y >= c.t && y < c.b;
                const int v = qGray(view->DisplayImage().pixel(x, y));
                if (v == 0) ++changed;
                if (!inside) {
                    EXPECT_EQ(v, 255);
                }
            }
        EXPECT_EQ(changed, c.changed) << c.l << "," << c.t << "," << c.r << "," << c.b;
    }
}

TEST_F(ViewTest, RefreshRectUsesOnionRuleAndStoredRows) {
    MakeAnimation(8, 6, 2);
    ShowView(50, 50);
    doc.m_bOnionSkin = 1;
    doc.m_onionFrames[0] = 1;
    doc.m_nOnionCount = 1;
    view->ComposeFrame(0);
    SetPixel(1, 2, 4, 0);  // stored row 4 is top-down row 1
    view->RefreshRect(0, 2, 1, 3, 2);
    EXPECT_EQ(Word(2, 1), qRgb(0, 0, 255));
    EXPECT_EQ(Word(2, 4), qRgb(255, 255, 255));
}

// Playback announces a frame before its time and shows it with an update carrying the
// announcement: that update shows the frame composed ahead, any other shows a fresh one.
TEST_F(ViewTest, AnnouncedFrameIsShownOnlyByItsOwnUpdate) {
    struct Case {
        const char* what;
        std::function<void(CLumvaneView&, CLumvaneDoc&)> between;
        bool carried;  // the update carries the announcement
        QRgb shown;
    };
    auto nothing = [](CLumvaneView&, CLumvaneDoc&) {};
    auto silentInk = [](CLumvaneView&, CLumvaneDoc& d) { frames::Fill(d, 1, 60); };
    const Case cases[] = {
        {"nothing between", nothing, true, qRgb(50, 50, 100)},  // 100 x 128 / 255
        // A frame's pixels change only with its encoding: the frame composed ahead is then
        // out of date, and the update shows the new pixels, announced or not.
        {"pixels changed unannounced", silentInk, true, qRgb(30, 30, 60)},
        {"other update", silentInk, false, qRgb(30, 30, 60)},
        {"onion list emptied", [](CLumvaneView&, CLumvaneDoc& d) { d.m_nOnionCount = 0; }, true,
         qRgb(100, 100, 100)},
        {"another frame current", [](CLumvaneView&, CLumvaneDoc& d) { d.m_nCurrentFrame = 2; },
         true, qRgb(64, 64, 128)},
        {"stroke refreshed",
         [](CLumvaneView& v, CLumvaneDoc& d) {
             frames::Fill(d, 1, 60);
             v.RefreshRect(1, 0, 0, 1, 1);
         },
         true, qRgb(30, 30, 60)},
    };
    MakeAnimation(8, 4, 3);
    ShowView(50, 50);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        frames::Fill(doc, 0, 200);
        frames::Fill(doc, 1, 100);
        frames::Fill(doc, 2, 128);
        doc.m_bOnionSkin = 1;
        doc.m_onionFrames[0] = 2;
        doc.m_nOnionCount = 1;
        doc.m_nCurrentFrame = 0;
        doc.UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
        CFrameAhead ahead{1};
        view->PrepareFrame(ahead);
        EXPECT_EQ(Word(0, 0), qRgb(100, 100, 200));  // the pane still shows frame 0
        doc.m_nCurrentFrame = 1;
        c.between(*view, doc);
        doc.UpdateAllViews(nullptr, HINT_FRAME_CONTENT, c.carried ? &ahead : nullptr);
        EXPECT_EQ(Word(0, 0), c.shown);
        EXPECT_EQ(Word(7, 3), c.shown);
        EXPECT_EQ(QColor(Pane()->grab().toImage().pixel(view->m_nOffsetX, view->m_nOffsetY)),
                  QColor(c.shown));
    }
}

TEST_F(ViewTest, SelectionOutlineIsDotted) {
    MakeAnimation(200, 150);
    ShowView(300, 250);
    doc.m_rcSelect = {10, 20, 100, 90};
    doc.OnBoxSelection();
    ASSERT_EQ(doc.m_bBoxSelect, 1);
    const QImage screen = Pane()->grab().toImage();
    const QColor outline = CLumvaneView::SelectionColour();
    EXPECT_EQ(outline, QColor(0, 100, 100));
    const int ox = view->m_nOffsetX;
    const int oy = view->m_nOffsetY;
    int onTop = 0, onLeft = 0, elsewhere = 0;
    for (int x = 10; x <= 100; ++x) onTop += QColor(screen.pixel(ox + x, oy + 20)) == outline;
    for (int y = 20; y <= 90; ++y) onLeft += QColor(screen.pixel(ox + 10, oy + y)) == outline;
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x) {
            const bool edge = ((x == 10 || x == 100) && y >= 20 && y <= 90) ||
                              ((y == 20 || y == 90) && x >= 10 && x <= 100);
            if (!edge && QColor(screen.pixel(ox + x, oy + y)) != QColor(Qt::white)) ++elsewhere;
        }
    EXPECT_GT(onTop, 20);  // dotted: some pixels of the edge, not all
    EXPECT_LT(onTop, 91);
    EXPECT_GT(onLeft, 15);
    EXPECT_LT(onLeft, 71);
    EXPECT_EQ(elsewhere, 0);
    // Leaving the mode removes it.
    doc.OnBoxSelection();
    const QImage plain = Pane()->grab().toImage();
    EXPECT_EQ(QColor(plain.pixel(ox + 10, oy + 20)), QColor(Qt::white));
}

TEST_F(ViewTest, PrintDrawsThePanePicture) {
    MakeAnimation(40, 30);
    ShowView(100, 80);
    SetPixel(0, 5, 29, 0);  // top-down (5, 0)
    doc.UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
    QImage page(200, 200, QImage::Format_RGB32);
    page.fill(Qt::gray);
    QPainter painter(&page);
    view->OnPrint(painter);
    painter.end();
    EXPECT_EQ(QColor(page.pixel(30 + 5, 25)), QColor(Qt::black));
    EXPECT_EQ(QColor(page.pixel(30 + 6, 25)), QColor(Qt::white));
    EXPECT_EQ(QColor(page.pixel(29, 25)), QColor(Qt::gray));  // no margins on paper
    // The view handles the two print commands.
    EXPECT_TRUE(view->OnCmdMsg(ID_FILE_PRINT, CmdPhase::Query, nullptr));
    EXPECT_TRUE(view->OnCmdMsg(ID_FILE_PRINT_PREVIEW, CmdPhase::Query, nullptr));
}

}  // namespace

namespace {

// In the main window the digit keys and Space are window shortcuts; the view still sees the
// key releases that start the return timer.
TEST_F(ViewTest, WindowShortcutsReachTheView) {
    MakeAnimation(16, 8, 6);
    for (int i = 0; i < 6; ++i) frames::Fill(doc, i, 10 * (i + 1));
    doc.m_nCurrentFrame = 1;
    CFrameWnd frame;
    auto* v = new TestView(&doc, &frame);
    frame.setCentralWidget(v);
    static const int ids[] = {ID_FRAME_KEY_MINUS4, ID_FRAME_KEY_MINUS3,  ID_FRAME_KEY_MINUS2,
                              ID_FRAME_KEY_MINUS1, ID_FRAME_KEY_CURRENT, ID_FRAME_KEY_PLUS1,
                              ID_FRAME_KEY_PLUS2,  ID_FRAME_KEY_PLUS3,   ID_FRAME_KEY_PLUS4};
    for (int i = 0; i < 9; ++i)
        frame.AddCommand(ids[i], QString::number(i + 1), {QKeySequence(Qt::Key_1 + i)});
    frame.AddCommand(ID_TOGGLE_ERASER, QStringLiteral("Eraser"), {QKeySequence(Qt::Key_Space)});
    frame.resize(300, 200);
    frame.show();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    frame.SetActiveView(v);
    QCoreApplication::processEvents();
    int triggered = 0;
    QObject::connect(frame.CommandAction(ID_FRAME_KEY_PLUS2), &QAction::triggered,
                     [&triggered] { ++triggered; });
    QTest::keyPress(v, Qt::Key_7);
    EXPECT_EQ(triggered, 1);  // as a shortcut, not through the view's own key handling
    EXPECT_EQ(qGray(v->DisplayImage().pixel(0, 0)), 40);  // frame 1 + 2
    QTest::keyRelease(v, Qt::Key_7);
    EXPECT_TRUE(v->ReturnTimerActive());
    QTest::keyClick(v, Qt::Key_Space);
    EXPECT_EQ(doc.m_bEraser, 1);
}

}  // namespace
