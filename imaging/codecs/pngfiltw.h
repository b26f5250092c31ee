// The PNG writer: the glue between the image library and libpng's writing side. libpng writes to
// a TStream through a write callback. Platform-neutral.
//
// Errors: a libpng error (for example a palette of 16 bits, which PNG does not have) raises
// EInvalidGraphic "Error on creating PNG"; a short write sets *Progress.Aborting and ends the
// image without its end chunk.
#pragma once

#include "Classes.h"
#include "picturaio_params.h"

class TIEBitmap;
class TIEMask;

// Writes Bitmap as a PNG image at the stream's position. IOParams chooses the layout:
// SamplesPerPixel 1 a one-channel image (BitsPerSample 1: grey 1 bit, by the image's two colours
// when it has only two, else by threshold; 8 or 16: a palette from the quantizer, or grey when the
// image is grey; any other depth is changed to 8 in IOParams first); otherwise RGB of 8 bits, RGBA
// when AlphaMask (8 bits, 255 opaque) is given and its Full flag is clear. With a mask a one-channel
// image gets a palette whose entry 0 is PNGBackground, fully transparent. Also written: the
// interlacing (PNGInterlaced), the resolution, the row filter (PNGFilter), the zlib level
// (PNGCompression), bKGD from PNGBackground and one tEXt chunk per pair of PNGTextKeys and
// PNGTextValues (empty keys are left out).
void IEWritePNGStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                      TIEMask* AlphaMask);
