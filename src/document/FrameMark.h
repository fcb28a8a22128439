#pragma once

// What the recovery copy needs to know of each frame slot: which frame it holds and how often
// that frame changed.

#include <cstdint>

// Frames move between slots on Add and Delete, so a frame is known by its id, not its slot.
// The version grows with every change; a copy writes a frame again only when its version
// differs from the one written last.
struct FrameMark {
    std::uint64_t id = 0;
    std::uint64_t version = 0;
};
