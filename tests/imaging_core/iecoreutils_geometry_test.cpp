// Geometry and hit tests against values computed by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "iebitmap.h"
#include "iecoreutils_geometry.h"

namespace {
const double kPi = 3.14159265358979323846;
}

TEST(IEGeometry, RectanglesAndPoints) {
    EXPECT_TRUE(IEPointInRect(0, 0, 0, 0, 10, 10));
    EXPECT_TRUE(IEPointInRect(10, 10, 0, 0, 10, 10));
    EXPECT_FALSE(IEPointInRect(5, 5, 10, 10, 0, 0));   // not reordered
    EXPECT_TRUE(IEPointInRectAnyOrder(5, 5, 10, 10, 0, 0));
    EXPECT_TRUE(IERectsIntersect(10, 10, 0, 0, 10, 10, 20, 20));    // touching counts, A in any order
    EXPECT_FALSE(IERectsIntersect(0, 0, 9, 9, 10, 10, 20, 20));
    TIERect r{5, 5, 6, 6};
    IEExtendRect(r, -1, 9);
    EXPECT_EQ(r.Left, -1);
    EXPECT_EQ(r.Top, 5);
    EXPECT_EQ(r.Right, 6);
    EXPECT_EQ(r.Bottom, 9);
}

TEST(IEGeometry, SnapTo45Degrees) {
    struct { int32_t x2, y2, ex2, ey2; } cases[] = {
        {10, 100, 0, 100},    // steep: vertical
        {100, 10, 100, 0},    // flat: horizontal
        {50, 40, 50, 50},     // dx, dy < 0, e > f: the shorter (y) grows
        {40, 50, 50, 50},     // dx, dy < 0, e < f: x grows
        {-50, -40, -40, -40}, // dx, dy > 0, e > f: the longer (x) shrinks
        {-40, -50, -40, -40}, // dx, dy > 0, e < f
        {-50, 40, -50, 50},   // dx > 0, dy < 0, e >= f: y + k
        {-40, 50, -50, 50},   // e < f: x - k
        {50, -40, 50, -50},   // dx < 0, dy > 0, e >= f: y - k
        {40, -50, 50, -50},   // e < f: x + k
        {20, 0, 20, 0},       // dy = 0 and dx < 0 within 30: unchanged
    };
    for (const auto& c : cases) {
        int32_t x2 = c.x2, y2 = c.y2;
        IESnapTo45Degrees(0, 0, x2, y2);
        EXPECT_EQ(x2, c.ex2) << c.x2 << "," << c.y2;
        EXPECT_EQ(y2, c.ey2) << c.x2 << "," << c.y2;
    }
}

TEST(IEGeometry, PointAndSegmentDistances) {
    EXPECT_DOUBLE_EQ(IEPointDistance(0, 0, 3, 4), 5);
    // Far apart points: no 32-bit wrap of the squares.
    EXPECT_DOUBLE_EQ(IEPointDistance(-100000, 0, 100000, 0), 200000);
    EXPECT_DOUBLE_EQ(IEPointToLineDistance(0, 5, -10, 0, 10, 0), 5);
    EXPECT_DOUBLE_EQ(IEPointToLineDistance(3, 4, 7, 7, 7, 7), 5);   // degenerate line: the point
    struct { int32_t x, y, x1, y1, x2, y2; double d; } cases[] = {
        {0, 0, 10, 0, 20, 0, 10},
        {0, 0, 0, 5, 0, 5, 5},
        {15, 7, 10, 0, 20, 0, 7},
        {30, 0, 10, 0, 20, 0, 10},
        {0, 0, 50000, 0, 60000, 0, IEFarDistance},    // nearest end 50,000 away
        {0, 0, 0, -60000, 0, -50000, IEFarDistance},
        {0, 0, 45000, 0, 60000, 0, 45000},              // exactly at the limit still counts
        {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX - 1, IEFarDistance},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(IEPointToSegmentDistance(c.x, c.y, c.x1, c.y1, c.x2, c.y2), c.d) << c.x << "," << c.y;
}

TEST(IEGeometry, PolylineDistanceMapsToTheView) {
    const TIEPoint pts[] = {{0, 0}, {10, 0}, {10, 10}};
    // Zoom 2, origin (0, 0), offset (5, 5): view vertices (5, 5), (25, 5), (25, 25).
    EXPECT_DOUBLE_EQ(IEPointToPolylineDistance(15, 8, pts, 3, 0, 0, 5, 5, 2, 2, 1, false), 3);
    // The closing segment (25, 25)-(5, 5) passes through (15, 15).
    EXPECT_DOUBLE_EQ(IEPointToPolylineDistance(15, 15, pts, 3, 0, 0, 5, 5, 2, 2, 1, true), 0);
    EXPECT_NEAR(IEPointToPolylineDistance(15, 15, pts, 3, 0, 0, 5, 5, 2, 2, 1, false), 10, 1e-12);
    // A single vertex is a point; no vertices is far.
    EXPECT_DOUBLE_EQ(IEPointToPolylineDistance(8, 9, pts, 1, 0, 0, 5, 5, 1, 1, 1, false), 5);
    EXPECT_DOUBLE_EQ(IEPointToPolylineDistance(0, 0, pts, 0, 0, 0, 0, 0, 1, 1, 1, false), IEFarDistance);
    // A wide pen also tests the segment shifted down by 2..PenWidth div 2 (and sideways).
    const TIEPoint line[] = {{0, 0}, {100, 0}};
    EXPECT_DOUBLE_EQ(IEPointToPolylineDistance(50, 6, line, 2, 0, 0, 0, 0, 1, 1, 8, false), 2);
    EXPECT_DOUBLE_EQ(IEPointToPolylineDistance(50, 6, line, 2, 0, 0, 0, 0, 1, 1, 1, false), 6);
}

TEST(IEGeometry, RectBorderAndEllipseDistances) {
    EXPECT_DOUBLE_EQ(IEDistanceToRectBorder(5, 3, 0, 0, 10, 10, false, 1), 3);
    EXPECT_DOUBLE_EQ(IEDistanceToRectBorder(5, 3, 0, 0, 10, 10, true, 1), 0);
    EXPECT_DOUBLE_EQ(IEDistanceToRectBorder(5, -4, 0, 0, 10, 10, false, 1), 4);
    EXPECT_DOUBLE_EQ(IEDistanceToRectBorder(5, -4, 0, 0, 10, 10, false, 4), 2);   // shifted by -2
    EXPECT_DOUBLE_EQ(IEDistanceToRectBorder(5, -4, 0, 0, 10, 10, false, -2), IEFarBorderDistance);

    // Circle of radius 50 around (50, 50): the centre lies on a radius of the filled walk, and
    // the outline is 50 away from it (less the chord's sag); a point on the circle is near 0.
    EXPECT_DOUBLE_EQ(IEDistanceToEllipse(50, 50, 0, 0, 100, 100, true, 1), 0);
    EXPECT_NEAR(IEDistanceToEllipse(50, 50, 0, 0, 100, 100, false, 1), 50, 2);
    EXPECT_NEAR(IEDistanceToEllipse(50, 0, 0, 0, 100, 100, false, 1), 0, 1.5);
    EXPECT_NEAR(IEDistanceToEllipse(50, -20, 0, 0, 100, 100, false, 1), 20, 1.5);
    EXPECT_DOUBLE_EQ(IEDistanceToEllipse(0, 0, 0, 0, 10, 10, false, -2), IEFarBorderDistance);
    // A pen wider than the ellipse makes negative radii: a bounded walk, no endless loop.
    EXPECT_LT(IEDistanceToEllipse(5, 5, 0, 0, 2, 2, false, 40), IEFarBorderDistance);
}

TEST(IEGeometry, Angles) {
    EXPECT_DOUBLE_EQ(IEAngleOfSegment(0, 0, 10, -10), kPi / 4);
    EXPECT_DOUBLE_EQ(IEAngleOfSegment(0, 0, 0, 5), 3 * kPi / 2);
    EXPECT_DOUBLE_EQ(IEAngleOfSegment(0, 0, -5, 0), kPi);
    EXPECT_DOUBLE_EQ(IEAngleOfSegment(0, 0, 0, -5), kPi / 2);
    EXPECT_DOUBLE_EQ(IEAngleOfSegment(0, 0, 5, 0), 0);
    EXPECT_DOUBLE_EQ(IEAngleOfSegment(3, 3, 3, 3), 0);
    EXPECT_DOUBLE_EQ(IEAngleOfSegment(0, 0, 1, 1), 7 * kPi / 4);

    EXPECT_DOUBLE_EQ(IEAngleBetween(0, 0, 5, 5, 10, 10), 0);
    EXPECT_DOUBLE_EQ(IEAngleBetween(0, 0, 10, 0, 0, 0), kPi);
    EXPECT_DOUBLE_EQ(IEAngleBetween(0, 0, 10, 0, 10, 10), kPi / 2);
    EXPECT_DOUBLE_EQ(IEAngleBetween(0, 0, 0, 0, 10, 10), 0);

    EXPECT_EQ((double)IEArcCos(1), 0);
    EXPECT_DOUBLE_EQ((double)IEArcCos(-1), kPi);
    EXPECT_DOUBLE_EQ((double)IEArcCos(1.0000001L), 0);   // rounding past the range
    EXPECT_DOUBLE_EQ((double)IEArcCos(0), kPi / 2);

    EXPECT_EQ(IETurnDirection(0, 0, 10, 0, 10, 10), 1);
    EXPECT_EQ(IETurnDirection(0, 0, 10, 0, 10, -10), -1);
    EXPECT_EQ(IETurnDirection(0, 0, 10, 0, -5, 0), -1);   // collinear, behind the start
    EXPECT_EQ(IETurnDirection(0, 0, 10, 0, 20, 0), 1);    // collinear, beyond
    EXPECT_EQ(IETurnDirection(0, 0, 10, 0, 5, 0), 0);     // collinear, between

    EXPECT_DOUBLE_EQ(IETriangleAngle(10, 0, 0, 0, 0, -10), kPi / 2);
    EXPECT_DOUBLE_EQ(IETriangleAngle(10, 0, 0, 0, 0, 10), 3 * kPi / 2);
}

TEST(IEGeometry, RotatePointsCounterClockwiseOnScreen) {
    TIEPoint pts[] = {{10, 0}, {0, 10}, {13, 7}};
    IERotatePoints(pts, 1, 0, 90, 0);
    EXPECT_EQ(pts[0].X, 0);
    EXPECT_EQ(pts[0].Y, -10);
    EXPECT_EQ(pts[1].X, 10);
    EXPECT_EQ(pts[1].Y, 0);
    EXPECT_EQ(pts[2].X, 13);   // beyond HighIndex: untouched
    TIEPoint p[] = {{20, 10}};
    IERotatePoints(p, 0, 10, 180, 10);
    EXPECT_EQ(p[0].X, 0);
    EXPECT_EQ(p[0].Y, 10);
}

TEST(IEGeometry, PointInPolygonEvenOdd) {
    const TIEPoint square[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    EXPECT_TRUE(IEPointInPolygon(0, 5, square, 3));     // left edge inside
    EXPECT_FALSE(IEPointInPolygon(10, 5, square, 3));   // right edge outside
    EXPECT_TRUE(IEPointInPolygon(5, 0, square, 3));     // top edge inside
    EXPECT_FALSE(IEPointInPolygon(5, 10, square, 3));   // bottom edge outside
    EXPECT_FALSE(IEPointInPolygon(5, 5, square, -1));
    // A bow tie: the crossing point's halves.
    const TIEPoint bow[] = {{0, 0}, {10, 10}, {10, 0}, {0, 10}};
    EXPECT_TRUE(IEPointInPolygon(2, 5, bow, 3));
    EXPECT_FALSE(IEPointInPolygon(5, 2, bow, 3));
    // Scaled: zoom 0.5 maps the square to (2, 2)-(7, 7) with offset 2.
    EXPECT_TRUE(IEPointInPolygonScaled(2, 5, square, 4, 0, 0, 2, 2, 0.5, 0.5));
    EXPECT_FALSE(IEPointInPolygonScaled(7, 5, square, 4, 0, 0, 2, 2, 0.5, 0.5));
    EXPECT_FALSE(IEPointInPolygonScaled(3, 3, square, 0, 0, 0, 2, 2, 0.5, 0.5));
}

TEST(IEGeometry, FitRect) {
    struct {
        int32_t iw, ih, bw, bh, ox, oy;
        bool enlarge, shrink, ch, cv;
        int32_t crop;
        bool fill;
        TIERect r;
    } cases[] = {
        {200, 100, 100, 100, 0, 0, false, true, false, true, 0, false, {0, 25, 100, 75}},
        {200, 100, 100, 100, 0, 0, false, false, false, true, 0, false, {0, 0, 200, 100}},     // no shrink
        {50, 25, 100, 100, 0, 0, true, false, true, true, 0, false, {0, 25, 100, 75}},
        {50, 25, 100, 100, 3, 4, false, true, true, true, 0, false, {28, 41, 78, 66}},       // stays
        {200, 100, 100, 100, 0, 0, true, true, true, true, 0, true, {-50, 0, 150, 100}},     // fill
        {100, 200, 100, 100, 0, 0, true, true, true, false, 0, false, {25, 0, 75, 100}},
        // Crop 20: 100 / (0.8 * 200) = 0.625, giving 125 x 62.5 -> 125 x 62 (ties to even).
        {200, 100, 100, 100, 0, 0, true, true, false, false, 20, false, {0, 0, 125, 62}},
        // Crop 60 would make the height 125 > 100: reduced to 100 / 100.
        {200, 100, 100, 100, 0, 0, true, true, false, false, 60, false, {0, 0, 200, 100}},
        {0, 100, 100, 100, 7, 8, true, true, true, true, 0, false, {7, 8, 0, 0}},
    };
    for (const auto& c : cases) {
        TIERect r{};
        IEFitRect(c.iw, c.ih, c.bw, c.bh, c.ox, c.oy, c.enlarge, c.shrink, c.ch, c.cv, c.crop, c.fill, r);
        EXPECT_EQ(r.Left, c.r.Left) << c.iw << "x" << c.ih << " crop " << c.crop;
        EXPECT_EQ(r.Top, c.r.Top) << c.iw << "x" << c.ih << " crop " << c.crop;
        EXPECT_EQ(r.Right, c.r.Right) << c.iw << "x" << c.ih << " crop " << c.crop;
        EXPECT_EQ(r.Bottom, c.r.Bottom) << c.iw << "x" << c.ih << " crop " << c.crop;
    }
    TIESize s{};
    IEGetFittedSize(640, 480, 320, 320, false, false, s);
    EXPECT_EQ(s.cx, 320);
    EXPECT_EQ(s.cy, 240);
    int32_t w = -1, h = -1;
    IEFitSizeKeepAspect(0, 10, 100, 100, w, h);
    EXPECT_EQ(w, -1);   // unchanged
    IEFitSizeKeepAspect(10, 1000, 100, 100, w, h);
    EXPECT_EQ(w, 1);    // at least 1
    EXPECT_EQ(h, 100);
    IEFitSizeKeepAspect(30, 20, 300, 100, w, h);   // enlarges
    EXPECT_EQ(w, 150);
    EXPECT_EQ(h, 100);
}

TEST(IEGeometry, ApplyOrientationTurnsPixelsAndAlpha) {
    // A 3 x 2 grey image with values 10 * y + x (plus 1):
    //   1  2  3
    //  11 12 13
    // and what each orientation shows upright, read row by row.
    struct { int32_t orientation, w, h; uint8_t px[6]; } cases[] = {
        {1, 3, 2, {1, 2, 3, 11, 12, 13}},
        {2, 3, 2, {3, 2, 1, 13, 12, 11}},
        {3, 3, 2, {13, 12, 11, 3, 2, 1}},
        {4, 3, 2, {11, 12, 13, 1, 2, 3}},
        {5, 2, 3, {1, 11, 2, 12, 3, 13}},    // transposed
        {6, 2, 3, {11, 1, 12, 2, 13, 3}},    // a quarter clockwise
        {7, 2, 3, {13, 3, 12, 2, 11, 1}},    // transposed the other way
        {8, 2, 3, {3, 13, 2, 12, 1, 11}},    // a quarter counter-clockwise
        {9, 3, 2, {1, 2, 3, 11, 12, 13}},
    };
    for (const auto& c : cases) {
        TIEBitmap bmp(3, 2, ie8g);
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 3; ++x) {
                bmp.SetPixelByte(x, y, static_cast<uint8_t>(10 * y + x + 1));
                bmp.SetAlpha(x, y, static_cast<uint8_t>(100 + 10 * y + x + 1));
            }
        IEApplyOrientation(&bmp, c.orientation);
        ASSERT_EQ(bmp.GetWidth(), c.w) << c.orientation;
        ASSERT_EQ(bmp.GetHeight(), c.h) << c.orientation;
        ASSERT_TRUE(bmp.HasAlphaChannel());
        for (int32_t i = 0; i < 6; ++i) {
            EXPECT_EQ(bmp.GetPixelByte(i % c.w, i / c.w), c.px[i]) << c.orientation << " @" << i;
            EXPECT_EQ(bmp.GetAlpha(i % c.w, i / c.w), 100 + c.px[i]) << c.orientation << " @" << i;
        }
    }
    // A bitmap in a temporary file (rows mapped one at a time) turns the same way.
    TIEBitmap filed;
    filed.SetLocation(ieFile);
    ASSERT_TRUE(filed.Allocate(5, 3, ie24RGB));
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) filed.SetPixelRGB(x, y, TIERGB{uint8_t(x), uint8_t(y), 9});
    IEApplyOrientation(&filed, 8);
    ASSERT_EQ(filed.GetWidth(), 3);
    ASSERT_EQ(filed.GetHeight(), 5);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 3; ++x) {
            const TIERGB c = filed.GetPixelRGB(x, y);
            EXPECT_EQ(c.b, 4 - y);   // Source(w - 1 - y, x)
            EXPECT_EQ(c.g, x);
        }
    // Orientation 6 turns a 100 x 50 image into 50 x 100; 1-bit pixels move bit by bit.
    TIEBitmap mono(100, 50, ie1g);
    for (int32_t y = 0; y < 50; ++y) std::memset(mono.GetScanline(y), 0, mono.GetRowLen());
    mono.GetScanline(0)[0] = 0x80;   // the top-left pixel
    IEApplyOrientation(&mono, 6);
    EXPECT_EQ(mono.GetWidth(), 50);
    EXPECT_EQ(mono.GetHeight(), 100);
    EXPECT_EQ(mono.GetScanline(0)[6] & 0xC0, 0x40);   // x 48 clear, x 49 (the top-right) set
    EXPECT_EQ(mono.GetScanline(0)[0], 0);
}
