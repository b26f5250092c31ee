// The renderer's wrappers over the visual layer and the drawing helpers on system bitmaps and
// drawing surfaces, read back pixel by pixel.
#include <gtest/gtest.h>

#include <memory>

#include "Graphics.h"
#include "WinApi.h"
#include "iebitmap.h"
#include "iecoreutils_vcl.h"

namespace {

std::unique_ptr<TBitmap> White(int32_t w, int32_t h) {
    std::unique_ptr<TBitmap> b(new TBitmap);
    b->SetPixelFormat(pf24bit);
    b->SetSize(w, h);
    b->Canvas()->Brush()->SetColor(clWhite);
    b->Canvas()->FillRect(RECT{0, 0, w, h});
    return b;
}

}   // namespace

TEST(RenderWin, RenderToTBitmapWithTransparency) {
    TIEBitmap src(2, 2, ie24RGB);
    src.Fill(0);   // black
    auto bmp = White(4, 4);
    src.RenderToTBitmap(bmp.get(), 1, 1, 2, 2, 0, 0, 2, 2, 128, rfNone, 0);
    const TColor c = bmp->Canvas()->GetPixel(1, 1);
    EXPECT_EQ(c & 0xFF, 127);   // 255 + floor(128 x -255 / 256) = 127
    EXPECT_EQ(bmp->Canvas()->GetPixel(0, 0), clWhite);
    EXPECT_EQ(bmp->Canvas()->GetPixel(3, 3), clWhite);
}

// Blending onto a drawing surface through its alpha channel: transparent pixels keep the surface.
TEST(RenderWin, DrawToCanvasWithAlphaKeepsTransparentPixels) {
    TIEBitmap src(2, 1, ie24RGB);
    src.Fill(0x0000FF);   // red as a colour value
    src.GetAlphaChannel()->SetPixelByte(0, 0, 0);
    src.GetAlphaChannel()->SetPixelByte(1, 0, 255);
    src.GetAlphaChannel()->SetFull(false);
    auto bmp = White(4, 2);
    src.DrawToCanvasWithAlpha(bmp->Canvas(), 1, 0, 2, 1, 0, 0, 2, 1, 255, rfNone, 0);
    EXPECT_EQ(bmp->Canvas()->GetPixel(1, 0), clWhite);
    const TColor c = bmp->Canvas()->GetPixel(2, 0);
    EXPECT_EQ(c & 0xFF, 255);          // red stays
    EXPECT_EQ((c >> 8) & 0xFF, 0);     // green 255 + floor(255 x -255 / 256) = 0
    EXPECT_EQ(bmp->Canvas()->GetPixel(2, 1), clWhite);
}

TEST(RenderWin, StripesAndDimOutside) {
    TBitmap bmp;
    IEDrawStripes(&bmp, 5, 8);
    ASSERT_EQ(bmp.Height(), 8);
    const int32_t greys[8] = {240, 251, 255, 251, 240, 251, 255, 251};
    for (int32_t y = 0; y < 8; ++y) EXPECT_EQ(bmp.Canvas()->GetPixel(2, y) & 0xFF, greys[y]) << y;
    auto w = White(10, 10);
    IEDimOutside(w->Canvas(), 0, 0, 10, 10, 5, 5, 5, 8);   // empty inner rectangle
    EXPECT_EQ(w->Canvas()->GetPixel(0, 0), clWhite);
    IEDimOutside(w->Canvas(), 0, 0, 10, 10, 3, 3, 7, 7);
    const TColor dim = w->Canvas()->GetPixel(0, 0);
    EXPECT_LT(dim & 0xFF, 255);
    EXPECT_GT(dim & 0xFF, 0);
    EXPECT_EQ(w->Canvas()->GetPixel(5, 5), clWhite);
}
