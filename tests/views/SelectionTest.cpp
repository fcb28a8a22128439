// The selection box (handles, dragging) and Copy, Paste and Paste Lines.
#include <QScrollBar>

#include "ViewFixture.h"
#include "views/SelectionBox.h"

namespace {

int Pattern(int x, int y) {
    return (x * 7 + y * 13) & 255;
}

void FillPattern(GrayImage& image) {
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            image.GetData()[static_cast<std::size_t>(y) * image.GetWidth() + x] =
                static_cast<unsigned char>(Pattern(x, y));
}

bool Enabled(CLumvaneDoc& doc, int id) {
    CCmdUI ui(id);
    if (!doc.OnCmdMsg(id, CmdPhase::Update, &ui) || !ui.m_bEnableChanged)
        ui.Enable(doc.OnCmdMsg(id, CmdPhase::Query, nullptr));
    return ui.m_bEnabled;
}

TEST(SelectionHandles, ChosenByManhattanDistanceInCornerOrder) {
    const LRect box = {10, 10, 100, 100};
    struct Case {
        int vx, vy, handle;
    };
    for (Case c : {Case{25, 25, 0}, Case{30, 30, 4}, Case{10, 49, 0}, Case{10, 50, 4},
                   Case{-29, 10, 0}, Case{85, 25, 1}, Case{100, 139, 2}, Case{10, 100, 3},
                   Case{55, 55, 4}, Case{500, 500, 4}}) {
        EXPECT_EQ(selection_box::ChooseHandle(box, c.vx, c.vy), c.handle) << c.vx << "," << c.vy;
    }
    // A tiny box: the first corner in order wins.
    EXPECT_EQ(selection_box::ChooseHandle({0, 0, 5, 5}, 5, 5), 0);
}

TEST(SelectionHandles, DraggingRules) {
    struct Case {
        LRect box;
        int handle, ddx, ddy;
        LRect result;
    };
    const LRect b = {10, 10, 100, 100};
    for (const Case& c : {
             Case{b, 0, 49, 0, {59, 10, 100, 100}},   // 59 < 100 - 40
             Case{b, 0, 50, 0, b},                    // 60 is refused
             Case{b, 0, -10, -10, {0, 0, 100, 100}},  // down to 0
             Case{b, 0, -11, -5, {10, 5, 100, 100}},  // x refused, y taken
             Case{b, 1, 50, 0, {10, 10, 150, 100}},
             Case{b, 1, -49, 0, {10, 10, 51, 100}},
             Case{b, 1, -50, 0, b},
             Case{b, 2, 100, 10, {10, 10, 100, 110}},  // right reaches the width 200: refused
             Case{b, 2, 99, 99, {10, 10, 199, 199}},
             Case{b, 3, -10, 100, {0, 10, 100, 100}},  // bottom would reach 200
             Case{b, 3, 0, 100, {10, 10, 100, 100}},   // bottom must stay below 200
             Case{b, 4, 5, -5, {15, 5, 105, 95}},
             Case{b, 4, 99, 0, {109, 10, 199, 100}},
             Case{b, 4, 100, 0, b},  // right edge would reach the width
             Case{b, 4, -11, 0, b},
             Case{b, 4, 0, 100, b},
         }) {
        LRect box = c.box;
        selection_box::DragBox(box, c.handle, c.ddx, c.ddy, 200, 200);
        EXPECT_EQ(box, c.result) << "handle " << c.handle << " by " << c.ddx << "," << c.ddy;
    }
}

class Selection : public ViewTest {
  protected:
    void SetUp() override {
        MakeAnimation(720, 576, 2);
        ShowView(1000, 700);
        doc.OnBoxSelection();
        ASSERT_EQ(doc.m_bBoxSelect, 1);
    }
};

TEST_F(Selection, PressGrabsCornerWithinReach) {
    Press(At(25, 25));  // 15 right and 15 down: 30 away
    EXPECT_EQ(view->m_nSelectHandle, 0);
    Move(At(30, 27));
    Release(At(30, 27));
    EXPECT_EQ(doc.m_rcSelect, (LRect{15, 12, 100, 100}));
    doc.m_rcSelect = {10, 10, 100, 100};
    Press(At(30, 30));  // 40 away from every corner
    EXPECT_EQ(view->m_nSelectHandle, 4);
    Move(At(35, 33));
    Release(At(35, 33));
    EXPECT_EQ(doc.m_rcSelect, (LRect{15, 13, 105, 103}));
    EXPECT_EQ(CountOther(*Frame(0), 255), 0);  // nothing drawn
    EXPECT_EQ(doc.m_bUndoValid, 0);
}

TEST_F(Selection, LeftEdgeStopsAt59AndAtZero) {
    Press(At(10, 10));
    for (int x = 11; x <= 90; ++x) Move(At(x, 10));
    EXPECT_EQ(doc.m_rcSelect.left, 59);
    EXPECT_EQ(doc.m_rcSelect.top, 10);
    for (int x = 89; x >= -40; --x) Move(At(x, 10));  // step by step back past 0
    EXPECT_EQ(doc.m_rcSelect.left, 0);
    Release(At(-40, 10));
    EXPECT_EQ(doc.m_rcSelect, (LRect{0, 10, 100, 100}));
}

TEST_F(Selection, WholeBoxStopsAtTheRightEdge) {
    doc.m_rcSelect = {600, 10, 710, 100};
    Press(At(650, 50));
    Move(At(659, 50));
    EXPECT_EQ(doc.m_rcSelect, (LRect{609, 10, 719, 100}));
    Move(At(660, 55));  // right would be 720: the whole step is refused
    EXPECT_EQ(doc.m_rcSelect, (LRect{609, 10, 719, 100}));
    Move(At(660, 60));  // the refused step still moved the pointer on
    EXPECT_EQ(doc.m_rcSelect, (LRect{609, 15, 719, 105}));
    Release(At(660, 60));
}

TEST_F(Selection, ScrolledPaneTestsCornersWithoutScrollPosition) {
    view->resize(300, 300);
    QCoreApplication::processEvents();
    ASSERT_LT(view->m_nOffsetX, 0);
    doc.m_rcSelect = {300, 250, 400, 350};
    struct Case {
        int sx, sy, handle;
    };
    for (Case c : {Case{20, 10, 0}, Case{30, 9, 0}, Case{30, 10, 4}, Case{0, 0, 0}}) {
        view->horizontalScrollBar()->setValue(c.sx);
        view->verticalScrollBar()->setValue(c.sy);
        ASSERT_EQ(view->ScrollPosition(), QPoint(c.sx, c.sy));
        // Where the top-left corner is painted.
        const QPoint corner(view->m_nOffsetX - c.sx + 300, view->m_nOffsetY - c.sy + 250);
        Press(corner);
        Release(corner);
        EXPECT_EQ(view->m_nSelectHandle, c.handle) << c.sx << "," << c.sy;
    }
}

TEST_F(Selection, CopyAndPasteRegionsOf720By576) {
    FillPattern(*frames::Edit(doc, 0));
    doc.m_rcSelect = {100, 50, 300, 150};
    doc.SetModifiedFlag(false);
    doc.OnCopy();
    EXPECT_EQ(doc.m_bClipValid, 1);
    EXPECT_EQ(doc.m_nClipWidth, 200);
    EXPECT_EQ(doc.m_nClipHeight, 100);
    EXPECT_EQ(doc.m_bUndoValid, 0);
    EXPECT_FALSE(doc.IsModified());
    const unsigned char* clip = doc.m_clipImage.GetData();
    for (int row = 0; row < 100; ++row)
        for (int col = 0; col < 200; ++col)
            ASSERT_EQ(clip[col + row * 720], Pattern(100 + col, 426 + row));

    doc.m_nCurrentFrame = 1;
    doc.m_rcSelect = {400, 300, 500, 420};
    CHintRecorder hints(&doc);
    doc.OnPaste();
    EXPECT_EQ(hints.hints, std::vector<int>{1});
    EXPECT_EQ(doc.m_bUndoValid, 1);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(CountOther(doc.m_undoImage, 255), 0);
    for (int y = 0; y < 576; ++y)
        for (int x = 0; x < 720; ++x) {
            const bool inside = x >= 400 && x <= 599 && y >= 156 && y <= 255;
            ASSERT_EQ(Pixel(1, x, y), inside ? Pattern(x - 300, y + 270) : 255) << x << "," << y;
        }
    // The view shows it: stored row 156 is top-down row 419.
    EXPECT_EQ(qGray(view->DisplayImage().pixel(400, 419)), Pattern(100, 426));
}

TEST_F(Selection, WholeFrameCopyPastedAtTheBox) {
    FillPattern(*frames::Edit(doc, 0));
    doc.m_bBoxSelect = 0;
    doc.OnCopy();
    EXPECT_EQ(doc.m_nClipWidth, 720);
    EXPECT_EQ(doc.m_nClipHeight, 576);
    doc.m_bBoxSelect = 1;
    doc.m_rcSelect = {10, 10, 100, 100};
    doc.m_nCurrentFrame = 1;
    doc.OnPaste();
    for (int y = 0; y < 576; ++y)
        for (int x = 0; x < 720; ++x) {
            const bool covered = x >= 10 && y >= 476;
            ASSERT_EQ(Pixel(1, x, y), covered ? Pattern(x - 10, y - 476) : 255) << x << "," << y;
        }
    // Without the box a whole-frame copy replaces the whole frame.
    doc.m_bBoxSelect = 0;
    doc.OnPaste();
    EXPECT_EQ(Bytes(*Frame(1)), Bytes(*Frame(0)));
}

TEST_F(Selection, PasteLinesDarkensOnly) {
    struct Case {
        int clip, frame, result;
    };
    doc.m_bBoxSelect = 0;
    for (Case c : {Case{128, 200, 100}, Case{255, 77, 77}, Case{255, 0, 0}, Case{0, 200, 0},
                   Case{200, 128, 100}, Case{254, 255, 254}}) {
        doc.m_nCurrentFrame = 0;
        frames::Fill(doc, 0, c.clip);
        doc.OnCopy();
        doc.m_nCurrentFrame = 1;
        frames::Fill(doc, 1, c.frame);
        doc.OnPasteLines();
        EXPECT_EQ(Pixel(1, 0, 0), c.result) << c.clip << " over " << c.frame;
        EXPECT_EQ(Pixel(1, 719, 575), c.result);
        EXPECT_EQ(CountOther(doc.m_undoImage, c.frame), 0);
    }
}

TEST_F(Selection, PasteLinesUsesTheBoxOrigin) {
    frames::Fill(doc, 0, 0);
    doc.m_rcSelect = {0, 0, 50, 60};
    doc.OnCopy();
    doc.m_rcSelect = {700, 570, 760, 640};  // mostly outside the frame
    doc.m_nCurrentFrame = 1;
    frames::Fill(doc, 1, 200);
    doc.OnPasteLines();
    int dark = 0;
    for (int y = 0; y < 576; ++y)
        for (int x = 0; x < 720; ++x) {
            const int v = Pixel(1, x, y);
            if (v == 0) {
                ++dark;
                EXPECT_GE(x, 700);
            } else {
                ASSERT_EQ(v, 200);
            }
        }
    EXPECT_EQ(dark, 0);  // the origin is stored row 576 - 640 < 0: rows -64 .. -5, all dropped
    doc.m_rcSelect = {700, 500, 760, 540};
    doc.OnPasteLines();
    // Origin (700, 36): 20 columns fit, rows 36 .. 95.
    for (int y = 0; y < 576; ++y)
        for (int x = 0; x < 720; ++x)
            ASSERT_EQ(Pixel(1, x, y), (x >= 700 && y >= 36 && y < 96) ? 0 : 200) << x << "," << y;
}

TEST_F(Selection, BoxCopyClipsToTheFrame) {
    MakeAnimation(80, 80, 2);
    FillPattern(*frames::Edit(doc, 0));
    doc.m_rcSelect = {10, 10, 100, 100};
    doc.OnCopy();
    EXPECT_EQ(doc.m_bClipValid, 1);
    EXPECT_EQ(doc.m_nClipWidth, 70);
    EXPECT_EQ(doc.m_nClipHeight, 70);
    for (int row = 0; row < 70; ++row)
        for (int col = 0; col < 70; ++col)
            ASSERT_EQ(doc.m_clipImage.GetData()[col + row * 80], Pattern(10 + col, row));
    // A box wholly outside copies nothing and keeps the buffer.
    const std::vector<unsigned char> before = Bytes(doc.m_clipImage);
    doc.m_rcSelect = {90, 10, 200, 70};
    doc.OnCopy();
    EXPECT_EQ(doc.m_nClipWidth, 70);
    EXPECT_EQ(doc.m_nClipHeight, 70);
    EXPECT_EQ(Bytes(doc.m_clipImage), before);
    MakeAnimation(8, 8);
    doc.m_rcSelect = {10, 10, 100, 100};
    doc.OnCopy();
    EXPECT_EQ(doc.m_bClipValid, 0);
}

TEST_F(Selection, CommandAvailability) {
    doc.m_bClipValid = 0;
    EXPECT_FALSE(Enabled(doc, ID_EDIT_PASTE));
    EXPECT_FALSE(Enabled(doc, ID_EDIT_PASTELINES));
    EXPECT_TRUE(Enabled(doc, ID_EDIT_COPY));
    EXPECT_TRUE(Enabled(doc, ID_EDIT_BOXSELECTION));
    EXPECT_FALSE(Enabled(doc, ID_EDIT_CUT));  // listed, never handled
    EXPECT_FALSE(view->OnCmdMsg(ID_EDIT_CUT, CmdPhase::Query, nullptr));
    doc.OnCopy();
    EXPECT_TRUE(Enabled(doc, ID_EDIT_PASTE));
    EXPECT_TRUE(Enabled(doc, ID_EDIT_PASTELINES));
    CCmdUI check(ID_EDIT_BOXSELECTION);
    doc.OnCmdMsg(ID_EDIT_BOXSELECTION, CmdPhase::Update, &check);
    EXPECT_EQ(check.m_nCheck, 1);
    CHintRecorder hints(&doc);
    doc.OnCmdMsg(ID_EDIT_BOXSELECTION, CmdPhase::Execute, nullptr);
    EXPECT_EQ(doc.m_bBoxSelect, 0);
    EXPECT_EQ(hints.hints, std::vector<int>{1});
}

TEST_F(Selection, BoxModeBackOffDrawsAgain) {
    doc.OnBoxSelection();
    Press(At(100, 20));
    Release(At(100, 20));
    EXPECT_EQ(Pixel(0, 99, 555), 190);
}

}  // namespace
