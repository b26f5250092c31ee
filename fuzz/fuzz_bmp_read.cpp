// Bitmap files of any content: the reader never reads or writes outside its buffers and ends on
// every input; whatever it decodes comes back unchanged through the writer and a second read.
//
// Input: the file's bytes (file header, information header, palette, masks, rows).
#include <atomic>
#include <cstdint>
#include <cstring>

#include "Classes.h"
#include "CodecFuzz.h"
#include "iebitmap.h"
#include "imaging/codecs/bmpfilt.h"

namespace {

bool Read(const uint8_t* Data, size_t Size, TIEBitmap& Bitmap, TIEMask*& Alpha) {
    return CodecFuzzRead(Data, Size, [&](TStream& S, TIOProgressRecord& Progress) {
        IEReadBMPStream(S, &Bitmap, 0, CodecFuzzParams(), Progress, false, false, Alpha, true);
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Keep the images the headers ask for small: the core header (12 bytes) holds 16-bit sizes,
    // the later ones 32-bit sizes.
    if (size >= 22) {
        uint32_t headerSize;
        std::memcpy(&headerSize, data + 14, 4);
        int64_t w = 0, h = 0;
        if (headerSize == 12) {
            uint16_t w16, h16;
            std::memcpy(&w16, data + 18, 2);
            std::memcpy(&h16, data + 20, 2);
            w = w16;
            h = h16;
        } else if (size >= 26) {
            int32_t w32, h32;
            std::memcpy(&w32, data + 18, 4);
            std::memcpy(&h32, data + 22, 4);
            w = std::abs((int64_t)w32);
            h = std::abs((int64_t)h32);
        }
        if (w * h > (1 << 18)) return 0;
    }
    TIEBitmap first;
    TIEMask* alpha = nullptr;
    const bool ok = Read(data, size, first, alpha);
    delete alpha;
    alpha = nullptr;
    if (!ok || first.GetWidth() <= 0 || first.GetHeight() <= 0) return 0;
    const TIEPixelFormat pf = first.GetPixelFormat();
    if (pf != ie1g && pf != ie24RGB) __builtin_trap();

    // The writer at the depth of the decoded image, read back.
    TMemoryStream out;
    TCodecFuzzProgress progress;
    TIOParamsVals& params = CodecFuzzParams();
    params.BitsPerSample = pf == ie1g ? 1 : 8;
    params.SamplesPerPixel = pf == ie1g ? 1 : 3;
    IEWriteBMPStream(out, &first, params, progress.Record, false);
    if (progress.Abort) __builtin_trap();
    TIEBitmap second;
    if (!Read((const uint8_t*)out.GetMemory(), (size_t)out.GetSize(), second, alpha)) __builtin_trap();
    delete alpha;
    if (second.GetWidth() != first.GetWidth() || second.GetHeight() != first.GetHeight()) __builtin_trap();
    for (int32_t y = 0; y < first.GetHeight(); ++y)
        for (int32_t x = 0; x < first.GetWidth(); ++x) {
            const TIERGB a = first.GetPixelAsRGB(x, y), b = second.GetPixelAsRGB(x, y);
            if (a.r != b.r || a.g != b.g || a.b != b.b) __builtin_trap();
        }
    return 0;
}
