// Strokes, undo snapshots, the eraser key and frame scrubbing, through real pointer events.
#include <QScrollBar>

#include "ViewFixture.h"

namespace {

// The frame as the stroke rules say it should be, drawn on a copy.
class Reference {
  public:
    explicit Reference(const GrayImage& from) {
        m_image.Create(from.GetWidth(), from.GetHeight());
        std::memcpy(m_image.GetData(), from.GetData(), from.PixelCount());
    }
    GrayImage& operator*() { return m_image; }
    GrayImage* operator->() { return &m_image; }

  private:
    GrayImage m_image;
};

TEST_F(ViewTest, ClickTwentyBelowTopDabsStoredRow556) {
    MakeAnimation(720, 576);
    ShowView(1000, 700);
    Press(At(100, 20));
    EXPECT_EQ(doc.m_bUndoValid, 1);
    EXPECT_TRUE(doc.IsModified());
    // The size-2 brush at (100, 556) darkens exactly pixel (99, 555).
    EXPECT_EQ(Pixel(0, 99, 555), 190);
    EXPECT_EQ(qGray(view->DisplayImage().pixel(99, 20)), 255);  // shown only by the release
    Release(At(100, 20));
    EXPECT_EQ(CountOther(*Frame(0), 255), 1);
    EXPECT_EQ(qGray(view->DisplayImage().pixel(99, 20)), 190);
    const QImage screen = Pane()->grab().toImage();
    EXPECT_EQ(qGray(screen.pixel(140 + 99, 62 + 20)), 190);
    EXPECT_EQ(CountOther(doc.m_undoImage, 255), 0);
}

TEST_F(ViewTest, StrokeFollowsTheDabRulesAndIsShown) {
    MakeAnimation(64, 48, 2);
    ShowView(200, 200);
    doc.m_nDrawBrush = 6;  // size 10
    Reference ref(*Frame(0));
    const BrushStamp& stamp = doc.m_brushes[6];
    Press(At(10, 10));
    Move(At(20, 15));
    Move(At(30, 30));
    EXPECT_TRUE(doc.StrokeActive());  // no recovery copy is taken in the middle of it
    Move(At(50, 30));
    Release(At(52, 31));
    EXPECT_FALSE(doc.StrokeActive());
    ref->DrawStamp(stamp, 10, 38, 0, 255);
    ref->DrawLine(stamp, 10, 38, 20, 33, 0, 255);
    ref->DrawLine(stamp, 20, 33, 30, 18, 0, 255);
    ref->DrawLine(stamp, 30, 18, 50, 18, 0, 255);
    ref->DrawLine(stamp, 50, 18, 52, 17, 0, 255);  // the release draws the last piece
    EXPECT_EQ(Bytes(*Frame(0)), Bytes(*ref));
    // Every changed pixel lies in some refreshed rectangle: the display equals the frame.
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(qGray(view->DisplayImage().pixel(x, 47 - y)), Pixel(0, x, y))
                << x << "," << y;
    // One snapshot per press: the undo image is the frame before the stroke.
    EXPECT_EQ(CountOther(doc.m_undoImage, 255), 0);
    const std::vector<unsigned char> afterFirst = Bytes(*Frame(0));
    Press(At(40, 40));
    doc.m_bBoxSelect = 1;  // a key switched modes during the stroke: it still ends
    Release(At(40, 40));
    EXPECT_FALSE(doc.StrokeActive());
    EXPECT_EQ(Bytes(doc.m_undoImage), afterFirst);
    EXPECT_EQ(Bytes(*Frame(1)), std::vector<unsigned char>(64 * 48, 255));
}

TEST_F(ViewTest, MovesWithoutButtonOnlyTrackThePointer) {
    MakeAnimation(64, 48);
    ShowView(200, 200);
    Move(At(5, 6), Qt::NoButton);
    Move(At(30, 20), Qt::NoButton);
    EXPECT_EQ(view->m_ptLast, QPoint(30, 20));
    EXPECT_EQ(CountOther(*Frame(0), 255), 0);
    // Other buttons neither draw nor snapshot.
    QTest::mousePress(Pane(), Qt::RightButton, Qt::NoModifier, At(10, 10));
    QTest::mouseRelease(Pane(), Qt::RightButton, Qt::NoModifier, At(10, 10));
    EXPECT_EQ(doc.m_bUndoValid, 0);
    EXPECT_EQ(CountOther(*Frame(0), 255), 0);
    // A drag entering with the button already down draws from the last position seen, and
    // starts as a press does: a snapshot to undo, the document modified.
    Move(At(30, 20), Qt::NoButton);
    Reference ref(*Frame(0));
    Move(At(40, 20));
    ref->DrawLine(doc.m_brushes[0], 30, 28, 40, 28, 0, 255);
    EXPECT_EQ(Bytes(*Frame(0)), Bytes(*ref));
    EXPECT_EQ(doc.m_bUndoValid, 1);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(doc.StrokeActive());
    Release(At(40, 20));
    EXPECT_FALSE(doc.StrokeActive());
}

TEST_F(ViewTest, KeysNoCommandTookDoNotScrollThePane) {
    MakeAnimation(800, 600);  // larger than the pane: both bars can scroll
    ShowView(300, 200);
    view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->minimum() + 50);
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->minimum() + 50);
    const QPoint before = view->ScrollPosition();
    for (Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right, Qt::Key_PageUp,
                        Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End}) {
        QTest::keyClick(view.get(), key);
        EXPECT_EQ(view->ScrollPosition(), before) << "key " << key;
    }
}

TEST_F(ViewTest, SpaceSwapsStampAndMode) {
    RelayRecorder relay;
    context.relay = &relay;
    MakeAnimation(64, 48);
    ShowView(200, 200);
    relay.brushIndices.clear();
    frames::Fill(doc, 0, 0);
    doc.UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
    QTest::keyClick(view.get(), Qt::Key_Space);
    EXPECT_EQ(doc.m_bEraser, 1);
    EXPECT_EQ(relay.brushIndices, std::vector<int>{9});
    Reference ref(*Frame(0));
    Press(At(32, 24));
    Release(At(32, 24));
    ref->DrawStamp(doc.m_brushes[9], 32, 24, 1, 255);  // size 25, erasing
    EXPECT_EQ(Bytes(*Frame(0)), Bytes(*ref));
    QTest::keyClick(view.get(), Qt::Key_Space);
    EXPECT_EQ(doc.m_bEraser, 0);
    EXPECT_EQ(relay.brushIndices, (std::vector<int>{9, 0}));
    Press(At(10, 10));
    Release(At(10, 10));
    ref->DrawStamp(doc.m_brushes[0], 10, 38, 0, 255);
    EXPECT_EQ(Bytes(*Frame(0)), Bytes(*ref));
}

TEST_F(ViewTest, ScrollPositionShiftsFrameCoordinates) {
    MakeAnimation(720, 576);
    ShowView(300, 300);
    ASSERT_LT(view->m_nOffsetX, 0);
    view->horizontalScrollBar()->setValue(20);
    view->verticalScrollBar()->setValue(10);
    ASSERT_EQ(view->ScrollPosition(), QPoint(20, 10));
    const QPoint pane(150, 100);
    const int vx = pane.x() - view->m_nOffsetX;
    const int vy = pane.y() - view->m_nOffsetY;
    Press(pane);
    Release(pane);
    EXPECT_EQ(Pixel(0, vx + 20 - 1, 576 - vy - 10 - 1), 190);
    const QImage screen = Pane()->grab().toImage();
    EXPECT_EQ(qGray(screen.pixel(pane - QPoint(1, 0))), 190);  // the dab is under the pointer
}

TEST_F(ViewTest, EveryFramePixelCanBeScrolledIntoView) {
    MakeAnimation(640, 480);
    ShowView(500, 400);
    SetPixel(0, 0, 479, 0);  // top-left
    SetPixel(0, 639, 0, 0);  // bottom-right
    doc.UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
    QScrollBar* h = view->horizontalScrollBar();
    QScrollBar* v = view->verticalScrollBar();
    h->setValue(h->minimum());
    v->setValue(v->minimum());
    EXPECT_EQ(QColor(Pane()->grab().toImage().pixel(0, 0)), QColor(Qt::black));
    h->setValue(h->maximum());
    v->setValue(v->maximum());
    const QImage end = Pane()->grab().toImage();
    EXPECT_EQ(QColor(end.pixel(Pane()->width() - 1, Pane()->height() - 1)), QColor(Qt::black));
}

class Scrub : public ViewTest {
  protected:
    void Setup(int frames, int screen, int start) {
        MakeAnimation(16, 8, frames);
        ShowView(100, 100);
        view->m_nScreenWidth = screen;
        doc.m_nCurrentFrame = start;
    }
};

TEST_F(Scrub, StepIsScreenWidthOverFrameCount) {
    struct Case {
        int frames, screen, start, dx, frame;
    };
    for (Case c : {Case{100, 1024, 5, 35, 8}, Case{100, 1024, 5, -9, 5}, Case{100, 1024, 5, -10, 4},
                   Case{100, 1024, 5, 9, 5}, Case{10, 1024, 5, 39, 5}, Case{10, 1024, 5, 40, 6},
                   Case{10, 1024, 5, -40, 4}, Case{10, 1024, 5, -39, 5},
                   Case{100, 1024, 5, -3000, 0}, Case{100, 1024, 5, 3000, 99},
                   Case{500, 300, 5, 3, 8}, Case{500, 300, 5, -7, 0}, Case{1, 1024, 0, 50, 0}}) {
        Setup(c.frames, c.screen, c.start);
        CHintRecorder hints(&doc);
        Press(At(50, 4), Qt::ControlModifier);
        EXPECT_EQ(view->m_bScrubbing, 1);
        Move(At(50 + c.dx, 4), Qt::LeftButton, Qt::ControlModifier);
        EXPECT_EQ(doc.m_nCurrentFrame, c.frame)
            << c.frames << " frames, screen " << c.screen << ", dx " << c.dx;
        EXPECT_EQ(hints.hints, c.frame == c.start ? std::vector<int>{} : std::vector<int>{3});
        Release(At(50 + c.dx, 4));
        EXPECT_EQ(view->m_bScrubbing, 0);
        EXPECT_EQ(doc.m_bUndoValid, 0);  // nothing drawn
        view.reset();
    }
}

TEST_F(Scrub, ShowsTheFrameAndKeepsOnionListAndBox) {
    Setup(20, 1024, 2);
    for (int i = 0; i < 20; ++i) frames::Fill(doc, i, 10 * i);
    doc.m_bOnionSkin = 1;
    doc.m_onionFrames[0] = 3;
    doc.m_nOnionCount = 1;
    doc.m_bBoxSelect = 1;  // Ctrl scrubs in box mode too
    const LRect box = doc.m_rcSelect;
    Press(At(50, 4), Qt::ControlModifier);
    Move(At(50 + 80, 4));  // 1024 / 20 = 51, capped to 40: two frames
    EXPECT_EQ(doc.m_nCurrentFrame, 4);
    EXPECT_EQ(doc.m_nOnionCount, 1);
    EXPECT_EQ(qBlue(view->DisplayImage().pixel(0, 0)), 40);
    Release(At(130, 4));
    EXPECT_EQ(doc.m_rcSelect, box);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(Pixel(i, 3, 3), 10 * i);
}

}  // namespace
