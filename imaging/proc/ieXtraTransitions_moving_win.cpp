// The moving and stretching transitions: the whole new image, or rectangular pieces of it, moved,
// stretched, mirrored or skewed onto the frame, without clip regions. Each procedure starts from
// IEGetTransitionSizes: W x H is the frame, X and Y the progress extents (0 at the start, W and H
// at Progress 100). Procedures that draw part of the frame leave the rest as the previous frame
// left it.
#include "ieXtraTransitions.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ieXtraTransitions_moving.h"

namespace {

struct TSizes {
    int32_t W, H, X, Y;
};

TSizes Sizes(const RECT& ARect, int32_t Progress) {
    TSizes s{};
    IEGetTransitionSizes(ARect, Progress, s.W, s.H, s.X, s.Y);
    return s;
}

HDC DC(TBitmap* Bitmap) { return Bitmap->Canvas()->Handle(); }

// The new image's pixels at (SX, SY) onto the frame at (X, Y), W x H.
void Copy(TCanvas* Canvas, TBitmap* Image, int32_t X, int32_t Y, int32_t W, int32_t H, int32_t SX, int32_t SY) {
    BitBlt(Canvas->Handle(), X, Y, W, H, DC(Image), SX, SY, SRCCOPY);
}

// The image's rectangle (SX, SY, SW, SH) stretched into (X, Y, W, H) with the canvas's stretch mode.
void Stretch(TCanvas* Canvas, TBitmap* Image, int32_t X, int32_t Y, int32_t W, int32_t H, int32_t SX, int32_t SY,
             int32_t SW, int32_t SH) {
    StretchBlt(Canvas->Handle(), X, Y, W, H, DC(Image), SX, SY, SW, SH, SRCCOPY);
}

// The previous frame's pixels moved within the frame (GDI copies overlapping areas correctly).
void FrameCopy(TCanvas* Canvas, int32_t X, int32_t Y, int32_t W, int32_t H, int32_t SX, int32_t SY) {
    HDC dc = Canvas->Handle();
    BitBlt(dc, X, Y, W, H, dc, SX, SY, SRCCOPY);
}

// The previous frame's rectangle (SX, SY, SW, SH) stretched into (X, Y, W, H). The source is copied
// aside first: a stretch whose source and destination overlap on one surface may read pixels it
// has already written.
void FrameStretch(TCanvas* Canvas, int32_t X, int32_t Y, int32_t W, int32_t H, int32_t SX, int32_t SY, int32_t SW,
                  int32_t SH) {
    if (W <= 0 || H <= 0 || SW <= 0 || SH <= 0) return;
    TBitmap copy;
    copy.SetPixelFormat(pf24bit);
    copy.SetSize(SW, SH);
    HDC dc = Canvas->Handle();
    BitBlt(DC(&copy), 0, 0, SW, SH, dc, SX, SY, SRCCOPY);
    StretchBlt(dc, X, Y, W, H, DC(&copy), 0, 0, SW, SH, SRCCOPY);
}

// The horizontal unroll's strip width for extent X of W (the vertical one the same with H and Y):
// half the revealed part near the start, half the rest near the end, a tenth of W between.
int32_t UnrollStrip(int32_t W, int32_t X) {
    if (X < W / 5) return X / 2;
    if (W - X < W / 5) return (W - X) / 2;
    return W / 10;
}

// The twist of one source rectangle of Image onto the parallelogram of three corners.
void Twist(TCanvas* Canvas, TBitmap* Image, int32_t SX, int32_t SY, int32_t SW, int32_t SH, POINT P0, POINT P1,
           POINT P2) {
    const POINT points[3] = {P0, P1, P2};
    IEPlgBlt(Canvas->Handle(), points, Image, SX, SY, SW, SH);
}

// The 6 x 4 grid of the multiple twists: each cell of Image turned onto its own parallelogram.
void TwistGrid(TCanvas* Canvas, TBitmap* Image, const RECT& ARect, int32_t Step, bool In) {
    const int32_t W = ARect.right - ARect.left, H = ARect.bottom - ARect.top;
    const int32_t cw = (int32_t)std::nearbyint(W / 6.0L), ch = (int32_t)std::nearbyint(H / 4.0L);
    const int32_t mx = IEMulDiv(cw, Step, 1024), my = IEMulDiv(ch, Step, 1024);
    const int32_t dx = In ? (cw - mx) / 2 : mx / 2, dy = In ? (ch - my) / 2 : my / 2;
    // The corners of In reach one pixel past the cell, so that neighbouring cells close up.
    const int32_t out = In ? 1 : 0;
    for (int32_t i = 0; i < 4; ++i)
        for (int32_t j = 0; j < 6; ++j) {
            const int32_t x0 = j * cw, y0 = i * ch;
            Twist(Canvas, Image, x0, y0, cw, ch, POINT{x0 + dx, y0 + dy}, POINT{x0 + cw, y0 - out},
                  POINT{x0 - out, y0 + ch});
        }
}

}  // namespace

void IEStretchMirrored(TCanvas* Canvas, const RECT& Dest, TBitmap* Bitmap, const RECT& Src, bool MirrorH,
                       bool MirrorV) {
    const RECT src{std::max<LONG>(Src.left, 0), std::max<LONG>(Src.top, 0),
                   std::min<LONG>(Src.right, Bitmap->Width()), std::min<LONG>(Src.bottom, Bitmap->Height())};
    const int32_t w = Dest.right - Dest.left, h = Dest.bottom - Dest.top;
    const int32_t sw = src.right - src.left, sh = src.bottom - src.top;
    if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0) return;
    // The stretch goes into a work bitmap of Dest's size whose rows or columns are then reversed:
    // GDI's mirroring through negative sizes does not cover the same pixels everywhere.
    TBitmap work;
    work.SetPixelFormat(pf24bit);
    work.SetSize(w, h);
    HDC workDC = DC(&work);
    SetStretchBltMode(workDC, HALFTONE);
    SetBrushOrgEx(workDC, 0, 0, nullptr);
    StretchBlt(workDC, 0, 0, w, h, DC(Bitmap), src.left, src.top, sw, sh, SRCCOPY);
    GdiFlush();
    if (MirrorH)
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = (uint8_t*)work.ScanLine(y);
            for (int32_t a = 0, b = w - 1; a < b; ++a, --b) std::swap_ranges(row + a * 3, row + a * 3 + 3, row + b * 3);
        }
    if (MirrorV)
        for (int32_t a = 0, b = h - 1; a < b; ++a, --b)
            std::swap_ranges((uint8_t*)work.ScanLine(a), (uint8_t*)work.ScanLine(a) + (size_t)w * 3,
                             (uint8_t*)work.ScanLine(b));
    HDC dc = Canvas->Handle();
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    BitBlt(dc, Dest.left, Dest.top, w, h, workDC, 0, 0, SRCCOPY);
}

// ---- Expand: the whole new image compressed into an area growing with the progress -------------

IE_EFFECT_PROC(IEExpandFromLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, 0, 0, s.X, s.H, 0, 0, s.W, s.H);
}
IE_EFFECT_PROC(IEExpandFromRight) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, s.W - s.X, 0, s.X, s.H, 0, 0, s.W, s.H);
}
IE_EFFECT_PROC(IEExpandFromTop) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, 0, 0, s.W, s.Y, 0, 0, s.W, s.H);
}
IE_EFFECT_PROC(IEExpandFromBottom) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, 0, s.H - s.Y, s.W, s.Y, 0, 0, s.W, s.H);
}
IE_EFFECT_PROC(IEExpandFromTopLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, 0, 0, s.X, s.Y, 0, 0, s.W, s.H);
}
IE_EFFECT_PROC(IEExpandFromTopRight) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, s.W - s.X, 0, s.X, s.Y, 0, 0, s.W, s.H);
}
IE_EFFECT_PROC(IEExpandFromBottomLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, 0, s.H - s.Y, s.X, s.Y, 0, 0, s.W, s.H);
}
IE_EFFECT_PROC(IEExpandFromBottomRight) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, s.W - s.X, s.H - s.Y, s.X, s.Y, 0, 0, s.W, s.H);
}
IE_EFFECT_PROC(IEExpandInFromSides) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, 0, 0, s.X / 2, s.H, 0, 0, s.W / 2, s.H);
    Stretch(Canvas, NewImage, s.W - s.X / 2, 0, s.X / 2, s.H, s.W / 2, 0, s.W / 2, s.H);
}
IE_EFFECT_PROC(IEExpandInFromTopAndBottom) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, 0, 0, s.W, s.Y / 2, 0, 0, s.W, s.H / 2);
    Stretch(Canvas, NewImage, 0, s.H - s.Y / 2, s.W, s.Y / 2, 0, s.H / 2, s.W, s.H / 2);
}
IE_EFFECT_PROC(IEExpandOutFromHorizon) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, 0, (s.H - s.Y) / 2, s.W, s.Y, 0, 0, s.W, s.H);
}
IE_EFFECT_PROC(IEExpandOutFromVerticalCenter) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, (s.W - s.X) / 2, 0, s.X, s.H, 0, 0, s.W, s.H);
}
IE_EFFECT_PROC(IEQuartersExpandToCenter) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t x = s.X / 2, y = s.Y / 2, w = s.W / 2, h = s.H / 2;
    Stretch(Canvas, NewImage, 0, 0, x, y, 0, 0, w, h);
    Stretch(Canvas, NewImage, 0, s.H - y, x, y, 0, h, w, h);
    Stretch(Canvas, NewImage, s.W - x, s.H - y, x, y, w, h, w, h);
    Stretch(Canvas, NewImage, s.W - x, 0, x, y, w, 0, w, h);
}

// ---- Expand in: a growing part of the new image, magnified, shrinking to its own size ----------

IE_EFFECT_PROC(IEExpandInFromLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, s.X - s.W, 0, 2 * s.W - s.X, s.H, s.W - s.X, 0, s.X, s.H);
}
IE_EFFECT_PROC(IEExpandInFromRight) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, 0, 0, 2 * s.W - s.X, s.H, 0, 0, s.X, s.H);
}
IE_EFFECT_PROC(IEExpandInFromTop) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, 0, s.Y - s.H, s.W, 2 * s.H - s.Y, 0, s.H - s.Y, s.W, s.Y);
}
IE_EFFECT_PROC(IEExpandInFromBottom) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, 0, 0, s.W, 2 * s.H - s.Y, 0, 0, s.W, s.Y);
}
IE_EFFECT_PROC(IEExpandInToVerticalCenter) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, s.X - s.W, 0, 3 * s.W - 2 * s.X, s.H, (s.W - s.X) / 2, 0, s.X, s.H);
}
IE_EFFECT_PROC(IEExpandInToHorizon) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, 0, s.Y - s.H, s.W, 3 * s.H - 2 * s.Y, 0, (s.H - s.Y) / 2, s.W, s.Y);
}

// ---- Shrink: the new image magnified about a corner or the centre over the whole frame ---------

IE_EFFECT_PROC(IEShrinkToTopLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, 0, 0, 2 * s.W - s.X, 2 * s.H - s.Y, 0, 0, s.X, s.Y);
}
IE_EFFECT_PROC(IEShrinkToTopRight) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, s.X - s.W, 0, 2 * s.W - s.X, 2 * s.H - s.Y, s.W - s.X, 0, s.X, s.Y);
}
IE_EFFECT_PROC(IEShrinkToBottomLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, 0, s.Y - s.H, 2 * s.W - s.X, 2 * s.H - s.Y, 0, s.H - s.Y, s.X, s.Y);
}
IE_EFFECT_PROC(IEShrinkToBottomRight) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, s.X - s.W, s.Y - s.H, 2 * s.W - s.X, 2 * s.H - s.Y, s.W - s.X, s.H - s.Y, s.X, s.Y);
}
IE_EFFECT_PROC(IEShrinkToCenter) {
    const TSizes s = Sizes(ARect, Progress);
    Stretch(Canvas, NewImage, s.X - s.W, s.Y - s.H, 3 * s.W - 2 * s.X, 3 * s.H - 2 * s.Y, (s.W - s.X) / 2,
            (s.H - s.Y) / 2, s.X, s.Y);
}

// ---- Wipes: pieces of the new image copied to their own place ----------------------------------

IE_EFFECT_PROC(IEWipeFromTopLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Copy(Canvas, NewImage, 0, 0, s.X, s.Y, 0, 0);
}
IE_EFFECT_PROC(IEWipeFromTopRight) {
    const TSizes s = Sizes(ARect, Progress);
    Copy(Canvas, NewImage, s.W - s.X, 0, s.X, s.Y, s.W - s.X, 0);
}
IE_EFFECT_PROC(IEWipeFromBottomLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Copy(Canvas, NewImage, 0, s.H - s.Y, s.X, s.Y, 0, s.H - s.Y);
}
IE_EFFECT_PROC(IEWipeFromBottomRight) {
    const TSizes s = Sizes(ARect, Progress);
    Copy(Canvas, NewImage, s.W - s.X, s.H - s.Y, s.X, s.Y, s.W - s.X, s.H - s.Y);
}
IE_EFFECT_PROC(IEWipeInFromTopAndBottom) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t y = s.Y / 2;
    Copy(Canvas, NewImage, 0, 0, s.W, y, 0, 0);
    Copy(Canvas, NewImage, 0, s.H - y, s.W, y, 0, s.H - y);
}
IE_EFFECT_PROC(IEWipeFromHorizon) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t y = (s.H - s.Y) / 2;
    Copy(Canvas, NewImage, 0, y, s.W, s.Y, 0, y);
}
IE_EFFECT_PROC(IEWipeInFromSides) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t x = s.X / 2;
    Copy(Canvas, NewImage, 0, 0, x, s.H, 0, 0);
    Copy(Canvas, NewImage, s.W - x, 0, x, s.H, s.W - x, 0);
}
IE_EFFECT_PROC(IEWipeOutFromVerticalCenter) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t x = (s.W - s.X) / 2;
    Copy(Canvas, NewImage, x, 0, s.X, s.H, x, 0);
}
IE_EFFECT_PROC(IEQuartersWipeInToCenter) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t x = s.X / 2, y = s.Y / 2;
    Copy(Canvas, NewImage, 0, 0, x, y, 0, 0);
    Copy(Canvas, NewImage, 0, s.H - y, x, y, 0, s.H - y);
    Copy(Canvas, NewImage, s.W - x, s.H - y, x, y, s.W - x, s.H - y);
    Copy(Canvas, NewImage, s.W - x, 0, x, y, s.W - x, 0);
}

// ---- Slides: the whole new image moved in -------------------------------------------------------

IE_EFFECT_PROC(IESlideInFromLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Copy(Canvas, NewImage, s.X - s.W, 0, s.W, s.H, 0, 0);
}
IE_EFFECT_PROC(IESlideInFromRight) {
    const TSizes s = Sizes(ARect, Progress);
    Copy(Canvas, NewImage, s.W - s.X, 0, s.W, s.H, 0, 0);
}
IE_EFFECT_PROC(IESlideInFromTop) {
    const TSizes s = Sizes(ARect, Progress);
    Copy(Canvas, NewImage, 0, s.Y - s.H, s.W, s.H, 0, 0);
}
IE_EFFECT_PROC(IESlideInFromBottom) {
    const TSizes s = Sizes(ARect, Progress);
    Copy(Canvas, NewImage, 0, s.H - s.Y, s.W, s.H, 0, 0);
}
IE_EFFECT_PROC(IEQuartersSlideInToCenter) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t x = s.X / 2, y = s.Y / 2, w = s.W / 2, h = s.H / 2;
    Copy(Canvas, NewImage, x - w, 0, w, h, 0, 0);             // top left, from the left
    Copy(Canvas, NewImage, w, y - h, w, h, w, 0);             // top right, from the top
    Copy(Canvas, NewImage, s.W - x, h, w, h, w, h);           // bottom right, from the right
    Copy(Canvas, NewImage, 0, s.H - y, w, h, 0, h);           // bottom left, from the bottom
}

// ---- Build up: the revealed part in place, a band of the new image stretched over the rest -----

IE_EFFECT_PROC(IEBuildUpFromLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Copy(Canvas, NewImage, s.W - s.X, 0, s.X, s.H, s.W - s.X, 0);
    const int32_t b = std::max(s.W - s.X - s.W / 10, 0);
    Stretch(Canvas, NewImage, 0, 0, s.W - s.X, s.H, b, 0, s.W - s.X - b, s.H);
}
IE_EFFECT_PROC(IEBuildUpFromRight) {
    const TSizes s = Sizes(ARect, Progress);
    Copy(Canvas, NewImage, 0, 0, s.X, s.H, 0, 0);
    Stretch(Canvas, NewImage, s.X, 0, s.W - s.X, s.H, s.X, 0, std::min(s.W - s.X, s.W / 10), s.H);
}
IE_EFFECT_PROC(IEBuildUpFromTop) {
    const TSizes s = Sizes(ARect, Progress);
    Copy(Canvas, NewImage, 0, s.H - s.Y, s.W, s.Y, 0, s.H - s.Y);
    const int32_t b = std::max(s.H - s.Y - s.H / 10, 0);
    Stretch(Canvas, NewImage, 0, 0, s.W, s.H - s.Y, 0, b, s.W, s.H - s.Y - b);
}
IE_EFFECT_PROC(IEBuildUpFromBottom) {
    const TSizes s = Sizes(ARect, Progress);
    Copy(Canvas, NewImage, 0, 0, s.W, s.Y, 0, 0);
    Stretch(Canvas, NewImage, 0, s.Y, s.W, s.H - s.Y, 0, s.Y, s.W, std::min(s.H - s.Y, s.H / 10));
}

// ---- Unroll: the new image unrolls like paper; the roll shows the next part mirrored -----------

namespace {
void UnrolledPart(TCanvas* Canvas, TBitmap* NewImage, const RECT& Part) {
    Canvas->CopyMode = SRCCOPY;
    Canvas->CopyRect(Part, NewImage->Canvas(), Part);
}
}  // namespace

IE_EFFECT_PROC(IEUnrollFromLeft) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t k = UnrollStrip(s.W, s.X);
    IEStretchMirrored(Canvas, RECT{s.X, ARect.top, s.X + k, ARect.bottom}, NewImage,
                      RECT{s.X + k, ARect.top, s.X + 2 * k, ARect.bottom}, true, false);
    UnrolledPart(Canvas, NewImage, RECT{0, 0, s.X, s.H});
}
IE_EFFECT_PROC(IEUnrollFromRight) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t k = UnrollStrip(s.W, s.X), e = s.W - s.X;
    IEStretchMirrored(Canvas, RECT{e - k, ARect.top, e, ARect.bottom}, NewImage,
                      RECT{e - 2 * k, ARect.top, e - k, ARect.bottom}, true, false);
    UnrolledPart(Canvas, NewImage, RECT{e, 0, s.W, s.H});
}
IE_EFFECT_PROC(IEUnrollFromTop) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t k = UnrollStrip(s.H, s.Y);
    IEStretchMirrored(Canvas, RECT{ARect.left, s.Y, ARect.right, s.Y + k}, NewImage,
                      RECT{ARect.left, s.Y + k, ARect.right, s.Y + 2 * k}, false, true);
    UnrolledPart(Canvas, NewImage, RECT{0, 0, s.W, s.Y});
}
IE_EFFECT_PROC(IEUnrollFromBottom) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t k = UnrollStrip(s.H, s.Y), e = s.H - s.Y;
    IEStretchMirrored(Canvas, RECT{ARect.left, e - k, ARect.right, e}, NewImage,
                      RECT{ARect.left, e - 2 * k, ARect.right, e - k}, false, true);
    UnrolledPart(Canvas, NewImage, RECT{0, e, s.W, s.H});
}

// ---- Push and slide out, push and squeeze: the frame's content moves on, the new image enters ---

IE_EFFECT_PROC(IEPushLeftAndSlideOut) {
    const TSizes s = Sizes(ARect, Progress);
    FrameCopy(Canvas, 0, 0, s.W - s.X, s.H, s.X, 0);
    Copy(Canvas, NewImage, s.W - s.X, 0, s.X, s.H, 0, 0);
}
IE_EFFECT_PROC(IEPushRightAndSlideOut) {
    const TSizes s = Sizes(ARect, Progress);
    FrameCopy(Canvas, s.X, 0, s.W - s.X, s.H, 0, 0);
    Copy(Canvas, NewImage, 0, 0, s.X, s.H, s.W - s.X, 0);
}
IE_EFFECT_PROC(IEPushUpAndSlideOut) {
    const TSizes s = Sizes(ARect, Progress);
    FrameCopy(Canvas, 0, 0, s.W, s.H - s.Y, 0, s.Y);
    Copy(Canvas, NewImage, 0, s.H - s.Y, s.W, s.Y, 0, 0);
}
IE_EFFECT_PROC(IEPushDownAndSlideOut) {
    const TSizes s = Sizes(ARect, Progress);
    FrameCopy(Canvas, 0, s.Y, s.W, s.H - s.Y, 0, 0);
    Copy(Canvas, NewImage, 0, 0, s.W, s.Y, 0, s.H - s.Y);
}
IE_EFFECT_PROC(IEPushAndSqueezeLeft) {
    const TSizes s = Sizes(ARect, Progress);
    FrameStretch(Canvas, 0, 0, s.W - s.X, s.H, 0, 0, s.W, s.H);
    Copy(Canvas, NewImage, s.W - s.X, 0, s.X, s.H, 0, 0);
}
IE_EFFECT_PROC(IEPushAndSqueezeRight) {
    const TSizes s = Sizes(ARect, Progress);
    FrameStretch(Canvas, s.X, 0, s.W - s.X, s.H, 0, 0, s.W, s.H);
    Copy(Canvas, NewImage, 0, 0, s.X, s.H, s.W - s.X, 0);
}
IE_EFFECT_PROC(IEPushAndSqueezeUp) {
    const TSizes s = Sizes(ARect, Progress);
    FrameStretch(Canvas, 0, 0, s.W, s.H - s.Y, 0, 0, s.W, s.H);
    Copy(Canvas, NewImage, 0, s.H - s.Y, s.W, s.Y, 0, 0);
}
IE_EFFECT_PROC(IEPushAndSqueezeDown) {
    const TSizes s = Sizes(ARect, Progress);
    FrameStretch(Canvas, 0, s.Y, s.W, s.H - s.Y, 0, 0, s.W, s.H);
    Copy(Canvas, NewImage, 0, 0, s.W, s.Y, 0, s.H - s.Y);
}

// ---- Twists: images skewed onto parallelograms (through IEPlgBlt) -------------------------------

IE_EFFECT_PROC(IETwistIn) {
    const TSizes s = Sizes(ARect, Progress);
    Twist(Canvas, NewImage, 0, 0, s.W, s.H, POINT{(s.W - s.X) / 2, (s.H - s.Y) / 2}, POINT{s.W, 0}, POINT{0, s.H});
}
IE_EFFECT_PROC(IETwistOut) {
    const TSizes s = Sizes(ARect, Progress);
    Copy(Canvas, NewImage, 0, 0, s.W, s.H, 0, 0);
    Twist(Canvas, OldImage, 0, 0, s.W, s.H, POINT{s.X / 2, s.Y / 2}, POINT{s.W, 0}, POINT{0, s.H});
}
// The multiple twists work from Step, not Progress.
IE_EFFECT_PROC(IEMultipleTwistIn) { TwistGrid(Canvas, NewImage, ARect, Step, true); }
IE_EFFECT_PROC(IEMultipleTwistOut) {
    const TSizes s = Sizes(ARect, Progress);
    Copy(Canvas, NewImage, 0, 0, s.W, s.H, 0, 0);
    TwistGrid(Canvas, OldImage, ARect, Step, false);
}
