// The video drawing service renders packed DIBs into a DIB-section bitmap.
#include <gtest/gtest.h>

#include <cstring>

#include "DibTestUtil.h"
#include "iedibbitmap.h"
#include "picturaproc_dib.h"

TEST(IEDrawDIBToDibbitmap, DrawsTwentyFourAndEightBitDIBs) {
    // 2 x 2, 24 bits, bottom-up: the first row in memory is the picture's bottom row.
    auto d = DibHeader(2, 2, 24, 0, 16);
    const uint8_t rows[16] = {10, 20, 30, 40, 50, 60, 0, 0, 70, 80, 90, 100, 110, 120, 0, 0};
    std::memcpy(&d[40], rows, 16);
    TIEDibbitmap dest;
    EXPECT_EQ(IEDrawDIBToDibbitmap(d.data(), &dest, nullptr, true), 24);
    ASSERT_EQ(dest.GetWidth(), 2);
    ASSERT_EQ(dest.GetBitCount(), 24);
    EXPECT_EQ(dest.GetScanline(0)[0], 70);   // top row
    EXPECT_EQ(dest.GetScanline(1)[5], 60);

    // 8 bits with a two-entry table, drawn as 24 bits through the table.
    auto p = DibHeader(1, 1, 8, 0, 8 + 4);
    const uint32_t used = 2;
    std::memcpy(&p[32], &used, 4);
    const uint8_t table[8] = {0, 0, 0, 0, 255, 128, 0, 0};
    std::memcpy(&p[40], table, 8);
    p[48] = 1;
    EXPECT_EQ(IEDrawDIBToDibbitmap(p.data(), &dest, nullptr, true), 8);
    ASSERT_EQ(dest.GetBitCount(), 24);
    EXPECT_EQ(dest.GetScanline(0)[0], 255);
    EXPECT_EQ(dest.GetScanline(0)[1], 128);
    EXPECT_EQ(IEDrawDIBToDibbitmap(nullptr, &dest, nullptr, true), 0);
}
