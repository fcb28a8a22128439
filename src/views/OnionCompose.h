#pragma once

// One row of the onion-skin display: for every pixel, b = shown, then b = b x onion[k] / 255
// truncating after each frame in list order; written as three bytes b, b, shown (red, green,
// blue in Qt's 24-bit layout).
void ComposeOnionRow(unsigned char* dst, const unsigned char* shown,
                     const unsigned char* const* onion, int onionCount, int count);

// The instruction sets the row can be composed with; the fastest available one is used.
enum class OnionKernel { Scalar, Ssse3, Avx2 };
bool OnionKernelAvailable(OnionKernel kernel);
// ComposeOnionRow with a chosen kernel, which must be available.
void ComposeOnionRowWith(OnionKernel kernel, unsigned char* dst, const unsigned char* shown,
                         const unsigned char* const* onion, int onionCount, int count);
