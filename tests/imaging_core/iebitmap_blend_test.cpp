// The blend operations on a table of pixel pairs, and the two compositing operations of the image
// buffer (scaled copy with alpha, alpha merge).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "RgbAssert.h"
#include "iebitmap.h"
#include "iecoreutils_startup.h"
#include "iestartup.h"

namespace {

TIERGB Combine(TIERGB S, TIERGB D, uint8_t Op, int32_t Row = 0) {
    IECombinePixel(&S, &D, Op, Row);
    return D;
}

}   // namespace

// Each separable operation on three channel pairs at once: red 200 over 100, green 60 over 180,
// blue 255 over 0; and 0 over 255 in all channels. Expected values worked out from the formulas.
TEST(IECombinePixel, SeparableOperationsOnPixelPairs) {
    struct Case {
        uint8_t Op;
        uint8_t R, G, B;   // results of the first pair
        uint8_t Z;         // result of 0 over 255
    };
    const Case cases[] = {
        {0, 200, 60, 255, 0},    {1, 255, 240, 255, 255}, {2, 100, 120, 255, 255}, {3, 0, 3, 0, 255},
        {4, 78, 42, 0, 0},       {5, 236, 188, 255, 255}, {6, 64, 52, 0, 0},       {7, 172, 136, 255, 255},
        {8, 200, 180, 255, 255}, {9, 100, 60, 0, 0},      {10, 150, 120, 127, 127}, {11, 221, 197, 255, 255},
        {12, 210, 240, 255, 255}, {13, 144, 156, 255, 255}, {14, 156, 141, 0, 255}, {15, 189, 84, 255, 0},
        {16, 133, 151, 0, 255},  {17, 134, 151, 0, 254},  {18, 255, 236, 255, 255}, {19, 57, 0, 0, 0},
        {20, 255, 204, 255, 255}, {21, 115, 0, 0, 0},     {22, 185, 118, 255, 128}, {23, 156, 102, 128, 255},
        {24, 181, 166, 255, 255}, {25, 255, 48, 255, 255}, {26, 135, 162, 0, 0},   {27, 225, 44, 0, 0},
        {28, 44, 0, 0, 0},       {30, 244, 44, 254, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.Op));
        EXPECT_TRUE(SameRgb(Combine(Rgb(200, 60, 255), Rgb(100, 180, 0), c.Op), Rgb(c.R, c.G, c.B)));
        EXPECT_TRUE(SameRgb(Combine(Rgb(0, 0, 0), Rgb(255, 255, 255), c.Op), Rgb(c.Z, c.Z, c.Z)));
    }
}

// Operation 29 reads the raised-cosine table that the library's start-up fills.
TEST(IECombinePixel, CosineOperationUsesTheStartUpTable) {
    IEStaticInitialize();
    EXPECT_TRUE(SameRgb(Combine(Rgb(200, 60, 255), Rgb(100, 180, 0), 29), Rgb(157, 120, 128)));
    EXPECT_TRUE(SameRgb(Combine(Rgb(255, 255, 255), Rgb(255, 255, 255), 29), Rgb(255, 255, 255)));
    IEStaticFinalize();
}

TEST(IECombinePixel, ChannelHslAnaglyphAndInterlaceOperations) {
    const TIERGB red = Rgb(255, 0, 0), green = Rgb(64, 128, 64);
    struct Case {
        uint8_t Op;
        TIERGB S, D, Expected;
        int32_t Row;
    };
    const Case cases[] = {
        {31, Rgb(1, 2, 3), Rgb(10, 20, 30), Rgb(1, 20, 30), 0},
        {32, Rgb(1, 2, 3), Rgb(10, 20, 30), Rgb(10, 2, 30), 0},
        {33, Rgb(1, 2, 3), Rgb(10, 20, 30), Rgb(10, 20, 3), 0},
        {34, red, green, Rgb(128, 64, 64), 0},    // hue of the source
        {35, red, green, Rgb(0, 192, 0), 0},      // saturation of the source
        {36, red, green, Rgb(192, 0, 0), 0},      // hue and saturation of the source
        {37, red, green, Rgb(170, 85, 85), 0},    // hue and lightness of the source
        {38, red, green, Rgb(109, 53, 53), 0},    // grey anaglyph: 21/71/8 weights
        {39, Rgb(1, 2, 3), Rgb(10, 20, 30), Rgb(10, 2, 3), 0},
        {40, red, green, Rgb(93, 88, 0), 0},
        {40, Rgb(40, 200, 250), Rgb(10, 20, 30), Rgb(0, 156, 255), 0},
        {41, Rgb(1, 2, 3), Rgb(10, 20, 30), Rgb(1, 2, 3), 2},
        {41, Rgb(1, 2, 3), Rgb(10, 20, 30), Rgb(10, 20, 30), 3},
        {42, Rgb(1, 2, 3), Rgb(10, 20, 30), Rgb(1, 2, 3), 3},
        {42, Rgb(1, 2, 3), Rgb(10, 20, 30), Rgb(10, 20, 30), 2},
        {43, Rgb(1, 2, 3), Rgb(10, 20, 30), Rgb(10, 20, 30), 0},
        {255, Rgb(1, 2, 3), Rgb(10, 20, 30), Rgb(10, 20, 30), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.Op));
        EXPECT_TRUE(SameRgb(Combine(c.S, c.D, c.Op, c.Row), c.Expected));
    }
}

// Soft light works per channel with the source's own channel: pure red over grey 128 changes the
// red channel one way and green and blue the other.
TEST(IECombinePixel, SoftLightIsPerChannel) {
    const TIERGB r = Combine(Rgb(255, 0, 0), Rgb(128, 128, 128), 16);
    EXPECT_GT(r.r, 128);
    EXPECT_LT(r.g, 128);
    EXPECT_EQ(r.g, r.b);
}

namespace {

void FillRgb(TIEBitmap& B, TIERGB C) {
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) B.SetPixelRGB(x, y, C);
}

}   // namespace

TEST(StretchRectTo, OpacityFillsTheAlphaOfTheRectangleOnly) {
    TIEBitmap src(2, 2, ie24RGB), dst(6, 6, ie24RGB);
    FillRgb(src, Rgb(9, 8, 7));
    FillRgb(dst, Rgb(0, 0, 0));
    src.StretchRectTo(&dst, 1, 1, 4, 4, 0, 0, 2, 2, rfNone, 128);
    ASSERT_TRUE(dst.HasAlphaChannel());
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            const bool inside = x >= 1 && x <= 4 && y >= 1 && y <= 4;
            EXPECT_EQ(dst.GetAlpha(x, y), inside ? 128 : 255) << x << "," << y;
            EXPECT_TRUE(SameRgb(dst.GetPixelRGB(x, y), inside ? Rgb(9, 8, 7) : Rgb(0, 0, 0)));
        }
}

TEST(StretchRectTo, SourceAlphaLimitedByOpacityAndOneBitSources) {
    TIEBitmap src(2, 1, ie24RGB), dst(4, 1, ie24RGB);
    src.SetPixelRGB(0, 0, Rgb(1, 1, 1));
    src.SetPixelRGB(1, 0, Rgb(2, 2, 2));
    src.GetAlphaChannel()->SetPixelByte(0, 0, 50);
    src.GetAlphaChannel()->SetPixelByte(1, 0, 250);
    src.GetAlphaChannel()->SetFull(false);
    src.StretchRectTo(&dst, 0, 0, 4, 1, 0, 0, 2, 1, rfNone, 200);
    const uint8_t alphas[4] = {50, 50, 200, 200};
    for (int32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(dst.GetAlpha(x, 0), alphas[x]);
        EXPECT_EQ(dst.GetPixelRGB(x, 0).g, x < 2 ? 1 : 2);
    }
    TIEBitmap bits(8, 1, ie1g), grey(8, 1, ie24RGB);
    bits.GetScanline(0)[0] = 0xA0;   // columns 0 and 2 set
    bits.StretchRectTo(&grey, 0, 0, 8, 1, 0, 0, 8, 1, rfNone, 255);
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(grey.GetPixelRGB(x, 0).r, (x == 0 || x == 2) ? 255 : 0) << x;
}

TEST(AlphaMergeFrom, OpaqueSourceReplacesAndZeroOpacityKeeps) {
    TIEBitmap src(2, 2, ie24RGB), dst(3, 3, ie24RGB);
    FillRgb(src, Rgb(200, 100, 50));
    FillRgb(dst, Rgb(10, 20, 30));
    dst.GetAlphaChannel()->Fill(0);
    dst.GetAlphaChannel()->SetPixelByte(1, 1, 90);
    // Opacity 0: colours stay where the destination alpha is not 0; where it is 0 the pixel takes
    // the combined colour (the source's for operation 0). Alpha unchanged.
    dst.AlphaMergeFrom(&src, 1, 1, -1, -1, 0, rfNone, 0, false, 0, 0);
    EXPECT_TRUE(SameRgb(dst.GetPixelRGB(1, 1), Rgb(10, 20, 30)));
    EXPECT_EQ(dst.GetAlpha(1, 1), 90);
    EXPECT_TRUE(SameRgb(dst.GetPixelRGB(2, 2), Rgb(200, 100, 50)));
    EXPECT_EQ(dst.GetAlpha(2, 2), 0);
    EXPECT_TRUE(SameRgb(dst.GetPixelRGB(0, 0), Rgb(10, 20, 30)));
    // Opacity 255 with a fully opaque source: the source pixels and alpha 255, clipped at the left.
    dst.AlphaMergeFrom(&src, -1, 0, -1, -1, 255, rfNone, 0, false, 0, 0);
    EXPECT_TRUE(SameRgb(dst.GetPixelRGB(0, 0), Rgb(200, 100, 50)));
    EXPECT_TRUE(SameRgb(dst.GetPixelRGB(0, 1), Rgb(200, 100, 50)));
    EXPECT_EQ(dst.GetAlpha(0, 1), 255);
    EXPECT_TRUE(SameRgb(dst.GetPixelRGB(1, 0), Rgb(10, 20, 30)));
}

TEST(AlphaMergeFrom, HalfAlphaOverOpaqueWithAnOperation) {
    TIEBitmap src(1, 1, ie24RGB), dst(1, 1, ie24RGB);
    src.SetPixelRGB(0, 0, Rgb(200, 200, 200));
    src.GetAlphaChannel()->SetPixelByte(0, 0, 102);   // a = 0.4
    dst.SetPixelRGB(0, 0, Rgb(100, 100, 100));
    dst.GetAlphaChannel();
    // Operation 2 (difference) gives c = 100; (100 x 0.4 + 100 x 0.6) / 1 = 100.
    dst.AlphaMergeFrom(&src, 0, 0, -1, -1, 255, rfNone, 2, false, 0, 0);
    EXPECT_TRUE(SameRgb(dst.GetPixelRGB(0, 0), Rgb(100, 100, 100)));
    // Operation 0: 200 x 0.4 + 100 x 0.6 = 140.
    dst.AlphaMergeFrom(&src, 0, 0, -1, -1, 255, rfNone, 0, false, 0, 0);
    EXPECT_TRUE(SameRgb(dst.GetPixelRGB(0, 0), Rgb(140, 140, 140)));
    EXPECT_EQ(dst.GetAlpha(0, 0), 255);
}

// A source rectangle reaching past the source is read only where it exists.
TEST(AlphaMergeFrom, SourceRectanglePastTheSourceReadsNothingOutside) {
    TIEBitmap src(2, 2, ie24RGB), dst(4, 4, ie24RGB);
    FillRgb(src, Rgb(1, 2, 3));
    FillRgb(dst, Rgb(50, 50, 50));
    dst.AlphaMergeFrom(&src, 0, 0, 4, 4, 255, rfNone, 0, false, 1, 1);
    EXPECT_TRUE(SameRgb(dst.GetPixelRGB(0, 0), Rgb(1, 2, 3)));
    EXPECT_TRUE(SameRgb(dst.GetPixelRGB(1, 1), Rgb(50, 50, 50)));
    EXPECT_TRUE(SameRgb(dst.GetPixelRGB(3, 3), Rgb(50, 50, 50)));
}

// A layer placed at or right of its own width is drawn there too.
TEST(AlphaMergeFrom, LayerRightOfItsOwnWidth) {
    TIEBitmap src(2, 2, ie24RGB), dst(5, 2, ie24RGB);
    FillRgb(src, Rgb(1, 2, 3));
    FillRgb(dst, Rgb(50, 50, 50));
    dst.AlphaMergeFrom(&src, 3, 0, -1, -1, 255, rfNone, 0, false, 0, 0);
    for (int32_t x = 0; x < 5; ++x)
        EXPECT_TRUE(SameRgb(dst.GetPixelRGB(x, 1), x >= 3 ? Rgb(1, 2, 3) : Rgb(50, 50, 50))) << x;
}
