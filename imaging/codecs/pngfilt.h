// The PNG reader: the glue between libpng and the image library. libpng reads from a TStream
// through a read callback; its errors end the read by the abort flag. Platform-neutral.
//
// Pixel formats delivered: 1-bit grey gives ie1g; with IOParams.NativePixelFormat 8-bit palette
// images give ie8p (tRNS as the alpha channel), 8-bit grey ie8g and 16-bit grey ie16g; everything
// else gives ie24RGB, with the bitmap's own alpha channel when the image has alpha or tRNS.
//
// Errors: a libpng error, a stream cut short, a size that cannot be held or a failed allocation
// set *Progress.Aborting and end the read; rows read until then stay in the bitmap. Nothing is
// raised.
#pragma once

#include <cstdint>

#include "Classes.h"
#include "picturaio_params.h"

class TIEBitmap;

// True when the stream holds at least 4 bytes at its position and they are the start of the PNG
// signature. The position is restored.
bool IEIsPNG(TStream& Stream);

// Reads the PNG image at the stream's position into Bitmap and fills IOParams: size, depth,
// samples, resolution (pHYs, else the default DPI), palette, background (bKGD), interlacing and
// the text chunks (PNGTextKeys and PNGTextValues: tEXt and zTXt from the ANSI code page, iTXt from
// UTF-8). With Preview only the parameters are filled.
void IEReadPNGStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                     bool Preview);
