// The polygon-region transitions: the new image shown through one region made of rounded
// rectangles, triangles, fans and other polygons (curved, diagonal and zigzag wipes, sweeps,
// starbursts, rotating and spiralling shapes, arrows, bow ties, crosses, diamonds and grids of
// triangles and diamonds). Each procedure starts from IEGetTransitionSizes (W x H the frame, X and
// Y the progress extents); cx, cy is the frame's centre (W div 2, H div 2) and x, y half the
// extents. Angles are in radians with y pointing down, so a growing angle turns clockwise.
#include "ieXtraTransitions.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr long double kPi = 3.14159265358979323846264338327950288L;

struct TSizes {
    int32_t W, H, X, Y, cx, cy, x, y;
};

TSizes Sizes(const RECT& ARect, int32_t Progress) {
    TSizes s{};
    IEGetTransitionSizes(ARect, Progress, s.W, s.H, s.X, s.Y);
    s.cx = s.W / 2;
    s.cy = s.H / 2;
    s.x = s.X / 2;
    s.y = s.Y / 2;
    return s;
}

HRGN Triangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
    return IECreateTriangleRegion(X1, Y1, X2, Y2, X3, Y3);
}

HRGN Union(std::initializer_list<HRGN> Parts) {
    HRGN result = nullptr;
    for (HRGN part : Parts) result = IEJoinRegion(result, part, RGN_OR);
    return result;
}

// The whole frame with each of Parts cut out (or added back where they overlap).
HRGN FrameXor(const TSizes& s, std::initializer_list<HRGN> Parts) {
    HRGN result = CreateRectRgn(0, 0, s.W, s.H);
    for (HRGN part : Parts) result = IEJoinRegion(result, part, RGN_XOR);
    return result;
}

void Reveal(TCanvas* Canvas, TBitmap* NewImage, HRGN Region) { IERevealThroughRegion(Canvas, NewImage, Region); }

// Region as the clip region, deleted at once (the context keeps its own copy), Image drawn at (0, 0)
// and the clip region removed again. No region draws nothing (rather than the whole image).
void DrawClipped(TCanvas* Canvas, TBitmap* Image, HRGN Region) {
    if (!Region) return;
    HDC dc = Canvas->Handle();
    {
        TIERegionHolder holder(Region);
        SelectClipRgn(dc, Region);
    }
    Canvas->Draw(0, 0, Image);
    SelectClipRgn(dc, nullptr);
}

HRGN RotatedPolygon(std::vector<POINT> Points, int32_t CX, int32_t CY, long double Angle) {
    IERotatePointArray(Points.data(), Points.size(), CX, CY, Angle);
    return CreatePolygonRgn(Points.data(), (int)Points.size(), WINDING);
}

// The angle of the rotations: one full turn over the transition.
long double TurnAngle(int32_t Progress, bool Clockwise) {
    const long double a = Progress * kPi / 50;
    return Clockwise ? a : -a;
}

std::vector<POINT> CentredRect(const TSizes& s) {
    return {{s.cx - s.x, s.cy - s.y}, {s.cx + s.x, s.cy - s.y}, {s.cx + s.x, s.cy + s.y}, {s.cx - s.x, s.cy + s.y}};
}

// The zigzag band about the horizon (Vertical False) or the vertical centre line (True): both edges
// zigzag together, the band 2b deep at every point, running to 11 segments, past the far edge.
HRGN ZigzagBand(const RECT& ARect, int32_t Progress, bool Vertical) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t seg = (Vertical ? s.H : s.W) / 10, amp = (Vertical ? s.W : s.H) / 10;
    const int32_t c = Vertical ? s.cx : s.cy;
    const int32_t b = IEMulDiv(amp, Progress, 100) + (Vertical ? s.x : s.y);
    const int32_t u0 = c - b + amp, u1 = c - b - amp, l0 = c + b + amp, l1 = c + b - amp;
    POINT points[24];
    for (int32_t k = 0; k <= 11; ++k) {
        const bool even = k % 2 == 0;
        const int32_t along = k * seg, upper = even ? u0 : u1, lower = even ? l0 : l1;
        points[k] = Vertical ? POINT{upper, along} : POINT{along, upper};
        points[23 - k] = Vertical ? POINT{lower, along} : POINT{along, lower};
    }
    return CreatePolygonRgn(points, 24, WINDING);
}

// The shrinking zigzags: the new image everywhere, the old one through the band.
void ZigzagTo(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect, int32_t Progress,
              bool Vertical) {
    HDC dc = Canvas->Handle();
    BitBlt(dc, 0, 0, NewImage->Width(), NewImage->Height(), NewImage->Canvas()->Handle(), 0, 0, SRCCOPY);
    IERevealThroughRegion(Canvas, OldImage, ZigzagBand(ARect, 100 - Progress, Vertical));
}

// The cell count of "Triangular Wipe": a grid of 8 x 8 cells (81 triangles per frame whatever the
// frame size), fewer on frames under 8 pixels so that every cell keeps at least one pixel.
constexpr int32_t kTriangularCells = 8;

}  // namespace

void IERotatePointArray(POINT* Points, size_t Count, int32_t CX, int32_t CY, long double Angle) {
    const long double c = std::cos(Angle), s = std::sin(Angle);
    for (size_t i = 0; i < Count; ++i) {
        const long double dx = (long double)Points[i].x - CX, dy = (long double)Points[i].y - CY;
        Points[i].x = CX + (LONG)std::nearbyint(dx * c - dy * s);
        Points[i].y = CY + (LONG)std::nearbyint(dx * s + dy * c);
    }
}

HRGN IECreatePieRegion(int32_t CX, int32_t CY, int32_t Radius, long double StartAngle, long double EndAngle,
                       int32_t Steps) {
    if (Steps < 1) Steps = 1;
    std::vector<POINT> points((size_t)Steps + 1);
    points[0] = POINT{CX, CY};
    for (int32_t i = 1; i <= Steps; ++i) {
        const long double a = StartAngle + (i - 1) * (EndAngle - StartAngle) / Steps;
        points[i] = POINT{CX + (LONG)std::nearbyint(Radius * std::cos(a)),
                          CY + (LONG)std::nearbyint(Radius * std::sin(a))};
    }
    return CreatePolygonRgn(points.data(), (int)points.size(), WINDING);
}

HRGN IECreateTriangleRegion(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
    const POINT points[3] = {{X1, Y1}, {X2, Y2}, {X3, Y3}};
    return CreatePolygonRgn(points, 3, WINDING);
}

void IERotatingRectWipe(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect, int32_t Step,
                        int32_t Progress, bool Clockwise) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage, RotatedPolygon(CentredRect(s), s.cx, s.cy, TurnAngle(Progress, Clockwise)));
}

void IERotatingStarWipe(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect, int32_t Step,
                        int32_t Progress, bool Clockwise) {
    const TSizes s = Sizes(ARect, Progress);
    std::vector<POINT> star = {{s.cx - 2 * s.X, s.cy}, {s.cx - s.x, s.cy - s.y}, {s.cx, s.cy - 2 * s.Y},
                               {s.cx + s.x, s.cy - s.y}, {s.cx + 2 * s.X, s.cy}, {s.cx + s.x, s.cy + s.y},
                               {s.cx, s.cy + 2 * s.Y},   {s.cx - s.x, s.cy + s.y}};
    Reveal(Canvas, NewImage, RotatedPolygon(star, s.cx, s.cy, TurnAngle(Progress, Clockwise)));
}

void IESpiralRectWipe(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect, int32_t Step,
                      int32_t Progress, bool Clockwise) {
    const TSizes s = Sizes(ARect, Progress);
    // Turned about (X, Y), a point travelling from the top-left corner to the bottom-right one.
    Reveal(Canvas, NewImage, RotatedPolygon(CentredRect(s), s.X, s.Y, TurnAngle(Progress, Clockwise)));
}

// ---- Curved wipes: a rounded rectangle much larger than the frame ------------------------------

IE_EFFECT_PROC(IECurvedWipeFromLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage, CreateRoundRectRgn(-2 * s.W, 0, 2 * s.X, s.H + 1, 2 * s.W, 2 * s.W));
}
IE_EFFECT_PROC(IECurvedWipeFromRight) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage, CreateRoundRectRgn(s.W - 2 * s.X, 0, 3 * s.W, s.H + 1, 2 * s.W, 2 * s.W));
}
IE_EFFECT_PROC(IECurvedWipeFromTop) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage, CreateRoundRectRgn(0, -2 * s.H, s.W + 1, 2 * s.Y, 2 * s.H, 2 * s.H));
}
IE_EFFECT_PROC(IECurvedWipeFromBottom) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage, CreateRoundRectRgn(0, s.H - 2 * s.Y, s.W + 1, 3 * s.H, 2 * s.H, 2 * s.H));
}
IE_EFFECT_PROC(IECurvedWipeFromTopLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage, CreateRoundRectRgn(-s.W, -s.H, (3 * s.X) / 2, (3 * s.Y) / 2, 2 * s.W, 2 * s.H));
}
IE_EFFECT_PROC(IECurvedWipeFromTopRight) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage,
           CreateRoundRectRgn(s.W - (3 * s.X) / 2, -s.H, 2 * s.W, (3 * s.Y) / 2, 2 * s.W, 2 * s.H));
}
IE_EFFECT_PROC(IECurvedWipeFromBottomLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage,
           CreateRoundRectRgn(-s.W, s.H - (3 * s.Y) / 2, (3 * s.X) / 2, 2 * s.H, 2 * s.W, 2 * s.H));
}
IE_EFFECT_PROC(IECurvedWipeFromBottomRight) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage,
           CreateRoundRectRgn(s.W - (3 * s.X) / 2, s.H - (3 * s.Y) / 2, 2 * s.W, 2 * s.H, 2 * s.W, 2 * s.H));
}

// ---- Triangles and fans from the edges, the corners and the centre ------------------------------

IE_EFFECT_PROC(IEWipeDiagonalFromTopLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage, Triangle(0, 0, 2 * s.X, 0, 0, 2 * s.Y));
}
IE_EFFECT_PROC(IEWipeDiagonalFromTopRight) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage, Triangle(s.W, 0, s.W - 2 * s.X, 0, s.W, 2 * s.Y));
}
IE_EFFECT_PROC(IEWipeDiagonalFromBottomLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage, Triangle(0, s.H, 2 * s.X, s.H, 0, s.H - 2 * s.Y));
}
IE_EFFECT_PROC(IEWipeDiagonalFromBottomRight) {
    const TSizes s = Sizes(ARect, Progress);
    DrawClipped(Canvas, NewImage, Triangle(s.W, s.H, s.W - 2 * s.X, s.H, s.W, s.H - 2 * s.Y));
}
IE_EFFECT_PROC(IEDiagonalSweepClockwise) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage,
           Union({Triangle(s.W, 0, 0, 0, s.W, s.Y), Triangle(s.W, s.H, 0, s.H, 0, s.H - s.Y)}));
}
IE_EFFECT_PROC(IEDiagonalSweepCounterClockwise) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage,
           Union({Triangle(0, s.H, 0, 0, s.X, s.H), Triangle(s.W, s.H, s.W, 0, s.W - s.X, 0)}));
}
IE_EFFECT_PROC(IESweepClockwise) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t radius = (int32_t)std::ceil(std::sqrt((long double)s.cx * s.cx + (long double)s.cy * s.cy));
    Reveal(Canvas, NewImage, IECreatePieRegion(s.cx, s.cy, radius, -kPi / 2, Progress * kPi / 50 - kPi / 2, Progress));
}
IE_EFFECT_PROC(IESweepCounterClockwise) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t radius = (int32_t)std::ceil(std::sqrt((long double)s.cx * s.cx + (long double)s.cy * s.cy));
    Reveal(Canvas, NewImage,
           IECreatePieRegion(s.cx, s.cy, radius, -kPi / 2, -Progress * kPi / 50 - kPi / 2, Progress));
}
IE_EFFECT_PROC(IEStarburstClockwise) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage,
           Union({Triangle(s.cx, s.cy, 0, 0, s.X, 0), Triangle(s.cx, s.cy, 0, s.H, 0, s.H - s.Y),
                  Triangle(s.cx, s.cy, s.W, s.H, s.W - s.X, s.H), Triangle(s.cx, s.cy, s.W, 0, s.W, s.Y)}));
}
IE_EFFECT_PROC(IEStarburstCounterClockwise) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage,
           Union({Triangle(s.cx, s.cy, 0, 0, 0, s.Y), Triangle(s.cx, s.cy, 0, s.H, s.X, s.H),
                  Triangle(s.cx, s.cy, s.W, s.H, s.W, s.H - s.Y), Triangle(s.cx, s.cy, s.W, 0, s.W - s.X, 0)}));
}
IE_EFFECT_PROC(IEArrowWipeFromLeft) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage, Triangle(0, s.cy - s.Y, 2 * s.X, s.cy, 0, s.cy + s.Y));
}
IE_EFFECT_PROC(IEArrowWipeFromRight) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage, Triangle(s.W, s.cy - s.Y, s.W - 2 * s.X, s.cy, s.W, s.cy + s.Y));
}
IE_EFFECT_PROC(IEArrowWipeFromTop) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage, Triangle(s.cx - s.X, 0, s.cx, 2 * s.Y, s.cx + s.X, 0));
}
IE_EFFECT_PROC(IEArrowWipeFromBottom) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage, Triangle(s.cx - s.X, s.H, s.cx, s.H - 2 * s.Y, s.cx + s.X, s.H));
}
IE_EFFECT_PROC(IEHorizontalBowTieWipe) {
    const TSizes s = Sizes(ARect, Progress);
    // The tips reach X, not 2X.
    Reveal(Canvas, NewImage,
           Union({Triangle(0, s.cy - s.Y, s.X, s.cy, 0, s.cy + s.Y),
                  Triangle(s.W, s.cy - s.Y, s.W - s.X, s.cy, s.W, s.cy + s.Y)}));
}
IE_EFFECT_PROC(IEVerticalBowTieWipe) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage,
           Union({Triangle(s.cx - s.X, 0, s.cx, 2 * s.Y, s.cx + s.X, 0),
                  Triangle(s.cx - s.X, s.H, s.cx, s.H - 2 * s.Y, s.cx + s.X, s.H)}));
}
IE_EFFECT_PROC(IEDiagonalCrossToCenter) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage,
           Union({Triangle(0, s.cy - s.y, s.x, s.cy, 0, s.cy + s.y),
                  Triangle(s.W, s.cy - s.y, s.W - s.x, s.cy, s.W, s.cy + s.y),
                  Triangle(s.cx - s.x, 0, s.cx, s.y, s.cx + s.x, 0),
                  Triangle(s.cx - s.x, s.H, s.cx, s.H - s.y, s.cx + s.x, s.H)}));
}
IE_EFFECT_PROC(IEDiagonalCrossFromCenter) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t dx = (s.W - s.X) / 2, dy = (s.H - s.Y) / 2;
    Reveal(Canvas, NewImage,
           FrameXor(s, {Triangle(0, s.cy - dy, dx, s.cy, 0, s.cy + dy),
                        Triangle(s.W, s.cy - dy, s.W - dx, s.cy, s.W, s.cy + dy),
                        Triangle(s.cx - dx, 0, s.cx, dy, s.cx + dx, 0),
                        Triangle(s.cx - dx, s.H, s.cx, s.H - dy, s.cx + dx, s.H)}));
}
IE_EFFECT_PROC(IEDiamondWipeFromCenter) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage,
           IECreatePolygonRegion({s.cx - s.X, s.cy, s.cx, s.cy - s.Y, s.cx + s.X, s.cy, s.cx, s.cy + s.Y}));
}
IE_EFFECT_PROC(IEDiamondWipeToCenter) {
    const TSizes s = Sizes(ARect, Progress);
    Reveal(Canvas, NewImage,
           FrameXor(s, {IECreatePolygonRegion(
                           {s.X - s.cx, s.cy, s.cx, s.Y - s.cy, 3 * s.cx - s.X, s.cy, s.cx, 3 * s.cy - s.Y})}));
}

// ---- Rotations ------------------------------------------------------------------------------------

IE_EFFECT_PROC(IERotationalRectangleClockwise) {
    IERotatingRectWipe(Canvas, OldImage, NewImage, ARect, Step, Progress, true);
}
IE_EFFECT_PROC(IERotationalRectangleCounterClockwise) {
    IERotatingRectWipe(Canvas, OldImage, NewImage, ARect, Step, Progress, false);
}
IE_EFFECT_PROC(IERotationalStarClockwise) {
    IERotatingStarWipe(Canvas, OldImage, NewImage, ARect, Step, Progress, true);
}
IE_EFFECT_PROC(IERotationalStarCounterClockwise) {
    IERotatingStarWipe(Canvas, OldImage, NewImage, ARect, Step, Progress, false);
}
IE_EFFECT_PROC(IESpirallingRectangleClockwise) {
    IESpiralRectWipe(Canvas, OldImage, NewImage, ARect, Step, Progress, true);
}
IE_EFFECT_PROC(IESpirallingRectangleCounterClockwise) {
    IESpiralRectWipe(Canvas, OldImage, NewImage, ARect, Step, Progress, false);
}

// ---- Zigzag bands -----------------------------------------------------------------------------------

IE_EFFECT_PROC(IEZigzagWipeFromHorizon) { Reveal(Canvas, NewImage, ZigzagBand(ARect, Progress, false)); }
IE_EFFECT_PROC(IEZigzagWipeFromVerticalCenter) { Reveal(Canvas, NewImage, ZigzagBand(ARect, Progress, true)); }
IE_EFFECT_PROC(IEZigzagWipeToHorizon) { ZigzagTo(Canvas, OldImage, NewImage, ARect, Progress, false); }
IE_EFFECT_PROC(IEZigzagWipeToVerticalCenter) { ZigzagTo(Canvas, OldImage, NewImage, ARect, Progress, true); }

// ---- Grids of growing polygons ----------------------------------------------------------------------

IE_EFFECT_PROC(IEExpandingTriangles) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t cw = s.W / 10 + 1, ch = s.H / 10 + 1;
    const int32_t hx = IEMulDiv(cw, Progress, 50), hy = IEMulDiv(ch, Progress, 50);
    HRGN region = nullptr;
    for (int32_t x = cw; x - cw < s.W; x += 2 * cw)
        for (int32_t y = ch; y < s.H + 2 * ch; y += 2 * ch)   // pointing down
            region = IEJoinRegion(region, Triangle(x - hx, y - hy, x, y + hy, x + hx, y - hy), RGN_OR);
    Reveal(Canvas, NewImage, region);
}
IE_EFFECT_PROC(IEExpandingDiamonds) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t side = std::min(s.W, s.H) / 10 + 1, a = IEMulDiv(side, Progress, 50);
    HRGN region = nullptr;
    for (int32_t x = side; x - side < s.W; x += 2 * side)
        for (int32_t y = side; y - side < s.H; y += 2 * side)
            region = IEJoinRegion(region, IECreatePolygonRegion({x - a, y, x, y - a, x + a, y, x, y + a}), RGN_OR);
    Reveal(Canvas, NewImage, region);
}
IE_EFFECT_PROC(IETriangularWipe) {
    const TSizes s = Sizes(ARect, Progress);
    const int32_t b = std::max(1, std::min({kTriangularCells, s.W, s.H}));
    const int32_t w = s.W / b, h = s.H / b, x = s.X / b, y = s.Y / b;
    HRGN region = nullptr;
    for (int32_t j = b; j >= 0; --j)
        for (int32_t i = b; i >= 0; --i) {
            const int32_t gx = i * w, gy = j * h;   // right angle at the top-left corner
            region = IEJoinRegion(region, Triangle(gx - x, gy - y, gx + x, gy - y, gx - x, gy + y), RGN_OR);
        }
    DrawClipped(Canvas, NewImage, region);
}
