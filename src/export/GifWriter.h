#pragma once

#include <cstdint>
#include <vector>

class GrayImage;
class MovieFile;

// Hundredths of a second that frame k (0-based) stays up, so that frame k ends at
// round((k + 1) x 100 / fps) hundredths: the sum of the delays never drifts from the clock.
int GifFrameDelay(int k, int fps);

// An animated GIF of gray frames: the 256 grays as the one palette (so nothing is lost),
// looping for ever, each frame whole.
class GifWriter {
  public:
    explicit GifWriter(MovieFile& out) : m_out(out) {}
    // The header, the palette and the loop block; false on a write failure.
    bool Begin(int width, int height);
    // One frame of Begin's size, stored bottom-up like every GrayImage.
    bool AddFrame(const GrayImage& frame, int delay);
    // The trailer.
    bool End();

  private:
    void Lzw(const unsigned char* rows, int width, int height);

    MovieFile& m_out;
    int m_width = 0;
    int m_height = 0;
    std::vector<unsigned char> m_bytes;
    std::vector<std::uint64_t> m_table;  // hash of (prefix code, byte) -> code
};
