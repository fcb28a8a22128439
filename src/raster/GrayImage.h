#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class BrushStamp;

// Where a writer sends its failure text.
using WriteErrorSink = std::function<void(const std::string&)>;

// Hands out and takes back pixel buffers for images whose pixels do not come from the heap
// (the document keeps all frames of an animation in one store of equal-sized buffers). Images
// share ownership of it, so it lives as long as the last buffer it gave out.
class PixelAllocator {
  public:
    virtual ~PixelAllocator() = default;
    // A buffer of at least bytes bytes, or null when there is no memory for it.
    virtual unsigned char* Allocate(std::size_t bytes) = 0;
    // Takes back a buffer that Allocate gave out; may be called from any thread.
    virtual void Release(unsigned char* data) noexcept = 0;
};

// An 8-bit grayscale picture, one byte per pixel, rows without padding,
// row 0 at the bottom of the picture. 255 is white paper, 0 full ink.
class GrayImage {
  public:
    GrayImage() = default;
    ~GrayImage();
    GrayImage(const GrayImage&) = delete;
    GrayImage& operator=(const GrayImage&) = delete;

    // Allocates width x height bytes (contents undefined). Returns 0 and leaves
    // the image without pixels (size unchanged) when the size is negative,
    // overflows or cannot be allocated.
    int Create(int width, int height);
    // The same with the pixels from allocator; the image hands them back to it when it
    // releases them.
    int Create(int width, int height, std::shared_ptr<PixelAllocator> allocator);
    int Free();
    int Fill(int value);
    unsigned char* GetData() { return m_pData; }
    const unsigned char* GetData() const { return m_pData; }
    // Replaces the pointer without releasing the old buffer. The buffer must come from where
    // this image's own came from (the heap, or the allocator it was created with).
    void SetData(unsigned char* data) { m_pData = data; }
    int GetWidth() const { return m_nWidth; }
    int GetHeight() const { return m_nHeight; }
    // Number of pixels as a size; 0 without pixels.
    std::size_t PixelCount() const;

    int DrawStamp(const BrushStamp& stamp, int x, int y, int mode, int pressure);
    int DrawLine(const BrushStamp& stamp, int x0, int y0, int x1, int y1, int mode, int pressure);

    // Exchanges buffers, sizes and allocators with another image (used to swap in fully read data).
    void Swap(GrayImage& other) noexcept;

    // Export writers: the file is created or truncated; 1 when every byte reached the file,
    // otherwise 0 after sending "Error writing file <name>!: Disk Full or Write Protected" to
    // report (a partly written file stays). The name is passed to fopen unchanged.
    int WriteDrawingFile(const std::string& fileName, const WriteErrorSink& report) const;
    int WriteGrayTarga(const std::string& fileName, const WriteErrorSink& report) const;
    int WriteColorTarga(const std::string& fileName, const WriteErrorSink& report) const;

  private:
    int WriteEightBit(const std::string& fileName, unsigned char byte2, unsigned char byte3,
                      const WriteErrorSink& report) const;

    // One dab with a 64-bit centre, so lines near the int limits cannot overflow; p is 0..255.
    static void DrawDab(unsigned char* data, int width, int height, const BrushStamp& stamp,
                        std::int64_t x, std::int64_t y, int mode, unsigned p);

    unsigned char* m_pData = nullptr;
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::shared_ptr<PixelAllocator> m_pAllocator;  // null: m_pData is from new[]
};
