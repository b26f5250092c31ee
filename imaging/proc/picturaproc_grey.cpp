#include "picturaproc_grey.h"

#include <algorithm>
#include <vector>

#include "iequantizer.h"

void IEConvertToGrayRect(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                         const TIEProgressEvent& OnProgress, TObject* Sender) {
    if (Bitmap->GetPixelFormat() != ie24RGB || Bitmap->IsEmpty()) return;
    // A rectangle reaching outside the image is cut on every side, so no pixel outside the rows
    // is touched whatever the caller passes.
    X1 = std::max(X1, 0);
    Y1 = std::max(Y1, 0);
    X2 = std::min(X2, Bitmap->GetWidth());
    Y2 = std::min(Y2, Bitmap->GetHeight());
    if (Y2 - 1 < Y1) return;
    const int32_t wr = IEGrayRedWeight, wg = IEGrayGreenWeight, wb = IEGrayBlueWeight;
    const double perRow = 100 / (Y2 - 1 - Y1 + 0.5);
    for (int32_t y = Y1; y < Y2; ++y) {
        TIERGB* px = (TIERGB*)Bitmap->GetScanline(y);
        for (int32_t x = X1; x < X2; ++x) {
            TIERGB& c = px[x];
            const uint8_t g = (uint8_t)((c.r * wr + c.g * wg + c.b * wb) / 100);
            c.r = c.g = c.b = g;
        }
        // The last rows come out above 100 by the formula; a progress bar gets at most 100.
        if (OnProgress) OnProgress(Sender, std::min((int32_t)((y - Y1 + 1) * perRow), 100));
    }
    Bitmap->ReleaseRowBuffers();
}

void IEQuantizeBitmap(TIEBitmap* Bitmap, int32_t Count, TIERGB* Palette, const TIEProgressEvent& OnProgress,
                      TObject* Sender) {
    if (Bitmap->GetPixelFormat() != ie24RGB || Bitmap->IsEmpty() || Count < 1) return;
    std::vector<TIERGB> own;
    if (!Palette) {
        own.assign((size_t)Count, TIERGB{0, 0, 0});
        Palette = own.data();
    }
    const TIEQuantizer quantizer(Bitmap, Palette, 0x7FFFFFF, Count);
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    for (int32_t y = 0; y < h; ++y) {
        TIERGB* px = (TIERGB*)Bitmap->GetScanline(y);
        for (int32_t x = 0; x < w; ++x) px[x] = Palette[quantizer.RGBIndex(px[x])];
        if (OnProgress) OnProgress(Sender, (int32_t)(100 / (h + 0.5) * (y + 1)));
    }
    Bitmap->ReleaseRowBuffers();
}
