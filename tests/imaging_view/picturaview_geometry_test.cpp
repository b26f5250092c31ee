// The viewer's geometry without a window: largest origins, centring, coordinate tables against a
// slow reference, the conversions, and the arithmetic of scroll bars, the wheel and smooth scrolling.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "picturaview_geometry.h"

namespace {

TIEViewGeometry Geometry(int32_t W, int32_t H, double Zoom) {
    TIEViewGeometry g;
    g.ImageWidth = W;
    g.ImageHeight = H;
    g.SetZoomValues(Zoom, Zoom);
    return g;
}

// Extent, source rectangle and tables as the view computes them after a change.
void Settle(TIEViewGeometry& g, int32_t ViewW, int32_t ViewH, bool Center = true) {
    g.ComputeDisplayExtent(ViewW, ViewH, Center);
    g.ComputeSourceRect();
    g.BuildCoordinateTables();
}

}  // namespace

TEST(TIEViewGeometry, MaxViewOriginAddsOnePixelOnlyWithScrollBars) {
    struct Case {
        int32_t W, H;
        double Zoom;
        int32_t ViewW, ViewH;
        bool Bars;
        int32_t MaxX, MaxY;
    } cases[] = {
        {1000, 800, 100, 400, 300, true, 601, 501},
        {1000, 800, 100, 400, 300, false, 600, 500},
        // Fits inside the control: nothing to scroll.
        {200, 100, 100, 400, 300, true, 0, 0},
        // Equal zooms: one axis too large keeps both axes scrollable where they overflow.
        {1000, 100, 100, 400, 300, true, 601, 0},
        {1000, 800, 50, 400, 300, true, 100, 100},
        {1000, 800, 200, 400, 300, true, 1602, 1302},
        // An empty image.
        {0, 0, 100, 400, 300, true, 0, 0},
    };
    for (const Case& c : cases) {
        TIEViewGeometry g = Geometry(c.W, c.H, c.Zoom);
        Settle(g, c.ViewW, c.ViewH);
        int32_t mx = -1, my = -1;
        g.GetMaxViewOrigin(c.ViewW, c.ViewH, c.ViewW, c.ViewH, c.Bars, mx, my);
        EXPECT_EQ(mx, c.MaxX) << c.W << "x" << c.H << " at " << c.Zoom;
        EXPECT_EQ(my, c.MaxY) << c.W << "x" << c.H << " at " << c.Zoom;
    }
}

TEST(TIEViewGeometry, CentringOffsets) {
    TIEViewGeometry g = Geometry(200, 100, 100);
    g.ComputeDisplayExtent(400, 300, true);
    EXPECT_EQ(g.OffsetX, 100);
    EXPECT_EQ(g.OffsetY, 100);
    EXPECT_EQ(g.ExtentWidth, 200);
    g.ComputeDisplayExtent(400, 300, false);
    EXPECT_EQ(g.OffsetX, 0);
    EXPECT_EQ(g.OffsetY, 0);
    // Zoomed sizes round halves to even: 3 x 50 % = 1.5 -> 2, 5 x 50 % = 2.5 -> 2.
    TIEViewGeometry h = Geometry(3, 5, 50);
    h.ComputeDisplayExtent(100, 100, true);
    EXPECT_EQ(h.ZoomedWidth, 2);
    EXPECT_EQ(h.ZoomedHeight, 2);
}

// The tables against their definition, computed the slow way: with zoom above 100 a zoomed position
// p shows column min(Trunc(p x 100 / zoom), W - 1); otherwise column c starts at Trunc(c x zoom /
// 100) and a position shows the lowest column starting there. Each column maps back to the first
// position that shows it.
TEST(TIEViewGeometry, CoordinateTablesMatchASlowReference) {
    for (double zoom : {50.0, 100.0, 200.0, 333.0}) {
        TIEViewGeometry g = Geometry(37, 23, zoom);
        Settle(g, 60, 40);
        ASSERT_TRUE(g.HasTables()) << zoom;
        const long double inv = 100.0L / zoom, f = zoom / 100.0L;
        const int64_t j = int64_t(g.ZoomedWidth) + g.DrawWidth;
        ASSERT_EQ(g.ScreenToBitmapCols.size(), size_t(j + 2)) << zoom;
        for (int64_t p = 0; p <= j; ++p) {
            int64_t expected;
            if (zoom > 100) {
                expected = std::min<int64_t>(int64_t(std::trunc(p * inv)), 36);
            } else {
                expected = -1;
                for (int64_t c = 0; c <= int64_t(std::trunc((j + 1) * inv)); ++c)
                    if (int64_t(std::trunc(c * f)) == p) {
                        expected = std::min<int64_t>(c, 36);
                        break;
                    }
                if (expected < 0) continue;   // no column starts there
            }
            ASSERT_EQ(g.ScreenToBitmapCols[size_t(p)], expected) << "zoom " << zoom << " position " << p;
        }
        for (int32_t c = 0; c < 37; ++c) {
            int64_t first = -1;
            if (zoom > 100) {
                for (int64_t p = 0; p <= j && first < 0; ++p)
                    if (int64_t(std::trunc(p * inv)) == c) first = p;
            } else {
                first = int64_t(std::trunc(c * f));
            }
            ASSERT_EQ(g.BitmapToScreenCols[size_t(c)], first) << "zoom " << zoom << " column " << c;
        }
    }
}

TEST(TIEViewGeometry, TableEdgeValuesAndReuse) {
    TIEViewGeometry g = Geometry(100, 100, 200);
    Settle(g, 50, 50);
    EXPECT_EQ(g.ScreenToBitmapCols[0], 0);
    EXPECT_EQ(g.ScreenToBitmapCols[1], 0);
    EXPECT_EQ(g.ScreenToBitmapCols[2], 1);
    EXPECT_EQ(g.ScreenToBitmapCols[3], 1);
    EXPECT_EQ(g.BitmapToScreenCols[1], 2);
    EXPECT_EQ(g.SnapScreenX(3), 2);
    EXPECT_EQ(g.SnapScreenX(-4), 0);
    const int32_t* before = g.ScreenToBitmapCols.data();
    g.BuildCoordinateTables();
    EXPECT_EQ(g.ScreenToBitmapCols.data(), before);   // nothing changed: the same arrays

    TIEViewGeometry h = Geometry(100, 100, 50);
    Settle(h, 50, 50);
    EXPECT_EQ(h.BitmapToScreenCols[3], 1);
    EXPECT_EQ(h.ScreenToBitmapCols[1], 2);

    // An empty image has no tables.
    TIEViewGeometry e = Geometry(0, 0, 100);
    Settle(e, 50, 50);
    EXPECT_FALSE(e.HasTables());
}

TEST(TIEViewGeometry, ConversionsRoundTripWithinOneZoomedPixel) {
    for (double zoom : {50.0, 100.0, 200.0, 333.0}) {
        TIEViewGeometry g = Geometry(300, 200, zoom);
        g.OriginX = g.OriginY = 0;
        Settle(g, 120, 90);
        int32_t maxX, maxY;
        g.GetMaxViewOrigin(120, 90, 120, 90, true, maxX, maxY);
        for (int32_t wanted : {0, 17, 40}) {
            const int32_t origin = std::min(wanted, maxX);
            g.OriginX = origin;
            g.ComputeSourceRect();
            g.BuildCoordinateTables();
            for (int32_t x = 0; x < 120; ++x) {
                const int32_t b = g.ScreenToBitmapX(x);
                // The image column shown at x is the one under the zoomed position origin + x.
                EXPECT_NEAR(b, (origin + x) * 100.0 / zoom, 1.0 + 100.0 / zoom) << zoom << " " << origin << " " << x;
                const int32_t back = g.BitmapToScreenX(b);
                EXPECT_LE(std::abs(back - x), int32_t(std::ceil(zoom / 100.0)) + 1) << zoom << " " << origin << " " << x;
            }
        }
    }
}

TEST(TIEViewGeometry, HugeZoomsStayInsideThirtyTwoBits) {
    // The largest zoom keeps the zoomed image inside 32-bit coordinates.
    const double maxZoom = IEMaxZoomFor(6000, 4000);
    EXPECT_LE(6000.0 * maxZoom / 100.0, double(IEMaxZoomedExtent) + 1);
    TIEViewGeometry g = Geometry(6000, 4000, maxZoom);
    Settle(g, 800, 600);
    EXPECT_GT(g.ZoomedWidth, 0);
    // Tables that would be too large are not built; the conversions still work.
    EXPECT_FALSE(g.HasTables());
    EXPECT_EQ(g.ScreenToBitmapX(0), 0);
    int32_t mx, my;
    g.GetMaxViewOrigin(800, 600, 800, 600, true, mx, my);
    EXPECT_GT(mx, 0);
    EXPECT_GT(my, 0);
    // A zero zoom is ignored.
    g.SetZoomValues(0, 0);
    EXPECT_EQ(g.ZoomX, maxZoom);
}

TEST(TIEViewGeometry, ScrollBarWheelAndSmoothScrollArithmetic) {
    const TIEScrollBarValues v = IEScrollBarValues(400, 601, 300);
    EXPECT_DOUBLE_EQ(v.Scale, 1001.0 / 65536.0);
    EXPECT_EQ(v.Page, int32_t(400 / v.Scale));
    EXPECT_EQ(v.Pos, int32_t(300 / v.Scale));

    struct Action {
        TIEScrollAction Kind;
        int32_t Line, Page;
        double Factor;
        int32_t Expected;
    } actions[] = {
        {iesaLineForward, -1, -1, 1.0, 101},  {iesaLineForward, 5, -1, 1.0, 105},  {iesaLineForward, 5, -1, 3.5, 115},
        {iesaLineBack, -1, -1, 0.5, 99},      {iesaPageForward, -1, -1, 1.0, 500}, {iesaPageBack, -1, 30, 2.0, 40},
        {iesaToStart, -1, -1, 1.0, 0},        {iesaToEnd, -1, -1, 1.0, 601},       {iesaPosition, -1, -1, 1.0, 7},
    };
    for (const Action& a : actions)
        EXPECT_EQ(IEScrollActionOrigin(a.Kind, 7, 100, 601, 400, a.Factor, a.Line, a.Page), a.Expected) << int(a.Kind);

    // A turn away from the user (positive delta) zooms out, towards the user zooms in.
    EXPECT_EQ(IEWheelDirection(120, false), -1);
    EXPECT_EQ(IEWheelDirection(-120, false), 1);
    EXPECT_EQ(IEWheelDirection(120, true), 1);
    EXPECT_DOUBLE_EQ(IEWheelZoom(IEWheelDirection(-120, false), 1, 8, 100), 108);
    EXPECT_DOUBLE_EQ(IEWheelZoom(IEWheelDirection(120, false), 1, 8, 100), 92);
    EXPECT_DOUBLE_EQ(IEWheelZoom(1, 0, 8, 100), 108);
    EXPECT_DOUBLE_EQ(IEWheelZoom(1, 1, 8, 5), 6);   // at least one per cent
    EXPECT_DOUBLE_EQ(IEWheelZoom(1, 7, 8, 100), 100);
    EXPECT_EQ(IEWheelScrollStep(1, 0, 8, 2.5, 300), 16);
    EXPECT_EQ(IEWheelScrollStep(-1, 1, 8, 1, 300), -24);
    EXPECT_EQ(IEWheelScrollStep(1, 1, 1, 1, 10), 1);

    // 1/8 of the remaining distance per step, halves to even, until a step moves nothing.
    std::vector<int32_t> steps;
    int32_t x = 0;
    for (int i = 0; i < 100; ++i) {
        const int32_t next = IESmoothScrollNext(x, 800, 8);
        if (next == x) break;
        steps.push_back(next - x);
        x = next;
    }
    ASSERT_GE(steps.size(), 3u);
    EXPECT_EQ(steps[0], 100);
    EXPECT_EQ(steps[1], 88);
    EXPECT_GE(x, 796);
    EXPECT_LT(steps.size(), 100u);
    EXPECT_EQ(IESmoothScrollNext(10, 800, 0), 800);
}

TEST(TIEViewGeometry, AutoFitChoice) {
    struct Case {
        int32_t IW, IH, AW, AH;
        bool Stretch, Shrink;
        double Expected;
    } cases[] = {
        {0, 10, 100, 100, true, true, 100},   {1000, 500, 100, 100, false, true, 42},
        {1000, 500, 100, 100, false, false, 100}, {50, 50, 100, 100, true, false, 42},
        {50, 50, 100, 100, false, true, 100}, {50, 500, 100, 100, false, true, 42},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(IEChooseAutoFitZoom(c.IW, c.IH, c.AW, c.AH, c.Stretch, c.Shrink, 42), c.Expected);
    EXPECT_DOUBLE_EQ(IEFitZoom(404, 2, 200), 200);
    EXPECT_DOUBLE_EQ(IEFitZoom(404, 2, 0), 0);
}
