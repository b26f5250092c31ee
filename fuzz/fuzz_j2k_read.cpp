// JP2 files and code streams of any content through the JPEG 2000 glue: it never reads or writes
// outside its buffers and ends on every input; whatever it decodes comes back unchanged through
// the writer (lossless code stream) and a second read.
//
// Input: the file's bytes.
#include <cstdint>

#include "CodecFuzz.h"
#include "J2KFuzz.h"
#include "iebitmap.h"
#include "imaging/codecs/iej2000.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (J2KFuzzTooLarge(data, size)) return 0;
    static bool started = (IEInitializeJ2000(), true);
    (void)started;
    TIEBitmap first;
    const bool ok = CodecFuzzRead(data, size, [&](TStream& S, TIOProgressRecord& Progress) {
        IEReadJ2000Stream(&S, &first, CodecFuzzParams(), Progress, false);
    });
    if (!ok || first.IsEmpty()) return 0;
    TMemoryStream out;
    TCodecFuzzProgress progress;
    TIOParamsVals& params = CodecFuzzParams();
    params.BitsPerSample = first.GetPixelFormat() == ie1g ? 1 : 8;
    IEWriteJ2000Stream(&out, &first, params, progress.Record, 1);
    if (progress.Abort) __builtin_trap();
    TIEBitmap second;
    if (!CodecFuzzRead((const uint8_t*)out.GetMemory(), (size_t)out.GetSize(), [&](TStream& S, TIOProgressRecord& P) {
            IEReadJ2000Stream(&S, &second, CodecFuzzParams(), P, false);
        }))
        __builtin_trap();
    if (!FuzzSamePixels(first, second)) __builtin_trap();
    return 0;
}
