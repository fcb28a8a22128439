#pragma once

// Pixel work on scanned or photographed drawings: gray from colour, paper levels, fitting
// into a frame. Pictures here are top row first, as image readers deliver them; only the
// fitted frame is a GrayImage (bottom row first).

#include <cstddef>
#include <vector>

class GrayImage;

// A gray picture, top row first, rows without padding. 255 is paper, 0 ink.
struct GrayPlane {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;

    // Returns false (and holds nothing) when the size is not positive or memory runs out.
    bool Create(int w, int h);
    unsigned char* Row(int y) { return pixels.data() + static_cast<std::size_t>(y) * width; }
    const unsigned char* Row(int y) const {
        return pixels.data() + static_cast<std::size_t>(y) * width;
    }
    unsigned char At(int x, int y) const { return Row(y)[x]; }
};

// The paper colour of an RGBA picture: what each channel of the paper reads, used to judge
// how coloured a line is whatever the light the drawing was photographed in.
struct PaperColour {
    int r = 255;
    int g = 255;
    int b = 255;
};

// Interleaved 8-bit R, G, B, A samples, top row first, stride bytes from row to row; alpha is
// not premultiplied.
struct RgbaView {
    const unsigned char* data = nullptr;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    bool bgra = false;  // B, G, R, A in that order (a 32-bit 0xAARRGGBB on a little-endian machine)
};

// Estimates the paper colour from the bright end of each channel.
PaperColour EstimatePaperColour(const RgbaView& rgba);

// BT.709 luma of every pixel, with alpha laid over white paper. With dropColour, pixels whose
// colour (against the paper's) is clearly saturated, as blue or red construction pencil is,
// become paper; graphite and ink stay as they are. out must hold width x height pixels.
void GrayFromRgba(const RgbaView& rgba, bool dropColour, const PaperColour& paper, GrayPlane& out);

// Paper becomes exactly 255 and the darkest line tone 0, per region, so the paper's grain,
// uneven light and shadows go while lines keep their tones between.
void AutoLevels(GrayPlane& plane);

enum class FitMode {
    Inside,  // scaled to fit whole, centred, white around
    Cover,   // scaled to fill the frame, the overflow cropped evenly
    None,    // 1:1, centred
};

// Writes the picture into frame (already created at the frame size; rows bottom first).
// Downscaling averages the covered area, upscaling is bilinear, white around. Returns 0 when
// memory for the work rows cannot be had, leaving the frame undefined.
int FitToFrame(const GrayPlane& picture, FitMode mode, GrayImage& frame);

// The same in two steps, so that work can be done on the picture at the frame's scale: the
// part of the scaled picture that shows in a W x H frame and where its top left corner goes,
// then that part placed into frame with white around. Each returns 0 when it cannot.
int ScaleForFrame(const GrayPlane& picture, FitMode mode, int W, int H, GrayPlane& shown, int& left,
                  int& top);
int PlaceInFrame(const GrayPlane& shown, int left, int top, GrayImage& frame);
