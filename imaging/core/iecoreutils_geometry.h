// Integer-coordinate geometry of the selections, the vector objects, the processing and the
// codecs: rectangle and point tests, distances from a point to segments, polylines, rectangle
// borders and ellipses (the hit tests, widened by the pen width), angles, point rotation,
// even-odd polygon tests, fitting an image into a box, and an EXIF orientation applied to a
// bitmap. Screen coordinates: x grows to the right, y downwards. Angles in radians unless said.
// Free functions without state; platform-neutral. Distances never raise: overflowing or
// degenerate cases give their "far" values.
#pragma once

#include <cstdint>

class TIEBitmap;

// A point and a point array (contiguous pairs), a rectangle and a size.
struct TIEPoint {
    int32_t X;
    int32_t Y;
};
struct TIERect {
    int32_t Left;
    int32_t Top;
    int32_t Right;
    int32_t Bottom;
};
struct TIESize {
    int32_t cx;
    int32_t cy;
};

// The "far" distance of segments and polylines.
constexpr double IEFarDistance = 1000000.0;
// The start (and "nothing tested") value of the rectangle-border and ellipse distances.
constexpr double IEFarBorderDistance = 2147483647.0;

// Trunc into 32 bits: values beyond the range saturate and NaN gives 0, instead of being
// undefined.
int32_t IETruncToInt32(long double X);

// ---- Rectangles and points ----------------------------------------------------------------------

// X1 <= X <= X2 and Y1 <= Y <= Y2.
bool IEPointInRect(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// The same with the corners in any order.
bool IEPointInRectAnyOrder(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// A (corners in any order) and B (ordered) overlap or touch.
bool IERectsIntersect(int32_t AX1, int32_t AY1, int32_t AX2, int32_t AY2, int32_t BX1, int32_t BY1,
                      int32_t BX2, int32_t BY2);
// Widens Rect so that it contains (X, Y).
void IEExtendRect(TIERect& Rect, int32_t X, int32_t Y);
// Moves the end point (X2, Y2) of a line from (X1, Y1) so that the line becomes vertical,
// horizontal or diagonal, whichever is nearest (the drawing constraint key).
void IESnapTo45Degrees(int32_t X1, int32_t Y1, int32_t& X2, int32_t& Y2);

// ---- Distances ------------------------------------------------------------------------------
// Coordinates are combined without wrapping (a 32-bit sum of squares would wrap for points more
// than 46,340 pixels apart and give a wrong or undefined distance).

double IEPointDistance(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// Distance from (X, Y) to the infinite line through the two points; the distance to the point
// when both points are the same.
double IEPointToLineDistance(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// Distance to the segment: to the nearer end beyond the segment's ends (IEFarDistance when that
// end is more than 45,000 pixels away on either axis), to the line between them.
double IEPointToSegmentDistance(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// Hit test of a polyline or polygon drawn in a view: the Count points mapped to view coordinates
// ((p - Origin) * Zoom + Offset, rounded), the smallest distance to their segments (and, Closed,
// the closing one; a single point: the point), each segment also shifted by the pen width.
// IEFarDistance when Count <= 0.
double IEPointToPolylineDistance(int32_t X, int32_t Y, const TIEPoint* Points, int32_t Count, int32_t OriginX,
                                 int32_t OriginY, int32_t OffsetX, int32_t OffsetY, double ZoomX, double ZoomY,
                                 int32_t PenWidth, bool Closed);
// Hit test of a box: the smallest distance to the sides of the rectangle shifted by each k in
// -(PenWidth div 2)..PenWidth div 2; 0 when Inside and the point lies in a shifted rectangle;
// IEFarBorderDistance when that range is empty.
double IEDistanceToRectBorder(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool Inside,
                              int32_t PenWidth);
// Hit test of the ellipse in the bounding rectangle, walked as a polygon (Filled: the distance to
// its radii, truncated; else to its outline), for each pen offset as above.
double IEDistanceToEllipse(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, bool Filled,
                           int32_t PenWidth);

// ---- Angles and rotation ------------------------------------------------------------------

// ArcTan2(sqrt(1 - X^2), X); values outside -1..1 (rounding of nearly collinear points) are taken
// as -1 or 1 and give pi or 0.
long double IEArcCos(long double X);
// The angle between the directions P1->P2 and P2->P3, 0..pi; 0 when a segment has length 0.
double IEAngleBetween(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
// The direction of P1->P2 counter-clockwise on screen from the positive x axis, 0 <= a < 2 pi;
// axis directions exactly 0, pi/2 (up), pi, 3 pi/2 (down); identical points 0.
double IEAngleOfSegment(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// With d1 = P2 - P1 and d2 = P3 - P1: 1 or -1 by the sign of the cross product; collinear: -1
// when P3 lies behind P1, 1 when beyond P2, else 0.
int32_t IETurnDirection(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
// The angle at P2 between P1 and P3 by the law of cosines, 2 pi minus it when the turn is -1.
double IETriangleAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
// Rotates Points[0..HighIndex] in place by Angle degrees, counter-clockwise on screen, around the
// centre; the new coordinates are truncated.
void IERotatePoints(TIEPoint* Points, int32_t HighIndex, int32_t CenterX, double Angle, int32_t CenterY);
// Even-odd crossing test over Points[0..HighIndex]: a point on a left edge is inside, on a right
// edge outside. False for a negative HighIndex.
bool IEPointInPolygon(int32_t X, int32_t Y, const TIEPoint* Points, int32_t HighIndex);
// The same over Count points mapped to view coordinates, kept as real numbers.
bool IEPointInPolygonScaled(int32_t X, int32_t Y, const TIEPoint* Points, int32_t Count, int32_t OriginX,
                            int32_t OriginY, int32_t OffsetX, int32_t OffsetY, double ZoomX, double ZoomY);

// ---- Fitting and orientation ------------------------------------------------------------------

// The rectangle of the image fitted into the box at the offset: scaled by the limiting side (Fill
// the other one) when shrinking or enlarging is allowed, CropPercent > 0 enlarging it by that
// share while its other side stays within the box, centred as asked. Any size 0 gives
// (OffsetX, OffsetY, 0, 0).
void IEFitRect(int32_t ImageWidth, int32_t ImageHeight, int32_t BoxWidth, int32_t BoxHeight, int32_t OffsetX,
               int32_t OffsetY, bool AllowEnlarge, bool AllowShrink, bool CenterH, bool CenterV,
               int32_t CropPercent, bool Fill, TIERect& Rect);
// The size IEFitRect gives with no offsets or centring, shrinking allowed, no crop.
void IEGetFittedSize(int32_t ImageWidth, int32_t ImageHeight, int32_t BoxWidth, int32_t BoxHeight,
                     bool AllowEnlarge, bool Fill, TIESize& Size);
// The largest size of the source's aspect within the maximum (it may enlarge), each side at
// least 1; nothing when a source size is 0.
void IEFitSizeKeepAspect(int32_t SrcWidth, int32_t SrcHeight, int32_t MaxWidth, int32_t MaxHeight,
                         int32_t& Width, int32_t& Height);
// Turns the bitmap (and its alpha channel) upright for an EXIF orientation value: 2 mirrored,
// 3 turned half round, 4 upside down mirrored, 5 transposed, 6 turned a quarter clockwise,
// 7 transposed the other way, 8 turned a quarter counter-clockwise; others change nothing.
void IEApplyOrientation(TIEBitmap* Bitmap, int32_t Orientation);
