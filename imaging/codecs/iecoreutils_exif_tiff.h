// EXIF blocks read and written through the TIFF codec: the EXIF values and thumbnail of an APP1
// payload, of a camera-raw file and of a TIFF file, copying the EXIF values between two parameter
// sets, and writing a parameter set's EXIF block. Platform-neutral.
#pragma once

#include <cstdint>
#include <memory>

#include "iecoreutils_exif.h"

// The EXIF values of an APP1 EXIF payload (the identifier, then a TIFF structure) into Params,
// with HasEXIFData set, and its second image (an old-style JPEG thumbnail of at most 400 x 400
// pixels) into Params' EXIF thumbnail, turned by the EXIF orientation. False, with nothing
// changed, when Data does not start with the identifier.
bool IELoadEXIFFromBuffer(const uint8_t* Data, int32_t DataLen, TIOParamsVals* Params);
// The EXIF values of the TIFF-structured camera-raw file at the stream's position into Params,
// and as EXIF thumbnail the narrower of its first two images that holds something (each at most
// 400 x 400 pixels). Always True; the position is restored.
bool IEReadRawEXIF(TStream* Stream, TIOParamsVals* Params);
// The TIFF and EXIF values of the TIFF structure at the stream's position straight into Params
// (parameters only; Params' EXIF thumbnail is emptied). Always True; the position is restored.
bool IEReadTIFFEXIF(TStream* Stream, TIOParamsVals* Params);

// Dest's EXIF and GPS values become Source's: the present-tag list, the has-EXIF flag, every value
// (those with setters through them, so that the resolution, DPI and orientations follow) and the
// maker note; with CopyThumbnail, Dest's EXIF thumbnail is replaced by a copy of Source's (or
// none).
void IECopyEXIF(TIOParamsVals* Source, TIOParamsVals* Dest, bool CopyThumbnail);

// The EXIF block of Params in a new buffer that the caller owns: a little-endian TIFF structure
// holding the EXIF values in its first page (with the EXIF and GPS sub-IFDs) and, when Params has
// a non-empty EXIF thumbnail, the thumbnail as a second page in old-style JPEG; offsets count from
// the TIFF header. WithHeader puts "Exif" and two zero bytes in front (the payload of an APP1
// marker). Buffer is null and BufferLen 0 when nothing could be written.
void IESaveEXIFToBuffer(TIOParamsVals* Params, std::unique_ptr<uint8_t[]>& Buffer, int32_t& BufferLen,
                        bool WithHeader);
