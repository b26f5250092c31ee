// Grey conversion of a rectangle of a 24-bit image and reduction of a 24-bit image to the colours
// of a quantized palette, in place. Platform-neutral.
#pragma once

#include <cstdint>

#include "iebitmap.h"
#include "picturaproc.h"

// Writes the grey level (R x IEGrayRedWeight + G x IEGrayGreenWeight + B x IEGrayBlueWeight)
// div 100 into all three channels of every pixel of columns X1..X2-1, rows Y1..Y2-1 of an ie24RGB
// bitmap (other formats: nothing). The rectangle is cut to the bitmap; nothing when no row is
// left. Progress after each row, at most 100, when assigned.
void IEConvertToGrayRect(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                         const TIEProgressEvent& OnProgress = {}, TObject* Sender = nullptr);

// Replaces every pixel of an ie24RGB bitmap (other formats: nothing) by the nearest of Count
// palette colours that a TIEQuantizer chooses for the image. Palette, when not null, must hold
// Count entries and receives the chosen colours (the quantizer provides at most 256; the entries
// it does not fill stay as they were). Nothing when Count is below 1. Progress after each row
// when assigned.
void IEQuantizeBitmap(TIEBitmap* Bitmap, int32_t Count, TIERGB* Palette, const TIEProgressEvent& OnProgress = {},
                      TObject* Sender = nullptr);
