#include "ieXtraTransitions_moving.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// A 24- or 32-bit pixel surface the copy writes into: row y (0 = top) at Row(y).
struct TPlgSurface {
    uint8_t* Bits = nullptr;
    ptrdiff_t Stride = 0;     // bytes from one row to the next one down (negative for bottom-up)
    int32_t BytesPerPixel = 0;
    int32_t Width = 0, Height = 0;
    uint8_t* Row(int32_t y) const { return Bits + (ptrdiff_t)y * Stride; }
};

// The surface of a DIB section (24 or 32 bits), or False for anything else.
bool SurfaceOfDib(HBITMAP Bitmap, TPlgSurface& Surface) {
    DIBSECTION ds{};
    if (!Bitmap || GetObjectW(Bitmap, sizeof(ds), &ds) != (int)sizeof(ds) || !ds.dsBm.bmBits) return false;
    if (ds.dsBm.bmBitsPixel != 24 && ds.dsBm.bmBitsPixel != 32) return false;
    const ptrdiff_t rowBytes = ds.dsBm.bmWidthBytes;
    Surface.Width = ds.dsBm.bmWidth;
    Surface.Height = ds.dsBm.bmHeight;
    Surface.BytesPerPixel = ds.dsBm.bmBitsPixel / 8;
    if (ds.dsBmih.biHeight > 0) {   // bottom-up: the top row is the last one in memory
        Surface.Bits = (uint8_t*)ds.dsBm.bmBits + rowBytes * (Surface.Height - 1);
        Surface.Stride = -rowBytes;
    } else {
        Surface.Bits = (uint8_t*)ds.dsBm.bmBits;
        Surface.Stride = rowBytes;
    }
    return true;
}

// The affine map from destination pixel centres back to source coordinates, relative to the
// source rectangle's upper-left corner: u = UA + x·UB + y·UC, v likewise.
struct TInverseMap {
    double UA, UB, UC, VA, VB, VC;
};

bool MakeInverseMap(const POINT Points[3], int32_t SrcWidth, int32_t SrcHeight, TInverseMap& Map) {
    const double e1x = (double)Points[1].x - Points[0].x, e1y = (double)Points[1].y - Points[0].y;
    const double e2x = (double)Points[2].x - Points[0].x, e2y = (double)Points[2].y - Points[0].y;
    const double det = e1x * e2y - e1y * e2x;
    if (det == 0) return false;
    // A destination point d relative to Points[0] is a·e1 + b·e2; u = a·SrcWidth, v = b·SrcHeight.
    const double su = SrcWidth / det, sv = SrcHeight / det;
    const double ox = 0.5 - Points[0].x, oy = 0.5 - Points[0].y;   // pixel centres
    Map.UB = e2y * su;
    Map.UC = -e2x * su;
    Map.UA = (ox * e2y - oy * e2x) * su;
    Map.VB = -e1y * sv;
    Map.VC = e1x * sv;
    Map.VA = (oy * e1x - ox * e1y) * sv;
    return true;
}

// Narrows [Lo, Hi] (integer x) to where Lo ≤ A + x·B < Hi may hold, one pixel wider each side so
// that rounding never loses a pixel; the exact test runs per pixel.
void NarrowSpan(double A, double B, double Lower, double Upper, int32_t& Lo, int32_t& Hi) {
    if (B == 0) {
        if (A < Lower || A >= Upper) Hi = Lo - 1;
        return;
    }
    double t1 = (Lower - A) / B, t2 = (Upper - A) / B;
    if (t1 > t2) std::swap(t1, t2);
    // Clamped to the span before the conversion: a nearly flat map gives bounds far outside int.
    if (t1 > Lo) Lo = (int32_t)std::min<double>(Hi + 1.0, std::floor(t1) - 1);
    if (t2 < Hi) Hi = (int32_t)std::max<double>(Lo - 1.0, std::ceil(t2) + 1);
}

// Draws into Surface, whose pixel (0, 0) is destination point (OriginX, OriginY), within the
// surface's pixels [X0, X1) × [Y0, Y1).
void DrawInto(const TPlgSurface& Surface, int32_t OriginX, int32_t OriginY, int32_t X0, int32_t Y0, int32_t X1,
              int32_t Y1, const TInverseMap& Map, const TPlgSurface& Src, int32_t SrcX, int32_t SrcY,
              double ULo, double UHi, double VLo, double VHi) {
    const int32_t dbpp = Surface.BytesPerPixel, sbpp = Src.BytesPerPixel;
    for (int32_t y = Y0; y < Y1; ++y) {
        const double dy = (double)y + OriginY;
        const double ua = Map.UA + dy * Map.UC + (double)OriginX * Map.UB;
        const double va = Map.VA + dy * Map.VC + (double)OriginX * Map.VB;
        int32_t lo = X0, hi = X1 - 1;
        NarrowSpan(ua, Map.UB, ULo, UHi, lo, hi);
        NarrowSpan(va, Map.VB, VLo, VHi, lo, hi);
        lo = std::max(lo, X0);
        hi = std::min(hi, X1 - 1);
        // The row's pixels inside form one run (u and v are monotonic along it): trim its ends
        // exactly, then every pixel between is inside and needs no test.
        auto inside = [&](int32_t x) {
            const double u = ua + (double)x * Map.UB, v = va + (double)x * Map.VB;
            return u >= ULo && u < UHi && v >= VLo && v < VHi;
        };
        while (lo <= hi && !inside(lo)) ++lo;
        while (hi >= lo && !inside(hi)) --hi;
        if (lo > hi) continue;
        // Along the run u and v step in 32.32 fixed point (the error over a row stays far below a
        // pixel); the clamps only guard the run's last pixel against that error.
        constexpr double kOne = 4294967296.0;
        int64_t uf = (int64_t)std::floor((ua + (double)lo * Map.UB) * kOne);
        int64_t vf = (int64_t)std::floor((va + (double)lo * Map.VB) * kOne);
        // A step wider than any source (a nearly flat map) leaves a run of one pixel; the bound
        // only keeps the conversion defined.
        constexpr double kMaxStep = 1e18;
        const int64_t du = (int64_t)std::clamp(std::floor(Map.UB * kOne), -kMaxStep, kMaxStep);
        const int64_t dv = (int64_t)std::clamp(std::floor(Map.VB * kOne), -kMaxStep, kMaxStep);
        const int32_t uMin = (int32_t)ULo, uMax = (int32_t)UHi - 1, vMin = (int32_t)VLo, vMax = (int32_t)VHi - 1;
        const uint8_t* srcOrigin = Src.Row(SrcY) + (ptrdiff_t)SrcX * sbpp;
        uint8_t* d = Surface.Row(y) + (ptrdiff_t)lo * dbpp;
        for (int32_t x = lo; x <= hi; ++x, d += dbpp, uf += du, vf += dv) {
            const int32_t iu = std::min(std::max((int32_t)(uf >> 32), uMin), uMax);
            const int32_t iv = std::min(std::max((int32_t)(vf >> 32), vMin), vMax);
            const uint8_t* s = srcOrigin + (ptrdiff_t)iv * Src.Stride + (ptrdiff_t)iu * sbpp;
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
        }
    }
}

}  // namespace

bool IEPlgBlt(HDC DestDC, const POINT Points[3], TBitmap* Source, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
              int32_t SrcHeight) {
    if (!DestDC || !Source || SrcWidth <= 0 || SrcHeight <= 0) return false;
    TInverseMap map;
    if (!MakeInverseMap(Points, SrcWidth, SrcHeight, map)) return false;
    // The part of the source rectangle inside the bitmap, in u, v (the map stays the caller's).
    const double uLo = std::max(0, -SrcX), uHi = std::min<int64_t>(SrcWidth, (int64_t)Source->Width() - SrcX);
    const double vLo = std::max(0, -SrcY), vHi = std::min<int64_t>(SrcHeight, (int64_t)Source->Height() - SrcY);
    if (uLo >= uHi || vLo >= vHi) return false;

    // The source's pixels, as a 24-bit copy when it has another format.
    std::unique_ptr<TBitmap> converted;
    TBitmap* src = Source;
    if (Source->PixelFormat() != pf24bit && Source->PixelFormat() != pf32bit) {
        converted = std::make_unique<TBitmap>();
        converted->SetPixelFormat(pf24bit);
        converted->SetSize(Source->Width(), Source->Height());
        BitBlt(converted->Canvas()->Handle(), 0, 0, Source->Width(), Source->Height(), Source->Canvas()->Handle(), 0,
               0, SRCCOPY);
        src = converted.get();
    }
    TPlgSurface srcSurface;
    srcSurface.Bits = (uint8_t*)src->ScanLine(0);
    srcSurface.Stride = src->Height() > 1 ? (uint8_t*)src->ScanLine(1) - srcSurface.Bits : 0;
    srcSurface.BytesPerPixel = src->PixelFormat() == pf32bit ? 4 : 3;
    srcSurface.Width = src->Width();
    srcSurface.Height = src->Height();

    // The destination box: the parallelogram's bounds within the context's clip box.
    const double cx[4] = {(double)Points[0].x, (double)Points[1].x, (double)Points[2].x,
                          (double)Points[1].x + Points[2].x - Points[0].x};
    const double cy[4] = {(double)Points[0].y, (double)Points[1].y, (double)Points[2].y,
                          (double)Points[1].y + Points[2].y - Points[0].y};
    RECT clip;
    if (GetClipBox(DestDC, &clip) == ERROR) return false;
    const int32_t bx0 = (int32_t)std::max<double>(clip.left, std::floor(*std::min_element(cx, cx + 4)));
    const int32_t by0 = (int32_t)std::max<double>(clip.top, std::floor(*std::min_element(cy, cy + 4)));
    const int32_t bx1 = (int32_t)std::min<double>(clip.right, std::ceil(*std::max_element(cx, cx + 4)));
    const int32_t by1 = (int32_t)std::min<double>(clip.bottom, std::ceil(*std::max_element(cy, cy + 4)));
    if (bx0 >= bx1 || by0 >= by1) return true;   // nothing visible

    // Straight into the context's DIB section when nothing but its own pixels stands between:
    // no clip region, no mapping, and the box within its surface.
    TPlgSurface surface;
    POINT viewport{}, window{};
    HRGN probe = CreateRectRgn(0, 0, 0, 0);
    const bool clipped = GetClipRgn(DestDC, probe) != 0;
    DeleteObject(probe);
    GetViewportOrgEx(DestDC, &viewport);
    GetWindowOrgEx(DestDC, &window);
    GdiFlush();
    if (!clipped && viewport.x == 0 && viewport.y == 0 && window.x == 0 && window.y == 0 &&
        GetMapMode(DestDC) == MM_TEXT && SurfaceOfDib((HBITMAP)GetCurrentObject(DestDC, OBJ_BITMAP), surface)) {
        DrawInto(surface, 0, 0, std::max(bx0, 0), std::max(by0, 0), std::min(bx1, surface.Width),
                 std::min(by1, surface.Height), map, srcSurface, SrcX, SrcY, uLo, uHi, vLo, vHi);
        return true;
    }
    // Otherwise through a work bitmap of the box: read, draw, and copy back through the context,
    // whose clip region and mapping then apply.
    TBitmap work;
    work.SetPixelFormat(pf24bit);
    work.SetSize(bx1 - bx0, by1 - by0);
    HDC workDC = work.Canvas()->Handle();
    BitBlt(workDC, 0, 0, bx1 - bx0, by1 - by0, DestDC, bx0, by0, SRCCOPY);
    GdiFlush();
    TPlgSurface workSurface;
    if (!SurfaceOfDib(work.Handle(), workSurface)) return false;
    DrawInto(workSurface, bx0, by0, 0, 0, bx1 - bx0, by1 - by0, map, srcSurface, SrcX, SrcY, uLo, uHi, vLo, vHi);
    BitBlt(DestDC, bx0, by0, bx1 - bx0, by1 - by0, workDC, 0, 0, SRCCOPY);
    return true;
}
