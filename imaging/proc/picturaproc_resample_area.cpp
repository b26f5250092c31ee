// Area-walk resampling for rfBilinear and rfBicubic: every destination pixel integrates its area of
// the source. Both axes are cut where a source or a destination pixel boundary falls; each piece
// adds one sample, weighted by its area, to its destination pixel. A reduced axis samples the
// source pixel as it is (so reducing averages exactly), an enlarged one interpolates at the
// piece's far end. Destination rows are independent of each other, so bands of them run on the
// thread pool with results identical to one thread.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "iecoreutils_general.h"
#include "picturaproc_resample.h"
#include "picturaproc_resample_util.h"

using namespace ieresample;

namespace {

// The cubic convolution kernel with parameter -1.
inline double Cubic(double X) {
    const double t = std::fabs(X);
    if (t <= 1) return t * t * t - 2 * t * t + 1;
    if (t <= 2) return -t * t * t + 5 * t * t - 8 * t + 4;
    return 0;
}

inline double CubicClamped(double A, double B, double C, double T, double D, double Max) {
    const double v = A * Cubic(T + 1) + B * Cubic(T) + C * Cubic(T - 1) + D * Cubic(T - 2);
    return v < 0 ? 0 : v > Max ? Max : v;
}

// One piece of an axis: the source pixel it lies in, the destination pixel it belongs to, its
// length and the interpolation fraction at its far end.
struct TSegment {
    int32_t Src;
    int32_t Dst;
    double Len;
    double Frac;
};

// The pieces of an axis of Src source pixels onto Dst destination pixels, walking from 0: a piece
// ends at the destination boundary when the next source boundary (plus 0.0001) is not before it,
// else at the source boundary. Pieces of no length add nothing and are left out. RowStart, when
// given, receives the first piece of each destination pixel (and the end).
std::vector<TSegment> Walk(int32_t Src, int32_t Dst, std::vector<int32_t>* RowStart) {
    std::vector<TSegment> segments;
    segments.reserve((size_t)Src + (size_t)Dst);
    if (RowStart) RowStart->assign((size_t)Dst + 1, 0);
    const double ratio = (double)Src / Dst;
    double pos = 0;
    int32_t src = 0, dst = 0;
    while (dst < Dst) {
        const double nextDst = (dst + 1) * ratio;
        const double nextSrc = src + 1;
        const bool endsAtDst = nextSrc + 0.0001 >= nextDst || src >= Src - 1;
        const double end = endsAtDst ? nextDst : nextSrc;
        if (end > pos) segments.push_back(TSegment{src, dst, end - pos, endsAtDst ? end - src : 1.0});
        pos = end;
        if (endsAtDst) {
            ++dst;
            if (RowStart) (*RowStart)[(size_t)dst] = (int32_t)segments.size();
        } else {
            ++src;
        }
    }
    return segments;
}

// Source rows copied as they are used, four at a time (rows j - 1 to j + 2 of the walk).
template <class T>
class TRowCache {
public:
    TRowCache(TIEBitmap* Bitmap, size_t Values) : FBitmap(Bitmap) {
        for (auto& slot : FSlots) slot.Data.resize(Values);
    }
    const T* Get(int32_t Row) {
        Slot* victim = &FSlots[0];
        for (auto& slot : FSlots) {
            if (slot.Row == Row) return slot.Data.data();
            if (slot.Row < victim->Row) victim = &slot;
        }
        std::memcpy(victim->Data.data(), FBitmap->GetScanline(Row), victim->Data.size() * sizeof(T));
        victim->Row = Row;
        return victim->Data.data();
    }

private:
    struct Slot {
        int32_t Row = -1;
        std::vector<T> Data;
    };
    TIEBitmap* FBitmap;
    Slot FSlots[4];
};

// The horizontal samples of source rows, one value per channel per horizontal piece, four rows
// kept.
class TSampleCache {
public:
    explicit TSampleCache(size_t Values) {
        for (auto& slot : FSlots) slot.Data.resize(Values);
    }
    // The row's samples, and whether they must still be computed.
    double* Get(int32_t Row, bool& Fresh) {
        Slot* victim = &FSlots[0];
        for (auto& slot : FSlots) {
            if (slot.Row == Row) {
                Fresh = false;
                return slot.Data.data();
            }
            if (slot.Row < victim->Row) victim = &slot;
        }
        victim->Row = Row;
        Fresh = true;
        return victim->Data.data();
    }

private:
    struct Slot {
        int32_t Row = -1;
        std::vector<double> Data;
    };
    Slot FSlots[4];
};

template <class T, int C>
class TAreaWalk {
public:
    TAreaWalk(TIEBitmap* Source, TIEBitmap* Dest, TIEBitmap* SourceAlpha, uint8_t Mode)
        : FSource(Source), FDest(Dest), FAlpha(SourceAlpha), FBicubic(Mode == 1),
          sW(Source->GetWidth()), sH(Source->GetHeight()), dW(Dest->GetWidth()), dH(Dest->GetHeight()),
          FMax(sizeof(T) == 1 ? 255.0 : 65535.0) {
        FHorizEnlarged = (double)sW / dW < 1;
        FVertEnlarged = (double)sH / dH < 1;
        FHoriz = Walk(sW, dW, nullptr);
        FVert = Walk(sH, dH, &FRowStart);
        FNorm = 1 / (((double)sW / dW) * ((double)sH / dH));
        FAlphaRule = FAlpha && !FBicubic && FHorizEnlarged && FVertEnlarged && C == 3;
    }

    // Destination rows First .. First + Count - 1; Done(rows) after each.
    template <class TDone>
    void Rows(int32_t First, int32_t Count, TDone Done) {
        const size_t nH = FHoriz.size();
        TRowCache<T> rows(FSource, (size_t)sW * C);
        TRowCache<uint8_t> alphaRows(FAlpha ? FAlpha : FSource, FAlpha ? (size_t)sW : 0);
        TSampleCache samples(nH * C);
        std::vector<double> acc((size_t)dW * C);
        std::vector<T> out((size_t)dW * C);
        auto sampleRow = [&](int32_t row) -> const double* {
            row = IEClamp(row, 0, sH - 1);
            bool fresh;
            double* h = samples.Get(row, fresh);
            if (fresh) Horizontal(rows, row, h);
            return h;
        };
        for (int32_t y = First; y < First + Count; ++y) {
            std::fill(acc.begin(), acc.end(), 0.0);
            for (int32_t v = FRowStart[(size_t)y]; v < FRowStart[(size_t)y + 1]; ++v) {
                const TSegment& seg = FVert[(size_t)v];
                const int32_t j = seg.Src;
                const double fy = seg.Frac, hv = seg.Len;
                if (FAlphaRule) {
                    AlphaPieces(rows, alphaRows, j, fy, hv, acc.data());
                    continue;
                }
                if (!FVertEnlarged && !FHorizEnlarged) {
                    // Reducing both ways: the pixels themselves, without a row of samples.
                    const T* p = rows.Get(j);
                    for (size_t k = 0; k < nH; ++k) {
                        const double area = FHoriz[k].Len * hv;
                        const T* s = p + (size_t)FHoriz[k].Src * C;
                        double* a = acc.data() + (size_t)FHoriz[k].Dst * C;
                        for (int c = 0; c < C; ++c) a[c] += area * s[c];
                    }
                    continue;
                }
                const double* h0 = sampleRow(j);
                if (!FVertEnlarged) {
                    for (size_t k = 0; k < nH; ++k) {
                        const double area = FHoriz[k].Len * hv;
                        double* a = acc.data() + (size_t)FHoriz[k].Dst * C;
                        for (int c = 0; c < C; ++c) a[c] += area * h0[k * C + c];
                    }
                } else if (!FBicubic) {
                    const double* h1 = sampleRow(j + 1);
                    for (size_t k = 0; k < nH; ++k) {
                        const double area = FHoriz[k].Len * hv;
                        double* a = acc.data() + (size_t)FHoriz[k].Dst * C;
                        for (int c = 0; c < C; ++c) a[c] += area * ((1 - fy) * h0[k * C + c] + fy * h1[k * C + c]);
                    }
                } else {
                    const double* hm = sampleRow(j - 1);
                    const double* h1 = sampleRow(j + 1);
                    const double* h2 = sampleRow(j + 2);
                    const double* hc = sampleRow(j);   // again: the three calls above may not evict it
                    for (size_t k = 0; k < nH; ++k) {
                        const double area = FHoriz[k].Len * hv;
                        double* a = acc.data() + (size_t)FHoriz[k].Dst * C;
                        for (int c = 0; c < C; ++c) {
                            const size_t i = k * C + c;
                            a[c] += area * CubicClamped(hm[i], hc[i], h1[i], fy, h2[i], FMax);
                        }
                    }
                }
            }
            for (size_t i = 0; i < out.size(); ++i) {
                const double v = std::nearbyint(acc[i] * FNorm);
                out[i] = (T)(v < 0 ? 0 : v > FMax ? FMax : v);
            }
            std::memcpy(FDest->GetScanline(y), out.data(), out.size() * sizeof(T));
            Done(y - First + 1);
        }
    }

private:
    // The horizontal samples of a source row: the pixel on a reduced axis, the interpolation at
    // the piece's far end on an enlarged one (rounded when bicubic interpolates both axes).
    void Horizontal(TRowCache<T>& rows, int32_t Row, double* Out) {
        const T* p = rows.Get(Row);
        const size_t nH = FHoriz.size();
        const bool round = FBicubic && FVertEnlarged;
        for (size_t k = 0; k < nH; ++k) {
            const int32_t x = FHoriz[k].Src;
            if (!FHorizEnlarged) {
                for (int c = 0; c < C; ++c) Out[k * C + c] = p[(size_t)x * C + c];
                continue;
            }
            const double f = FHoriz[k].Frac;
            const size_t x1 = (size_t)IEMin(x + 1, sW - 1) * C;
            if (!FBicubic) {
                for (int c = 0; c < C; ++c) Out[k * C + c] = (1 - f) * p[(size_t)x * C + c] + f * p[x1 + c];
            } else {
                const size_t xm = (size_t)IEMax(x - 1, 0) * C, x2 = (size_t)IEMin(x + 2, sW - 1) * C;
                for (int c = 0; c < C; ++c) {
                    const double v = CubicClamped(p[xm + c], p[(size_t)x * C + c], p[x1 + c], f, p[x2 + c], FMax);
                    Out[k * C + c] = round ? std::nearbyint(v) : v;
                }
            }
        }
    }

    // Bilinear pieces of a 24-bit image with an alpha channel, both axes enlarged: where the four
    // neighbours' alphas differ, all four take the colour of the last of them (current, right,
    // below, below-right) that is more opaque than another, so that colour never bleeds in from
    // more transparent pixels.
    void AlphaPieces(TRowCache<T>& rows, TRowCache<uint8_t>& alphaRows, int32_t j, double fy, double hv, double* acc) {
        const int32_t j1 = IEMin(j + 1, sH - 1);
        // Both rows copied before either pointer is used: the caches keep four rows.
        const T* r0 = rows.Get(j);
        const T* r1 = rows.Get(j1);
        const uint8_t* a0 = alphaRows.Get(j);
        const uint8_t* a1 = alphaRows.Get(j1);
        for (const TSegment& seg : FHoriz) {
            const int32_t x = seg.Src, x1 = IEMin(x + 1, sW - 1);
            const double fx = seg.Frac, area = seg.Len * hv;
            const T* px[4] = {r0 + (size_t)x * C, r0 + (size_t)x1 * C, r1 + (size_t)x * C, r1 + (size_t)x1 * C};
            const double al[4] = {a0[x] / 255.0, a0[x1] / 255.0, a1[x] / 255.0, a1[x1] / 255.0};
            const double lowest = std::min(std::min(al[0], al[1]), std::min(al[2], al[3]));
            double* a = acc + (size_t)seg.Dst * C;
            if (al[0] != al[1] || al[0] != al[2] || al[0] != al[3]) {
                int32_t chosen = 0;
                for (int32_t n = 0; n < 4; ++n)
                    if (al[n] > lowest) chosen = n;
                for (int c = 0; c < C; ++c) a[c] += area * px[chosen][c];
            } else {
                for (int c = 0; c < C; ++c) {
                    const double top = (1 - fx) * px[0][c] + fx * px[1][c];
                    const double bottom = (1 - fx) * px[2][c] + fx * px[3][c];
                    a[c] += area * ((1 - fy) * top + fy * bottom);
                }
            }
        }
    }

    TIEBitmap* FSource;
    TIEBitmap* FDest;
    TIEBitmap* FAlpha;
    bool FBicubic;
    int32_t sW, sH, dW, dH;
    double FMax;
    bool FHorizEnlarged = false, FVertEnlarged = false, FAlphaRule = false;
    std::vector<TSegment> FHoriz, FVert;
    std::vector<int32_t> FRowStart;
    double FNorm = 1;
};

template <class T, int C>
void RunAreaWalk(TIEBitmap* Source, TIEBitmap* Dest, TIEBitmap* SourceAlpha, uint8_t Mode,
                 const TIEProgressEvent& OnProgress, TObject* Sender) {
    TAreaWalk<T, C> walk(Source, Dest, SourceAlpha, Mode);
    const int32_t sW = Source->GetWidth(), sH = Source->GetHeight(), dW = Dest->GetWidth(), dH = Dest->GetHeight();
    const bool shareable = RowsAreShareable(Source) && RowsAreShareable(Dest) && (!SourceAlpha || RowsAreShareable(SourceAlpha));
    const int64_t work = ((int64_t)sW + dW) * ((int64_t)sH + dH) * C;
    const int32_t threads = ThreadsFor(work, shareable);
    RunBands(dH, threads, [&](int32_t first, int32_t count, int32_t index) {
        walk.Rows(first, count, [&](int32_t done) {
            if (index == 0 && OnProgress) OnProgress(Sender, (int32_t)((double)done * threads / dH * 100));
        });
    });
    if (threads > 1 && OnProgress) OnProgress(Sender, 100);
    Source->ReleaseRowBuffers();
    Dest->ReleaseRowBuffers();
    if (SourceAlpha) SourceAlpha->ReleaseRowBuffers();
}

bool Usable(TIEBitmap* Source, TIEBitmap* Dest) {
    return Source && Dest && Source->GetWidth() > 0 && Source->GetHeight() > 0 && Dest->GetWidth() > 0 &&
           Dest->GetHeight() > 0 && EnsureFormat(Dest, Source->GetPixelFormat());
}

}  // namespace

double IECubicInterpolate(int32_t A, int32_t B, int32_t C, double T, int32_t D, double Min, double Max) {
    const double v = A * Cubic(T + 1) + B * Cubic(T) + C * Cubic(T - 1) + D * Cubic(T - 2);
    return v < Min ? Min : v > Max ? Max : v;
}

void IEResampleBilinearBicubic(TIEBitmap* Source, TIEBitmap* Dest, TIEBitmap* SourceAlpha, uint8_t Mode,
                               const TIEProgressEvent& OnProgress, TObject* Sender) {
    if (!Source) return;
    const TIEPixelFormat format = Source->GetPixelFormat();
    if ((format != ie24RGB && format != ie8g) || !Usable(Source, Dest)) return;
    // An alpha channel of another size than the image cannot be read alongside it.
    if (SourceAlpha && (SourceAlpha->GetWidth() != Source->GetWidth() || SourceAlpha->GetHeight() != Source->GetHeight() ||
                        SourceAlpha->GetBitCount() != 8))
        SourceAlpha = nullptr;
    if (format == ie24RGB) RunAreaWalk<uint8_t, 3>(Source, Dest, SourceAlpha, Mode, OnProgress, Sender);
    else RunAreaWalk<uint8_t, 1>(Source, Dest, nullptr, Mode, OnProgress, Sender);
}

void IEResampleBilinearBicubic16(TIEBitmap* Source, TIEBitmap* Dest, uint8_t Mode, const TIEProgressEvent& OnProgress,
                                 TObject* Sender) {
    if (!Source) return;
    const TIEPixelFormat format = Source->GetPixelFormat();
    if ((format != ieRGB48 && format != ie16g) || !Usable(Source, Dest)) return;
    if (format == ieRGB48) RunAreaWalk<uint16_t, 3>(Source, Dest, nullptr, Mode, OnProgress, Sender);
    else RunAreaWalk<uint16_t, 1>(Source, Dest, nullptr, Mode, OnProgress, Sender);
}
