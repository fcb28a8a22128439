#include "views/SelectionBox.h"

#include <cstdint>
#include <cstdlib>

namespace selection_box {

int ChooseHandle(const LRect& box, int vx, int vy) {
    auto dist = [vx, vy](int x, int y) {
        return std::llabs(std::int64_t{vx} - x) + std::llabs(std::int64_t{vy} - y);
    };
    const std::int64_t d[4] = {dist(box.left, box.top), dist(box.right, box.top),
                               dist(box.right, box.bottom), dist(box.left, box.bottom)};
    for (int i = 0; i < 4; ++i)
        if (d[i] < kHandleReach) return i;
    return 4;
}

void DragBox(LRect& box, int handle, int ddx, int ddy, int width, int height) {
    constexpr int kMin = kHandleReach;  // the box stays more than 40 pixels on a side
    if (handle == 4) {
        const LRect moved = {box.left + ddx, box.top + ddy, box.right + ddx, box.bottom + ddy};
        if (moved.left >= 0 && moved.top >= 0 && moved.right >= 0 && moved.bottom >= 0 &&
            moved.left < width && moved.right < width && moved.top < height &&
            moved.bottom < height)
            box = moved;
        return;
    }
    // Horizontal edge first, then vertical, each on its own.
    if (handle == 0 || handle == 3) {
        const int v = box.left + ddx;
        if (v < box.right - kMin && v >= 0) box.left = v;
    } else {
        const int v = box.right + ddx;
        if (v > box.left + kMin && v < width) box.right = v;
    }
    if (handle == 0 || handle == 1) {
        const int v = box.top + ddy;
        if (v < box.bottom - kMin && v >= 0) box.top = v;
    } else {
        const int v = box.bottom + ddy;
        if (v > box.top + kMin && v < height) box.bottom = v;
    }
}

}  // namespace selection_box
