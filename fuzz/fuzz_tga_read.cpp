// TGA files of any content: the reader never reads or writes outside its buffers and ends on
// every input; whatever it decodes comes back unchanged through the writer (24 bits, run-length
// encoded, with its alpha mask at 32 bits) and a second read.
//
// Input: the file's bytes (header, image ID, colour map, pixels, optional footer).
#include <atomic>
#include <cstdint>
#include <cstring>

#include "Classes.h"
#include "CodecFuzz.h"
#include "iebitmap.h"
#include "imaging/codecs/ietgafil.h"

namespace {

bool Read(const uint8_t* Data, size_t Size, TIEBitmap& Bitmap, TIEMask*& Alpha) {
    return CodecFuzzRead(Data, Size, [&](TStream& S, TIOProgressRecord& Progress) {
        IEReadTGAStream(S, &Bitmap, CodecFuzzParams(), Progress, false, Alpha, false);
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Keep the images the header asks for small.
    if (size >= 16 && (int64_t)(data[12] | (data[13] << 8)) * (data[14] | (data[15] << 8)) > (1 << 18)) return 0;
    TIEBitmap first;
    TIEMask* alpha = nullptr;
    const bool ok = Read(data, size, first, alpha);
    if (!ok || first.GetWidth() <= 0 || first.GetHeight() <= 0) {
        delete alpha;
        return 0;
    }
    TMemoryStream out;
    TCodecFuzzProgress progress;
    TIOParamsVals& params = CodecFuzzParams();
    params.SamplesPerPixel = first.GetPixelFormat() == ie1g ? 1 : 3;
    params.BitsPerSample = first.GetPixelFormat() == ie1g ? 1 : 8;
    params.TGACompressed = true;
    IEWriteTGAStream(out, &first, params, progress.Record, alpha);
    if (progress.Abort) __builtin_trap();
    TIEBitmap second;
    TIEMask* alpha2 = nullptr;
    if (!Read((const uint8_t*)out.GetMemory(), (size_t)out.GetSize(), second, alpha2)) __builtin_trap();
    if (second.GetWidth() != first.GetWidth() || second.GetHeight() != first.GetHeight()) __builtin_trap();
    if ((alpha == nullptr) != (alpha2 == nullptr)) __builtin_trap();
    for (int32_t y = 0; y < first.GetHeight(); ++y)
        for (int32_t x = 0; x < first.GetWidth(); ++x) {
            const TIERGB a = first.GetPixelAsRGB(x, y), b = second.GetPixelAsRGB(x, y);
            if (a.r != b.r || a.g != b.g || a.b != b.b) __builtin_trap();
            if (alpha && alpha->GetPixel(x, y) != alpha2->GetPixel(x, y)) __builtin_trap();
        }
    delete alpha;
    delete alpha2;
    return 0;
}
