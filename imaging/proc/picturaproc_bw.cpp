#include "picturaproc_bw.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "picturaproc_histogram.h"
#include "picturaproc_pixels.h"
#include "picturaproc_rows.h"

namespace {

inline int32_t GreyOf(const TIERGB& C) {
    return (C.r * IEGrayRedWeight + C.g * IEGrayGreenWeight + C.b * IEGrayBlueWeight) / 100;
}

// Progress Trunc(100 / (H + 0.5) x (Row + 1)) when assigned.
void ReportRow(const TIEProgressEvent& OnProgress, TObject* Sender, int32_t Height, int32_t Row) {
    if (OnProgress) OnProgress(Sender, (int32_t)(100.0 / (Height + 0.5) * (Row + 1)));
}

const uint8_t kBayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},   {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21}};



}  // namespace

void IEConvertToBWOrdered(TIEBitmap* Bitmap, const TIEProgressEvent& OnProgress, TObject* Sender) {
    if (Bitmap->GetPixelFormat() != ie24RGB || Bitmap->IsEmpty()) return;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    TIEBitmap bw(w, h, ie1g);
    if (bw.IsEmpty()) return;
    for (int32_t y = 0; y < h; ++y) {
        const TIERGB* px = (const TIERGB*)Bitmap->GetScanline(y);
        uint8_t* out = bw.GetScanline(y);
        std::memset(out, 0, (size_t)bw.GetRowLen());
        for (int32_t x = 0; x < w; ++x) {
            const TIERGB& c = px[x];
            const int32_t t = (c.r > 250 && c.g > 250 && c.b > 250) ? 64 : GreyOf(c) >> 2;
            if (t > kBayer[x & 7][y & 7]) out[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
        }
        ReportRow(OnProgress, Sender, h, y);
    }
    Bitmap->ReleaseRowBuffers();
    IETakeImage(Bitmap, &bw);
}

void IEConvertToBWThreshold(TIEBitmap* Bitmap, int32_t Threshold, const TIEProgressEvent& OnProgress,
                            TObject* Sender) {
    if (Bitmap->GetPixelFormat() != ie24RGB || Bitmap->IsEmpty()) return;
    TIEBitmap bw(Bitmap->GetWidth(), Bitmap->GetHeight(), ie1g);
    if (bw.IsEmpty()) return;
    TIOProgressRecord progress;
    progress.OnProgress = OnProgress;
    progress.Sender = Sender;
    IEThresholdTo1Bit(Bitmap, &bw, Threshold, progress);
    IETakeImage(Bitmap, &bw);
}

std::unique_ptr<TIEBitmap> IEConvertTo1BitIfTwoColors(TIEBitmap* Bitmap, TIERGB& Color0, TIERGB& Color1) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    auto bw = std::make_unique<TIEBitmap>(w, h, ie1g);
    if (Bitmap->IsEmpty() || bw->IsEmpty()) return nullptr;
    auto key = [](const TIERGB& c) { return (uint32_t)c.r << 16 | (uint32_t)c.g << 8 | c.b; };
    uint32_t keys[2] = {0, 0};
    int32_t colours = 0;   // distinct colours seen, counted up to three
    for (int32_t y = 0; y < h && colours <= 2; ++y) {
        uint8_t* out = bw->GetScanline(y);
        std::memset(out, 0, (size_t)bw->GetRowLen());
        for (int32_t x = 0; x < w; ++x) {
            const TIERGB c = Bitmap->GetPixelAsRGB(x, y);
            const uint32_t k = key(c);
            const bool known = (colours > 0 && keys[0] == k) || (colours > 1 && keys[1] == k);
            if (!known) {
                if (colours == 0) Color0 = c;
                else Color1 = c;
                if (colours < 2) keys[colours] = k;
                if (colours < 3) ++colours;
            }
            if (k != key(Color0)) out[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
        }
    }
    Bitmap->ReleaseRowBuffers();
    if (colours != 2) return nullptr;
    auto level = [](const TIERGB& c) {
        const int32_t g = c.r * IEGrayRedWeight + c.g * IEGrayGreenWeight + c.b * IEGrayBlueWeight;
        return (uint8_t)(int32_t)std::nearbyint(g / 100.0);
    };
    if (level(Color1) < level(Color0)) {
        IENotBitmap(bw.get());
        std::swap(Color0, Color1);
    }
    return bw;
}

int32_t IENearestPaletteColor(const TIERGB* Palette, int32_t Count, const TIERGB& Color) {
    int32_t best = 1000, index = 0;
    for (int32_t i = 0; i < Count; ++i) {
        const int32_t d = std::abs(Color.r - Palette[i].r) + std::abs(Color.g - Palette[i].g) +
                          std::abs(Color.b - Palette[i].b);
        if (d < best) {
            best = d;
            index = i;
        }
    }
    return index;
}

void IEAverageColor(TIEBitmap* Bitmap, int32_t& R, int32_t& G, int32_t& B) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    R = G = B = 0;
    if (w <= 0 || h <= 0) return;
    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    auto scale16 = [](uint32_t v) { return (int64_t)(v * 255 / 65535); };
    int64_t tr = 0, tg = 0, tb = 0;
    try {
        for (int32_t y = 0; y < h; ++y) {
            int64_t sr = 0, sg = 0, sb = 0;
            for (int32_t x = 0; x < w; ++x) {
                int64_t r, g, b;
                switch (format) {
                case ie16g: r = g = b = scale16(Bitmap->GetPixelWord(x, y)); break;
                case ieRGB48: {
                    uint16_t r16, g16, b16;
                    Bitmap->GetPixelRGB48(x, y, r16, g16, b16);
                    r = scale16(r16), g = scale16(g16), b = scale16(b16);
                    break;
                }
                case ie32RGB: {
                    const uint8_t* p = Bitmap->GetScanline(y) + (size_t)x * 4;
                    b = p[0], g = p[1], r = p[2];
                    break;
                }
                case ieNoFormat:
                case ieVirtual: r = g = b = 0; break;
                default: {
                    const TIERGB c = Bitmap->GetPixelAsRGB(x, y);
                    r = c.r, g = c.g, b = c.b;
                    break;
                }
                }
                sr += r, sg += g, sb += b;
            }
            tr += sr / w, tg += sg / w, tb += sb / w;
        }
        Bitmap->ReleaseRowBuffers();
        R = (int32_t)(tr / h), G = (int32_t)(tg / h), B = (int32_t)(tb / h);
    } catch (const Exception&) {
        Bitmap->ReleaseRowBuffers();
        R = G = B = 128;
    }
}
