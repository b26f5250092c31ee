// Colour-table helpers of the image buffer's system-bitmap storage, over the visual layer's
// bitmap. Windows build only: the visual layer has no native build.
#pragma once

#include "Graphics.h"
#include "iebitmap.h"

// The 256 colour-table entries of an 8-bit system bitmap become the grey levels 0..255; other
// depths are left alone.
void IESetGrayPalette(TBitmap* Bitmap);
// True when every entry of the bitmap's colour table has red = green = blue = its index (an
// empty table, as of a 24-bit bitmap, counts as grey).
bool IEIsGrayPalette(TBitmap* Bitmap);
// When the system bitmap has 8 bits per pixel and Dest is ie8p, Dest's palette takes the entries
// of the colour table.
void IECopyTBitmapPalette(TBitmap* Bitmap, TIEBitmap* Dest);
