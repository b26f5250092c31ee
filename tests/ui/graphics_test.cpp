// Canvas, drawing objects, the DIB bitmap and the picture.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "Classes.h"
#include "Graphics.h"
#include "ui_test_util.h"

TEST(Colors, SystemColoursResolveAndPlainOnesPassThrough) {
    EXPECT_EQ(ColorToRGB(clBtnFace), (int32_t)GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(ColorToRGB(clWindowText), (int32_t)GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(ColorToRGB(0x123456), 0x123456);
    EXPECT_EQ(ColorToRGB(clNone), clNone);
    EXPECT_EQ(clBtnFace, (TColor)0xFF00000F);
}

TEST(DrawingObjects, ChangeNotificationFiresOncePerRealChange) {
    TPen pen;
    TBrush brush;
    TFont font;
    int pens = 0, brushes = 0, fonts = 0;
    pen.OnChange = [&](TObject*) { ++pens; };
    brush.OnChange = [&](TObject*) { ++brushes; };
    font.OnChange = [&](TObject*) { ++fonts; };
    pen.SetColor(clRed);
    pen.SetColor(clRed);
    pen.SetWidth(3);
    brush.SetColor(clBlue);
    brush.SetColor(clBlue);
    brush.SetStyle(bsClear);
    font.SetHeight(-20);
    font.SetHeight(-20);
    font.SetStyle(fsBold | fsItalic);
    font.SetName(L"Tahoma");   // already the default
    EXPECT_EQ(pens, 2);
    EXPECT_EQ(brushes, 2);
    EXPECT_EQ(fonts, 2);
}

TEST(DrawingObjects, FontSizeAndHeightFollowTheScreenResolution) {
    TFont font;
    font.SetPixelsPerInch(96);
    font.SetHeight(-11);
    EXPECT_EQ(font.Size(), 8);
    font.SetSize(12);
    EXPECT_EQ(font.Height(), -16);
    font.SetStyle(fsBold);
    LOGFONTW lf{};
    ASSERT_NE(GetObjectW(font.Handle(), sizeof lf, &lf), 0);
    EXPECT_EQ(lf.lfHeight, -16);
    EXPECT_EQ(lf.lfWeight, FW_BOLD);
    TFont copy;
    copy.Assign(&font);
    EXPECT_EQ(copy.Height(), -16);
    EXPECT_EQ(copy.Style(), fsBold);
}

TEST(Canvas, DrawsWithItsBrushPenAndFontIntoABitmap) {
    TBitmap bmp;
    MakeCanvasBitmap(bmp, 40, 20, clWhite);
    TCanvas* c = bmp.Canvas();
    c->Brush()->SetColor(clRed);
    c->FillRect(RECT{0, 0, 10, 10});
    c->Pen()->SetColor(clBlue);
    c->MoveTo(0, 15);
    c->LineTo(40, 15);
    c->Brush()->SetColor(clLime);
    c->Pen()->SetColor(clBlack);
    c->Rectangle(20, 0, 30, 10);
    c->Brush()->SetColor(clYellow);
    c->FrameRect(RECT{32, 0, 40, 8});

    EXPECT_EQ(PixelOf(bmp, 5, 5), clRed);
    EXPECT_EQ(PixelOf(bmp, 15, 5), clWhite);
    EXPECT_EQ(PixelOf(bmp, 5, 15), clBlue);
    EXPECT_EQ(PixelOf(bmp, 20, 0), clBlack);    // pen outline
    EXPECT_EQ(PixelOf(bmp, 25, 5), clLime);     // brush inside
    EXPECT_EQ(PixelOf(bmp, 32, 4), clYellow);   // frame edge
    EXPECT_EQ(PixelOf(bmp, 35, 4), clWhite);    // frame inside stays
    EXPECT_EQ(c->PenPos().x, 40);
}

TEST(Canvas, TextFollowsFontChangesAndClearBrushKeepsTheBackground) {
    TBitmap bmp;
    MakeCanvasBitmap(bmp, 200, 60, clWhite);
    TCanvas* c = bmp.Canvas();
    c->Font()->SetHeight(-11);
    const SIZE small = c->TextExtent(L"WWWW");
    c->Font()->SetHeight(-30);
    const SIZE large = c->TextExtent(L"WWWW");
    EXPECT_GT(large.cx, small.cx);
    EXPECT_GT(large.cy, small.cy);
    EXPECT_EQ(c->TextWidth(L""), 0);

    // An opaque brush fills the text cell; a clear one leaves the background.
    c->Brush()->SetColor(clAqua);
    c->Font()->SetColor(clBlack);
    c->TextOut(0, 0, L"i");
    EXPECT_EQ(PixelOf(bmp, 0, 1), clAqua);
    c->Brush()->SetStyle(bsClear);
    c->TextOut(100, 0, L"i");
    EXPECT_EQ(PixelOf(bmp, 100, 1), clWhite);

    // TextRect clips to its rectangle.
    c->Brush()->SetColor(clRed);
    c->TextRect(RECT{0, 40, 5, 60}, 0, 40, L"WWWWWW");
    EXPECT_EQ(PixelOf(bmp, 10, 50), clWhite);
}

TEST(Canvas, LockNestsOnOneThread) {
    TCanvas c;
    c.Lock();
    EXPECT_TRUE(c.TryLock());
    EXPECT_EQ(c.LockCount(), 2);
    c.Unlock();
    c.Unlock();
    EXPECT_EQ(c.LockCount(), 0);
}

TEST(Canvas, WithoutAContextDrawingFails) {
    TCanvas c;
    EXPECT_THROW(c.FillRect(RECT{0, 0, 1, 1}), Exception);
}

TEST(Bitmap, ScanLinesAreTopDownAndRowsPadded) {
    TBitmap bmp;
    bmp.SetPixelFormat(pf24bit);
    bmp.SetSize(3, 2);
    EXPECT_EQ(bmp.RowBytes(), 12);
    auto* row0 = static_cast<uint8_t*>(bmp.ScanLine(0));
    row0[0] = 0x11;   // blue of (0, 0)
    row0[1] = 0x22;
    row0[2] = 0x33;
    EXPECT_EQ(bmp.Canvas()->GetPixel(0, 0), (TColor)0x112233);
    EXPECT_EQ(PixelOf(bmp, 0, 1), clBlack);   // new pixels are black
    EXPECT_THROW(bmp.ScanLine(2), EInvalidGraphic);

    TBitmap b32;
    b32.SetPixelFormat(pf32bit);
    b32.SetSize(5, 1);
    EXPECT_EQ(b32.BitCount(), 32);
    EXPECT_EQ(b32.RowBytes(), 20);
}

TEST(Bitmap, ResizeKeepsTheOverlapAndFormatChangeKeepsThePixels) {
    TBitmap bmp;
    MakeCanvasBitmap(bmp, 4, 4, clRed);
    bmp.SetSize(6, 2);
    EXPECT_EQ(PixelOf(bmp, 3, 1), clRed);
    EXPECT_EQ(PixelOf(bmp, 5, 1), clBlack);
    bmp.SetPixelFormat(pf32bit);
    EXPECT_EQ(bmp.BitCount(), 32);
    EXPECT_EQ(PixelOf(bmp, 0, 0), clRed);
}

TEST(Bitmap, AssignCopiesPixelsAndTransparencyIndependently) {
    TBitmap a;
    MakeCanvasBitmap(a, 3, 3, clBlue);
    a.SetTransparent(true);
    TBitmap b;
    b.Assign(&a);
    EXPECT_EQ(b.Width(), 3);
    EXPECT_TRUE(b.Transparent());
    a.Canvas()->SetPixel(1, 1, clRed);
    EXPECT_EQ(PixelOf(b, 1, 1), clBlue);
}

TEST(Bitmap, LoadsBmpFiles) {
    {
        TBitmap bmp;
        TFileStream s(UiFixture("rgb24_4x3.bmp"), fmOpenRead | fmShareDenyWrite);
        bmp.LoadFromStream(&s);
        ASSERT_EQ(bmp.Width(), 4);
        ASSERT_EQ(bmp.Height(), 3);
        EXPECT_EQ(bmp.PixelFormat(), pf24bit);
        EXPECT_EQ(PixelOf(bmp, 0, 0), clRed);
        EXPECT_EQ(PixelOf(bmp, 1, 1), clLime);
        EXPECT_EQ(PixelOf(bmp, 3, 2), clBlue);
        EXPECT_EQ(PixelOf(bmp, 2, 0), clWhite);
    }
    {
        TBitmap bmp;
        TFileStream s(UiFixture("pal4_4x3.bmp"), fmOpenRead | fmShareDenyWrite);
        bmp.LoadFromStream(&s);
        EXPECT_EQ(bmp.PixelFormat(), pf4bit);
        EXPECT_EQ(bmp.Canvas()->GetPixel(0, 0), clRed);
        EXPECT_EQ(bmp.Canvas()->GetPixel(3, 2), clBlue);
        EXPECT_EQ(bmp.Canvas()->GetPixel(1, 1), clWhite);
    }
}

TEST(Bitmap, RefusesDamagedImagesAndMissingResources) {
    TBitmap bmp;
    TFileStream s(UiFixture("truncated.bmp"), fmOpenRead | fmShareDenyWrite);
    EXPECT_THROW(bmp.LoadFromStream(&s), Exception);

    // A header that claims more pixels than the data holds.
    BITMAPINFOHEADER h{sizeof h, 100, 100, 1, 24, BI_RGB};
    std::string data(reinterpret_cast<const char*>(&h), sizeof h);
    data.append(30, '\0');
    EXPECT_THROW(bmp.LoadFromDIB(data.data(), data.size()), EInvalidGraphic);
    h.biWidth = -5;
    std::memcpy(data.data(), &h, sizeof h);
    EXPECT_THROW(bmp.LoadFromDIB(data.data(), data.size()), EInvalidGraphic);
    EXPECT_THROW(bmp.LoadFromResourceName(GetModuleHandleW(nullptr), L"NO_SUCH_BITMAP"), EResNotFound);
    EXPECT_TRUE(bmp.Empty());
}

TEST(Bitmap, TransparentDrawLeavesTheTransparentColourOut) {
    TBitmap sprite;
    MakeCanvasBitmap(sprite, 4, 4, clFuchsia);
    sprite.Canvas()->SetPixel(1, 1, clRed);
    sprite.SetTransparent(true);
    EXPECT_EQ(sprite.TransparentColor(), clFuchsia);   // the bottom-left pixel

    TBitmap target;
    MakeCanvasBitmap(target, 8, 8, clWhite);
    target.Canvas()->Draw(2, 2, &sprite);
    EXPECT_EQ(PixelOf(target, 3, 3), clRed);
    EXPECT_EQ(PixelOf(target, 2, 2), clWhite);

    sprite.SetTransparent(false);
    target.Canvas()->StretchDraw(RECT{0, 0, 8, 8}, &sprite);
    EXPECT_EQ(PixelOf(target, 0, 0), clFuchsia);
    EXPECT_EQ(PixelOf(target, 2, 2), clRed);   // (1, 1) doubled
}

TEST(Picture, HoldsACopyAndReportsEditsOfItsBitmap) {
    TPicture pic;
    int changes = 0;
    pic.OnChange = [&](TObject*) { ++changes; };
    EXPECT_EQ(pic.Graphic(), nullptr);
    pic.Bitmap()->SetSize(5, 4);
    EXPECT_EQ(pic.Width(), 5);
    EXPECT_EQ(pic.Height(), 4);
    const int before = changes;
    pic.Bitmap()->Canvas()->SetPixel(0, 0, clRed);
    EXPECT_GT(changes, before);

    TBitmap other;
    MakeCanvasBitmap(other, 2, 2, clBlue);
    pic.SetGraphic(&other);
    other.Canvas()->SetPixel(0, 0, clRed);
    EXPECT_EQ(PixelOf(*pic.Bitmap(), 0, 0), clBlue);

    TPicture copy;
    copy.Assign(&pic);
    EXPECT_EQ(copy.Width(), 2);
    copy.Assign(nullptr);
    EXPECT_EQ(copy.Graphic(), nullptr);
}
