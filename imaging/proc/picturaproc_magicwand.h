// The magic wand: the pixels "like" a clicked pixel, each of their red, green and blue values
// (GetPixelAsRGB, so any pixel format) within Tolerance of the clicked pixel's. The fill and the
// outline take the 4-connected region around the click; the colour match takes every like pixel.
// Platform-neutral.
#pragma once

#include <cstdint>
#include <memory>

#include "iemask.h"

class TIEBitmap;

// The outline of the region around (X, Y) as a closed polygon along pixel edges, in image
// coordinates (from the region's left edge to its right edge + 1, top to bottom + 1), without
// repeated consecutive vertices; Count receives the number of vertices. Null with Count 0 when
// (X, Y) lies outside the image. With Dilate every filled pixel also takes its eight neighbours
// that lie inside the region's bounding box.
std::unique_ptr<TIEMaskPoint[]> IEMagicWandOutline(TIEBitmap* Bitmap, int32_t X, int32_t Y, bool Dilate,
                                                   int32_t Tolerance, int32_t& Count);

// Sets MaskValue in Mask for every pixel of the region around (X, Y), with Dilate also for its
// eight neighbours inside the image. Nothing when (X, Y) lies outside the image.
void IEMagicWandFill(TIEBitmap* Bitmap, int32_t X, int32_t Y, bool Dilate, int32_t Tolerance, TIEMask* Mask,
                     int32_t MaskValue);

// Sets MaskValue in Mask for every pixel of the image like the pixel at (X, Y), connected or not.
// Nothing when (X, Y) lies outside the image.
void IEMagicWandColorMatch(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance, TIEMask* Mask,
                           int32_t MaskValue);
