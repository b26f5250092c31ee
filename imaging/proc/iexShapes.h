// The geometry of the sixteen decorative shapes (stars, arrows, lightning bolts, explosions, a
// cross, a heart) fitted into a box, before any region is made: the polygons' points, the cross's
// two bars and the heart's parts. iexShapes_win.h turns them into GDI regions. Platform-neutral.
//
// Shape kinds (the low seven bits of the kind byte; 128 + k is kind k):
//   0 five-pointed star, 1 six-pointed star, 2 to 5 arrows pointing to the top-left, top-right,
//   bottom-left and bottom-right corner, 6 lightning bolt, 7 the bolt mirrored, 8 explosion,
//   9 explosion turned half a turn, 10 cross, 11 to 14 feathered arrows pointing to the corners as
//   kinds 2 to 5, 15 heart; 16 to 127 no shape.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/iecoreutils_geometry.h"

constexpr uint8_t IEShapeStar5 = 0, IEShapeStar6 = 1, IEShapeArrow = 2, IEShapeLightning = 6,
                  IEShapeLightningMirrored = 7, IEShapeExplosion = 8, IEShapeExplosionTurned = 9,
                  IEShapeCross = 10, IEShapeFeatheredArrow = 11, IEShapeHeart = 15;

// The crossbar position of the cross kind (single precision, as stored).
constexpr float IECrossBarPosition = 0.33f;

// With m = Min(Width, Height): Left += (Width - m) div 2, Top += (Height - m) div 2, Width and
// Height := m, the centred square of the box.
void IEFitSquare(int32_t& Left, int32_t& Top, int32_t& Width, int32_t& Height);

// The point at AngleDeg degrees (0 points up, angles grow clockwise on screen) and Radius from
// Center, rounded to the nearest pixel.
void IEPolarPoint(TIEPoint Center, uint16_t Radius, TIEPoint& P, double AngleDeg);

// Whether Kind (its low seven bits) is a polygon shape: 0 to 9 and 11 to 14.
bool IEShapeIsPolygon(uint8_t Kind);

// The points of a polygon kind in the box, in table order (the polygon is closed by the region;
// a table that repeats its first point keeps it). The box is adjusted first: the centred square
// for the stars and arrows, the width cut to the height (centred) for the lightning bolts, the
// whole box for the explosions. Empty for the other kinds.
std::vector<TIEPoint> IEShapePolygon(uint8_t Kind, int32_t Left, int32_t Top, int32_t Width, int32_t Height);

// The two bars of a cross in the box: the width is cut to Round(Height * 0.75) (centred), the bars
// are t = Min(Round(Width * 0.2), Round(Height * 0.22)) thick, the vertical one centred, the
// crossbar at Round((Height - t) * Position) from the top.
struct TIECrossBars {
    TIERect Vertical;
    TIERect Horizontal;
};
TIECrossBars IECrossBars(int32_t Left, int32_t Top, int32_t Width, int32_t Height, float Position);

// The parts of a heart in the centred square of side m of the box: two circles of diameter
// m div 2 + 2 in the upper corners, the triangle from their lower tangent points to the bottom
// middle, and the rectangle that closes the notch between the circles.
struct TIEHeartParts {
    TIERect LeftLobe;    // ellipse bounds
    TIERect RightLobe;   // ellipse bounds
    TIEPoint Triangle[3];
    TIERect Notch;
};
TIEHeartParts IEHeartParts(int32_t Left, int32_t Top, int32_t Width, int32_t Height);
