// The image buffer's system-bitmap storage: the formats it holds, row 0 at the top of the drawn
// image, palettes in the colour table, moving in and out, Assign from formats it cannot hold,
// copies of system bitmaps of every depth, encapsulation and size changes.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "Graphics.h"
#include "WinApi.h"
#include "iebitmap.h"
#include "iebitmap_tbitmap.h"

namespace {

TColor Drawn(TIEBitmap& b, int32_t x, int32_t y) { return b.GetTBitmap()->Canvas()->GetPixel(x, y); }

std::unique_ptr<TBitmap> SystemBitmap(int32_t w, int32_t h, TPixelFormat f) {
    std::unique_ptr<TBitmap> b(new TBitmap);
    b->SetPixelFormat(f);
    b->SetSize(w, h);
    return b;
}

}  // namespace

TEST(IEBitmapTBitmap, FormatsItHoldsAndRowOrder) {
    struct Case {
        TIEPixelFormat asked, held;
        int32_t rowLen3;
    };
    const Case held[] = {{ie1g, ie1g, 4}, {ie8p, ie8p, 4}, {ie8g, ie8g, 4}, {ie16g, ie8g, 4},
                         {ie24RGB, ie24RGB, 12}, {ie32RGB, ie32RGB, 12}};
    for (const Case& c : held) {
        SCOPED_TRACE((int)c.asked);
        TIEBitmap b;
        b.SetLocation(ieTBitmap);
        ASSERT_TRUE(b.Allocate(3, 2, c.asked));
        EXPECT_EQ(b.GetLocation(), ieTBitmap);
        EXPECT_EQ(b.GetPixelFormat(), c.held);   // also read back from the system bitmap
        EXPECT_EQ(b.GetRowLen(), c.rowLen3);
        ASSERT_NE(b.GetTBitmap(), nullptr);
        EXPECT_EQ(b.GetScanline(1), b.GetTBitmap()->ScanLine(1));
    }
    for (TIEPixelFormat f : {ie32f, ieCMYK, ieRGB48, ieCIELab, ieVirtual}) {
        TIEBitmap b;
        b.SetLocation(ieTBitmap);
        EXPECT_FALSE(b.Allocate(3, 2, f)) << (int)f;
        EXPECT_TRUE(b.IsEmpty());
    }

    // Row 0 is the top row of the drawn image; an 8-bit palette draws through the colour table.
    TIEBitmap rgb;
    rgb.SetLocation(ieTBitmap);
    ASSERT_TRUE(rgb.Allocate(4, 3, ie24RGB));
    rgb.Fill(0);
    rgb.SetPixelRGB(1, 0, TIERGB{0, 0, 255});
    EXPECT_EQ(Drawn(rgb, 1, 0), (TColor)RGB(255, 0, 0));
    EXPECT_EQ(Drawn(rgb, 1, 2), (TColor)RGB(0, 0, 0));

    TIEBitmap pal;
    pal.SetLocation(ieTBitmap);
    ASSERT_TRUE(pal.Allocate(2, 2, ie8p));
    pal.Fill(0);
    pal.SetPaletteEntry(3, TIERGB{0x30, 0x20, 0x10});
    pal.SetPixelByte(0, 1, 3);
    EXPECT_EQ(Drawn(pal, 0, 1), (TColor)RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(pal.GetPixelFormat(), ie8p);
    EXPECT_EQ(pal.GetPaletteEntry(3).b, 0x30);

    TIEBitmap grey;
    grey.SetLocation(ieTBitmap);
    ASSERT_TRUE(grey.Allocate(2, 1, ie8g));
    EXPECT_TRUE(IEIsGrayPalette(grey.GetTBitmap()));
    grey.SetPixelByte(1, 0, 0x80);
    EXPECT_EQ(Drawn(grey, 1, 0), (TColor)RGB(0x80, 0x80, 0x80));
}

TEST(IEBitmapTBitmap, RawRecordLoadedIntoASystemBitmapKeepsItsPalette) {
    TIEBitmap b(2, 1, ie8p);
    b.SetPaletteEntry(3, TIERGB{0x30, 0x20, 0x10});
    b.SetPixelByte(1, 0, 3);
    TMemoryStream s;
    b.SaveRawToStream(nullptr, &s);
    TIEBitmap back;
    back.SetLocation(ieTBitmap);
    s.SetPosition(0);
    ASSERT_TRUE(back.LoadRawFromStream(nullptr, &s));
    ASSERT_EQ(back.GetLocation(), ieTBitmap);
    EXPECT_EQ(Drawn(back, 1, 0), (TColor)RGB(0x10, 0x20, 0x30));
    EXPECT_EQ(back.GetPaletteEntry(3).b, 0x30);
    EXPECT_EQ(back.GetPaletteEntry(3).r, 0x10);
}

TEST(IEBitmapTBitmap, MovesInAndOutAndDrawsThroughTheCanvas) {
    TIEBitmap b(5, 4, ie8p);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x) b.SetPixelByte(x, y, (uint8_t)(y * 5 + x));
    b.SetPaletteEntry(7, TIERGB{1, 2, 3});
    b.SetAlpha(2, 2, 99);
    TCanvas* canvas = b.GetCanvas();
    ASSERT_NE(canvas, nullptr);
    EXPECT_EQ(b.GetLocation(), ieTBitmap);
    EXPECT_EQ(b.GetPixelByte(4, 3), 19);
    EXPECT_EQ(Drawn(b, 2, 1), (TColor)RGB(3, 2, 1));   // index 7
    EXPECT_EQ(b.GetAlpha(2, 2), 99);

    canvas->Brush()->SetColor(RGB(3, 2, 1));
    const RECT r{0, 0, 5, 1};
    canvas->FillRect(r);   // the top row: index 7 everywhere
    GdiFlush();
    b.SetLocation(ieMemory);
    EXPECT_EQ(b.GetLocation(), ieMemory);
    EXPECT_EQ(b.GetPixelByte(0, 0), 7);
    EXPECT_EQ(b.GetPixelByte(4, 3), 19);
    EXPECT_EQ(b.GetPaletteEntry(7).r, 3);
    EXPECT_EQ(b.GetAlpha(2, 2), 99);
}

TEST(IEBitmapTBitmap, AssignFromAFormatItCannotHoldMovesToMemory) {
    TIEBitmap cmyk(3, 2, ieCMYK);
    cmyk.Fill(0x000080);
    TIEBitmap b;
    b.SetLocation(ieTBitmap);
    ASSERT_TRUE(b.Allocate(8, 8, ie24RGB));
    b.Assign(&cmyk);
    EXPECT_EQ(b.GetLocation(), ieMemory);
    EXPECT_EQ(b.GetPixelFormat(), ieCMYK);
    EXPECT_EQ(b.GetRowLen(), 12);
    EXPECT_EQ(b.GetPixelCMYK(2, 1), cmyk.GetPixelCMYK(2, 1));

    // A format it holds stays there, in the same system bitmap, which callers may hold.
    TIEBitmap rgb(3, 2, ie24RGB);
    rgb.Fill(0x0000FF);
    TIEBitmap t;
    t.SetLocation(ieTBitmap);
    ASSERT_TRUE(t.Allocate(8, 8, ie8g));
    TBitmap* held = t.GetTBitmap();
    t.Assign(&rgb);
    EXPECT_EQ(t.GetLocation(), ieTBitmap);
    EXPECT_EQ(t.GetTBitmap(), held);
    EXPECT_EQ(held->Width(), 3);
    EXPECT_EQ(Drawn(t, 2, 1), (TColor)RGB(255, 0, 0));
    t.AssignImage(&cmyk);   // the same road for AssignImage
    EXPECT_EQ(t.GetLocation(), ieMemory);
    EXPECT_EQ(t.GetPixelCMYK(0, 0), cmyk.GetPixelCMYK(0, 0));
}

TEST(IEBitmapTBitmap, AssignTBitmapOfEveryDepth) {
    // 1 bit, black and white: ie1g rows.
    auto mono = SystemBitmap(10, 2, pf1bit);
    static_cast<uint8_t*>(mono->ScanLine(0))[0] = 0xA0;
    TIEBitmap b;
    b.Assign(mono.get());
    EXPECT_EQ(b.GetPixelFormat(), ie1g);
    EXPECT_EQ(b.GetScanline(0)[0], 0xA0);

    // 1 bit with other colours: ie8p with the two colours, one index per pixel.
    const RGBQUAD two[2] = {{0, 0, 255, 0}, {0, 255, 0, 0}};
    mono->SetColorTable(two, 2);
    b.AssignTBitmap(mono.get());
    EXPECT_EQ(b.GetPixelFormat(), ie8p);
    EXPECT_EQ(b.GetPixelByte(0, 0), 1);
    EXPECT_EQ(b.GetPixelByte(1, 0), 0);
    EXPECT_EQ(b.GetPixelByte(2, 0), 1);
    EXPECT_EQ(b.GetPaletteEntry(0).r, 255);

    // 4 bits: high nibble first.
    auto nib = SystemBitmap(3, 1, pf4bit);
    static_cast<uint8_t*>(nib->ScanLine(0))[0] = 0x5C;
    static_cast<uint8_t*>(nib->ScanLine(0))[1] = 0x90;
    b.AssignTBitmap(nib.get());
    EXPECT_EQ(b.GetPixelFormat(), ie8p);
    EXPECT_EQ(b.GetPixelByte(0, 0), 5);
    EXPECT_EQ(b.GetPixelByte(1, 0), 12);
    EXPECT_EQ(b.GetPixelByte(2, 0), 9);

    // 8, 24 and 32 bits: rows as they are.
    auto eight = SystemBitmap(3, 2, pf8bit);
    static_cast<uint8_t*>(eight->ScanLine(1))[2] = 200;
    b.AssignTBitmap(eight.get());
    EXPECT_EQ(b.GetPixelFormat(), ie8p);
    EXPECT_EQ(b.GetPixelByte(2, 1), 200);
    EXPECT_EQ(b.GetPaletteEntry(255).g, 255);   // the grey ramp of a new 8-bit bitmap
    for (TPixelFormat f : {pf24bit, pf32bit}) {
        auto deep = SystemBitmap(3, 2, f);
        deep->Canvas()->SetPixel(2, 1, RGB(10, 20, 30));
        GdiFlush();
        b.AssignTBitmap(deep.get());
        EXPECT_EQ(b.GetPixelFormat(), f == pf24bit ? ie24RGB : ie32RGB);
        EXPECT_EQ(b.GetPixelAsRGB(2, 1).r, 10);
        EXPECT_EQ(b.GetPixelAsRGB(2, 1).b, 30);
    }

    // Into ieTBitmap: a 4-bit source becomes 24-bit first, and is copied.
    TIEBitmap t;
    t.SetLocation(ieTBitmap);
    t.AssignTBitmap(nib.get());
    EXPECT_EQ(nib->BitCount(), 24);
    EXPECT_EQ(t.GetLocation(), ieTBitmap);
    EXPECT_EQ(t.GetPixelFormat(), ie24RGB);
    EXPECT_NE(t.GetTBitmap(), nib.get());
    EXPECT_EQ(t.GetWidth(), 3);
}

TEST(IEBitmapTBitmap, EncapsulationAndSizeChanges) {
    auto mine = SystemBitmap(6, 3, pf24bit);
    {
        TIEBitmap b;
        b.EncapsulateTBitmap(mine.get(), true);
        EXPECT_TRUE(b.GetEncapsulatedTBitmap());
        EXPECT_EQ(b.GetLocation(), ieTBitmap);
        EXPECT_EQ(b.GetWidth(), 6);
        b.SetPixelRGB(5, 0, TIERGB{0, 255, 0});
        EXPECT_EQ(mine->Canvas()->GetPixel(5, 0), (TColor)RGB(0, 255, 0));
        // Re-allocation keeps the caller's bitmap and gives it the new shape.
        ASSERT_TRUE(b.Allocate(4, 4, ie32RGB));
        EXPECT_EQ(b.GetTBitmap(), mine.get());
        EXPECT_EQ(mine->PixelFormat(), pf32bit);
        // Someone changes the held bitmap: size and alpha channel follow at the next query.
        b.GetAlphaChannel();
        mine->SetSize(7, 5);
        EXPECT_EQ(b.GetWidth(), 7);
        EXPECT_EQ(b.GetAlphaChannel()->GetHeight(), 5);
        EXPECT_EQ(b.GetScanline(4), mine->ScanLine(4));
    }
    EXPECT_EQ(mine->Width(), 7);   // not freed with the image buffer

    // A 1-bit system bitmap keeps its content through SetWidth and SetHeight.
    TIEBitmap one;
    one.SetLocation(ieTBitmap);
    ASSERT_TRUE(one.Allocate(9, 2, ie1g));
    one.Fill(0);
    one.GetScanline(1)[1] = 0x80;   // pixel (8, 1)
    one.SetWidth(20);
    one.SetHeight(3);
    EXPECT_EQ(one.GetWidth(), 20);
    EXPECT_EQ(one.GetHeight(), 3);
    EXPECT_EQ(one.GetRowLen(), 4);
    EXPECT_EQ(one.GetPixelFormat(), ie1g);
    EXPECT_EQ(one.GetScanline(1)[1] & 0x80, 0x80);
    EXPECT_EQ(one.GetScanline(0)[1] & 0x80, 0);
}

TEST(IEBitmapTBitmap, ColourTableHelpers) {
    auto b = SystemBitmap(2, 2, pf8bit);
    IESetGrayPalette(b.get());
    EXPECT_TRUE(IEIsGrayPalette(b.get()));
    RGBQUAD entry{2, 1, 1, 0};   // blue 2: (1, 1, 2)
    RGBQUAD table[256];
    ASSERT_EQ(b->GetColorTable(table, 256), 256);
    table[1] = entry;
    b->SetColorTable(table, 256);
    EXPECT_FALSE(IEIsGrayPalette(b.get()));
    EXPECT_TRUE(IEIsGrayPalette(SystemBitmap(2, 2, pf24bit).get()));
    TIEBitmap dest(1, 1, ie8p);
    IECopyTBitmapPalette(b.get(), &dest);
    EXPECT_EQ(dest.GetPaletteEntry(1).b, 2);
    EXPECT_EQ(dest.GetPaletteEntry(200).r, 200);
}

TEST(IEBitmapTBitmap, PixelFormatConversionInPlace) {
    // 1 bit to 24, 24 bits to 8-bit grey and to 1 bit (ordered dither): the pixels are converted,
    // the storage and its system bitmap object stay; other pairs convert nothing.
    TIEBitmap b;
    b.SetLocation(ieTBitmap);
    ASSERT_TRUE(b.Allocate(9, 2, ie1g));
    for (int32_t y = 0; y < 2; ++y) std::memset(b.GetScanline(y), 0, (size_t)b.GetRowLen());
    b.GetScanline(0)[0] = 0x80;   // (0, 0)
    b.GetScanline(1)[1] = 0x80;   // (8, 1)
    TBitmap* held = b.GetTBitmap();
    b.SetPixelFormat(ie24RGB);
    EXPECT_EQ(b.GetLocation(), ieTBitmap);
    EXPECT_EQ(b.GetTBitmap(), held);
    EXPECT_EQ(held->BitCount(), 24);
    ASSERT_EQ(b.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(b.GetPixelRGB(0, 0).g, 255);
    EXPECT_EQ(b.GetPixelRGB(8, 1).r, 255);
    EXPECT_EQ(b.GetPixelRGB(1, 0).b, 0);

    b.SetPixelRGB(1, 0, TIERGB{50, 100, 200});   // blue, green, red
    b.SetPixelRGB(2, 0, TIERGB{0, 0, 255});
    b.SetPixelFormat(ie8g);
    ASSERT_EQ(b.GetPixelFormat(), ie8g);
    EXPECT_EQ(held->BitCount(), 8);
    EXPECT_EQ(b.GetPixelByte(0, 0), 255);
    EXPECT_EQ(b.GetPixelByte(1, 0), 117);   // (200 x 21 + 100 x 71 + 50 x 8) div 100
    EXPECT_EQ(b.GetPixelByte(2, 0), 53);
    EXPECT_EQ(b.GetPixelByte(3, 0), 0);

    TIEBitmap c;
    c.SetLocation(ieTBitmap);
    ASSERT_TRUE(c.Allocate(2, 1, ie24RGB));
    c.SetPixelRGB(0, 0, TIERGB{255, 255, 255});   // level 63 at (0, 0): white
    c.SetPixelRGB(1, 0, TIERGB{3, 3, 3});         // level 0 at (1, 0): black
    c.DitherMethod = iedmOrdered;
    c.SetPixelFormat(ie1g);
    ASSERT_EQ(c.GetPixelFormat(), ie1g);
    EXPECT_EQ(c.GetTBitmap()->BitCount(), 1);
    EXPECT_EQ(c.GetScanline(0)[0] & 0xC0, 0x80);

    // ie8p to ie24RGB is no pair of the storage: nothing changes.
    TIEBitmap p;
    p.SetLocation(ieTBitmap);
    ASSERT_TRUE(p.Allocate(2, 1, ie8p));
    p.SetPaletteEntry(1, TIERGB{10, 20, 30});
    p.SetPixelByte(0, 0, 1);
    p.SetPixelFormat(ie24RGB);
    EXPECT_EQ(p.GetPixelFormat(), ie8p);
    EXPECT_EQ(p.GetPixelByte(0, 0), 1);

    // An empty system bitmap takes the depth of 1 bit or 24 bits; other formats leave it alone.
    TBitmap empty;
    empty.SetPixelFormat(pf8bit);
    TIEBitmap e;
    e.EncapsulateTBitmap(&empty, false);
    ASSERT_TRUE(e.IsEmpty());
    e.SetPixelFormat(ie1g);
    EXPECT_EQ(empty.BitCount(), 1);
    EXPECT_EQ(e.GetPixelFormat(), ie1g);
    e.SetPixelFormat(ie8g);
    EXPECT_EQ(empty.BitCount(), 1);
    e.SetPixelFormat(ie24RGB);
    EXPECT_EQ(empty.BitCount(), 24);
    EXPECT_EQ(e.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(e.GetLocation(), ieTBitmap);
}

TEST(IEBitmapTBitmap, ConvertFromASystemBitmapSource) {
    // Pairs without a direct rule go through 24 bits; a system-bitmap source gives the same pixels
    // as the same image in memory, and keeps its own format.
    for (TIEPixelFormat from : {ie8p, ie32RGB, ie1g}) {
        for (TIEPixelFormat to : {ieCMYK, ieCIELab, ie8g}) {
            SCOPED_TRACE(std::to_string((int)from) + " to " + std::to_string((int)to));
            TIEBitmap held, memory;
            held.SetLocation(ieTBitmap);
            ASSERT_TRUE(held.Allocate(3, 2, from));
            ASSERT_TRUE(memory.Allocate(3, 2, from));
            for (TIEBitmap* s : {&held, &memory}) {
                if (from == ie8p)
                    for (int32_t i = 0; i < 6; ++i) s->SetPaletteEntry(i, TIERGB{(uint8_t)(40 * i), 90, (uint8_t)(250 - 30 * i)});
                for (int32_t y = 0; y < 2; ++y) {
                    uint8_t* row = s->GetScanline(y);
                    for (int32_t i = 0; i < s->GetRowLen(); ++i) row[i] = (uint8_t)(from == ie8p ? (i + 3 * y) % 6 : 37 * i + 101 * y);
                }
            }
            TIEBitmap fromHeld(3, 2, to), fromMemory(3, 2, to);
            fromHeld.ConvertFrom(&held);
            fromMemory.ConvertFrom(&memory);
            EXPECT_EQ(held.GetPixelFormat(), from);
            EXPECT_EQ(held.GetLocation(), ieTBitmap);
            for (int32_t y = 0; y < 2; ++y)
                EXPECT_EQ(std::memcmp(fromHeld.GetScanline(y), fromMemory.GetScanline(y), (size_t)3 * fromHeld.GetBitCount() / 8), 0)
                    << "row " << y;
            // Not left as it was made (zeros): the conversion ran.
            bool any = false;
            for (int32_t y = 0; y < 2; ++y)
                for (int32_t i = 0; i < 3 * fromHeld.GetBitCount() / 8; ++i) any = any || fromHeld.GetScanline(y)[i] != 0;
            EXPECT_TRUE(any);
        }
    }
}
