// Raw copies of system bitmaps and the expansion of a 1-bit system bitmap to 24 bits. Windows
// build only: the visual layer has no native build.
#pragma once

#include <memory>

#include "Graphics.h"
#include "picturaproc.h"

// Dest takes Source's size and pixel format (an empty Source leaves Dest 1 x 1 in its format) and
// a copy of Source's pixel memory in one block; the colour table is not copied.
void IECopyTBitmap(TBitmap* Source, TBitmap* Dest);
// A new bitmap filled by IECopyTBitmap.
std::unique_ptr<TBitmap> IECloneTBitmap(TBitmap* Source);
// Dest becomes the 24-bit image of the 1-bit Source, same size: a set bit white, a clear one black,
// whatever Source's colour table says. Progress per row when assigned.
void IEConvert1To24TBitmap(TBitmap* Source, TBitmap* Dest, const TIEProgressEvent& OnProgress = {},
                           TObject* Sender = nullptr);
