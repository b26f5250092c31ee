// Helpers of the codec fuzz targets: a memory stream holding the input, and the comparison of two
// bitmaps' pixels (of a 1-bit row's last byte only the pixels' bits).
#pragma once
#include <cstdint>
#include <cstring>
#include <string>

#include "Classes.h"
#include "iebitmap.h"

inline void FuzzFillStream(TMemoryStream& Stream, const std::string& Bytes) {
    if (!Bytes.empty()) Stream.Write(Bytes.data(), (int32_t)Bytes.size());
    Stream.SetPosition(0);
}

inline bool FuzzSamePixels(TIEBitmap& A, TIEBitmap& B) {
    if (A.GetWidth() != B.GetWidth() || A.GetHeight() != B.GetHeight() || A.GetPixelFormat() != B.GetPixelFormat())
        return false;
    const size_t used = ((size_t)A.GetWidth() * (size_t)A.GetBitCount() + 7) / 8;
    for (int32_t y = 0; y < A.GetHeight(); ++y) {
        const uint8_t* a = A.GetScanline(y);
        const uint8_t* b = B.GetScanline(y);
        const size_t whole = A.GetPixelFormat() == ie1g ? (size_t)A.GetWidth() / 8 : used;
        if (std::memcmp(a, b, whole) != 0) return false;
        if (whole < used) {
            const uint8_t mask = (uint8_t)(0xFF << (8 - A.GetWidth() % 8));
            if ((a[whole] & mask) != (b[whole] & mask)) return false;
        }
    }
    return true;
}
