// The helpers of the moving and stretching transitions (ieXtraTransitions_moving_win.cpp): the
// mirrored stretch of the unroll family, and a parallelogram copy of our own in place of the
// system's PlgBlt for the twists (ieXtraTransitions_plgblt_win.cpp).
// Wine's PlgBlt neither shears nor rotates (a sheared parallelogram comes out as an axis-aligned
// block, a rotated one as nothing while the call reports success), so the twists would draw
// wrongly there. This copy gives the coverage Windows' PlgBlt has: nearest pixel, found through
// the inverse of the affine map. Windows build only.
#pragma once

#include <cstdint>

#include "Graphics.h"

// Stretches the part of Src inside Bitmap over Dest on Canvas (HALFTONE), mirrored left to right
// with MirrorH and top to bottom with MirrorV. The copy covers exactly Dest's pixels, mirrored or
// not; an empty Dest or an empty clipped Src draws nothing.
void IEStretchMirrored(TCanvas* Canvas, const RECT& Dest, TBitmap* Bitmap, const RECT& Src, bool MirrorH,
                       bool MirrorV);

// Maps the source rectangle (SrcX, SrcY, SrcWidth, SrcHeight) of Source onto the parallelogram
// whose upper-left, upper-right and lower-left corners are Points[0], Points[1] and Points[2]
// (the source's upper-left corner goes to Points[0], its upper-right to Points[1], its lower-left
// to Points[2]) on DestDC, with no mask and no raster operation other than a copy.
// A destination pixel is drawn when its centre lies inside the parallelogram (the half-open
// source rectangle mapped forward); it takes the source pixel under the centre's inverse image.
// A degenerate parallelogram (three points on one line) or an empty source rectangle draws
// nothing. Source pixels outside Source are never read (the source rectangle is clipped to it
// first, with the map kept); the destination's clip region and its surface bound the writes.
// Returns False when nothing could be drawn.
bool IEPlgBlt(HDC DestDC, const POINT Points[3], TBitmap* Source, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
              int32_t SrcHeight);
