#pragma once

// How much more memory this process can really use. With the kernel's overcommit a large
// allocation succeeds whatever is left, and touching its pages gets the process killed; so
// everything that allocates an animation's frames (Open, New, Add Frame, copies) asks here
// first and reports a failure instead.

#include <cstdint>
#include <string>

// Bytes this process can still touch: MemAvailable + SwapFree of /proc/meminfo, and no more
// than the room left under the limits of its memory cgroup and the cgroups above it (v1
// memory.limit_in_bytes, v2 memory.max, less what is charged to them and cannot be reclaimed).
// kMemoryUnknown when none of it can be read.
constexpr std::uint64_t kMemoryUnknown = UINT64_MAX;
std::uint64_t AvailableMemory();

// Room kept for everything else the program allocates besides the pixels it asks about.
constexpr std::uint64_t kMemoryReserve = std::uint64_t{32} << 20;

// Whether bytes more can be allocated and touched, with kMemoryReserve to spare.
bool MemoryFits(std::uint64_t bytes);

// The bytes of count images of width x height pixels (frames, undo and copy images).
std::uint64_t ImageBytes(std::uint64_t count, int width, int height);

// Where /proc and /sys are read: tests point them at fake trees. Empty restores the real ones.
void SetMemoryInfoRoots(const std::string& proc, const std::string& sys);
