// Resampling without kernels: fast linear interpolation with 17-bit fractions and box averages,
// the 1-bit box average into gray, and the projection onto 1-bit images.
#include <algorithm>
#include <cstring>
#include <vector>

#include "iecoreutils_general.h"
#include "iedibbitmap.h"
#include "picturaproc_resample.h"
#include "picturaproc_resample_util.h"

using namespace ieresample;

namespace {

constexpr int32_t kOne = 131072;   // 1.0 in the 17-bit fractions

// a + floor((b - a) * frac / 2^17): the arithmetic shift floors a negative difference.
inline int32_t Lerp17(int32_t a, int32_t b, int32_t frac) {
    return a + (int32_t)(((int64_t)(b - a) * frac) >> 17);
}

// The per-column (or per-row) tables of one axis of the fast linear method.
struct TLinearAxis {
    bool Enlarging;
    std::vector<int32_t> First, Last, Frac;   // source q, the box end r (or q + 1), the fraction
    std::vector<TDivisor> Count;              // r - q + 1 when averaging

    // Src pixels onto Dst; Epsilon is the 1e-10 term of the horizontal box ends.
    TLinearAxis(int32_t Src, int32_t Dst, bool Interpolate, double Epsilon) {
        const double ratio = (double)Dst / Src;
        Enlarging = Interpolate || ratio > 1;
        First.resize((size_t)Dst);
        Last.resize((size_t)Dst);
        Frac.resize((size_t)Dst);
        Count.resize((size_t)Dst);
        for (int32_t i = 0; i < Dst; ++i) {
            const double p = i / ratio;
            const int32_t q = IEMin((int32_t)p, Src - 1);
            First[(size_t)i] = q;
            Frac[(size_t)i] = (int32_t)((p - q) * kOne);
            if (Enlarging) {
                Last[(size_t)i] = IEMin(q + 1, Src - 1);
            } else {
                const int32_t r = IEClamp((int32_t)(IEMin(i + 1, Dst - 1) / ratio + Epsilon), q, Src - 1);
                Last[(size_t)i] = r;
                Count[(size_t)i] = TDivisor(r - q + 1);
            }
        }
    }
};

// One row of C channels per pixel along the horizontal axis.
template <int C>
void LinearRow(const TLinearAxis& axis, const uint8_t* src, uint8_t* dst, int32_t dW) {
    for (int32_t i = 0; i < dW; ++i) {
        const int32_t q = axis.First[(size_t)i], r = axis.Last[(size_t)i];
        if (axis.Enlarging) {
            const int32_t f = axis.Frac[(size_t)i];
            for (int c = 0; c < C; ++c) dst[i * C + c] = (uint8_t)Lerp17(src[q * C + c], src[r * C + c], f);
        } else {
            int32_t s[C] = {};
            for (int32_t k = q; k <= r; ++k)
                for (int c = 0; c < C; ++c) s[c] += src[k * C + c];
            for (int c = 0; c < C; ++c) dst[i * C + c] = (uint8_t)axis.Count[(size_t)i].Divide(s[c]);
        }
    }
}

// Reads source row y as C bytes per pixel into the scratch (a 1-bit row as 0 or 255).
using TLinearReader = const uint8_t* (*)(TIEBitmap* Source, int32_t Row, uint8_t* Scratch, int32_t Width);

const uint8_t* ReadBytes(TIEBitmap* Source, int32_t Row, uint8_t* Scratch, int32_t Width) {
    return Source->GetScanline(Row);
}

const uint8_t* ReadBits(TIEBitmap* Source, int32_t Row, uint8_t* Scratch, int32_t Width) {
    const uint8_t* bits = Source->GetScanline(Row);
    for (int32_t x = 0; x < Width; ++x) Scratch[x] = (bits[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
    return Scratch;
}

// The fast linear method: C channels from the source, OutC (C, or 3 for a gray value written to
// all three channels) into Dest; Interpolate forces interpolation on both axes.
template <int C>
void FastLinear(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress,
                TLinearReader Read, int32_t OutC, bool Interpolate) {
    const int32_t sW = Source->GetWidth(), sH = Source->GetHeight(), dW = Dest->GetWidth(), dH = Dest->GetHeight();
    if (sW <= 0 || sH <= 0 || dW <= 0 || dH <= 0) return;
    const TLinearAxis horiz(sW, dW, Interpolate, 1e-10);
    const TLinearAxis vert(sH, dH, Interpolate, 0);
    TIEWorkBitmap work(dW, sH, 8 * C);
    if (!work.GetBits()) throw EOutOfMemory(L"Out of memory");
    const double scale = 100 / (sH + dH + 0.5);
    std::vector<uint8_t> scratch((size_t)sW * C + 16);
    for (int32_t y = 0; y < sH; ++y) {
        LinearRow<C>(horiz, Read(Source, y, scratch.data(), sW), work.GetScanline(y), dW);
        if (OnProgress) OnProgress(Sender, (int32_t)(y * scale));
    }
    const size_t values = (size_t)dW * C;
    std::vector<int32_t> sums(values);
    std::vector<uint8_t> out(values);
    for (int32_t j = 0; j < dH; ++j) {
        const int32_t q = vert.First[(size_t)j], r = vert.Last[(size_t)j];
        if (vert.Enlarging) {
            const uint8_t* a = work.GetScanline(q);
            const uint8_t* b = work.GetScanline(r);
            const int32_t f = vert.Frac[(size_t)j];
            for (size_t x = 0; x < values; ++x) out[x] = (uint8_t)Lerp17(a[x], b[x], f);
        } else {
            std::fill(sums.begin(), sums.end(), 0);
            for (int32_t k = q; k <= r; ++k) {
                const uint8_t* a = work.GetScanline(k);
                for (size_t x = 0; x < values; ++x) sums[x] += a[x];
            }
            const TDivisor& d = vert.Count[(size_t)j];
            for (size_t x = 0; x < values; ++x) out[x] = (uint8_t)d.Divide(sums[x]);
        }
        uint8_t* dst = Dest->GetScanline(j);
        if (OutC == C) {
            std::memcpy(dst, out.data(), values);
        } else {
            for (int32_t x = 0; x < dW; ++x) dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = out[(size_t)x];
        }
        if (OnProgress) OnProgress(Sender, (int32_t)((sH + j) * scale));
    }
    Source->ReleaseRowBuffers();
    Dest->ReleaseRowBuffers();
}

bool Empty(TIEBitmap* B) {
    return B->GetWidth() <= 0 || B->GetHeight() <= 0;
}

// The common start of the linear routines: True when there is nothing more to do (a bitmap is
// missing or empty, or both ratios are exactly 1 and Dest became a copy).
bool DoneBeforeLinear(TIEBitmap* Source, TIEBitmap* Dest) {
    if (!Source || !Dest || Empty(Source) || Empty(Dest)) return true;
    if (Source->GetWidth() == Dest->GetWidth() && Source->GetHeight() == Dest->GetHeight()) {
        Dest->Assign(Source);
        return true;
    }
    return false;
}

}  // namespace

void IEResampleFastLinear(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress) {
    if (DoneBeforeLinear(Source, Dest)) return;
    if (Source->GetPixelFormat() != ie24RGB || !EnsureFormat(Dest, ie24RGB)) return;
    FastLinear<3>(Source, Dest, Sender, OnProgress, ReadBytes, 3, false);
}

void IEResampleGray8Linear(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress) {
    if (DoneBeforeLinear(Source, Dest)) return;
    if (Source->GetBitCount() != 8 || (Dest->GetBitCount() != 8 && !EnsureFormat(Dest, ie8g))) return;
    FastLinear<1>(Source, Dest, Sender, OnProgress, ReadBytes, 1, false);
}

void IEResample1BitLinear(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress) {
    if (DoneBeforeLinear(Source, Dest)) return;
    if (Source->GetPixelFormat() != ie1g || !EnsureFormat(Dest, ie24RGB)) return;
    const int32_t sW = Source->GetWidth(), sH = Source->GetHeight();
    if (Dest->GetWidth() < sW && Dest->GetHeight() < sH) {
        IEResample1BitAverage(Source, 0, 0, sW - 1, sH - 1, Dest);
        return;
    }
    FastLinear<1>(Source, Dest, Sender, OnProgress, ReadBits, 3, true);
}

void IEResample1BitAverage(TIEBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TIEBitmap* Dest) {
    if (!Source || !Dest || Empty(Source) || Empty(Dest)) return;
    if (Source->GetPixelFormat() != ie1g || !EnsureFormat(Dest, ie24RGB)) return;
    const int32_t sW = Source->GetWidth(), sH = Source->GetHeight(), dW = Dest->GetWidth(), dH = Dest->GetHeight();
    const double xstep = (double)(X2 - X1 + 1) / dW, ystep = (double)(Y2 - Y1 + 1) / dH;
    // The box of each destination column, offset and clamped into the source.
    std::vector<int32_t> left((size_t)dW), right((size_t)dW);
    for (int32_t i = 0; i < dW; ++i) {
        left[(size_t)i] = IEClamp(X1 + (int32_t)(i * xstep - xstep / 2), 0, sW - 1);
        right[(size_t)i] = IEClamp(X1 + (int32_t)(xstep / 2 + i * xstep), 0, sW - 1);
    }
    // Set pixels of a box: a box can hold more than 2^31 / 255 of them, so counts and products are 64-bit.
    std::vector<int64_t> counts((size_t)dW);
    std::vector<uint8_t> row((size_t)Source->GetRowLen() + 16);
    for (int32_t i = 0; i < dH; ++i) {
        // Rows are clamped before the offset, and again after it: a rectangle reaching past the
        // source must not read past its last row.
        const int32_t top = IEClamp(Y1 + IEClamp((int32_t)(i * ystep - ystep / 2), 0, sH - 1), 0, sH - 1);
        const int32_t bottom = IEClamp(Y1 + IEClamp((int32_t)((int32_t)ystep / 2.0 + i * ystep), 0, sH - 1), 0, sH - 1);
        std::fill(counts.begin(), counts.end(), 0);
        for (int32_t y = top; y <= bottom; ++y) {
            std::memcpy(row.data(), Source->GetScanline(y), (size_t)Source->GetRowLen());
            for (int32_t x = 0; x < dW; ++x) {
                int32_t n = 0;
                for (int32_t k = left[(size_t)x]; k <= right[(size_t)x]; ++k) n += (row[(size_t)(k >> 3)] >> (7 - (k & 7))) & 1;
                counts[(size_t)x] += n;
            }
        }
        uint8_t* dst = Dest->GetScanline(i);
        const int64_t rows = bottom - top + 1;
        for (int32_t x = 0; x < dW; ++x) {
            const int64_t pixels = rows * (right[(size_t)x] - left[(size_t)x] + 1);
            const uint8_t v = (uint8_t)(pixels > 0 ? 255 * counts[(size_t)x] / pixels : 0);
            dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = v;
        }
    }
    Source->ReleaseRowBuffers();
    Dest->ReleaseRowBuffers();
}

namespace {

// Projection onto a 1-bit Dest. Pixel(row, x) tells whether source pixel x of the copied row is
// white (1), black (0) or undecided (-1).
template <class TPixel>
void Project(TIEBitmap* Source, TIEBitmap* Dest, bool WhiteWins, const TIEProgressEvent& OnProgress, TObject* Sender,
             TPixel Pixel) {
    const int32_t sW = Source->GetWidth(), sH = Source->GetHeight();
    if (sW <= 0 || sH <= 0 || Dest->GetWidth() <= 0 || Dest->GetHeight() <= 0) return;
    if (!EnsureFormat(Dest, ie1g)) return;
    const int32_t dW = Dest->GetWidth(), dH = Dest->GetHeight();
    TAccessGuard sourceAccess(Source, iedRead), destAccess(Dest, iedWrite);
    auto map = [](int32_t k, int32_t s, int32_t d) { return (int32_t)((int64_t)k * s / d); };
    std::vector<int32_t> from((size_t)dW), to((size_t)dW);
    for (int32_t k = 0; k < dW; ++k) {
        from[(size_t)k] = k == 0 ? 0 : map(k - 1, sW, dW);
        to[(size_t)k] = k == 0 ? 0 : map(k, sW, dW);
    }
    const int32_t decisive = WhiteWins ? 1 : 0;
    std::vector<uint8_t> row((size_t)Source->GetRowLen() + 16), out((size_t)Dest->GetRowLen());
    std::vector<uint8_t> hit((size_t)dW);
    for (int32_t j = 0; j < dH; ++j) {
        const int32_t top = j == 0 ? 0 : map(j - 1, sH, dH), bottom = j == 0 ? 0 : map(j, sH, dH);
        std::fill(hit.begin(), hit.end(), 0);
        for (int32_t y = top; y <= bottom; ++y) {
            std::memcpy(row.data(), Source->GetScanline(y), (size_t)Source->GetRowLen());
            for (int32_t k = 0; k < dW; ++k) {
                if (hit[(size_t)k]) continue;
                for (int32_t x = from[(size_t)k]; x <= to[(size_t)k]; ++x) {
                    if (Pixel(row.data(), x) == decisive) {
                        hit[(size_t)k] = 1;
                        break;
                    }
                }
            }
        }
        // White wins: the row starts black and a hit sets the bit; black wins: it starts white
        // and a hit clears it.
        std::fill(out.begin(), out.end(), WhiteWins ? 0 : 0xFF);
        for (int32_t k = 0; k < dW; ++k) {
            if (!hit[(size_t)k]) continue;
            const uint8_t mask = (uint8_t)(0x80 >> (k & 7));
            if (WhiteWins) out[(size_t)(k >> 3)] |= mask;
            else out[(size_t)(k >> 3)] &= (uint8_t)~mask;
        }
        std::memcpy(Dest->GetScanline(j), out.data(), out.size());
        if (OnProgress) OnProgress(Sender, (int32_t)(j * 100 / (dH + 0.5)));
    }
    Source->ReleaseRowBuffers();
    Dest->ReleaseRowBuffers();
}

}  // namespace

void IEProject1Bit(TIEBitmap* Source, TIEBitmap* Dest, bool WhiteWins, const TIEProgressEvent& OnProgress, TObject* Sender) {
    if (!Source || !Dest || Source->GetPixelFormat() != ie1g) return;
    Project(Source, Dest, WhiteWins, OnProgress, Sender,
            [](const uint8_t* row, int32_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; });
}

void IEProject24To1Bit(TIEBitmap* Source, TIEBitmap* Dest, bool WhiteWins, const TIEProgressEvent& OnProgress,
                       TObject* Sender) {
    if (!Source || !Dest || Source->GetPixelFormat() != ie24RGB) return;
    Project(Source, Dest, WhiteWins, OnProgress, Sender, [](const uint8_t* row, int32_t x) {
        const uint8_t* p = row + 3 * (size_t)x;
        if (p[0] > 128 && p[1] > 128 && p[2] > 128) return 1;
        if (p[0] < 128 && p[1] < 128 && p[2] < 128) return 0;
        return -1;
    });
}
