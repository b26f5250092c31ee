// Pixel-format conversion of the image buffer: the rule of each pair on pinned values, the pairs
// that go through 24-bit RGB, dithering to 1 bit, the display range, file storage and the alpha
// channel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "iebitmap.h"
#include "iecoreutils_colour.h"
#include "picturaio_colour.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Floats(float V) {
    Bytes b(4);
    std::memcpy(b.data(), &V, 4);
    return b;
}
Bytes Words(std::initializer_list<uint16_t> W) {
    Bytes b;
    for (uint16_t w : W) {
        b.push_back((uint8_t)w);
        b.push_back((uint8_t)(w >> 8));
    }
    return b;
}

// A one-row bitmap of Format whose first bytes are Pixel.
void MakeRow(TIEBitmap& B, TIEPixelFormat Format, const Bytes& Pixel) {
    ASSERT_TRUE(B.Allocate(1, 1, Format));
    std::memcpy(B.GetScanline(0), Pixel.data(), Pixel.size());
}

Bytes FirstBytes(TIEBitmap& B, size_t N) {
    const uint8_t* row = B.GetScanline(0);
    return Bytes(row, row + N);
}

// The CMYK conversions by their arithmetic: the built-in CMYK profile opens wherever the system's
// colour-management module exists (Wine has one), and its results are not these.
struct TArithmeticCMYK {
    bool Saved = IEUseCMYKProfile;
    TArithmeticCMYK() { IEUseCMYKProfile = false; }
    ~TArithmeticCMYK() { IEUseCMYKProfile = Saved; }
};

}  // namespace

TEST(IEBitmapConvert, PairRules) {
    TArithmeticCMYK arithmetic;
    const uint32_t redLab = IERGBToCIELab(0xFF0000);
    const Bytes red = {0, 0, 255};   // blue, green, red
    struct Case {
        const char* name;
        TIEPixelFormat from;
        Bytes pixel;
        TIEPixelFormat to;
        Bytes expected;
    };
    const Case cases[] = {
        {"24 to 8g", ie24RGB, red, ie8g, {53}},
        {"24 to 16g", ie24RGB, red, ie16g, Words({13893})},
        {"24 to 32f", ie24RGB, red, ie32f, Floats(0.2126f)},
        {"24 to 32RGB", ie24RGB, red, ie32RGB, {0, 0, 255, 255}},
        {"24 to 48", ie24RGB, red, ieRGB48, Words({65535, 0, 0})},
        {"24 to CMYK", ie24RGB, red, ieCMYK, {255, 0, 0, 255}},
        {"black to CMYK", ie24RGB, {0, 0, 0}, ieCMYK, {255, 255, 255, 0}},
        {"24 to Lab", ie24RGB, red, ieCIELab, {(uint8_t)redLab, (uint8_t)(redLab >> 8), (uint8_t)(redLab >> 16)}},
        {"8g to 16g", ie8g, {255}, ie16g, Words({65535})},
        {"8g to 32f", ie8g, {51}, ie32f, Floats(0.2f)},
        {"8g to 48", ie8g, {2}, ieRGB48, Words({514, 514, 514})},
        {"16g to 8g", ie16g, Words({0x1234}), ie8g, {0x12}},
        {"16g to 24", ie16g, Words({0x1234}), ie24RGB, {0x12, 0x12, 0x12}},
        {"16g to 48", ie16g, Words({0x1234}), ieRGB48, Words({0x1234, 0x1234, 0x1234})},
        {"16g to 32RGB", ie16g, Words({0xFF00}), ie32RGB, {255, 255, 255, 255}},
        {"1g to 24", ie1g, {0x80}, ie24RGB, {255, 255, 255}},
        {"1g to 16g", ie1g, {0x80}, ie16g, Words({65535})},
        {"1g to 32f", ie1g, {0x80}, ie32f, Floats(1.0f)},
        {"1g to 48", ie1g, {0x00}, ieRGB48, Words({0, 0, 0})},
        {"1g to 32RGB", ie1g, {0x80}, ie32RGB, {255, 255, 255, 255}},
        {"1g to 8p", ie1g, {0x80}, ie8p, {1}},
        {"32f to 8g", ie32f, Floats(0.5f), ie8g, {127}},
        {"32f to 16g", ie32f, Floats(0.5f), ie16g, Words({32767})},
        {"32f out of range keeps the low bits", ie32f, Floats(2.0f), ie8g, {254}},
        {"32f to 8p grey ramp", ie32f, Floats(1.0f), ie8p, {255}},
        {"CMYK white", ieCMYK, {255, 255, 255, 255}, ie24RGB, {255, 255, 255}},
        {"CMYK black", ieCMYK, {255, 255, 255, 0}, ie24RGB, {0, 0, 0}},
        {"CMYK cyan", ieCMYK, {0, 255, 255, 255}, ie24RGB, {255, 255, 0}},
        {"CMYK to 32RGB", ieCMYK, {0, 255, 255, 255}, ie32RGB, {255, 255, 0, 255}},
        {"CMYK to 8g via 24", ieCMYK, {0, 255, 255, 255}, ie8g, {(255 * 71 + 255 * 8) / 100}},
        {"48 to 24", ieRGB48, Words({0x1234, 0x5678, 0x9ABC}), ie24RGB, {0x9A, 0x56, 0x12}},
        {"48 to 16g", ieRGB48, Words({65535, 0, 0}), ie16g, Words({13893})},
        {"48 to 8g", ieRGB48, Words({65535, 0, 0}), ie8g, {53}},
        {"48 to 32f", ieRGB48, Words({0, 0, 65535}), ie32f, Floats((float)(65535 * 0.0722 / 256 / 255))},
        {"32RGB to 24", ie32RGB, {1, 2, 3, 4}, ie24RGB, {1, 2, 3}},
        {"32RGB to 16g via 24", ie32RGB, {0, 0, 255, 0}, ie16g, Words({13893})},
        {"Lab to 24", ieCIELab, {(uint8_t)redLab, (uint8_t)(redLab >> 8), (uint8_t)(redLab >> 16)}, ie24RGB,
         {IECIELabToRGB(redLab).b, IECIELabToRGB(redLab).g, IECIELabToRGB(redLab).r}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIEBitmap b;
        MakeRow(b, c.from, c.pixel);
        b.ConvertPixelFormat(c.to);
        EXPECT_EQ(b.GetPixelFormat(), c.to);
        ASSERT_EQ(b.GetWidth(), 1);
        EXPECT_EQ(FirstBytes(b, c.expected.size()), c.expected);
    }
}

TEST(IEBitmapConvert, PaletteSourcesAndTargets) {
    TIEBitmap p(3, 1, ie8p);
    p.SetPaletteEntry(7, TIERGB{0, 0, 255});     // red
    p.SetPaletteEntry(9, TIERGB{10, 20, 30});
    uint8_t* row = p.GetScanline(0);
    row[0] = 7;
    row[1] = 9;
    row[2] = 0;
    const struct {
        TIEPixelFormat to;
        Bytes expected;
    } cases[] = {
        {ie24RGB, {0, 0, 255, 10, 20, 30, 0, 0, 0}},
        {ie8g, {53, (30 * 21 + 20 * 71 + 10 * 8) / 100, 0}},
        {ie16g, Words({13893, (uint16_t)((212 * 30 * 257 + 713 * 20 * 257 + 75 * 10 * 257) / 1000), 0})},
        {ieRGB48, Words({65535, 0, 0, 30 * 257, 20 * 257, 10 * 257, 0, 0, 0})},
        {ie32RGB, {0, 0, 255, 255, 10, 20, 30, 255, 0, 0, 0, 255}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.to);
        TIEBitmap b(&p);
        b.ConvertPixelFormat(c.to);
        EXPECT_EQ(FirstBytes(b, c.expected.size()), c.expected);
    }

    // Grey formats give the grey ramp and their levels as indices.
    TIEBitmap g(2, 1, ie8g);
    g.GetScanline(0)[0] = 0;
    g.GetScanline(0)[1] = 200;
    g.SetPixelFormat(ie8p);
    EXPECT_EQ(FirstBytes(g, 2), (Bytes{0, 200}));
    for (int i : {0, 1, 128, 255}) EXPECT_EQ(g.GetPaletteEntry(i).g, i);

    // ie1g: entries 0 black and 1 white, the rest of the palette untouched (zeroed).
    TIEBitmap one(2, 1, ie1g);
    one.GetScanline(0)[0] = 0x40;
    one.SetPixelFormat(ie8p);
    EXPECT_EQ(FirstBytes(one, 2), (Bytes{0, 1}));
    EXPECT_EQ(one.GetPaletteEntry(1).r, 255);
    EXPECT_EQ(one.GetPaletteEntry(2).r, 0);
}

TEST(IEBitmapConvert, TwentyFourToPaletteAndBack) {
    const TIERGB colours[3] = {{0, 0, 255}, {0, 255, 0}, {200, 100, 50}};
    for (const int64_t minFileSize : {(int64_t)1 << 30, (int64_t)0}) {   // in memory, in a file
        TIEBitmap b;
        b.MinFileSize = minFileSize;
        ASSERT_TRUE(b.Allocate(4, 3, ie24RGB));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) b.SetPixelRGB(x, y, colours[(x + y) % 3]);
        TIEBitmap original(&b);
        b.SetPixelFormat(ie8p);
        ASSERT_EQ(b.GetPixelFormat(), ie8p);
        EXPECT_EQ(b.GetLocation(), minFileSize == 0 ? ieFile : ieMemory);
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(IESameRGB(b.GetPaletteEntry(i), colours[i]));   // order of first appearance
        b.SetPixelFormat(ie24RGB);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) EXPECT_TRUE(IESameRGB(b.GetPixelRGB(x, y), original.GetPixelRGB(x, y)));
    }
}

TEST(IEBitmapConvert, PairsWithoutARuleGoThrough24Bits) {
    TIEBitmap one(10, 2, ie1g);
    std::memset(one.GetScanline(0), 0xA5, 2);
    std::memset(one.GetScanline(1), 0x3C, 2);
    TIEBitmap viaTwentyFour(&one);
    viaTwentyFour.SetPixelFormat(ie24RGB);
    viaTwentyFour.SetPixelFormat(ieCIELab);

    TIEBitmap lab(10, 2, ieCIELab);
    lab.ConvertFrom(&one);
    EXPECT_EQ(one.GetPixelFormat(), ie24RGB);   // the source itself went to 24 bits
    for (int y = 0; y < 2; ++y) EXPECT_EQ(std::memcmp(lab.GetScanline(y), viaTwentyFour.GetScanline(y), 30), 0);
}

TEST(IEBitmapConvert, ConvertFromLeavesMismatchesAlone) {
    TIEBitmap source(4, 4, ie8g);
    TIEBitmap dest(4, 5, ie24RGB);
    std::memset(dest.GetScanline(0), 7, 12);
    dest.ConvertFrom(&source);
    EXPECT_EQ(dest.GetScanline(0)[0], 7);
    EXPECT_EQ(source.GetPixelFormat(), ie8g);
    TIEBitmap empty;
    TIEBitmap sized(4, 4, ie24RGB);
    sized.ConvertFrom(&empty);   // sizes differ: nothing
    EXPECT_EQ(sized.GetWidth(), 4);
}

TEST(IEBitmapConvert, OrderedDither) {
    TIEBitmap g(16, 8, ie8g);
    for (int y = 0; y < 8; ++y) std::memset(g.GetScanline(y), 132, 16);   // level 33
    g.GetScanline(0)[8] = 255;   // (8, 0): level 63 beats M[0][0] = 0
    g.GetScanline(0)[0] = 3;     // (0, 0): level 0 never does
    g.DitherMethod = iedmOrdered;
    g.SetPixelFormat(ie1g);
    ASSERT_EQ(g.GetPixelFormat(), ie1g);
    auto white = [&](int x, int y) { return (g.GetScanline(y)[x >> 3] & (0x80 >> (x & 7))) != 0; };
    EXPECT_FALSE(white(0, 0));
    EXPECT_TRUE(white(8, 0));
    // The matrix is indexed by the column first: M[1][0] = 48 (black at 33), M[0][1] = 32 (white).
    EXPECT_FALSE(white(1, 0));
    EXPECT_TRUE(white(0, 1));
    int set = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) set += white(x + 8, y);
    EXPECT_EQ(set, 33);   // the entries 0..32 of one tile (the 255 pixel among them)
}

TEST(IEBitmapConvert, ThresholdByAverageGrey) {
    TIEBitmap b(4, 1, ie24RGB);
    b.SetPixelRGB(0, 0, {0, 0, 0});
    b.SetPixelRGB(1, 0, {255, 255, 255});
    b.SetPixelRGB(2, 0, {100, 100, 100});
    b.SetPixelRGB(3, 0, {0, 0, 0});
    // Average per channel (0 + 255 + 100 + 0) / 4 = 88: 100 and 255 are white.
    b.SetPixelFormat(ie1g);
    EXPECT_EQ(b.GetScanline(0)[0] & 0xF0, 0x60);
}

TEST(IEBitmapConvert, DisplayRange) {
    TIEBitmap b(5, 1, ie8g);
    const uint8_t levels[5] = {50, 100, 150, 200, 250};
    std::memcpy(b.GetScanline(0), levels, 5);
    b.DisplayRange[0] = 100;
    b.DisplayRange[1] = 200;
    b.SetPixelFormat(ie24RGB);
    const uint8_t expected[5] = {0, 0, 127, 255, 255};
    for (int x = 0; x < 5; ++x) EXPECT_EQ(b.GetPixelRGB(x, 0).g, expected[x]) << x;
    EXPECT_EQ(b.DisplayRange[0], 0);
    EXPECT_EQ(b.DisplayRange[1], 0);

    TIEBitmap w(2, 1, ie16g);
    const uint16_t words[2] = {1000, 3000};
    std::memcpy(w.GetScanline(0), words, 4);
    w.DisplayRange[0] = 1000;
    w.DisplayRange[1] = 2000;
    w.SetPixelFormat(ie24RGB);
    EXPECT_EQ(w.GetPixelRGB(0, 0).r, 0);
    EXPECT_EQ(w.GetPixelRGB(1, 0).r, 255);
}

TEST(IEBitmapConvert, FileStorageAndAlpha) {
    TIEBitmap b;
    b.MinFileSize = 0;
    ASSERT_TRUE(b.Allocate(37, 21, ie24RGB));
    ASSERT_EQ(b.GetLocation(), ieFile);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 37; ++x) b.SetPixelRGB(x, y, TIERGB{(uint8_t)x, (uint8_t)y, (uint8_t)(x + y)});
    b.SetAlpha(3, 4, 77);
    b.SetPixelFormat(ie32RGB);
    EXPECT_EQ(b.GetLocation(), ieFile);
    EXPECT_EQ(b.GetAlpha(3, 4), 77);
    EXPECT_EQ(b.GetAlpha(4, 4), 255);
    b.SetPixelFormat(ieRGB48);
    b.SetPixelFormat(ie24RGB);
    EXPECT_EQ(b.GetLocation(), ieFile);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 37; ++x) ASSERT_TRUE(IESameRGB(b.GetPixelRGB(x, y), (TIERGB{(uint8_t)x, (uint8_t)y, (uint8_t)(x + y)})));
    EXPECT_EQ(b.GetAlpha(3, 4), 77);

    // ConvertFrom copies the source's alpha channel into a destination without one.
    TIEBitmap dest(37, 21, ie8g);
    dest.ConvertFrom(&b);
    ASSERT_TRUE(dest.HasAlphaChannel());
    EXPECT_EQ(dest.GetAlpha(3, 4), 77);
    EXPECT_EQ(dest.GetPixelByte(36, 20), (56 * 21 + 20 * 71 + 36 * 8) / 100);
}

TEST(IEBitmapConvert, CMYKPixelAsRGB) {
    TArithmeticCMYK arithmetic;
    TIEBitmap b(1, 1, ieCMYK);
    const uint8_t cmyk[4] = {0, 255, 255, 255};
    std::memcpy(b.GetScanline(0), cmyk, 4);
    EXPECT_TRUE(IESameRGB(b.GetPixelAsRGB(0, 0), (TIERGB{255, 255, 0})));
}

// The row loops that take several pixels a step against the rule worked out one pixel at a time,
// on widths around the step sizes (the loops' tails and the last full step of a row).
TEST(IEBitmapConvert, WholeRowsMatchThePixelRule) {
    TArithmeticCMYK arithmetic;
    struct Case {
        const char* name;
        TIEPixelFormat from, to;
        int bytesIn, bytesOut;
        void (*rule)(const uint8_t* S, uint8_t* D);
    } cases[] = {
        {"24 to 32", ie24RGB, ie32RGB, 3, 4,
         [](const uint8_t* S, uint8_t* D) {
             std::memcpy(D, S, 3);
             D[3] = 255;
         }},
        {"24 to 8g", ie24RGB, ie8g, 3, 1,
         [](const uint8_t* S, uint8_t* D) {
             D[0] = (uint8_t)((S[2] * IEGrayRedWeight + S[1] * IEGrayGreenWeight + S[0] * IEGrayBlueWeight) / 100);
         }},
        {"CMYK to 24", ieCMYK, ie24RGB, 4, 3,
         [](const uint8_t* S, uint8_t* D) {
             for (int c = 0; c < 3; ++c) D[c] = (uint8_t)(S[2 - c] * S[3] / 255);
         }},
    };
    for (const Case& c : cases) {
        for (const int32_t width : {1, 3, 5, 6, 7, 17, 18, 19, 33, 35}) {
            SCOPED_TRACE(std::string(c.name) + ", width " + std::to_string(width));
            TIEBitmap source(width, 2, c.from), dest(width, 2, c.to);
            uint32_t seed = (uint32_t)width;
            for (int32_t y = 0; y < 2; ++y) {
                uint8_t* row = source.GetScanline(y);
                for (int32_t i = 0; i < width * c.bytesIn; ++i) {
                    seed = seed * 1664525u + 1013904223u;
                    // Every fourth row byte at an extreme, so that the largest sums are met.
                    row[i] = (i & 3) == 0 ? (uint8_t)((seed >> 31) * 255) : (uint8_t)(seed >> 24);
                }
            }
            dest.ConvertFrom(&source);
            for (int32_t y = 0; y < 2; ++y) {
                const uint8_t* s = source.GetScanline(y);
                const uint8_t* d = dest.GetScanline(y);
                for (int32_t x = 0; x < width; ++x) {
                    uint8_t expected[4];
                    c.rule(s + x * c.bytesIn, expected);
                    ASSERT_EQ(Bytes(expected, expected + c.bytesOut), Bytes(d + x * c.bytesOut, d + (x + 1) * c.bytesOut))
                        << "pixel " << x << " of row " << y;
                }
            }
        }
    }
}
