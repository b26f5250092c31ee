// Rotation by three shears (24-bit and 8-bit images, with 12-bit subpixel blending when
// antialiased) and the nearest-pixel rotation of 1-bit and 8-bit images. Angles are degrees; a
// positive angle turns the picture counter-clockwise on the screen.
#pragma once

#include <cstdint>

#include "iebitmap.h"
#include "picturaproc.h"

// Rotates an ie24RGB bitmap in place: whole quarter turns first (exact), the rest below 45 degrees
// by three shears; uncovered pixels take Background. The angle is taken to thousandths of a
// degree. Any other pixel format goes to IERotate1Bit with a white background when all three
// Background channels are non-zero. The bitmap keeps its alpha channel object.
void IERotateByShears(TIEBitmap* Bitmap, double Angle, bool AntiAlias, TObject* Sender, const TIERGB& Background,
                      const TIEProgressEvent& OnProgress = {});
// The same for ie8g and ie8p bitmaps (other formats: nothing) with a background byte.
void IERotateByShears8(TIEBitmap* Bitmap, double Angle, bool AntiAlias, uint8_t Background,
                       const TIEProgressEvent& OnProgress = {}, TObject* Sender = nullptr);

// Nearest-pixel rotation of an ie1g bitmap (IERotate1Bit; the background bit set when
// WhiteBackground) or of an ie8g/ie8p bitmap (IERotateNearest8, background byte) in place. Whole
// multiples of 90 degrees are exact turns; other angles use sines and cosines cut to four
// decimals. The result replaces the bitmap (alpha channel included) as Assign does.
void IERotate1Bit(TIEBitmap* Bitmap, bool WhiteBackground, double Angle, const TIEProgressEvent& OnProgress = {},
                  TObject* Sender = nullptr);
void IERotateNearest8(TIEBitmap* Bitmap, uint8_t Background, double Angle);
