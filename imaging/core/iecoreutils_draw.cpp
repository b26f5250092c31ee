// The platform-neutral drawing helpers of the views and dialogs (iecoreutils_draw.h).
#include "iecoreutils_draw.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "iebitmap.h"
#include "ieprochooks.h"

void IEBellCurve(int32_t Count, int32_t Low, int32_t High, double S, std::vector<double>& Values) {
    Values.assign((size_t)std::max(Count, 0), 0.0);
    if (Count <= 0) return;
    // The constant factor of the normal density cancels in the scaling; kept for its shape.
    const double k = 1.0 / std::sqrt(2 * 3.14159265358979323846);
    double peak = 0;
    for (int32_t i = 0; i < Count; ++i) {
        const double x = 2.0 * i / Count - 1;
        Values[i] = k * std::exp(-S * S * x * x / 2);
        peak = std::max(peak, Values[i]);
    }
    for (double& v : Values) v = (peak > 0 ? v / peak : 0) * (High - Low) + Low;
}

void IEFillStripes(TIEBitmap* Bitmap) {
    if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB) return;
    std::vector<double> levels;
    IEBellCurve(4, 130, 255, 0.5, levels);
    const int32_t w = Bitmap->GetWidth();
    for (int32_t y = 0; y < Bitmap->GetHeight(); ++y)
        std::memset(Bitmap->GetScanline(y), (uint8_t)levels[y % 4], (size_t)w * 3);
}

void IEFillBrushedMetal(TIEBitmap* Bitmap, const std::function<int32_t(int32_t)>& Random) {
    if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB) return;
    const int32_t w = Bitmap->GetWidth();
    if (w <= 0) return;
    std::vector<double> greys;
    IEBellCurve(w, 160, 208, 3.0, greys);
    std::minstd_rand engine(std::random_device{}());
    auto random = [&](int32_t N) {
        if (Random) return Random(N);
        return (int32_t)std::uniform_int_distribution<int32_t>(0, N - 1)(engine);
    };
    uint8_t c = 0;
    for (int32_t y = 0; y < Bitmap->GetHeight(); ++y) {
        uint8_t* row = Bitmap->GetScanline(y);
        int32_t counter = 0;
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t g = (uint8_t)((int32_t)greys[x] + c);   // byte arithmetic
            row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = g;
            ++counter;
            if (random(w) + 100 < counter) {
                c = (uint8_t)random(11);
                counter = 0;
            }
        }
    }
}

void IEApplySoftShadow(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || X2 < X1 || Y2 < Y1) return;
    const int64_t w = (int64_t)X2 - X1 + 1, h = (int64_t)Y2 - Y1 + 1;
    // The template is as large as the rectangle: one far larger than the bitmap itself (a
    // caller's mistake) is refused rather than allocated.
    if (w > (int64_t)Bitmap->GetWidth() + 65536 || h > (int64_t)Bitmap->GetHeight() + 65536) return;
    TIEBitmap templ((int32_t)(w + 10), (int32_t)(h + 10), ie8g);
    if (templ.IsEmpty()) return;
    templ.Fill(0);
    templ.FillRect(5, 5, (int32_t)w + 6, (int32_t)h + 6, 255);
    IEGaussianBlurGray8Hook(&templ, 0, 0, (int32_t)w + 9, (int32_t)h + 9, 2.5);
    const int32_t bw = Bitmap->GetWidth(), bh = Bitmap->GetHeight();
    for (int32_t y = std::max(Y1 - 5, 0); y <= std::min(Y2 + 5, bh - 1); ++y) {
        uint8_t* row = Bitmap->GetScanline(y);
        const uint8_t* t = templ.GetScanline(y - (Y1 - 5));
        for (int32_t x = std::max(X1 - 5, 0); x <= std::min(X2 + 5, bw - 1); ++x) {
            if (x >= X1 && x < X2 && y >= Y1 && y < Y2) continue;
            const int32_t keep = 255 - t[x - (X1 - 5)];
            for (int i = 0; i < 3; ++i) row[3 * x + i] = (uint8_t)(row[3 * x + i] * keep / 255);
        }
    }
}
