// The GDI+ canvas: loading and counting of gdiplus.dll, the plain GDI road (exact pixels) and the
// GDI+ road (tolerant checks: Wine's gdiplus anti-aliases edges its own way).
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "Graphics.h"
#include "iegdiplus_canvas.h"

namespace {

// Every test starts and ends with GDI+ allowed, unloaded and the real library name.
class IEGdiPlus : public ::testing::Test {
protected:
    void SetUp() override { IEGdiPlusResetState(); }
    void TearDown() override {
        IEGdiPlusResetState();
        IEGdiPlusLibraryName = L"gdiplus.dll";
    }
};

// A white 24-bit bitmap of the given size.
std::unique_ptr<TBitmap> WhiteBitmap(int32_t w, int32_t h) {
    auto bmp = std::make_unique<TBitmap>();
    bmp->SetPixelFormat(pf24bit);
    bmp->SetSize(w, h);
    bmp->Canvas()->Brush()->SetColor(clWhite);
    bmp->Canvas()->FillRect(RECT{0, 0, w, h});
    return bmp;
}

int Channel(TColor c, int shift) { return (ColorToRGB(c) >> shift) & 0xFF; }

// True when every channel of c lies within tolerance of the expected one.
bool Near(TColor c, TColor expected, int tolerance) {
    for (int s : {0, 8, 16})
        if (std::abs(Channel(c, s) - Channel(expected, s)) > tolerance) return false;
    return true;
}

}  // namespace

TEST_F(IEGdiPlus, AcquireCountsAndTheLastReleaseUnloads) {
    IEGdiPlusAcquire();
    ASSERT_TRUE(IEGdiPlusLoaded()) << "Wine's gdiplus.dll did not start";
    EXPECT_TRUE(IEGdiPlusEnabled());
    IEGdiPlusAcquire();
    IEGdiPlusRelease();
    EXPECT_TRUE(IEGdiPlusLoaded());
    EXPECT_EQ(IEGdiPlusAcquireCount(), 1);
    IEGdiPlusRelease();
    EXPECT_FALSE(IEGdiPlusLoaded());
    // A release too many never takes the count below 0, so the next acquire loads again.
    IEGdiPlusRelease();
    EXPECT_EQ(IEGdiPlusAcquireCount(), 0);
    IEGdiPlusAcquire();
    EXPECT_TRUE(IEGdiPlusLoaded());
    IEGdiPlusRelease();

    // With the switch off an acquire counts but loads nothing.
    IEUseGdiPlus = false;
    IEGdiPlusAcquire();
    EXPECT_FALSE(IEGdiPlusLoaded());
    EXPECT_EQ(IEGdiPlusAcquireCount(), 1);
}

TEST_F(IEGdiPlus, WithoutTheLibraryEverythingDrawsThroughGdi) {
    IEGdiPlusLibraryName = L"no-such-gdiplus.dll";
    IEGdiPlusAcquire();
    EXPECT_FALSE(IEGdiPlusLoaded());
    auto bmp = WhiteBitmap(20, 20);
    TIECanvas canvas(*bmp->Canvas(), true, true);
    EXPECT_FALSE(canvas.GetUseGdiPlus());
    EXPECT_EQ(canvas.GetPen().GdipHandle(), nullptr);
    EXPECT_EQ(canvas.GetBrush().GdipHandle(), nullptr);
    canvas.GetPen().SetColor(clBlue);
    canvas.GetBrush().SetColor(clRed);
    canvas.GetBrush().SetAlpha(10);   // GDI has no alpha: the fill stays opaque
    canvas.Ellipse(2, 2, 18, 18);
    EXPECT_EQ(bmp->Canvas()->GetPixel(10, 10), clRed);
    EXPECT_EQ(bmp->Canvas()->GetPixel(2, 10), clBlue);   // GDI's outline on the left edge
    EXPECT_EQ(bmp->Canvas()->GetPixel(2, 2), clWhite);
    IEGdiPlusRelease();
}

// The GDI road pixel for pixel: the wrapped canvas' own conventions.
TEST_F(IEGdiPlus, GdiPrimitivesExact) {
    auto bmp = WhiteBitmap(20, 20);
    TCanvas& c = *bmp->Canvas();
    {
        TIECanvas canvas(c, false, true);
        canvas.GetPen().SetColor(clBlack);
        canvas.GetBrush().SetColor(clLime);
        canvas.FillRect(8, 8, 3, 3);   // corners in any order
        canvas.GetPen().SetColor(clRed);
        canvas.MoveTo(0, 15);
        canvas.LineTo(10, 15);   // the end pixel stays untouched
        EXPECT_EQ(canvas.GetPenPos().x, 10);
        canvas.DrawLine(12, 0, 12, 5);   // a two-point polygon: both ends drawn
        canvas.GetPen().SetMode(pmXor);
        canvas.GetPen().SetColor(clWhite);
        canvas.Polyline({POINT{0, 18}, POINT{5, 18}});
    }
    EXPECT_EQ(c.GetPixel(3, 3), clLime);
    EXPECT_EQ(c.GetPixel(7, 7), clLime);
    EXPECT_EQ(c.GetPixel(8, 8), clWhite);
    EXPECT_EQ(c.GetPixel(0, 15), clRed);
    EXPECT_EQ(c.GetPixel(9, 15), clRed);
    EXPECT_EQ(c.GetPixel(10, 15), clWhite);
    EXPECT_EQ(c.GetPixel(12, 0), clRed);
    EXPECT_EQ(c.GetPixel(12, 5), clRed);
    EXPECT_EQ(c.GetPixel(2, 18), clBlack);   // white xor white
}

TEST(IEGdiPlusEllipse, PenWidthCorrection) {
    struct Case {
        RECT In;
        float Width;
        RECT Out;
    } cases[] = {
        {{2, 2, 30, 20}, 1.0f, {2, 2, 30, 20}},     // a pen of width 1 keeps the rectangle
        {{2, 2, 30, 20}, 4.0f, {2, 2, 30, 20}},     // wide enough: unchanged
        {{5, 5, 7, 7}, 4.0f, {3, 3, 7, 7}},         // too narrow: grows to e, then left by e
        {{10, 10, 2, 2}, 2.0f, {10, 11, 2, 2}},     // reversed corners
        {{4, 4, 4, 9}, 2.0f, {3, 4, 5, 9}},         // zero width
    };
    for (const Case& k : cases) {
        const RECT r = TIECanvas::AdjustEllipseRect(k.In, k.Width);
        EXPECT_EQ(r.left, k.Out.left) << k.In.left << "," << k.In.top << "," << k.Width;
        EXPECT_EQ(r.top, k.Out.top) << k.In.left << "," << k.In.top << "," << k.Width;
        EXPECT_EQ(r.right, k.Out.right) << k.In.left << "," << k.In.top << "," << k.Width;
        EXPECT_EQ(r.bottom, k.Out.bottom) << k.In.left << "," << k.In.top << "," << k.Width;
    }
}

// The GDI+ road: inside in colour, outside untouched, edges anywhere between.
TEST_F(IEGdiPlus, GdipPrimitivesWithAlpha) {
    IEGdiPlusAcquire();
    ASSERT_TRUE(IEGdiPlusEnabled());
    auto bmp = WhiteBitmap(40, 40);
    TCanvas& c = *bmp->Canvas();
    {
        TIECanvas canvas(c, true, true);
        ASSERT_TRUE(canvas.GetUseGdiPlus());
        canvas.GetPen().SetStyle(psClear);
        canvas.GetBrush().SetColor(clRed);
        canvas.GetBrush().SetAlpha(128);
        canvas.FillRect(2, 2, 12, 12);          // half-transparent red over white
        canvas.GetBrush().SetAlpha(255);
        canvas.GetBrush().SetColor(clBlue);
        canvas.Ellipse(20, 2, 38, 20);          // opaque blue disc, no outline
        canvas.GetPen().SetStyle(psSolid);
        canvas.GetPen().SetColor(clGreen);
        canvas.GetPen().SetWidth(3.0f);
        canvas.DrawLine(2, 30, 30, 30);
    }
    EXPECT_TRUE(Near(c.GetPixel(6, 6), 0x8080FF, 8)) << std::hex << c.GetPixel(6, 6);
    EXPECT_EQ(c.GetPixel(15, 6), clWhite);
    EXPECT_TRUE(Near(c.GetPixel(29, 11), clBlue, 8));
    EXPECT_EQ(c.GetPixel(20, 2), clWhite);   // the rectangle's corner lies outside the disc
    EXPECT_TRUE(Near(c.GetPixel(15, 30), clGreen, 8));
    EXPECT_EQ(c.GetPixel(15, 34), clWhite);
    IEGdiPlusRelease();
}

TEST_F(IEGdiPlus, ClearPenDrawsNothingUntilSetBack) {
    IEGdiPlusAcquire();
    ASSERT_TRUE(IEGdiPlusEnabled());
    auto bmp = WhiteBitmap(30, 30);
    TCanvas& c = *bmp->Canvas();
    {
        TIECanvas canvas(c, true, false);
        canvas.GetPen().SetColor(clRed);
        canvas.GetPen().SetStyle(psClear);
        canvas.DrawLine(2, 5, 28, 5);
        canvas.GetPen().SetStyle(psSolid);
        canvas.GetPen().SetAlpha(255);
        canvas.DrawLine(2, 20, 28, 20);
    }
    for (int x = 0; x < 30; ++x) EXPECT_EQ(c.GetPixel(x, 5), clWhite) << x;
    EXPECT_TRUE(Near(c.GetPixel(15, 20), clRed, 8));
    IEGdiPlusRelease();
}

TEST_F(IEGdiPlus, CrossHatchLeavesItsBackgroundTransparent) {
    IEGdiPlusAcquire();
    ASSERT_TRUE(IEGdiPlusEnabled());
    auto bmp = WhiteBitmap(32, 32);
    TCanvas& c = *bmp->Canvas();
    {
        TIECanvas canvas(c, true, false);
        canvas.GetBrush().SetColor(clBlack);
        canvas.GetBrush().SetStyle(bsCross);
        canvas.FillRect(0, 0, 32, 32);
    }
    int black = 0, white = 0, other = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            const TColor p = c.GetPixel(x, y);
            (p == clBlack ? black : p == clWhite ? white : other)++;
        }
    EXPECT_GT(black, 50);    // the lines of the hatch
    EXPECT_GT(white, 400);   // the white below shows between them
    EXPECT_EQ(other, 0);
    IEGdiPlusRelease();
}

TEST_F(IEGdiPlus, RoundRectCornersLimitedToTheRectangle) {
    IEGdiPlusAcquire();
    ASSERT_TRUE(IEGdiPlusEnabled());
    auto bmp = WhiteBitmap(40, 40);
    TCanvas& c = *bmp->Canvas();
    {
        TIECanvas canvas(c, true, true);
        canvas.GetBrush().SetColor(clRed);
        canvas.GetPen().SetColor(clRed);
        canvas.RoundRect(4, 4, 36, 36, 400, 400);   // corners as large as the rectangle: a disc
    }
    EXPECT_TRUE(Near(c.GetPixel(20, 20), clRed, 8));
    EXPECT_TRUE(Near(c.GetPixel(20, 6), clRed, 8));
    EXPECT_EQ(c.GetPixel(6, 6), clWhite);     // the corners stay outside the rounding
    EXPECT_EQ(c.GetPixel(34, 34), clWhite);
    EXPECT_EQ(c.GetPixel(2, 20), clWhite);
    IEGdiPlusRelease();
}

TEST_F(IEGdiPlus, TextRectClippedRightToLeftShiftsByTheWidth) {
    auto ltr = WhiteBitmap(120, 30), rtl = WhiteBitmap(120, 30);
    auto leftmostInk = [](TBitmap& b) {
        for (int x = 0; x < b.Width(); ++x)
            for (int y = 0; y < b.Height(); ++y)
                if (b.Canvas()->GetPixel(x, y) != clWhite) return x;
        return -1;
    };
    const RECT clip{0, 0, 120, 30};
    int32_t width = 0;
    for (TBitmap* b : {ltr.get(), rtl.get()}) {
        b->Canvas()->Brush()->SetStyle(bsClear);
        TIECanvas canvas(*b->Canvas(), false, false);
        canvas.TextFlags = ETO_RTLREADING;
        if (b == rtl.get()) SetTextAlign(canvas.GetHandle(), TA_RTLREADING);
        width = canvas.TextWidth(L"ii");
        canvas.TextRectClipped(clip, 5, 5, L"ii");
    }
    ASSERT_GE(leftmostInk(*ltr), 0);
    EXPECT_EQ(leftmostInk(*rtl) - leftmostInk(*ltr), width + 1);
}

// An arc runs counter-clockwise from the direction of the third point to that of the fourth, on
// both roads: here the upper-right quarter of the circle.
TEST_F(IEGdiPlus, ArcQuarterOnBothRoads) {
    IEGdiPlusAcquire();
    ASSERT_TRUE(IEGdiPlusEnabled());
    for (bool gdip : {false, true}) {
        auto bmp = WhiteBitmap(41, 41);
        TCanvas& c = *bmp->Canvas();
        {
            TIECanvas canvas(c, gdip, false);
            canvas.GetPen().SetColor(clBlack);
            canvas.Arc(0, 0, 40, 40, 40, 20, 20, 0);
        }
        int quadrant[4] = {0, 0, 0, 0};   // upper right, upper left, lower left, lower right
        for (int y = 0; y < 41; ++y)
            for (int x = 0; x < 41; ++x) {
                if (std::abs(x - 20) < 4 || std::abs(y - 20) < 4 || c.GetPixel(x, y) == clWhite) continue;
                quadrant[x > 20 ? (y < 20 ? 0 : 3) : (y < 20 ? 1 : 2)]++;
            }
        EXPECT_GT(quadrant[0], 10) << gdip;
        EXPECT_EQ(quadrant[1] + quadrant[2] + quadrant[3], 0) << gdip;
    }
    IEGdiPlusRelease();
}
