// GIF files of any content: the reader never reads or writes outside its buffers and ends on
// every input; whatever frame it decodes comes back unchanged through the writer (black and white
// as 1 bit, colour as 8 bits, the transparency mask as the alpha channel) and a second read,
// whenever the frame's colours fit the written palette.
//
// Input: the file's bytes; the last byte modulo 3 selects the frame, bit 2 of it interlaces the
// written file.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <set>

#include "Classes.h"
#include "CodecFuzz.h"
#include "iebitmap.h"
#include "iemask.h"
#include "imaging/codecs/giffilter.h"
#include "imaging/codecs/giflzw.h"

namespace {

TIOParamsVals& GifParams(int32_t Index) {
    TIOParamsVals& p = CodecFuzzParams();
    p.GIFLZWDecompress = IEGIFLZWDecompress;
    p.GIFLZWCompress = IEGIFLZWCompress;
    p.GIFImageIndex = Index;
    return p;
}

bool Read(const uint8_t* Data, size_t Size, int32_t Index, TIEBitmap& Bitmap, TIEMask*& Mask, bool Preview) {
    return CodecFuzzRead(Data, Size, [&](TStream& S, TIOProgressRecord& Progress) {
        int32_t frames = 0;
        IEReadGIFStream(S, &Bitmap, frames, GifParams(Index), Progress, Preview, Mask, Preview);
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t last = size ? data[size - 1] : 0;
    const int32_t index = last % 3;
    // Keep the frames small: the parameters-only read gives the selected frame's size.
    {
        TIEBitmap none;
        TIEMask* mask = nullptr;
        Read(data, size, index, none, mask, true);
        const TIOParamsVals& p = CodecFuzzParams();
        if ((int64_t)p.Width * p.Height > (1 << 16)) return 0;
    }
    TIEBitmap first;
    TIEMask* mask = nullptr;
    const bool ok = Read(data, size, index, first, mask, false);
    const int32_t w = first.GetWidth(), h = first.GetHeight();
    if (!ok || w <= 0 || h <= 0) {
        delete mask;
        return 0;
    }
    const bool bilevel = first.GetPixelFormat() == ie1g;
    if (mask) {
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) first.SetAlpha(x, y, (uint8_t)mask->GetPixel(x, y));
    }
    // A colour frame comes back exactly when its colours fit the palette (one entry goes to
    // transparency). A grey frame with transparency is written with an even ramp of 255 greys,
    // which moves some levels by one: it is compared within that.
    std::set<uint32_t> colours;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const TIERGB c = first.GetPixelAsRGB(x, y);
            colours.insert((uint32_t)c.r << 16 | (uint32_t)c.g << 8 | c.b);
        }
    const bool exact = bilevel || colours.size() <= (mask ? 255u : 256u);
    const int32_t tolerance = !bilevel && mask && first.IsGrayScale() ? 1 : 0;

    TMemoryStream out;
    TCodecFuzzProgress progress;
    TIOParamsVals& params = GifParams(0);
    params.BitsPerSample = bilevel ? 1 : 8;
    params.GIFInterlaced = (last & 4) != 0;
    IEWriteGIFStream(out, &first, params, progress.Record);
    if (progress.Abort) __builtin_trap();
    TIEBitmap second;
    TIEMask* mask2 = nullptr;
    if (!Read((const uint8_t*)out.GetMemory(), (size_t)out.GetSize(), 0, second, mask2, false)) __builtin_trap();
    if (second.GetWidth() != w || second.GetHeight() != h) __builtin_trap();
    if ((mask == nullptr) != (mask2 == nullptr)) __builtin_trap();
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            if (mask && mask->GetPixel(x, y) != mask2->GetPixel(x, y)) __builtin_trap();
            if (!exact || (mask && mask->GetPixel(x, y) == 0)) continue;
            const TIERGB a = first.GetPixelAsRGB(x, y), b = second.GetPixelAsRGB(x, y);
            if (std::abs(a.r - b.r) > tolerance || std::abs(a.g - b.g) > tolerance || std::abs(a.b - b.b) > tolerance)
                __builtin_trap();
        }
    delete mask;
    delete mask2;
    return 0;
}
