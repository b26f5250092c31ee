// The TIFF reader: one page of a TIFF file (either byte order) into a TIEBitmap, with the page's
// TIFF, EXIF, GPS, IPTC, XMP, ICC and annotation values in the parameter set and its alpha samples
// in a mask; the same routine reads the TIFF structure of an EXIF block. And the three probes of
// TIFF-structured files. Platform-neutral.
#pragma once

#include <cstdint>

#include "picturaio_params.h"

class TIEBitmap;
class TIEMask;
class TStream;

// Reads the page Params.TIFFImageIndex (its sub-IFD Params.TIFFSubIndex when that is 0 or more)
// of the TIFF structure in Stream. ImageCount receives the number of pages of the chain.
//  ParamsOnly: fill the parameters and stop before any pixel is read.
//  AlphaMask: receives a new mask when the page has alpha samples and none is given; a given mask
//    is sized to the page, filled with 255 and receives the alpha samples.
//  HeaderAtPosition: the TIFF header starts at the stream's position, and every offset of the
//    structure is relative to it; otherwise offsets are relative to the stream's start.
//  IgnoreAlpha: never build or fill a mask.
//  Thumbnail: the page is a thumbnail: filled with 0 first, refused above 400 pixels a side, and
//    decoded even without size tags (a JPEG stream named by tag 513 alone).
//  IsEXIFBlock: the stream holds an EXIF block; without an EXIF IFD its tags are taken from the
//    page's IFD.
// Bad data set *Progress.Aborting and leave what was decoded; a first IFD offset of 0 or a page
// that is not in the chain end the call with nothing filled and the flag untouched. Nothing is
// raised.
void IEReadTIFFStream(TIEBitmap* Bitmap, TStream* Stream, int32_t& ImageCount, TIOParamsVals& Params,
                      TIOProgressRecord& Progress, bool ParamsOnly, TIEMask*& AlphaMask, bool HeaderAtPosition,
                      bool IgnoreAlpha, bool Thumbnail, bool IsEXIFBlock);
