// Helpers of the visual-layer tests: pixels read back from memory bitmaps, fixture paths.
#pragma once
#include <cstdint>
#include <string>

#include "Graphics.h"
#include "SysUtils.h"

// The $00BBGGRR colour of a pixel of a 24- or 32-bit bitmap, read from its scan line.
inline TColor PixelOf(TBitmap& bmp, int32_t x, int32_t y) {
    const uint8_t* row = static_cast<const uint8_t*>(bmp.ScanLine(y));
    const int bytes = bmp.BitCount() / 8;
    const uint8_t* p = row + x * bytes;
    return (TColor)(p[2] | (p[1] << 8) | (p[0] << 16));
}

// A 24-bit memory bitmap filled with one colour, for painting controls into.
inline void MakeCanvasBitmap(TBitmap& bmp, int32_t w, int32_t h, TColor fill) {
    bmp.SetPixelFormat(pf24bit);
    bmp.SetSize(w, h);
    bmp.Canvas()->Brush()->SetColor(fill);
    bmp.Canvas()->FillRect(RECT{0, 0, w, h});
}

inline std::wstring UiFixture(const char* name) {
    return Utf8ToWide(std::string(TEST_DATA_DIR) + "/ui/" + name);
}
