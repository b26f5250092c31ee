// The skin engine's nine-slice arithmetic, natively under the sanitizers: whatever the margins,
// no piece reads outside its image of the strip or lands wholly off the target, and margins that
// fit cover the target exactly once.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "KWSkinEn_slices.h"

namespace {

struct TCase {
    int32_t StripW, ImageH, Image, L, T, R, B, W, H;
};

void ExpectInside(const TCase& c) {
    SCOPED_TRACE(testing::Message() << "strip " << c.StripW << "x" << c.ImageH << " image " << c.Image << " margins "
                                    << c.L << "," << c.T << "," << c.R << "," << c.B << " target " << c.W << "x"
                                    << c.H);
    const int64_t y0 = (int64_t)c.Image * c.ImageH;
    for (const TKWSkinSlice& p : KWSkinSlices(c.StripW, c.ImageH, c.Image, c.L, c.T, c.R, c.B, c.W, c.H)) {
        EXPECT_GT(p.SrcW, 0);
        EXPECT_GT(p.SrcH, 0);
        EXPECT_GT(p.DstW, 0);
        EXPECT_GT(p.DstH, 0);
        EXPECT_GE(p.SrcX, 0);
        EXPECT_GE(p.SrcY, y0);
        EXPECT_LE((int64_t)p.SrcX + p.SrcW, c.StripW);
        EXPECT_LE((int64_t)p.SrcY + p.SrcH, y0 + c.ImageH);
        EXPECT_LT(p.DstX, c.W);
        EXPECT_LT(p.DstY, c.H);
        EXPECT_GT((int64_t)p.DstX + p.DstW, 0);
        EXPECT_GT((int64_t)p.DstY + p.DstH, 0);
    }
}

}  // namespace

TEST(KWSkinSlices, MarginsThatFitTileTheTargetOnce) {
    // Strip 12 wide, images 12 high, the second image; margins 3, 3, 4, 2; target 40 x 20.
    const std::vector<TKWSkinSlice> pieces = KWSkinSlices(12, 12, 1, 3, 3, 4, 2, 40, 20);
    ASSERT_EQ(pieces.size(), 9u);
    std::vector<int> covered(40 * 20, 0);
    for (const TKWSkinSlice& p : pieces)
        for (int32_t y = p.DstY; y < p.DstY + p.DstH; ++y)
            for (int32_t x = p.DstX; x < p.DstX + p.DstW; ++x) ++covered[(size_t)y * 40 + (size_t)x];
    for (size_t i = 0; i < covered.size(); ++i) ASSERT_EQ(covered[i], 1) << i % 40 << "," << i / 40;
    // The corners are copied 1:1 from the image's corners.
    const TKWSkinSlice& first = pieces[0];
    EXPECT_EQ(first.SrcX, 0);
    EXPECT_EQ(first.SrcY, 12);
    EXPECT_EQ(first.SrcW, 3);
    EXPECT_EQ(first.DstW, 3);
    const TKWSkinSlice& bottomRight = pieces[3];
    EXPECT_EQ(bottomRight.SrcX, 8);
    EXPECT_EQ(bottomRight.SrcY, 22);
    EXPECT_EQ(bottomRight.DstX, 36);
    EXPECT_EQ(bottomRight.DstY, 18);
}

// Margins larger than the image or the target, negative ones and the extremes of a 32-bit
// integer (the skin's text may hold anything) leave the pieces inside; UBSan checks the sums.
TEST(KWSkinSlices, AnyMarginsStayInsideTheImageAndTheTarget) {
    const int32_t margins[] = {INT32_MIN, -7, -1, 0, 1, 3, 5, 6, 7, 11, 12, 13, 50, INT32_MAX};
    for (int32_t l : margins)
        for (int32_t t : margins)
            for (int32_t r : margins)
                for (int32_t b : margins) {
                    ExpectInside(TCase{12, 12, 1, l, t, r, b, 120, 30});
                    ExpectInside(TCase{12, 6, 4, l, t, r, b, 5, 4});   // a target smaller than the margins
                }
    // Images of no rows, or a strip of no width, draw nothing.
    EXPECT_TRUE(KWSkinSlices(12, 0, 29, 3, 3, 3, 3, 120, 30).empty());
    EXPECT_TRUE(KWSkinSlices(0, 12, 0, 3, 3, 3, 3, 120, 30).empty());
}
