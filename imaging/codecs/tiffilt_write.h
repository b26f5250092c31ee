// The TIFF writer: one image (or only metadata) as one page of a little-endian TIFF file, written
// as a new file at the stream's position or linked into a little-endian TIFF already in the
// stream, with the parameter set's metadata (description tags, EXIF and GPS IFDs, IPTC, XMP, Wang
// annotations); and the copy of the EXIF-related tags into a TIFF-structured file that another
// encoder wrote. Platform-neutral.
//
// Offsets in the file are stream positions counted from the start of the stream. Every block goes
// through the checked stream write: a short write sets the progress record's abort flag, the
// strip loops stop, and no IFD is written.
#pragma once

#include <cstdint>
#include <string>

class TStream;
class TIEBitmap;
class TIOParamsVals;
struct TIOProgressRecord;

// Writes Bitmap (nil: a page of metadata only) into Stream. Append False: a new file at the
// stream's position; returns 1. Append True: the stream must begin, at its position, with a
// little-endian TIFF header; the new page goes to the stream's end and is linked in before page
// Params.TIFFImageIndex (after the last page when the file has fewer); returns the number of pages
// after the insertion, or 0 with the abort flag set when the stream is not a little-endian TIFF.
// Params' BitsPerSample, SamplesPerPixel, TIFFPhotometric and TIFFCompression may be changed to
// what was written.
int32_t IEWriteTIFFStream(TStream* Stream, bool Append, TIEBitmap* Bitmap, TIOParamsVals& Params,
                          TIOProgressRecord& Progress);

// Copies the tags 271, 272, 306, 274, 282, 283, 296, 305, 315, 318, 531, 319, 529, 532, 33432,
// 18246, 40091..40095 and the EXIF and GPS sub-IFDs (34665, 34853) that the EXIF writer gives for
// Params into page Page of the TIFF read from SourceStream (or the file SourceFileName when
// SourceStream is nil), and writes every page to DestStream (from the source's starting position
// when both are the same stream) or to the file DestFileName. Always True.
bool IEInjectEXIFTags(TStream* SourceStream, TStream* DestStream, const std::wstring& SourceFileName,
                      const std::wstring& DestFileName, int32_t Page, TIOParamsVals& Params);
