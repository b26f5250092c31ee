// Packed DIBs of any content in a global block: IEDIBToIEBitmap reads nothing outside the block,
// answers the header's bit count, and whatever it produced comes back unchanged through
// _CopyBitmaptoDIBEx and a second read.
//
// Input: the block's bytes (a 40-byte header, then colour table, masks and rows).
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "CodecFuzz.h"
#include "iebitmap.h"
#include "picturaproc_dib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 40) return 0;
    int32_t w, h;
    uint16_t bits;
    std::memcpy(&w, data + 4, 4);
    std::memcpy(&h, data + 8, 4);
    std::memcpy(&bits, data + 14, 2);
    // Formats converted without reading rows (run-length, YUV without pixels, unknown depths)
    // still size the bitmap from the header: keep those sizes small.
    if ((int64_t)w * std::llabs((int64_t)h) > (1 << 22)) return 0;

    TIEGlobalHandle block = IEDIBGlobalAlloc(size);
    std::memcpy(IEDIBGlobalLock(block), data, size);
    IEDIBGlobalUnlock(block);
    TIEBitmap bmp;
    const int32_t result = IEDIBToIEBitmap(block, &bmp, nullptr, false);
    IEDIBGlobalFree(block);
    if (result != bits) std::abort();
    if (bmp.IsEmpty()) return 0;

    TIEGlobalHandle copy = _CopyBitmaptoDIBEx(&bmp, 0, 0, 0, 0, 96, 96);
    if (!copy) std::abort();
    TIEBitmap back;
    IEDIBToIEBitmap(copy, &back, nullptr, false);
    IEDIBGlobalFree(copy);
    if (!FuzzSamePixels(bmp, back)) std::abort();
    return 0;
}
