// PDF 1.4 output: one image per page, scaled to fit the page (keeping its aspect ratio) and
// placed at its top-left corner, built on the PDF object model. There is no PDF reader.
//
// A document is made in three steps, which multi-page output calls separately: IEPDFCreate,
// IEPDFSavePage for each page (each page's image data leaves memory for a temporary file at once),
// and IEPDFClose, which writes the whole document and frees everything.
//
// Errors: none of its own; stream and encoder errors pass to the caller.
// Platform-neutral: compiles without <windows.h>.
#pragma once

#include <cstdint>

#include "Classes.h"
#include "picturaio_params.h"

class TIEBitmap;
struct TIEPDFContext;

// A new document with its catalog (object 1) and the resources dictionary all pages share
// (object 2); owned by the caller until IEPDFClose.
TIEPDFContext* IEPDFCreate();
// Adds Bitmap as the next page. ie1g is written with 1 bit (PDFCompression 0 none, 1 RunLength,
// 2 CCITT group 4, 3 group 3 two-dimensional, 4 becomes 3, 5 LZW, others none), every other
// format as 8-bit RGB (4 JPEG with the parameters' JPEG settings, 5 LZW, others none).
// BitsPerSample and SamplesPerPixel are set to what was written.
void IEPDFSavePage(TIEPDFContext* Context, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress);
// Writes the document (page tree, information dictionary from PDFTitle..PDFProducer and the
// creation date) to Stream and frees Context with all its objects; null does nothing.
void IEPDFClose(TIEPDFContext* Context, TStream& Stream, TIOParamsVals& IOParams);
// A one-page document: IEPDFCreate, IEPDFSavePage, IEPDFClose.
void IEWritePDFStream(TStream& Stream, TIEBitmap* Bitmap, TIOParamsVals& IOParams, TIOProgressRecord& Progress);
