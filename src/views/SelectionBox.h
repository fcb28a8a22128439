#pragma once

#include "document/LumvaneDoc.h"

// The geometry of the selection box under the pointer, in view coordinates without the scroll
// position (the box is tested where it would be painted unscrolled).
namespace selection_box {

// Manhattan distance below which a press grabs a corner.
constexpr int kHandleReach = 40;
constexpr int kWholeBox = 4;

// 0..3 for the corner within reach (top-left, top-right, bottom-right, bottom-left), else 4.
int ChooseHandle(const LRect& box, int vx, int vy);
// Drags the chosen handle of the box by one pointer step within a width x height frame.
void DragBox(LRect& box, int handle, int ddx, int ddy, int width, int height);

}  // namespace selection_box
