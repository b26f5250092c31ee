// The TIFF reader on any input: it never reads or writes outside its buffers, never loops without
// end (IFD chains that return, strips and tiles beyond the stream), and raises nothing. A page
// read with its header behind a prefix (HeaderAtPosition) gives the same parameters and pixels as
// the page read from the stream's start: every offset is taken from the header.
//
// Input: the file; its last byte doubles as the control byte (bit 0 native pixel format, bit 1 the
// second page, bit 2 ignore alpha), so that plain TIFF files serve as seeds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Classes.h"
#include "CodecFuzz.h"
#include "iebitmap.h"
#include "iemask.h"
#include "imaging/codecs/tiffilt_read.h"
#include "tifccitt.h"
#include "tiflzw.h"

namespace {

[[noreturn]] void Finding(const char* What) {
    std::fprintf(stderr, "fuzz_tiff_read: %s\n", What);
    std::abort();
}

struct TResult {
    TIEBitmap Bitmap;
    TIEMask* Mask = nullptr;
    bool Ok = false;
    int32_t Count = 0;
    int32_t Width = 0, Height = 0;
    ~TResult() { delete Mask; }
};

void Read(const uint8_t* Data, size_t Size, size_t Prefix, uint8_t Control, bool ParamsOnly, TResult& R) {
    TMemoryStream s;
    if (Prefix) s.WriteBuffer(std::string(Prefix, '\x55').data(), (int32_t)Prefix);
    if (Size) s.WriteBuffer(Data, (int32_t)Size);
    s.SetPosition((int64_t)Prefix);
    // A parameter set of its own for each read: the property compares two reads, and values a
    // first read leaves in a shared set (palettes, profiles, thumbnails) must not reach the second.
    TIOParamsVals params(nullptr);
    params.NativePixelFormat = (Control & 1) != 0;
    params.TIFFImageIndex = (Control & 2) ? 1 : 0;
    params.TIFFLZWDecompress = IETIFFLZWDecompress;
    TCodecFuzzProgress progress;
    IEReadTIFFStream(&R.Bitmap, &s, R.Count, params, progress.Record, ParamsOnly, R.Mask, Prefix != 0,
                     (Control & 4) != 0, false, false);
    R.Ok = !progress.Abort;
    R.Width = params.Width;
    R.Height = params.Height;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = false;
    if (!started) {
        IEInitializeCCITT();
        started = true;
    }
    if (size < 1) return 0;
    const uint8_t control = data[size - 1];
    {
        // Pages the harness would spend its time allocating are left out.
        TResult probe;
        Read(data, size, 0, control, true, probe);
        if (int64_t(probe.Width) * probe.Height > (1 << 20)) return 0;
    }
    TResult a, b;
    Read(data, size, 0, control, false, a);
    Read(data, size, 5, control, false, b);
    if (a.Ok != b.Ok || a.Count != b.Count || a.Width != b.Width || a.Height != b.Height)
        Finding("the header's position changed the result");
    if (a.Ok && !FuzzSamePixels(a.Bitmap, b.Bitmap)) Finding("the header's position changed the pixels");
    return 0;
}
