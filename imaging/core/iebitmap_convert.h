// Pixel-level helpers of the pixel-format conversion that other units of the core share.
// Platform-neutral.
#pragma once

#include <cstdint>

#include "iecoredefs_types.h"

namespace ieconvert {

// One ieCMYK pixel (the four stored bytes C, M, Y, K, each 255 minus the ink) as RGB by the
// arithmetic rule: each channel = stored ink x stored black / 255.
inline TIERGB CMYKToRGB(const uint8_t* CMYK) {
    const uint32_t k = CMYK[3];
    TIERGB rgb;
    rgb.r = static_cast<uint8_t>(CMYK[0] * k / 255);
    rgb.g = static_cast<uint8_t>(CMYK[1] * k / 255);
    rgb.b = static_cast<uint8_t>(CMYK[2] * k / 255);
    return rgb;
}

// The four stored bytes of one colour: black' = the largest channel, each ink' = channel x 255 /
// black' (all 255 and black' 0 for black).
inline void RGBToCMYK(const TIERGB& RGB, uint8_t* CMYK) {
    uint32_t k = RGB.r > RGB.g ? RGB.r : RGB.g;
    if (RGB.b > k) k = RGB.b;
    if (k == 0) {
        CMYK[0] = CMYK[1] = CMYK[2] = 255;
        CMYK[3] = 0;
        return;
    }
    CMYK[0] = static_cast<uint8_t>(RGB.r * 255u / k);
    CMYK[1] = static_cast<uint8_t>(RGB.g * 255u / k);
    CMYK[2] = static_cast<uint8_t>(RGB.b * 255u / k);
    CMYK[3] = static_cast<uint8_t>(k);
}

// The low byte (or word) of Trunc(V); 0 for a value no 64-bit integer holds (NaN included).
inline int64_t TruncSafe(double V) {
    return (V > -9.2e18 && V < 9.2e18) ? static_cast<int64_t>(V) : 0;
}

}  // namespace ieconvert
