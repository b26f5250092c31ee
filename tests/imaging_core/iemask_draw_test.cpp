// The geometry of the mask's selection border: which view pixels are border pixels, at 1:1 and
// zoomed, at the view's edges, on both depths, and their alternating colours.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "iemask.h"

namespace {

using Pixels = std::set<std::pair<int32_t, int32_t>>;

// The border of the w x h block at (x, y): its outermost pixels.
Pixels Perimeter(int32_t x, int32_t y, int32_t w, int32_t h) {
    Pixels p;
    for (int32_t j = y; j < y + h; ++j)
        for (int32_t i = x; i < x + w; ++i)
            if (i == x || j == y || i == x + w - 1 || j == y + h - 1) p.insert({i, j});
    return p;
}

Pixels Outline(TIEMask& m, int32_t xDst, int32_t yDst, int32_t vw, int32_t vh, int32_t sx, int32_t sy, int32_t sw,
               int32_t sh, TIEMaskRect* rect = nullptr) {
    Pixels p;
    m.OutlinePixels(xDst, yDst, vw, vh, sx, sy, sw, sh, 0, rect, [&](int32_t x, int32_t y, bool) { p.insert({x, y}); });
    return p;
}

void Block(TIEMask& m, int32_t x, int32_t y, int32_t w, int32_t h) {
    for (int32_t j = y; j < y + h; ++j)
        for (int32_t i = x; i < x + w; ++i) m.SetPixel(i, j, 255);
}

}  // namespace

TEST(IEMaskOutline, BorderPixelsOfABlockOnBothDepthsAndZooms) {
    for (int32_t bpp : {1, 8}) {
        SCOPED_TRACE(bpp);
        TIEMask m;
        m.Allocate(10, 10, bpp);
        Block(m, 2, 2, 4, 4);
        TIEMaskRect rect{};
        EXPECT_EQ(Outline(m, 0, 0, 10, 10, 0, 0, 10, 10, &rect), Perimeter(2, 2, 4, 4));
        // Rows and columns 2..7 can hold border pixels; the rectangle is one pixel inside.
        EXPECT_EQ(rect.Left, 3);
        EXPECT_EQ(rect.Top, 3);
        EXPECT_EQ(rect.Right, 6);
        EXPECT_EQ(rect.Bottom, 6);
        // Twice the size, shown at (100, 50).
        EXPECT_EQ(Outline(m, 100, 50, 20, 20, 0, 0, 10, 10), Perimeter(104, 54, 8, 8));
        // Views that cut the selection at their left and top: no border there.
        EXPECT_TRUE(Outline(m, 0, 0, 5, 5, 5, 5, 5, 5).empty());
        EXPECT_EQ(Outline(m, 0, 0, 6, 6, 4, 4, 6, 6), Perimeter(1, 1, 1, 1));
    }
}

TEST(IEMaskOutline, EdgesOfTheViewAndColours) {
    TIEMask m;
    m.Allocate(8, 8, 1);
    Block(m, 0, 0, 8, 8);   // the whole mask
    EXPECT_EQ(Outline(m, 0, 0, 8, 8, 0, 0, 8, 8), Perimeter(0, 0, 8, 8));
    // A view that starts inside the selection: its left column and top row are no border.
    const Pixels inner = Outline(m, 0, 0, 4, 4, 2, 2, 4, 4);
    EXPECT_EQ(inner.count({0, 1}), 0u);
    EXPECT_EQ(inner.count({1, 0}), 0u);
    EXPECT_EQ(inner.count({1, 1}), 0u);

    // Colour1 where (x + y + Phase) and 7 is below 4.
    TIEMask s;
    s.Allocate(10, 1, 1);
    Block(s, 0, 0, 10, 1);
    std::set<int32_t> first;
    s.OutlinePixels(0, 0, 10, 1, 0, 0, 10, 1, 2, nullptr, [&](int32_t x, int32_t, bool c1) {
        if (c1) first.insert(x);
    });
    EXPECT_EQ(first, (std::set<int32_t>{0, 1, 6, 7, 8, 9}));

    // Nothing for an empty mask or an empty view.
    TIEMask e;
    e.Allocate(4, 4, 1);
    EXPECT_TRUE(Outline(e, 0, 0, 4, 4, 0, 0, 4, 4).empty());
    EXPECT_TRUE(Outline(m, 0, 0, 0, 4, 0, 0, 8, 8).empty());
}

TEST(IEMaskOutline, WholeRowsOfEveryWidthNearAWordAreNotReadPast) {
    // The last pixels of a 1-bit view row sit in its last byte: nothing after it is read.
    for (int32_t width : {8, 27, 28, 29, 30, 31, 32, 64}) {
        SCOPED_TRACE(width);
        TIEMask m;
        m.Allocate(width, 4, 1);
        Block(m, 0, 0, width, 4);
        EXPECT_EQ(Outline(m, 0, 0, width, 4, 0, 0, width, 4), Perimeter(0, 0, width, 4));
    }
}
