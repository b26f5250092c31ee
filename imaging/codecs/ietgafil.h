// Truevision TGA files with the TGA 2.0 footer and extension area (author, job, date, key colour,
// aspect ratio, gamma). Reading: colour-mapped, true-colour and black-and-white images,
// uncompressed or run-length encoded, at 1, 8, 16, 24 and 32 bits per pixel, into ie1g or ie24RGB
// with an optional 8-bit alpha mask. Writing: 1, 4, 8, 24 and 32 bits per pixel. Platform-neutral.
//
// Errors: an invalid image type or depth, or pixel data cut short, set *Progress.Aborting (when
// the record has a flag); a short write does too. Colour maps, packets and sizes from the file are
// bounded: nothing is read or written outside the buffers, whatever the input.
#pragma once

#include <cstdint>

#include "Classes.h"
#include "iebitmap.h"
#include "iemask.h"
#include "imaging/core/picturaio_params.h"

// True when the 18 bytes at the stream's position are a plausible TGA header; the position is
// restored.
bool IEIsTGA(TStream& Stream);

// Reads the image at the stream's position. Preview fills IOParams only. AlphaMask receives the
// alpha of 32-bit pixels or of a 32-bit colour map unless IgnoreAlpha is set (created when null;
// freed and set to null when every value is 255).
void IEReadTGAStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                     bool Preview, TIEMask*& AlphaMask, bool IgnoreAlpha);

// Writes an ie24RGB or ie1g bitmap (other formats write nothing). The depth: SamplesPerPixel 1 with
// BitsPerSample 1, 4 or 8 gives that depth (colours reduced by the quantizer, IOParams.ColorMap
// receiving the palette; 1 and 4 bits uncompressed); otherwise 32 bits with AlphaMask's values
// when a mask is given (uncompressed), else 24. IOParams.TGACompressed run-length encodes 8- and
// 24-bit rows.
void IEWriteTGAStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                      TIEMask* AlphaMask);
