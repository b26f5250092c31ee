// The image buffer's copies, canvas size changes, rectangle moves, filling and whole-image tests,
// in memory and in the temporary-file storage.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "iebitmap.h"
#include "iecoreutils_colour.h"
#include "iedibbitmap.h"
#include "iemask.h"
#include "picturaio_colour.h"

namespace {

// A bitmap whose pixel bytes are all different, so that a misplaced row or column shows.
void Numbered(TIEBitmap& b) {
    for (int32_t y = 0; y < b.GetHeight(); ++y) {
        uint8_t* row = b.GetScanline(y);
        for (int32_t i = 0; i < b.GetRowLen(); ++i) row[i] = (uint8_t)(y * 16 + i + 1);
    }
}

std::vector<uint8_t> Pixel(TIEBitmap& b, int32_t x, int32_t y) {
    const size_t n = (size_t)b.GetBitCount() / 8;
    const uint8_t* p = b.GetScanline(y) + (size_t)x * n;
    return std::vector<uint8_t>(p, p + n);
}

void Zero(TIEBitmap& b) {
    for (int32_t y = 0; y < b.GetHeight(); ++y) std::memset(b.GetScanline(y), 0, (size_t)b.GetRowLen());
}

bool Bit(TIEBitmap& b, int32_t x, int32_t y) { return (b.GetScanline(y)[x >> 3] & (0x80 >> (x & 7))) != 0; }

// Turns the CMYK profile on or off for a test (after the library's start-up it is on).
struct TCMYKProfileUse {
    bool Saved = IEUseCMYKProfile;
    explicit TCMYKProfileUse(bool On) { IEUseCMYKProfile = On; }
    ~TCMYKProfileUse() { IEUseCMYKProfile = Saved; }
};

}  // namespace

TEST(IEBitmapFill, EveryFormatAndTheFullFlag) {
    // The CMYK rows are the arithmetic's; the profile's are compared with a conversion below.
    TCMYKProfileUse arithmetic(false);
    const uint32_t lab = IERGBToCIELab(IERGBValue(TIERGB{0x10, 0x20, 0x30}));
    struct Case {
        TIEPixelFormat format;
        double value;
        std::vector<uint8_t> pixel;
        bool full;
    };
    const Case cases[] = {
        {ie8g, 255, {255}, true},
        {ie8g, 0x1234, {0x34}, false},
        {ie8p, 7.9, {7}, false},
        {ie16g, 65535, {255, 255}, true},
        {ie16g, 0x10203, {0x03, 0x02}, false},
        {ie24RGB, 255, {0, 0, 255}, false},   // the colour value of pure red
        {ie24RGB, 16777215, {255, 255, 255}, true},
        {ie32f, 1.0, {0, 0, 0x80, 0x3F}, true},
        {ie32f, 0.5, {0, 0, 0, 0x3F}, false},
        {ieCMYK, 0x000080, {255, 0, 0, 0x80}, false},   // dark red: black' 128, cyan' 255
        {ieCMYK, 0, {255, 255, 255, 0}, false},
        {ieCMYK, 16777215, {255, 255, 255, 255}, true},
        {ieRGB48, 0x0000FF, {255, 255, 0, 0, 0, 0}, false},   // words red, green, blue
        {ieCIELab, 0x102030, {(uint8_t)lab, (uint8_t)(lab >> 8), (uint8_t)(lab >> 16)}, false},
    };
    for (bool file : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "format " << (int)c.format << " value " << c.value << " file " << file);
            TIEBitmap b;
            if (file) b.MinFileSize = 0;
            ASSERT_TRUE(b.Allocate(5, 3, c.format));
            ASSERT_EQ(b.GetLocation(), file ? ieFile : ieMemory);
            b.Fill(c.value);
            EXPECT_EQ(b.GetFull(), c.full);
            for (int32_t y = 0; y < 3; ++y) {
                for (int32_t x = 0; x < 5; ++x) ASSERT_EQ(Pixel(b, x, y), c.pixel) << x << "," << y;
            }
        }
    }
    // ie32RGB: every pixel of every row, the fourth byte as it was.
    TIEBitmap rgba(3, 3, ie32RGB);
    Numbered(rgba);
    rgba.Fill(255);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 3; ++x) {
            EXPECT_EQ(Pixel(rgba, x, y), (std::vector<uint8_t>{0, 0, 255, (uint8_t)(y * 16 + x * 4 + 4)}));
        }
    }
    // ie1g: every byte of the rows, padding included.
    TIEBitmap g1(9, 2, ie1g);
    g1.Fill(1);
    EXPECT_TRUE(g1.GetFull());
    EXPECT_EQ(std::memcmp(g1.GetScanline(1), "\xFF\xFF\xFF\xFF", 4), 0);
    g1.Fill(0);
    EXPECT_FALSE(g1.GetFull());
    EXPECT_TRUE(g1.IsAllZero());
}

// With the CMYK profile in use (as after the library's start-up), a CMYK fill holds the same inks
// as a 24-bit fill of that colour converted to CMYK; where the profile cannot be used, both take
// the arithmetic above.
TEST(IEBitmapFill, CMYKGoesThroughTheProfileLikeAConversion) {
    TCMYKProfileUse profile(true);
    for (double colour : {0.0, 255.0, 0x336699 * 1.0, 0x80FF40 * 1.0, 16777215.0}) {
        TIEBitmap rgb(4, 2, ie24RGB), cmyk(4, 2, ieCMYK);
        rgb.Fill(colour);
        rgb.ConvertPixelFormat(ieCMYK);
        cmyk.Fill(colour);
        cmyk.FillRect(1, 1, 2, 1, colour);
        for (int32_t y = 0; y < 2; ++y) {
            for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(Pixel(cmyk, x, y), Pixel(rgb, x, y)) << colour << " " << x << "," << y;
        }
    }
}

TEST(IEBitmapFill, FillRectClampsAndKeepsFull) {
    TIEBitmap g(10, 10, ie8g);
    g.Fill(255);
    g.FillRect(-5, -5, 100, 100, 7);
    for (int32_t y = 0; y < 10; ++y) {
        for (int32_t x = 0; x < 10; ++x) ASSERT_EQ(g.GetPixelByte(x, y), 7);
    }
    EXPECT_TRUE(g.GetFull());   // not recomputed by FillRect
    g.FillRect(3, 5, 2, 6, 9);   // X2 < X1: nothing
    g.FillRect(0, 5, 9, 4, 9);   // Y2 < Y1: nothing
    EXPECT_EQ(g.GetPixelByte(2, 5), 7);

    TIEBitmap b(20, 2, ie1g);
    b.Fill(0);
    b.FillRect(3, 1, 12, 1, 1);
    for (int32_t x = 0; x < 20; ++x) EXPECT_EQ(Bit(b, x, 1), x >= 3 && x <= 12) << x;
    b.FillRect(5, 0, 6, 1, 0);
    EXPECT_FALSE(Bit(b, 5, 1));
    EXPECT_TRUE(Bit(b, 7, 1));

    TIEBitmap f(2, 1, ie32f);
    f.Fill(1.0);
    f.FillRect(1, 0, 1, 0, 0.5);   // Trunc(Value) as a float
    EXPECT_EQ(f.GetPixelFloat(0, 0), 1.0f);
    EXPECT_EQ(f.GetPixelFloat(1, 0), 0.0f);
}

TEST(IEBitmapCopy, CopyRectToClipsAndConverts) {
    TIEBitmap src(5, 1, ie8g), dst(5, 1, ie8g);
    for (int32_t x = 0; x < 5; ++x) src.SetPixelByte(x, 0, (uint8_t)(10 + x));
    dst.Fill(0);
    src.CopyRectTo(&dst, 0, 0, -2, 0, 5, 1);   // a negative destination moves the source
    EXPECT_EQ(Pixel(dst, 0, 0)[0], 12);
    EXPECT_EQ(Pixel(dst, 2, 0)[0], 14);
    EXPECT_EQ(Pixel(dst, 3, 0)[0], 0);

    // Same format in every width, cut at both bitmaps' edges.
    for (TIEPixelFormat f : {ie8p, ie16g, ie24RGB, ie32f, ieCMYK, ieRGB48, ieCIELab, ie32RGB}) {
        SCOPED_TRACE((int)f);
        TIEBitmap s(6, 4, f), d(4, 3, f);
        Numbered(s);
        Zero(d);
        s.CopyRectTo(&d, 3, 1, 1, 1, 10, 10);
        EXPECT_EQ(Pixel(d, 1, 1), Pixel(s, 3, 1));
        EXPECT_EQ(Pixel(d, 3, 2), Pixel(s, 5, 2));
        EXPECT_EQ(Pixel(d, 0, 1), std::vector<uint8_t>(Pixel(d, 0, 1).size(), 0));
        EXPECT_EQ(Pixel(d, 1, 0), std::vector<uint8_t>(Pixel(d, 1, 0).size(), 0));
    }

    // 1 bit at unaligned positions keeps the other bits; into 24 bits as 0 or 255.
    TIEBitmap bits(16, 1, ie1g), bitsDst(16, 1, ie1g), rgb(16, 1, ie24RGB);
    bits.Fill(0);
    bits.FillRect(2, 0, 4, 0, 1);
    bitsDst.Fill(1);
    bits.CopyRectTo(&bitsDst, 1, 0, 7, 0, 5, 1);   // source bits 1..5 = 0 1 1 1 0 to 7..11
    for (int32_t x = 0; x < 16; ++x) EXPECT_EQ(Bit(bitsDst, x, 0), x < 7 || (x >= 8 && x <= 10) || x > 11) << x;
    rgb.Fill(0x808080);
    bits.CopyRectTo(&rgb, 0, 0, 0, 0, 6, 1);
    EXPECT_EQ(Pixel(rgb, 1, 0), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(Pixel(rgb, 3, 0), (std::vector<uint8_t>{255, 255, 255}));
    EXPECT_EQ(Pixel(rgb, 6, 0), (std::vector<uint8_t>{128, 128, 128}));

    // Other pairs and empty bitmaps copy nothing (and never write outside a bitmap).
    TIEBitmap grey(4, 4, ie8g), empty;
    grey.Fill(3);
    rgb.CopyRectTo(&grey, 0, 0, 0, 0, 4, 4);
    EXPECT_EQ(grey.GetPixelByte(0, 0), 3);
    empty.Allocate(0, 0, ie8g);
    grey.CopyRectTo(&empty, 0, 0, 0, 0, 4, 4);
    empty.CopyRectTo(&grey, 0, 0, 0, 0, 4, 4);
    EXPECT_EQ(grey.GetPixelByte(0, 0), 3);

    // Between two file-located bitmaps, and within one.
    TIEBitmap fs, fd;
    fs.MinFileSize = fd.MinFileSize = 0;
    ASSERT_TRUE(fs.Allocate(8, 8, ie24RGB));
    ASSERT_TRUE(fd.Allocate(8, 8, ie24RGB));
    ASSERT_EQ(fs.GetLocation(), ieFile);
    Numbered(fs);
    fd.Fill(0);
    fs.CopyRectTo(&fd, 2, 3, 0, 0, 4, 4);
    EXPECT_EQ(Pixel(fd, 3, 3), Pixel(fs, 5, 6));
    const std::vector<uint8_t> moved = Pixel(fs, 0, 0);
    fs.CopyRectTo(&fs, 0, 0, 1, 1, 7, 7);   // overlapping: goes through a row buffer
    EXPECT_EQ(Pixel(fs, 1, 1), moved);
}

TEST(IEBitmapCopy, MoveRectOverlapsAndFills) {
    TIEBitmap b(6, 1, ie8g);
    for (int32_t x = 0; x < 6; ++x) b.SetPixelByte(x, 0, (uint8_t)(x + 1));
    b.MoveRect(0, 0, 3, 0, 2, 0, 0, false);   // 1 2 3 4 onto columns 2..5
    EXPECT_EQ(Pixel(b, 0, 0)[0], 1);
    EXPECT_EQ(Pixel(b, 2, 0)[0], 1);
    EXPECT_EQ(Pixel(b, 5, 0)[0], 4);
    b.MoveRect(2, 0, 3, 0, 4, 0, 9, true);   // the source gets 9 first
    EXPECT_EQ(Pixel(b, 2, 0)[0], 9);
    EXPECT_EQ(Pixel(b, 4, 0)[0], 1);
    EXPECT_EQ(Pixel(b, 5, 0)[0], 2);
}

TEST(IEBitmapCopy, ResizeAlignsContentAndAlpha) {
    TIEBitmap b(10, 10, ie24RGB);
    Numbered(b);
    TIEBitmap old(&b);
    b.GetAlphaChannel()->Fill(0);   // an alpha channel that differs from the fill
    b.Resize(20, 10, 0, 255, 1, 0);
    ASSERT_EQ(b.GetWidth(), 20);
    ASSERT_EQ(b.GetAlphaChannel()->GetWidth(), 20);
    for (int32_t y = 0; y < 10; ++y) {
        for (int32_t x = 0; x < 20; ++x) {
            const bool inside = x >= 5 && x < 15;
            ASSERT_EQ(Pixel(b, x, y), inside ? Pixel(old, x - 5, y) : std::vector<uint8_t>(3, 0)) << x << "," << y;
            ASSERT_EQ(b.GetAlpha(x, y), inside ? 0 : 255) << x << "," << y;
        }
    }
    // Shrinking keeps the centre (horizontally) and the bottom (vertically).
    b.Resize(10, 4, 0, 255, 1, 2);
    EXPECT_EQ(b.GetHeight(), 4);
    EXPECT_EQ(b.GetAlphaChannel()->GetHeight(), 4);
    EXPECT_EQ(Pixel(b, 0, 0), Pixel(old, 0, 6));
    EXPECT_EQ(Pixel(b, 9, 3), Pixel(old, 9, 9));
    // Growing downwards with VertAlign 2 and an unknown HorizAlign (acts as 0).
    b.Resize(11, 6, 0x0000FF, 7, 9, 2);
    EXPECT_EQ(Pixel(b, 0, 0), (std::vector<uint8_t>{0, 0, 255}));
    EXPECT_EQ(Pixel(b, 0, 2), Pixel(old, 0, 6));
    EXPECT_EQ(Pixel(b, 10, 5), (std::vector<uint8_t>{0, 0, 255}));
    EXPECT_EQ(b.GetAlpha(10, 5), 7);
}

TEST(IEBitmapCopy, SetWidthAndHeightKeepTopLeftPaletteAndAlpha) {
    TIEBitmap b(4, 3, ie8p);
    Numbered(b);
    b.SetPaletteEntry(5, TIERGB{1, 2, 3});
    b.SetAlpha(1, 1, 77);
    b.SetWidth(6);
    b.SetHeight(2);
    EXPECT_EQ(b.GetWidth(), 6);
    EXPECT_EQ(b.GetHeight(), 2);
    EXPECT_FALSE(b.GetFull());
    EXPECT_EQ(b.GetPixelByte(3, 1), 16 + 3 + 1);
    EXPECT_EQ(b.GetPaletteEntry(5).r, 3);
    EXPECT_EQ(b.GetAlpha(1, 1), 77);
    EXPECT_EQ(b.GetAlphaChannel()->GetWidth(), 6);
    // An empty bitmap only stores the value; the other side then allocates it.
    TIEBitmap e;
    e.Allocate(0, 0, ie24RGB);
    e.SetWidth(3);
    EXPECT_TRUE(e.IsEmpty());
    e.SetHeight(2);
    EXPECT_EQ(e.GetRowLen(), 12);
    EXPECT_EQ(e.GetPixelFormat(), ie24RGB);
}

TEST(IEBitmapCopy, AssignAndAssignImage) {
    TIEBitmap withAlpha(4, 4, ie24RGB), plain(2, 3, ie8p);
    withAlpha.SetAlpha(0, 0, 10);
    Numbered(plain);
    plain.SetPaletteEntry(1, TIERGB{9, 9, 9});
    plain.SetRowAlign(8);
    plain.DitherMethod = iedmOrdered;

    TIEBitmap a(&withAlpha);
    EXPECT_TRUE(a.HasAlphaChannel());
    a.Assign(&plain);   // a source without alpha removes the alpha channel
    EXPECT_FALSE(a.HasAlphaChannel());
    EXPECT_EQ(a.GetRowAlign(), 8);
    EXPECT_EQ(a.DitherMethod, iedmOrdered);

    TIEBitmap k(&withAlpha);
    k.Fill(16777215);
    k.AssignImage(&plain);   // keeps its alpha channel (at the new size), alignment and dither method
    EXPECT_TRUE(k.HasAlphaChannel());
    EXPECT_EQ(k.GetAlpha(0, 0), 10);
    EXPECT_EQ(k.GetAlphaChannel()->GetWidth(), 2);
    EXPECT_EQ(k.GetAlphaChannel()->GetHeight(), 3);
    EXPECT_EQ(k.GetRowAlign(), 32);
    EXPECT_EQ(k.DitherMethod, iedmThreshold);
    EXPECT_FALSE(k.GetFull());
    EXPECT_EQ(k.GetPixelFormat(), ie8p);
    EXPECT_EQ(k.GetPixelByte(1, 2), plain.GetPixelByte(1, 2));
    EXPECT_EQ(k.GetPaletteEntry(1).g, 9);
    TIEBitmap empty;
    k.AssignImage(&empty);   // nothing
    EXPECT_EQ(k.GetWidth(), 2);

    // An image whose rows cannot be allocated (wider than a 32-bit row length) leaves this one
    // empty, but its alpha channel stays, as the assignment keeps it.
    uint8_t tiny[16] = {};
    TIEBitmap huge;
    huge.EncapsulateMemory(tiny, 100000000, 1, ie24RGB, true, 0);
    ASSERT_FALSE(huge.IsEmpty());
    k.AssignImage(&huge);
    EXPECT_TRUE(k.IsEmpty());
    ASSERT_TRUE(k.HasAlphaChannel());
    EXPECT_EQ(k.GetAlphaChannel()->GetWidth(), 2);
    EXPECT_EQ(k.GetAlphaChannel()->GetPixelByte(0, 0), 10);
}

TEST(IEBitmapCopy, MaskAndDibCopies) {
    TIEBitmap white(3, 2, ie24RGB);
    white.Fill(16777215);
    TIEMask m;
    white.CopyToTIEMask(&m);
    EXPECT_EQ(m.BitsPerPixel, 8);
    EXPECT_EQ(m.GetPixel(2, 1), 63);   // grey div 4

    TIEBitmap g1(10, 2, ie1g);
    g1.Fill(0);
    g1.FillRect(9, 1, 9, 1, 1);
    g1.CheckFull();
    g1.CopyToTIEMask(&m);
    EXPECT_EQ(m.BitsPerPixel, 1);
    EXPECT_NE(m.GetPixel(9, 1), 0);
    EXPECT_EQ(m.GetPixel(8, 1), 0);
    m.Full = true;
    TIEBitmap back;
    back.CopyFromTIEMask(&m);
    EXPECT_EQ(back.GetPixelFormat(), ie1g);
    EXPECT_TRUE(Bit(back, 9, 1));
    EXPECT_FALSE(Bit(back, 9, 0));
    EXPECT_TRUE(back.GetFull());
    back.CopyFromTIEMask(nullptr);   // fills with 255
    EXPECT_TRUE(Bit(back, 0, 0));

    TIEDibbitmap dib;
    ASSERT_TRUE(dib.Allocate(3, 2, ie24RGB));
    std::memset(dib.GetScanline(0), 0x11, 9);
    std::memset(dib.GetScanline(1), 0x22, 9);
    TIEBitmap fromDib;
    fromDib.CopyFromTIEDibbitmap(&dib);
    EXPECT_EQ(fromDib.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(Pixel(fromDib, 2, 1), (std::vector<uint8_t>{0x22, 0x22, 0x22}));
    EXPECT_EQ(Pixel(fromDib, 0, 0), (std::vector<uint8_t>{0x11, 0x11, 0x11}));
}

TEST(IEBitmapCopy, MergeAlphaAndWholeImageTests) {
    TIEBitmap s(4, 4, ie24RGB), d(4, 4, ie24RGB);
    s.GetAlphaChannel()->Fill(0);
    s.SetAlpha(1, 1, 200);
    d.GetAlphaChannel()->Fill(100);
    s.MergeAlphaRectTo(&d, 0, 0, 1, 0, 4, 4);   // clipped to 3 columns
    EXPECT_EQ(d.GetAlpha(2, 1), 200);
    EXPECT_EQ(d.GetAlpha(0, 1), 100);
    EXPECT_EQ(d.GetAlpha(1, 1), 100);

    TIEBitmap g(5, 2, ie8g);   // rows of 8 bytes: the padding never counts
    std::memset(g.GetScanline(0), 0, 8);
    std::memset(g.GetScanline(1), 0, 8);
    g.GetScanline(0)[6] = 1;
    EXPECT_TRUE(g.IsAllZero());
    g.SetPixelByte(4, 1, 1);
    EXPECT_FALSE(g.IsAllZero());
    g.Fill(255);
    g.GetScanline(1)[7] = 0;
    g.CheckFull();
    EXPECT_TRUE(g.GetFull());
    g.SetPixelByte(0, 0, 254);
    g.CheckFull();
    EXPECT_FALSE(g.GetFull());

    TIEBitmap rgb(2, 2, ie24RGB), p(1, 1, ie8p), w(1, 1, ieRGB48);
    rgb.Fill(0x404040);
    EXPECT_TRUE(rgb.IsGrayScale());
    rgb.SetPixelRGB(1, 1, TIERGB{1, 1, 2});
    EXPECT_FALSE(rgb.IsGrayScale());
    EXPECT_TRUE(p.IsGrayScale());   // a zeroed palette
    p.SetPaletteEntry(200, TIERGB{0, 1, 0});
    EXPECT_FALSE(p.IsGrayScale());
    w.SetPixelRGB48(0, 0, 5, 5, 6);
    EXPECT_FALSE(w.IsGrayScale());
    EXPECT_TRUE(g.IsGrayScale());
}
