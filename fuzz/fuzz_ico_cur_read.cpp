// Icon and cursor files of any content: the readers end on every input without a fault, every
// decoded image has the size the parameters report and a mask of that size, and the probes leave
// the position where they found it.
//
// Input: one byte of options (bit 0 cursor, bit 1 resource layout, bit 2 NativePixelFormat, bit 3
// IgnoreAlpha, bits 4..7 the image index), then the file's bytes.
#include <cstdint>
#include <cstring>

#include "CodecFuzz.h"
#include "FuzzInput.h"
#include "SysUtils.h"
#include "iebitmap.h"
#include "iemask.h"
#include "imaging/codecs/bmpfilt_ico.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || !FuzzSmallPNGImages(data, size)) return 0;
    const uint8_t options = data[0];
    TMemoryStream s;
    FuzzFillStream(s, std::string((const char*)data + 1, size - 1));
    IEIsICO(s);
    IEIsCUR(s);
    if (s.GetPosition() != 0) FuzzFinding("a probe moved the stream position");

    TIOParamsVals& params = CodecFuzzParams();
    params.IsResource = options & 2;
    params.NativePixelFormat = options & 4;
    params.SetImageIndex(options >> 4);
    const bool ignoreAlpha = options & 8;
    TIEBitmap bitmap;
    TIEMask* mask = nullptr;
    TCodecFuzzProgress progress;
    try {
        if (options & 1)
            IEReadCURStream(s, &bitmap, params, false, progress.Record, mask, ignoreAlpha);
        else
            IEReadICOStream(s, &bitmap, params, false, progress.Record, mask, ignoreAlpha);
    } catch (const Exception&) {
        // "Unsupported pixel format" of NativePixelFormat.
    }
    if (!progress.Abort && bitmap.GetWidth() > 0) {
        if (bitmap.GetWidth() != params.Width || bitmap.GetHeight() != params.Height)
            FuzzFinding("the bitmap and the parameters disagree on the size");
        if (mask && (mask->Width != bitmap.GetWidth() || mask->Height != bitmap.GetHeight()))
            FuzzFinding("the mask has another size than the image");
        if (mask && ignoreAlpha) FuzzFinding("a mask although IgnoreAlpha");
    }
    delete mask;
    mask = nullptr;

    // An image of icon size comes back unchanged through the writer at its own size and depth.
    const TIEPixelFormat pf = bitmap.GetPixelFormat();
    if (progress.Abort || bitmap.GetWidth() <= 0 || bitmap.GetWidth() > 256 || bitmap.GetHeight() > 256 ||
        (pf != ie1g && pf != ie24RGB))
        return 0;
    bitmap.RemoveAlphaChannel();
    const TIEIcoSize sizes[1] = {{bitmap.GetWidth(), bitmap.GetHeight()}};
    const int32_t bits[1] = {pf == ie1g ? 1 : 24};
    TMemoryStream out;
    TCodecFuzzProgress written;
    IEWriteICOStream(out, &bitmap, CodecFuzzParams(), written.Record, sizes, bits, 1);
    if (written.Abort) FuzzFinding("the icon writer aborted on a memory stream");
    out.SetPosition(0);
    TIEBitmap again;
    TCodecFuzzProgress reread;
    IEReadICOStream(out, &again, CodecFuzzParams(), false, reread.Record, mask, true);
    if (reread.Abort) FuzzFinding("our own icon was refused");
    if (!FuzzSamePixels(bitmap, again)) FuzzFinding("pixels changed through the icon writer");
    delete mask;
    return 0;
}
