// The DIB bitmap's rows, header, allocation refusals and copies, and the work bitmap.
#include <gtest/gtest.h>

#include <cstring>

#include "iedibbitmap.h"

namespace {

void FillRows(uint8_t* Bits, int32_t RowLen, int32_t Height, uint8_t Seed) {
    for (int32_t i = 0; i < RowLen * Height; ++i) Bits[i] = static_cast<uint8_t>(Seed + i * 7);
}

}  // namespace

TEST(IEDibbitmap, AllocatesBottomUpRowsAndDescribesThemInTheHeader) {
    struct Case {
        int32_t w, h;
        TIEPixelFormat format;
        int32_t bitCount, rowLen;
    };
    const Case cases[] = {{3, 2, ie24RGB, 24, 12}, {9, 3, ie1g, 1, 4}, {33, 1, ie1g, 1, 8},
                          {1, 1, ie24RGB, 24, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.w);
        TIEDibbitmap d;
        ASSERT_TRUE(d.Allocate(c.w, c.h, c.format));
        EXPECT_EQ(d.GetWidth(), c.w);
        EXPECT_EQ(d.GetHeight(), c.h);
        EXPECT_EQ(d.GetBitCount(), c.bitCount);
        EXPECT_EQ(d.GetPixelFormat(), c.format);
        EXPECT_EQ(d.GetRowLen(), c.rowLen);
        // The last image row is first in memory; every byte of every row is writable.
        EXPECT_EQ(d.GetScanline(c.h - 1), d.GetBits());
        EXPECT_EQ(d.GetScanline(0), d.GetBits() + c.rowLen * (c.h - 1));
        FillRows(d.GetBits(), c.rowLen, c.h, 1);
        const TIEDibInfo& info = d.GetInfo();
        EXPECT_EQ(info.biSize, 40u);
        EXPECT_EQ(info.biPlanes, 1);
        EXPECT_EQ(info.biCompression, 0u);
        EXPECT_EQ(info.biWidth, c.w);
        EXPECT_EQ(info.biHeight, c.h);
        EXPECT_EQ(info.biBitCount, c.bitCount);
        EXPECT_EQ(info.biSizeImage, static_cast<uint32_t>(c.rowLen * c.h));
        const uint8_t black[4] = {0, 0, 0, 0}, white[4] = {255, 255, 255, 0};
        EXPECT_EQ(std::memcmp(info.Colors[0], black, 4), 0);
        EXPECT_EQ(std::memcmp(info.Colors[1], white, 4), 0);
        // No palette of its own.
        EXPECT_EQ(d.GetPalette(), nullptr);
        EXPECT_EQ(d.GetPaletteLength(), 0);
        d.SetPaletteEntry(1, TIERGB{1, 2, 3});
        const TIERGB entry = d.GetPaletteEntry(1);
        EXPECT_EQ(entry.r + entry.g + entry.b, 0);
    }
}

TEST(IEDibbitmap, RefusedAllocationsKeepTheCurrentSection) {
    TIEDibbitmap d;
    ASSERT_TRUE(d.Allocate(4, 3, ie24RGB));
    FillRows(d.GetBits(), d.GetRowLen(), 3, 5);
    uint8_t* bits = d.GetBits();
    void* section = d.GetSection();
    // Other formats, empty or negative sides, depths whose colour table the header cannot hold,
    // and an image past 2 GiB.
    EXPECT_FALSE(d.Allocate(4, 3, ie8g));
    EXPECT_FALSE(d.Allocate(4, 3, ie32RGB));
    EXPECT_FALSE(d.AllocateDIB(0, 5, 24));
    EXPECT_FALSE(d.AllocateDIB(5, 0, 1));
    EXPECT_FALSE(d.AllocateDIB(-5, 2, 24));
    EXPECT_FALSE(d.AllocateDIB(5, -2, 24));
    EXPECT_FALSE(d.AllocateDIB(4, 4, 8));
    EXPECT_FALSE(d.AllocateDIB(4, 4, 4));
    EXPECT_FALSE(d.AllocateDIB(INT32_MAX, 1, 24));
    EXPECT_FALSE(d.AllocateDIB(40000, 40000, 24));
    EXPECT_EQ(d.GetBits(), bits);
    EXPECT_EQ(d.GetSection(), section);
    EXPECT_EQ(d.GetWidth(), 4);
    EXPECT_EQ(d.GetHeight(), 3);
    EXPECT_EQ(d.GetBitCount(), 24);
    EXPECT_EQ(d.GetInfo().biHeight, 3);
    EXPECT_EQ(bits[0], 5);

    d.FreeDIB();
    EXPECT_EQ(d.GetBits(), nullptr);
    EXPECT_EQ(d.GetDC(), nullptr);
    EXPECT_EQ(d.GetSection(), nullptr);
    EXPECT_EQ(d.GetWidth() + d.GetHeight() + d.GetBitCount() + d.GetRowLen(), 0);
    EXPECT_EQ(d.GetPixelFormat(), ieNoFormat);
    EXPECT_EQ(d.GetScanline(0), nullptr);
    d.FreeDIB();   // twice is harmless
}

TEST(IEDibbitmap, AssignCopiesAnotherDibOnly) {
    TIEDibbitmap src;
    ASSERT_TRUE(src.Allocate(5, 3, ie1g));
    FillRows(src.GetBits(), src.GetRowLen(), 3, 9);
    TIEDibbitmap dst;
    ASSERT_TRUE(dst.Allocate(7, 2, ie24RGB));
    dst.Assign(&src);
    ASSERT_NE(dst.GetBits(), nullptr);
    EXPECT_NE(dst.GetBits(), src.GetBits());
    EXPECT_EQ(dst.GetWidth(), 5);
    EXPECT_EQ(dst.GetHeight(), 3);
    EXPECT_EQ(dst.GetBitCount(), 1);
    EXPECT_EQ(dst.GetRowLen(), src.GetRowLen());
    EXPECT_EQ(std::memcmp(dst.GetBits(), src.GetBits(), src.GetRowLen() * 3), 0);

    // An empty source, one of another class, null and itself change nothing.
    uint8_t* bits = dst.GetBits();
    TIEDibbitmap empty;
    TIEBitmap other;
    ASSERT_TRUE(other.Allocate(2, 2, ie24RGB));
    dst.Assign(&empty);
    dst.Assign(&other);
    dst.Assign(nullptr);
    dst.Assign(&dst);
    EXPECT_EQ(dst.GetBits(), bits);
    EXPECT_EQ(dst.GetWidth(), 5);
    EXPECT_EQ(std::memcmp(dst.GetBits(), src.GetBits(), src.GetRowLen() * 3), 0);
}

TEST(IEWorkBitmap, AllocatesRowsAndKeepsThemForTheSameShape) {
    TIEWorkBitmap w(5, 3, 24);
    EXPECT_EQ(w.GetRowLen(), 16);
    ASSERT_NE(w.GetBits(), nullptr);
    EXPECT_EQ(w.GetScanline(2), w.GetBits());
    EXPECT_EQ(w.GetScanline(0), w.GetBits() + 32);
    FillRows(w.GetBits(), 16, 3, 2);
    uint8_t* bits = w.GetBits();
    w.Allocate(5, 3, 24);
    EXPECT_EQ(w.GetBits(), bits);
    EXPECT_EQ(bits[0], 2);
    w.Allocate(100, 2, 1);
    EXPECT_EQ(w.GetRowLen(), 16);
    EXPECT_EQ(w.GetBitsPerPixel(), 1);
    ASSERT_NE(w.GetBits(), nullptr);
    FillRows(w.GetBits(), 16, 2, 3);

    // No rows for empty shapes nor for one past 4 GiB (whose 32-bit size would wrap small).
    struct Case {
        int32_t w, h, bpp;
    };
    const Case none[] = {{0, 3, 24}, {3, 0, 24}, {-4, 3, 24}, {3, -4, 24}, {3, 3, 0},
                         {100000, 100000, 32}, {INT32_MAX, 2, 32}};
    for (const Case& c : none) {
        SCOPED_TRACE(c.w);
        w.Allocate(c.w, c.h, c.bpp);
        EXPECT_EQ(w.GetBits(), nullptr);
        EXPECT_EQ(w.GetScanline(0), nullptr);
    }
    TIEWorkBitmap empty(0, 7, 24);
    EXPECT_EQ(empty.GetBits(), nullptr);
    EXPECT_EQ(empty.GetHeight(), 0);
    w.Allocate(2, 2, 8);
    w.FreeBits();
    EXPECT_EQ(w.GetBits(), nullptr);
    EXPECT_EQ(w.GetWidth() + w.GetHeight() + w.GetBitsPerPixel() + w.GetRowLen(), 0);
}
