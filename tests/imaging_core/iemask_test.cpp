// The selection mask: pixels and bounding box, full flag, lines, polygons, moving, resizing and
// copying through the mask.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "iebitmap.h"
#include "iemask.h"

namespace {

int32_t CountSet(TIEMask& m) {
    int32_t n = 0;
    for (int32_t y = 0; y < m.Height; ++y)
        for (int32_t x = 0; x < m.Width; ++x) n += m.GetPixel(x, y) != 0;
    return n;
}

void ExpectBox(const TIEMask& m, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    EXPECT_EQ(m.X1, x1);
    EXPECT_EQ(m.Y1, y1);
    EXPECT_EQ(m.X2, x2);
    EXPECT_EQ(m.Y2, y2);
}

}  // namespace

TEST(IEMask, NewMaskIsEmptyAndRowsAreBottomUp) {
    TIEMask m;
    m.Allocate(10, 10, 1);
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_FALSE(m.HasBits());
    EXPECT_EQ(m.RowLen, 4);
    EXPECT_EQ(m.GetPixel(0, 0), 0);
    ASSERT_TRUE(m.HasBits());
    m.SetPixel(3, 4, 1);
    ExpectBox(m, 3, 4, 3, 4);
    EXPECT_EQ(m.GetPixel(3, 4), 16);
    EXPECT_EQ(m.GetScanline(4), m.GetBits() + 4 * (10 - 1 - 4));
    EXPECT_EQ(m.GetScanline(4)[0], 0x10);
    // Outside the mask: ignored and read as 0.
    m.SetPixel(-1, 2, 1);
    m.SetPixel(10, 2, 1);
    EXPECT_EQ(m.GetPixel(10, 2), 0);
    ExpectBox(m, 3, 4, 3, 4);
    m.SetPixel(7, 1, 200);
    ExpectBox(m, 3, 1, 7, 4);
    EXPECT_TRUE(m.IsPointInside(7, 1));
    m.SetPixel(7, 1, 0);
    EXPECT_FALSE(m.IsPointInside(7, 1));
    m.UpdateBoundingBox();
    ExpectBox(m, 3, 4, 3, 4);
    m.FreeBits();
    EXPECT_FALSE(m.IsPointInside(3, 4));
    EXPECT_EQ(m.Width, 0);
}

TEST(IEMask, FullFlagOnBothDepths) {
    for (int32_t bpp : {1, 8}) {
        SCOPED_TRACE(bpp);
        TIEMask m;
        m.Allocate(13, 3, bpp);
        m.Fill(255);
        EXPECT_TRUE(m.Full);
        m.UpdateFullFlag();
        EXPECT_TRUE(m.Full);
        m.SetPixel(12, 2, bpp == 1 ? 1 : 255);
        EXPECT_TRUE(m.Full);
        m.SetPixel(12, 2, bpp == 1 ? 0 : 254);
        EXPECT_FALSE(m.Full);
        m.UpdateFullFlag();
        EXPECT_FALSE(m.Full);
        m.SetPixel(12, 2, 255);
        m.UpdateFullFlag();
        EXPECT_TRUE(m.Full);
        m.Fill(0);
        EXPECT_FALSE(m.Full);
        m.Fill(255);
        m.Clear();
        EXPECT_FALSE(m.Full);
        EXPECT_TRUE(m.IsEmpty());
        EXPECT_EQ(CountSet(m), 0);
    }
}

TEST(IEMask, FillLineClampsAndCounts) {
    struct Case {
        int32_t bpp, value, x1, x2, row;
        int32_t result, setRow, set;   // pixels written; the row written and its set pixels
    };
    const Case cases[] = {
        {1, 1, 2, 5, 3, 4, 3, 4},
        {1, 1, -5, 100, 3, 10, 3, 10},
        {1, 1, 2, 5, -7, 4, 0, 4},     // above the mask: the first row
        {1, 1, 2, 5, 99, 4, 9, 4},     // below: the last row
        {1, 1, 6, 5, 3, 0, 3, 0},
        {1, 1, 12, 20, 3, 0, 3, 0},
        {8, 77, 0, 9, 5, 10, 5, 10},
        {8, 0, 0, 9, 5, 10, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpp << " " << c.x1 << ".." << c.x2 << " row " << c.row);
        TIEMask m;
        m.Allocate(10, 10, c.bpp);
        EXPECT_EQ(m.FillLine(c.value, c.x1, c.x2, c.row), c.result);
        EXPECT_EQ(CountSet(m), c.set);
        int32_t inRow = 0;
        for (int32_t x = 0; x < 10; ++x) inRow += m.GetPixel(x, c.setRow) != 0;
        EXPECT_EQ(inRow, c.set);
        EXPECT_TRUE(m.IsEmpty());
    }
    // On a 1-bit mask only the value 1 sets: 255 clears the span.
    TIEMask m;
    m.Allocate(10, 2, 1);
    m.Fill(255);
    EXPECT_EQ(m.FillLine(255, 0, 3, 0), 4);
    EXPECT_FALSE(m.Full);
    EXPECT_EQ(m.GetPixel(3, 0), 0);
    EXPECT_NE(m.GetPixel(4, 0), 0);
    // A mask without size writes nothing.
    TIEMask none;
    EXPECT_EQ(none.FillLine(1, 0, 5, 0), 0);
}

TEST(IEMask, Polygons) {
    struct Case {
        const char* name;
        std::vector<TIEMaskPoint> points;
        int32_t set;
        int32_t x1, y1, x2, y2;   // bounding box afterwards (x1 = empty for none)
    };
    const int32_t E = TIEMask::EmptyBox;
    const int32_t B = IEMaskPolygonBreak;
    const Case cases[] = {
        {"square", {{2, 2}, {6, 2}, {6, 6}, {2, 6}}, 16, 2, 2, 5, 5},
        {"triangle", {{0, 0}, {8, 0}, {0, 8}}, 36, 0, 0, 7, 7},
        {"two squares", {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {B, 0}, {5, 5}, {7, 5}, {7, 7}, {5, 7}}, 8, 0, 0, 6, 6},
        {"flat", {{1, 4}, {8, 4}, {3, 4}}, 0, E, E, 0, 0},
        {"left of the mask", {{-9, 1}, {-4, 1}, {-4, 6}, {-9, 6}}, 0, E, E, 0, 0},
        {"starts with a break", {{B, 0}}, 0, E, E, 0, 0},
        // Rows above the mask fill row 0 as well: a triangle narrowing upwards from row -4.
        {"above", {{4, -4}, {8, 2}, {0, 2}}, 0, 0, 0, 7, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TIEMask m;
        m.Allocate(10, 10, 1);
        // An earlier selection: polygons that write nothing leave the box empty all the same.
        if (c.x1 == E) m.SetPixel(9, 9, 1);
        m.FillPolygons(1, c.points.data(), (int32_t)c.points.size());
        EXPECT_EQ(m.X1, c.x1);
        EXPECT_EQ(m.Y1, c.y1);
        if (c.x1 != E) {
            EXPECT_EQ(m.X2, c.x2);
            EXPECT_EQ(m.Y2, c.y2);
        }
        if (std::string(c.name) == "square") {
            for (int32_t y = 0; y < 10; ++y)
                for (int32_t x = 0; x < 9; ++x)
                    EXPECT_EQ(m.GetPixel(x, y) != 0, x >= 2 && x <= 5 && y >= 2 && y <= 5) << x << "," << y;
        }
        if (c.set) {
            EXPECT_EQ(CountSet(m), c.set);
        }
    }
}

TEST(IEMask, PolygonAboveTheMaskFillsRowZero) {
    TIEMask m;
    m.Allocate(10, 10, 8);
    const TIEMaskPoint tall[] = {{2, -5}, {5, -5}, {5, 1}, {2, 1}};
    m.FillPolygons(255, tall, 4);
    for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(m.GetPixel(x, 0), (x >= 2 && x <= 4) ? 255 : 0);
    EXPECT_EQ(CountSet(m), 3);
}

TEST(IEMask, Translate) {
    for (int32_t bpp : {1, 8}) {
        SCOPED_TRACE(bpp);
        TIEMask m;
        m.Allocate(12, 8, bpp);
        for (int32_t x = 8; x < 12; ++x) m.SetPixel(x, 2, bpp == 1 ? 1 : 99);
        // Touching the right edge: the move is reduced to nothing.
        int32_t dx = 5, dy = 0;
        m.Translate(dx, dy, false);
        EXPECT_EQ(dx, 0);
        EXPECT_EQ(CountSet(m), 4);
        ExpectBox(m, 8, 2, 11, 2);
        // Left and down, reduced at the bottom edge.
        dx = -3;
        dy = 9;
        m.Translate(dx, dy, false);
        EXPECT_EQ(dx, -3);
        EXPECT_EQ(dy, 5);
        ExpectBox(m, 5, 7, 8, 7);
        EXPECT_EQ(CountSet(m), 4);
        EXPECT_EQ(m.GetPixel(5, 7), bpp == 1 ? 0x04 : 99);
        EXPECT_EQ(m.GetPixel(8, 2), 0);
        // With Cut the part leaving the mask is dropped.
        dx = -7;
        dy = 0;
        m.Translate(dx, dy, true);
        EXPECT_EQ(dx, -7);
        EXPECT_EQ(CountSet(m), 2);
        EXPECT_NE(m.GetPixel(0, 7), 0);
        EXPECT_NE(m.GetPixel(1, 7), 0);
        ExpectBox(m, 0, 7, 1, 7);
        // Entirely out: the mask clears.
        dx = 20;
        m.Translate(dx, dy, true);
        EXPECT_EQ(CountSet(m), 0);
    }
}

TEST(IEMask, ResizeKeepsTopLeft) {
    TIEMask m;
    m.Allocate(40, 6, 1);
    m.SetPixel(0, 0, 1);
    m.SetPixel(33, 5, 1);
    m.SetPixel(3, 2, 1);
    m.Resize(10, 3);
    EXPECT_EQ(m.RowLen, 4);
    EXPECT_NE(m.GetPixel(0, 0), 0);
    EXPECT_NE(m.GetPixel(3, 2), 0);
    EXPECT_EQ(CountSet(m), 2);
    ExpectBox(m, 0, 0, 9, 2);
    m.Resize(50, 9);
    EXPECT_NE(m.GetPixel(3, 2), 0);
    EXPECT_EQ(m.GetPixel(3, 8), 0);
    // A depth other than 1 is held as 8 bits, so that its pixels stay inside their rows.
    TIEMask odd;
    odd.Allocate(16, 2, 4);
    EXPECT_EQ(odd.BitsPerPixel, 8);
    odd.SetPixel(15, 1, 9);
    EXPECT_EQ(odd.GetPixel(15, 1), 9);
    TIEMask unbacked;
    unbacked.Allocate(4, 4, 8);
    unbacked.Resize(7, 5);
    EXPECT_FALSE(unbacked.HasBits());
    EXPECT_EQ(unbacked.RowLen, 8);
}

TEST(IEMask, RowsTooLongForTheirLengthGiveNoPixels) {
    // 8 bits a pixel on 2^29 + 1 pixels: the row length would wrap to 4 bytes.
    const int32_t wide = (1 << 29) + 1;
    TIEMask m;
    m.Allocate(wide, 2, 8);
    EXPECT_EQ(m.Width, 0);
    EXPECT_EQ(m.Height, 0);
    m.SetPixel(100, 0, 255);
    EXPECT_EQ(m.FillLine(255, 0, 1000, 1), 0);
    EXPECT_TRUE(m.IsEmpty());
    m.Allocate(10, 2, 8);
    m.SetPixel(1, 1, 255);
    m.Resize(wide, 2);
    EXPECT_EQ(m.Width, 0);
    m.SetPixel(100, 0, 255);
    // A view that wide gets no buffer and no outline.
    TIEMask v;
    v.Allocate(10, 1, 8);
    v.FillLine(255, 0, 9, 0);
    v.UpdateBoundingBox();
    v.ScaleToView(wide, 1, 0, 0, 10, 1);
    EXPECT_EQ(v.GetViewWidth(), 0);
    int32_t plotted = 0;
    v.OutlinePixels(0, 0, wide, 1, 0, 0, 10, 1, 0, nullptr, [&](int32_t, int32_t, bool) { ++plotted; });
    EXPECT_EQ(plotted, 0);
}

TEST(IEMask, PolygonsWithFarVerticesFillOnlyTheMaskRows) {
    const int32_t lo = INT32_MIN, hi = INT32_MAX;
    // A square around the whole mask, from the smallest to the largest coordinates.
    const TIEMaskPoint square[] = {{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}};
    // A triangle below the diagonal x = y of the plane: row y holds columns 0..y - 1.
    const TIEMaskPoint lower[] = {{lo, lo}, {hi, hi}, {lo, hi}};
    // The same slope from above the mask to below it, the other way round: row y holds y..9.
    const TIEMaskPoint upper[] = {{lo, lo}, {hi, lo}, {hi, hi}};
    for (int32_t bpp : {1, 8}) {
        SCOPED_TRACE(bpp);
        const int32_t value = bpp == 1 ? 1 : 255;
        TIEMask m;
        m.Allocate(10, 10, bpp);
        m.FillPolygons(value, square, 4);
        EXPECT_EQ(CountSet(m), 100);
        EXPECT_TRUE(m.Full);
        m.Clear();
        m.FillPolygons(value, lower, 3);
        for (int32_t y = 0; y < 10; ++y)
            for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(m.GetPixel(x, y) != 0, x < y) << x << "," << y;
        m.Clear();
        m.FillPolygons(value, upper, 3);
        for (int32_t y = 0; y < 10; ++y)
            for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(m.GetPixel(x, y) != 0, x >= y) << x << "," << y;
    }
    // Rows below the mask are not folded onto its last row.
    TIEMask b;
    b.Allocate(10, 10, 8);
    const TIEMaskPoint below[] = {{2, 9}, {4, 9}, {8, 20}, {0, 20}};
    b.FillPolygons(255, below, 4);
    for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(b.GetPixel(x, 9), (x >= 2 && x <= 3) ? 255 : 0) << x;
}

TEST(IEMask, CopyThroughMask) {
    TIEBitmap src(6, 4, ie24RGB), dst(6, 4, ie24RGB);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            src.SetPixelRGB(x, y, TIERGB{50, 100, 200});   // b, g, r
            dst.SetPixelRGB(x, y, TIERGB{250, 100, 0});
        }
    TIEMask m;
    m.Allocate(6, 4, 8);
    m.SetPixel(1, 1, 255);
    m.SetPixel(2, 1, 128);
    m.SetPixel(3, 2, 1);
    m.CopyThroughMask(&dst, &src, false, false, true);
    const TIERGB full = dst.GetPixelRGB(1, 1), half = dst.GetPixelRGB(2, 1);
    EXPECT_EQ(full.r, 199);   // d + floor((s - d) * 255 / 256)
    EXPECT_EQ(full.b, 50);
    EXPECT_EQ(half.r, 100);
    EXPECT_EQ(half.b, 150);
    EXPECT_EQ(dst.GetPixelRGB(2, 2).b, 250);   // in the box, unselected
    ASSERT_TRUE(dst.HasAlphaChannel());
    EXPECT_EQ(dst.GetAlpha(1, 1), 255);
    EXPECT_EQ(dst.GetAlpha(2, 1), 128);
    EXPECT_EQ(dst.GetAlpha(3, 2), 1);
    EXPECT_EQ(dst.GetAlpha(2, 2), 0);
    EXPECT_FALSE(dst.GetAlphaChannel()->GetFull());

    // 1-bit mask, cropped destination of the box's size; a source smaller than the box is
    // read only where it has pixels.
    TIEBitmap small(2, 2, ie8g), crop(3, 2, ie8g);
    small.SetPixelByte(0, 0, 11);
    small.SetPixelByte(1, 1, 22);
    TIEMask b;
    b.Allocate(6, 4, 1);
    b.SetPixel(1, 1, 1);
    b.SetPixel(2, 2, 1);
    b.SetPixel(3, 2, 1);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x) crop.SetPixelByte(x, y, 5);
    b.CopyThroughMask(&crop, &small, true, false, false);
    EXPECT_EQ(crop.GetPixelByte(0, 0), 22);   // mask (1, 1): source (1, 1), destination (0, 0)
    EXPECT_EQ(crop.GetPixelByte(1, 1), 5);    // mask (2, 2): the source has no such pixel
    EXPECT_EQ(crop.GetPixelByte(2, 1), 5);
}

TEST(IEMask, CopyIntoAnAlphaChannelLeavesItsMissingAlphaAlone) {
    // An alpha channel has no alpha channel of its own: its pixels are copied, nothing else.
    TIEBitmap src(4, 3, ie24RGB), dst(4, 3, ie24RGB);
    TIEBitmap* srcAlpha = src.GetAlphaChannel();
    TIEBitmap* dstAlpha = dst.GetAlphaChannel();
    srcAlpha->Fill(77);
    dstAlpha->Fill(5);
    TIEMask m;
    m.Allocate(4, 3, 1);
    m.SetPixel(1, 1, 1);
    m.SetPixel(2, 1, 1);
    ASSERT_EQ(dstAlpha->GetAlphaChannel(), nullptr);
    m.CopyAlphaThroughMask(dstAlpha, &src, false, false);
    EXPECT_EQ(dstAlpha->GetPixelByte(1, 1), 5);
    m.CopyThroughMask(dstAlpha, srcAlpha, false, false, true);
    EXPECT_EQ(dstAlpha->GetPixelByte(1, 1), 77);
    EXPECT_EQ(dstAlpha->GetPixelByte(2, 1), 77);
    EXPECT_EQ(dstAlpha->GetPixelByte(0, 1), 5);
}

TEST(IEMask, ScaleToViewAndShadeUnselected) {
    TIEMask m;
    m.Allocate(4, 4, 1);
    m.SetPixel(1, 1, 1);
    // Twice the size: mask pixel (1, 1) covers view pixels 2..3 of rows 2..3.
    m.ScaleToView(8, 8, 0, 0, 4, 4);
    for (int32_t r = 0; r < 8; ++r)
        for (int32_t c = 0; c < 8; ++c)
            EXPECT_EQ((m.GetViewRow(r)[c >> 3] >> (7 - (c & 7))) & 1, (r == 2 || r == 3) && (c == 2 || c == 3) ? 1 : 0)
                << c << "," << r;

    struct Case {
        int32_t opacity, yDst;
        TIERGB selected, unselectedEven, unselectedOdd;
    };
    const TIERGB grey{200, 200, 200}, shade{97, 97, 97};
    const Case cases[] = {
        {255, 0, grey, {10, 20, 30}, {10, 20, 30}},
        {-1, 0, grey, shade, grey},
        {0, 0, grey, grey, grey},
        // The view starts two rows above the bitmap: bitmap row 0 shows mask row 1.
        {255, -2, grey, {10, 20, 30}, {10, 20, 30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.opacity << " " << c.yDst);
        TIEBitmap view(8, 8, ie24RGB);
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 8; ++x) view.SetPixelRGB(x, y, grey);
        m.ShadeUnselected(&view, 0, c.yDst, 8, 8, 0, 0, 4, 4, c.opacity, TIERGB{10, 20, 30});
        const int32_t selRow = 2 + c.yDst;   // the view rows of mask row 1 in the bitmap
        for (int32_t y = 0; y < 8; ++y)
            for (int32_t x = 0; x < 8; ++x) {
                const bool sel = (y == selRow || y == selRow + 1) && (x == 2 || x == 3);
                const TIERGB want = sel ? c.selected : ((x + y) % 2 == 0 ? c.unselectedEven : c.unselectedOdd);
                const TIERGB got = view.GetPixelRGB(x, y);
                if (y >= 6 && c.yDst < 0) continue;   // below the rows that the mask reaches
                EXPECT_TRUE(got.r == want.r && got.g == want.g && got.b == want.b) << x << "," << y;
            }
    }
}
