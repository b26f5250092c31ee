// PCX images (ZSoft layout, byte-oriented run-length encoding) and DCX containers of PCX pages.
//
// Errors: a bad header, unreadable data or a failed allocation set *Progress.Aborting; the
// reader never reads outside the DataLength bytes of the image nor writes outside its line
// buffer, whatever the header's bytes per line say. A stream that is not a DCX container sets the
// flag in the DCX reader and (when not empty) the DCX writer.
// Platform-neutral: compiles without <windows.h>.
#pragma once

#include <cstdint>

#include "Classes.h"
#include "picturaio_params.h"

class TIEBitmap;

// The DCX container's magic number (first four bytes, little-endian).
constexpr uint32_t IEDCXMagic = 987654321;

// Reads one PCX image of DataLength bytes (header included) from the stream's position: 1 bit
// and 1 plane gives ie1g (a set bit is white), every other depth ie24RGB.
void IEReadPCXStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, int32_t DataLength,
                     TIOProgressRecord& Progress, bool ParamsOnly);
// Writes a PCX image of the depth BitsPerSample x SamplesPerPixel (1, 4, 8 or 24 bits); other
// depths write nothing and set the abort flag. PCXCompression 0 writes stored lines.
void IEWritePCXStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress);
// True when the stream starts with the DCX magic and every offset of its table lies below the
// stream's size. The position is restored.
bool IEIsDCX(TStream& Stream);
// Reads page DCXImageIndex (clamped to the pages) and sets ImageCount to the number of pages.
void IEReadDCXStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                     bool ParamsOnly);
// Inserts the image as a new page before the page DCXImageIndex (appends at the page count; an
// index outside 0..count adds nothing) and rewrites the whole stream.
void IEWriteDCXStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress);
