#pragma once

// Records of the .anm animation file: frame records (run-length coded GrayImage) and brush
// records (BrushStamp size and hardness), read and written through CArchive.

#include <cstdint>
class CArchive;
class CompactImage;
class GrayImage;
class BrushStamp;

namespace anm {

// Limits of the data model that loading enforces.
constexpr int kMaxFrameCount = 500;
constexpr int kMaxWidth = 10004;
constexpr int kMaxHeight = 10000;
constexpr int kMinBrushSize = 2;
constexpr int kMaxBrushSize = 40;
constexpr int kFrameHeaderBytes = 8;  // width and height before the runs
constexpr int kBrushRecordBytes = 8;

// The eight integers at the start of a file; the eraser mode is written twice.
struct FileHeader {
    std::int32_t frameCount = 0;
    std::int32_t currentFrame = 0;
    std::int32_t eraser = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t drawBrush = 0;
    std::int32_t eraseBrush = 0;
    bool operator==(const FileHeader&) const = default;
};
constexpr int kHeaderBytes = 32;
void StoreHeader(CArchive& ar, const FileHeader& header);

// Writes a frame record: width, height, then the pixels as runs. Throws writeFailed for an
// image whose pixels are missing.
void StoreFrameRecord(CArchive& ar, const GrayImage& image);
// The same for width x height pixels held elsewhere.
void StoreFrameRecord(CArchive& ar, const unsigned char* pixels, int width, int height);
// The record of a frame held compactly: its runs as they are, without encoding again.
void StoreFrameRecord(CArchive& ar, const CompactImage& image);
// Writes count frame records, the same bytes as StoreFrameRecord for each in turn.
void StoreFrameRecords(CArchive& ar, const GrayImage* frames, int count);
void StoreFrameRecords(CArchive& ar, const CompactImage* frames, int count);
// Reads a frame record of width x height pixels without decoding it. Throws badFormat when
// its size differs or its runs do not add up to its size, endOfFile when the data ends inside
// it, noMemory when it cannot be held.
CompactImage LoadFrameRecord(CArchive& ar, int width, int height);
void LoadFrameRecords(CArchive& ar, CompactImage* frames, int count, int width, int height);
// The smallest file tail that can hold count frame records of width x height pixels and the
// brush records: every frame needs at least one run per kMaxRunLength pixels.
std::uint64_t LeastBytesForFrames(int count, int width, int height);

struct BrushRecord {
    int size = 0;
    int hardness = 0;
    bool operator==(const BrushRecord&) const = default;
};
BrushRecord BrushRecordOf(const BrushStamp& brush);
void StoreBrushRecord(CArchive& ar, const BrushRecord& brush);
// Throws badFormat for a size outside kMinBrushSize..kMaxBrushSize; any hardness is kept.
BrushRecord LoadBrushRecord(CArchive& ar);

// Bytes of pixels that one file may need at most, below what the process can have: a file that
// needs more is refused as out of memory before anything is allocated. 0 (the default) sets
// no limit of its own.
void SetLoadMemoryLimit(std::uint64_t bytes);
std::uint64_t LoadMemoryLimit();

}  // namespace anm
