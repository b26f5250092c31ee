// Raw bitmap stream records of any content: loading reads nothing outside the stream and writes
// nothing outside the bitmap, whatever the header says; what loads saves and loads back with the
// same rows.
//
// Input: the record's bytes ("TIEBITMAPRAW", version, palette, header fields, rows, alpha).
#include <cstdint>
#include <cstring>

#include "Classes.h"
#include "CodecFuzz.h"
#include "iebitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Keep the images the header asks for small (the palette length moves the width).
    if (size >= 20) {
        int32_t paletteLength;
        std::memcpy(&paletteLength, data + 16, 4);
        const size_t at = 20 + (size_t)(paletteLength > 0 && paletteLength < 4096 ? paletteLength : 0) * 3;
        if (paletteLength >= 4096) return 0;
        if (at + 8 <= size) {
            int32_t w, h;
            std::memcpy(&w, data + at, 4);
            std::memcpy(&h, data + at + 4, 4);
            if (w > 0 && h > 0 && (int64_t)w * h > (1 << 16)) return 0;
        }
    }
    TReadOnlyMemoryStream in(data, (int32_t)size);
    TIEBitmap first;
    if (!first.LoadRawFromStream(nullptr, &in)) return 0;
    TMemoryStream out;
    first.SaveRawToStream(nullptr, &out);
    out.SetPosition(0);
    TIEBitmap second;
    if (!second.LoadRawFromStream(nullptr, &out)) __builtin_trap();
    if (!FuzzSamePixels(first, second) || first.HasAlphaChannel() != second.HasAlphaChannel()) __builtin_trap();
    if (first.HasAlphaChannel() && !FuzzSamePixels(*first.GetAlphaChannel(), *second.GetAlphaChannel()))
        __builtin_trap();
    return 0;
}
