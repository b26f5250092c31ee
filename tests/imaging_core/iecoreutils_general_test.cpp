// General helpers: rounding at the fraction boundaries, row lengths per alignment, mask and
// palette bit counts, the power function and the hash set.
#include <gtest/gtest.h>

#include <cmath>

#include "iecoreutils_general.h"

TEST(IEGeneral, CeilFloorAndClamp) {
    struct { long double x; int32_t ceil, floor; } cases[] = {
        {2.0L, 2, 2}, {-2.5L, -2, -3}, {2.5L, 3, 2}, {-0.0L, 0, 0}, {0.1L, 1, 0}, {-2147483648.0L, INT32_MIN, INT32_MIN},
        {NAN, 0, 0}, {1e30L, 0, 0},   // outside the 64-bit range: defined, not undefined
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IECeil(c.x), c.ceil) << (double)c.x;
        EXPECT_EQ(IEFloor(c.x), c.floor) << (double)c.x;
    }
    EXPECT_EQ(IEClamp(5, 5, 3), 5);   // the low bound wins when reached first
    EXPECT_EQ(IEClamp(4, 1, 3), 3);
    EXPECT_EQ(IEClamp(2, 1, 3), 2);
    EXPECT_EQ(IEClampByte(-1), 0);
    EXPECT_EQ(IEClampByte(256), 255);
    EXPECT_EQ(IEMinDouble(-0.0, 0.0), 0.0);
    EXPECT_TRUE(std::signbit(IEMaxDouble(0.0, -0.0)));   // equal values give B
    int32_t x1 = 5, y1 = 1, x2 = 2, y2 = 7;
    IEOrderCorners(x1, y1, x2, y2);
    EXPECT_EQ(x1, 2);
    EXPECT_EQ(x2, 5);
    EXPECT_EQ(y1, 1);
    EXPECT_EQ(y2, 7);
}

TEST(IEGeneral, PowerIntegralAndFractionalExponents) {
    EXPECT_EQ(IEPower(0, -3), 0);
    EXPECT_EQ(IEPower(0, 0), 1);
    EXPECT_EQ(IEPower(2, 10), 1024);
    EXPECT_EQ(IEPower(2, -3), 0.125L);
    EXPECT_EQ(IEPower(-3, 3), -27);
    EXPECT_EQ(IEPower(1.5, 2), 2.25L);
    EXPECT_NEAR((double)IEPower(2, 0.5), std::sqrt(2.0), 1e-15);
    EXPECT_EQ(IEPower(0, 0.5), 0);
    EXPECT_TRUE(std::isnan((double)IEPower(-2, 0.5)));
    EXPECT_TRUE(std::isinf((double)IEPower(10, 3e9)));   // beyond the integer road: through log2
}

TEST(IEGeneral, PixelValuesAndGrey) {
    EXPECT_EQ(IERGBToGray(IECreateRGB(255, 0, 0)), 53);
    EXPECT_EQ(IERGBToGray(IECreateRGB(0, 255, 0)), 181);
    EXPECT_EQ(IERGBToGray(IECreateRGB(0, 0, 255)), 20);
    EXPECT_EQ(IECreateRGBA(1, 2, 3, 4), 0x04030201u);
    const TIERGB c = IECreateRGB(0x11, 0x22, 0x33);
    EXPECT_EQ(IERGBToColor(c), 0x332211);
    EXPECT_TRUE(IESameRGB(IEColorToRGB(0x332211), c));
    EXPECT_EQ(IEColorToARGB(0x332211, 0x80), 0x80112233u);
}

TEST(IEGeneral, ByteAndBitOrder) {
    EXPECT_EQ(IESwapWord(0x1234), 0x3412);
    EXPECT_EQ(IESwapDWord(0x12345678u), 0x78563412u);
    EXPECT_EQ(IESwapWordIf(0x1234, false), 0x1234);
    EXPECT_EQ(IESwapDWordIf(0x12345678u, true), 0x78563412u);
    uint8_t words[7] = {1, 2, 3, 4, 5, 6, 9};
    IESwapWordArray(words + 1, 3);   // unaligned
    EXPECT_EQ(std::vector<uint8_t>(words, words + 7), (std::vector<uint8_t>{1, 3, 2, 5, 4, 9, 6}));
    IESwapWordArray(words, -1);
    uint8_t b = 0x01;
    IEReverseBitsByte(b);
    EXPECT_EQ(b, 0x80);
    b = 0xC4;
    IEReverseBitsByte(b);
    EXPECT_EQ(b, 0x23);
    uint32_t d = 0x00000001u;
    IEReverseBitsDWord(d);
    EXPECT_EQ(d, 0x80000000u);
    d = 0x12345678u;
    IEReverseBitsDWord(d);
    EXPECT_EQ(d, 0x1E6A2C48u);
}

TEST(IEGeneral, RowLengthsMasksAndColourCounts) {
    struct { int32_t w, bpp, align, len; } rows[] = {
        {3, 1, 32, 4}, {3, 24, 8, 9}, {3, 24, 16, 10}, {3, 24, 32, 12}, {0, 24, 32, 0},
        {1, 48, 32, 8}, {10000000, 48, 32, 60000000},
        {0x40000000, 8, 32, 0},   // the product wraps at 32 bits
        {5, 1, 0, 0},             // no alignment: no row rather than a division by zero
    };
    for (const auto& r : rows) EXPECT_EQ(IEBitmapRowLen(r.w, r.bpp, r.align), r.len) << r.w << " " << r.bpp << " " << r.align;
    struct { int32_t mask, bits; } masks[] = {
        {0x00F8, 5}, {(int32_t)0xFF000000, 8}, {-1, 32}, {0, 0}, {(int32_t)0x80000000, 1}, {0x7C00, 5}, {0x0505, 1},
    };
    for (const auto& m : masks) EXPECT_EQ(IEMaskBitCount(m.mask), m.bits) << std::hex << m.mask;
    struct { int32_t count, bits; } colours[] = {{256, 8}, {255, 8}, {1, 0}, {0, -1}, {2, 1}, {3, 2}, {16, 4}, {17, 5}};
    for (const auto& c : colours) EXPECT_EQ(IEBitsForColors(c.count), c.bits) << c.count;
    EXPECT_EQ(IEColorCount(8, 3), 16777216);
    EXPECT_EQ(IEColorCount(1, 1), 2);
    EXPECT_EQ(IEColorCount(8, 0), 1);
    EXPECT_EQ(IEColorCount(16, 2), 0);    // 2^32 wraps to 0
    EXPECT_EQ(IEColorCount(33, 1), 2);    // shift count modulo 32
}

TEST(IEGeneral, HashSetKeepsEachKeyOnce) {
    THash1 set(4);
    EXPECT_EQ(set.GetBucketCount(), 16u);
    EXPECT_TRUE(set.Insert(7));
    EXPECT_FALSE(set.Insert(7));
    EXPECT_EQ(set.GetCount(), 1);
    // Keys that differ only above the bucket bits share bucket 7 and are all kept.
    EXPECT_TRUE(set.Insert(7 + 16));
    EXPECT_TRUE(set.Insert(7 + 32));
    EXPECT_TRUE(set.Insert(-9));   // also bucket 7
    EXPECT_FALSE(set.Insert(7));
    EXPECT_FALSE(set.Insert(7 + 32));
    EXPECT_FALSE(set.Insert(-9));
    EXPECT_EQ(set.GetCount(), 4);

    THash1 colours(13);
    int32_t added = 0;
    for (int32_t i = 0; i < 20000; ++i) added += colours.Insert(i * 7919 % 10007) ? 1 : 0;
    EXPECT_EQ(added, 10007);
    EXPECT_EQ(colours.GetCount(), 10007);
}
