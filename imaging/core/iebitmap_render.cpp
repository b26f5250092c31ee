// The image buffer's renderer: a rectangle of a bitmap of any pixel format, scaled by nearest pixel
// through column and row tables (or resampled first with a filter), into a rectangle of an ie24RGB
// bitmap, with the source's display settings, a blend operation, a constant transparency and the
// alpha channel. One row loop serves every pixel format and every blend operation; a pixel reader
// per layout turns a source pixel into the displayed triple. Platform-neutral.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

#include "iebitmap.h"
#include "iecoreutils_colour.h"
#include "ieprochooks.h"
#include "picturaio_colour.h"

namespace {

inline uint8_t ClampByte(int64_t V) { return (uint8_t)(V < 0 ? 0 : (V > 255 ? 255 : V)); }

// The display settings of a source as the pixel readers apply them.
struct TDisplay {
    bool Adjust = false;     // offsets or contrast to apply
    int32_t Factor = 65536;  // contrast factor, 16 fractional bits
    long double Gain = 1;    // the same factor as a float (16-bit channels)
    int32_t Offset[3] = {0, 0, 0};   // red, green, blue
    bool Range = false;      // a display range to apply
    long double Low = 0, High = 0;
    int64_t TLow = 0, THigh = 0;

    explicit TDisplay(const TIEBitmap& Source) {
        const int32_t c = Source.Contrast;
        Adjust = Source.ChannelOffsetEnabled || c != 0;
        Gain = c < 0 ? 1.0L - std::sqrt((long double)-c) / 10.0L : (long double)c / 10.0L + 1.0L;
        Factor = (int32_t)Trunc(Gain * 65536.0L);
        if (Source.ChannelOffsetEnabled)
            for (int i = 0; i < 3; ++i) Offset[i] = Source.ChannelOffsets[i];
        Low = Source.DisplayRange[0];
        High = Source.DisplayRange[1];
        Range = High - Low != 0;
        TLow = Trunc(Low);
        THigh = Trunc(High);
    }
    // Offsets and contrast on one 8-bit channel (Index 0 red, 1 green, 2 blue).
    uint8_t Channel(int32_t C, int Index) const {
        return ClampByte(((int64_t)C + Offset[Index] - 128) * Factor / 65536 + 128);
    }
    void Apply(TIERGB& P) const {
        P.r = Channel(P.r, 0);
        P.g = Channel(P.g, 1);
        P.b = Channel(P.b, 2);
    }
    // Offsets and contrast on one 16-bit channel, giving the displayed byte.
    uint8_t Channel16(int32_t C, int Index) const {
        const int64_t v = Trunc(((long double)C + Offset[Index] - 32768) * Gain + 32768);
        return ClampByte(v >= 0 ? v / 256 : -((-v + 255) / 256));
    }
    // The display range on an integer value.
    uint8_t RangeInt(int64_t V) const {
        V = std::max(TLow, std::min(THigh, V));
        return ClampByte(Trunc((long double)(V - TLow) / (High - Low) * 255.0L));
    }
    uint8_t RangeFloat(long double V) const {
        if (std::isnan(V)) V = Low;
        V = std::max(std::min(Low, High), std::min(std::max(Low, High), V));
        return ClampByte(Trunc((V - Low) / (High - Low) * 255.0L));
    }
};

// What one call draws: the destination rows and the clipped span, the maps indexed from its
// top-left, and the blending settings.
struct TRenderJob {
    TIEBitmap* Source;
    uint8_t* const* DestRows;
    const int32_t* ColumnMap;
    const int32_t* RowMap;
    int32_t Left, Top, Right, Bottom;
    bool RowCopy;
    bool Blend;            // the blending renderer
    bool UseAlphaNow;      // the source's alpha channel weighs each pixel
    int32_t Transparency;  // 0..255
    uint8_t Operation;     // 0 when the format takes no operation
};

// The pixel readers: Row(s) selects a source row, Pixel(x) gives its displayed triple.
struct TRead24 {
    const TDisplay& D;
    bool Opaque;
    const TIERGB* R = nullptr;
    TIEBitmap* S;
    void Row(int32_t y) { R = reinterpret_cast<const TIERGB*>(S->GetScanline(y)); }
    TIERGB Pixel(int32_t x) const {
        TIERGB p = R[x];
        if (D.Adjust) D.Apply(p);
        if (Opaque && D.Range) {
            p.r = D.RangeInt(p.r);
            p.g = D.RangeInt(p.g);
            p.b = D.RangeInt(p.b);
        }
        return p;
    }
};
struct TRead32 {
    const TDisplay& D;
    const uint8_t* R = nullptr;
    TIEBitmap* S;
    void Row(int32_t y) { R = S->GetScanline(y); }
    TIERGB Pixel(int32_t x) const {
        TIERGB p{R[4 * x], R[4 * x + 1], R[4 * x + 2]};
        if (D.Adjust) D.Apply(p);
        return p;
    }
};
struct TRead1 {
    const uint8_t* R = nullptr;
    TIEBitmap* S;
    void Row(int32_t y) { R = S->GetScanline(y); }
    TIERGB Pixel(int32_t x) const {
        const uint8_t v = (R[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        return TIERGB{v, v, v};
    }
};
struct TRead8g {
    const TDisplay& D;
    const uint8_t* R = nullptr;
    TIEBitmap* S;
    void Row(int32_t y) { R = S->GetScanline(y); }
    TIERGB Pixel(int32_t x) const {
        const uint8_t v = D.Range ? D.RangeInt(R[x]) : R[x];
        return TIERGB{v, v, v};
    }
};
struct TRead8p {
    const TIERGB* Palette;
    int32_t Count;
    const uint8_t* R = nullptr;
    TIEBitmap* S;
    void Row(int32_t y) { R = S->GetScanline(y); }
    // An index past the palette shows black rather than memory after it.
    TIERGB Pixel(int32_t x) const { return R[x] < Count ? Palette[R[x]] : TIERGB{0, 0, 0}; }
};
struct TRead16g {
    const TDisplay& D;
    const uint8_t* R = nullptr;
    TIEBitmap* S;
    void Row(int32_t y) { R = S->GetScanline(y); }
    TIERGB Pixel(int32_t x) const {
        uint16_t w;
        std::memcpy(&w, R + 2 * (size_t)x, 2);
        const uint8_t v = D.Range ? D.RangeInt(w) : (uint8_t)(w >> 8);
        return TIERGB{v, v, v};
    }
};
struct TRead32f {
    const TDisplay& D;
    const uint8_t* R = nullptr;
    TIEBitmap* S;
    void Row(int32_t y) { R = S->GetScanline(y); }
    TIERGB Pixel(int32_t x) const {
        float f;
        std::memcpy(&f, R + 4 * (size_t)x, 4);
        uint8_t v;
        if (D.Range) v = D.RangeFloat(f);
        else v = std::isnan(f) ? 0 : ClampByte(Trunc(std::max(-1.0L, std::min(256.0L, (long double)f * 255.0L))));
        return TIERGB{v, v, v};
    }
};
struct TReadCMYK {
    const uint8_t* R = nullptr;
    TIEBitmap* S;
    void Row(int32_t y) { R = S->GetScanline(y); }
    TIERGB Pixel(int32_t x) const {
        TIERGB p;
        IECMYKToRGB(R + 4 * (size_t)x, p);
        return p;
    }
};
struct TReadLab {
    const uint8_t* R = nullptr;
    TIEBitmap* S;
    void Row(int32_t y) { R = S->GetScanline(y); }
    TIERGB Pixel(int32_t x) const {
        const uint8_t* p = R + 3 * (size_t)x;
        return IECIELabToRGB((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16);
    }
};
struct TRead48 {
    const TDisplay& D;
    const uint8_t* R = nullptr;
    TIEBitmap* S;
    void Row(int32_t y) { R = S->GetScanline(y); }
    TIERGB Pixel(int32_t x) const {
        uint16_t w[3];   // red, green, blue
        std::memcpy(w, R + 6 * (size_t)x, 6);
        if (!D.Adjust) return TIERGB{(uint8_t)(w[2] >> 8), (uint8_t)(w[1] >> 8), (uint8_t)(w[0] >> 8)};
        return TIERGB{D.Channel16(w[2], 2), D.Channel16(w[1], 1), D.Channel16(w[0], 0)};
    }
};
struct TReadVirtual {
    const TDisplay& D;
    int32_t Y = 0;
    TIEBitmap* S;
    void Row(int32_t y) { Y = y; }
    TIERGB Pixel(int32_t x) const {
        TIERGB p{0, 0, 0};
        S->VirtualPixelEvent(S, x, Y, &p);
        if (D.Adjust) D.Apply(p);
        return p;
    }
};

// d moves towards s by the weight u of 256: d + floor(u (s - d) / 256).
inline uint8_t BlendChannel(int32_t d, int32_t s, int32_t u) { return (uint8_t)(d + ((u * (s - d)) >> 8)); }

// The row loop shared by every format. CopiesRows: the format duplicates a destination row that
// shows the same source row as the row above.
template <class TRead>
void RenderRows(const TRenderJob& J, TRead& Read, bool CopiesRows) {
    TIEBitmap* alpha = J.UseAlphaNow ? J.Source->GetAlphaChannel() : nullptr;
    const size_t spanBytes = (size_t)(J.Right - J.Left + 1) * 3;
    int32_t previous = -1;
    for (int32_t y = J.Top; y <= J.Bottom; ++y) {
        const int32_t s = J.RowMap[y - J.Top];
        uint8_t* drow = J.DestRows[y];
        // Only the span is copied: the pixels of the row outside the drawn rectangle stay.
        if (CopiesRows && J.RowCopy && y > J.Top && s == previous) {
            std::memcpy(drow + (size_t)J.Left * 3, J.DestRows[y - 1] + (size_t)J.Left * 3, spanBytes);
            continue;
        }
        previous = s;
        Read.Row(s);
        const uint8_t* arow = alpha ? alpha->GetScanline(s) : nullptr;
        TIERGB* d = reinterpret_cast<TIERGB*>(drow) + J.Left;
        for (int32_t x = J.Left; x <= J.Right; ++x, ++d) {
            const int32_t sx = J.ColumnMap[x - J.Left];
            TIERGB p = Read.Pixel(sx);
            if (!J.Blend) {
                if (J.Operation) IECombinePixel(&p, d, J.Operation, y);
                else *d = p;
                continue;
            }
            if (J.Operation) {
                TIERGB c = *d;
                IECombinePixel(&p, &c, J.Operation, y);
                p = c;
            }
            const int32_t u = arow ? std::min<int32_t>(J.Transparency, arow[sx]) : J.Transparency;
            d->r = BlendChannel(d->r, p.r, u);
            d->g = BlendChannel(d->g, p.g, u);
            d->b = BlendChannel(d->b, p.b, u);
        }
    }
}

// Calls the row loop with the pixel reader of the source's format; False when the source cannot
// be drawn (a palette bitmap without palette, a virtual bitmap without event, no format).
bool RenderFormat(TRenderJob J) {
    TIEBitmap* S = J.Source;
    const TDisplay D(*S);
    switch (S->GetPixelFormat()) {
    case ie24RGB: { TRead24 r{D, !J.Blend, nullptr, S}; RenderRows(J, r, true); return true; }
    case ie32RGB: { TRead32 r{D, nullptr, S}; RenderRows(J, r, true); return true; }
    case ie1g: { J.Operation = 0; TRead1 r{nullptr, S}; RenderRows(J, r, true); return true; }
    case ie8g: { J.Operation = 0; TRead8g r{D, nullptr, S}; RenderRows(J, r, false); return true; }
    case ie8p: {
        if (!S->GetPalette() || S->GetPaletteLength() <= 0) return false;
        J.Operation = 0;
        TRead8p r{S->GetPalette(), S->GetPaletteLength(), nullptr, S};
        RenderRows(J, r, false);
        return true;
    }
    case ie16g: { J.Operation = 0; TRead16g r{D, nullptr, S}; RenderRows(J, r, false); return true; }
    case ie32f: { J.Operation = 0; TRead32f r{D, nullptr, S}; RenderRows(J, r, false); return true; }
    case ieCMYK: { J.Operation = 0; TReadCMYK r{nullptr, S}; RenderRows(J, r, false); return true; }
    case ieCIELab: { J.Operation = 0; TReadLab r{nullptr, S}; RenderRows(J, r, false); return true; }
    case ieRGB48: { TRead48 r{D, nullptr, S}; RenderRows(J, r, false); return true; }
    case ieVirtual: {
        if (!S->VirtualPixelEvent) return false;
        TReadVirtual r{D, 0, S};
        RenderRows(J, r, false);
        return true;
    }
    default: return false;
    }
}

// Sets a bitmap's Access for the life of the object and restores it.
class TAccessScope {
public:
    TAccessScope(TIEBitmap& Bitmap, TIEDataAccess Value) : FBitmap(Bitmap), FSaved(Bitmap.Access) { Bitmap.Access = Value; }
    ~TAccessScope() { FBitmap.Access = FSaved; }
    TAccessScope(const TAccessScope&) = delete;
    TAccessScope& operator=(const TAccessScope&) = delete;

private:
    TIEBitmap& FBitmap;
    TIEDataAccess FSaved;
};

inline int32_t ClampInt(int64_t V, int64_t Low, int64_t High) {
    return (int32_t)(V < Low ? Low : (V > High ? High : V));
}

}   // namespace

void TIEBitmap::RenderToTIEBitmapEx(TIEBitmap* Dest, std::vector<uint8_t*>& DestRows, std::vector<int32_t>& ColumnMap,
                                    std::vector<int32_t>& RowMap, const TIERect* ClipRect, int32_t DstX, int32_t DstY,
                                    int32_t DstWidth, int32_t DstHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                                    int32_t SrcHeight, bool UseAlpha, bool RowCopy, int32_t Transparency,
                                    TResampleFilter Filter, bool FreeCaches, uint8_t Operation) {
    if (!Dest || Dest->GetPixelFormat() != ie24RGB) return;
    // A file-located destination hands out one valid row at a time: the row table would dangle.
    if (Dest->GetLocation() == ieFile) {
        OutputDebugText(L"TIEBitmap.RenderToTIEBitmapEx: a file-located destination cannot be drawn into");
        return;
    }
    TAccessScope access(*this, iedRead);
    const int32_t destW = Dest->GetWidth(), destH = Dest->GetHeight();
    const int32_t srcW = GetWidth(), srcH = GetHeight();
    if (DstWidth == 0 || DstHeight == 0 || SrcWidth == 0 || SrcHeight == 0) return;
    if (DstY > destH - 1 || DstX > destW - 1 || srcW <= 0 || srcH <= 0) return;
    const long double ratioY = (long double)SrcHeight / DstHeight;
    const long double ratioX = (long double)SrcWidth / DstWidth;
    // Rectangles reaching past the top-left are cut, the source following by the ratio; then
    // those passing the bottom-right.
    int64_t dstX = DstX, dstY = DstY, dstW = DstWidth, dstH = DstHeight;
    int64_t srcX = SrcX, srcY = SrcY, srcWd = SrcWidth, srcHt = SrcHeight;
    if (dstY < 0) {
        const int64_t c = -dstY, r = Round(c * ratioY);
        dstY = 0;
        dstH -= c;
        srcY += r;
        srcHt -= r;
    }
    if (dstX < 0) {
        const int64_t c = -dstX, r = Round(c * ratioX);
        dstX = 0;
        dstW -= c;
        srcX += r;
        srcWd -= r;
    }
    if (dstY + dstH > destH) {
        const int64_t o = dstY + dstH - destH;
        dstH = destH - dstY;
        srcHt -= Trunc(o * ratioY);
    }
    if (dstX + dstW > destW) {
        const int64_t o = dstX + dstW - destW;
        dstW = destW - dstX;
        srcWd -= Trunc(o * ratioX);
    }
    const int32_t dx = ClampInt(dstX, 0, destW - 1), dy = ClampInt(dstY, 0, destH - 1);
    const int32_t dw = ClampInt(dstW, 0, destW), dh = ClampInt(dstH, 0, destH);
    const int32_t sx = ClampInt(srcX, 0, srcW - 1), sy = ClampInt(srcY, 0, srcH - 1);
    const int32_t sw = ClampInt(srcWd, 0, srcW), sh = ClampInt(srcHt, 0, srcH);
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0) return;
    Transparency = ClampInt(Transparency, 0, 255);
    const TIEPixelFormat format = GetPixelFormat();
    const bool hasAlpha = HasAlphaChannel();

    // Resampling first: the filtered rectangle is drawn by a nested call without filter.
    if (Filter != rfNone && (dw != sw || dh != sh) && (format == ie1g || format == ie24RGB)) {
        const bool project = Filter == rfProjectBW || Filter == rfProjectWB;
        std::unique_ptr<TIEBitmap> scaled;
        try {
            if (sw < dw || format != ie1g || (UseAlpha && hasAlpha) || project) {
                TIEBitmap part(sw, sh, format);
                CopyRectTo(&part, sx, sy, 0, 0, sw, sh);
                const bool withAlpha = UseAlpha && hasAlpha;
                if (withAlpha) {
                    AlphaChannel->CopyRectTo(part.GetAlphaChannel(), sx, sy, 0, 0, sw, sh);
                    part.GetAlphaChannel()->SetFull(AlphaChannel->GetFull());
                }
                scaled.reset(new TIEBitmap(dw, dh, format == ie1g && project ? ie1g : ie24RGB));
                if (format == ie1g) IEResample1BitHook(&part, scaled.get(), Filter);
                else IEResampleHook(&part, scaled.get(), nullptr, Filter, nullptr, nullptr);
                if (withAlpha) {
                    IEResampleGray8Hook(part.GetAlphaChannel(), scaled->GetAlphaChannel(), Filter);
                    scaled->GetAlphaChannel()->SetFull(part.GetAlphaChannel()->GetFull());
                }
            } else {
                scaled.reset(new TIEBitmap(dw, dh, ie24RGB));
                IEResample1BitAverageHook(this, sx, sy, sx + sw - 1, sy + sh - 1, scaled.get());
            }
        } catch (const std::exception& E) {
            OutputDebugText(L"TIEBitmap.RenderToTIEBitmapEx: resampling failed: " + Utf8ToWide(E.what()));
            return;
        }
        for (int i = 0; i < 4; ++i) scaled->ChannelOffsets[i] = ChannelOffsets[i];
        scaled->ChannelOffsetEnabled = ChannelOffsetEnabled;
        scaled->Contrast = Contrast;
        std::vector<int32_t> columns, rows;
        scaled->RenderToTIEBitmapEx(Dest, DestRows, columns, rows, ClipRect, dx, dy, dw, dh, 0, 0, dw, dh, UseAlpha,
                                    RowCopy, Transparency, rfNone, true, Operation);
        return;
    }

    // A cache of another geometry (or none) is rebuilt; what this call builds is freed at the
    // end with FreeCaches.
    const bool builtRows = DestRows.size() != (size_t)destH;
    if (builtRows) {
        DestRows.resize((size_t)destH);
        for (int32_t y = 0; y < destH; ++y) DestRows[y] = Dest->GetScanline(y);
    }
    const int32_t yscale = (int32_t)Trunc((long double)sh / dh * 16384);
    const int32_t xscale = (int32_t)Trunc((long double)sw / dw * 16384);
    const int32_t x2 = std::min(dx + dw - 1, destW - 1), y2 = std::min(dy + dh - 1, destH - 1);
    int32_t left = -2147483646, top = -2147483646, right = 2147483646, bottom = 2147483646;
    if (ClipRect) {
        left = ClipRect->Left;
        top = ClipRect->Top;
        right = ClipRect->Right;
        bottom = ClipRect->Bottom;
    }
    left = ClampInt(std::max(left, dx), 0, destW - 1);
    top = ClampInt(std::max(top, dy), 0, destH - 1);
    right = ClampInt(std::min(right, x2), 0, destW - 1);
    bottom = ClampInt(std::min(bottom, y2), 0, destH - 1);
    const bool givenRows = !RowMap.empty(), givenColumns = !ColumnMap.empty();
    // A caller's map ends where its entries stop being valid source rows or columns.
    auto validEntry = [](const std::vector<int32_t>& Map, int64_t Index, int32_t Size) {
        return Index >= 0 && Index < (int64_t)Map.size() && Map[(size_t)Index] >= 0 && Map[(size_t)Index] < Size;
    };
    if (givenRows)
        while (bottom >= top && !validEntry(RowMap, (int64_t)bottom - top, srcH)) --bottom;
    if (givenColumns)
        while (right >= left && !validEntry(ColumnMap, (int64_t)right - left, srcW)) --right;
    const bool useAlphaNow = UseAlpha && hasAlpha && !AlphaChannel->GetFull();
    const bool blend = Transparency < 255 || useAlphaNow;
    std::vector<int32_t> ownColumns, ownRows;
    try {
        if (right >= left && bottom >= top) {
            TRenderJob job{this,  DestRows.data(), nullptr, nullptr, left,     top,
                           right, bottom,          RowCopy, blend,   useAlphaNow, Transparency,
                           Operation};
            // Unscaled, unadjusted, opaque 24-bit rows are copied span by span (while the span
            // lies inside the source; past it the maps repeat the edge pixels instead).
            const bool fast = yscale == 16384 && xscale == 16384 && format == ie24RGB && !blend &&
                              !ChannelOffsetEnabled && Contrast == 0 && Operation == 0 && DisplayRange[0] == 0 &&
                              DisplayRange[1] == 0 && sx + (right - dx) < srcW && sy + (bottom - dy) < srcH;
            if (fast) {
                const size_t bytes = (size_t)(right - left + 1) * 3;
                for (int32_t y = top; y <= bottom; ++y)
                    std::memcpy(DestRows[y] + (size_t)left * 3, GetScanline(sy + (y - dy)) + (size_t)(sx + (left - dx)) * 3,
                                bytes);
            } else {
                if (!givenColumns) {
                    ownColumns.resize((size_t)(right - left + 1));
                    for (int32_t x = left; x <= right; ++x)
                        ownColumns[x - left] = ClampInt(Trunc((x - dx) * ratioX + sx), 0, srcW - 1);
                }
                if (!givenRows) {
                    ownRows.resize((size_t)(bottom - top + 1));
                    for (int32_t y = top; y <= bottom; ++y)
                        ownRows[y - top] = ClampInt(Trunc((y - dy) * ratioY + sy), 0, srcH - 1);
                }
                job.ColumnMap = givenColumns ? ColumnMap.data() : ownColumns.data();
                job.RowMap = givenRows ? RowMap.data() : ownRows.data();
                RenderFormat(job);
            }
        }
    } catch (const std::exception& E) {
        OutputDebugText(L"TIEBitmap.RenderToTIEBitmapEx: drawing stopped: " + Utf8ToWide(E.what()));
    } catch (...) {
        OutputDebugText(L"TIEBitmap.RenderToTIEBitmapEx: drawing stopped by an unknown exception");
    }
    if (FreeCaches) {
        if (builtRows) DestRows.clear();
    } else {
        if (!givenColumns) ColumnMap.swap(ownColumns);
        if (!givenRows) RowMap.swap(ownRows);
    }
}

void TIEBitmap::RenderToTIEBitmap(TIEBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight,
                                  int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, int32_t Transparency,
                                  TResampleFilter Filter, uint8_t Operation) {
    std::vector<uint8_t*> rows;
    std::vector<int32_t> columnMap, rowMap;
    RenderToTIEBitmapEx(Dest, rows, columnMap, rowMap, nullptr, DstX, DstY, DstWidth, DstHeight, SrcX, SrcY, SrcWidth,
                        SrcHeight, true, false, Transparency, Filter, true, Operation);
}
