// The image library's basic pixel types and the grey weights that every colour-to-grey
// conversion of the library uses. Platform-neutral.
#pragma once

#include <cstdint>

// One 24-bit pixel or palette entry, in memory order blue, green, red.
#pragma pack(push, 1)
struct TIERGB {
    uint8_t b;
    uint8_t g;
    uint8_t r;
};
#pragma pack(pop)
static_assert(sizeof(TIERGB) == 3, "TIERGB is three bytes without padding");

// The pixel formats of an image buffer, stored as one byte.
enum TIEPixelFormat : uint8_t {
    ieNoFormat = 0,
    ie1g = 1,
    ie8p = 2,
    ie8g = 3,
    ie16g = 4,
    ie24RGB = 5,
    ie32f = 6,
    ieCMYK = 7,
    ieRGB48 = 8,
    ieCIELab = 9,
    ie32RGB = 10,
    ieVirtual = 11
};

// Weights in per cent of red, green and blue in a grey level (they add up to 100). They hold
// 21, 71 and 8 from the program's start; the library's start-up sets them again.
extern int32_t IEGrayRedWeight;
extern int32_t IEGrayGreenWeight;
extern int32_t IEGrayBlueWeight;
