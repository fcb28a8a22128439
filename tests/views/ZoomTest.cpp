// Zoom: where the pen lands, what the pane shows, the steps, the anchor and the printout.
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include "ViewFixture.h"
#include "document/DocCommandIds.h"

namespace {
// The pane point over the middle of top-down frame pixel (x, y) at the view's zoom.
QPoint Over(const CLumvaneView& v, int x, int y) {
    const QPoint s = v.ScrollPosition();
    const double z = v.Zoom();
    return QPoint(v.m_nOffsetX - s.x() + static_cast<int>((x + 0.5) * z),
                  v.m_nOffsetY - s.y() + static_cast<int>((y + 0.5) * z));
}
}  // namespace

// A click and a drag at any zoom put the same dabs into the same frame pixels as at 100 %.
TEST_F(ViewTest, StrokesLandOnTheFramePixelUnderThePenAtEveryZoom) {
    std::vector<unsigned char> atActualSize;
    for (double zoom : {1.0, 3.0, 0.5, 8.0, 0.125}) {
        SCOPED_TRACE(zoom);
        MakeAnimation(64, 48);
        ShowView(300, 300);
        doc.m_nDrawBrush = 6;
        view->SetZoom(zoom);
        EXPECT_EQ(view->Zoom(), zoom);
        Press(Over(*view, 10, 12));
        Move(Over(*view, 30, 20));
        Release(Over(*view, 30, 20));
        if (zoom == 1.0)
            atActualSize = Bytes(*Frame(0));
        else if (zoom >= 0.5)  // at 12.5 % a screen pixel covers 8 frame pixels
            EXPECT_EQ(Bytes(*Frame(0)), atActualSize);
        else
            EXPECT_NE(CountOther(*Frame(0), 255), 0);
    }
}

TEST_F(ViewTest, ZoomedInPixelsAreSquaresAndZoomedOutAreasAveraged) {
    MakeAnimation(8, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) SetPixel(0, x, y, (x * 31 + y * 7) % 256);
    ShowView(100, 100);
    view->SetZoom(2.0);
    QImage pane = Pane()->grab().toImage();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            for (int d : {0, 1}) {
                const QPoint p(view->m_nOffsetX + 2 * x + d, view->m_nOffsetY + 2 * y + d);
                ASSERT_EQ(qGray(pane.pixel(p)), Pixel(0, x, 3 - y)) << x << "," << y;
            }
    view->SetZoom(0.5);
    pane = Pane()->grab().toImage();
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            int sum = 0;
            for (int k = 0; k < 4; ++k) sum += Pixel(0, 2 * x + k % 2, 3 - (2 * y + k / 2));
            EXPECT_EQ(qGray(pane.pixel(view->m_nOffsetX + x, view->m_nOffsetY + y)), (sum + 2) / 4)
                << x << "," << y;
        }
    // A stroke while zoomed out shows at once, averaged like the rest.
    Press(Over(*view, 2, 1));
    Release(Over(*view, 2, 1));
    pane = Pane()->grab().toImage();
    int sum = 0;
    for (int k = 0; k < 4; ++k) sum += Pixel(0, 2 + k % 2, 3 - (k / 2));
    EXPECT_EQ(qGray(pane.pixel(view->m_nOffsetX + 1, view->m_nOffsetY)), (sum + 2) / 4);
}

TEST_F(ViewTest, ZoomCommandsStepFitAndStartAtActualSize) {
    MakeAnimation(400, 300);
    ShowView(220, 220);
    struct Step {
        int id;
        double zoom;
    };
    const Step script[] = {
        {ID_VIEW_ZOOMIN, 1.5},     {ID_VIEW_ZOOMIN, 2.0},       {ID_VIEW_ZOOMIN, 3.0},
        {ID_VIEW_ZOOMIN, 4.0},     {ID_VIEW_ZOOMIN, 8.0},       {ID_VIEW_ZOOMIN, 8.0},
        {ID_VIEW_ACTUALSIZE, 1.0}, {ID_VIEW_ZOOMOUT, 0.67},     {ID_VIEW_ZOOMOUT, 0.5},
        {ID_VIEW_ZOOMOUT, 0.33},   {ID_VIEW_ZOOMOUT, 0.25},     {ID_VIEW_ZOOMOUT, 0.125},
        {ID_VIEW_ZOOMOUT, 0.125},  {ID_VIEW_FITINWINDOW, 0.55},
    };
    for (const Step& s : script) {
        EXPECT_TRUE(view->OnCmdMsg(s.id, CmdPhase::Execute, nullptr));
        EXPECT_DOUBLE_EQ(view->Zoom(), s.zoom) << s.id;
    }
    // Fitted, the whole frame is in the pane and nothing scrolls.
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), view->horizontalScrollBar()->minimum());
    EXPECT_EQ(view->verticalScrollBar()->maximum(), view->verticalScrollBar()->minimum());
    // New and Open start at actual size.
    MakeAnimation(40, 30);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->Zoom(), 1.0);
}

TEST_F(ViewTest, CtrlWheelZoomsAboutThePointer) {
    MakeAnimation(400, 300);
    ShowView(200, 150);
    const QPoint at = Over(*view, 120, 90);
    for (int delta : {120, 120, -120, -120, -120}) {
        QWheelEvent e(QPointF(at), Pane()->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(Pane(), &e);
        // The frame pixel under the pointer stays there (within a pixel of rounding).
        const QPoint s = view->ScrollPosition();
        const double fx = (at.x() - view->m_nOffsetX + s.x()) / view->Zoom();
        const double fy = (at.y() - view->m_nOffsetY + s.y()) / view->Zoom();
        // Within what one screen pixel covers.
        EXPECT_NEAR(fx, 120.5, 1.0 / view->Zoom()) << view->Zoom();
        EXPECT_NEAR(fy, 90.5, 1.0 / view->Zoom()) << view->Zoom();
    }
    EXPECT_DOUBLE_EQ(view->Zoom(), 0.67);
}

TEST_F(ViewTest, BoxCornersAreGrabbedWhereTheyAreShownAndPrintingIsAtActualSize) {
    MakeAnimation(200, 150);
    SetPixel(0, 3, 149, 0);  // top-down (3, 0)
    ShowView(500, 400);
    doc.m_bBoxSelect = 1;
    view->SetZoom(2.0);
    // A press on the shown bottom-right corner (100, 100) grabs it: dragging moves that corner.
    const QPoint corner(view->m_nOffsetX + 200, view->m_nOffsetY + 200);
    Press(corner);
    Move(corner + QPoint(20, 10));
    Release(corner + QPoint(20, 10));
    EXPECT_EQ(doc.m_rcSelect, (LRect{10, 10, 110, 105}));
    // Printed as the pane would show it at 100 %: centred in a 500 x 400 pane.
    QImage page(500, 400, QImage::Format_RGB32);
    page.fill(Qt::black);
    QPainter painter(&page);
    view->OnPrint(painter);
    painter.end();
    EXPECT_EQ(qGray(page.pixel(150 + 3, 125)), 0);
    EXPECT_EQ(qGray(page.pixel(150 + 4, 125)), 255);
    EXPECT_EQ(qGray(page.pixel(150 + 199, 125 + 149)), 255);
    EXPECT_EQ(qGray(page.pixel(150 + 200, 125 + 150)), 0);  // nothing beyond the frame
    EXPECT_EQ(view->Zoom(), 2.0);
}
