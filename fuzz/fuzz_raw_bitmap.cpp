// Raw pixel import and the metafile probes on any input: the import writes nothing outside the
// bitmap and reads nothing outside the stream, whatever the layout; the probes restore the
// position. Only "Format unsupported" may be raised (hexadecimal text into floats).
//
// Input: width (1 byte), height (1 byte), pixel format (1 byte), row alignment (1 byte), header
// size (1 byte), planar, channel order and data format (1 byte each), then the data.
#include <cstdint>
#include <cstdlib>

#include "CodecFuzz.h"
#include "FuzzInput.h"
#include "bmpfilt_raw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFuzzInput in(data, size);
    const int32_t width = in.U8() % 64 + 1, height = in.U8() % 64 + 1;
    static const TIEPixelFormat formats[] = {ie1g, ie8p, ie8g, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48};
    const TIEPixelFormat format = formats[in.U8() % 8];
    TIOParamsVals params(nullptr);
    params.BMPRAWRowAlign = (int32_t)in.U8() - 8;
    params.BMPRAWHeaderSize = (int32_t)in.U8() - 16;
    params.BMPRAWPlanar = in.U8() % 3;
    params.BMPRAWChannelOrder = in.U8() % 2;
    params.BMPRAWDataFormat = in.U8() % 4;
    TMemoryStream stream;
    FuzzFillStream(stream, in.Rest());
    if (IEIsEMF(stream) && stream.GetPosition() != 0) abort();
    if (IEIsWMF(stream) && stream.GetPosition() != 0) abort();
    if (stream.GetPosition() != 0) abort();

    TIEBitmap bitmap(width, height, format);
    TIOProgressRecord progress;
    try {
        IEReadRawBitmapStream(stream, &bitmap, params, progress);
    } catch (const Exception& e) {
        if (format != ie32f || params.BMPRAWDataFormat != 2 || e.Message() != L"Format unsupported") abort();
    }
    if (bitmap.GetWidth() != width || bitmap.GetHeight() != height || bitmap.GetPixelFormat() != format) abort();
    return 0;
}
