// Channel reordering of 24-bit and 48-bit images by a three-letter pattern.
#pragma once

#include <string>

#include "iebitmap.h"
#include "picturaproc.h"

// Rearranges or clears the channels of an ie24RGB or ieRGB48 bitmap in place. Pattern (either
// case) names, in its first, second and third letter, the old channel that becomes the new blue,
// green and red: "B", "G", "R", or "0" for zero. "RGB" exchanges red and blue, "BGR" changes
// nothing. A pattern shorter than three letters or with another letter changes nothing; other
// pixel formats are left unchanged. Progress Trunc(r / H x 100) after each row r when assigned.
void IEReorderChannels(TIEBitmap* Bitmap, const std::wstring& Pattern, TObject* Sender = nullptr,
                       const TIEProgressEvent& OnProgress = {});
