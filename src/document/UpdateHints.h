#pragma once

// Update hints of UpdateAllViews (a bit set).
enum : int {
    HINT_FRAME_CONTENT = 1,  // the drawing view recomposes and repaints
    HINT_VIEWS = 2,          // the timeline recomputes and repaints
    HINT_CURRENT_FRAME = 3   // both
};
