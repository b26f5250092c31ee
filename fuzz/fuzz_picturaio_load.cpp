// The I/O component's stream loaders that read more than their codec does: the JPEG, PCX and
// TIFF loaders with and without the 12-byte stream header, and the PSD loader with the placement
// of a single layer's transparency. On any input every load ends with exactly one finish
// notification, the stream is left inside its data, and a successful load leaves an alpha
// channel of the image's own size (or none).
//
// Input: a control byte (bits 0-1: JPEG, PCX, TIFF or PSD; bit 2: StreamHeaders; bit 3: the
// bitmap has an alpha channel before the load; bit 4: NativePixelFormat), then the stream.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "CodecFuzz.h"
#include "iebitmap.h"
#include "iepsd.h"
#include "jpegfilt.h"
#include "pcxfilter.h"
#include "picturaio.h"
#include "tiffilt_read.h"

namespace {

void Fail(const char* What) {
    fprintf(stderr, "%s\n", What);
    abort();
}

constexpr int64_t kMaxPixels = 1 << 18;

// The image a codec's header asks for, read without pixels from Offset on; false when it is too
// large to fuzz quickly (a failed read asks for nothing).
bool SmallAt(const uint8_t* Data, size_t Size, size_t Offset, int Kind) {
    if (Offset >= Size) return true;
    TIOParamsVals& params = CodecFuzzParams();
    TIEBitmap unused;
    CodecFuzzRead(Data + Offset, Size - Offset, [&](TStream& S, TIOProgressRecord& Progress) {
        switch (Kind) {
            case 0:
                IEReadJPEGStream(&S, nullptr, &unused, params, Progress, true, false, false, false, false, false, -1,
                                 false);
                break;
            case 1: IEReadPCXStream(S, &unused, params, (int32_t)(Size - Offset), Progress, true); break;
            case 2: {
                int32_t pages = 0;
                TIEMask* mask = nullptr;
                IEReadTIFFStream(&unused, &S, pages, params, Progress, true, mask, true, true, false, false);
                delete mask;
                break;
            }
            default: IEReadPSDStream(&S, &unused, params, Progress, false, nullptr); break;
        }
    });
    const int64_t w = params.Width, h = params.Height;
    return w >= 0 && h >= 0 && w <= kMaxPixels && h <= kMaxPixels && w * h <= kMaxPixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t control = data[0];
    ++data;
    --size;
    const int kind = control & 3;
    // The image may start at 0, behind the old 4-byte PCX header or behind a 12-byte header.
    for (size_t offset : {0, 4, 12})
        if (!SmallAt(data, size, offset, kind)) return 0;
    // A TIFF behind a stream header counts its offsets from the start of the stream.
    if (kind == 2 && size > 12) {
        TIOParamsVals& params = CodecFuzzParams();
        TIEBitmap unused;
        CodecFuzzRead(data, size, [&](TStream& S, TIOProgressRecord& Progress) {
            S.SetPosition(12);
            int32_t pages = 0;
            TIEMask* mask = nullptr;
            IEReadTIFFStream(&unused, &S, pages, params, Progress, true, mask, false, true, false, false);
            delete mask;
        });
        if ((int64_t)params.Width * params.Height > kMaxPixels) return 0;
    }

    static TPicturaIO& io = *new TPicturaIO(nullptr);
    io.Params->SetDefaultParams();
    io.StreamHeaders = (control & 4) != 0;
    io.Params->NativePixelFormat = (control & 16) != 0;
    TIEBitmap* bitmap = io.GetIEBitmap();
    bitmap->Allocate(2, 2, ie24RGB);
    if (control & 8) bitmap->GetAlphaChannel()->Fill(9);
    int finished = 0;
    io.OnFinishWork = [&](TObject*) { ++finished; };

    TMemoryStream stream;
    FuzzFillStream(stream, std::string((const char*)data, size));
    switch (kind) {
        case 0: io.LoadFromStreamJPEG(&stream); break;
        case 1: io.LoadFromStreamPCX(&stream); break;
        case 2: io.LoadFromStreamTIFF(&stream); break;
        default: io.LoadFromStreamPSD(&stream); break;
    }
    io.OnFinishWork = nullptr;
    if (finished != 1) Fail("a load did not finish exactly once");
    const int64_t position = stream.GetPosition();
    if (position < 0 || position > stream.GetSize()) Fail("the stream was left outside its data");
    if (!io.Aborting && bitmap->HasAlphaChannel() &&
        (bitmap->GetAlphaChannel()->GetWidth() != bitmap->GetWidth() ||
         bitmap->GetAlphaChannel()->GetHeight() != bitmap->GetHeight()))
        Fail("the alpha channel does not fit the image");
    return 0;
}
