// The pixel-combining rules of the image buffer (IECombinePixel) and the two compositing operations
// built on them: StretchRectTo (a scaled copy that writes the destination's alpha channel) and
// AlphaMergeFrom (Porter-Duff "over" of two bitmaps with alpha, through a blend operation).
// Platform-neutral.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "iebitmap.h"
#include "iecoreutils_general.h"
#include "iecoreutils_startup.h"
#include "ieprochooks.h"

namespace {

inline int32_t Clamp255(int32_t V) { return V < 0 ? 0 : (V > 255 ? 255 : V); }

// One channel of the separable operations 0..30; s source, d destination.
int32_t CombineChannel(int32_t s, int32_t d, uint8_t Operation) {
    switch (Operation) {
    case 0: return s;
    case 1: return std::min(255, d + s);
    case 2: return std::abs(d - s);
    case 3: return Clamp255(d / std::max(s, 1));
    case 4: return (s * d) >> 8;
    case 5: return d | s;
    case 6: return d & s;
    case 7: return d ^ s;
    case 8: return std::max(d, s);
    case 9: return std::min(d, s);
    case 10: return (d + s) >> 1;
    case 11: return (int32_t)Trunc(255.0L - (long double)(255 - d) * (255 - s) / 255.0L);
    case 12: return 255 - std::abs(255 - s - d);
    case 13: return s + d - ((s * d) >> 7);
    case 14:
        return d < 128 ? (s * d) >> 7 : 255 - (((255 - s) * (255 - d)) >> 7);
    case 15:
        return s < 128 ? (s * d) >> 7 : 255 - (((255 - s) * (255 - d)) >> 7);
    case 16: {
        const long double a = s / 255.0L, b = d / 255.0L;
        const long double v = a < 0.5L ? b * b * (1 - 2 * a) + 2 * a * b
                                       : std::sqrt(b) * (2 * a - 1) + 2 * b * (1 - a);
        return (int32_t)Trunc(v * 255.0L);
    }
    case 17: {
        const int32_t m = (d * s) >> 8;
        const int32_t c = 255 - (((255 - d) * (255 - s)) >> 8);
        return m + (((c - m) * d) >> 8);
    }
    case 18: return s == 255 ? 255 : std::min(255, (d * 256) / (255 - s));
    case 19: return s == 0 ? 0 : std::max(0, 255 - ((255 - d) * 256) / s);
    case 20: return d == 255 ? 255 : std::min(255, (s * 256) / (255 - d));
    case 21: return d == 0 ? 0 : std::max(0, 255 - ((255 - s) * 256) / d);
    case 22:
        if (s + d < 256) return s == 255 ? 255 : std::min(255, (d * 128) / (255 - s));
        return std::max(0, 255 - ((255 - s) * 128) / d);
    case 23:
        if (s + d < 256) return d == 255 ? 255 : std::min(255, (s * 128) / (255 - d));
        return std::max(0, 255 - ((255 - d) * 128) / s);
    case 24: return s == 255 ? 255 : std::min(255, (d * d) / (255 - s));
    case 25: return d == 255 ? 255 : std::min(255, (s * s) / (255 - d));
    case 26: return s == 0 ? 0 : std::max(0, 255 - ((255 - d) * (255 - d)) / s);
    case 27: return d == 0 ? 0 : std::max(0, 255 - ((255 - s) * (255 - s)) / d);
    case 28: return Clamp255(d + s - 256);
    case 29: return std::min(255, IECosineTable[s] + IECosineTable[d]);
    case 30: return Clamp255(d + 2 * s - 256);
    default: return d;
    }
}

inline int32_t Gray8(const TIERGB& P) {
    return (P.r * IEGrayRedWeight + P.g * IEGrayGreenWeight + P.b * IEGrayBlueWeight) / 100;
}

// One result channel of the least-squares red-cyan anaglyph: Round(...) clamped to 0..255.
inline uint8_t AnaglyphChannel(const long double* K, const TIERGB& L, const TIERGB& R) {
    const long double v = K[0] * L.r + K[1] * L.g + K[2] * L.b + K[3] * R.r + K[4] * R.g + K[5] * R.b;
    return (uint8_t)Clamp255((int32_t)Round(std::max(-1.0L, std::min(256.0L, v))));
}

}   // namespace

void IECombinePixel(const TIERGB* Source, TIERGB* Dest, uint8_t Operation, int32_t Row) {
    const TIERGB s = *Source;
    TIERGB& d = *Dest;
    if (Operation <= 30) {
        d.b = (uint8_t)CombineChannel(s.b, d.b, Operation);
        d.g = (uint8_t)CombineChannel(s.g, d.g, Operation);
        d.r = (uint8_t)CombineChannel(s.r, d.r, Operation);
        return;
    }
    double sh, ss, sl, dh, ds, dl;
    switch (Operation) {
    case 31: d.r = s.r; break;
    case 32: d.g = s.g; break;
    case 33: d.b = s.b; break;
    case 34: case 35: case 36: case 37:
        IERGBToHSLHook(s, sh, ss, sl);
        IERGBToHSLHook(d, dh, ds, dl);
        if (Operation == 34) IEHSLToRGBHook(d, sh, ds, dl);
        else if (Operation == 35) IEHSLToRGBHook(d, dh, ss, dl);
        else if (Operation == 36) IEHSLToRGBHook(d, sh, ss, dl);
        else IEHSLToRGBHook(d, sh, ds, sl);
        break;
    case 38: {
        const int32_t dg = Gray8(d), sg = Gray8(s);
        d.r = (uint8_t)dg;
        d.g = d.b = (uint8_t)sg;
        break;
    }
    case 39: d.g = s.g; d.b = s.b; break;
    case 40: {
        static const long double KR[6] = {0.4561L, 0.500484L, 0.176381L, -0.0434706L, -0.0879388L, -0.00155529L};
        static const long double KG[6] = {-0.0400822L, -0.0378246L, -0.0157589L, 0.378476L, 0.73364L, -0.0184503L};
        static const long double KB[6] = {-0.0152161L, -0.0205971L, -0.00546856L, -0.0721527L, -0.112961L, 1.2264L};
        const TIERGB l = d;
        d.r = AnaglyphChannel(KR, l, s);
        d.g = AnaglyphChannel(KG, l, s);
        d.b = AnaglyphChannel(KB, l, s);
        break;
    }
    case 41: if ((Row & 1) == 0) d = s; break;
    case 42: if ((Row & 1) != 0) d = s; break;
    default: break;
    }
}

// ---- StretchRectTo ------------------------------------------------------------------------------

void TIEBitmap::StretchRectTo(TIEBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight,
                              int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, TResampleFilter Filter,
                              int32_t Opacity) {
    if (!Dest || Dest->GetPixelFormat() != ie24RGB || IsEmpty()) return;
    const TIEPixelFormat format = GetPixelFormat();
    const bool sourceAlpha = HasAlphaChannel();
    if (Filter != rfNone && (SrcWidth != DstWidth || SrcHeight != DstHeight)) {
        if (SrcWidth < DstWidth || format != ie1g || sourceAlpha) {
            if (SrcWidth < 1 || SrcHeight < 1 || DstWidth < 1 || DstHeight < 1) return;
            TIEBitmap part(SrcWidth, SrcHeight, format);
            if (format == ie8p) CopyPaletteTo(&part);
            CopyRectTo(&part, SrcX, SrcY, 0, 0, SrcWidth, SrcHeight);
            if (sourceAlpha) {
                GetAlphaChannel()->CopyRectTo(part.GetAlphaChannel(), SrcX, SrcY, 0, 0, SrcWidth, SrcHeight);
                part.GetAlphaChannel()->SetFull(AlphaChannel->GetFull());
            }
            const bool project = format == ie1g && (Filter == rfProjectBW || Filter == rfProjectWB);
            TIEBitmap scaled(DstWidth, DstHeight, project ? ie1g : ie24RGB);
            if (format == ie1g) IEResample1BitHook(&part, &scaled, Filter);
            else IEResampleHook(&part, &scaled, nullptr, Filter, nullptr, nullptr);
            if (sourceAlpha) {
                IEResampleGray8Hook(part.GetAlphaChannel(), scaled.GetAlphaChannel(), Filter);
                scaled.GetAlphaChannel()->SetFull(part.GetAlphaChannel()->GetFull());
            }
            scaled.StretchRectTo(Dest, DstX, DstY, DstWidth, DstHeight, 0, 0, DstWidth, DstHeight, rfNone, Opacity);
        } else {
            if (DstWidth < 1 || DstHeight < 1) return;
            TIEBitmap averaged(DstWidth, DstHeight, ie24RGB);
            IEResample1BitAverageHook(this, SrcX, SrcY, SrcX + SrcWidth - 1, SrcY + SrcHeight - 1, &averaged);
            averaged.StretchRectTo(Dest, DstX, DstY, DstWidth, DstHeight, 0, 0, DstWidth, DstHeight, rfNone, Opacity);
        }
        return;
    }
    if (DstWidth == 0 || DstHeight == 0) return;
    try {
        const int32_t yscale = (int32_t)Trunc((long double)SrcHeight / DstHeight * 16384);
        const int32_t xscale = (int32_t)Trunc((long double)SrcWidth / DstWidth * 16384);
        const int32_t x1 = std::max(DstX, 0), x2 = std::min(DstX + DstWidth - 1, Dest->GetWidth() - 1);
        const int32_t y1 = std::max(DstY, 0), y2 = std::min(DstY + DstHeight - 1, Dest->GetHeight() - 1);
        if (x1 > x2 || y1 > y2) return;
        const bool partialAlpha = sourceAlpha && !AlphaChannel->GetFull();
        const bool scaled = xscale != 16384 || yscale != 16384;
        const bool useMaps = scaled || format == ie1g || partialAlpha;
        // The source column of each destination column and the source row of each row; the
        // products are 64-bit so that wide images cannot overflow them.
        std::vector<int32_t> columns, rows;
        if (useMaps) {
            columns.resize((size_t)(x2 - x1 + 1));
            rows.resize((size_t)(y2 - y1 + 1));
            for (int32_t x = x1; x <= x2; ++x) columns[x - x1] = SrcX + (int32_t)(((int64_t)(x - DstX) * xscale) >> 14);
            for (int32_t y = y1; y <= y2; ++y) rows[y - y1] = SrcY + (int32_t)(((int64_t)yscale * (y - DstY)) >> 14);
        }
        TIEBitmap* dstAlpha = Dest->GetAlphaChannel();
        const uint8_t opacity = (uint8_t)Clamp255(Opacity);
        for (int32_t y = y1; y <= y2; ++y) {
            const int32_t sy = useMaps ? rows[y - y1] : SrcY + (y - DstY);
            uint8_t* arow = dstAlpha->GetScanline(y);
            if (partialAlpha) {
                const uint8_t* srow = AlphaChannel->GetScanline(sy);
                for (int32_t x = x1; x <= x2; ++x) {
                    const int32_t sx = useMaps ? columns[x - x1] : SrcX + (x - DstX);
                    arow[x] = std::min(opacity, srow[sx]);
                }
            } else {
                std::memset(arow + x1, opacity, (size_t)(x2 - x1 + 1));
            }
            TIERGB* drow = reinterpret_cast<TIERGB*>(Dest->GetScanline(y));
            if (format == ie1g) {
                const uint8_t* srow = GetScanline(sy);
                for (int32_t x = x1; x <= x2; ++x) {
                    const int32_t sx = columns[x - x1];
                    const uint8_t v = (srow[sx >> 3] & (0x80 >> (sx & 7))) ? 255 : 0;
                    drow[x].r = drow[x].g = drow[x].b = v;
                }
            } else if (format == ie24RGB) {
                const TIERGB* srow = reinterpret_cast<const TIERGB*>(GetScanline(sy));
                if (!scaled) {
                    std::memcpy(drow + x1, srow + SrcX + (x1 - DstX), (size_t)(x2 - x1 + 1) * 3);
                } else {
                    for (int32_t x = x1; x <= x2; ++x) drow[x] = srow[columns[x - x1]];
                }
            }
        }
        dstAlpha->SetFull(false);
    } catch (const std::exception& E) {
        OutputDebugText(L"TIEBitmap.StretchRectTo: drawing stopped: " + Utf8ToWide(E.what()));
    }
}

// ---- AlphaMergeFrom -----------------------------------------------------------------------------

void TIEBitmap::AlphaMergeFrom(TIEBitmap* Source, int32_t DstX, int32_t DstY, int32_t AWidth, int32_t AHeight,
                               int32_t Opacity, TResampleFilter Filter, int32_t Operation, bool Resize, int32_t SrcX,
                               int32_t SrcY) {
    if (!Source || Source->IsEmpty() || IsEmpty()) return;
    if (AWidth == -1) AWidth = Source->GetWidth();
    if (AHeight == -1) AHeight = Source->GetHeight();
    std::unique_ptr<TIEBitmap> resized;
    TIEBitmap* src = Source;
    if (Resize && (AWidth != Source->GetWidth() || AHeight != Source->GetHeight())) {
        if (AWidth < 1 || AHeight < 1) return;
        resized.reset(new TIEBitmap(AWidth, AHeight, Source->GetPixelFormat()));
        IEResampleIEBitmapHook(Source, resized.get(), Filter, nullptr, nullptr);
        src = resized.get();
    }
    if (src->GetPixelFormat() != ie24RGB || GetPixelFormat() != ie24RGB) return;
    int32_t l = 0, m = 0;
    if (DstX < 0) {
        l = -DstX;
        DstX = 0;
    }
    if (DstY < 0) {
        m = -DstY;
        DstY = 0;
    }
    // The span ends Width columns after DstX (as the rows end Height rows after DstY), so a layer
    // placed at DstX >= Width is still drawn.
    const int32_t xEnd = std::min(GetWidth(), AWidth + DstX - l);
    const int32_t yEnd = std::min(GetHeight(), AHeight + DstY - m);
    TIEBitmap* srcAlpha = src->GetAlphaChannel();
    TIEBitmap* dstAlpha = GetAlphaChannel();
    // The source rectangle is read only where it lies inside the source: a caller's rectangle
    // passing its edge would otherwise read past the source rows.
    const int32_t srcW = src->GetWidth(), srcH = src->GetHeight();
    const long double opacity = Clamp255(Opacity);
    // Numbers past the byte range are no operation at all (not their low byte).
    const uint8_t operation = Operation < 0 || Operation > 255 ? 255 : (uint8_t)Operation;
    for (int32_t u = DstY; u < yEnd; ++u) {
        const int32_t sy = u + m + SrcY - DstY;
        if (sy < 0 || sy >= srcH) continue;
        const TIERGB* srow = reinterpret_cast<const TIERGB*>(src->GetScanline(sy));
        const uint8_t* sarow = srcAlpha->GetScanline(sy);
        TIERGB* drow = reinterpret_cast<TIERGB*>(GetScanline(u));
        uint8_t* darow = dstAlpha->GetScanline(u);
        for (int32_t x = DstX; x < xEnd; ++x) {
            const int32_t sx = x - DstX + l + SrcX;
            if (sx < 0 || sx >= srcW) continue;
            const long double a = std::min<long double>(sarow[sx], opacity) / 255.0L;
            const long double b = (1 - a) * darow[x] / 255.0L;
            const long double F = a + b;
            TIERGB c = drow[x];
            IECombinePixel(&srow[sx], &c, operation, u);
            if (F != 0) {
                TIERGB& d = drow[x];
                d.r = (uint8_t)Clamp255((int32_t)Round((c.r * a + d.r * b) / F));
                d.g = (uint8_t)Clamp255((int32_t)Round((c.g * a + d.g * b) / F));
                d.b = (uint8_t)Clamp255((int32_t)Round((c.b * a + d.b * b) / F));
            } else {
                drow[x] = c;
            }
            darow[x] = (uint8_t)Round(F * 255);
        }
    }
    dstAlpha->SetFull(false);
}
