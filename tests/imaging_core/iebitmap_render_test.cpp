// The renderer: every pixel format into a memory bitmap whose pixels are read back; clipping,
// scaling up and down, row copies, transparency, alpha, display settings, blend operations, the
// caller's caches and the resampling paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "SysUtils.h"
#include "RgbAssert.h"
#include "iebitmap.h"
#include "iecoreutils_colour.h"
#include "picturaio_colour.h"
#include "support/ToolSkip.h"

namespace {

void FillRgb(TIEBitmap& B, TIERGB C) {
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) B.SetPixelRGB(x, y, C);
}

// A 24-bit source whose pixel (x, y) is (x, y, 7).
void Coordinates(TIEBitmap& B) {
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) B.SetPixelRGB(x, y, Rgb((uint8_t)x, (uint8_t)y, 7));
}

struct TDest {
    TIEBitmap B;
    TDest(int32_t W, int32_t H, TIERGB Background = TIERGB{0, 0, 0}) : B(W, H, ie24RGB) {
        B.SetLocation(ieMemory);
        FillRgb(B, Background);
    }
};

}   // namespace

TEST(RenderToTIEBitmap, NegativeOriginCutsTheSource) {
    TIEBitmap src(10, 10, ie24RGB);
    Coordinates(src);
    TDest d(10, 10, Rgb(99, 99, 99));
    src.RenderToTIEBitmap(&d.B, -5, 0, 10, 10, 0, 0, 10, 10, 255, rfNone, 0);
    for (int32_t x = 0; x < 10; ++x)
        EXPECT_TRUE(SameRgb(d.B.GetPixelRGB(x, 3), x < 5 ? Rgb((uint8_t)(x + 5), 3, 7) : Rgb(99, 99, 99))) << x;
}

// Scaled by nearest pixel: up by 4 (each source pixel covers 4 x 4) and down by 2 (every other).
TEST(RenderToTIEBitmap, ScalesUpAndDownByNearestPixel) {
    TIEBitmap src(4, 4, ie24RGB);
    Coordinates(src);
    TDest up(16, 16);
    src.RenderToTIEBitmap(&up.B, 0, 0, 16, 16, 0, 0, 4, 4, 255, rfNone, 0);
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x)
            ASSERT_TRUE(SameRgb(up.B.GetPixelRGB(x, y), Rgb((uint8_t)(x / 4), (uint8_t)(y / 4), 7))) << x << "," << y;
    TDest down(2, 2);
    src.RenderToTIEBitmap(&down.B, 0, 0, 2, 2, 0, 0, 4, 4, 255, rfNone, 0);
    EXPECT_TRUE(SameRgb(down.B.GetPixelRGB(1, 1), Rgb(2, 2, 7)));
    EXPECT_TRUE(SameRgb(down.B.GetPixelRGB(1, 0), Rgb(2, 0, 7)));
}

// A 1 x 1 source drawn at 4 x 4 fills the rectangle; with row copies the rows below the first are
// copies of it, and only within the rectangle: the rest of those rows keeps its pixels.
TEST(RenderToTIEBitmap, RowCopyCopiesOnlyTheSpan) {
    TIEBitmap src(1, 1, ie24RGB);
    src.SetPixelRGB(0, 0, Rgb(10, 20, 30));
    TDest d(8, 6, Rgb(1, 1, 1));
    std::vector<uint8_t*> rows;
    std::vector<int32_t> cols, rmap;
    src.RenderToTIEBitmapEx(&d.B, rows, cols, rmap, nullptr, 2, 1, 4, 4, 0, 0, 1, 1, true, true, 255, rfNone, true, 0);
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && x < 6 && y >= 1 && y < 5;
            EXPECT_TRUE(SameRgb(d.B.GetPixelRGB(x, y), inside ? Rgb(10, 20, 30) : Rgb(1, 1, 1))) << x << "," << y;
        }
    EXPECT_TRUE(rows.empty() && cols.empty() && rmap.empty());
}

TEST(RenderToTIEBitmap, TransparencyBlendsWithEightBitWeights) {
    TIEBitmap src(1, 1, ie24RGB);
    src.SetPixelRGB(0, 0, Rgb(255, 255, 255));
    struct Case {
        int32_t Transparency;
        uint8_t Expected;
    };
    for (const Case c : {Case{0, 0}, Case{128, 127}, Case{255, 255}, Case{-5, 0}, Case{300, 255}}) {
        TDest d(2, 2);
        src.RenderToTIEBitmap(&d.B, 0, 0, 2, 2, 0, 0, 1, 1, c.Transparency, rfNone, 0);
        EXPECT_EQ(d.B.GetPixelRGB(1, 1).g, c.Expected) << c.Transparency;
    }
}

// The alpha channel weighs each pixel (and the blend never reaches a full 255 step); a Full alpha
// channel or UseAlpha off draws opaque.
TEST(RenderToTIEBitmap, AlphaChannelWeighsEachPixel) {
    TIEBitmap src(3, 1, ie24RGB);
    FillRgb(src, Rgb(255, 255, 255));
    const uint8_t alpha[3] = {0, 128, 255};
    for (int32_t x = 0; x < 3; ++x) src.GetAlphaChannel()->SetPixelByte(x, 0, alpha[x]);
    src.GetAlphaChannel()->SetFull(false);
    TDest d(3, 1);
    src.RenderToTIEBitmap(&d.B, 0, 0, 3, 1, 0, 0, 3, 1, 255, rfNone, 0);
    EXPECT_EQ(d.B.GetPixelRGB(0, 0).r, 0);
    EXPECT_EQ(d.B.GetPixelRGB(1, 0).r, 127);
    EXPECT_EQ(d.B.GetPixelRGB(2, 0).r, 254);
    // Transparency limits the alpha: min(100, 255) = 100 -> floor(100 x 255 / 256) = 99.
    TDest t(3, 1);
    src.RenderToTIEBitmap(&t.B, 0, 0, 3, 1, 0, 0, 3, 1, 100, rfNone, 0);
    EXPECT_EQ(t.B.GetPixelRGB(1, 0).r, 99);
    EXPECT_EQ(t.B.GetPixelRGB(2, 0).r, 99);
    TDest o(3, 1);
    std::vector<uint8_t*> rows;
    std::vector<int32_t> cols, rmap;
    src.RenderToTIEBitmapEx(&o.B, rows, cols, rmap, nullptr, 0, 0, 3, 1, 0, 0, 3, 1, false, false, 255, rfNone, true,
                            0);
    EXPECT_EQ(o.B.GetPixelRGB(0, 0).r, 255);
}

// Every pixel format, drawn opaque at twice its size and with transparency 128 over white.
TEST(RenderToTIEBitmap, EveryPixelFormat) {
    struct Case {
        TIEPixelFormat Format;
        TIERGB Expected;   // of source pixel (1, 0)
    };
    const Case cases[] = {
        {ie24RGB, Rgb(200, 100, 50)}, {ie32RGB, Rgb(200, 100, 50)}, {ie1g, Rgb(255, 255, 255)},
        {ie8g, Rgb(77, 77, 77)},      {ie8p, Rgb(1, 2, 3)},         {ie16g, Rgb(0x12, 0x12, 0x12)},
        {ie32f, Rgb(63, 63, 63)},     {ieCMYK, Rgb(0, 0, 0)},       {ieCIELab, Rgb(0, 0, 0)},
        {ieRGB48, Rgb(0xAB, 0xCD, 0xEF)},
    };
    for (Case c : cases) {
        SCOPED_TRACE(int(c.Format));
        TIEBitmap src(2, 2, c.Format);
        for (int32_t y = 0; y < 2; ++y) std::memset(src.GetScanline(y), 0, (size_t)src.GetRowLen());
        switch (c.Format) {
        case ie24RGB: src.SetPixelRGB(1, 0, Rgb(200, 100, 50)); break;
        case ie32RGB: { uint8_t* p = src.GetScanline(0) + 4; p[0] = 50; p[1] = 100; p[2] = 200; break; }
        case ie1g: src.GetScanline(0)[0] = 0x40; break;
        case ie8g: src.SetPixelByte(1, 0, 77); break;
        case ie8p: src.SetPaletteEntry(5, Rgb(1, 2, 3)); src.SetPixelByte(1, 0, 5); break;
        case ie16g: src.SetPixelWord(1, 0, 0x1234); break;
        case ie32f: src.SetPixelFloat(1, 0, 0.25f); break;
        case ieCMYK: {   // the colour rows' conversion (a profile or arithmetic) decides the triple
            uint8_t* p = src.GetScanline(0) + 4;
            p[0] = 255; p[1] = 40; p[2] = 255; p[3] = 255;
            IECMYKToRGB(p, c.Expected);
            break;
        }
        case ieCIELab: {
            uint8_t* p = src.GetScanline(0) + 3;
            p[0] = 128; p[1] = 20; p[2] = 0;
            c.Expected = IECIELabToRGB(128 | 20 << 8);
            break;
        }
        case ieRGB48: src.SetPixelRGB48(1, 0, 0xABFF, 0xCD00, 0xEF80); break;
        default: break;
        }
        TDest d(4, 4, Rgb(9, 9, 9));
        src.RenderToTIEBitmap(&d.B, 0, 0, 4, 4, 0, 0, 2, 2, 255, rfNone, 0);
        EXPECT_TRUE(SameRgb(d.B.GetPixelRGB(2, 0), c.Expected));
        EXPECT_TRUE(SameRgb(d.B.GetPixelRGB(3, 1), c.Expected));
        TDest w(2, 2, Rgb(255, 255, 255));
        src.RenderToTIEBitmap(&w.B, 0, 0, 2, 2, 0, 0, 2, 2, 128, rfNone, 0);
        const TIERGB e = c.Expected, g = w.B.GetPixelRGB(1, 0);
        // d + floor(128 (s - d) / 256) from white.
        EXPECT_EQ(g.r, 255 + ((128 * (e.r - 255)) >> 8));
        EXPECT_EQ(g.b, 255 + ((128 * (e.b - 255)) >> 8));
    }
}

TEST(RenderToTIEBitmap, PaletteWithoutEntriesAndVirtualWithoutEventDrawNothing) {
    TIEBitmap virt(2, 2, ieVirtual);
    TDest d(2, 2, Rgb(4, 4, 4));
    virt.RenderToTIEBitmap(&d.B, 0, 0, 2, 2, 0, 0, 2, 2, 255, rfNone, 0);
    EXPECT_TRUE(SameRgb(d.B.GetPixelRGB(1, 1), Rgb(4, 4, 4)));
    virt.VirtualPixelEvent = [](TIEBitmap*, int32_t X, int32_t Y, TIERGB* P) { *P = Rgb((uint8_t)X, (uint8_t)Y, 100); };
    virt.RenderToTIEBitmap(&d.B, 0, 0, 2, 2, 0, 0, 2, 2, 255, rfNone, 0);
    EXPECT_TRUE(SameRgb(d.B.GetPixelRGB(1, 0), Rgb(1, 0, 100)));
}

TEST(RenderToTIEBitmap, DisplaySettings) {
    // Grey with display range 100..200: 150 -> 127; below and above clamp to 0 and 255.
    TIEBitmap g(3, 1, ie8g);
    g.SetPixelByte(0, 0, 150);
    g.SetPixelByte(1, 0, 20);
    g.SetPixelByte(2, 0, 250);
    g.DisplayRange[0] = 100;
    g.DisplayRange[1] = 200;
    TDest d(3, 1);
    g.RenderToTIEBitmap(&d.B, 0, 0, 3, 1, 0, 0, 3, 1, 255, rfNone, 0);
    EXPECT_EQ(d.B.GetPixelRGB(0, 0).r, 127);
    EXPECT_EQ(d.B.GetPixelRGB(1, 0).r, 0);
    EXPECT_EQ(d.B.GetPixelRGB(2, 0).r, 255);
    // Contrast 10 doubles the distance from 128; offsets add per channel first (red, green, blue).
    TIEBitmap c(1, 1, ie24RGB);
    c.SetPixelRGB(0, 0, Rgb(150, 100, 128));
    c.Contrast = 10;
    c.ChannelOffsetEnabled = true;
    c.ChannelOffsets[0] = 0;
    c.ChannelOffsets[1] = -10;
    c.ChannelOffsets[2] = 1;
    TDest e(1, 1);
    c.RenderToTIEBitmap(&e.B, 0, 0, 1, 1, 0, 0, 1, 1, 255, rfNone, 0);
    EXPECT_TRUE(SameRgb(e.B.GetPixelRGB(0, 0), Rgb(172, 52, 130)));
    // Negative contrast: F = Trunc((1 - sqrt(4) / 10) x 65536) = 52428; (200 - 128) x F div 65536 = 57.
    c.ChannelOffsetEnabled = false;
    c.Contrast = -4;
    c.SetPixelRGB(0, 0, Rgb(200, 56, 128));
    c.RenderToTIEBitmap(&e.B, 0, 0, 1, 1, 0, 0, 1, 1, 255, rfNone, 0);
    EXPECT_TRUE(SameRgb(e.B.GetPixelRGB(0, 0), Rgb(185, 71, 128)));
    // 16-bit channels take the float factor: (0x9000 - 32768) x 2 + 32768 = 0xA000 -> 0xA0.
    TIEBitmap w(1, 1, ieRGB48);
    w.SetPixelRGB48(0, 0, 0x9000, 0x7000, 0x8000);
    w.Contrast = 10;
    w.RenderToTIEBitmap(&e.B, 0, 0, 1, 1, 0, 0, 1, 1, 255, rfNone, 0);
    EXPECT_TRUE(SameRgb(e.B.GetPixelRGB(0, 0), Rgb(0xA0, 0x60, 0x80)));
    // A float image with display range -1..1: 0 -> 127.
    TIEBitmap f(1, 1, ie32f);
    f.SetPixelFloat(0, 0, 0.0f);
    f.DisplayRange[0] = -1;
    f.DisplayRange[1] = 1;
    f.RenderToTIEBitmap(&e.B, 0, 0, 1, 1, 0, 0, 1, 1, 255, rfNone, 0);
    EXPECT_EQ(e.B.GetPixelRGB(0, 0).g, 127);
}

// Blend operations apply to the colour formats, opaque and blended.
TEST(RenderToTIEBitmap, BlendOperation) {
    TIEBitmap src(1, 1, ie24RGB);
    src.SetPixelRGB(0, 0, Rgb(200, 200, 200));
    TDest d(1, 1, Rgb(100, 100, 100));
    src.RenderToTIEBitmap(&d.B, 0, 0, 1, 1, 0, 0, 1, 1, 255, rfNone, 2);   // difference
    EXPECT_EQ(d.B.GetPixelRGB(0, 0).r, 100);
    src.RenderToTIEBitmap(&d.B, 0, 0, 1, 1, 0, 0, 1, 1, 255, rfNone, 1);   // add
    EXPECT_EQ(d.B.GetPixelRGB(0, 0).r, 255);
    TDest h(1, 1, Rgb(100, 100, 100));
    src.RenderToTIEBitmap(&h.B, 0, 0, 1, 1, 0, 0, 1, 1, 128, rfNone, 1);   // add, then half: 100 + 77
    EXPECT_EQ(h.B.GetPixelRGB(0, 0).r, 177);
    // A grey source ignores the operation.
    TIEBitmap g(1, 1, ie8g);
    g.SetPixelByte(0, 0, 30);
    g.RenderToTIEBitmap(&h.B, 0, 0, 1, 1, 0, 0, 1, 1, 255, rfNone, 1);
    EXPECT_EQ(h.B.GetPixelRGB(0, 0).r, 30);
}

TEST(RenderToTIEBitmap, ClipRectangleAndEmptyCases) {
    TIEBitmap src(4, 4, ie24RGB);
    Coordinates(src);
    TDest d(4, 4, Rgb(99, 99, 99));
    std::vector<uint8_t*> rows;
    std::vector<int32_t> cols, rmap;
    const TIERect clip{1, 1, 2, 2};
    src.RenderToTIEBitmapEx(&d.B, rows, cols, rmap, &clip, 0, 0, 4, 4, 0, 0, 4, 4, true, false, 255, rfNone, true, 0);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) {
            const bool in = x >= 1 && x <= 2 && y >= 1 && y <= 2;
            EXPECT_TRUE(SameRgb(d.B.GetPixelRGB(x, y), in ? Rgb((uint8_t)x, (uint8_t)y, 7) : Rgb(99, 99, 99)));
        }
    TDest e(4, 4, Rgb(99, 99, 99));
    src.RenderToTIEBitmap(&e.B, 4, 0, 4, 4, 0, 0, 4, 4, 255, rfNone, 0);    // right of the destination
    src.RenderToTIEBitmap(&e.B, 0, 0, 0, 4, 0, 0, 4, 4, 255, rfNone, 0);    // no width
    src.RenderToTIEBitmap(&e.B, -10, 0, 4, 4, 0, 0, 4, 4, 255, rfNone, 0);  // left of it
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) EXPECT_TRUE(SameRgb(e.B.GetPixelRGB(x, y), Rgb(99, 99, 99)));
}

// A source rectangle past the source's right edge repeats the edge column instead of reading
// past the row.
TEST(RenderToTIEBitmap, SourceRectanglePastTheEdgeRepeatsTheEdge) {
    TIEBitmap src(4, 1, ie24RGB);
    Coordinates(src);
    TDest d(4, 1);
    src.RenderToTIEBitmap(&d.B, 0, 0, 4, 1, 2, 0, 4, 1, 255, rfNone, 0);
    EXPECT_TRUE(SameRgb(d.B.GetPixelRGB(0, 0), Rgb(2, 0, 7)));
    EXPECT_TRUE(SameRgb(d.B.GetPixelRGB(3, 0), Rgb(3, 0, 7)));
}

// Without FreeCaches the maps come back and are used again; a shorter map ends the drawing where
// its entries stop.
TEST(RenderToTIEBitmap, CallerKeepsTheCaches) {
    TIEBitmap src(2, 2, ie24RGB);
    Coordinates(src);
    TDest d(4, 4);
    std::vector<uint8_t*> rows;
    std::vector<int32_t> cols, rmap;
    src.RenderToTIEBitmapEx(&d.B, rows, cols, rmap, nullptr, 0, 0, 4, 4, 0, 0, 2, 2, true, false, 255, rfNone, false,
                            0);
    EXPECT_EQ(rows.size(), 4u);
    EXPECT_EQ(cols, (std::vector<int32_t>{0, 0, 1, 1}));
    EXPECT_EQ(rmap, (std::vector<int32_t>{0, 0, 1, 1}));
    TDest e(4, 4, Rgb(99, 99, 99));
    std::vector<uint8_t*> erows;
    std::vector<int32_t> ecols{1, 0}, ermap{1, 1, 1, 1};
    src.RenderToTIEBitmapEx(&e.B, erows, ecols, ermap, nullptr, 0, 0, 4, 4, 0, 0, 2, 2, true, false, 255, rfNone, true,
                            0);
    EXPECT_TRUE(SameRgb(e.B.GetPixelRGB(0, 3), Rgb(1, 1, 7)));
    EXPECT_TRUE(SameRgb(e.B.GetPixelRGB(1, 0), Rgb(0, 1, 7)));
    EXPECT_TRUE(SameRgb(e.B.GetPixelRGB(2, 0), Rgb(99, 99, 99)));
}

// A 1-bit source enlarged with a filter is resampled into grey levels; shrunk it is box-averaged
// (a 2 x 2 box with one set bit gives 63).
TEST(RenderToTIEBitmap, OneBitSourcesResampledOrAveraged) {
    TIEBitmap bits(4, 4, ie1g);
    for (int32_t y = 0; y < 4; ++y) bits.GetScanline(y)[0] = 0;
    bits.GetScanline(0)[0] = 0x80;
    TDest half(2, 2, Rgb(9, 9, 9));
    bits.RenderToTIEBitmap(&half.B, 0, 0, 2, 2, 0, 0, 4, 4, 255, rfTriangle, 0);
    EXPECT_TRUE(SameRgb(half.B.GetPixelRGB(0, 0), Rgb(63, 63, 63)));
    EXPECT_TRUE(SameRgb(half.B.GetPixelRGB(1, 1), Rgb(0, 0, 0)));
    TDest twice(8, 8, Rgb(9, 9, 9));
    bits.RenderToTIEBitmap(&twice.B, 0, 0, 8, 8, 0, 0, 4, 4, 255, rfTriangle, 0);
    int32_t levels = 0;   // filtered levels between black and white, not copied bits
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 8; ++x) {
            const int32_t v = twice.B.GetPixelRGB(x, y).r;
            if (v > 0 && v < 255) ++levels;
        }
    EXPECT_GT(levels, 0);
    EXPECT_EQ(twice.B.GetPixelRGB(7, 7).r, 0);
}

// A 24-bit source enlarged with a filter is smooth between two differing pixels.
TEST(RenderToTIEBitmap, FilteredEnlargementBlendsNeighbours) {
    TIEBitmap src(2, 1, ie24RGB);
    src.SetPixelRGB(0, 0, Rgb(0, 0, 0));
    src.SetPixelRGB(1, 0, Rgb(255, 255, 255));
    TDest d(8, 1);
    src.RenderToTIEBitmap(&d.B, 0, 0, 8, 1, 0, 0, 2, 1, 255, rfTriangle, 0);
    int32_t between = 0;
    for (int32_t x = 0; x < 8; ++x) {
        const int32_t v = d.B.GetPixelRGB(x, 0).r;
        if (v > 10 && v < 245) ++between;
        if (x > 0) EXPECT_GE(v, d.B.GetPixelRGB(x - 1, 0).r);
    }
    EXPECT_GT(between, 0);
}

// A destination stored in a temporary file is refused (its rows are not stable) and the refusal
// is traced, not silent.
TEST(RenderToTIEBitmap, FileDestinationIsRefusedAndTraced) {
    TIEBitmap src(2, 2, ie24RGB);
    Coordinates(src);
    TIEBitmap dst;
    dst.MinFileSize = 0;
    dst.SetLocation(ieFile);
    ASSERT_TRUE(dst.Allocate(2, 2, ie24RGB));
    if (dst.GetLocation() != ieFile) KW_SKIP_UNLESS_CI() << "no temporary file here";
    std::vector<std::wstring> traced;
    DebugOutputHook = [&](const std::wstring& Text) { traced.push_back(Text); };
    src.RenderToTIEBitmap(&dst, 0, 0, 2, 2, 0, 0, 2, 2, 255, rfNone, 0);
    DebugOutputHook = nullptr;
    ASSERT_EQ(traced.size(), 1u);
    EXPECT_NE(traced[0].find(L"file-located"), std::wstring::npos);
}

// A source in a temporary file renders row by row like one in memory.
TEST(RenderToTIEBitmap, FileSourceRenders) {
    TIEBitmap src;
    src.MinFileSize = 0;
    src.SetLocation(ieFile);
    ASSERT_TRUE(src.Allocate(3, 3, ie24RGB));
    Coordinates(src);
    TDest d(6, 6);
    src.RenderToTIEBitmap(&d.B, 0, 0, 6, 6, 0, 0, 3, 3, 200, rfNone, 0);
    EXPECT_EQ(d.B.GetPixelRGB(5, 5).r, (200 * 2) >> 8);
}
