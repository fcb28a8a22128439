#pragma once

#include <cstdint>

// One row of the display, written as 32-bit words 0xAARRGGBB (QImage::Format_RGB32, what the
// window's backing store holds, so painting is a plain copy): for every pixel, b = shown, then
// b = b x onion[k] / 255 truncating after each frame in list order; red = green = b,
// blue = shown, alpha 255. Without onion frames this is the gray row, 0xFFcccccc.
void ComposeOnionRow(std::uint32_t* dst, const unsigned char* shown,
                     const unsigned char* const* onion, int onionCount, int count);

// The instruction sets the row can be composed with; the fastest available one is used.
enum class OnionKernel { Scalar, Ssse3, Avx2 };
bool OnionKernelAvailable(OnionKernel kernel);
// ComposeOnionRow with a chosen kernel, which must be available.
void ComposeOnionRowWith(OnionKernel kernel, std::uint32_t* dst, const unsigned char* shown,
                         const unsigned char* const* onion, int onionCount, int count);
