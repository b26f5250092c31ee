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

// The probes of TIFF-structured files. Each reads the header at the stream's position and takes
// the IFD offsets from that header (a TIFF behind other bytes is found like one at the start), and
// restores the position, also when the stream raises.
// A TIFF file: "II" or "MM", the first IFD inside the stream and holding the width and height
// tags. A big-endian header followed by the byte 0xBA is refused (a camera raw layout).
bool IEIsTIFF(TStream* Stream);
// IEIsTIFF without the refusal of big-endian headers followed by 0xBA: detection's last answer
// for such a file when no camera-raw reader claims it.
bool IEIsTIFFStructure(TStream* Stream);
// A TIFF-structured camera raw file: its first IFD holds a DNG version (4 bytes), a CFA or
// LinearRaw photometric interpretation, or sub-IFDs with the TIFF/EP standard tag and a size
// below 200 pixels a side (a thumbnail before the raw data); or a Canon CR2 header ("II*\0" and
// "CR" with major version 2 at byte 8), whose first IFD is a plain preview.
bool IEIsCameraRAWTIFF(TStream* Stream);
// An HD Photo file: "II" and a first IFD holding the five tags of HD Photo's pixel format, size,
// image offset and byte count.
bool IEIsHDPhoto(TStream* Stream);
