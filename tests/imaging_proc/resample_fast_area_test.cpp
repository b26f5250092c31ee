// Fast linear, 1-bit and projection resampling, and the area walk: hand-computed values.
#include <gtest/gtest.h>

#include <cstring>

#include "picturaproc_resample.h"
#include "resample_test_util.h"

using namespace resampletest;

namespace {

std::unique_ptr<TIEBitmap> Gray(int32_t W, int32_t H, std::vector<uint8_t> Values) {
    return MakeBitmap(W, H, ie8g, [&](int32_t x, int32_t y, uint8_t* p) { *p = Values[(size_t)(y * W + x)]; });
}

std::unique_ptr<TIEBitmap> Checkerboard4() {
    return MakeBitmap(4, 4, ie1g, [](int32_t x, int32_t y, uint8_t* p) { *p = (x + y) % 2 == 0; });
}

// Every third byte of a 24-bit gray result.
std::vector<uint8_t> GrayOf24(TIEBitmap* Bmp) {
    std::vector<uint8_t> out;
    const auto px = Pixels(Bmp);
    for (size_t i = 0; i < px.size(); i += 3) {
        EXPECT_TRUE(px[i] == px[i + 1] && px[i] == px[i + 2]);
        out.push_back(px[i]);
    }
    return out;
}

}  // namespace

TEST(ResampleFastLinear, HandComputedRows) {
    struct Case {
        int32_t sw, sh;
        std::vector<uint8_t> src;
        int32_t dw, dh;
        std::vector<uint8_t> expected;
    } cases[] = {
        // Positions 0, 0.5, 1, 1.5: the last two take the last pixel.
        {2, 1, {0, 255}, 4, 1, {0, 127, 255, 255}},
        // A falling edge: the 17-bit step floors (200 - 100 x 0.5 = 150; 100 + ... never above).
        {2, 1, {201, 100}, 4, 1, {201, 150, 100, 100}},
        // Equal widths, other height: each pixel averaged with its right-hand neighbour.
        {3, 1, {10, 20, 61}, 3, 2, {15, 40, 61, 15, 40, 61}},
        // Equal heights, other width: each row averaged with the one below, the last kept.
        {1, 3, {10, 20, 61}, 2, 3, {15, 15, 40, 40, 61, 61}},
        // Halving: boxes share their boundary pixel (0..2), the last takes one pixel.
        {4, 1, {0, 30, 60, 90}, 2, 1, {30, 60}},
    };
    for (const Case& c : cases) {
        auto src = Gray(c.sw, c.sh, c.src);
        TIEBitmap dst(c.dw, c.dh, ie8g);
        IEResampleGray8Linear(src.get(), &dst);
        EXPECT_EQ(Pixels(&dst), c.expected) << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh;
        // The 24-bit twin gives the same in each channel.
        auto src24 = MakeBitmap(c.sw, c.sh, ie24RGB, [&](int32_t x, int32_t y, uint8_t* p) {
            p[0] = p[1] = p[2] = c.src[(size_t)(y * c.sw + x)];
        });
        TIEBitmap dst24(c.dw, c.dh, ie24RGB);
        IEResampleFastLinear(src24.get(), &dst24);
        EXPECT_EQ(GrayOf24(&dst24), c.expected);
    }
}

TEST(ResampleFastLinear, ProgressAfterEveryRowOfBothPasses) {
    auto src = Gray(3, 4, std::vector<uint8_t>(12, 1));
    TIEBitmap dst(5, 2, ie8g);
    std::vector<int32_t> seen;
    IEResampleGray8Linear(src.get(), &dst, nullptr, [&](TObject*, int32_t per) { seen.push_back(per); });
    // 100 / 6.5 per row: source rows 0..3, then destination rows 0..1 counted after the source.
    EXPECT_EQ(seen, (std::vector<int32_t>{0, 15, 30, 46, 61, 76}));
}

TEST(Resample1Bit, BoxAverageOfACheckerboard) {
    auto src = Checkerboard4();
    TIEBitmap dst(2, 2, ie24RGB);
    IEResample1BitAverage(src.get(), 0, 0, 3, 3, &dst);
    // Boxes 0..1 and 1..3 on each axis: 2 of 4, 3 of 6, 3 of 6, 5 of 9 set.
    EXPECT_EQ(GrayOf24(&dst), (std::vector<uint8_t>{127, 127, 127, 141}));
    // Reducing a 1-bit image on both axes takes the same road.
    TIEBitmap viaLinear(2, 2, ie24RGB);
    IEResample1Bit(src.get(), &viaLinear, rfBilinear);
    EXPECT_EQ(GrayOf24(&viaLinear), GrayOf24(&dst));
}

TEST(Resample1Bit, RectangleAwayFromTheOriginStaysInsideTheSource) {
    // Rows 2..5 of a 4-row image: the second box would start at row 3 and end at row 5.
    auto src = MakeBitmap(4, 4, ie1g, [](int32_t x, int32_t y, uint8_t* p) { *p = y >= 2; });
    TIEBitmap dst(1, 2, ie24RGB);
    IEResample1BitAverage(src.get(), 2, 2, 3, 5, &dst);
    EXPECT_EQ(GrayOf24(&dst), (std::vector<uint8_t>{255, 255}));
}

// A box of more than 2^31 / 255 set pixels (3,001 x 3,001 of a white 6,000 x 6,000 image) averages
// to white and a half-set one to mid-grey: the sums do not wrap.
TEST(Resample1Bit, BoxesOfMillionsOfPixels) {
    TIEBitmap src(6000, 6000, ie1g);
    for (uint8_t fill : {0xFF, 0xAA}) {
        for (int32_t y = 0; y < src.GetHeight(); ++y) std::memset(src.GetScanline(y), fill, (size_t)src.GetRowLen());
        TIEBitmap dst(1, 1, ie24RGB);
        IEResample1BitAverage(&src, 0, 0, 5999, 5999, &dst);
        EXPECT_EQ(GrayOf24(&dst), (std::vector<uint8_t>{fill == 0xFF ? (uint8_t)255 : (uint8_t)127}));
    }
}

TEST(Resample1Bit, EnlargingInterpolatesBitsAsZeroOr255) {
    auto src = MakeBitmap(2, 1, ie1g, [](int32_t x, int32_t, uint8_t* p) { *p = x == 1; });
    TIEBitmap dst(4, 1, ie24RGB);
    IEResample1BitLinear(src.get(), &dst);
    EXPECT_EQ(GrayOf24(&dst), (std::vector<uint8_t>{0, 127, 255, 255}));
    // A kernel filter reads the bits the same way and writes gray.
    TIEBitmap kernel(3, 1, ie24RGB);
    IEResample1Bit(src.get(), &kernel, rfTriangle);
    EXPECT_EQ(GrayOf24(&kernel), (std::vector<uint8_t>{0, 127, 255}));
}

TEST(ResampleProjection, MiddleGrayNeverDecides) {
    auto src = MakeBitmap(6, 4, ie24RGB, [](int32_t, int32_t, uint8_t* p) { p[0] = p[1] = p[2] = 128; });
    TIEBitmap bw(3, 2, ie24RGB), wb(3, 2, ie24RGB);
    IEResampleIEBitmap(src.get(), &bw, rfProjectBW);
    IEResampleIEBitmap(src.get(), &wb, rfProjectWB);
    EXPECT_EQ(bw.GetPixelFormat(), ie1g);
    EXPECT_EQ(Pixels(&bw), (std::vector<uint8_t>(6, 1)));
    EXPECT_EQ(Pixels(&wb), (std::vector<uint8_t>(6, 0)));
}

TEST(ResampleProjection, TheWinningColourTakesItsBox) {
    // One white pixel at (3, 1) on black; boxes of columns m(k-1)..m(k) with m(k) = 2k, rows
    // Trunc((j-1) x 2)..Trunc(j x 2).
    auto bits = MakeBitmap(6, 4, ie1g, [](int32_t x, int32_t y, uint8_t* p) { *p = x == 3 && y == 1; });
    auto rgb = MakeBitmap(6, 4, ie24RGB, [](int32_t x, int32_t y, uint8_t* p) { p[0] = p[1] = p[2] = (x == 3 && y == 1) ? 200 : 10; });
    for (TIEBitmap* src : {bits.get(), rgb.get()}) {
        TIEBitmap wb(3, 2, ie1g), bw(3, 2, ie1g);
        IEResampleIEBitmap(src, &wb, rfProjectWB);
        IEResampleIEBitmap(src, &bw, rfProjectBW);
        // Column 2 covers source columns 2..4 and row 1 source rows 0..2.
        EXPECT_EQ(Pixels(&wb), (std::vector<uint8_t>{0, 0, 0, 0, 0, 1}));
        EXPECT_EQ(Pixels(&bw), (std::vector<uint8_t>(6, 0)));
    }
}

TEST(ResampleAreaWalk, ExactReductionIsTheRoundedMean) {
    // 2 x 2 blocks with sums 10 (mean 2.5 rounds to 2), 14 (3.5 -> 4), 400 and 1020.
    auto src = Gray(4, 4, {0, 2, 1, 4,  //
                           4, 4, 4, 5,  //
                           100, 100, 255, 255,  //
                           100, 100, 255, 255});
    for (TResampleFilter filter : {rfBilinear, rfBicubic}) {
        TIEBitmap dst(2, 2, ie8g);
        IEResampleIEBitmap(src.get(), &dst, filter);
        EXPECT_EQ(Pixels(&dst), (std::vector<uint8_t>{2, 4, 100, 255})) << (int)filter;
    }
}

TEST(ResampleAreaWalk, BilinearEnlargementSamplesEachPieceAtItsFarEnd) {
    auto src = Gray(2, 1, {0, 255});
    TIEBitmap dst(4, 1, ie8g);
    IEResampleBilinearBicubic(src.get(), &dst, nullptr, 0);
    EXPECT_EQ(Pixels(&dst), (std::vector<uint8_t>{128, 255, 255, 255}));
    // The 16-bit twin on the same row scaled to words.
    auto src16 = MakeBitmap(2, 1, ie16g, [](int32_t x, int32_t, uint8_t* p) {
        const uint16_t v = x ? 65535 : 0;
        std::memcpy(p, &v, 2);
    });
    TIEBitmap dst16(4, 1, ie16g);
    IEResampleBilinearBicubic16(src16.get(), &dst16, 0);
    const uint16_t* words = (const uint16_t*)dst16.GetScanline(0);
    EXPECT_EQ(std::vector<uint16_t>(words, words + 4), (std::vector<uint16_t>{32768, 65535, 65535, 65535}));
}

TEST(ResampleAreaWalk, BicubicClampsOvershoot) {
    // A step 0, 0, 255, 255 enlarged: the cubic overshoots on both sides of the edge.
    auto src = Gray(4, 1, {0, 0, 255, 255});
    TIEBitmap dst(16, 1, ie8g);
    IEResampleBilinearBicubic(src.get(), &dst, nullptr, 1);
    const auto px = Pixels(&dst);
    EXPECT_EQ(px.front(), 0);
    EXPECT_EQ(px.back(), 255);
    for (size_t i = 1; i < px.size(); ++i) EXPECT_GE(px[i], px[i - 1]) << i;
    EXPECT_DOUBLE_EQ(IECubicInterpolate(0, 0, 255, 0.5, 255, 0, 255), 127.5);
    EXPECT_DOUBLE_EQ(IECubicInterpolate(255, 0, 0, 0.25, 0, 0, 255), 0);   // negative, clamped
    EXPECT_DOUBLE_EQ(IECubicInterpolate(0, 255, 255, 0.25, 0, 0, 255), 255);
    EXPECT_DOUBLE_EQ(IECubicInterpolate(10, 20, 30, 0, 40, 0, 255), 20);
}

TEST(ResampleAreaWalk, TransparentColourDoesNotBleed) {
    // Left column black with alpha 0, right column white with alpha 255.
    auto src = MakeBitmap(2, 2, ie24RGB, [](int32_t x, int32_t, uint8_t* p) { p[0] = p[1] = p[2] = x ? 255 : 0; });
    TIEBitmap* alpha = src->GetAlphaChannel();
    for (int32_t y = 0; y < 2; ++y) alpha->SetPixelByte(0, y, 0);
    TIEBitmap dst(5, 4, ie24RGB);
    IEResampleBilinearBicubic(src.get(), &dst, alpha, 0);
    EXPECT_EQ(Pixels(&dst), (std::vector<uint8_t>(60, 255)));
    // Without the alpha channel the black bleeds in.
    IEResampleBilinearBicubic(src.get(), &dst, nullptr, 0);
    EXPECT_LT(Pixels(&dst)[0], 255);
}

TEST(ResampleAreaWalk, ProgressReachesOneHundred) {
    auto src = Gray(3, 3, std::vector<uint8_t>(9, 5));
    TIEBitmap dst(2, 4, ie8g);
    std::vector<int32_t> seen;
    IEResampleBilinearBicubic(src.get(), &dst, nullptr, 0, [&](TObject*, int32_t per) { seen.push_back(per); });
    EXPECT_EQ(seen, (std::vector<int32_t>{25, 50, 75, 100}));
}
