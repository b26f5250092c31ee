// GIF files (versions 87a and 89a): one frame of a file read into a TIEBitmap, and a TIEBitmap
// written as a single-frame GIF89a file. The LZW coding goes through the parameter set's
// GIFLZWDecompress / GIFLZWCompress (or the library-wide IEGIFLZWDecompressor /
// IEGIFLZWCompressor when those are null), so that the codec can be replaced.
//
// Palettes in memory are TIERGB (blue first); in the file red comes first.
//
// Errors: a stream that does not start with "GIF", a file that ends after its global colour
// table, a frame whose LZW data the decoder refuses, a frame too large to hold or a huge frame
// without the data to fill it set *Progress.Aborting; the bitmap is then left unchanged. An index
// past the last frame decodes nothing and is no error. The reader never reads past the stream and
// ends on every input.
// Platform-neutral: compiles without <windows.h>.
#pragma once

#include <cstdint>

#include "Classes.h"
#include "picturaio_params.h"

class TIEBitmap;
class TIEMask;

// Reads the frame IOParams.GIFImageIndex from the current position. FrameCount receives the
// number of image descriptors in the file (also stored through SetImageCount and in
// GIFImageCount). Preview reads the parameters only: no pixels, the bitmap untouched. Unless
// IgnoreTransparency, a frame with a transparent index on which some pixel lies gets AlphaMask
// (created when null; 8 bits, 0 on those pixels, 255 elsewhere); a mask that ends up without
// any transparent pixel is freed and set to null. Two-entry black-and-white frames load as ie1g, others as ie8p with
// NativePixelFormat, else ie24RGB.
void IEReadGIFStream(TStream& Stream, TIEBitmap* Bitmap, int32_t& FrameCount, TIOParamsVals& IOParams,
                     TIOProgressRecord& Progress, bool Preview, TIEMask*& AlphaMask, bool IgnoreTransparency);

// Writes Bitmap at the current position. BitsPerSample 1 writes black and white (an image of two
// colours as its darker and lighter one, any other by conversion to ie1g); 2..8 that many palette
// bits from the colour quantizer (values outside 1..8 count as 8). A bitmap with an alpha channel
// reserves the last palette index for every pixel whose alpha is below 255 and sets GIFFlagTranspColor.
// A short write sets *Progress.Aborting; so does a missing LZW encoder.
void IEWriteGIFStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress);
