// PNG files of any content through the glue over libpng: the reader ends on every input without
// a fault, and whatever it decodes comes back with the same pixels through the writer (RGB, and
// RGBA when the image has alpha) and a second read.
//
// Input: the file's bytes.
#include <cstdint>
#include <cstring>

#include "CodecFuzz.h"
#include "FuzzInput.h"
#include "iebitmap.h"
#include "iemask.h"
#include "imaging/codecs/pngfilt.h"
#include "imaging/codecs/pngfiltw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!FuzzSmallPNGImages(data, size)) return 0;
    TIEBitmap first;
    const bool ok = CodecFuzzRead(data, size, [&](TStream& S, TIOProgressRecord& Progress) {
        IEReadPNGStream(S, &first, CodecFuzzParams(), Progress, false);
    });
    if (!ok || first.GetWidth() <= 0 || first.GetHeight() <= 0) return 0;
    const TIEPixelFormat pf = first.GetPixelFormat();
    if (pf != ie1g && pf != ie24RGB) FuzzFinding("a format the reader does not give without NativePixelFormat");

    // Back through the writer, with the alpha channel as the mask.
    TIEMask mask;
    const bool alpha = first.HasAlphaChannel();
    if (alpha) {
        mask.Allocate(first.GetWidth(), first.GetHeight(), 8);
        for (int32_t y = 0; y < first.GetHeight(); ++y)
            std::memcpy(mask.GetScanline(y), first.GetAlphaChannel()->GetScanline(y), (size_t)first.GetWidth());
        mask.Full = false;
    }
    TMemoryStream out;
    TCodecFuzzProgress progress;
    TIOParamsVals& params = CodecFuzzParams();
    params.SamplesPerPixel = pf == ie1g ? 1 : 3;
    params.BitsPerSample = pf == ie1g ? 1 : 8;
    IEWritePNGStream(out, &first, params, progress.Record, alpha ? &mask : nullptr);
    if (progress.Abort) FuzzFinding("the writer aborted on a memory stream");
    TIEBitmap second;
    const bool again = CodecFuzzRead((const uint8_t*)out.GetMemory(), (size_t)out.GetSize(),
                                     [&](TStream& S, TIOProgressRecord& Progress) {
                                         IEReadPNGStream(S, &second, CodecFuzzParams(), Progress, false);
                                     });
    if (!again) FuzzFinding("our own file was refused");
    if (!FuzzSamePixels(first, second)) FuzzFinding("pixels changed through the writer");
    if (alpha) {
        if (!second.HasAlphaChannel()) FuzzFinding("the alpha channel was lost");
        for (int32_t y = 0; y < first.GetHeight(); ++y)
            if (std::memcmp(first.GetAlphaChannel()->GetScanline(y), second.GetAlphaChannel()->GetScanline(y),
                            (size_t)first.GetWidth()) != 0)
                FuzzFinding("alpha changed through the writer");
    }
    return 0;
}
