// DICOM data sets of any content: the reader never reads or writes outside its buffers, ends on
// every input, keeps the frame index within the frame count, and whatever it decodes has the
// size the parameters report.
//
// Input: the file's bytes (with or without preamble).
#include <cstdint>

#include "CodecFuzz.h"
#include "J2KFuzz.h"
#include "iebitmap.h"
#include "imaging/codecs/iedicom.h"
#include "imaging/codecs/iej2000.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (J2KFuzzTooLarge(data, size)) return 0;
    static bool started = (IEInitializeJ2000(), true);
    (void)started;
    TIEBitmap bitmap;
    TIOParamsVals& params = CodecFuzzParams();
    params.SetImageIndex(size ? data[size - 1] % 4 : 0);
    CodecFuzzRead(data, size, [&](TStream& S, TIOProgressRecord& Progress) {
        IEReadDICOMStream(&S, params, &bitmap, Progress, false);
    });
    if (params.ImageCount > 0 && params.ImageIndex >= params.ImageCount) __builtin_trap();
    if (!bitmap.IsEmpty() && (bitmap.GetWidth() != params.Width || bitmap.GetHeight() != params.Height)) {
        // Codec-decoded frames take their size from their own stream; native ones from the attributes.
        if (bitmap.GetWidth() <= 0 || bitmap.GetHeight() <= 0) __builtin_trap();
    }
    return 0;
}
