// The PNM and WBMP readers on any input: they read nothing outside the stream and end; what they
// decode comes back unchanged through the matching writer and a second read.
//
// Input: a control byte (bit 0: WBMP instead of PNM; bit 1: NativePixelFormat), then the file.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "CodecFuzz.h"
#include "FuzzInput.h"
#include "bmpfilt_pnm.h"

namespace {

void Read(bool Wbmp, TStream& S, TIEBitmap& B, TIOParamsVals& P, TIOProgressRecord& R, bool ParamsOnly) {
    if (Wbmp)
        IEReadWBMPStream(S, &B, P, R, ParamsOnly);
    else
        IEReadPNMStream(S, &B, P, R, ParamsOnly);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const uint8_t control = in.U8();
    const bool wbmp = control & 1;
    TMemoryStream stream;
    FuzzFillStream(stream, in.Rest());
    if (!wbmp) IEIsPNM(stream);
    if (stream.GetPosition() != 0) abort();

    TIOParamsVals params(nullptr);
    params.NativePixelFormat = control & 2;
    std::atomic<bool> aborting{false};
    TIOProgressRecord progress;
    progress.Aborting = &aborting;
    TIEBitmap bitmap;
    Read(wbmp, stream, bitmap, params, progress, true);
    // Sizes a file may claim beyond what the stream could fill are still allocated by design:
    // the full read is tried only for images of at most a few megabytes.
    if (aborting || (int64_t)params.Width * params.Height > (1 << 20)) return 0;
    stream.SetPosition(0);
    Read(wbmp, stream, bitmap, params, progress, false);
    if (aborting) return 0;
    if (bitmap.GetWidth() != params.Width || bitmap.GetHeight() != params.Height) abort();
    if (bitmap.GetPixelFormat() == ie16g) return 0;   // the front end converts it before writing

    TMemoryStream written;
    TIOProgressRecord progress2;
    std::atomic<bool> aborting2{false};
    progress2.Aborting = &aborting2;
    TIEBitmap again;
    TIOParamsVals params2(nullptr);
    params2.NativePixelFormat = true;
    if (wbmp) {
        IEWriteWBMPStream(written, &bitmap, progress2);
    } else {
        // The writer picks the form by the parameters of the load.
        if (bitmap.GetPixelFormat() == ie24RGB) params.BitsPerSample = 8, params.SamplesPerPixel = 3;
        IEWritePNMStream(written, &bitmap, params, progress2);
    }
    written.SetPosition(0);
    Read(wbmp, written, again, params2, progress2, false);
    if (aborting2 || !FuzzSamePixels(bitmap, again)) {
        fprintf(stderr, "round trip changed the image\n");
        abort();
    }
    return 0;
}
