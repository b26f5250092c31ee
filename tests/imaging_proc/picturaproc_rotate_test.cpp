// Flips and rotations: identities exact (flip twice, 0 and 360 degrees, four quarter turns), the
// turns' pixel mapping, thin and 1 x 1 images, and hand-computed interpolated values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <memory>
#include <vector>

#include "iebitmap.h"
#include "picturaproc_pixels.h"
#include "picturaproc_rotate.h"
#include "picturaproc_shears.h"

namespace {

// A W x H bitmap whose bytes (row padding left zero) follow a pattern, so that every pixel differs.
std::unique_ptr<TIEBitmap> Pattern(int32_t W, int32_t H, TIEPixelFormat Format) {
    auto bmp = std::make_unique<TIEBitmap>(W, H, Format);
    const int32_t used = (W * bmp->GetBitCount() + 7) / 8;
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = bmp->GetScanline(y);
        std::memset(row, 0, (size_t)bmp->GetRowLen());
        for (int32_t i = 0; i < used; ++i) row[i] = (uint8_t)(y * 37 + i * 11 + 5);
        if (Format == ie1g && W % 8) row[used - 1] &= (uint8_t)(0xFF << (8 - W % 8));
    }
    return bmp;
}

std::unique_ptr<TIEBitmap> Copy(TIEBitmap* Source) {
    auto bmp = std::make_unique<TIEBitmap>();
    bmp->Assign(Source);
    return bmp;
}

// The pixel at (X, Y) as bytes (one byte 0 or 1 for 1-bit images).
std::vector<uint8_t> Px(TIEBitmap* B, int32_t X, int32_t Y) {
    if (B->GetPixelFormat() == ie1g) return {(uint8_t)(IEGetBit(B->GetScanline(Y), X) ? 1 : 0)};
    const int32_t bpp = B->GetBitCount() / 8;
    const uint8_t* p = B->GetScanline(Y) + (size_t)X * bpp;
    return std::vector<uint8_t>(p, p + bpp);
}

const TIEPixelFormat kFormats[] = {ie1g, ie8g, ie24RGB, ie16g, ie32RGB};
const int32_t kSizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {10, 3}, {3, 2}, {17, 9}};

}  // namespace

TEST(IEFlipIEBitmap, TwiceIsTheIdentityAndOnceMirrors) {
    for (TIEPixelFormat f : kFormats) {
        for (const auto& sz : kSizes) {
            auto bmp = Pattern(sz[0], sz[1], f);
            auto orig = Copy(bmp.get());
            for (uint8_t dir = 0; dir < 2; ++dir) {
                IEFlipIEBitmap(bmp.get(), dir);
                const bool mirrored = dir == 1 || (f != ie16g && f != ie32RGB);   // those stay left-right
                for (int32_t y = 0; y < sz[1]; ++y)
                    for (int32_t x = 0; x < sz[0]; ++x) {
                        const int32_t sx = (dir == 0 && mirrored) ? sz[0] - 1 - x : x;
                        const int32_t sy = dir == 1 ? sz[1] - 1 - y : y;
                        ASSERT_EQ(Px(bmp.get(), x, y), Px(orig.get(), sx, sy))
                            << "format " << int(f) << " size " << sz[0] << "x" << sz[1] << " dir " << int(dir);
                    }
                IEFlipIEBitmap(bmp.get(), dir);
                EXPECT_TRUE(IEBitmapsEqual(bmp.get(), orig.get()));   // 1-bit padding stays clear
            }
        }
    }
}

TEST(IEFlipIEBitmap, FlipsTheAlphaChannelToo) {
    auto bmp = Pattern(4, 2, ie24RGB);
    bmp->SetAlpha(0, 0, 10);
    IEFlipIEBitmap(bmp.get(), 0);
    EXPECT_EQ(bmp->GetAlpha(3, 0), 10);
    IEFlipIEBitmap(bmp.get(), 1);
    EXPECT_EQ(bmp->GetAlpha(3, 1), 10);
    EXPECT_EQ(bmp->GetAlpha(3, 0), 255);
}

TEST(IERotateBitmapTo, RightAnglesAreExactTurns) {
    for (TIEPixelFormat f : kFormats) {
        for (const auto& sz : kSizes) {
            const int32_t w = sz[0], h = sz[1];
            auto src = Pattern(w, h, f);
            struct {
                double angle;
                bool swap;
                int32_t kind;   // 0 identity, 1 CCW, 2 CW, 3 half
            } cases[] = {{0, false, 0}, {360, false, 0}, {90, true, 1}, {450, true, 1}, {-270, true, 1},
                         {270, true, 2}, {-90, true, 2}, {180, false, 3}, {-180, false, 3}};
            for (const auto& c : cases) {
                TIEBitmap dst;
                IERotateBitmapTo(src.get(), &dst, 0, c.angle);
                ASSERT_EQ(dst.GetWidth(), c.swap ? h : w);
                ASSERT_EQ(dst.GetHeight(), c.swap ? w : h);
                ASSERT_EQ(dst.GetPixelFormat(), f);
                for (int32_t y = 0; y < dst.GetHeight(); ++y)
                    for (int32_t x = 0; x < dst.GetWidth(); ++x) {
                        int32_t sx = x, sy = y;
                        if (c.kind == 1) sx = w - 1 - y, sy = x;
                        if (c.kind == 2) sx = y, sy = h - 1 - x;
                        if (c.kind == 3) sx = w - 1 - x, sy = h - 1 - y;
                        ASSERT_EQ(Px(&dst, x, y), Px(src.get(), sx, sy)) << "format " << int(f) << " angle " << c.angle;
                    }
            }
            // Four quarter turns in place give the image back, padding bits included.
            auto bmp = Copy(src.get());
            for (int32_t i = 0; i < 4; ++i) IERotatePlain(bmp.get(), 0, nullptr, 90);
            EXPECT_TRUE(IEBitmapsEqual(bmp.get(), src.get())) << "format " << int(f);
        }
    }
}

TEST(IERotateBitmapTo, OtherAnglesMapNearestPixelsIntoTheBoundingBox) {
    // 90.5 degrees goes the general way: the bounding size, background where nothing lands.
    auto src = Pattern(20, 10, ie24RGB);
    TIEBitmap dst;
    IERotateBitmapTo(src.get(), &dst, 0x0000FF, 90.5);
    EXPECT_EQ(dst.GetWidth(), 10);   // Round(|sin| x 10 + |cos| x 20) = Round(10.17)
    EXPECT_EQ(dst.GetHeight(), 20);
    EXPECT_EQ(Px(&dst, 0, 0), Px(src.get(), 19, 0));   // nearly the quarter turn
    // 45 degrees on an odd square: the centre pixel stays the centre pixel.
    auto sq = Pattern(5, 5, ie8g);
    IERotateBitmapTo(sq.get(), &dst, 200, 45);
    ASSERT_EQ(dst.GetWidth(), 7);
    EXPECT_EQ(Px(&dst, 3, 3), Px(sq.get(), 2, 2));
    EXPECT_EQ(Px(&dst, 0, 0), (std::vector<uint8_t>{200}));
    // A 1-bit image has a clear background whatever Background says.
    auto bits = std::make_unique<TIEBitmap>(8, 8, ie1g);
    for (int32_t y = 0; y < 8; ++y) std::memset(bits->GetScanline(y), 0xFF, (size_t)bits->GetRowLen());
    IERotateBitmapTo(bits.get(), &dst, 0xFFFFFF, 30);
    EXPECT_EQ(Px(&dst, 0, 0), (std::vector<uint8_t>{0}));
    EXPECT_EQ(Px(&dst, dst.GetWidth() / 2, dst.GetHeight() / 2), (std::vector<uint8_t>{1}));
}

// Every rotation that changes the size takes the alpha channel to the new size with the image, so
// that its rows are the image's rows. (These routines turn the image only: the alpha object is
// kept and sized like the image, its values where they were, new area opaque; turning the alpha
// too is the processing component's step.)
TEST(IERotatePlain, TheAlphaChannelFollowsEveryRotation) {
    auto bmp = Pattern(3, 2, ie24RGB);
    TIEBitmap* alpha = bmp->GetAlphaChannel();
    bmp->SetAlpha(1, 0, 10);
    IERotatePlain(bmp.get(), 0, nullptr, 90);
    EXPECT_EQ(bmp->GetWidth(), 2);
    EXPECT_EQ(bmp->GetAlphaChannel(), alpha);   // the same object
    ASSERT_EQ(alpha->GetWidth(), 2);
    ASSERT_EQ(alpha->GetHeight(), 3);
    EXPECT_EQ(bmp->GetAlpha(1, 0), 10);    // kept in place
    EXPECT_EQ(bmp->GetAlpha(1, 2), 255);   // the new area is opaque

    const struct {
        const char* What;
        void (*Rotate)(TIEBitmap*);
    } paths[] = {
        {"plain 30", [](TIEBitmap* b) { IERotatePlain(b, 0, nullptr, 30); }},
        {"high quality bilinear", [](TIEBitmap* b) { IERotateHighQuality(b, 0, 1, 30); }},
        {"high quality bicubic", [](TIEBitmap* b) { IERotateHighQuality(b, 0, 2, 30); }},
        {"shears", [](TIEBitmap* b) { IERotateByShears(b, 30, true, nullptr, TIERGB{0, 0, 0}); }},
        {"shears without anti-aliasing", [](TIEBitmap* b) { IERotateByShears(b, 30, false, nullptr, TIERGB{0, 0, 0}); }},
        {"bicubic the other way", [](TIEBitmap* b) { IERotateHighQuality(b, 0, 2, -30); }},
        {"shears, quarter turn", [](TIEBitmap* b) { IERotateByShears(b, 90, false, nullptr, TIERGB{0, 0, 0}); }},
        {"shears after a turn", [](TIEBitmap* b) { IERotateByShears(b, 120, false, nullptr, TIERGB{0, 0, 0}); }},
    };
    for (const auto& path : paths) {
        SCOPED_TRACE(path.What);
        auto b = Pattern(17, 6, ie24RGB);
        TIEBitmap* kept = b->GetAlphaChannel();
        kept->Fill(200);
        path.Rotate(b.get());
        ASSERT_TRUE(b->GetWidth() != 17 || b->GetHeight() != 6);   // a new size
        ASSERT_EQ(b->GetAlphaChannel(), kept);                      // the same object
        EXPECT_EQ(b->GetAlphaChannel()->GetWidth(), b->GetWidth());
        EXPECT_EQ(b->GetAlphaChannel()->GetHeight(), b->GetHeight());
        // Every row of the alpha channel can be read as the image's rows are (the sanitizers check).
        uint32_t sum = 0;
        for (int32_t y = 0; y < b->GetHeight(); ++y)
            for (int32_t x = 0; x < b->GetWidth(); ++x) sum += b->GetAlpha(x, y);
        EXPECT_GT(sum, 0u);
    }

    // The alpha channel turned on its own stays an alpha channel.
    IERotateHighQuality8(alpha, 0, 1, 30);
    IERotateByShears8(alpha, 20, true, 0);
    EXPECT_TRUE(alpha->GetIsAlpha());
    EXPECT_EQ(bmp->GetAlphaChannel(), alpha);
}

TEST(IERotateHighQuality, SizeIsMeasuredBetweenTheBorderedImagesOuterCentres) {
    auto bmp = Pattern(100, 50, ie24RGB);
    IERotateHighQuality(bmp.get(), 0, 1, 0.1);
    EXPECT_EQ(bmp->GetWidth(), 99);
    EXPECT_EQ(bmp->GetHeight(), 49);
    // Thin and single-pixel images never vanish.
    for (const auto& sz : kSizes) {
        for (uint8_t mode = 1; mode <= 2; ++mode) {
            auto b = Pattern(sz[0], sz[1], ie24RGB);
            IERotateHighQuality(b.get(), 0, mode, 0.1);
            EXPECT_GE(b->GetWidth(), 1);
            EXPECT_GE(b->GetHeight(), 1);
        }
    }
    auto other = Pattern(4, 4, ie24RGB);
    IERotateHighQuality(other.get(), 0, 3, 30);   // modes other than 1 and 2 change nothing
    EXPECT_EQ(other->GetWidth(), 4);
    // Nor does an angle that is not a number, in any rotation.
    const double nan = std::nan("");
    IERotateHighQuality(other.get(), 0, 1, nan);
    IERotateByShears(other.get(), nan, true, nullptr, TIERGB{0, 0, 0});
    IERotatePlain(other.get(), 0, nullptr, nan);
    auto bits = Pattern(4, 4, ie1g);
    IERotate1Bit(bits.get(), false, nan);
    EXPECT_EQ(other->GetWidth(), 4);
    EXPECT_EQ(bits->GetWidth(), 4);
}

TEST(IERotateHighQuality, HandComputedBilinearValues) {
    // At 0 degrees the result samples halfway between pixels: a 4 x 1 grey row over a black
    // background gives Trunc(((a + b) / 2) / 2) for each pair.
    TIEBitmap row(4, 1, ie8g);
    const uint8_t v[4] = {0, 100, 200, 50};
    std::memcpy(row.GetScanline(0), v, 4);
    IERotateHighQuality8(&row, 0, 1, 0);
    ASSERT_EQ(row.GetWidth(), 3);
    ASSERT_EQ(row.GetHeight(), 1);
    EXPECT_EQ(row.GetPixelByte(0, 0), 25);
    EXPECT_EQ(row.GetPixelByte(1, 0), 75);
    EXPECT_EQ(row.GetPixelByte(2, 0), 62);
    // A flat colour keeps its value inside and takes the background in the corners.
    TIEBitmap flat(9, 9, ie24RGB);
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 9; ++x) flat.SetPixelRGB(x, y, TIERGB{10, 20, 30});
    for (uint8_t mode = 1; mode <= 2; ++mode) {
        TIEBitmap b;
        b.Assign(&flat);
        IERotateHighQuality(&b, 0xFFFFFF, mode, 30);
        // Bilinear weights add up exactly; the cubic ones may fall short of 1 by a rounding step,
        // which Trunc turns into one level less.
        const TIERGB centre = b.GetPixelRGB(b.GetWidth() / 2, b.GetHeight() / 2);
        const int32_t slack = mode == 1 ? 0 : 1;
        EXPECT_NEAR(centre.b, 10, slack);
        EXPECT_NEAR(centre.g, 20, slack);
        EXPECT_NEAR(centre.r, 30, slack);
        const TIERGB corner = b.GetPixelRGB(0, 0);
        EXPECT_EQ(corner.r, 255);
        EXPECT_EQ(corner.b, 255);
    }
}

TEST(IERotateHighQuality, BicubicReflectsNegativeOvershoot) {
    // A bright pixel beside dark ones: the cubic kernel's negative lobe gives a negative sum
    // just past the edge, which is stored as its absolute value, not as 0.
    TIEBitmap row(8, 8, ie8g);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 8; ++x) row.SetPixelByte(x, y, x < 4 ? 0 : 255);
    IERotateHighQuality8(&row, 0, 2, 0);
    // Sample between columns 2 and 3 (x = 2.5): weights -f(1-f)^2 etc. with f = 0.5 on
    // 0, 0, 0, 255 give 255 x (0.25 x -0.5) = -31.875 per row, the rows (fy = 0.5) summing to 1.
    EXPECT_EQ(row.GetPixelByte(2, 3), 31);
}

TEST(IERotateByShears, QuarterTurnsAreExactAndThousandthsCount) {
    auto src = Pattern(7, 4, ie24RGB);
    auto bmp = Copy(src.get());
    IERotateByShears(bmp.get(), 90, true, nullptr, TIERGB{1, 2, 3});
    TIEBitmap expect;
    IERotateBitmapTo(src.get(), &expect, 0, 90);
    EXPECT_TRUE(IEBitmapsEqual(bmp.get(), &expect));
    IERotateByShears(bmp.get(), -450, true, nullptr, TIERGB{1, 2, 3});   // back by 90 (the rest of -450)
    EXPECT_TRUE(IEBitmapsEqual(bmp.get(), src.get()));
    IERotateByShears(bmp.get(), 360.0004, true, nullptr, TIERGB{1, 2, 3});
    EXPECT_TRUE(IEBitmapsEqual(bmp.get(), src.get()));
    auto grey = Pattern(5, 3, ie8g);
    auto g = Copy(grey.get());
    for (int32_t i = 0; i < 4; ++i) IERotateByShears8(g.get(), 90, true, 0);
    EXPECT_TRUE(IEBitmapsEqual(g.get(), grey.get()));
}

TEST(IERotateByShears, ThirtyDegreesGivesTheShearedSizeWithBackgroundCorners) {
    // W = 20, H = 10, t = tan 15, s = 1/2: W1 = 24, V = 2, H1 = 23, U = 3, H2 = 19, W3 = 24.
    for (bool antiAlias : {false, true}) {
        TIEBitmap bmp(20, 10, ie24RGB);
        for (int32_t y = 0; y < 10; ++y)
            for (int32_t x = 0; x < 20; ++x) bmp.SetPixelRGB(x, y, TIERGB{51, 61, 71});
        std::vector<int32_t> seen;
        IERotateByShears(&bmp, 30, antiAlias, nullptr, TIERGB{200, 201, 202},
                         [&](TObject*, int32_t pc) { seen.push_back(pc); });
        ASSERT_EQ(bmp.GetWidth(), 24);
        ASSERT_EQ(bmp.GetHeight(), 19);
        for (const auto& corner : {std::make_pair(0, 0), std::make_pair(23, 0), std::make_pair(0, 18),
                                   std::make_pair(23, 18)})
            EXPECT_EQ(Px(&bmp, corner.first, corner.second), (std::vector<uint8_t>{200, 201, 202}));
        // Blending an even area with itself keeps its levels exactly (odd ones too).
        EXPECT_EQ(Px(&bmp, 12, 9), (std::vector<uint8_t>{51, 61, 71}));
        ASSERT_FALSE(seen.empty());
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
        EXPECT_LT(seen.back(), 100);
    }
    // Thin and single-pixel images, 24 and 8 bits, any angle: a whole image comes out.
    for (const auto& sz : kSizes)
        for (double angle : {30.0, -10.0, 135.5}) {
            auto rgb = Pattern(sz[0], sz[1], ie24RGB);
            IERotateByShears(rgb.get(), angle, true, nullptr, TIERGB{0, 0, 0});
            EXPECT_GE(rgb->GetWidth(), sz[0] > sz[1] ? sz[1] : sz[0]);
            auto grey = Pattern(sz[0], sz[1], ie8g);
            IERotateByShears8(grey.get(), angle, false, 0);
            EXPECT_GE(grey->GetHeight(), 1);
        }
}

TEST(IERotate1Bit, HalfTurnMirrorsExactlyAndOtherAnglesKeepTheCentre) {
    auto bits = Pattern(10, 3, ie1g);
    auto b = Copy(bits.get());
    IERotate1Bit(b.get(), false, 180);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 10; ++x) ASSERT_EQ(Px(b.get(), x, y), Px(bits.get(), 9 - x, 2 - y));
    // A 1 x 1 image at a small angle stays 1 x 1 (the cut cosine would make it 0 wide).
    TIEBitmap dot(1, 1, ie1g);
    dot.GetScanline(0)[0] = 0x80;
    IERotate1Bit(&dot, false, 0.001);
    ASSERT_EQ(dot.GetWidth(), 1);
    EXPECT_EQ(Px(&dot, 0, 0), (std::vector<uint8_t>{1}));
    TIEBitmap grey(5, 5, ie8g);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 5; ++x) grey.SetPixelByte(x, y, (uint8_t)(x + 10 * y));
    IERotateNearest8(&grey, 99, 45);
    EXPECT_EQ(grey.GetWidth(), 7);   // Trunc(5 x 0.7071 x 2)
    EXPECT_EQ(grey.GetPixelByte(3, 3), 22);
    EXPECT_EQ(grey.GetPixelByte(0, 0), 99);
}
