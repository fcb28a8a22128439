#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QPoint>
#include <vector>

#include "framework/View.h"
#include "views/ViewContext.h"

class CLumvaneDoc;
struct DecodedSound;
class QImage;

// The timeline strip above the drawing view: one 20-pixel cell per frame with its number,
// onion-skin boxes, the current-frame mark and the sound track's waveform. Dragging with the
// left button selects frames and plays each frame's slice of sound.
class CTimeView : public QAbstractScrollArea, public CView {
    Q_OBJECT
  public:
    static constexpr int kCellWidth = 20;
    static constexpr int kBandHeight = 20;
    static constexpr int kPageStep = 10;

    // Scroll requests, named after the scroll-bar notifications they stand for.
    enum ScrollCode {
        SB_LINELEFT,
        SB_LINERIGHT,
        SB_PAGELEFT,
        SB_PAGERIGHT,
        SB_THUMBPOSITION,
        SB_THUMBTRACK,
        SB_LEFT,
        SB_RIGHT,
        SB_ENDSCROLL
    };

    explicit CTimeView(QWidget* parent = nullptr, const CViewContext& context = {});
    ~CTimeView() override;

    CLumvaneDoc* GetLumvaneDoc() const;
    QWidget* GetWidget() override { return this; }
    // The splitter gives the strip 75 pixels and lets it shrink to its scroll bar.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Acts on hints with bit 2 only: recomputes the scroll limit and repaints.
    void OnUpdate(CView* sender, int hint, void* pHint) override;
    // Client area resized to cx x cy pixels.
    void OnSize(int cx, int cy);
    void OnHScroll(int code, int pos);
    // Scrubbing: only while the left button is held and the point is inside the strip.
    void OnMouseMove(Qt::MouseButtons buttons, QPoint point);

    // Draws the whole strip into image, whose size is taken as the client size.
    void OnDraw(QImage& image) const;
    // The waveform's polyline for a client area of width x height pixels; empty when there
    // is nothing to draw.
    std::vector<QPoint> WaveformPoints(int width, int height) const;
    // The same for an imported track: the peak of all channels in each pixel column.
    std::vector<QPoint> DecodedWaveformPoints(const DecodedSound& track, int width,
                                              int height) const;

    int m_nVisibleCells = 0;
    int m_nFirstFrame = 0;
    int m_nMaxFirstFrame = 0;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    void OnScrollAction(int action);
    int FrameCount() const;

    IShellRelay* m_pRelay;
    // Measured once: the numbers are drawn with it at every paint.
    QFont m_numberFont;
};
