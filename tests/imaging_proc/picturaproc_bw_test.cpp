// Black-and-white conversions, the two-colour detector, nearest palette colour, average colour
// and channel reordering.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "iebitmap.h"
#include "picturaproc_bw.h"
#include "picturaproc_channels.h"
#include "picturaproc_pixels.h"

namespace {

void FillRGB(TIEBitmap& B, TIERGB C) {
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) B.SetPixelRGB(x, y, C);
}

bool Bit(TIEBitmap& B, int32_t X, int32_t Y) { return IEGetBit(B.GetScanline(Y), X) != 0; }

}  // namespace

TEST(IEConvertToBWOrdered, WhiteStaysWhiteAndGreyFollowsTheMatrix) {
    TIEBitmap white(9, 9, ie24RGB);
    FillRGB(white, TIERGB{255, 255, 255});
    white.SetAlpha(1, 1, 7);
    IEConvertToBWOrdered(&white);
    ASSERT_EQ(white.GetPixelFormat(), ie1g);
    EXPECT_EQ(white.GetAlpha(1, 1), 7);   // the alpha channel is kept
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 9; ++x) EXPECT_TRUE(Bit(white, x, y));
    // (250, 250, 250): grey 250 div 4 = 62, not forced white: clear where the matrix holds 62 or 63.
    TIEBitmap almost(8, 8, ie24RGB);
    FillRGB(almost, TIERGB{250, 250, 250});
    IEConvertToBWOrdered(&almost);
    EXPECT_FALSE(Bit(almost, 3, 4));   // matrix row 3 (column 3), entry 4: 62
    EXPECT_FALSE(Bit(almost, 7, 0));           // matrix row 7, entry 0: 63
    EXPECT_TRUE(Bit(almost, 0, 0));
    int32_t clear = 0;
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 8; ++x) clear += !Bit(almost, x, y);
    EXPECT_EQ(clear, 2);
}

TEST(IEConvertToBWThreshold, FixedAverageAndEntropyThresholds) {
    TIEBitmap bmp(4, 1, ie24RGB);
    const uint8_t levels[4] = {10, 100, 150, 240};
    for (int32_t x = 0; x < 4; ++x) bmp.SetPixelRGB(x, 0, TIERGB{levels[x], levels[x], levels[x]});
    for (int32_t threshold : {100, -1, -2}) {
        TIEBitmap b;
        b.Assign(&bmp);
        IEConvertToBWThreshold(&b, threshold);
        ASSERT_EQ(b.GetPixelFormat(), ie1g);
        // 100 as given keeps the level 100 white; the average grey 125 and the maximum-entropy
        // threshold of the four equally frequent levels (101) make it black.
        const bool expect1 = threshold == 100;
        EXPECT_FALSE(Bit(b, 0, 0));
        EXPECT_EQ(Bit(b, 1, 0), expect1);
        EXPECT_TRUE(Bit(b, 3, 0));
    }
}

TEST(IEConvertTo1BitIfTwoColors, DarkerColourIsZero) {
    TIEBitmap bmp(3, 2, ie24RGB);
    const TIERGB white{255, 255, 255}, darkRed{0, 0, 128};
    FillRGB(bmp, white);
    bmp.SetPixelRGB(1, 1, darkRed);
    TIERGB c0{}, c1{};
    auto bw = IEConvertTo1BitIfTwoColors(&bmp, c0, c1);
    ASSERT_TRUE(bw);
    EXPECT_EQ(std::memcmp(&c0, &darkRed, 3), 0);
    EXPECT_EQ(std::memcmp(&c1, &white, 3), 0);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(Bit(*bw, x, y), !(x == 1 && y == 1));
    TIEBitmap one(2, 2, ie24RGB);
    FillRGB(one, white);
    EXPECT_FALSE(IEConvertTo1BitIfTwoColors(&one, c0, c1));
    one.SetPixelRGB(0, 0, darkRed);
    one.SetPixelRGB(1, 1, TIERGB{1, 2, 3});
    EXPECT_FALSE(IEConvertTo1BitIfTwoColors(&one, c0, c1));
}

TEST(IENearestPaletteColor, FirstOfEquallyNearEntries) {
    const TIERGB pal[3] = {{0, 0, 0}, {10, 10, 10}, {20, 20, 20}};
    EXPECT_EQ(IENearestPaletteColor(pal, 3, TIERGB{15, 15, 15}), 1);
    EXPECT_EQ(IENearestPaletteColor(pal, 3, TIERGB{19, 20, 20}), 2);
    EXPECT_EQ(IENearestPaletteColor(pal, 0, TIERGB{19, 20, 20}), 0);
}

TEST(IEAverageColor, IntegerDivisionPerRow) {
    TIEBitmap bmp(2, 1, ie24RGB);
    bmp.SetPixelRGB(0, 0, TIERGB{0, 0, 0});
    bmp.SetPixelRGB(1, 0, TIERGB{255, 255, 255});
    int32_t r, g, b;
    IEAverageColor(&bmp, r, g, b);
    EXPECT_EQ(r, 127);
    EXPECT_EQ(g, 127);
    EXPECT_EQ(b, 127);
    TIEBitmap words(1, 1, ie16g);
    words.SetPixelWord(0, 0, 65535);
    IEAverageColor(&words, r, g, b);
    EXPECT_EQ(r, 255);
}

TEST(IEReorderChannels, Patterns) {
    struct {
        const wchar_t* pattern;
        TIERGB expect;   // from blue 1, green 2, red 3
    } cases[] = {{L"RGB", {3, 2, 1}}, {L"rgb", {3, 2, 1}}, {L"BGR", {1, 2, 3}}, {L"RRR", {3, 3, 3}},
                 {L"B00", {1, 0, 0}}, {L"RG", {1, 2, 3}},   {L"RGX", {1, 2, 3}}};
    for (const auto& c : cases) {
        TIEBitmap bmp(2, 2, ie24RGB);
        FillRGB(bmp, TIERGB{1, 2, 3});
        IEReorderChannels(&bmp, c.pattern);
        const TIERGB got = bmp.GetPixelRGB(1, 1);
        EXPECT_EQ(std::memcmp(&got, &c.expect, 3), 0) << std::string(c.pattern, c.pattern + std::wcslen(c.pattern));
    }
    TIEBitmap deep(1, 1, ieRGB48);
    deep.SetPixelRGB48(0, 0, 1000, 2000, 3000);
    IEReorderChannels(&deep, L"RG0");   // new blue = old red, new green = old green, new red = 0
    uint16_t r, g, b;
    deep.GetPixelRGB48(0, 0, r, g, b);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(g, 2000);
    EXPECT_EQ(b, 1000);
    TIEBitmap grey(2, 2, ie8g);
    int32_t calls = 0;
    IEReorderChannels(&grey, L"RGB", nullptr, [&](TObject*, int32_t) { ++calls; });
    EXPECT_EQ(calls, 0);
    std::vector<int32_t> seen;
    TIEBitmap four(1, 4, ie24RGB);
    IEReorderChannels(&four, L"RGB", nullptr, [&](TObject*, int32_t pc) { seen.push_back(pc); });
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 25, 50, 75}));
}
