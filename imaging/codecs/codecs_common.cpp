#include "codecs_common.h"

#include <algorithm>
#include <cstring>

#include "iebitmap.h"
#include "iecoreutils_general.h"
#include "tifccitt.h"

uint8_t IEGreyOf(uint8_t R, uint8_t G, uint8_t B) {
    return (uint8_t)IEClampByte(IERGBToGray(TIERGB{B, G, R}));
}

std::unique_ptr<TIEBitmap> IEMake1BitByThreshold(TIEBitmap* Bitmap, int32_t Width, int32_t Height) {
    auto out = std::make_unique<TIEBitmap>(Width, Height, ie1g);
    const int32_t w = std::min(Width, Bitmap->GetWidth()), h = std::min(Height, Bitmap->GetHeight());
    for (int32_t y = 0; y < Height; ++y) {
        uint8_t* row = out->GetScanline(y);
        std::memset(row, 0, (size_t)(Width + 7) / 8);
        if (y >= h) continue;
        for (int32_t x = 0; x < w; ++x) {
            const TIERGB c = Bitmap->GetPixelAsRGB(x, y);
            if (IEGreyOf(c.r, c.g, c.b) >= 128) row[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
        }
    }
    return out;
}

void IEClearRowsFrom(TIEBitmap* Bitmap, int32_t FirstRow, uint8_t Value) {
    const int32_t rowLen = Bitmap->GetRowLen();
    for (int32_t y = std::max(FirstRow, 0); y < Bitmap->GetHeight(); ++y)
        std::memset(Bitmap->GetScanline(y), Value, (size_t)rowLen);
}

bool IEImageSizeAccepted(int64_t Width, int64_t Height, TIOProgressRecord& Progress, double Available,
                         double MinBytes) {
    const bool fits = IEImageSizeAllowed(Width, Height) && Available >= MinBytes;
    if (!fits) IEAbort(Progress);
    return fits;
}

bool IEImageSizeAccepted(int64_t Width, int64_t Height, TIOProgressRecord& Progress, TStream* Stream,
                         double MinBytes) {
    const double available = Stream && MinBytes > 0 ? (double)(Stream->GetSize() - Stream->GetPosition()) : MinBytes;
    return IEImageSizeAccepted(Width, Height, Progress, available, MinBytes);
}

void IESetDepthParams(TIOParamsVals& IOParams, int32_t Depth) {
    switch (Depth) {
    case 1: case 4: case 8: IOParams.BitsPerSample = Depth; IOParams.SamplesPerPixel = 1; break;
    case 16: IOParams.BitsPerSample = 5; IOParams.SamplesPerPixel = 3; break;
    case 24: IOParams.BitsPerSample = 8; IOParams.SamplesPerPixel = 3; break;
    case 32: IOParams.BitsPerSample = 8; IOParams.SamplesPerPixel = 4; break;
    default: break;
    }
}

TIEBitmap* IEBilevelOrRGB(TIEBitmap* Bitmap, std::unique_ptr<TIEBitmap>& Temp) {
    const TIEPixelFormat f = Bitmap->GetPixelFormat();
    if (f == ie1g || f == ie24RGB) return Bitmap;
    Temp = std::make_unique<TIEBitmap>(Bitmap);
    Temp->ConvertPixelFormat(ie24RGB);
    return Temp.get();
}

std::vector<uint8_t> IECCITTEncodeBitmap(TIEBitmap* Bitmap, bool Group4) {
    TMemoryStream coded;
    uint8_t pending = 0;
    int32_t pendingBits = 0;
    std::vector<uint8_t> ref;
    bool aborting = false;
    const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
    for (int32_t y = 0; y <= height; ++y) {
        const uint8_t* row = y < height ? Bitmap->GetScanline(y) : nullptr;   // null ends the strip
        if (Group4)
            IECCITTEncodeG4Row(row, width, &coded, pending, pendingBits, ref, aborting, 1);
        else
            IECCITTEncodeG32DRow(row, width, &coded, pending, pendingBits, ref, aborting, 1);
    }
    std::vector<uint8_t> data((size_t)coded.GetSize());
    if (!data.empty()) std::memcpy(data.data(), coded.GetMemory(), data.size());
    data.resize((data.size() + 3) / 4 * 4, 0);
    return data;
}
