// Gaussian blur of 8-bit grey images in 16.16 fixed point, and the soft shadow drawn under objects
// with an alpha channel (the object's alpha blurred, offset and merged back). Platform-neutral.
#pragma once

#include <cstdint>

#include "iecoredefs_types.h"

class TIEBitmap;

// The 16.16 kernel of a Gaussian of Radius (sigma): Weights[t + 100] for t = -100..100, each
// Round(g(t) * 65536 / sum of g) with g(t) = exp(-(t / Radius)^2 / 2); HalfWidth is the largest
// t (1..100) whose weight on either side is not 0. Radius must be above 0.
struct TIEGaussianKernel {
    int32_t Weights[201];
    int32_t HalfWidth;
};
void IEMakeGaussianKernel(double Radius, TIEGaussianKernel& Kernel);

// Blurs the inclusive rectangle X1..X2 x Y1..Y2 of an ie8g Bitmap in place: rows first, then
// columns, each line's ends repeated outwards. Every coordinate is first limited to the bitmap.
// Nothing happens for another pixel format or a Radius of 0 or below.
void IEGaussianBlurGray8(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Radius);

// Draws the soft shadow of the object in the inclusive rectangle X1..X2 x Y1..Y2: the object's
// alpha is blurred by Radius (a 3 x 3 box blur when Radius is 0), moved by (OffsetX, OffsetY) and
// merged back; on ie24RGB images the pixels only the shadow covers take Color, their alpha scaled
// by Intensity (0..100, 100 keeps the blurred alpha, 0 a third of it), and partly transparent
// object pixels are laid over the shadow; on ie1g images those pixels turn black. The alpha
// channel is made (fully opaque) when missing. Returns the margin, in pixels, by which the caller
// must have grown the bitmap around the object.
int32_t IEApplySoftShadow(TIEBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius, int32_t Intensity,
                          TIERGB Color, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
