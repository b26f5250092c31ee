// Black-and-white conversion of 24-bit images (ordered dither and threshold), the two-colour
// detector of the 1-bit codecs, the nearest palette colour and the average colour of an image.
#pragma once

#include <cstdint>
#include <memory>

#include "iebitmap.h"
#include "picturaproc.h"

// ie24RGB to ie1g in place by the 8 x 8 ordered dither: grey level div 4 against the matrix entry
// of (x mod 8, y mod 8); pixels whose three channels are all above 250 are always white. The
// bitmap keeps its alpha channel; other formats are left unchanged.
void IEConvertToBWOrdered(TIEBitmap* Bitmap, const TIEProgressEvent& OnProgress = {}, TObject* Sender = nullptr);

// ie24RGB to ie1g in place by a grey threshold: 0..255 as given, -1 the grey level of the
// average colour, -2 the maximum-entropy threshold; a grey level below it gives black.
void IEConvertToBWThreshold(TIEBitmap* Bitmap, int32_t Threshold, const TIEProgressEvent& OnProgress = {},
                            TObject* Sender = nullptr);

// A new ie1g copy of an image with exactly two colours (any pixel format): bit 0 stands for the
// darker colour by grey level (Color0), bit 1 for the other (Color1); equal grey levels keep the
// order of appearance. Null when the image has one colour or more than two.
std::unique_ptr<TIEBitmap> IEConvertTo1BitIfTwoColors(TIEBitmap* Bitmap, TIERGB& Color0, TIERGB& Color1);

// The index of the first of the first Count palette entries with the smallest sum of absolute
// channel differences to Color; 0 when Count is 0.
int32_t IENearestPaletteColor(const TIERGB* Palette, int32_t Count, const TIERGB& Color);

// The average colour of a bitmap of any pixel format (per row the channel sums div the width,
// their total div the height); 128, 128, 128 when the pixels cannot be read.
void IEAverageColor(TIEBitmap* Bitmap, int32_t& R, int32_t& G, int32_t& B);
