// Grey conversion of a rectangle and reduction to a quantized palette: the pixels inside and
// outside the rectangle, rectangles reaching outside the image, palettes of every size, progress.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "iebitmap.h"
#include "picturaproc_grey.h"
#include "picturaproc_pixels.h"

namespace {

// A W x H colour image whose pixels all differ from their neighbours.
void Colourful(TIEBitmap& B) {
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x)
            B.SetPixelRGB(x, y, TIERGB{(uint8_t)(x * 29 + y * 3), (uint8_t)(y * 41 + 7), (uint8_t)(x * y * 13 + 90)});
}

uint32_t Key(const TIERGB& C) { return (uint32_t)C.r << 16 | (uint32_t)C.g << 8 | C.b; }

std::set<uint32_t> Colours(TIEBitmap& B) {
    std::set<uint32_t> seen;
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) seen.insert(Key(B.GetPixelRGB(x, y)));
    return seen;
}

}  // namespace

TEST(IEConvertToGrayRect, GreysTheRectangleOnlyWithTheLibraryWeights) {
    struct Case {
        int32_t X1, Y1, X2, Y2;   // as passed
        int32_t L, T, R, B;       // the pixels expected grey: columns L..R-1, rows T..B-1
    };
    const Case cases[] = {
        {2, 1, 5, 4, 2, 1, 5, 4},       // inside
        {0, 0, 99, 99, 0, 0, 7, 6},     // cut to the image
        {-3, -2, 2, 2, 0, 0, 2, 2},     // negative corner cut to 0
        {3, 3, 3, 5, 3, 3, 3, 5},       // no columns: rows visited, nothing changes
        {1, 4, 6, 4, 0, 0, 0, 0},       // no rows
    };
    for (const Case& c : cases) {
        TIEBitmap bmp(7, 6, ie24RGB);
        Colourful(bmp);
        TIEBitmap before;
        before.Assign(&bmp);
        std::vector<int32_t> progress;
        IEConvertToGrayRect(&bmp, c.X1, c.Y1, c.X2, c.Y2, [&](TObject*, int32_t pc) { progress.push_back(pc); });
        for (int32_t y = 0; y < 6; ++y)
            for (int32_t x = 0; x < 7; ++x) {
                const TIERGB was = before.GetPixelRGB(x, y), now = bmp.GetPixelRGB(x, y);
                if (x >= c.L && x < c.R && y >= c.T && y < c.B) {
                    const uint8_t g = (uint8_t)((was.r * 21 + was.g * 71 + was.b * 8) / 100);
                    ASSERT_TRUE(now.r == g && now.g == g && now.b == g) << x << "," << y;
                } else {
                    ASSERT_TRUE(IESameRGB(now, was)) << x << "," << y;
                }
            }
        // One report per row, rising, the last one 100 (the formula's overshoot is cut).
        EXPECT_EQ((int32_t)progress.size(), std::max(c.B - c.T, 0));
        if (!progress.empty()) {
            EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
            EXPECT_EQ(progress.back(), 100);
        }
    }
    // (250, 0, 10): 52.5 + 0.8 truncates to 53; a 1 x 1 image reports 100, not 200.
    TIEBitmap dot(1, 1, ie24RGB);
    dot.SetPixelRGB(0, 0, TIERGB{10, 0, 250});   // blue, green, red
    std::vector<int32_t> progress;
    IEConvertToGrayRect(&dot, 0, 0, 1, 1, [&](TObject*, int32_t pc) { progress.push_back(pc); });
    EXPECT_EQ(dot.GetPixelRGB(0, 0).g, 53);
    EXPECT_EQ(progress, std::vector<int32_t>{100});
    // Other formats are left as they are.
    TIEBitmap grey(3, 3, ie8g);
    grey.Fill(77);
    IEConvertToGrayRect(&grey, 0, 0, 3, 3);
    EXPECT_EQ(grey.GetPixelByte(1, 1), 77);
}

TEST(IEConvertToGrayRect, FileHeldImagesGiveTheSamePixels) {
    // Rows of an image held in a temporary file are written back, for both routines.
    for (bool quantize : {false, true}) {
        TIEBitmap memory(40, 30, ie24RGB), file;
        Colourful(memory);
        file.MinFileSize = 0;
        file.SetLocation(ieFile);
        file.Assign(&memory);
        ASSERT_EQ(file.GetLocation(), ieFile);
        if (quantize) {
            IEQuantizeBitmap(&memory, 20, nullptr);
            IEQuantizeBitmap(&file, 20, nullptr);
        } else {
            IEConvertToGrayRect(&memory, 3, 2, 31, 27);
            IEConvertToGrayRect(&file, 3, 2, 31, 27);
        }
        EXPECT_TRUE(IEBitmapsEqual(&memory, &file)) << quantize;
    }
}

TEST(IEQuantizeBitmap, FewColoursStayExactAndManyAreReducedToThePalette) {
    // Five colours asked for eight: the exact list, in order of first appearance, and no pixel
    // changes.
    TIEBitmap few(5, 4, ie24RGB);
    const TIERGB five[5] = {{1, 2, 3}, {200, 0, 0}, {0, 200, 0}, {9, 9, 250}, {40, 50, 60}};
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x) few.SetPixelRGB(x, y, five[(x + y) % 5]);
    TIEBitmap before;
    before.Assign(&few);
    std::vector<TIERGB> palette(8, TIERGB{7, 7, 7});
    IEQuantizeBitmap(&few, 8, palette.data());
    EXPECT_TRUE(IEBitmapsEqual(&few, &before));
    for (int32_t i = 0; i < 5; ++i) EXPECT_TRUE(IESameRGB(palette[(size_t)i], five[i])) << i;
    EXPECT_TRUE(IESameRGB(palette[5], TIERGB{7, 7, 7}));   // entries past those found stay

    // Many colours: every pixel becomes one of the palette's colours, at most Count of them, for
    // both engines (variance split below 128 colours, NeuQuant from 128) and beyond the
    // quantizer's 256 (the palette array is exactly Count long: nothing is written past it).
    for (int32_t count : {3, 16, 200, 1024}) {
        TIEBitmap bmp(40, 30, ie24RGB);
        Colourful(bmp);
        std::vector<TIERGB> pal((size_t)count, TIERGB{1, 1, 1});
        std::vector<int32_t> progress;
        IEQuantizeBitmap(&bmp, count, pal.data(), [&](TObject*, int32_t pc) { progress.push_back(pc); });
        std::set<uint32_t> allowed;
        for (const TIERGB& c : pal) allowed.insert(Key(c));
        const std::set<uint32_t> used = Colours(bmp);
        EXPECT_LE((int32_t)used.size(), std::min(count, 256)) << count;
        for (uint32_t k : used) EXPECT_TRUE(allowed.count(k)) << count;
        ASSERT_EQ(progress.size(), 30u);
        EXPECT_LE(progress.back(), 100);
        EXPECT_GE(progress.back(), 98);
    }
    // Without a palette of the caller's the result is the same.
    TIEBitmap a(40, 30, ie24RGB), b(40, 30, ie24RGB);
    Colourful(a);
    Colourful(b);
    std::vector<TIERGB> pal(16);
    IEQuantizeBitmap(&a, 16, pal.data());
    IEQuantizeBitmap(&b, 16, nullptr);
    EXPECT_TRUE(IEBitmapsEqual(&a, &b));
    // A count below 1 and other formats change nothing.
    TIEBitmap c(40, 30, ie24RGB);
    Colourful(c);
    before.Assign(&c);
    IEQuantizeBitmap(&c, 0, nullptr);
    EXPECT_TRUE(IEBitmapsEqual(&c, &before));
    TIEBitmap grey(3, 3, ie8g);
    grey.Fill(77);
    IEQuantizeBitmap(&grey, 2, nullptr);
    EXPECT_EQ(grey.GetPixelByte(1, 1), 77);
}
