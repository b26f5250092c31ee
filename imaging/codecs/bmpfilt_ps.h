// PostScript Level 2 output: one image per page, scaled to fit the paper (keeping its aspect
// ratio) with its first row at the top. The pixel data are compressed (RunLength, CCITT fax or
// JPEG) and always ASCII85-encoded, so the document is 7-bit clean; every line ends with CR LF.
// There is no PostScript reader.
//
// A document is made in three steps, which multi-page output calls separately: IEPSCreate writes
// the header comments, IEPSSavePage adds a page (and counts it in the header's "%%Pages:" line,
// so the stream must be readable and seekable), IEPSClose writes the trailer.
//
// Errors: none of its own; stream errors (exceptions) pass to the caller.
// Platform-neutral: compiles without <windows.h>.
#pragma once

#include <cstdint>

#include "Classes.h"
#include "picturaio_params.h"

class TIEBitmap;

// Where the "%%Pages:" line sits and where the next page (or the trailer) goes.
struct TIEPSContext {
    int64_t PagesLinePosition = 0;
    int64_t PagePosition = 0;
};

// Writes the header (title PSTitle, bounding box of PSPaperWidth x PSPaperHeight) and returns the
// document's context, owned by the caller until IEPSClose.
TIEPSContext* IEPSCreate(TStream& Stream, TIOParamsVals& IOParams);
// Adds Bitmap as the next page. ie1g is written with 1 bit (PSCompression 0 RunLength, 1 CCITT
// group 4, 2 group 3 two-dimensional; 3, JPEG, has no 1-bit form and becomes 2), every other
// format as 8-bit RGB (3 JPEG with the parameters' JPEG settings, else RunLength per channel).
// BitsPerSample and SamplesPerPixel are set to what was written.
void IEPSSavePage(TIEPSContext* Context, TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams,
                  TIOProgressRecord& Progress);
// Writes the trailer and frees Context; null does nothing.
void IEPSClose(TIEPSContext* Context, TStream& Stream);
// A one-page document: IEPSCreate, IEPSSavePage, IEPSClose.
void IEWritePSStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress);
