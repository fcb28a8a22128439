#include <QAbstractButton>
#include <QLineEdit>

#include "ShellFixture.h"
#include "shell/BrushBar.h"

namespace {
struct BrushBarTest : ShellFixture {
    CBrushBar* bar() { return frame->BrushBar(); }
    void Click(int id) { bar()->Button(id)->click(); }
    // The brush button ids shown pressed.
    std::vector<int> Pressed() {
        std::vector<int> ids;
        for (int id = IDC_BRUSH_FIRST; id <= IDC_BRUSH_LAST; ++id)
            if (bar()->Button(id)->isChecked()) ids.push_back(id);
        return ids;
    }
};
}  // namespace

TEST_F(BrushBarTest, BrushButtonsPickTheBrushOfThePresentModeWithoutModifying) {
    struct Case {
        int eraser;
        int button;
        int drawBrush;
        int eraseBrush;
    };
    const Case cases[] = {
        {1, 3, 0, 3},  // the eraser's brush changes, the drawing brush stays
        {0, 3, 3, 9}, {0, 0, 0, 9}, {1, 9, 0, 9}, {0, 9, 9, 9},
    };
    for (const Case& c : cases) {
        doc->m_nDrawBrush = 0;
        doc->m_nEraseBrush = 9;
        doc->m_bEraser = c.eraser;
        doc->SetModifiedFlag(false);
        Click(IDC_BRUSH_FIRST + c.button);
        EXPECT_EQ(doc->m_nDrawBrush, c.drawBrush) << c.button;
        EXPECT_EQ(doc->m_nEraseBrush, c.eraseBrush) << c.button;
        EXPECT_EQ(doc->m_bEraser, c.eraser);
        EXPECT_FALSE(doc->IsModified());
        EXPECT_EQ(Pressed(), std::vector<int>{IDC_BRUSH_FIRST + c.button});
    }
}

TEST_F(BrushBarTest, RubberTogglesTheEraserAndShowsTheBrushOfTheNewMode) {
    doc->m_bEraser = 1;
    doc->m_nDrawBrush = 0;
    doc->m_nEraseBrush = 9;
    bar()->UpdateBrushChecks(9);
    Click(IDC_BRUSH_FIRST + 3);
    EXPECT_EQ(doc->m_nEraseBrush, 3);

    Click(IDC_RUBBER);  // off: the drawing brush is shown
    EXPECT_EQ(doc->m_bEraser, 0);
    EXPECT_FALSE(bar()->Button(IDC_RUBBER)->isChecked());
    EXPECT_EQ(Pressed(), std::vector<int>{IDC_BRUSH_FIRST + 0});

    Click(IDC_RUBBER);  // on again: the eraser's brush 3
    EXPECT_EQ(doc->m_bEraser, 1);
    EXPECT_TRUE(bar()->Button(IDC_RUBBER)->isChecked());
    EXPECT_EQ(Pressed(), std::vector<int>{IDC_BRUSH_FIRST + 3});
    EXPECT_FALSE(doc->IsModified());
}

TEST_F(BrushBarTest, UpdateBrushChecksFollowsTheEraserFlagAndTheIndex) {
    struct Case {
        int eraser;
        int index;
        std::vector<int> pressed;
    };
    const Case cases[] = {{0, 0, {1008}}, {1, 9, {1017}}, {1, 4, {1012}},
                          {0, 5, {1013}}, {0, -1, {}},    {1, 10, {}}};
    for (const Case& c : cases) {
        doc->m_bEraser = c.eraser;
        EXPECT_EQ(frame->UpdateBrushBar(c.index), 1);
        EXPECT_EQ(bar()->Button(IDC_RUBBER)->isChecked(), c.eraser == 1);
        EXPECT_EQ(Pressed(), c.pressed) << c.index;
    }
}

TEST_F(BrushBarTest, PreviewsPlaceTheMaskCentredWithRowsBottomUp) {
    doc->m_brushes[0].Build(40, 100);
    doc->m_brushes[1].Build(2, 20);
    doc->m_brushes[2].Build(7, 50);  // odd size: o = 16, the square covers 16 .. 22
    EXPECT_EQ(frame->RebuildBrushBar(), 1);
    for (int i = 0; i < 10; ++i) {
        const QImage& img = bar()->BrushImage(i);
        ASSERT_EQ(img.size(), QSize(40, 40));
        EXPECT_FALSE(bar()->Button(IDC_BRUSH_FIRST + i)->icon().isNull());
        const BrushStamp& s = doc->m_brushes[i];
        const int size = s.GetSize();
        const int o = (40 - size) / 2;
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 40; ++x) {
                // y counts from the top as shown; image row 39 - y in bottom-up order.
                const int r = 39 - y - o;
                const int c = x - o;
                const bool in = r >= 0 && r < size && c >= 0 && c < size;
                const int want = in ? s.GetMask()[r * size + c] : 255;
                ASSERT_EQ(img.pixelColor(x, y).red(), want) << i << " " << x << "," << y;
            }
        }
    }
    // Size 2 occupies rows and columns 19 and 20 only, with mask row 0 below row 1.
    const unsigned char* m = doc->m_brushes[1].GetMask();
    const QImage& two = bar()->BrushImage(1);
    EXPECT_EQ(two.pixelColor(19, 20).red(), m[0]);
    EXPECT_EQ(two.pixelColor(20, 20).red(), m[1]);
    EXPECT_EQ(two.pixelColor(19, 19).red(), m[2]);
    EXPECT_EQ(two.pixelColor(20, 19).red(), m[3]);
    // Size 40 has o = 0: the loop above compared every one of the 1600 pixels with the mask,
    // so the square reaches all four edges; its inked middle row spans nearly the width.
    const QImage& forty = bar()->BrushImage(0);
    EXPECT_EQ(forty.pixelColor(1, 20).red(), 0);
    EXPECT_EQ(forty.pixelColor(39, 20).red(), 0);
}

TEST_F(BrushBarTest, APreviewNeverWritesOutsideItsFortyPixels) {
    // Stamps are kept within 2 .. 40, but a larger mask must still be cut, not overrun.
    std::vector<unsigned char> mask(44 * 44, 7);
    const QImage img = CBrushBar::MakeBrushImage(mask.data(), 44);
    ASSERT_EQ(img.size(), QSize(40, 40));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(img.pixelColor(x, y).red(), 7);
    const QImage none = CBrushBar::MakeBrushImage(nullptr, 0);
    EXPECT_EQ(none.pixelColor(20, 20).red(), 255);
}

TEST_F(BrushBarTest, FrameNumberBoxShowsTheOneBasedNumberInTheHeavyFont) {
    const std::pair<int, const char*> cases[] = {{0, "1"}, {499, "500"}, {41, "42"}};
    for (const auto& [index, text] : cases) {
        frame->ShowFrameNumber(index);
        EXPECT_EQ(bar()->NumberBox()->text(), QString::fromLatin1(text));
    }
    QLineEdit* box = bar()->NumberBox();
    EXPECT_TRUE(box->isReadOnly());
    EXPECT_EQ(box->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_EQ(box->font().pixelSize(), 45);
    EXPECT_EQ(box->font().weight(), QFont::Black);
    EXPECT_FALSE(box->font().italic() || box->font().underline() || box->font().strikeOut());
}

TEST_F(BrushBarTest, ButtonsArePushLikeToggleButtonsThatTakeNoFocus) {
    for (int id = IDC_BRUSH_FIRST; id <= IDC_RUBBER; ++id) {
        QAbstractButton* b = bar()->Button(id);
        ASSERT_NE(b, nullptr);
        EXPECT_TRUE(b->isCheckable());
        EXPECT_EQ(b->focusPolicy(), Qt::NoFocus);  // Space and the digits stay accelerators
    }
    EXPECT_EQ(bar()->Button(IDC_RUBBER)->text(), QStringLiteral("RUBBER"));
    EXPECT_EQ(bar()->Button(IDC_BRUSH_FIRST)->iconSize(), QSize(40, 40));
}
