#pragma once

// A gray image held as the runs the .anm file stores (or as plain pixels, for the rare image
// whose runs would take more room), made once and never changed: copies share it, and any
// thread may read it. Line art on white takes a fortieth of its pixels this way.

#include <cstddef>
#include <memory>
#include <vector>

class GrayImage;

class CompactImage {
  public:
    CompactImage() = default;

    // Encodes width x height pixels; an empty image when memory runs out.
    static CompactImage Encode(const unsigned char* pixels, int width, int height);
    static CompactImage Encode(const GrayImage& image);
    static CompactImage Filled(int width, int height, unsigned char value);
    // Runs that cover exactly width x height pixels, as the writer would have made them.
    static CompactImage FromRuns(std::vector<unsigned char> runs, int width, int height);
    static CompactImage FromPixels(std::vector<unsigned char> pixels, int width, int height);

    bool Empty() const { return !m_data; }
    int Width() const { return m_data ? m_data->width : 0; }
    int Height() const { return m_data ? m_data->height : 0; }
    std::size_t PixelCount() const;
    // Memory held.
    std::size_t Bytes() const { return m_data ? m_data->bytes.size() : 0; }
    // Held as runs (else as plain pixels); Data() is then the runs.
    bool HasRuns() const { return m_data && m_data->runs; }
    const unsigned char* Data() const { return m_data ? m_data->bytes.data() : nullptr; }

    // Writes the pixels into PixelCount() bytes at pixels.
    void Decode(unsigned char* pixels) const;
    // The same into image, made of this size first when it differs; false without memory.
    bool Decode(GrayImage& image) const;

    // Both are one and the same encoding (not merely equal pixels).
    bool SameAs(const CompactImage& other) const { return m_data == other.m_data; }
    const void* Key() const { return m_data.get(); }

  private:
    struct Body {
        int width = 0;
        int height = 0;
        bool runs = true;
        std::vector<unsigned char> bytes;
    };
    static CompactImage Make(std::vector<unsigned char> bytes, bool runs, int width, int height);
    std::shared_ptr<const Body> m_data;
};
