// The shape transitions: a circle, heart, star, explosion or cross growing from or shrinking to the
// centre, rings between a growing and a shrinking shape, grids of growing shapes and shapes placed
// in a random order. Four engines do the work; each procedure calls one with fixed arguments.
#include "ieXtraTransitions.h"

#include <algorithm>
#include <cmath>

#include "iexShapes_win.h"

namespace {

// The engines' own round shape (code 255): a rounded rectangle, a circle or a diamond.
constexpr uint8_t kRoundShape = 255;

int32_t RoundL(long double value)
{
    return (int32_t)std::llrint(value);
}

HRGN ShapeRegion(uint8_t Shape, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom)
{
    return IECreateShapeRegionInRect(Shape, RECT{Left, Top, Right, Bottom});
}

} // namespace

void IEShapeWipe(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect, int32_t Progress,
                 uint8_t Shape, bool Inward, float Scale)
{
    int32_t W, H, X, Y;
    IEGetTransitionSizes(ARect, Progress, W, H, X, Y);
    const int32_t cx = W / 2, cy = H / 2;
    TIERegionHolder region;
    if (!Inward) {
        if (Scale != 1.0f) {
            int32_t sx = RoundL((long double)X * Scale), sy = RoundL((long double)Y * Scale);
            region.Reset(ShapeRegion(Shape, cx - sx, cy - sy, cx + sx, cy + sy));
        } else if (Shape == kRoundShape) {
            region.Reset(CreateRoundRectRgn(cx - X, cy - Y, cx + X, cy + Y, X * 9 / 5, Y * 9 / 5));
        } else {
            region.Reset(ShapeRegion(Shape, cx - X, cy - Y, cx + X, cy + Y));
        }
    } else {
        // The frame outside a shape whose box shrinks from at least twice the frame to nothing.
        HRGN inner;
        if (Scale != 1.0f) {
            int32_t ex = RoundL((long double)(W - X) * Scale) / 2, ey = RoundL((long double)(H - Y) * Scale) / 2;
            inner = ShapeRegion(Shape, X - cx - ex, Y - cy - ey, 3 * cx - X + ex, 3 * cy - Y + ey);
        } else if (Shape == kRoundShape) {
            inner = CreateRoundRectRgn(X - cx, Y - cy, 3 * cx - X, 3 * cy - Y, (W - X) * 9 / 5, (H - Y) * 9 / 5);
        } else {
            inner = ShapeRegion(Shape, X - cx, Y - cy, 3 * cx - X, 3 * cy - Y);
        }
        region.Reset(IEJoinRegion(CreateRectRgn(0, 0, W, H), inner, RGN_XOR));
    }
    // The cross shows the old image outside it on every frame, whatever the previous frame held.
    if (Shape == IEShapeCross)
        BitBlt(Canvas->Handle(), 0, 0, OldImage->Width(), OldImage->Height(), OldImage->Canvas()->Handle(), 0, 0,
               SRCCOPY);
    IERevealThroughRegion(Canvas, NewImage, region.Release());
}

void IEShapeInOutWipe(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect, int32_t Progress,
                      uint8_t Shape, float Scale)
{
    int32_t W, H, X, Y;
    IEGetTransitionSizes(ARect, Progress, W, H, X, Y);
    const int32_t cx = W / 2, cy = H / 2, x = X / 2, y = Y / 2;
    HRGN outer, inner;
    if (Shape == kRoundShape) {
        outer = IECreatePolygonRegion({-x, cy, cx, -y, 2 * cx + x, cy, cx, 2 * cy + y});
        inner = IECreatePolygonRegion({x, cy, cx, y, 2 * cx - x, cy, cx, 2 * cy - y});
    } else {
        int32_t l = RoundL((long double)x * Scale), m = RoundL((long double)y * Scale);
        outer = ShapeRegion(Shape, -l, -m, 2 * cx + l, 2 * cy + m);
        inner = ShapeRegion(Shape, x, y, 2 * cx - x, 2 * cy - y);
    }
    IERevealThroughRegion(Canvas, NewImage, IEJoinRegion(outer, inner, RGN_XOR));
}

void IEExpandingShapes(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect,
                       int32_t Progress, uint8_t Shape, float Scale)
{
    int32_t W, H, X, Y;
    IEGetTransitionSizes(ARect, Progress, W, H, X, Y);
    const int32_t s = std::min(W, H) / 10 + 1;
    const int32_t r = IEMulDiv(RoundL((long double)s * Scale), Progress, 200);
    TIERegionUnion region;
    for (int32_t x = s; x - s < W; x += 2 * s)
        for (int32_t y = s; y - s < H; y += 2 * s)
            region.Add(Shape == kRoundShape ? CreateEllipticRgn(x - r, y - r, x + r, y + r)
                                            : ShapeRegion(Shape, x - r, y - r, x + r, y + r));
    IERevealThroughRegion(Canvas, NewImage, region.Union());
}

void IERandomShapes(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect, int32_t Progress,
                    uint8_t Shape, int32_t Divisor, float Spacing)
{
    int32_t W, H, X, Y;
    IEGetTransitionSizes(ARect, Progress, W, H, X, Y);
    const int32_t r = std::min(W, H) / std::max(Divisor, 1) + 1;
    // In frames so small that the spacing truncates to 0 the grid would never advance: at least
    // one pixel.
    const int32_t d = std::max((int32_t)((long double)r * Spacing), 1);
    TIERegionUnion region;
    // Shapes overlap: the spacing 2d is smaller than the shape size 2r.
    IEForRandomCells(NewImage, W, H, d, Progress,
                     [&](int32_t x, int32_t y) { region.Add(ShapeRegion(Shape, x - r, y - r, x + r, y + r)); });
    IERevealThroughRegion(Canvas, NewImage, region.Union());
}

IE_EFFECT_PROC(IECircularWipeFromCenter)
{
    IEShapeWipe(Canvas, OldImage, NewImage, ARect, Progress, kRoundShape, false, 1.0f);
}

IE_EFFECT_PROC(IECircularWipeToCenter)
{
    IEShapeWipe(Canvas, OldImage, NewImage, ARect, Progress, kRoundShape, true, 1.0f);
}

IE_EFFECT_PROC(IEHeartWipeFromCenter)
{
    IEShapeWipe(Canvas, OldImage, NewImage, ARect, Progress, IEShapeHeart, false, 1.3f);
}

IE_EFFECT_PROC(IEHeartWipeToCenter)
{
    IEShapeWipe(Canvas, OldImage, NewImage, ARect, Progress, IEShapeHeart, true, 1.3f);
}

IE_EFFECT_PROC(IE5PointedStarWipeFromCenter)
{
    IEShapeWipe(Canvas, OldImage, NewImage, ARect, Progress, IEShapeStar5, false, 1.6f);
}

IE_EFFECT_PROC(IE5PointedStarWipeToCenter)
{
    IEShapeWipe(Canvas, OldImage, NewImage, ARect, Progress, IEShapeStar5, true, 1.6f);
}

IE_EFFECT_PROC(IE6PointedStarWipeFromCenter)
{
    IEShapeWipe(Canvas, OldImage, NewImage, ARect, Progress, IEShapeStar6, false, 1.3f);
}

IE_EFFECT_PROC(IE6PointedStarWipeToCenter)
{
    IEShapeWipe(Canvas, OldImage, NewImage, ARect, Progress, IEShapeStar6, true, 1.3f);
}

IE_EFFECT_PROC(IEExplosionWipeFromCenter)
{
    IEShapeWipe(Canvas, OldImage, NewImage, ARect, Progress, IEShapeExplosion, false, 1.0f);
}

IE_EFFECT_PROC(IEExplosionWipeToCenter)
{
    IEShapeWipe(Canvas, OldImage, NewImage, ARect, Progress, IEShapeExplosion, true, 1.0f);
}

IE_EFFECT_PROC(IECrossWipeFromCenter)
{
    IEShapeWipe(Canvas, OldImage, NewImage, ARect, Progress, IEShapeCross, false, 3.6f);
}

IE_EFFECT_PROC(IECrossWipeToCenter)
{
    IEShapeWipe(Canvas, OldImage, NewImage, ARect, Progress, IEShapeCross, true, 3.5f);
}

IE_EFFECT_PROC(IEDiamondWipeInAndOut)
{
    IEShapeInOutWipe(Canvas, OldImage, NewImage, ARect, Progress, kRoundShape, 1.0f);
}

IE_EFFECT_PROC(IEHeartWipeInAndOut)
{
    IEShapeInOutWipe(Canvas, OldImage, NewImage, ARect, Progress, IEShapeHeart, 1.6f);
}

IE_EFFECT_PROC(IE5PointedStarWipeInAndOut)
{
    IEShapeInOutWipe(Canvas, OldImage, NewImage, ARect, Progress, IEShapeStar5, 2.4f);
}

IE_EFFECT_PROC(IE6PointedStarWipeInAndOut)
{
    IEShapeInOutWipe(Canvas, OldImage, NewImage, ARect, Progress, IEShapeStar6, 1.6f);
}

IE_EFFECT_PROC(IEExplosionWipeInAndOut)
{
    IEShapeInOutWipe(Canvas, OldImage, NewImage, ARect, Progress, IEShapeExplosion, 1.1f);
}

IE_EFFECT_PROC(IEExpandingCircles)
{
    IEExpandingShapes(Canvas, OldImage, NewImage, ARect, Progress, kRoundShape, 3.0f);
}

IE_EFFECT_PROC(IEExpandingHearts)
{
    IEExpandingShapes(Canvas, OldImage, NewImage, ARect, Progress, IEShapeHeart, 3.0f);
}

IE_EFFECT_PROC(IEExpanding5PointedStars)
{
    IEExpandingShapes(Canvas, OldImage, NewImage, ARect, Progress, IEShapeStar5, 4.0f);
}

IE_EFFECT_PROC(IEExpanding6PointedStars)
{
    IEExpandingShapes(Canvas, OldImage, NewImage, ARect, Progress, IEShapeStar6, 4.0f);
}

IE_EFFECT_PROC(IEExpandingExplosions)
{
    IEExpandingShapes(Canvas, OldImage, NewImage, ARect, Progress, IEShapeExplosion, 4.0f);
}

IE_EFFECT_PROC(IEExpandingLightningBolts)
{
    IEExpandingShapes(Canvas, OldImage, NewImage, ARect, Progress, IEShapeLightning, 6.0f);
}

IE_EFFECT_PROC(IERandomHearts)
{
    IERandomShapes(Canvas, OldImage, NewImage, ARect, Progress, IEShapeHeart, 12, 0.6f);
}

IE_EFFECT_PROC(IERandom5PointedStars)
{
    IERandomShapes(Canvas, OldImage, NewImage, ARect, Progress, IEShapeStar5, 14, 0.4f);
}

IE_EFFECT_PROC(IERandom6PointedStars)
{
    IERandomShapes(Canvas, OldImage, NewImage, ARect, Progress, IEShapeStar6, 14, 0.4f);
}

// Flickers between the two explosions as the progress moves between odd and even values.
IE_EFFECT_PROC(IERandomExplosions)
{
    IERandomShapes(Canvas, OldImage, NewImage, ARect, Progress,
                   Progress % 2 != 0 ? IEShapeExplosionTurned : IEShapeExplosion, 18, 0.5f);
}
