// The selection mask: pixels, filling, polygons, moving and copying through the mask.
#include "iemask.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "iebitmap.h"
#include "iecoreutils_general.h"

void TIEMask::EmptyBoundingBox() {
    X1 = EmptyBox;
    Y1 = EmptyBox;
    X2 = 0;
    Y2 = 0;
}

void TIEMask::ClampBox() {
    X1 = std::max(0, std::min(X1, Width - 1));
    Y1 = std::max(0, std::min(Y1, Height - 1));
    X2 = std::max(0, std::min(X2, Width - 1));
    Y2 = std::max(0, std::min(Y2, Height - 1));
}

void TIEMask::WidenBox(int32_t X, int32_t Y) {
    X1 = std::min(X1, X);
    Y1 = std::min(Y1, Y);
    X2 = std::max(X2, X);
    Y2 = std::max(Y2, Y);
}

void TIEMask::Allocate(int32_t AWidth, int32_t AHeight, int32_t ABitsPerPixel) {
    FreeBits();   // the view buffer too
    Width = std::max(AWidth, 0);
    Height = std::max(AHeight, 0);
    // Only 1 and 8 bits are held; any other depth would index 8-bit pixels past short rows.
    BitsPerPixel = ABitsPerPixel == 1 ? 1 : 8;
    RowLen = IECheckedRowLen(Width, BitsPerPixel, 32);
    // A row too long for its length to be held gives a mask without pixels.
    if (RowLen < 0) {
        Width = 0;
        Height = 0;
        RowLen = 0;
    }
    EmptyBoundingBox();
    Full = false;
}

void TIEMask::FreeBits() {
    std::vector<uint8_t>().swap(Bits);
    std::vector<uint8_t>().swap(ViewBuffer);
    ViewRows.clear();
    ViewWidth = 0;
    ViewHeight = 0;
    Width = 0;
    Height = 0;
    BitsPerPixel = 0;
    RowLen = 0;
}

uint8_t* TIEMask::GetBits() {
    const size_t size = (size_t)RowLen * (size_t)Height;
    if (Bits.empty() && size > 0) Bits.assign(size, 0);
    return Bits.data();
}

uint8_t* TIEMask::GetScanline(int32_t Row) {
    return GetBits() + (size_t)RowLen * (size_t)(Height - 1 - Row);
}

void TIEMask::SetPixel(int32_t X, int32_t Y, int32_t Value) {
    if (!Inside(X, Y)) return;
    if (Value != 0) {
        WidenBox(X, Y);
        ClampBox();
    }
    uint8_t* row = GetScanline(Y);
    if (BitsPerPixel == 1) {
        if (Value == 0) Full = false;
        const uint8_t bit = (uint8_t)(0x80 >> (X & 7));
        if (Value != 0) row[X >> 3] |= bit;
        else row[X >> 3] &= (uint8_t)~bit;
    } else {
        if (Value != 255) Full = false;
        row[X] = (uint8_t)Value;
    }
}

int32_t TIEMask::GetPixel(int32_t X, int32_t Y) {
    if (!Inside(X, Y)) return 0;
    const uint8_t* row = GetScanline(Y);
    if (BitsPerPixel == 1) return row[X >> 3] & (0x80 >> (X & 7));
    return row[X];
}

bool TIEMask::IsPointInside(int32_t X, int32_t Y) {
    return HasBits() && GetPixel(X, Y) != 0;
}

void TIEMask::Fill(int32_t Value) {
    uint8_t* bits = GetBits();
    if (bits) std::memset(bits, Value & 0xFF, (size_t)RowLen * (size_t)Height);
    Full = Value == 255;
}

void TIEMask::Clear() {
    if (HasBits()) Fill(0);
    EmptyBoundingBox();
}

void TIEMask::UpdateBoundingBox() {
    EmptyBoundingBox();
    for (int32_t y = 0; y < Height; ++y) {
        for (int32_t x = 0; x < Width; ++x) {
            if (GetPixel(x, y) != 0) WidenBox(x, y);
        }
    }
}

void TIEMask::UpdateFullFlag() {
    bool full = true;
    for (int32_t y = 0; y < Height && full; ++y) {
        const uint8_t* row = GetScanline(y);
        if (BitsPerPixel == 1) {
            const int32_t whole = Width / 8;
            for (int32_t i = 0; i < whole && full; ++i) full = row[i] == 255;
            for (int32_t x = whole * 8; x < Width && full; ++x) full = (row[x >> 3] & (0x80 >> (x & 7))) != 0;
        } else {
            for (int32_t x = 0; x < Width && full; ++x) full = row[x] == 255;
        }
    }
    Full = full;
}

void TIEMask::Resize(int32_t NewWidth, int32_t NewHeight) {
    NewWidth = std::max(NewWidth, 0);
    NewHeight = std::max(NewHeight, 0);
    int32_t newRowLen = IECheckedRowLen(NewWidth, BitsPerPixel, 32);
    if (newRowLen < 0) {
        NewWidth = 0;
        NewHeight = 0;
        newRowLen = 0;
    }
    if (HasBits()) {
        std::vector<uint8_t> block((size_t)newRowLen * (size_t)NewHeight, 0);
        const int32_t rows = std::min(Height, NewHeight);
        const size_t len = (size_t)std::min(RowLen, newRowLen);
        for (int32_t y = 0; y < rows; ++y) {
            std::memcpy(block.data() + (size_t)newRowLen * (size_t)(NewHeight - 1 - y), GetScanline(y), len);
        }
        Bits.swap(block);
    }
    Width = NewWidth;
    Height = NewHeight;
    RowLen = newRowLen;
    if (X1 < X2) ClampBox();
}

int32_t TIEMask::FillLine(int32_t Value, int32_t AX1, int32_t AX2, int32_t Row) {
    // A mask without pixels has no row to clamp to.
    if (Width <= 0 || Height <= 0) return 0;
    AX1 = std::max(AX1, 0);
    AX2 = std::min(AX2, Width - 1);
    Row = std::min(std::max(Row, 0), Height - 1);
    if (AX2 < AX1) return 0;
    uint8_t* row = GetScanline(Row);
    if (BitsPerPixel == 1) {
        if (Value != 1) Full = false;
        for (int32_t x = AX1; x <= AX2; ++x) {
            const uint8_t bit = (uint8_t)(0x80 >> (x & 7));
            if (Value == 1) row[x >> 3] |= bit;
            else row[x >> 3] &= (uint8_t)~bit;
        }
    } else {
        if (Value != 255) Full = false;
        std::memset(row + AX1, Value & 0xFF, (size_t)(AX2 - AX1 + 1));
    }
    return AX2 - AX1 + 1;
}

void TIEMask::FillPolygons(int32_t Value, const TIEMaskPoint* Points, int32_t Count) {
    int32_t start = 0;
    for (int32_t i = 0; i <= Count; ++i) {
        if (i == Count || Points[i].X == IEMaskPolygonBreak) {
            FillPolygon(Value, Points + start, i - start);
            start = i + 1;
        }
    }
    UpdateFullFlag();
}

namespace {

struct TPolyEdge {
    int32_t X0;     // x at the upper end
    int64_t Y0;     // the upper end's row
    int64_t YEnd;   // the lower end's row
    int64_t DX;
    int64_t DY;     // always positive
};

// The edge's x at row Y (Y0 <= Y <= YEnd) in closed form: what stepping one row at a time gives,
// x + dx div dy a row with an error term moving x one more step whenever it passes dy, is x0 plus
// k dx / dy (k = Y - Y0) rounded to nearest with halves towards x0. Rows above the mask are so
// skipped in one step. All terms stay below 2^64 for 32-bit vertices.
int64_t EdgeX(const TPolyEdge& e, int64_t Y) {
    if (e.DX == 0) return e.X0;
    const uint64_t k = (uint64_t)(Y - e.Y0), dy = (uint64_t)e.DY;
    const uint64_t adx = (uint64_t)(e.DX < 0 ? -e.DX : e.DX);
    const uint64_t whole = adx / dy, part = adx % dy;   // |dx| = whole dy + part
    const uint64_t kp = k * part;                       // k, part < 2^32
    const uint64_t moved = k * whole + kp / dy + (2 * (kp % dy) > dy ? 1 : 0);
    return e.DX < 0 ? e.X0 - (int64_t)moved : e.X0 + (int64_t)moved;
}

// At row Y: orders edges by x and, at equal x, by increasing slope dx / dy (exactly, by the whole
// parts of the slopes first and then their remainders, whose products stay below 2^64).
bool EdgeBefore(const TPolyEdge& a, const TPolyEdge& b, int64_t Y) {
    const int64_t ax = EdgeX(a, Y), bx = EdgeX(b, Y);
    if (ax != bx) return ax < bx;
    auto floorDiv = [](int64_t n, int64_t d) { return n / d - ((n % d != 0 && n < 0) ? 1 : 0); };
    const int64_t qa = floorDiv(a.DX, a.DY), qb = floorDiv(b.DX, b.DY);
    if (qa != qb) return qa < qb;
    return (uint64_t)(a.DX - qa * a.DY) * (uint64_t)b.DY < (uint64_t)(b.DX - qb * b.DY) * (uint64_t)a.DY;
}

}  // namespace

void TIEMask::FillPolygon(int32_t Value, const TIEMaskPoint* Points, int32_t Count) {
    if (Value != 0) {
        for (int32_t i = 0; i < Count; ++i) {
            X1 = std::min(X1, Points[i].X);
            Y1 = std::min(Y1, Points[i].Y);
            if (Points[i].X > X2) X2 = Points[i].X - 1;
            if (Points[i].Y > Y2) Y2 = Points[i].Y - 1;
        }
        ClampBox();
    }
    int64_t written = 0;
    if (Count > 0) {
        int32_t minY = Points[0].Y, maxY = Points[0].Y;
        for (int32_t i = 1; i < Count; ++i) {
            minY = std::min(minY, Points[i].Y);
            maxY = std::max(maxY, Points[i].Y);
        }
        // Edge buckets by upper row, kept sparse so that a tall polygon costs no more than its rows.
        std::vector<std::pair<int64_t, TPolyEdge>> buckets;
        for (int32_t i = 0; i < Count; ++i) {
            TIEMaskPoint a = Points[i];
            TIEMaskPoint b = Points[(i + 1) % Count];
            if (a.Y == b.Y) continue;
            if (a.Y > b.Y) std::swap(a, b);
            buckets.push_back({a.Y, TPolyEdge{a.X, a.Y, b.Y, (int64_t)b.X - a.X, (int64_t)b.Y - a.Y}});
        }
        std::stable_sort(buckets.begin(), buckets.end(),
                         [](const auto& l, const auto& r) { return l.first < r.first; });
        // Only the mask's rows are filled. Above them only the rows where edges start matter: they
        // set the order of the active edges, which is kept as it was made (edges that cross are
        // not reordered).
        const int64_t firstRow = std::max<int64_t>(minY, 0), lastRow = std::min<int64_t>(maxY, (int64_t)Height - 1);
        std::vector<TPolyEdge> active;
        size_t next = 0;
        for (int64_t y = minY; y <= lastRow;) {
            active.erase(std::remove_if(active.begin(), active.end(),
                                        [y](const TPolyEdge& e) { return e.YEnd <= y; }),
                         active.end());
            for (; next < buckets.size() && buckets[next].first == y; ++next) {
                const TPolyEdge& e = buckets[next].second;
                auto at = std::find_if(active.begin(), active.end(),
                                       [&e, y](const TPolyEdge& o) { return EdgeBefore(e, o, y); });
                active.insert(at, e);
            }
            if (y >= firstRow) {
                for (size_t i = 0; i + 1 < active.size(); i += 2) {
                    const int64_t xa = EdgeX(active[i], y), xb = EdgeX(active[i + 1], y);
                    if (xa <= xb - 1) written += FillLine(Value, (int32_t)xa, (int32_t)(xb - 1), (int32_t)y);
                }
            }
            if (active.empty() && next >= buckets.size()) break;
            ++y;
            if (y < firstRow) y = std::min(firstRow, next < buckets.size() ? buckets[next].first : firstRow);
        }
    }
    if (written == 0) EmptyBoundingBox();
}

void TIEMask::Translate(int32_t& DX, int32_t& DY, bool Cut) {
    if (IsEmpty()) UpdateBoundingBox();
    if (IsEmpty()) return;
    if (Cut) {
        X1 = std::max(X1, -DX);
        Y1 = std::max(Y1, -DY);
        X2 = std::min(X2, Width - 1 - DX);
        Y2 = std::min(Y2, Height - 1 - DY);
    } else {
        if (X1 + DX < 0) DX = -X1;
        if (X2 + DX > Width - 1) DX = Width - 1 - X2;
        if (Y1 + DY < 0) DY = -Y1;
        if (Y2 + DY > Height - 1) DY = Height - 1 - Y2;
    }
    if (DX == 0 && DY == 0) return;
    // The box's pixels are taken from a copy of the rows and written back at their new place;
    // a box left empty by the cut only clears the mask.
    const std::vector<uint8_t> old(GetBits(), GetBits() + (size_t)RowLen * (size_t)Height);
    std::memset(Bits.data(), 0, Bits.size());
    for (int32_t y = Y1; y <= Y2; ++y) {
        const uint8_t* src = old.data() + (size_t)RowLen * (size_t)(Height - 1 - y);
        const int32_t ty = y + DY;
        if (ty < 0 || ty >= Height) continue;
        uint8_t* dst = GetScanline(ty);
        for (int32_t x = X1; x <= X2; ++x) {
            const int32_t tx = x + DX;
            if (tx < 0 || tx >= Width) continue;
            if (BitsPerPixel == 1) {
                if (src[x >> 3] & (0x80 >> (x & 7))) dst[tx >> 3] |= (uint8_t)(0x80 >> (tx & 7));
            } else {
                dst[tx] = src[x];
            }
        }
    }
    X1 += DX;
    Y1 += DY;
    X2 += DX;
    Y2 += DY;
    ClampBox();
}

namespace {

// The region of the box that both bitmaps hold: box column x reads the source at x - SrcOffX
// and writes the destination at x - DstOffX.
struct TMaskCopyArea {
    int32_t XFrom, XTo, YFrom, YTo;
    int32_t SrcOffX, SrcOffY, DstOffX, DstOffY;
};

TMaskCopyArea CopyArea(const TIEMask& m, TIEBitmap* Dest, TIEBitmap* Source, bool DestCropped,
                       bool SourceCropped) {
    TMaskCopyArea a{};
    int32_t right = m.X2, bottom = m.Y2;
    if (SourceCropped) {
        right = m.X1 + std::min({m.X2 - m.X1, Source->GetWidth() - 1, Dest->GetWidth() - 1});
        bottom = m.Y1 + std::min({m.Y2 - m.Y1, Source->GetHeight() - 1, Dest->GetHeight() - 1});
    }
    a.SrcOffX = SourceCropped ? m.X1 : 0;
    a.SrcOffY = SourceCropped ? m.Y1 : 0;
    a.DstOffX = DestCropped ? m.X1 : 0;
    a.DstOffY = DestCropped ? m.Y1 : 0;
    // Pixels that either bitmap lacks are skipped rather than reached past its rows.
    a.XFrom = std::max({m.X1, a.SrcOffX, a.DstOffX});
    a.YFrom = std::max({m.Y1, a.SrcOffY, a.DstOffY});
    a.XTo = std::min({right, Source->GetWidth() - 1 + a.SrcOffX, Dest->GetWidth() - 1 + a.DstOffX});
    a.YTo = std::min({bottom, Source->GetHeight() - 1 + a.SrcOffY, Dest->GetHeight() - 1 + a.DstOffY});
    return a;
}

}  // namespace

void TIEMask::CopyThroughMask(TIEBitmap* Dest, TIEBitmap* Source, bool DestCropped, bool SourceCropped,
                              bool IncludeAlpha) {
    if (!Dest || !Source || IsEmpty() || Width <= 0 || Height <= 0) return;
    const TIEPixelFormat format = Source->GetPixelFormat();
    if (Dest->GetPixelFormat() == format) {
        const TMaskCopyArea a = CopyArea(*this, Dest, Source, DestCropped, SourceCropped);
        const bool wholePixels = format == ie24RGB || format == ie8g || format == ie8p || format == ie16g ||
                                 format == ie32f || format == ieCMYK || format == ieRGB48 ||
                                 format == ieCIELab;
        const bool blends = format == ie24RGB || format == ie8g || format == ie8p;
        const size_t bytes = (size_t)IEPixelFormatBitCount[format] / 8;
        for (int32_t y = a.YFrom; y <= a.YTo; ++y) {
            const uint8_t* mrow = GetScanline(y);
            const uint8_t* src = Source->GetScanline(y - a.SrcOffY);
            uint8_t* dst = Dest->GetScanline(y - a.DstOffY);
            for (int32_t x = a.XFrom; x <= a.XTo; ++x) {
                const int32_t sx = x - a.SrcOffX, dx = x - a.DstOffX;
                const int32_t m = BitsPerPixel == 1 ? ((mrow[x >> 3] & (0x80 >> (x & 7))) ? 256 : 0) : mrow[x];
                if (m == 0) continue;
                if (format == ie1g) {
                    const uint8_t bit = (uint8_t)(0x80 >> (dx & 7));
                    if (src[sx >> 3] & (0x80 >> (sx & 7))) dst[dx >> 3] |= bit;
                    else dst[dx >> 3] &= (uint8_t)~bit;
                } else if (m == 256 && wholePixels) {
                    std::memcpy(dst + (size_t)dx * bytes, src + (size_t)sx * bytes, bytes);
                } else if (m < 256 && blends) {
                    for (size_t i = 0; i < bytes; ++i) {
                        uint8_t& d = dst[(size_t)dx * bytes + i];
                        const int32_t s = src[(size_t)sx * bytes + i];
                        // Floor division, also for a negative difference.
                        const int32_t diff = (s - d) * m;
                        d = (uint8_t)(d + (diff >= 0 ? diff / 256 : -((-diff + 255) / 256)));
                    }
                }
            }
        }
    }
    if (IncludeAlpha) CopyAlphaThroughMask(Dest, Source, DestCropped, SourceCropped);
}

void TIEMask::CopyAlphaThroughMask(TIEBitmap* Dest, TIEBitmap* Source, bool DestCropped, bool SourceCropped) {
    if (!Dest || !Source || IsEmpty() || Width <= 0 || Height <= 0) return;
    const TMaskCopyArea a = CopyArea(*this, Dest, Source, DestCropped, SourceCropped);
    TIEBitmap* dstAlpha = Dest->GetAlphaChannel();
    if (!dstAlpha) return;   // Dest is itself an alpha channel: it has none to write
    TIEBitmap* srcAlpha = Source->HasAlphaChannel() ? Source->GetAlphaChannel() : nullptr;
    for (int32_t y = a.YFrom; y <= a.YTo; ++y) {
        const uint8_t* mrow = GetScanline(y);
        const uint8_t* src = srcAlpha ? srcAlpha->GetScanline(y - a.SrcOffY) : nullptr;
        uint8_t* dst = dstAlpha->GetScanline(y - a.DstOffY);
        for (int32_t x = a.XFrom; x <= a.XTo; ++x) {
            const uint8_t alpha = src ? src[x - a.SrcOffX] : 255;
            uint8_t v;
            if (BitsPerPixel == 1) v = (mrow[x >> 3] & (0x80 >> (x & 7))) ? alpha : 0;
            else v = mrow[x] ? std::min(alpha, mrow[x]) : 0;
            dst[x - a.DstOffX] = v;
        }
    }
    // The alpha channel is no longer known to be opaque everywhere: writing a pixel below 255
    // clears its full flag; the pixel then gets its value back.
    if (a.XFrom <= a.XTo && a.YFrom <= a.YTo) {
        const int32_t px = a.XFrom - a.DstOffX, py = a.YFrom - a.DstOffY;
        const uint8_t keep = dstAlpha->GetPixelByte(px, py);
        dstAlpha->SetPixelByte(px, py, 0);
        dstAlpha->SetPixelByte(px, py, keep);
    }
}

void TIEMask::ScaleToView(int32_t AViewWidth, int32_t AViewHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                          int32_t SrcHeight) {
    if (AViewWidth <= 0 || AViewHeight <= 0) return;
    const int32_t viewRowLen = IECheckedRowLen(AViewWidth, BitsPerPixel, 32);
    if (viewRowLen < 0) {
        // A view too wide for its row length to be held gets no buffer.
        std::vector<uint8_t>().swap(ViewBuffer);
        ViewRows.clear();
        ViewWidth = 0;
        ViewHeight = 0;
        return;
    }
    if (AViewWidth != ViewWidth || AViewHeight != ViewHeight || ViewRows.empty()) {
        ViewWidth = AViewWidth;
        ViewHeight = AViewHeight;
        ViewBuffer.assign((size_t)viewRowLen * (size_t)ViewHeight, 0);
        ViewRows.resize((size_t)ViewHeight);
        for (int32_t r = 0; r < ViewHeight; ++r)
            ViewRows[(size_t)r] = ViewBuffer.data() + (size_t)viewRowLen * (size_t)(ViewHeight - 1 - r);
    }
    std::fill(ViewBuffer.begin(), ViewBuffer.end(), 0);
    if (IsEmpty() || SrcWidth <= 0 || SrcHeight <= 0 || Width <= 0 || Height <= 0) return;
    const int64_t yscale = (int64_t)((double)SrcHeight / ViewHeight * 16384);
    const int64_t xscale = (int64_t)((double)SrcWidth / ViewWidth * 16384);
    const int32_t r0 = std::max((int32_t)((double)(Y1 - SrcY) * ViewHeight / SrcHeight), 0);
    const int32_t r1 = std::min((int32_t)((double)(Y2 - SrcY + 1) * ViewHeight / SrcHeight), ViewHeight - 1);
    const int32_t c0 = std::max((int32_t)((double)(X1 - SrcX) * ViewWidth / SrcWidth), 0);
    const int32_t c1 = std::min((int32_t)((double)(X2 - SrcX + 1) * ViewWidth / SrcWidth), ViewWidth - 1);
    for (int32_t r = r0; r <= r1; ++r) {
        const int64_t my = std::min<int64_t>(Height - 1, SrcY + ((yscale * r) >> 14));
        if (my < 0) continue;
        const uint8_t* mrow = GetScanline((int32_t)my);
        uint8_t* vrow = ViewRows[(size_t)r];
        for (int32_t c = c0; c <= c1; ++c) {
            const int64_t mx = SrcX + ((xscale * c) >> 14);
            // Columns the mask does not have stay unset.
            if (mx < 0 || mx >= Width) continue;
            if (BitsPerPixel == 1) {
                if (mrow[mx >> 3] & (0x80 >> (mx & 7))) vrow[c >> 3] |= (uint8_t)(0x80 >> (c & 7));
            } else {
                vrow[c] = mrow[mx];
            }
        }
    }
}

void TIEMask::ShadeUnselected(TIEBitmap* Bitmap, int32_t XDst, int32_t YDst, int32_t AViewWidth,
                              int32_t AViewHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight,
                              int32_t Opacity, TIERGB Colour) {
    if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB) return;
    if (AViewWidth <= 0 || AViewHeight <= 0 || IsEmpty()) return;
    // A view area starting above or left of the bitmap: the part shown from the bitmap's edge on
    // is processed, at the same scale.
    auto fromEdge = [](int32_t& dst, int32_t& view, int32_t& src, int32_t& srcSize) {
        if (dst >= 0) return;
        const int32_t k = (int32_t)std::nearbyint(-(double)dst * srcSize / view);
        view += -dst;
        src += k;
        srcSize += k;
        dst = 0;
    };
    fromEdge(YDst, AViewHeight, SrcY, SrcHeight);
    fromEdge(XDst, AViewWidth, SrcX, SrcWidth);
    ScaleToView(AViewWidth, AViewHeight, SrcX, SrcY, SrcWidth, SrcHeight);
    if (ViewWidth != AViewWidth) return;   // no view buffer of that size
    const int64_t yscale = (int64_t)((double)SrcHeight / ViewHeight * 16384);
    const int64_t xscale = (int64_t)((double)SrcWidth / ViewWidth * 16384);
    if (yscale <= 0 || xscale <= 0) return;
    const int64_t r0 = std::max<int64_t>(((int64_t)-SrcY * 16384) / yscale, 0);
    const int64_t r1 = std::min<int64_t>({((int64_t)(Height - SrcY) * 16384) / yscale + 1, ViewHeight - 1,
                                          Bitmap->GetHeight() - 1});
    const int64_t c0 = std::max<int64_t>(((int64_t)-SrcX * 16384) / xscale, 0);
    const int64_t c1 = std::min<int64_t>({((int64_t)(Width - SrcX) * 16384) / xscale + 1, ViewWidth - 1,
                                          Bitmap->GetWidth() - 1});
    const double o = std::min(std::max(Opacity / 255.0, 0.0), 1.0);   // a byte for every channel
    for (int64_t r = r0; r <= r1; ++r) {
        if (YDst + r >= Bitmap->GetHeight()) break;
        const uint8_t* vrow = ViewRows[(size_t)r];
        TIERGB* row = reinterpret_cast<TIERGB*>(Bitmap->GetScanline((int32_t)(YDst + r)));
        for (int64_t c = c0; c <= c1; ++c) {
            if (XDst + c >= Bitmap->GetWidth()) break;
            const bool selected = BitsPerPixel == 1 ? (vrow[c >> 3] & (0x80 >> (c & 7))) != 0 : vrow[c] != 0;
            if (selected) continue;
            TIERGB& p = row[XDst + c];
            if (Opacity == -1) {
                if (((c + r) & 1) == 0) p = TIERGB{97, 97, 97};
            } else {
                p.r = (uint8_t)(o * Colour.r + (1 - o) * p.r);
                p.g = (uint8_t)(o * Colour.g + (1 - o) * p.g);
                p.b = (uint8_t)(o * Colour.b + (1 - o) * p.b);
            }
        }
    }
}
