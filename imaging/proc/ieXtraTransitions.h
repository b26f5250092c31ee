// The catalogue of the transition player and the drawing procedures it reaches through it
// (Windows build only: the procedures draw with GDI).
//
// IEExtraEffects holds 226 transitions, numbered 1 to 226 (entry n - 1 in C++), each with its
// display name, its drawing procedure and a family code that is carried for applications and not
// interpreted here. The player draws 42 of them itself (their Proc is nullptr); the 184 others
// are drawn by the procedures declared below, in four families:
//   moving and stretching   ieXtraTransitions_moving_win.cpp
//   banded regions          ieXtraTransitions_banded_win.cpp
//   polygon regions         ieXtraTransitions_polygon_win.cpp
//   shapes                  ieXtraTransitions_shapes_win.cpp
// and the table, the rectangle-region builder and the shared helpers in ieXtraTransitions_win.cpp
// (IEJoinRegion and TIERegionHolder come with the shape regions, iexShapes_win.h).
//
// The contract of a drawing procedure (TEffectProc):
// - Canvas is the canvas of the player's 24-bit frame bitmap. On entry it holds the previous
//   frame (the old image before the first call); a procedure draws over it.
// - OldImage and NewImage are the image going out and the image coming in, each of the frame's size.
// - ARect is (0, 0, frame width, frame height) and is not changed.
// - Step runs 0 to 1024 (1024 = finished); Progress is Round(Step / 1024 * 100), 0 to 100. Most
//   procedures work from Progress alone.
// - The canvas's stretch mode is HALFTONE on entry. On return no clip region is selected into the
//   canvas and every GDI object the procedure made is deleted, whatever happened in between.
// - Procedures keep no state between calls, report nothing and check no GDI result. Those that
//   reseed the shared generator (RandSeed) put its state back before returning.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

#include "WinApi.h"
#include "Graphics.h"
#include "ieXtraTransitions_base.h"
#include "iexShapes_win.h"

// One frame of a transition, drawn onto Canvas (see the contract above).
typedef void (*TEffectProc)(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect,
                            int32_t Step, int32_t Progress);

// One transition of the catalogue.
struct TEffect {
    const wchar_t* Name;   // display name
    TEffectProc Proc;      // nullptr for the transitions the player draws itself
    int32_t Flags;         // family code carried with the transition
};

constexpr int32_t IEExtraEffectCount = 226;
// Transition n is IEExtraEffects[n - 1].
extern const TEffect IEExtraEffects[IEExtraEffectCount];
// The entry of transition AEffect, or nullptr outside 1 to 226.
const TEffect* IEExtraEffect(int32_t AEffect);

// The frame size and progress extents of a frame rectangle (see ieXtraTransitions_base.h).
void IEGetTransitionSizes(const RECT& ARect, int32_t Progress, int32_t& W, int32_t& H, int32_t& X, int32_t& Y);

// A region made of many rectangles, collected in one RGNDATA block (grown 500 rectangles at a time)
// and turned into a GDI region by ExtCreateRegion, much faster than combining the rectangles one
// by one. Wine's ExtCreateRegion itself joins its rectangles one by one, which slows down as the
// region grows (a speckled wipe on a full-HD frame took about 20 ms), so blocks of more than 64
// rectangles are made 64 at a time and the parts joined pairwise (about 3 ms); the region is the
// same. Rectangles are kept as given: no normalisation, empty ones included.
class TComplexRegion : public TObject {
public:
    KW_CLASS_NAME(TComplexRegion)
    TComplexRegion();
    ~TComplexRegion() override;
    TComplexRegion(const TComplexRegion&) = delete;
    TComplexRegion& operator=(const TComplexRegion&) = delete;

    // Frees the block: no rectangles, no capacity, empty bounds.
    void Clear();
    // Appends one rectangle and widens the bounds. Throws std::bad_alloc when the block cannot grow.
    void AddRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
    // A new region (the caller's) of the union of the rectangles; 0 when none was ever added.
    HRGN CreateRegion();

    int32_t Count() const { return FCount; }
    int32_t Capacity() const { return FCapacity; }
    const RECT& Bounds() const { return FBounds; }

private:
    uint8_t* FRgnData = nullptr;   // RGNDATAHEADER (32 bytes), then 16 bytes per rectangle
    int32_t FCapacity = 0;
    int32_t FCount = 0;
    RECT FBounds;                  // (MaxInt, MaxInt, -MaxInt, -MaxInt) while empty
    uint8_t* FNextRect = nullptr;  // the slot of the next rectangle
};

// Collects regions and joins them with RGN_OR in a balanced tree of unions: growing one region
// part by part slows down as the region grows, so hundreds of shapes are joined pairwise instead.
// Owns the parts until Union hands over the result.
class TIERegionUnion {
public:
    TIERegionUnion() = default;
    ~TIERegionUnion();
    TIERegionUnion(const TIERegionUnion&) = delete;
    TIERegionUnion& operator=(const TIERegionUnion&) = delete;
    // Takes Part over (0 is ignored).
    void Add(HRGN Part);
    // The union of the parts, the caller's; 0 when none was added.
    HRGN Union();

private:
    std::vector<HRGN> FParts;
};

// The polygon of the consecutive (x, y) pairs of Coords, fill mode WINDING; an odd last value,
// which has no partner, is left out. 0 for fewer than one point.
HRGN IECreatePolygonRegion(const int32_t* Coords, size_t Count);
inline HRGN IECreatePolygonRegion(std::initializer_list<int32_t> Coords)
{
    return IECreatePolygonRegion(Coords.begin(), Coords.size());
}
// IECreateShapeRegion(Kind, R.left, R.top, R.right - R.left, R.bottom - R.top) (iexShapes_win.h).
HRGN IECreateShapeRegionInRect(uint8_t Kind, const RECT& R);


// The reveal step that ends most region procedures: Region becomes the canvas's clip region, the
// whole of Image is copied onto the canvas at (0, 0), the clip region is removed and Region is
// deleted (also when drawing fails). A 0 Region draws nothing.
void IERevealThroughRegion(TCanvas* Canvas, TBitmap* Image, HRGN Region);

// The seed of the transitions whose random order is fixed by the new image ("Random Big Boxes"
// and the random shapes): the low 32 bits of NewImage's bitmap handle, so that every frame of one
// transition makes the same draws. A test installs IETransitionSeedHook to choose the seed;
// nullptr restores the handle.
typedef uint32_t (*TIETransitionSeedFunc)(TBitmap* NewImage);
extern TIETransitionSeedFunc IETransitionSeedHook;
uint32_t IETransitionSeed(TBitmap* NewImage);

// Walks the grid of cells with centres Spacing, 3 Spacing, 5 Spacing, ... (columns outer, while
// centre - Spacing is inside the W x H frame) in a random order fixed by NewImage: the generator
// is seeded with IETransitionSeed(NewImage), draws once per cell, and Shown(x, y) is called for
// each cell whose draw Random(100) is below Progress. So a cell shown at one progress is shown at
// every higher one. The generator's state is put back afterwards, also when Shown throws.
void IEForRandomCells(TBitmap* NewImage, int32_t W, int32_t H, int32_t Spacing, int32_t Progress,
                      const std::function<void(int32_t X, int32_t Y)>& Shown);

// Saves the shared generator's state and puts it back when it goes out of scope.
class TIERandSeedKeeper {
public:
    TIERandSeedKeeper() : FSaved(RandSeed) {}
    ~TIERandSeedKeeper() { RandSeed = FSaved; }
    TIERandSeedKeeper(const TIERandSeedKeeper&) = delete;
    TIERandSeedKeeper& operator=(const TIERandSeedKeeper&) = delete;

private:
    uint32_t FSaved;
};

// The drawing procedures, each with the TEffectProc signature, one per transition number.
#define IE_EFFECT_PROC(Name) \
    void Name(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect, int32_t Step, int32_t Progress)

// ---- Moving and stretching (ieXtraTransitions_moving_win.cpp) ------------------------------------
// Whole images or rectangular pieces moved, stretched, mirrored or skewed, without clip regions.
IE_EFFECT_PROC(IEExpandFromLeft);   // 31
IE_EFFECT_PROC(IEExpandFromRight);   // 32
IE_EFFECT_PROC(IEExpandFromTop);   // 33
IE_EFFECT_PROC(IEExpandFromBottom);   // 34
IE_EFFECT_PROC(IEExpandFromTopLeft);   // 35
IE_EFFECT_PROC(IEExpandFromTopRight);   // 36
IE_EFFECT_PROC(IEExpandFromBottomLeft);   // 37
IE_EFFECT_PROC(IEExpandFromBottomRight);   // 38
IE_EFFECT_PROC(IEExpandInFromLeft);   // 39
IE_EFFECT_PROC(IEExpandInFromRight);   // 40
IE_EFFECT_PROC(IEExpandInFromTop);   // 41
IE_EFFECT_PROC(IEExpandInFromBottom);   // 42
IE_EFFECT_PROC(IEExpandInToVerticalCenter);   // 43
IE_EFFECT_PROC(IEExpandInToHorizon);   // 44
IE_EFFECT_PROC(IEExpandInFromSides);   // 45
IE_EFFECT_PROC(IEExpandInFromTopAndBottom);   // 46
IE_EFFECT_PROC(IEExpandOutFromHorizon);   // 47
IE_EFFECT_PROC(IEExpandOutFromVerticalCenter);   // 48
IE_EFFECT_PROC(IEWipeFromTopLeft);   // 49
IE_EFFECT_PROC(IEWipeFromTopRight);   // 50
IE_EFFECT_PROC(IEWipeFromBottomLeft);   // 51
IE_EFFECT_PROC(IEWipeFromBottomRight);   // 52
IE_EFFECT_PROC(IEWipeInFromTopAndBottom);   // 53
IE_EFFECT_PROC(IEWipeFromHorizon);   // 54
IE_EFFECT_PROC(IEWipeInFromSides);   // 55
IE_EFFECT_PROC(IEWipeOutFromVerticalCenter);   // 56
IE_EFFECT_PROC(IEBuildUpFromLeft);   // 57
IE_EFFECT_PROC(IEBuildUpFromRight);   // 58
IE_EFFECT_PROC(IEBuildUpFromTop);   // 59
IE_EFFECT_PROC(IEBuildUpFromBottom);   // 60
IE_EFFECT_PROC(IEUnrollFromLeft);   // 61
IE_EFFECT_PROC(IEUnrollFromRight);   // 62
IE_EFFECT_PROC(IEUnrollFromTop);   // 63
IE_EFFECT_PROC(IEUnrollFromBottom);   // 64
IE_EFFECT_PROC(IESlideInFromLeft);   // 65
IE_EFFECT_PROC(IESlideInFromRight);   // 66
IE_EFFECT_PROC(IESlideInFromTop);   // 67
IE_EFFECT_PROC(IESlideInFromBottom);   // 68
IE_EFFECT_PROC(IEShrinkToTopLeft);   // 69
IE_EFFECT_PROC(IEShrinkToTopRight);   // 70
IE_EFFECT_PROC(IEShrinkToBottomLeft);   // 71
IE_EFFECT_PROC(IEShrinkToBottomRight);   // 72
IE_EFFECT_PROC(IEShrinkToCenter);   // 73
IE_EFFECT_PROC(IEQuartersWipeInToCenter);   // 74
IE_EFFECT_PROC(IEQuartersExpandToCenter);   // 75
IE_EFFECT_PROC(IEQuartersSlideInToCenter);   // 76
IE_EFFECT_PROC(IEPushLeftAndSlideOut);   // 151
IE_EFFECT_PROC(IEPushRightAndSlideOut);   // 152
IE_EFFECT_PROC(IEPushUpAndSlideOut);   // 153
IE_EFFECT_PROC(IEPushDownAndSlideOut);   // 154
IE_EFFECT_PROC(IEPushAndSqueezeLeft);   // 155
IE_EFFECT_PROC(IEPushAndSqueezeRight);   // 156
IE_EFFECT_PROC(IEPushAndSqueezeUp);   // 157
IE_EFFECT_PROC(IEPushAndSqueezeDown);   // 158
IE_EFFECT_PROC(IETwistIn);   // 223
IE_EFFECT_PROC(IETwistOut);   // 224
IE_EFFECT_PROC(IEMultipleTwistIn);   // 225
IE_EFFECT_PROC(IEMultipleTwistOut);   // 226

// ---- Banded regions (ieXtraTransitions_banded_win.cpp) --------------------------------------------
// Bars, crisscross bars, shreds, specks, blinds, rectangle patterns, squares and random boxes: the
// new image shown through one region collected from rectangles.
IE_EFFECT_PROC(IEBarsInFromLeft);   // 85
IE_EFFECT_PROC(IEBarsInFromRight);   // 86
IE_EFFECT_PROC(IEBarsFromTop);   // 87
IE_EFFECT_PROC(IEBarsFromBottom);   // 88
IE_EFFECT_PROC(IEBarsLeftThenRight);   // 89
IE_EFFECT_PROC(IEBarsRightThenLeft);   // 90
IE_EFFECT_PROC(IEBarsTopThenBottom);   // 91
IE_EFFECT_PROC(IEBarsBottomThenTop);   // 92
IE_EFFECT_PROC(IEBarsFromBothSides);   // 93
IE_EFFECT_PROC(IEBarsFromTopAndBottom);   // 94
IE_EFFECT_PROC(IEShreddedFromLeft);   // 95
IE_EFFECT_PROC(IEShreddedFromRight);   // 96
IE_EFFECT_PROC(IEShreddedFromTop);   // 97
IE_EFFECT_PROC(IEShreddedFromBottom);   // 98
IE_EFFECT_PROC(IEShreddedFromTopAndLeft);   // 99
IE_EFFECT_PROC(IEShreddedFromTopAndRight);   // 100
IE_EFFECT_PROC(IEShreddedFromBottomAndLeft);   // 101
IE_EFFECT_PROC(IEShreddedFromBottomAndRight);   // 102
IE_EFFECT_PROC(IEShreddedFromHorizonAndLeft);   // 103
IE_EFFECT_PROC(IEShreddedFromHorizonAndRight);   // 104
IE_EFFECT_PROC(IEShreddedFromTopAndVerticalCenter);   // 105
IE_EFFECT_PROC(IEShreddedFromBottomAndVerticalCenter);   // 106
IE_EFFECT_PROC(IEShreddedFromCenter);   // 107
IE_EFFECT_PROC(IEShreddedToCenter);   // 108
IE_EFFECT_PROC(IEShreddedInToHorizon);   // 109
IE_EFFECT_PROC(IEShreddedInToVerticalCenter);   // 110
IE_EFFECT_PROC(IEShreddedOutFromHorizon);   // 111
IE_EFFECT_PROC(IEShreddedOutFromVerticalCenter);   // 112
IE_EFFECT_PROC(IEExpandingRectangles);   // 113
IE_EFFECT_PROC(IECrisscrossWipeFromTopLeft);   // 119
IE_EFFECT_PROC(IECrisscrossWipeFromTopRight);   // 120
IE_EFFECT_PROC(IECrisscrossWipeFromBottomLeft);   // 121
IE_EFFECT_PROC(IECrisscrossWipeFromBottomRight);   // 122
IE_EFFECT_PROC(IECrisscrossWipeBounceFromTopLeft);   // 123
IE_EFFECT_PROC(IECrisscrossWipeBounceFromTopRight);   // 124
IE_EFFECT_PROC(IECrisscrossWipeBounceFromBottomLeft);   // 125
IE_EFFECT_PROC(IECrisscrossWipeBounceFromBottomRight);   // 126
IE_EFFECT_PROC(IECrisscrossWipeFromLeftRightAndTop);   // 127
IE_EFFECT_PROC(IECrisscrossWipeFromLeftRightAndBottom);   // 128
IE_EFFECT_PROC(IECrisscrossWipeFromLeftTopAndBottom);   // 129
IE_EFFECT_PROC(IECrisscrossWipeFromTopLeftRightAndBottom);   // 130
IE_EFFECT_PROC(IECrisscrossWipeFromRightTopAndBottom);   // 131
IE_EFFECT_PROC(IECrisscrossWipeFromBottomLeftTopRight);   // 132
IE_EFFECT_PROC(IESpeckledWipeFromLeft);   // 147
IE_EFFECT_PROC(IESpeckledWipeFromRight);   // 148
IE_EFFECT_PROC(IESpeckledWipeFromTop);   // 149
IE_EFFECT_PROC(IESpeckledWipeFromBottom);   // 150
IE_EFFECT_PROC(IEHorizontalBlinds);   // 159
IE_EFFECT_PROC(IEVerticalBlinds);   // 160
IE_EFFECT_PROC(IEUnevenBlindsFromLeft);   // 161
IE_EFFECT_PROC(IEUnevenBlindsFromRight);   // 162
IE_EFFECT_PROC(IEUnevenBlindsFromTop);   // 163
IE_EFFECT_PROC(IEUnevenBlindsFromBottom);   // 164
IE_EFFECT_PROC(IERectanglesFromTheLeft);   // 165
IE_EFFECT_PROC(IERectanglesFromTheRight);   // 166
IE_EFFECT_PROC(IERectanglesFromTheTop);   // 167
IE_EFFECT_PROC(IERectanglesFromTheBottom);   // 168
IE_EFFECT_PROC(IERandomBigBoxes);   // 185

// The rectangle regions of the banded family. XExtent and HorzMode drive bands that run across the
// frame and grow from its left or right edge, YExtent and VertMode bands that run down and grow from
// its top or bottom edge; mode 0 adds no bands of that direction. The caller owns the result.
// Bars Min(W, H) div 50 + 1 thick; past the frame size (twice the extent passed) a second phase
// brings in the bars between them. Modes: 1 from the right (bottom), 2 from the left (top), 3 both
// bands of a pair at once, 4 left (top) then the opposite side, 5 the reverse of 4.
HRGN IECreateBarsRegion(int32_t XExtent, int32_t YExtent, int32_t Width, int32_t Height, int32_t HorzMode,
                        int32_t VertMode);
// Strips Min(W, H) div 200 + 1 thick with a random length around the extent (the generator is not
// reseeded). Modes: 1 from the right (bottom), 2 from the left (top), 3 out from the centre line,
// others in from both edges.
HRGN IECreateShredsRegion(int32_t XExtent, int32_t YExtent, int32_t Width, int32_t Height, int32_t HorzMode,
                          int32_t VertMode);
// A solid part up to the extent and square specks ahead of it that get rarer with the distance
// (the generator is not reseeded). Mode 1 from the right (bottom), others from the left (top).
HRGN IECreateSpeckleRegion(int32_t XExtent, int32_t YExtent, int32_t Width, int32_t Height, int32_t HorzMode,
                           int32_t VertMode);

// ---- Polygon regions (ieXtraTransitions_polygon_win.cpp) ------------------------------------------
// Curved, diagonal and zigzag wipes, sweeps, starbursts, rotating and spiralling shapes, arrows,
// bow ties, crosses, diamonds and grids of triangles and diamonds.
IE_EFFECT_PROC(IECurvedWipeFromLeft);   // 77
IE_EFFECT_PROC(IECurvedWipeFromRight);   // 78
IE_EFFECT_PROC(IECurvedWipeFromTop);   // 79
IE_EFFECT_PROC(IECurvedWipeFromBottom);   // 80
IE_EFFECT_PROC(IECurvedWipeFromTopLeft);   // 81
IE_EFFECT_PROC(IECurvedWipeFromTopRight);   // 82
IE_EFFECT_PROC(IECurvedWipeFromBottomLeft);   // 83
IE_EFFECT_PROC(IECurvedWipeFromBottomRight);   // 84
IE_EFFECT_PROC(IEExpandingTriangles);   // 114
IE_EFFECT_PROC(IEExpandingDiamonds);   // 116
IE_EFFECT_PROC(IEWipeDiagonalFromTopLeft);   // 133
IE_EFFECT_PROC(IEWipeDiagonalFromTopRight);   // 134
IE_EFFECT_PROC(IEWipeDiagonalFromBottomLeft);   // 135
IE_EFFECT_PROC(IEWipeDiagonalFromBottomRight);   // 136
IE_EFFECT_PROC(IEDiagonalSweepClockwise);   // 137
IE_EFFECT_PROC(IEDiagonalSweepCounterClockwise);   // 138
IE_EFFECT_PROC(IESweepClockwise);   // 139
IE_EFFECT_PROC(IESweepCounterClockwise);   // 140
IE_EFFECT_PROC(IEStarburstClockwise);   // 141
IE_EFFECT_PROC(IEStarburstCounterClockwise);   // 142
IE_EFFECT_PROC(IERotationalRectangleClockwise);   // 143
IE_EFFECT_PROC(IERotationalRectangleCounterClockwise);   // 144
IE_EFFECT_PROC(IERotationalStarClockwise);   // 145
IE_EFFECT_PROC(IERotationalStarCounterClockwise);   // 146
IE_EFFECT_PROC(IESpirallingRectangleClockwise);   // 169
IE_EFFECT_PROC(IESpirallingRectangleCounterClockwise);   // 170
IE_EFFECT_PROC(IEArrowWipeFromLeft);   // 171
IE_EFFECT_PROC(IEArrowWipeFromRight);   // 172
IE_EFFECT_PROC(IEArrowWipeFromTop);   // 173
IE_EFFECT_PROC(IEArrowWipeFromBottom);   // 174
IE_EFFECT_PROC(IEHorizontalBowTieWipe);   // 175
IE_EFFECT_PROC(IEVerticalBowTieWipe);   // 176
IE_EFFECT_PROC(IEDiagonalCrossFromCenter);   // 177
IE_EFFECT_PROC(IEDiagonalCrossToCenter);   // 178
IE_EFFECT_PROC(IEZigzagWipeFromHorizon);   // 179
IE_EFFECT_PROC(IEZigzagWipeFromVerticalCenter);   // 180
IE_EFFECT_PROC(IEDiamondWipeFromCenter);   // 181
IE_EFFECT_PROC(IEDiamondWipeToCenter);   // 182
IE_EFFECT_PROC(IETriangularWipe);   // 184
IE_EFFECT_PROC(IEZigzagWipeToHorizon);   // 190
IE_EFFECT_PROC(IEZigzagWipeToVerticalCenter);   // 191

// Every point p becomes (CX + Round(dx cos Angle - dy sin Angle), CY + Round(dx sin Angle + dy cos
// Angle)) with (dx, dy) = p - (CX, CY).
void IERotatePointArray(POINT* Points, size_t Count, int32_t CX, int32_t CY, long double Angle);
// A fan from (CX, CY) over Steps edges (at least 1) from StartAngle towards EndAngle, its last
// edge one step short of EndAngle; fill mode WINDING.
HRGN IECreatePieRegion(int32_t CX, int32_t CY, int32_t Radius, long double StartAngle, long double EndAngle,
                       int32_t Steps);
// The triangle of the three points, fill mode WINDING.
HRGN IECreateTriangleRegion(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
// The engines of the rotating rectangle, the rotating star and the spiralling rectangle.
void IERotatingRectWipe(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect, int32_t Step,
                        int32_t Progress, bool Clockwise);
void IERotatingStarWipe(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect, int32_t Step,
                        int32_t Progress, bool Clockwise);
void IESpiralRectWipe(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect, int32_t Step,
                      int32_t Progress, bool Clockwise);

// ---- Shapes (ieXtraTransitions_shapes_win.cpp) ----------------------------------------------------
// Circles, hearts, stars, explosions, lightning and crosses growing from or shrinking to the
// centre, rings between two shapes, grids of growing shapes and randomly placed shapes.
IE_EFFECT_PROC(IEExpandingCircles);   // 115
IE_EFFECT_PROC(IECircularWipeFromCenter);   // 117
IE_EFFECT_PROC(IECircularWipeToCenter);   // 118
IE_EFFECT_PROC(IEDiamondWipeInAndOut);   // 183
IE_EFFECT_PROC(IERandomHearts);   // 192
IE_EFFECT_PROC(IERandom5PointedStars);   // 193
IE_EFFECT_PROC(IERandom6PointedStars);   // 194
IE_EFFECT_PROC(IERandomExplosions);   // 195
IE_EFFECT_PROC(IEExpandingHearts);   // 196
IE_EFFECT_PROC(IEExpanding5PointedStars);   // 197
IE_EFFECT_PROC(IEExpanding6PointedStars);   // 198
IE_EFFECT_PROC(IEExpandingExplosions);   // 199
IE_EFFECT_PROC(IEExpandingLightningBolts);   // 200
IE_EFFECT_PROC(IEHeartWipeFromCenter);   // 201
IE_EFFECT_PROC(IEHeartWipeToCenter);   // 202
IE_EFFECT_PROC(IE5PointedStarWipeFromCenter);   // 203
IE_EFFECT_PROC(IE5PointedStarWipeToCenter);   // 204
IE_EFFECT_PROC(IE6PointedStarWipeFromCenter);   // 205
IE_EFFECT_PROC(IE6PointedStarWipeToCenter);   // 206
IE_EFFECT_PROC(IEExplosionWipeFromCenter);   // 207
IE_EFFECT_PROC(IEExplosionWipeToCenter);   // 208
IE_EFFECT_PROC(IECrossWipeFromCenter);   // 209
IE_EFFECT_PROC(IECrossWipeToCenter);   // 210
IE_EFFECT_PROC(IEHeartWipeInAndOut);   // 211
IE_EFFECT_PROC(IE5PointedStarWipeInAndOut);   // 212
IE_EFFECT_PROC(IE6PointedStarWipeInAndOut);   // 213
IE_EFFECT_PROC(IEExplosionWipeInAndOut);   // 214

// The four shape engines. Shape is a kind of IECreateShapeRegion, or 255 for the engine's own
// round shape (a rounded rectangle close to an ellipse, a circle, or a diamond for the ring).
// Scale and Spacing are single precision and compared with 1.0 exactly.
// A shape growing from the centre (Inward false) or the frame outside a shrinking one (true).
void IEShapeWipe(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect, int32_t Progress,
                 uint8_t Shape, bool Inward, float Scale);
// The ring between a shape growing past the frame and one shrinking to the centre.
void IEShapeInOutWipe(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect, int32_t Progress,
                      uint8_t Shape, float Scale);
// A grid of shapes growing about their centres.
void IEExpandingShapes(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect,
                       int32_t Progress, uint8_t Shape, float Scale);
// Shapes on a grid shown in a random order fixed by NewImage (see IETransitionSeed).
void IERandomShapes(TCanvas* Canvas, TBitmap* OldImage, TBitmap* NewImage, const RECT& ARect, int32_t Progress,
                    uint8_t Shape, int32_t Divisor, float Spacing);
