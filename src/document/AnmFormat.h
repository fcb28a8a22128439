#pragma once

// Records of the .anm animation file: frame records (run-length coded GrayImage) and brush
// records (BrushStamp size and hardness), read and written through CArchive.

#include <cstdint>

class CArchive;
class GrayImage;
class BrushStamp;

namespace anm {

// Limits of the data model that loading enforces.
constexpr int kMaxFrameCount = 500;
constexpr int kMaxWidth = 10004;
constexpr int kMaxHeight = 10000;
constexpr int kMinBrushSize = 2;
constexpr int kMaxBrushSize = 40;

// Writes a frame record: width, height, then the pixels as runs. Throws writeFailed for an
// image whose pixels are missing.
void StoreFrameRecord(CArchive& ar, const GrayImage& image);
// Reads a frame record into image, which must then hold width x height pixels. Throws
// badFormat when the record's size differs or its runs pass the end, endOfFile when the data
// ends inside it, noMemory when the pixels cannot be allocated. image is changed even then.
void LoadFrameRecord(CArchive& ar, GrayImage& image, int width, int height);

struct BrushRecord {
    int size = 0;
    int hardness = 0;
};
void StoreBrushRecord(CArchive& ar, const BrushStamp& brush);
// Throws badFormat for a size outside kMinBrushSize..kMaxBrushSize; any hardness is kept.
BrushRecord LoadBrushRecord(CArchive& ar);

// Bytes that loading may allocate for one file; 0 (the default) means the memory the system
// reports available. A file that needs more is refused as out of memory before anything is
// allocated, since the system would otherwise promise memory it cannot deliver.
void SetLoadMemoryLimit(std::uint64_t bytes);
std::uint64_t LoadMemoryLimit();

}  // namespace anm
