// PSD documents of any content: the reader never reads or writes outside its buffers and ends on
// every input, with and without layers; what it decodes comes back unchanged through the writer
// and a second read.
//
// Input: the document's bytes (header, colour mode data, resources, layers, composite).
#include <cstdint>

#include "Classes.h"
#include "CodecFuzz.h"
#include "iebitmap.h"
#include "imaging/codecs/iepsd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Keep the images the header asks for small.
    if (size >= 26) {
        const int64_t h = (int64_t)data[14] << 24 | data[15] << 16 | data[16] << 8 | data[17];
        const int64_t w = (int64_t)data[18] << 24 | data[19] << 16 | data[20] << 8 | data[21];
        if (w > (1 << 18) || h > (1 << 18) || w * h > (1 << 18)) return 0;
    }
    TIEBitmap first;
    TIEPSDLayerList layers;
    TIOParamsVals& params = CodecFuzzParams();
    params.NativePixelFormat = (size & 2) == 0;
    const bool ok = CodecFuzzRead(data, size, [&](TStream& S, TIOProgressRecord& Progress) {
        IEReadPSDStream(&S, &first, params, Progress, (size & 1) != 0, &layers);
    });
    if (!ok || first.IsEmpty()) return 0;
    TMemoryStream out;
    TCodecFuzzProgress progress;
    TIOParamsVals& writeParams = CodecFuzzParams();
    IEWritePSDStream(&out, writeParams, progress.Record, &first, nullptr);
    if (progress.Abort) __builtin_trap();
    TIEBitmap second;
    TIOParamsVals& readParams = CodecFuzzParams();
    readParams.NativePixelFormat = true;
    if (!CodecFuzzRead((const uint8_t*)out.GetMemory(), (size_t)out.GetSize(), [&](TStream& S, TIOProgressRecord& P) {
            IEReadPSDStream(&S, &second, readParams, P, false, nullptr);
        }))
        __builtin_trap();
    if (!FuzzSamePixels(first, second)) __builtin_trap();
    return 0;
}
