// The mask drawn onto a real drawing surface: the inverting overlay, stretched and with its
// source counted from the top, and the two-coloured selection border.
#include <gtest/gtest.h>

#include <memory>

#include "Graphics.h"
#include "WinApi.h"
#include "iemask.h"

namespace {

std::unique_ptr<TBitmap> WhiteSurface(int32_t w, int32_t h) {
    std::unique_ptr<TBitmap> b(new TBitmap);
    b->SetPixelFormat(pf24bit);
    b->SetSize(w, h);
    b->Canvas()->Brush()->SetColor(RGB(255, 255, 255));
    b->Canvas()->FillRect(RECT{0, 0, w, h});
    return b;
}

}  // namespace

TEST(IEMaskDrawing, StretchDrawInvertTurnsSetPixelsBlackOnWhite) {
    TIEMask m;
    m.Allocate(4, 4, 1);
    m.SetPixel(1, 2, 1);
    auto surface = WhiteSurface(8, 8);
    TCanvas& canvas = *surface->Canvas();
    // The mask's rows 2..3 stretched twice onto the whole surface: pixel (1, 2) covers (2..3, 0..3).
    m.StretchDrawInvert(canvas, 0, 0, 8, 8, 0, 2, 4, 2);
    GdiFlush();
    for (int32_t y = 0; y < 8; ++y) {
        for (int32_t x = 0; x < 8; ++x) {
            const bool set = (x == 2 || x == 3) && y < 4;
            ASSERT_EQ(canvas.GetPixel(x, y), set ? (TColor)RGB(0, 0, 0) : (TColor)RGB(255, 255, 255)) << x << "," << y;
        }
    }
    TIEMask eight;   // 8-bit masks draw nothing
    eight.Allocate(4, 4, 8);
    eight.SetPixel(0, 0, 255);
    eight.StretchDrawInvert(canvas, 0, 0, 8, 8, 0, 0, 4, 4);
    EXPECT_EQ(canvas.GetPixel(0, 0), (TColor)RGB(255, 255, 255));
}

TEST(IEMaskDrawing, DrawOutlinePutsTheBorderPixelsInTwoColours) {
    TIEMask m;
    m.Allocate(10, 10, 1);
    for (int32_t y = 2; y < 6; ++y)
        for (int32_t x = 2; x < 6; ++x) m.SetPixel(x, y, 1);
    auto surface = WhiteSurface(12, 12);
    TCanvas& canvas = *surface->Canvas();
    TIEMaskRect rect{};
    m.DrawOutline(canvas, 1, 1, 10, 10, 0, 0, 10, 10, 0, RGB(0, 0, 255), RGB(255, 0, 0), &rect);
    GdiFlush();
    EXPECT_EQ(rect.Left, 4);
    EXPECT_EQ(rect.Bottom, 7);
    for (int32_t y = 0; y < 12; ++y) {
        for (int32_t x = 0; x < 12; ++x) {
            const bool border = x >= 3 && x <= 6 && y >= 3 && y <= 6 && (x == 3 || x == 6 || y == 3 || y == 6);
            const TColor want = !border ? RGB(255, 255, 255) : ((x + y) & 7) < 4 ? RGB(255, 0, 0) : RGB(0, 0, 255);
            ASSERT_EQ(canvas.GetPixel(x, y), want) << x << "," << y;
        }
    }
}
