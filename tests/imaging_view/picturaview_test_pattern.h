// A 24-bit test image whose pixels differ in every pixel and channel, for the viewer's tests.
#pragma once

#include <cstdint>

#include "iebitmap.h"

inline void Pattern(TIEBitmap* B, int32_t W, int32_t H, int32_t Seed) {
    B->Allocate(W, H, ie24RGB);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            B->SetPixelRGB(x, y, TIERGB{uint8_t(x * 37 + y * 11 + Seed), uint8_t(x * 5 + y * 53 + Seed * 3),
                                        uint8_t(x * 19 + y * 7 + Seed * 7)});
}
