// Pixel and row routines: bit copies against the one-bit-at-a-time copy, row conversions, HSL,
// bitmap comparison, the 3 x 3 convolution and the unit's set-up tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "iebitmap.h"
#include "imaging/proc/iequantizer.h"
#include "picturaproc.h"
#include "picturaproc_pixels.h"

TEST(IECopyBits, KeepsTheBitsAroundTheRun) {
    const uint8_t src[1] = {0xA0};   // bits 1, 0, 1
    uint8_t dst[1] = {0xFF};
    IECopyBits(dst, src, 2, 0, 3, 1);
    EXPECT_EQ(dst[0], 0xEF);   // only position 3 clear
    IECopyBits(dst, src, -1, 0, 3, 1);
    IECopyBits(dst, src, 0, 0, 0, 1);
    EXPECT_EQ(dst[0], 0xEF);   // negative position and empty run: nothing
}

TEST(IECopyBits, MatchesTheBitByBitCopyAndReadsNoFurtherThanTheSource) {
    std::mt19937 rng(17);
    for (int32_t round = 0; round < 2000; ++round) {
        const int32_t srcLen = 1 + (int32_t)(rng() % 12);
        const int32_t srcPos = (int32_t)(rng() % (srcLen * 8));
        const int32_t count = 1 + (int32_t)(rng() % (srcLen * 8 - srcPos));
        const int32_t dstPos = (int32_t)(rng() % 24);
        // Exactly the source bytes: the sanitizers see any read past them.
        std::vector<uint8_t> src((size_t)srcLen);
        for (auto& b : src) b = (uint8_t)rng();
        std::vector<uint8_t> a((size_t)(dstPos + count + 7) / 8), b;
        for (auto& v : a) v = (uint8_t)rng();
        b = a;
        IECopyBits(a.data(), src.data(), dstPos, srcPos, count, srcLen);
        IECopyBitsOneByOne(b.data(), src.data(), dstPos, srcPos, count, 0);
        ASSERT_EQ(a, b) << "src " << srcPos << " dst " << dstPos << " count " << count;
    }
}

TEST(IEBits, GetSetAndNot) {
    uint8_t buf[2] = {0, 0};
    IESetBit(buf, 0, true);
    IESetBit(buf, 9, true);
    EXPECT_EQ(buf[0], 0x80);
    EXPECT_EQ(buf[1], 0x40);
    EXPECT_NE(IEGetBit(buf, 9), 0);
    EXPECT_EQ(IEGetBit(buf, 8), 0);
    IESetBit(buf, 0, false);
    IENotBuffer(buf, 2);
    EXPECT_EQ(buf[0], 0xFF);
    EXPECT_EQ(buf[1], 0xBF);
}

TEST(IESwapRB, SwapsFirstAndThirdChannel) {
    uint8_t px[6] = {1, 2, 3, 4, 5, 6}, out[6];
    IECopySwapRB(out, px, 2);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    IESwapRB(px, 2);
    EXPECT_EQ(std::memcmp(px, out, 6), 0);
    uint16_t w[3] = {1, 2, 3};
    IESwapRB48(w, 1);
    EXPECT_EQ(w[0], 3);
    EXPECT_EQ(w[2], 1);
}

TEST(IEConvertPixelRow, ConvertsBetweenDepths) {
    const TIERGB pal[2] = {{1, 2, 3}, {4, 5, 6}};
    {
        const uint8_t src[10] = {1, 0, 1, 1, 0, 0, 0, 1, 1, 0};
        uint8_t dst[2] = {0xFF, 0xFF};
        EXPECT_EQ(IEConvertPixelRow(src, dst, 8, 1, 10, pal, 2, nullptr), 2);
        EXPECT_EQ(dst[0], 0xB1);
        EXPECT_EQ(dst[1], 0x80);
    }
    {
        const uint8_t src[1] = {0x40};   // pixels 0, 1
        uint8_t dst[6];
        EXPECT_EQ(IEConvertPixelRow(src, dst, 1, 24, 2, pal, 2, nullptr), 6);
        EXPECT_EQ(std::vector<uint8_t>(dst, dst + 6), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    }
    {
        // Five 4-bit pixels: the odd width takes the high nibble of the last byte; index 2 is
        // past the two-entry palette and gives black.
        const uint8_t src[3] = {0x01, 0x10, 0x2F};
        uint8_t dst[15];
        EXPECT_EQ(IEConvertPixelRow(src, dst, 4, 24, 5, pal, 2, nullptr), 15);
        EXPECT_EQ(std::vector<uint8_t>(dst, dst + 15),
                  (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 4, 5, 6, 1, 2, 3, 0, 0, 0}));
        uint8_t bytes[5];
        EXPECT_EQ(IEConvertPixelRow(src, bytes, 4, 8, 5, nullptr, 0, nullptr), 5);
        EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 5), (std::vector<uint8_t>{0, 1, 1, 0, 2}));
    }
    {
        const uint8_t src[1] = {0xA0};
        uint8_t dst[2] = {0, 0};
        EXPECT_EQ(IEConvertPixelRow(src, dst, 1, 4, 3, nullptr, 0, nullptr), 2);
        EXPECT_EQ(dst[0], 0x10);
        EXPECT_EQ(dst[1], 0x10);
    }
    {
        const uint8_t src[8] = {1, 2, 3, 9, 4, 5, 6, 9};
        uint8_t dst[6];
        EXPECT_EQ(IEConvertPixelRow(src, dst, 32, 24, 2, nullptr, 0, nullptr), 6);
        EXPECT_EQ(std::vector<uint8_t>(dst, dst + 6), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    }
    {
        uint8_t src[2] = {7, 7}, dst[2] = {9, 9};
        EXPECT_EQ(IEConvertPixelRow(src, dst, 16, 8, 2, nullptr, 0, nullptr), 2);   // not a pair it converts
        EXPECT_EQ(dst[0], 9);
        EXPECT_EQ(IEConvertPixelRow(src, dst, 8, 16, 2, nullptr, 0, nullptr), 0);
    }
}

TEST(IEConvertPixelRow, TwentyFourBitsToIndicesThroughTheQuantizer) {
    // Three colours: the quantizer keeps the exact list, so each index names its own colour.
    TIEBitmap image(3, 1, ie24RGB);
    const TIERGB src[3] = {{0, 0, 0x10}, {0, 0, 0xF0}, {0, 0, 0x30}};
    for (int32_t x = 0; x < 3; ++x) image.SetPixelRGB(x, 0, src[x]);
    TIERGB palette[16] = {};
    TIEQuantizer quantizer(&image, palette, 0, 16);
    uint8_t bytes[3] = {99, 99, 99};
    EXPECT_EQ(IEConvertPixelRow(src, bytes, 24, 8, 3, nullptr, 0, &quantizer), 3);
    uint8_t nibbles[2] = {0, 0};
    EXPECT_EQ(IEConvertPixelRow(src, nibbles, 24, 4, 3, nullptr, 0, &quantizer), 2);
    for (int32_t x = 0; x < 3; ++x) {
        ASSERT_LT(bytes[x], 16);
        EXPECT_EQ(palette[bytes[x]].r, src[x].r);
        EXPECT_EQ((nibbles[x >> 1] >> ((x & 1) ? 0 : 4)) & 15, bytes[x]);
    }
    EXPECT_NE(bytes[0], bytes[1]);
    // Without a quantizer nothing is written and no bytes are reported.
    uint8_t untouched[3] = {9, 9, 9};
    EXPECT_EQ(IEConvertPixelRow(src, untouched, 24, 8, 3, nullptr, 0, nullptr), 0);
    EXPECT_EQ(IEConvertPixelRow(src, untouched, 24, 4, 3, nullptr, 0, nullptr), 0);
    EXPECT_EQ(untouched[0], 9);
}

TEST(IEConvertPixelRow, OverlappingSourceAndDestination) {
    // Each conversion in place (Source == Dest) and into the same buffer shifted by one byte either
    // way gives what a conversion between separate buffers gives.
    const TIERGB pal[4] = {{10, 11, 12}, {20, 21, 22}, {30, 31, 32}, {40, 41, 42}};
    struct TCase {
        uint16_t from, to;
        std::vector<uint8_t> row;
    };
    const TCase cases[] = {
        {8, 24, {0, 1, 2, 3, 1, 0}},   {4, 24, {0x01, 0x23, 0x10}}, {1, 24, {0xA5}},
        {1, 8, {0xA5, 0x80}},          {4, 8, {0x12, 0x30, 0x21}},  {32, 24, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {8, 1, {1, 0, 1, 1, 0, 0, 0, 1, 1}}, {24, 24, {1, 2, 3, 4, 5, 6}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.from) + " to " + std::to_string(c.to));
        const uint16_t width = (uint16_t)(c.row.size() * 8 / c.from);
        std::vector<uint8_t> expected(64, 0);
        const int32_t len = IEConvertPixelRow(c.row.data(), expected.data(), c.from, c.to, width, pal, 4, nullptr);
        ASSERT_GT(len, 0);
        for (int32_t sourceAt : {1, 0, 2}) {
            std::vector<uint8_t> buffer(64, 0);
            std::memcpy(buffer.data() + sourceAt, c.row.data(), c.row.size());
            EXPECT_EQ(IEConvertPixelRow(buffer.data() + sourceAt, buffer.data() + 1, c.from, c.to, width, pal, 4,
                                        nullptr),
                      len);
            EXPECT_EQ(std::vector<uint8_t>(buffer.begin() + 1, buffer.begin() + 1 + len),
                      std::vector<uint8_t>(expected.begin(), expected.begin() + len))
                << "source at " << sourceAt;
        }
    }
}

TEST(IENotBitmap, InvertsWholeRows) {
    TIEBitmap bmp(3, 2, ie8g);   // rows of 4 bytes: 3 pixels and a padding byte
    for (int32_t y = 0; y < 2; ++y) std::memset(bmp.GetScanline(y), 0x0F, (size_t)bmp.GetRowLen());
    IENotBitmap(&bmp);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t i = 0; i < bmp.GetRowLen(); ++i) EXPECT_EQ(bmp.GetScanline(y)[i], 0xF0);
}

TEST(IEHSL, HandComputedValuesAndRoundTrip) {
    double h, s, l;
    IERGBToHSL(TIERGB{128, 128, 128}, h, s, l);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(s, 0);
    EXPECT_DOUBLE_EQ(l, 128 / 255.0);
    TIERGB c{};
    IEHSLToRGB(c, 0, 1, 0.5);
    EXPECT_EQ(c.r, 255);
    EXPECT_EQ(c.g, 0);
    EXPECT_EQ(c.b, 0);
    IEHSLToRGB(c, 1.0 / 3 - 1, 1, 0.5);   // a hue below 0 wraps once: green
    EXPECT_EQ(c.g, 255);
    EXPECT_EQ(c.r, 0);
    const TIERGB samples[] = {{0, 0, 0}, {255, 255, 255}, {10, 200, 30}, {250, 3, 128}, {7, 8, 9}, {255, 0, 128}};
    for (const TIERGB& in : samples) {
        IERGBToHSL(in, h, s, l);
        EXPECT_TRUE(h >= 0 && h <= 1 && s >= 0 && s <= 1 && l >= 0 && l <= 1);
        TIERGB out{};
        IEHSLToRGB(out, h, s, l);
        EXPECT_EQ(std::memcmp(&in, &out, 3), 0) << int(in.r) << "," << int(in.g) << "," << int(in.b);
    }
}

TEST(IEBitmapsEqual, ComparesSizePixelsAndAlpha) {
    TIEBitmap a(3, 2, ie24RGB), b(3, 2, ie24RGB);
    for (int32_t y = 0; y < 2; ++y) {
        std::memset(a.GetScanline(y), y, (size_t)a.GetRowLen());
        std::memset(b.GetScanline(y), y, (size_t)b.GetRowLen());
    }
    EXPECT_TRUE(IEBitmapsEqual(&a, &b));
    b.SetPixelRGB(2, 1, TIERGB{9, 9, 9});
    EXPECT_FALSE(IEBitmapsEqual(&a, &b));
    b.SetPixelRGB(2, 1, a.GetPixelRGB(2, 1));
    a.GetAlphaChannel();
    EXPECT_FALSE(IEBitmapsEqual(&a, &b));   // only one has an alpha channel
    b.GetAlphaChannel();
    EXPECT_TRUE(IEBitmapsEqual(&a, &b));
    b.SetAlpha(0, 0, 3);
    EXPECT_FALSE(IEBitmapsEqual(&a, &b));
    TIEBitmap g(3, 2, ie8g);
    EXPECT_FALSE(IEBitmapsEqual(&a, &g));
}

TEST(IEConvolve3x3Gray8, PresetFiltersOnADot) {
    IEInitializePicturaProc();
    ASSERT_EQ(IEPresetFilters.size(), 9u);
    ASSERT_EQ(IEPresetFilterNames[1], L"Blur");
    TIEBitmap bmp(5, 5, ie8g);
    auto reset = [&] {
        for (int32_t y = 0; y < 5; ++y) std::memset(bmp.GetScanline(y), 0, (size_t)bmp.GetRowLen());
        bmp.SetPixelByte(2, 2, 255);
    };
    reset();
    IEConvolve3x3Gray8(&bmp, IEPresetFilters[0], 0, 0, 5, 5);   // "None"
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(bmp.GetPixelByte(x, y), (x == 2 && y == 2) ? 255 : 0);
    IEConvolve3x3Gray8(&bmp, IEPresetFilters[1], 0, 0, 99, 99);   // "Blur", rectangle cut to the image
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 5; ++x)
            EXPECT_EQ(bmp.GetPixelByte(x, y), (std::abs(x - 2) <= 1 && std::abs(y - 2) <= 1) ? 28 : 0);
    reset();
    IEConvolve3x3Gray8(&bmp, IEPresetFilters[2], 2, 2, 4, 3);   // "Edges" on two pixels only
    EXPECT_EQ(bmp.GetPixelByte(2, 2), 255);   // |-8 x 255| cut to 255
    EXPECT_EQ(bmp.GetPixelByte(3, 2), 255);
    EXPECT_EQ(bmp.GetPixelByte(1, 2), 0);     // outside the rectangle
    // Edge pixels repeat outwards: a constant image stays constant under "Low Pass 2".
    TIEBitmap flat(1, 3, ie8g);
    for (int32_t y = 0; y < 3; ++y) flat.SetPixelByte(0, y, 77);
    IEConvolve3x3Gray8(&flat, IEPresetFilters[8], 0, 0, 1, 3);
    for (int32_t y = 0; y < 3; ++y) EXPECT_EQ(flat.GetPixelByte(0, y), 77);
    IEFinalizePicturaProc();
    EXPECT_TRUE(IEPresetFilters.empty());
}

// Coefficients of any 32-bit size: the weighted sums are taken in 64 bits before the division.
TEST(IEConvolve3x3Gray8, LargeCoefficientsDoNotWrap) {
    TIEBitmap bmp(3, 3, ie8g);
    for (int32_t y = 0; y < 3; ++y) std::memset(bmp.GetScanline(y), 255, (size_t)bmp.GetRowLen());
    // 9 x 10,000,000 x 255 / 100,000,000 = 229.5; the same negated gives its magnitude.
    for (int32_t k : {10000000, -10000000, 2147483647}) {
        for (int32_t y = 0; y < 3; ++y) std::memset(bmp.GetScanline(y), 255, (size_t)bmp.GetRowLen());
        TIEFilterRecord f{{{k, k, k}, {k, k, k}, {k, k, k}}, 100000000};
        IEConvolve3x3Gray8(&bmp, f, 0, 0, 3, 3);
        EXPECT_EQ(bmp.GetPixelByte(1, 1), k == 2147483647 ? 255 : 229) << k;
    }
}

TEST(IE1To24Table, ExpandsEachBitToAWhiteOrBlackPixel) {
    IEBuild1To24Table();
    for (int32_t bit = 0; bit < 8; ++bit) {
        EXPECT_EQ(IE1To24Table[0x81][bit * 3], (bit == 0 || bit == 7) ? 255 : 0);
        EXPECT_EQ(IE1To24Table[0x81][bit * 3 + 2], (bit == 0 || bit == 7) ? 255 : 0);
    }
}
