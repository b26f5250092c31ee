// Helpers of the processing routines for whole-image work on a TIEBitmap: every row held at once
// (file-located images keep each row mapped until the holder ends), and the hand-over of new
// pixels to a bitmap that keeps its own alpha channel.
#pragma once

#include <cstdint>
#include <vector>

#include "iebitmap.h"

// Locks every row of Bitmap for its lifetime (LockScanline), so that rows of a file-located
// image may be used together; unlocks them at the end.
class TIELockedRows {
public:
    explicit TIELockedRows(TIEBitmap* ABitmap);
    ~TIELockedRows();
    TIELockedRows(const TIELockedRows&) = delete;
    TIELockedRows& operator=(const TIELockedRows&) = delete;
    uint8_t* operator[](int32_t Row) const { return FRows[(size_t)Row]; }
    uint8_t* const* Data() const { return FRows.data(); }

private:
    TIEBitmap* FBitmap;
    std::vector<uint8_t*> FRows;
};

// Bitmap takes the size, format, palette and pixels of Image (which is left empty) and keeps its
// own alpha channel object, resized to the new size where that changed (new area opaque); an empty
// Image changes nothing. A bitmap wrapping a system bitmap keeps wrapping it (the pixels are
// copied into the system bitmap).
void IETakeImage(TIEBitmap* Bitmap, TIEBitmap* Image);

// Writes Count copies of the Size-byte pixel Pixel from Dest on.
void IEFillPixels(uint8_t* Dest, const uint8_t* Pixel, size_t Size, int32_t Count);

// Fills every pixel of Bitmap with Value (the image buffer's Fill) and zeroes the row padding, so
// that the rotations' results are the same whatever the memory held before.
void IEFillBitmap(TIEBitmap* Bitmap, int32_t Value);

// Zeroes the bytes of every row behind its pixels (the row padding), so that whole rows compare
// and write out the same whatever the memory held before.
void IEClearRowPadding(TIEBitmap* Bitmap);
