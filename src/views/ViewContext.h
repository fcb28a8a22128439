#pragma once

class CTabletInput;
class QPrinter;

// What the drawing view and the timeline ask of the main window.
class IShellRelay {
  public:
    virtual ~IShellRelay() = default;
    // Rebuilds the brush bar's ten previews from the document's stamps.
    virtual int RebuildBrushBar() = 0;
    // Checks the brush button of that index and sets the eraser toggle to match m_bEraser.
    virtual int UpdateBrushBar(int brushIndex) = 0;
    // Shows frame index + 1 in the brush bar's number box.
    virtual void ShowFrameNumber(int frameIndex) = 0;
    // Makes the drawing view active and hands it a digit key's offset (-4 .. +4).
    virtual void RelayFrameKey(int offset) = 0;
    // Shows the drawing view's zoom in percent.
    virtual void ShowZoom(double /*percent*/) {}
};

// What the window a view lives in gives it. A view on its own (no main window around it) has
// no relay, and its calls to the relay are skipped; without a tablet binding the drawing view
// binds one of its own, and without the application's printer it prints on one of its own.
struct CViewContext {
    IShellRelay* relay = nullptr;
    CTabletInput* tablet = nullptr;
    QPrinter* printer = nullptr;  // as File > Print Setup left it
};
