// CMYK conversions and the conversion of pixel rows between the layouts the codecs read and write
// and the library's native 24-bit blue-green-red. Platform-neutral: the colour-managed path goes
// through ICC profile objects, and falls back on plain arithmetic when they cannot be used.
#pragma once

#include <cstdint>

#include "iecoredefs_types.h"

class TIOParamsVals;

// Row layout codes of IEConvertColorRow.
enum TIEColorRowLayout : uint8_t {
    iecrRGB = 0,         // red, green, blue bytes (file order)
    iecrBGR = 1,         // TIERGB: blue, green, red
    iecrCMYK = 2,        // C, M, Y, K bytes, each 255 minus the ink
    iecrCMYK6 = 3,       // six-byte pixels: C, M, Y, K ink bytes (not inverted), two bytes ignored
    iecrCIELab = 4,      // three bytes as IERGBToCIELab makes them
    iecrGray = 5,        // one byte
    iecrRGB16LE = 6,     // 16-bit little-endian red, green, blue
    iecrRGB16BE = 7,     // 16-bit big-endian red, green, blue
    iecrYCbCr = 8        // Y, Cb, Cr bytes
};

// Pixels convert through the built-in CMYK profile when it loads (True after start-up).
extern bool IEUseCMYKProfile;
// Embedded ICC profiles of images are applied while rows convert (False; nothing sets it True).
extern bool IEColorManagementEnabled;

// The row converter the TIFF, JPEG and PNM codecs call; the I/O start-up points it at
// IEConvertColorRow.
using TIEColorConvertProc = void (*)(const void* Source, uint8_t SourceLayout, void* Dest, TIOParamsVals* IOParams,
                                     int32_t Count, uint8_t DestLayout);
extern TIEColorConvertProc IEColorConvertHook;

// Prepares the CMYK and sRGB profile pair on first use; True when the CMYK profile is usable. A
// profile that failed to open is not tried again.
bool IEInitCMYKProfile();
// Frees the profile pair (I/O shut-down).
void IEFreeCMYKProfiles();

// One CMYK pixel (four stored bytes: 255 minus each ink) to RGB.
void IECMYKToRGB(const uint8_t* CMYK, TIERGB& RGB);
// Count CMYK pixels to a TIERGB row.
void IECMYKRowToRGB(const uint8_t* Source, TIERGB* Dest, int32_t Count);
// An RGB colour (blue in the lowest byte, red in bits 16-23) to the four stored CMYK bytes
// (255 minus each ink), C in the lowest byte.
uint32_t IERGBToCMYK(uint32_t RGB);

// Converts Count pixels from SourceLayout to DestLayout. With colour management on and a valid
// input profile in IOParams not yet applied, through the profiles; otherwise by the layouts:
// 0 and 1 to 1, 1 to 2, 4 and 5, and 2, 3, 4, 6, 7, 8 to 1. Any other pair leaves Dest untouched.
// The source is never written.
void IEConvertColorRow(const void* Source, uint8_t SourceLayout, void* Dest, TIOParamsVals* IOParams, int32_t Count,
                       uint8_t DestLayout);

// The built-in CMYK profile as one zlib stream and its byte count; null and 0 when the build had
// no profile to build in (the arithmetic then serves). The source is made at build time.
const uint8_t* IEBuiltInCMYKProfileData(int32_t& Size);
