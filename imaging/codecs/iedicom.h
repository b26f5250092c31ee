// DICOM files (with the 128-byte preamble and "DICM", or bare data sets): every data element goes
// into the parameter set's DICOM tag list and one frame of the pixel data into a TIEBitmap.
// Native pixel data, RLE and lossless JPEG are decoded here, baseline JPEG by the JPEG codec and
// JPEG 2000 by the JPEG 2000 codec; deflated data sets are inflated first. Grey images then pass
// through the modality rescale, the VOI window and a stretch to the full range of the pixel
// format, and MONOCHROME1 images are inverted. Platform-neutral.
//
// Errors: missing or foreign item tags in encapsulated data, frames that run past the end of the
// stream, lookup tables too short for their samples, failed lossless or RLE decoding, and the
// transfer syntaxes nothing here decodes (MPEG-2, JPEG-LS, unknown compressed ones) set
// *Progress.Aborting; what was decoded stays in the bitmap. Nothing is raised.
#pragma once

#include <cstdint>

#include "Classes.h"
#include "imaging/core/picturaio_params.h"

class TIEBitmap;

// "DICM" 128 bytes past the position; the position is restored.
bool IEIsDICOM(TStream* Stream);

// Parses the data set from the position into IOParams (DICOMTags, BitsPerSample = bits stored,
// SamplesPerPixel, Width, Height, OriginalWidth, OriginalHeight, ImageCount = number of frames,
// ImageIndex clamped to the last frame) and, unless Preview or Bitmap is null, loads frame
// IOParams.ImageIndex into Bitmap: ie8g, ie16g, ie24RGB or ieRGB48 (palette colour of 9..16 bits).
// A bitmap in the system-bitmap storage receives the image converted to ie24RGB (ie1g kept).
void IEReadDICOMStream(TStream* Stream, TIOParamsVals& IOParams, TIEBitmap* Bitmap, TIOProgressRecord& Progress,
                       bool Preview);
