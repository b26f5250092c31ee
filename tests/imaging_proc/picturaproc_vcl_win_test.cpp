// Raw copies of system bitmaps and the 1-bit to 24-bit expansion.
#include <gtest/gtest.h>

#include <cstring>

#include "picturaproc.h"
#include "picturaproc_vcl.h"

TEST(IECopyTBitmap, CopiesSizeFormatAndPixels) {
    TBitmap src;
    src.SetPixelFormat(pf8bit);
    src.SetSize(5, 3);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 5; ++x) ((uint8_t*)src.ScanLine(y))[x] = (uint8_t)(10 * y + x);
    auto copy = IECloneTBitmap(&src);
    ASSERT_EQ(copy->Width(), 5);
    ASSERT_EQ(copy->Height(), 3);
    EXPECT_EQ(copy->PixelFormat(), pf8bit);
    for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(std::memcmp(copy->ScanLine(y), src.ScanLine(y), 5), 0);
    TBitmap empty, dest;
    empty.SetPixelFormat(pf8bit);
    IECopyTBitmap(&empty, &dest);
    EXPECT_EQ(dest.Width(), 1);
    EXPECT_EQ(dest.PixelFormat(), pf8bit);
}

TEST(IEConvert1To24TBitmap, SetBitsWhiteWhateverThePalette) {
    IEBuild1To24Table();
    TBitmap src, dest;
    src.SetPixelFormat(pf1bit);
    src.SetSize(10, 2);
    const RGBQUAD red[2] = {{0, 0, 255, 0}, {0, 255, 0, 0}};
    src.SetColorTable(red, 2);
    for (int32_t y = 0; y < 2; ++y) {
        uint8_t* row = (uint8_t*)src.ScanLine(y);
        row[0] = 0x81;
        row[1] = 0x40;
    }
    int32_t last = -1;
    IEConvert1To24TBitmap(&src, &dest, [&](TObject*, int32_t pc) { last = pc; });
    ASSERT_EQ(dest.PixelFormat(), pf24bit);
    ASSERT_EQ(dest.Width(), 10);
    const uint8_t* row = (const uint8_t*)dest.ScanLine(1);
    EXPECT_EQ(row[0], 255);
    EXPECT_EQ(row[3], 0);
    EXPECT_EQ(row[7 * 3 + 2], 255);
    EXPECT_EQ(row[9 * 3], 255);   // pixel 9: the second bit of the last byte
    EXPECT_EQ(row[8 * 3], 0);
    EXPECT_EQ(last, 80);          // Trunc(100 / 2.5 x 2)
}
