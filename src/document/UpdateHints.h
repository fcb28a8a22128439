#pragma once

// Update hints of UpdateAllViews (a bit set).
enum : int {
    HINT_FRAME_CONTENT = 1,  // the drawing view recomposes and repaints
    HINT_VIEWS = 2,          // the timeline recomputes and repaints
    HINT_CURRENT_FRAME = 3   // both
};

// Playback names each frame before its time comes, so that a view can compose it while the
// loop waits; the HINT_FRAME_CONTENT update that shows it then carries the same object as its
// pHint. Nothing runs between the two calls, so what a view prepared is still valid when that
// update arrives; any other update finds nothing prepared for it.
struct CFrameAhead {
    static constexpr int kNone = -1;  // the run is over
    int frame;                        // what m_nCurrentFrame will be, or kNone
};

// A view that prepares announced frames.
class IFrameAheadView {
  public:
    virtual void PrepareFrame(const CFrameAhead& ahead) = 0;

  protected:
    ~IFrameAheadView() = default;
};
