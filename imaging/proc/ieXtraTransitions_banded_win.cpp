// The banded-region transitions: bars, crisscross bars, shreds, specks, blinds, rectangle patterns,
// squares and random boxes. Each collects its rectangles in a TComplexRegion, makes one region of
// them and shows the new image through it.
#include "ieXtraTransitions.h"

#include <algorithm>

// ---- Region builders --------------------------------------------------------------------------------

HRGN IECreateBarsRegion(int32_t XExtent, int32_t YExtent, int32_t Width, int32_t Height, int32_t HorzMode,
                        int32_t VertMode)
{
    const int32_t W = Width, H = Height;
    const int32_t t = std::min(W, H) / 50 + 1;
    TComplexRegion region;
    if (HorzMode != 0) {
        bool second = XExtent > W;
        for (int32_t f = second ? t : 0; f < H + t; f += 2 * t) {
            if (!second) {
                switch (HorzMode) {
                case 1: case 5: region.AddRect(W - XExtent, f, W, f + t); break;
                case 2: case 4: region.AddRect(0, f, XExtent, f + t); break;
                case 3:
                    region.AddRect(0, f + t, XExtent, f + 2 * t);
                    region.AddRect(W - XExtent, f, W, f + t);
                    break;
                default: break;
                }
            } else {
                switch (HorzMode) {
                case 1: case 4: region.AddRect(2 * W - XExtent, f, W, f + t); break;
                case 2: case 5: region.AddRect(0, f, XExtent - W, f + t); break;
                default: break;
                }
                region.AddRect(0, f - t, W, f);   // the bar completed in the first phase
            }
        }
    }
    if (VertMode != 0) {
        bool second = YExtent > H;
        for (int32_t c = second ? t : 0; c < W + t; c += 2 * t) {
            if (!second) {
                switch (VertMode) {
                case 1: case 5: region.AddRect(c, H - YExtent, c + t, H); break;
                case 2: case 4: region.AddRect(c, 0, c + t, YExtent); break;
                case 3:
                    region.AddRect(c, H - YExtent, c + t, H);
                    region.AddRect(c + t, 0, c + 2 * t, YExtent);
                    break;
                default: break;
                }
            } else {
                switch (VertMode) {
                case 1: case 4: region.AddRect(c, 2 * H - YExtent, c + t, H); break;
                case 2: case 5: region.AddRect(c, 0, c + t, YExtent - H); break;
                default: break;
                }
                region.AddRect(c - t, 0, c, H);
            }
        }
    }
    return region.CreateRegion();
}

HRGN IECreateShredsRegion(int32_t XExtent, int32_t YExtent, int32_t Width, int32_t Height, int32_t HorzMode,
                          int32_t VertMode)
{
    const int32_t W = Width, H = Height;
    const int32_t t = std::min(W, H) / 200 + 1;
    const int32_t rW = W % t, rH = H % t, cX = W / 2, cY = H / 2;
    TComplexRegion region;
    if (HorzMode != 0) {
        const int32_t l = XExtent < W ? W / 10 : 0;
        // Strips of t rows; each also covers the rH rows left over at the bottom (they overlap).
        for (int32_t o = 0; o < H; o += t) {
            int32_t r = Random(2 * l) - l + XExtent;
            int32_t bottom = o + t + rH;
            switch (HorzMode) {
            case 1: region.AddRect(W - r, o, W, bottom); break;
            case 2: region.AddRect(0, o, r, bottom); break;
            case 3:
                r /= 2;
                region.AddRect(cX - r, o, cX, bottom);
                region.AddRect(cX, o, cX + r, bottom);
                break;
            default:
                r /= 2;
                region.AddRect(W - r, o, W, bottom);
                region.AddRect(0, o, r, bottom);
                break;
            }
        }
    }
    if (VertMode != 0) {
        const int32_t l = YExtent < H ? H / 10 : 0;
        for (int32_t o = 0; o < W; o += t) {
            int32_t r = Random(2 * l) - l + YExtent;
            int32_t right = o + t + rW;
            switch (VertMode) {
            case 1: region.AddRect(o, H - r, right, H); break;
            case 2: region.AddRect(o, 0, right, r); break;
            case 3:
                r /= 2;
                region.AddRect(o, cY - r, right, cY);
                region.AddRect(o, cY, right, cY + r);
                break;
            default:
                r /= 2;
                region.AddRect(o, H - r, right, H);
                region.AddRect(o, 0, right, r);
                break;
            }
        }
    }
    return region.CreateRegion();
}

namespace {
// Whether the speck j cells ahead of the edge is added: with probability 2/j (at most 1) within
// the first Near cells, 1/j beyond them; the speck next to the edge always is.
bool SpeckShown(int32_t j, int32_t Near)
{
    return Random(j) <= (j <= Near ? 1 : 0);
}
}

HRGN IECreateSpeckleRegion(int32_t XExtent, int32_t YExtent, int32_t Width, int32_t Height, int32_t HorzMode,
                           int32_t VertMode)
{
    const int32_t W = Width, H = Height;
    TComplexRegion region;
    if (HorzMode != 0) {
        const int32_t g = XExtent < W ? W / 10 : 0;   // depth of the speckled zone
        const int32_t h = std::max(g / 20, 2);         // speck size
        const int32_t count = g / h, nearCells = (3 * g) / (4 * h);
        for (int32_t o = 0; o < H; o += h / 2) {
            if (HorzMode == 1) {
                const int32_t e = W - XExtent;
                region.AddRect(e, o, W, o + h);
                for (int32_t j = count; j >= 1; --j)
                    if (SpeckShown(j, nearCells))
                        region.AddRect(e - j * h, o, e - j * h + h, o + h);
            } else {
                region.AddRect(0, o, XExtent, o + h);
                for (int32_t j = count; j >= 1; --j)
                    if (SpeckShown(j, nearCells))
                        region.AddRect(XExtent + (j - 1) * h, o, XExtent + j * h, o + h);
            }
        }
    }
    if (VertMode != 0) {
        const int32_t g = YExtent < H ? H / 10 : 0;
        const int32_t h = std::max(g / 20, 2);
        const int32_t count = g / h, nearCells = (3 * g) / (4 * h);
        for (int32_t o = 0; o < W; o += h / 2) {
            if (VertMode == 1) {
                const int32_t e = H - YExtent;
                region.AddRect(o, e, o + h, H);
                for (int32_t j = count; j >= 1; --j)
                    if (SpeckShown(j, nearCells))
                        region.AddRect(o, e - j * h, o + h, e - j * h + h);
            } else {
                region.AddRect(o, 0, o + h, YExtent);
                for (int32_t j = count; j >= 1; --j)
                    if (SpeckShown(j, nearCells))
                        region.AddRect(o, YExtent + (j - 1) * h, o + h, YExtent + j * h);
            }
        }
    }
    return region.CreateRegion();
}

// ---- Procedures -----------------------------------------------------------------------------------

namespace {

typedef HRGN (*TBandBuilder)(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t);

// The new image through Builder's region for the extents XFactor * X and YFactor * Y.
void RevealBands(TBandBuilder Builder, TCanvas* Canvas, TBitmap* NewImage, const RECT& ARect, int32_t Progress,
                 int32_t XFactor, int32_t YFactor, int32_t HorzMode, int32_t VertMode)
{
    int32_t W, H, X, Y;
    IEGetTransitionSizes(ARect, Progress, W, H, X, Y);
    IERevealThroughRegion(Canvas, NewImage, Builder(XFactor * X, YFactor * Y, W, H, HorzMode, VertMode));
}

// The blinds, the uneven blinds and the rectangles-from patterns: bands across the frame (Rows) or
// down it, each a rectangle from its coordinate a to b.
void AddBand(TComplexRegion& Region, bool Rows, int32_t W, int32_t H, int32_t a, int32_t b)
{
    if (Rows)
        Region.AddRect(0, a, W, b);
    else
        Region.AddRect(a, 0, b, H);
}

// Bands of width 2a centred on Start, Start + Step, ... while the centre is below Limit.
void AddCentredBands(TComplexRegion& Region, bool Rows, int32_t W, int32_t H, int32_t Start, int32_t Step,
                     int32_t Limit, int32_t a)
{
    for (int32_t c = Start; c < Limit; c += Step)
        AddBand(Region, Rows, W, H, c - a, c + a);
}

// Bands of width a growing from 0, Extent, 2 Extent, ... (Forward) or from the far edge back.
void AddGrowingBands(TComplexRegion& Region, bool Rows, int32_t W, int32_t H, int32_t Extent, int32_t a,
                     bool Forward)
{
    int32_t size = Rows ? H : W;
    if (Forward) {
        for (int32_t c = 0; c < size; c += Extent)
            AddBand(Region, Rows, W, H, c, c + a);
    } else {
        for (int32_t c = size; c > 0; c -= Extent)
            AddBand(Region, Rows, W, H, c - a, c);
    }
}

void Blinds(TCanvas* Canvas, TBitmap* NewImage, const RECT& ARect, int32_t Progress, bool Rows)
{
    int32_t W, H, X, Y;
    IEGetTransitionSizes(ARect, Progress, W, H, X, Y);
    int32_t n = (Rows ? H : W) / 40 + 1;
    int32_t a = IEMulDiv(n, Progress, 100);
    TComplexRegion region;
    // Centres n, 3n, 5n, ... while the band's start (centre - n) is inside the frame.
    AddCentredBands(region, Rows, W, H, n, 2 * n, (Rows ? H : W) + n, a);
    IERevealThroughRegion(Canvas, NewImage, region.CreateRegion());
}

void UnevenBlinds(TCanvas* Canvas, TBitmap* NewImage, const RECT& ARect, int32_t Progress, bool Rows, bool Forward)
{
    int32_t W, H, X, Y;
    IEGetTransitionSizes(ARect, Progress, W, H, X, Y);
    int32_t extent = Rows ? Y : X;
    if (extent <= 0)
        return;
    TComplexRegion region;
    AddGrowingBands(region, Rows, W, H, extent, IEMulDiv(extent, Progress, 100), Forward);
    IERevealThroughRegion(Canvas, NewImage, region.CreateRegion());
}

// "Rectangles from ...": thin bands across the moving direction (every 3m, growing about their
// centres) and uneven blinds along it. Rows: the blinds are rows (from the top or bottom).
void RectanglesFrom(TCanvas* Canvas, TBitmap* NewImage, const RECT& ARect, int32_t Progress, bool Rows, bool Forward)
{
    int32_t W, H, X, Y;
    IEGetTransitionSizes(ARect, Progress, W, H, X, Y);
    int32_t extent = Rows ? Y : X;
    int32_t m = (Rows ? W : H) / 20;
    if (extent <= 0 || m == 0)
        return;
    TComplexRegion region;
    AddCentredBands(region, !Rows, W, H, -m, 3 * m, Rows ? W : H, IEMulDiv(m, Progress, 100));
    AddGrowingBands(region, Rows, W, H, extent, IEMulDiv(extent, Progress, 100), Forward);
    IERevealThroughRegion(Canvas, NewImage, region.CreateRegion());
}

} // namespace

IE_EFFECT_PROC(IEBarsInFromLeft)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 2, 0, 2, 0);
}

IE_EFFECT_PROC(IEBarsInFromRight)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 2, 0, 1, 0);
}

IE_EFFECT_PROC(IEBarsFromTop)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 0, 2, 0, 2);
}

IE_EFFECT_PROC(IEBarsFromBottom)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 0, 2, 0, 1);
}

IE_EFFECT_PROC(IEBarsLeftThenRight)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 2, 0, 4, 0);
}

IE_EFFECT_PROC(IEBarsRightThenLeft)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 2, 0, 5, 0);
}

IE_EFFECT_PROC(IEBarsTopThenBottom)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 0, 2, 0, 4);
}

IE_EFFECT_PROC(IEBarsBottomThenTop)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 0, 2, 0, 5);
}

IE_EFFECT_PROC(IEBarsFromBothSides)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 1, 0, 3, 0);
}

IE_EFFECT_PROC(IEBarsFromTopAndBottom)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 0, 1, 0, 3);
}

IE_EFFECT_PROC(IECrisscrossWipeFromTopLeft)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 2, 2, 2, 2);
}

IE_EFFECT_PROC(IECrisscrossWipeFromTopRight)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 2, 2, 1, 2);
}

IE_EFFECT_PROC(IECrisscrossWipeFromBottomLeft)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 2, 2, 2, 1);
}

IE_EFFECT_PROC(IECrisscrossWipeFromBottomRight)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 2, 2, 1, 1);
}

IE_EFFECT_PROC(IECrisscrossWipeBounceFromTopLeft)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 2, 2, 4, 4);
}

IE_EFFECT_PROC(IECrisscrossWipeBounceFromTopRight)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 2, 2, 5, 4);
}

IE_EFFECT_PROC(IECrisscrossWipeBounceFromBottomLeft)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 2, 2, 4, 5);
}

IE_EFFECT_PROC(IECrisscrossWipeBounceFromBottomRight)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 2, 2, 5, 5);
}

IE_EFFECT_PROC(IECrisscrossWipeFromLeftRightAndTop)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 1, 1, 3, 2);
}

IE_EFFECT_PROC(IECrisscrossWipeFromLeftRightAndBottom)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 1, 1, 3, 1);
}

IE_EFFECT_PROC(IECrisscrossWipeFromLeftTopAndBottom)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 1, 1, 2, 3);
}

IE_EFFECT_PROC(IECrisscrossWipeFromTopLeftRightAndBottom)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 1, 1, 3, 3);
}

IE_EFFECT_PROC(IECrisscrossWipeFromRightTopAndBottom)
{
    RevealBands(IECreateBarsRegion, Canvas, NewImage, ARect, Progress, 1, 1, 1, 3);
}

IE_EFFECT_PROC(IECrisscrossWipeFromBottomLeftTopRight)
{
    int32_t W, H, X, Y;
    IEGetTransitionSizes(ARect, Progress, W, H, X, Y);
    TIERegionHolder first(IECreateBarsRegion(2 * X, 2 * Y, W, H, 1, 1));
    TIERegionHolder second(IECreateBarsRegion(2 * X, 2 * Y, W, H, 2, 2));
    if (!first.Get() || !second.Get())
        return;
    CombineRgn(first.Get(), first.Get(), second.Get(), RGN_AND);
    IERevealThroughRegion(Canvas, NewImage, first.Release());
}

IE_EFFECT_PROC(IEShreddedFromLeft)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 1, 0, 2, 0);
}

IE_EFFECT_PROC(IEShreddedFromRight)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 1, 0, 1, 0);
}

IE_EFFECT_PROC(IEShreddedFromTop)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 0, 1, 0, 2);
}

IE_EFFECT_PROC(IEShreddedFromBottom)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 0, 1, 0, 1);
}

IE_EFFECT_PROC(IEShreddedFromTopAndLeft)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 1, 1, 2, 2);
}

IE_EFFECT_PROC(IEShreddedFromTopAndRight)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 1, 1, 1, 2);
}

IE_EFFECT_PROC(IEShreddedFromBottomAndLeft)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 1, 1, 2, 1);
}

IE_EFFECT_PROC(IEShreddedFromBottomAndRight)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 1, 1, 1, 1);
}

IE_EFFECT_PROC(IEShreddedFromHorizonAndLeft)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 1, 1, 2, 3);
}

IE_EFFECT_PROC(IEShreddedFromHorizonAndRight)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 1, 1, 1, 3);
}

IE_EFFECT_PROC(IEShreddedFromTopAndVerticalCenter)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 1, 1, 3, 2);
}

IE_EFFECT_PROC(IEShreddedFromBottomAndVerticalCenter)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 1, 1, 3, 1);
}

IE_EFFECT_PROC(IEShreddedFromCenter)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 1, 1, 3, 3);
}

IE_EFFECT_PROC(IEShreddedToCenter)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 1, 1, 4, 4);
}

IE_EFFECT_PROC(IEShreddedInToHorizon)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 0, 1, 0, 4);
}

IE_EFFECT_PROC(IEShreddedInToVerticalCenter)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 1, 0, 4, 0);
}

IE_EFFECT_PROC(IEShreddedOutFromHorizon)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 0, 1, 0, 3);
}

IE_EFFECT_PROC(IEShreddedOutFromVerticalCenter)
{
    RevealBands(IECreateShredsRegion, Canvas, NewImage, ARect, Progress, 1, 0, 3, 0);
}

IE_EFFECT_PROC(IESpeckledWipeFromLeft)
{
    RevealBands(IECreateSpeckleRegion, Canvas, NewImage, ARect, Progress, 1, 1, 2, 0);
}

IE_EFFECT_PROC(IESpeckledWipeFromRight)
{
    RevealBands(IECreateSpeckleRegion, Canvas, NewImage, ARect, Progress, 1, 1, 1, 0);
}

IE_EFFECT_PROC(IESpeckledWipeFromTop)
{
    RevealBands(IECreateSpeckleRegion, Canvas, NewImage, ARect, Progress, 1, 1, 0, 2);
}

IE_EFFECT_PROC(IESpeckledWipeFromBottom)
{
    RevealBands(IECreateSpeckleRegion, Canvas, NewImage, ARect, Progress, 1, 1, 0, 1);
}

IE_EFFECT_PROC(IEHorizontalBlinds)
{
    Blinds(Canvas, NewImage, ARect, Progress, true);
}

IE_EFFECT_PROC(IEVerticalBlinds)
{
    Blinds(Canvas, NewImage, ARect, Progress, false);
}

IE_EFFECT_PROC(IEUnevenBlindsFromLeft)
{
    UnevenBlinds(Canvas, NewImage, ARect, Progress, false, true);
}

IE_EFFECT_PROC(IEUnevenBlindsFromRight)
{
    UnevenBlinds(Canvas, NewImage, ARect, Progress, false, false);
}

IE_EFFECT_PROC(IEUnevenBlindsFromTop)
{
    UnevenBlinds(Canvas, NewImage, ARect, Progress, true, true);
}

IE_EFFECT_PROC(IEUnevenBlindsFromBottom)
{
    UnevenBlinds(Canvas, NewImage, ARect, Progress, true, false);
}

IE_EFFECT_PROC(IERectanglesFromTheLeft)
{
    RectanglesFrom(Canvas, NewImage, ARect, Progress, false, true);
}

IE_EFFECT_PROC(IERectanglesFromTheRight)
{
    RectanglesFrom(Canvas, NewImage, ARect, Progress, false, false);
}

IE_EFFECT_PROC(IERectanglesFromTheTop)
{
    RectanglesFrom(Canvas, NewImage, ARect, Progress, true, true);
}

IE_EFFECT_PROC(IERectanglesFromTheBottom)
{
    RectanglesFrom(Canvas, NewImage, ARect, Progress, true, false);
}

IE_EFFECT_PROC(IEExpandingRectangles)
{
    int32_t W, H, X, Y;
    IEGetTransitionSizes(ARect, Progress, W, H, X, Y);
    int32_t s = std::min(W, H) / 10 + 1;
    int32_t a = IEMulDiv(s, Progress, 100);
    TComplexRegion region;
    for (int32_t x = s; x - s < W; x += 2 * s)
        for (int32_t y = s; y - s < H; y += 2 * s)
            region.AddRect(x - a, y - a, x + a, y + a);
    IERevealThroughRegion(Canvas, NewImage, region.CreateRegion());
}

IE_EFFECT_PROC(IERandomBigBoxes)
{
    int32_t W, H, X, Y;
    IEGetTransitionSizes(ARect, Progress, W, H, X, Y);
    int32_t s = std::min(W, H) / 20 + 1;
    TComplexRegion region;
    IEForRandomCells(NewImage, W, H, s, Progress,
                     [&](int32_t x, int32_t y) { region.AddRect(x - s, y - s, x + s, y + s); });
    IERevealThroughRegion(Canvas, NewImage, region.CreateRegion());
}
