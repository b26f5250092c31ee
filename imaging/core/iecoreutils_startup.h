// The globals that the core's own set-up step fills, and that step. The image library's
// library-wide start-up and shut-down, which run every unit's step, sit at the top of the library
// (iestartup.h).
#pragma once
#include <cstdint>
#include <string>

// The set-up and tear-down steps of the core unit iecoreutils.
void IECoreUtilsInitialize();
void IECoreUtilsFinalize();

// 0 Windows 95, 1 98, 2 Me, 3 NT 4, 4 2000, 5 XP, 6 Server 2003, 7 Vista, 8 Windows 7, 9 any other.
extern uint8_t IEWindowsVersionIndex;
// An NT-family system (index above 2): the wide-character file functions are used.
extern bool IEIsWinNT;

// The resampling filters (the processing unit's type).
enum TResampleFilter : uint8_t {
    rfNone, rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell, rfNearest, rfLinear,
    rfFastLinear, rfBilinear, rfBicubic, rfProjectBW, rfProjectWB
};
// The zoom filter of the parameters-preview dialog's image views.
extern TResampleFilter IEPreviewsZoomFilter;
// -1: a new bitmap computes its own threshold for moving to a temporary file.
extern int64_t IEDefaultMinFileSize;
// A bitmap may fall back to a temporary file when memory fails, and may allocate row segments
// when one block fails.
extern bool IEAllowFileFallback;
extern bool IEAllowSegments;
// The most pixels (width x height) an image read from a file may have, 2^28 by default; 0 for no
// limit. Every decoder refuses a larger image before allocating anything for it.
extern int64_t IEMaxImagePixels;
// True when an image of Width x Height is within IEMaxImagePixels (negative sizes are not).
bool IEImageSizeAllowed(int64_t Width, int64_t Height);
// The colour-management module, loaded on first use by the ICC profiles and unloaded at tear-down.
extern void* IEColorManagementModule;
// A raised-cosine ramp: entry i = Round(64 - 64 cos(i pi / 255)), 0 at 0 and 128 at 255.
extern int32_t IECosineTable[256];
