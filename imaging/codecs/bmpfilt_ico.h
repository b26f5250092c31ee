// Windows icon (ICO) and cursor (CUR) files: a directory of images, each a device-independent
// bitmap of doubled height (the colour "XOR" rows followed by the 1-bit "AND" transparency rows)
// or, in icons, a complete PNG file. Reading of both, writing of icons with several sizes and
// depths, and the probes of format detection. Platform-neutral.
//
// Errors: a depth that cannot be determined, a size that cannot be held, data cut short or a
// failed allocation set *Progress.Aborting and end the read; an image index outside the directory
// leaves the bitmap and the parameters untouched without the flag. With NativePixelFormat an icon
// of a depth other than 1, 4, 8, 24 and 32 raises Exception "Unsupported pixel format".
#pragma once

#include <cstdint>

#include "Classes.h"
#include "iemask.h"
#include "picturaio_params.h"

class TIEBitmap;

// True when the stream holds at least 23 bytes, a directory header of reserved word 0, type 1
// (icon; 2 for IEIsCUR) and a count above 0, and every directory entry has reserved byte 0, a data
// size above 0 and a data offset not before the end of that entry. The position is restored.
bool IEIsICO(TStream& Stream);
bool IEIsCUR(TStream& Stream);

// Reads the image IOParams.ICOImageIndex (counted over every entry of the directory; a width or
// height byte of 0 stands for 256 pixels) of the icon file at the stream's position. ICOSizes and
// ICOBitCount receive the sizes and depths of the first 16 entries. A stream that begins with "BM"
// is read as a plain bitmap file; a PNG-compressed image through the PNG reader. The palette goes
// to ColorMap; 1-bit images give ie1g, others ie24RGB (with NativePixelFormat 4 and 8 bits give
// ie8p). Transparent pixels take ICOBackground. Unless IgnoreAlpha, AlphaMask (created when null)
// receives the AND mask or the 32-bit alpha, and is freed and set to null when it is full.
// IOParams.IsResource (headerless resource): the stream holds one image's information header at once.
void IEReadICOStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, bool ParamsOnly,
                     TIOProgressRecord& Progress, TIEMask*& AlphaMask, bool IgnoreAlpha);

// Reads the cursor image IOParams.CURImageIndex; CURXHotSpot and CURYHotSpot receive its hot spot.
// 1-bit images give ie1g, others ie24RGB; transparent pixels take CURBackground; the mask stays
// allocated even when full. IsResource: two 16-bit hot-spot values, then the header.
void IEReadCURStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, bool ParamsOnly,
                     TIOProgressRecord& Progress, TIEMask*& AlphaMask, bool IgnoreAlpha);

// Writes an icon file of Count images: image i is Bitmap resampled to Sizes[i] at the depth
// BitCounts[i] (1, 4, 8, 24 or 32; 0 the depth of IOParams; 2, 3, 5 and more but 8 and 32, and
// negative values 24). Palettes of 4 and 8 bits come from the quantizer, index 0 being kept for
// transparent pixels; the AND mask marks every pixel whose alpha (the bitmap's alpha channel) is
// not 255. Offsets are counted from the stream's position at the start.
void IEWriteICOStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                      const TIEIcoSize* Sizes, const int32_t* BitCounts, int32_t Count);
