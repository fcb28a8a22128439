#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "document/UpdateHints.h"
#include "framework/View.h"
#include "raster/CompactImage.h"
#include "raster/GrayImage.h"
#include "views/ViewContext.h"

class CLumvaneDoc;
class CTabletInput;
class QPainter;
class QPaintDevice;
class QPrinter;
struct LRect;

// The drawing pane: shows the document's current frame (or a peeked neighbour) one frame pixel
// per screen pixel, centred, with chosen neighbours tinted blue under it; turns the pointer into
// strokes, frame scrubbing and selection-box edits.
class CLumvaneView : public QAbstractScrollArea, public CView, public IFrameAheadView {
    Q_OBJECT
  public:
    // How long a peeked frame stays after the last key is let go.
    static constexpr int kReturnTimerMs = 500;
    static constexpr int kMaxScrubStep = 40;
    static QColor SelectionColour() { return QColor(0, 100, 100); }
    // The display image's format: 32-bit words without alpha, which the raster paint engine
    // copies unchanged into the window's backing store (RGB32 offscreen, premultiplied ARGB32
    // under xcb), so a paint converts nothing.
    static constexpr QImage::Format kDisplayFormat = QImage::Format_RGB32;
    // What the margins around the frame are filled with: the scroll-bar background.
    static QColor MarginColour(const QWidget* widget);

    explicit CLumvaneView(CLumvaneDoc* doc = nullptr, QWidget* parent = nullptr,
                          const CViewContext& context = {});
    ~CLumvaneView() override;

    QWidget* GetWidget() override { return this; }
    CLumvaneDoc* GetDoc() const;

    // ---- display (cached picture of the frame being shown) ----
    // Rebuilds the whole display image from that frame, tinted by the onion list when onion
    // skin is active. Returns 1.
    int ComposeFrame(int index);
    // Recomposes one rectangle (top-down frame coordinates, right/bottom exclusive) of that
    // frame into the same place of the display image. Returns 1.
    int RefreshRect(int index, int left, int top, int right, int bottom);
    // Composes an announced frame into a second image while playback waits for its time; the
    // update carrying the announcement then only swaps the images and paints.
    void PrepareFrame(const CFrameAhead& ahead) override;
    // A live picture (the camera) in the current frame's place: while set, the current frame
    // shows what source returns (frame-sized stored rows; null: the frame itself) under the
    // same onion tint. New pictures are shown by ShowLivePicture.
    void SetLivePicture(std::function<const unsigned char*()> source);
    // Recomposes and paints a new live picture, unless the pane shows another frame (a peek).
    void ShowLivePicture();
    // Adds the frame to the onion list or removes it; a ninth distinct frame is refused.
    void ToggleOnionFrame(int frame);
    // Keys 1 to 9: offset -4 .. +4 from the current frame.
    void ShowRelativeFrame(int offset);
    // Paints the display image at the offsets and the selection outline, in the painter's
    // coordinates (already shifted by the scroll position on screen).
    void OnDraw(QPainter& painter);
    // Fills the margins around the frame (pane coordinates, not scrolled).
    void OnEraseBkgnd(QPainter& painter);
    // The margin rectangles as the erase computes them; empty ones are left out.
    std::vector<QRect> MarginRects() const;
    void OnUpdate(CView* sender, int hint, void* pHint) override;
    // Recomputes the centring offsets from a client size.
    void OnSize(int cx, int cy);

    // ---- commands ----
    void OnToggleEraser();
    void OnFilePrint();
    void OnFilePrintPreview();
    // Where Print and Print Preview print: the window's printer, as Print Setup left it.
    QPrinter& Printer();
    // The printed page: the same picture as the pane, one frame pixel per screen pixel.
    void OnPrint(QPainter& painter);

    // The document changed the pixels of a frame inside rect (top-down frame coordinates):
    // recomposes that rectangle of the current frame and paints it at once.
    void OnFrameRectChanged(int index, const LRect& rect);

    // ---- zoom ----
    // Screen pixels per frame pixel; 1 shows the frame as it is, and every animation starts so.
    double Zoom() const { return m_dZoom; }
    // Sets the zoom (clamped to the steps' range) keeping the frame point under anchor (pane
    // coordinates) where it is; the centre of the pane without one.
    void SetZoom(double zoom, QPoint anchor = QPoint(-1, -1));
    void OnZoomIn();
    void OnZoomOut();
    void OnActualSize();
    void OnFitInWindow();
    // The zoom steps, smallest first.
    static const std::vector<double>& ZoomSteps();
    // Averages the covered area of src (frame size) into dst (zoomed size) for the frame
    // rectangle [left, right) x [top, bottom).
    static void ShrinkInto(const QImage& src, QImage& dst, double zoom, int left, int top,
                           int right, int bottom);

    // The scroll position (sx, sy) in pixels.
    QPoint ScrollPosition() const;
    const QImage& DisplayImage() const { return m_memDC; }
    bool ReturnTimerActive() const { return m_returnTimer.isActive(); }

    // ---- state (names follow the document's conventions) ----
    QImage m_memDC;  // display image in kDisplayFormat, top row first
    int m_nOffsetX = 0;
    int m_nOffsetY = 0;
    QPoint m_ptLast;
    int m_nDragStartX = 0;
    int m_nDragStartFrame = 0;
    int m_bScrubbing = 0;
    int m_nSelectHandle = 4;
    int m_bTablet = 0;
    // The last press of the left button was refused (playback ran): until its release, moves
    // draw nothing.
    bool m_bPressRefused = false;

  protected:
    // Width of the screen in pixels, for the scrubbing step; tests replace it.
    virtual int ScreenWidth() const;

    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void tabletEvent(QTabletEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

  private:
    bool HasAnimation() const;
    void RecomputeOffsets();
    void UpdateScrollSizes();
    // The pointer in view coordinates: client coordinates minus the centring offsets.
    QPoint ViewPoint(const QMouseEvent* e);
    // Pressure of this pointer event: the tablet's reading, or 255 without one.
    int ReadPressure();
    // The piece of a stroke from m_ptLast to (vx, vy); the document shows it at once.
    void DrawSegment(int vx, int vy, int pressure);
    // Top-down frame coordinates of a view point: the frame pixel under it.
    QPoint FramePoint(int vx, int vy) const;
    // The same without the scroll position, as the selection box is tested.
    QPoint BoxPoint(int vx, int vy) const;
    // The frame shown zoomed, in screen pixels.
    QSize ZoomedSize() const;
    // Brings the zoomed picture up to date with the display image in that frame rectangle.
    void RescaleRect(int left, int top, int right, int bottom);
    // Paints the pane area showing that top-down frame rectangle, synchronously.
    void RepaintFrameRect(const QRect& frameRect);
    void RepaintPane();
    // Runs one of the view's commands through the window's routing when a key reaches the view
    // instead of a shortcut.
    void RunCommand(int id);
    void FirstPaint();

    // What a composition reads: the shown frame's pixels (null for a frame without pixels,
    // shown white), the usable onion frames' pixels in list order, and the frame size.
    struct DisplaySources {
        const unsigned char* shown = nullptr;
        const unsigned char* onion[8] = {};
        int onionCount = 0;
        int width = 0;
        int height = 0;
        const unsigned char* live = nullptr;  // the camera's picture in place of the frame
        // What the pixels were decoded from (the shown frame, then the onion frames): equal
        // encodings are equal pixels, however often they were decoded again. Held, so that no
        // new encoding can take an old one's address.
        CompactImage encodings[9];
        // The decoded frames the pointers are into, held while the sources are.
        std::shared_ptr<const GrayImage> held[9];
        bool operator==(const DisplaySources& o) const {
            for (int i = 0; i < 9; ++i)
                if (!encodings[i].SameAs(o.encodings[i])) return false;
            return live == o.live && onionCount == o.onionCount && width == o.width &&
                   height == o.height;
        }
    };
    // The sources of frame index; without decode only what they are made of, to compare.
    DisplaySources SourcesOf(int index, bool decode = true) const;
    // Composes the top-down rectangle [left, right) x [top, bottom) into an image of the
    // sources' size in kDisplayFormat.
    static void Compose(const DisplaySources& s, QImage& image, int left, int top, int right,
                        int bottom);
    // Makes the frame prepared for this update the display image; false when there is none
    // or anything it was composed from has changed. Whatever was prepared is used up.
    bool TakeFrameAhead(const void* pHint);

    double m_dZoom = 1.0;
    QImage m_scaledDC;     // below 100 %: the display image with each covered area averaged
    QImage m_aheadScaled;  // the same of m_aheadDC
    std::function<const unsigned char*()> m_liveSource;
    int m_nComposedFrame = -1;  // what the last whole composition showed
    QImage m_aheadDC;           // an announced frame composed ahead, or the image it replaced
    const CFrameAhead* m_pAhead = nullptr;  // the announcement m_aheadDC holds, if any
    int m_nAheadFrame = -1;
    DisplaySources m_aheadSources;
    QBasicTimer m_returnTimer;
    bool m_bContextOpened = false;
    IShellRelay* m_pRelay;
    QPrinter* m_pPrinter;
    std::unique_ptr<QPrinter> m_pOwnPrinter;     // only without a window's printer
    std::unique_ptr<CTabletInput> m_pOwnTablet;  // only without a window's binding
    CTabletInput& m_tablet;
};
