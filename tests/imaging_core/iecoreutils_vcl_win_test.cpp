// The core's helpers over the visual layer: system bitmap formats, font styles, the owner window
// and the 3-D frames painted into a memory bitmap and read back pixel by pixel.
#include <gtest/gtest.h>

#include <memory>

#include "Forms.h"
#include "Graphics.h"
#include "iecoreutils_vcl.h"
#include "iegdiplus_canvas.h"

TEST(IEVcl, SystemBitmapFormats) {
    struct { TPixelFormat format; int32_t bits; TIEPixelFormat ie; int32_t rowLen3; } cases[] = {
        {pfDevice, 0, ie24RGB, 0}, {pf1bit, 1, ie1g, 4}, {pf4bit, 4, ie8p, 4},
        {pf8bit, 8, ie8p, 4},      {pf24bit, 24, ie24RGB, 12}, {pf32bit, 32, ie24RGB, 12},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IEPixelFormatBits(c.format), c.bits) << c.format;
        EXPECT_EQ(IEPixelFormatFromVcl(c.format), c.ie) << c.format;
        EXPECT_EQ(IEVclRowLen(3, c.format), c.rowLen3) << c.format;
    }
}

TEST(IEVcl, FontStyleAndOwnerHandle) {
    EXPECT_EQ(IEGdipFontStyle(nullptr), 0);
    TFont font;
    EXPECT_EQ(IEGdipFontStyle(&font), 0);
    font.SetStyle(fsBold | fsUnderline);
    EXPECT_EQ(IEGdipFontStyle(&font), 5);
    font.SetStyle(fsItalic | fsStrikeOut);
    EXPECT_EQ(IEGdipFontStyle(&font), 10);

    EXPECT_EQ(IEFindOwnerHandle(nullptr), nullptr);
    TComponent lone(nullptr);
    EXPECT_EQ(IEFindOwnerHandle(&lone), nullptr);
    std::unique_ptr<TForm> form(new TForm(nullptr));
    auto* inner = new TComponent(form.get());
    auto* leaf = new TComponent(inner);
    EXPECT_EQ(IEFindOwnerHandle(leaf), nullptr);   // the form has no window yet
    const HWND h = form->Handle();
    EXPECT_EQ(IEFindOwnerHandle(leaf), h);
    EXPECT_EQ(IEFindOwnerHandle(form.get()), h);
}

namespace {

// Paints a frame from (1, 1) to (5, 5) on white and reads the corners and edges back.
template <class TDraw>
void CheckFrame(TDraw draw) {
    TBitmap bmp;
    bmp.SetPixelFormat(pf24bit);
    bmp.SetSize(8, 8);
    TCanvas* canvas = bmp.Canvas();
    canvas->Brush()->SetColor(0xFFFFFF);
    canvas->FillRect(RECT{0, 0, 8, 8});
    SetROP2(canvas->Handle(), R2_XORPEN);   // the frame puts copy mode back
    draw(*canvas);
    const TColor red = 0x0000FF, blue = 0xFF0000, white = 0xFFFFFF;
    EXPECT_EQ(canvas->GetPixel(1, 1), red);
    EXPECT_EQ(canvas->GetPixel(1, 3), red);
    EXPECT_EQ(canvas->GetPixel(4, 1), red);
    EXPECT_EQ(canvas->GetPixel(1, 5), blue);   // the bottom line starts on the left line's start
    EXPECT_EQ(canvas->GetPixel(4, 5), blue);
    EXPECT_EQ(canvas->GetPixel(5, 5), blue);
    EXPECT_EQ(canvas->GetPixel(5, 2), blue);
    EXPECT_EQ(canvas->GetPixel(5, 1), white);  // the end pixel of both paths stays untouched
    EXPECT_EQ(canvas->GetPixel(3, 3), white);
    EXPECT_EQ(canvas->GetPixel(6, 5), white);
}

}   // namespace

TEST(IEVcl, Draw3DFrameOnBothCanvases) {
    CheckFrame([](TCanvas& c) {
        c.Pen()->SetWidth(3);
        c.Pen()->SetStyle(psDot);
        IEDraw3DFrame(c, 1, 1, 5, 5, 0x0000FF, 0xFF0000);
        EXPECT_EQ(c.Pen()->Width(), 1);
    });
    CheckFrame([](TCanvas& c) {
        TIECanvas ie(c);
        ie.GetPen().SetMode(pmXor);
        ie.GetPen().SetStyle(psDot);
        IEDraw3DFrameIE(ie, 1, 1, 5, 5, 0x0000FF, 0xFF0000);
        EXPECT_EQ(ie.GetPen().GetMode(), 4);
    });
}
