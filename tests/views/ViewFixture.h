#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <QTest>
#include <cstring>
#include <memory>
#include <vector>

#include "document/LumvaneDoc.h"
#include "support/FrameAccess.h"
#include "support/HintRecorder.h"
#include "support/ScriptedUi.h"
#include "views/LumvaneView.h"
#include "views/ViewContext.h"

// A drawing view whose screen width is chosen by the test.
class TestView : public CLumvaneView {
  public:
    using CLumvaneView::CLumvaneView;
    int m_nScreenWidth = 1024;

  protected:
    int ScreenWidth() const override { return m_nScreenWidth; }
};

// Records what the view asks of the main window.
struct RelayRecorder : IShellRelay {
    std::vector<int> rebuilds;  // how many rebuilds at each call, in call order
    std::vector<int> brushIndices;
    int RebuildBrushBar() override {
        rebuilds.push_back(static_cast<int>(brushIndices.size()));
        return 1;
    }
    int UpdateBrushBar(int index) override {
        brushIndices.push_back(index);
        return 1;
    }
    void ShowFrameNumber(int) override {}
    void RelayFrameKey(int) override {}
};

class ViewTest : public ::testing::Test {
  protected:
    CScriptedUi ui;  // the tablet binding may report; nothing may open a real box
    CLumvaneDoc doc;
    CViewContext context;  // what a main window would give the view: nothing by default
    std::unique_ptr<TestView> view;

    void TearDown() override { view.reset(); }

    // An animation of `count` white frames; frame i + 1 is a fresh white frame.
    void MakeAnimation(int width, int height, int count = 1) {
        ASSERT_EQ(doc.CreateAnimation(width, height), 1);
        for (int i = 1; i < count; ++i) frames::Fill(doc, i, 255);
        doc.m_nFrameCount = count;
    }

    // A shown view whose pane (viewport) is paneW x paneH, past its first paint.
    void ShowView(int paneW, int paneH) {
        view = std::make_unique<TestView>(&doc, nullptr, context);
        // As the main window connects them.
        QObject::connect(&doc, &CLumvaneDoc::FrameRectChanged, view.get(),
                         &CLumvaneView::OnFrameRectChanged);
        view->resize(paneW, paneH);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        doc.UpdateAllViews(nullptr, HINT_FRAME_CONTENT);
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    QWidget* Pane() { return view->viewport(); }

    // Frame index decoded, held for as long as the result is.
    std::shared_ptr<const GrayImage> Frame(int index) { return frames::Read(doc, index); }
    // Frame pixel at stored (x, y).
    int Pixel(int frame, int x, int y) {
        return Frame(frame)->GetData()[static_cast<std::size_t>(y) * doc.m_nWidth + x];
    }
    // Sets one pixel as a loaded file would have it (a new encoding of the whole frame).
    void SetPixel(int frame, int x, int y, int v) {
        frames::Edit f(doc, frame);
        f->GetData()[static_cast<std::size_t>(y) * doc.m_nWidth + x] =
            static_cast<unsigned char>(v);
    }
    // The display image's 32-bit word at top-down (x, y), alpha included: what a paint copies.
    QRgb Word(int x, int y) {
        const QImage& image = view->DisplayImage();
        EXPECT_EQ(image.format(), QImage::Format_RGB32);
        if (image.format() != QImage::Format_RGB32 || !image.valid(x, y)) return 0;
        return reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
    }

    // Pointer events on the pane at pane coordinates.
    void Press(QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::mousePress(Pane(), Qt::LeftButton, m, p);
    }
    void Move(QPoint p, Qt::MouseButtons buttons = Qt::LeftButton,
              Qt::KeyboardModifiers m = Qt::NoModifier) {
        QMouseEvent e(QEvent::MouseMove, QPointF(p), Pane()->mapToGlobal(QPointF(p)), Qt::NoButton,
                      buttons, m);
        QCoreApplication::sendEvent(Pane(), &e);
    }
    void Release(QPoint p, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QTest::mouseRelease(Pane(), Qt::LeftButton, m, p);
    }
    // Pane point of view coordinates (vx, vy).
    QPoint At(int vx, int vy) const { return QPoint(vx + view->m_nOffsetX, vy + view->m_nOffsetY); }
};

// How many pixels of an image differ from a value.
inline int CountOther(const GrayImage& image, int value) {
    int n = 0;
    for (std::size_t i = 0; i < image.PixelCount(); ++i) n += image.GetData()[i] != value;
    return n;
}

// A copy of a frame's pixels.
inline std::vector<unsigned char> Bytes(const GrayImage& image) {
    return {image.GetData(), image.GetData() + image.PixelCount()};
}
