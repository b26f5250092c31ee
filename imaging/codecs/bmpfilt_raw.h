// Headerless pixel data read into a bitmap the caller has allocated (its width, height and pixel
// format describe the data; the BMPRAW fields of the parameter set give the layout: channel order,
// planar or interleaved, source row alignment, bytes to skip, binary or decimal/hexadecimal text),
// and the probes of the two Windows metafile formats.
// Platform-neutral: compiles without <windows.h>.
#pragma once

#include "Classes.h"
#include "picturaio_params.h"

class TIEBitmap;

// Reads from the stream's position into Bitmap, which is neither allocated nor resized here.
// Binary samples of ie16g and ieRGB48 are little-endian words; ie32f samples 32-bit floats.
// BMPRAWChannelOrder 0 means red first (ie24RGB pixels are turned blue first; ieRGB48 keeps red
// first); other values mean the buffer's own order (blue first for ie24RGB, whose ieRGB48 words
// are then exchanged into red first). Data that ends early leaves the remaining samples as they
// were (text: 0). Raises Exception "Format unsupported" for ie32f in hexadecimal text.
void IEReadRawBitmapStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress);
// An enhanced metafile: the first record's type is 1 and its signature " EMF" at byte 40.
bool IEIsEMF(TStream& Stream);
// A classic metafile, with or without the 22-byte placeable header: type 1, header size 9 words
// and a parameter count of 0. Both probes restore the position and answer false for short data.
bool IEIsWMF(TStream& Stream);
