// Flips, quarter turns and rotation by any angle through inverse mapping: nearest pixel for every
// pixel format (exact for right angles) and bilinear or bicubic interpolation for 24-bit and
// 8-bit images. Angles are degrees; a positive angle turns the picture counter-clockwise on the
// screen (rows run downwards).
#pragma once

#include <cstdint>

#include "iebitmap.h"
#include "picturaproc.h"

// Mirrors Bitmap in place: Direction 0 left-right (ie24RGB, ie8p, ie8g and ie1g; other formats
// stay as they are), 1 top-bottom (any format). The alpha channel is flipped the same way.
void IEFlipIEBitmap(TIEBitmap* Bitmap, uint8_t Direction);

// Quarter turns: Dest is allocated with the exchanged size in Source's pixel format (24-bit and
// 8-bit sources). CW: Dest(x, y) = Source(y, H - 1 - x); CCW: Dest(x, y) = Source(W - 1 - y, x).
void IERotate90CW24(TIEBitmap* Source, TIEBitmap* Dest);
void IERotate90CCW24(TIEBitmap* Source, TIEBitmap* Dest);
void IERotate90CW8(TIEBitmap* Source, TIEBitmap* Dest);
void IERotate90CCW8(TIEBitmap* Source, TIEBitmap* Dest);

// True when Angle is a whole number divisible by 90.
bool IEIsRightAngle(double Angle);

// Nearest-pixel rotation of Source into Dest (allocated here, in Source's pixel format, with its
// palette). Right angles are exact turns; any other angle gives the bounding size filled with
// Background (0 for a 1-bit image) where no source pixel lands. Progress per row when assigned.
void IERotateBitmapTo(TIEBitmap* Source, TIEBitmap* Dest, int32_t Background, double Angle,
                      const TIEProgressEvent& OnProgress = {}, TObject* Sender = nullptr);

// IERotateBitmapTo in place; the bitmap keeps its alpha channel object as it is. Raises
// EOutOfMemory, leaving the bitmap as it was, when the turned image cannot be allocated (an angle
// that is not a finite number changes nothing).
void IERotatePlain(TIEBitmap* Bitmap, int32_t Background, TObject* Sender, double Angle,
                   const TIEProgressEvent& OnProgress = {});

// Interpolating rotation in place of an ie24RGB bitmap: Mode 1 bilinear, 2 bicubic (any other
// mode changes nothing). Uncovered areas take Background (a colour value). The result size is
// measured between the outer pixel centres of the image with a 3-pixel border, which is then
// removed again (never below 1 x 1). Progress per row when assigned.
void IERotateHighQuality(TIEBitmap* Bitmap, TColor Background, uint8_t Mode, double Angle,
                         const TIEProgressEvent& OnProgress = {}, TObject* Sender = nullptr);
// The same for an 8-bit image (ie8g, or the alpha channel) with a background byte; no progress.
void IERotateHighQuality8(TIEBitmap* Bitmap, int32_t Background, uint8_t Mode, double Angle);
