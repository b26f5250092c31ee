// Tone measures and remaps of any TIEBitmap: the 256-bin grey histogram, the conversion to black
// and white by a fixed, average or maximum-entropy threshold, and the matching of a colour
// image's channel histograms to a reference image's. Platform-neutral.
#pragma once

#include <cstdint>

#include "picturaio_params.h"

class TIEBitmap;

using TIEHistogram = int32_t[256];

// Clears the bins and counts every pixel's grey level (IERGBToGray of its colour): ie1g counts
// in bins 0 (clear) and 1 (set) only, ie16g and ieRGB48 by their high bytes, ie32f as
// Trunc(value x 255) (values outside 0..1 are held to 0..255), ieCMYK and ieCIELab through their
// conversions to RGB. Other formats add nothing.
void IEGrayHistogram(TIEBitmap* Bitmap, TIEHistogram& Histogram);

// Source to black and white into Dest, which must already be ie1g and of Source's size: a pixel
// of grey level below the threshold becomes a clear bit, others a set bit. Threshold 0..255 is
// used as given, -1 means the grey level of Source's average colour, -2 the maximum-entropy
// threshold (Kapur, Sahoo and Wong; when no level splits the histogram, every pixel becomes
// white). An ie1g Source is copied as it is. Progress is reported after every row.
void IEThresholdTo1Bit(TIEBitmap* Source, TIEBitmap* Dest, int32_t Threshold, TIOProgressRecord& Progress);

// Changes the blue, green and red channels of an ie24RGB or ieRGB48 Target so that each has, as
// nearly as 256 levels allow, the histogram of the same channel of an ie24RGB Reference. Nothing
// happens for another Reference format or when either image is empty.
void IEMatchHistogram(TIEBitmap* Reference, TIEBitmap* Target);

// The step of IEMatchHistogram for one Channel (0 blue, 1 green, 2 red) against
// ReferenceHistogram, which counts ReferenceCount pixels. Levels is not used (always 255).
void IEMatchChannelHistogram(TIEBitmap* Target, int32_t Channel, const TIEHistogram& ReferenceHistogram,
                             int32_t Levels, int32_t ReferenceCount);
