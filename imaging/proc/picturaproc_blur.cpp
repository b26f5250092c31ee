#include "picturaproc_blur.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "iebitmap.h"
#include "picturaproc_pixels.h"

namespace {

// The lines are worked in blocks of this many pixels with a fixed trip count, so that the compiler
// turns the inner loops into vector code without a scalar remainder; buffers are padded to it.
constexpr int32_t kBlock = 16;

int32_t RoundUpToBlock(int32_t N) { return (N + kBlock - 1) / kBlock * kBlock; }

// One output line from the 2k + 1 source lines Taps[0..2k] (Taps[k] is the centre) of N pixels
// (N a multiple of kBlock): (sum of weight x pixel + 32768) shr 16, held at 255 (the weights may
// sum to a little over 65536). The kernel is symmetric, so each pair of taps at -t and +t is added
// before one multiplication; a pair sum (up to 510) times a weight (below 65536) is a 16 x 16-bit
// product, which vector units widen cheaply. A weight of 65536 (a kernel that is only its centre)
// is the identity.
void FilterLine(uint8_t* __restrict Dst, const uint8_t* const* Taps, const TIEGaussianKernel& Kernel, int32_t N) {
    const int32_t k = Kernel.HalfWidth;
    if (Kernel.Weights[100] >= 65536) {
        std::memcpy(Dst, Taps[k], (size_t)N);
        return;
    }
    for (int32_t b = 0; b < N; b += kBlock) {
        uint32_t acc[kBlock];
        const uint8_t* __restrict centre = Taps[k] + b;
        const uint16_t w0 = (uint16_t)Kernel.Weights[100];
        for (int32_t i = 0; i < kBlock; ++i) acc[i] = 32768u + (uint32_t)(uint16_t)centre[i] * (uint32_t)w0;
        for (int32_t t = 1; t <= k; ++t) {
            const uint8_t* __restrict left = Taps[k - t] + b;
            const uint8_t* __restrict right = Taps[k + t] + b;
            const uint16_t w = (uint16_t)Kernel.Weights[100 + t];
            for (int32_t i = 0; i < kBlock; ++i) acc[i] += (uint32_t)(uint16_t)(left[i] + right[i]) * (uint32_t)w;
        }
        for (int32_t i = 0; i < kBlock; ++i) {
            const uint32_t v = acc[i] >> 16;
            Dst[b + i] = (uint8_t)(v > 255 ? 255 : v);
        }
    }
}

}  // namespace

void IEMakeGaussianKernel(double Radius, TIEGaussianKernel& Kernel) {
    double g[201];
    double sum = 0;
    for (int32_t i = 0; i <= 200; ++i) {
        const double d = (i - 100) / Radius;
        g[i] = std::exp(-(d * d) / 2);
        sum += g[i];
    }
    for (int32_t i = 0; i <= 200; ++i)
        Kernel.Weights[i] = (int32_t)std::nearbyint((long double)g[i] * 65536 / (long double)sum);
    int32_t k = 100;
    while (k > 1 && Kernel.Weights[100 + k] == 0 && Kernel.Weights[100 - k] == 0) --k;
    Kernel.HalfWidth = k;
}

void IEGaussianBlurGray8(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Radius) {
    if (!Bitmap || Bitmap->GetPixelFormat() != ie8g || !(Radius > 0) || Bitmap->IsEmpty()) return;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    X1 = IEClamp(X1, 0, w - 1);
    X2 = IEClamp(X2, 0, w - 1);
    Y1 = IEClamp(Y1, 0, h - 1);
    Y2 = IEClamp(Y2, 0, h - 1);
    if (X2 < X1 || Y2 < Y1) return;
    TIEGaussianKernel kernel;
    IEMakeGaussianKernel(Radius, kernel);
    const int32_t k = kernel.HalfWidth, taps = 2 * k + 1;
    const int32_t cols = X2 - X1 + 1;
    const int32_t cols16 = RoundUpToBlock(cols);
    std::vector<uint8_t> out((size_t)cols16);
    std::vector<const uint8_t*> tapRows((size_t)taps);

    // Rows: each row's segment with k copies of its end pixels on either side, so that every tap
    // reads inside the buffer (the same sums as weighting the ends once per output pixel).
    {
        std::vector<uint8_t> line((size_t)(cols16 + 2 * k));
        for (int32_t y = Y1; y <= Y2; ++y) {
            uint8_t* row = Bitmap->GetScanline(y) + X1;
            std::memset(line.data(), row[0], (size_t)k);
            std::memcpy(line.data() + k, row, (size_t)cols);
            std::memset(line.data() + k + cols, row[cols - 1], (size_t)(cols16 - cols + k));
            for (int32_t t = 0; t < taps; ++t) tapRows[(size_t)t] = line.data() + t;
            FilterLine(out.data(), tapRows.data(), kernel, cols16);
            std::memcpy(row, out.data(), (size_t)cols);
        }
    }
    // Columns, worked a row at a time so that memory is read in order: the unfiltered rows
    // y - k .. y + k (limited to Y1..Y2, which repeats the column's ends) wait in a ring of 2k + 1
    // rows, each row entering before it is overwritten.
    std::vector<uint8_t> ring((size_t)taps * (size_t)cols16);
    auto slot = [&](int32_t y) { return ring.data() + (size_t)((y - Y1) % taps) * (size_t)cols16; };
    auto load = [&](int32_t y) { std::memcpy(slot(y), Bitmap->GetScanline(y) + X1, (size_t)cols); };
    for (int32_t y = Y1; y <= std::min(Y1 + k - 1, Y2); ++y) load(y);
    for (int32_t y = Y1; y <= Y2; ++y) {
        if (y + k <= Y2) load(y + k);
        for (int32_t t = -k; t <= k; ++t) tapRows[(size_t)(t + k)] = slot(IEClamp(y + t, Y1, Y2));
        FilterLine(out.data(), tapRows.data(), kernel, cols16);
        std::memcpy(Bitmap->GetScanline(y) + X1, out.data(), (size_t)cols);
    }
}

int32_t IEApplySoftShadow(TIEBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius, int32_t Intensity,
                          TIERGB Color, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    const bool boxBlur = Radius == 0;
    if (boxBlur) Radius = 2;
    // Worked in 64 bits and kept within a quarter of the 32-bit range, so that extreme offsets or
    // radii cannot overflow the margin or the rectangles grown by it.
    constexpr int64_t kMaxMargin = INT32_MAX / 4;
    const double spread = std::isnan(Radius) ? 0 : std::trunc(std::max(std::min(Radius * 5, 1e12), -1e12));
    const int64_t offset = std::max(std::llabs(OffsetX), std::llabs(OffsetY));
    const int32_t margin = (int32_t)std::min(std::max(2 * offset + (int64_t)spread, (int64_t)1), kMaxMargin);
    const int32_t half = margin / 2;
    if (!Bitmap || Bitmap->IsEmpty()) return margin;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();

    TIEBitmap* alpha = Bitmap->GetAlphaChannel();
    if (!alpha) return margin;
    alpha->SetFull(false);
    TIEBitmap objectAlpha(alpha);   // A0, the object's own alpha

    const int32_t bx1 = IEClamp(X1 - half, 0, w - 1), by1 = IEClamp(Y1 - half, 0, h - 1);
    const int32_t bx2 = IEClamp(X2 + half, 0, w - 1), by2 = IEClamp(Y2 + half, 0, h - 1);
    if (boxBlur)
        IEConvolve3x3Gray8(alpha, TIEFilterRecord{{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, 9}, bx1, by1, bx2 + 1, by2 + 1);
    else
        IEGaussianBlurGray8(alpha, bx1, by1, bx2, by2, Radius);
    if (OffsetX != 0 || OffsetY != 0) {
        // A move of more than the bitmap's size lands wholly outside it, however far.
        const int64_t limit = (int64_t)std::max(w, h) + 1;
        alpha->MoveRect(bx1, by1, bx2, by2, (int32_t)std::clamp<int64_t>((int64_t)bx1 + OffsetX, -limit, limit),
                        (int32_t)std::clamp<int64_t>((int64_t)by1 + OffsetY, -limit, limit), 0, true);
    }

    const TIEPixelFormat format = Bitmap->GetPixelFormat();
    if (format != ie1g && format != ie24RGB) return margin;
    const int32_t ox1 = IEClamp(X1 - margin, 0, w - 1), oy1 = IEClamp(Y1 - margin, 0, h - 1);
    const int32_t ox2 = IEClamp(X2 + margin, 0, w - 1), oy2 = IEClamp(Y2 + margin, 0, h - 1);
    const long double d = 3 - (long double)IEClamp(Intensity, 0, 100) / 100 * 2;
    const uint8_t colour[3] = {Color.b, Color.g, Color.r};
    for (int32_t y = oy1; y <= oy2; ++y) {
        for (int32_t x = ox1; x <= ox2; ++x) {
            const uint8_t a0 = objectAlpha.GetPixelByte(x, y);
            const uint8_t a1 = alpha->GetPixelByte(x, y);
            if (format == ie1g) {
                if (a0 != 0 || a0 == a1)
                    alpha->SetPixelByte(x, y, a0);
                else
                    Bitmap->GetScanline(y)[x >> 3] &= (uint8_t)~(0x80 >> (x & 7));
                continue;
            }
            if (a0 == 0 && a1 != 0) {
                Bitmap->SetPixelRGB(x, y, Color);
                if (d != 1) alpha->SetPixelByte(x, y, (uint8_t)std::trunc(a1 / d));
            } else if (a0 > 0 && a0 < 255) {
                const long double o = (long double)a1 / 255, s = (long double)a0 / 255;
                uint8_t* p = reinterpret_cast<uint8_t*>(Bitmap->GetPixelRGBPtr(x, y));
                for (int32_t c = 0; c < 3; ++c) {
                    const long double under = std::trunc(o * colour[c] + (1 - o) * p[c]);
                    p[c] = (uint8_t)std::trunc(s * p[c] + (1 - s) * under);
                }
                alpha->SetPixelByte(x, y, (uint8_t)std::trunc((s + o * (1 - s)) * 255));
            } else {
                alpha->SetPixelByte(x, y, a0);
            }
        }
    }
    return margin;
}
