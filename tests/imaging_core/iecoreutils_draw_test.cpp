// The platform-neutral drawing helpers: the bell curve, the striped and brushed-metal backgrounds,
// the soft shadow, and the viewer's settings objects.
#include <gtest/gtest.h>

#include <vector>

#include "iebitmap.h"
#include "iecoreutils_draw.h"

TEST(IEDraw, BellCurveAndStripes) {
    std::vector<double> v;
    IEBellCurve(4, 130, 255, 0.5, v);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_DOUBLE_EQ(v[2], 255.0);   // x = 0 is the peak
    TIEBitmap b(3, 8, ie24RGB);
    IEFillStripes(&b);
    const uint8_t rows[8] = {240, 251, 255, 251, 240, 251, 255, 251};
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(b.GetPixelRGB(x, y).g, rows[y]) << y;
    IEBellCurve(0, 0, 1, 1, v);
    EXPECT_TRUE(v.empty());
}

// With a random source that never fires, every row shows the column greys of the bell (160 at the
// left edge, 208 at the centre); one that always fires adds its streak offset from then on.
TEST(IEDraw, BrushedMetalColumnsAndStreaks) {
    TIEBitmap b(200, 2, ie24RGB);
    IEFillBrushedMetal(&b, [](int32_t N) { return N - 1; });
    std::vector<double> g;
    IEBellCurve(200, 160, 208, 3.0, g);
    for (int32_t x = 0; x < 200; ++x) EXPECT_EQ(b.GetPixelRGB(x, 1).r, (uint8_t)g[x]) << x;
    EXPECT_EQ(b.GetPixelRGB(100, 0).r, 208);
    int calls = 0;
    // -99 + 100 is below the counter from its second pixel on: the offset becomes 7 after the
    // second pixel and stays 7 (the counter restarts, and passes 1 again).
    IEFillBrushedMetal(&b, [&](int32_t N) { ++calls; return N == 11 ? 7 : -99; });
    EXPECT_EQ(b.GetPixelRGB(0, 0).r, (uint8_t)g[0]);
    EXPECT_EQ(b.GetPixelRGB(1, 0).r, (uint8_t)g[1]);
    EXPECT_EQ(b.GetPixelRGB(2, 0).r, (uint8_t)(g[2] + 7));
    EXPECT_EQ(b.GetPixelRGB(0, 1).r, (uint8_t)(g[0] + 7));   // kept from row to row
    EXPECT_GT(calls, 200);
}

// The soft shadow darkens around the rectangle (more towards its bottom-right, where the template
// is offset) and leaves the inside and the far pixels alone.
TEST(IEDraw, SoftShadowDarkensTheBorderOnly) {
    TIEBitmap b(30, 30, ie24RGB);
    b.Fill(0xFFFFFF);
    IEApplySoftShadow(&b, 10, 10, 19, 19);
    EXPECT_EQ(b.GetPixelRGB(15, 15).r, 255);   // inside
    EXPECT_EQ(b.GetPixelRGB(2, 2).r, 255);     // beyond the 5-pixel border
    EXPECT_LT(b.GetPixelRGB(21, 15).r, 128);   // right of the image, close
    EXPECT_LT(b.GetPixelRGB(9, 15).r, 255);    // left, close
    EXPECT_GT(b.GetPixelRGB(9, 15).r, b.GetPixelRGB(21, 15).r);
    IEApplySoftShadow(&b, 5, 5, 2, 2);        // empty rectangle: nothing
}

TEST(IEDraw, SettingsObjectsStartWithTheViewerDefaults) {
    const TIEScrollBarParams s;
    EXPECT_EQ(s.LineStep, -1);
    EXPECT_EQ(s.PageStep, -1);
    EXPECT_TRUE(s.Tracking);
    const TIEMouseWheelParams w;
    EXPECT_FALSE(w.InverseDirection);
    EXPECT_EQ(w.Action, 2);
    EXPECT_EQ(w.Variation, 1);
    EXPECT_EQ(w.Value, 8);
    EXPECT_EQ(w.ZoomPosition, 0);
}
