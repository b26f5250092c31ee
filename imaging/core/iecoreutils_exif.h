// EXIF blocks: recognising the payload of an EXIF APP1 marker, locating the TIFF header of a
// camera-raw file. Platform-neutral. Reading and writing whole EXIF blocks goes through the TIFF
// codec: iecoreutils_exif_tiff.h.
#pragma once

#include <cstdint>
#include <memory>

class TStream;
class TIOParamsVals;

// True when the bytes up to the first zero byte (within Length) read "Exif": an EXIF APP1
// payload ("Exif" and a zero byte).
bool IEIsEXIFBlock(const uint8_t* Data, int32_t Length);

// The distance from the stream's position to the first valid TIFF header within the next 128 KB
// ("II" or "MM", magic 42, 20306 or 21330, first-IFD offset below the stream's size), or -1. The
// stream's position is unchanged.
int64_t IEFindTIFFHeader(TStream* Stream);
