// Animated GIFs of any content through the component's GIF loader: the replay of frames onto the
// logical screen never reads or writes outside a bitmap, whatever positions, sizes and disposal
// methods the file gives, and ends on every input. A load that does not fail leaves an image;
// one of several frames is at least as large as the logical screen.
//
// Input: the file's bytes; the last byte selects the frame (its value modulo 5, 4 meaning -1,
// every frame), bit 3 of it asks for the readers' palette format.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "Classes.h"
#include "CodecFuzz.h"
#include "iebitmap.h"
#include "iemask.h"
#include "imaging/codecs/giffilter.h"
#include "imaging/codecs/giflzw.h"
#include "picturaio.h"

namespace {

// Canvases above this many pixels are skipped: the fuzzer looks for faults of the
// composition, not for the memory limit.
constexpr int64_t kMaxPixels = 1 << 16;

bool SmallEnough(const uint8_t* Data, size_t Size) {
    if (Size < 10) return true;
    // The canvas grows to the widest and the highest of the screen and the frames.
    int64_t width = Data[6] | Data[7] << 8, height = Data[8] | Data[9] << 8;
    if (width * height > kMaxPixels) return false;
    // A read of the parameters alone gives each frame's size.
    for (int32_t index = 0;; ++index) {
        TIEBitmap none;
        TIEMask* mask = nullptr;
        int32_t frames = 0;
        TIOParamsVals& p = CodecFuzzParams();
        p.GIFImageIndex = index;
        p.Width = p.Height = 0;
        CodecFuzzRead(Data, Size, [&](TStream& S, TIOProgressRecord& Progress) {
            IEReadGIFStream(S, &none, frames, p, Progress, true, mask, true);
        });
        delete mask;
        width = std::max<int64_t>(width, p.Width);
        height = std::max<int64_t>(height, p.Height);
        if (width * height > kMaxPixels) return false;
        if (index + 1 >= frames || index >= 64) return frames <= 64;
    }
}

TPicturaIO& Component() {
    static TPicturaIO* io = [] {
        IEGIFLZWDecompressor = IEGIFLZWDecompress;
        return new TPicturaIO(nullptr);
    }();
    return *io;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!SmallEnough(data, size)) return 0;
    const uint8_t last = size ? data[size - 1] : 0;
    TPicturaIO& io = Component();
    io.GetIEBitmap()->FreeImage(true);
    io.GetParams()->SetDefaultParams();
    io.GetParams()->GIFLZWDecompress = IEGIFLZWDecompress;
    io.SetNativePixelFormat((last & 8) != 0);
    io.GetParams()->SetImageIndex(last % 5 == 4 ? -1 : last % 5);
    TMemoryStream stream;
    if (size) stream.WriteBuffer(data, (int32_t)size);
    stream.SetPosition(0);
    const int32_t count = io.LoadFromStreamGIF(&stream);
    TIEBitmap& b = *io.GetIEBitmap();
    if (io.Aborting || count <= 0) return 0;
    if (b.IsEmpty()) __builtin_trap();
    if (count > 1 && (b.GetWidth() < io.GetParams()->GIFWinWidth || b.GetHeight() < io.GetParams()->GIFWinHeight))
        __builtin_trap();
    return 0;
}
