// The Netpbm formats ("P1" to "P6": portable bitmap, greymap and pixmap) and the Wireless Bitmap
// (WBMP, type 0), read into and written from a TIEBitmap.
//
// Errors: a bad size, an unsupported magic or maximum sample value (0 included), or a WBMP header
// other than type 0 sets *Progress.Aborting and returns; a stream that ends early leaves the
// remaining pixels as allocated. A bitmap that cannot be allocated also sets the flag. Readers
// never read more than the stream holds and never loop without end.
// Platform-neutral: compiles without <windows.h>.
#pragma once

#include <cstdint>
#include <string>

#include "Classes.h"
#include "picturaio_params.h"

class TIEBitmap;

// The next token of a PNM header: skips bytes up to a letter, a digit or "#". A "#" takes the
// rest of the line and gives "#" followed by that text without surrounding blanks; otherwise the
// token is the run of letters and digits (the byte that ends it is consumed). Empty at the end.
void IEReadPNMToken(TStream& Stream, std::string& Token);
// True when the stream starts (after comments) with "P1".."P6" and a positive width and height.
// At most 501 tokens are read; the position is restored.
bool IEIsPNM(TStream& Stream);
// P1 and P4 give ie1g; P2, P3 and 8-bit P5/P6 ie24RGB; 16-bit P5 ie16g and 16-bit P6 ieRGB48 with
// NativePixelFormat, ie24RGB otherwise. Samples are scaled from the file's maximum to the full
// range of the pixel format. PXMComments receives the header's comment lines.
void IEReadPNMStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                     bool ParamsOnly);
// Writes P4 (1 bit), P5 (8-bit grey), P6 with maximum 65535 (16 bits per sample) or P6 with
// maximum 255, chosen by BitsPerSample, SamplesPerPixel and the pixel format; the comment lines
// of PXMComments go into the header. An image of another format is written from a converted
// copy (thresholded for P4, 24-bit otherwise); a copy that cannot be made sets the abort flag.
void IEWritePNMStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress);

// A WBMP multi-byte integer of at most 4 bytes (7 bits each, most significant first).
int32_t IEReadWBMPInteger(TStream& Stream);
// Reads a type-0 WBMP into ie1g (a set bit is white).
void IEReadWBMPStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress,
                      bool ParamsOnly);
// Writes a type-0 WBMP from an ie1g image (other formats are converted by a grey threshold), its
// sizes in the multi-byte form.
void IEWriteWBMPStream(TStream& Stream, TIEBitmap* Bitmap, TIOProgressRecord& Progress);
