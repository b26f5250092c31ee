// The transitions' shared arithmetic and the shapes' geometry (platform-neutral).
#include <gtest/gtest.h>

#include <vector>

#include "ieXtraTransitions_base.h"
#include "iexShapes.h"

namespace {

bool operator==(const TIEPoint& a, const TIEPoint& b) { return a.X == b.X && a.Y == b.Y; }

void ExpectRect(const TIERect& r, int32_t l, int32_t t, int32_t rr, int32_t b)
{
    EXPECT_EQ(r.Left, l);
    EXPECT_EQ(r.Top, t);
    EXPECT_EQ(r.Right, rr);
    EXPECT_EQ(r.Bottom, b);
}

} // namespace

TEST(TransitionRandom, MultipliesTheNewStateAndTakesTheHighWord)
{
    struct Case { uint32_t Seed; int32_t Range; int32_t Result; uint32_t State; };
    const Case cases[] = {
        {0, 100, 0, 1},                                 // state 1: 100 / 2^32
        {1, 100, 3, 134775814},                         // 13477581400 / 2^32 = 3.1
        {0xFFFFFFFFu, 10, 9, 4160191484u},              // the state is unsigned: 41601914840 / 2^32 = 9.7
        {12345, 0, 0, 12345u * 134775813u + 1u},        // range 0: 0, the state moves all the same
        {0xFFFFFFFFu, 0x7FFFFFFF, 2080095741, 4160191484u},
    };
    for (const Case& c : cases) {
        RandSeed = c.Seed;
        EXPECT_EQ(Random(c.Range), c.Result) << c.Seed << " " << c.Range;
        EXPECT_EQ(RandSeed, c.State) << c.Seed;
    }
    RandSeed = 7;
    for (int i = 0; i < 1000; ++i) {
        int32_t r = Random(3);
        ASSERT_TRUE(r >= 0 && r < 3) << r;
    }
}

TEST(TransitionSizes, MulDivRoundsHalvesAwayFromZeroAndFailsAsWin32)
{
    struct Case { int32_t A, B, C, Result; };
    const Case cases[] = {
        {5, 1, 2, 3}, {-5, 1, 2, -3}, {5, -1, 2, -3}, {7, 1, 2, 4}, {3, 50, 100, 2}, {300, 50, 100, 150},
        {7, 3, 0, -1},                                  // division by 0
        {1 << 30, 4, 2, -1},                            // 2^31 does not fit
        {-(1 << 30), 4, 2, INT32_MIN},                  // -2^31 does
        {2000000000, 2000000000, 2000000000, 2000000000},   // the product needs 64 bits
    };
    for (const Case& c : cases)
        EXPECT_EQ(IEMulDiv(c.A, c.B, c.C), c.Result) << c.A << " " << c.B << " " << c.C;
}

TEST(TransitionSizes, LongerSideTakesThePercentage)
{
    struct Case { TIERect R; int32_t Progress, W, H, X, Y; };
    const Case cases[] = {
        {{0, 0, 300, 200}, 50, 300, 200, 150, 100},
        {{0, 0, 200, 300}, 50, 200, 300, 100, 150},
        {{0, 0, 300, 200}, 0, 300, 200, 0, 0},
        {{0, 0, 300, 200}, 100, 300, 200, 300, 200},
        {{0, 0, 200, 300}, 100, 200, 300, 200, 300},
        {{0, 0, 7, 3}, 50, 7, 3, 4, 2},                 // X = MulDiv(7, 50, 100) = 4, Y = MulDiv(4, 3, 7) = 2
        {{0, 0, 100, 100}, 33, 100, 100, 33, 33},       // a square takes the width branch
        {{10, 20, 310, 220}, 50, 300, 200, 150, 100},   // only the size counts
        {{0, 0, 0, 0}, 50, 0, 0, 0, 0},                 // no frame: no extents, not MulDiv's -1
    };
    for (const Case& c : cases) {
        int32_t W = -9, H = -9, X = -9, Y = -9;
        IEGetTransitionSizes(c.R, c.Progress, W, H, X, Y);
        EXPECT_EQ(W, c.W);
        EXPECT_EQ(H, c.H);
        EXPECT_EQ(X, c.X) << c.R.Right << "x" << c.R.Bottom << " at " << c.Progress;
        EXPECT_EQ(Y, c.Y) << c.R.Right << "x" << c.R.Bottom << " at " << c.Progress;
    }
}

TEST(ShapeRegions, FitSquareAndPolarPoint)
{
    int32_t l = 0, t = 0, w = 201, h = 101;
    IEFitSquare(l, t, w, h);
    EXPECT_EQ(l, 50);
    EXPECT_EQ(t, 0);
    EXPECT_EQ(w, 101);
    EXPECT_EQ(h, 101);
    l = 5, t = 5, w = 10, h = 31;
    IEFitSquare(l, t, w, h);
    EXPECT_EQ(t, 15);
    EXPECT_EQ(w, 10);

    TIEPoint p{};
    IEPolarPoint(TIEPoint{10, 10}, 5, p, 0);   // 0 degrees points up
    EXPECT_TRUE(p == (TIEPoint{10, 5}));
    IEPolarPoint(TIEPoint{10, 10}, 5, p, 90);  // clockwise on screen
    EXPECT_TRUE(p == (TIEPoint{15, 10}));
    IEPolarPoint(TIEPoint{25, 25}, 25, p, 233.14);
    EXPECT_TRUE(p == (TIEPoint{5, 40}));
}

TEST(ShapeRegions, StarFittedIntoTheCentredSquare)
{
    std::vector<TIEPoint> star = IEShapePolygon(IEShapeStar5, 0, 0, 201, 101);
    ASSERT_EQ(star.size(), 11u);
    EXPECT_TRUE(star[0] == (TIEPoint{100, 0}));    // top point
    EXPECT_TRUE(star[4] == (TIEPoint{131, 95}));   // lower-right point
    EXPECT_TRUE(star[10] == star[0]);              // the table repeats its first point
    EXPECT_TRUE(star[8] == (TIEPoint{50, 36}));

    std::vector<TIEPoint> six = IEShapePolygon(IEShapeStar6, 10, 20, 81, 81);
    ASSERT_EQ(six.size(), 13u);
    EXPECT_TRUE(six[2] == (TIEPoint{82, 40}));     // (0.9, 0.25) of 80
    EXPECT_TRUE(six[6] == (TIEPoint{50, 100}));

    EXPECT_EQ(IEShapePolygon(IEShapeArrow, 0, 0, 50, 50).size(), 8u);
    EXPECT_EQ(IEShapePolygon(IEShapeFeatheredArrow, 0, 0, 50, 50).size(), 31u);
    EXPECT_EQ(IEShapePolygon(IEShapeLightning, 0, 0, 50, 50).size(), 12u);
    EXPECT_EQ(IEShapePolygon(IEShapeExplosion, 0, 0, 50, 50).size(), 25u);
}

TEST(ShapeRegions, KindsAboveOneTwentySevenWrapAndUnknownKindsHaveNoPoints)
{
    for (uint8_t kind = 0; kind < 16; ++kind) {
        auto plain = IEShapePolygon(kind, 3, 4, 77, 55);
        auto high = IEShapePolygon((uint8_t)(kind + 128), 3, 4, 77, 55);
        ASSERT_EQ(plain.size(), high.size()) << int(kind);
        for (size_t i = 0; i < plain.size(); ++i)
            EXPECT_TRUE(plain[i] == high[i]) << int(kind);
    }
    for (int kind : {10, 15, 16, 100, 127, 255})
        EXPECT_TRUE(IEShapePolygon((uint8_t)kind, 0, 0, 50, 50).empty()) << kind;   // no table
}

TEST(ShapeRegions, MirroredVariants)
{
    // In a 101-pixel square the two-decimal tables give whole numbers, so mirroring is exact; the
    // feathered arrow's three-decimal values fall on halves, which round either way.
    struct Case { uint8_t Base, Kind; bool MirrorX, MirrorY; int32_t Tolerance; };
    const Case cases[] = {
        {IEShapeArrow, IEShapeArrow + 1, true, false, 0},
        {IEShapeArrow, IEShapeArrow + 2, false, true, 0},
        {IEShapeArrow, IEShapeArrow + 3, true, true, 0},
        {IEShapeFeatheredArrow, IEShapeFeatheredArrow + 1, true, false, 1},
        {IEShapeFeatheredArrow, IEShapeFeatheredArrow + 2, false, true, 1},
        {IEShapeFeatheredArrow, IEShapeFeatheredArrow + 3, true, true, 1},
        {IEShapeExplosion, IEShapeExplosionTurned, true, true, 0},
        {IEShapeLightning, IEShapeLightningMirrored, true, false, 0},
    };
    for (const Case& c : cases) {
        auto base = IEShapePolygon(c.Base, 0, 0, 101, 101);
        auto variant = IEShapePolygon(c.Kind, 0, 0, 101, 101);
        ASSERT_EQ(base.size(), variant.size());
        for (size_t i = 0; i < base.size(); ++i) {
            EXPECT_NEAR(variant[i].X, c.MirrorX ? 100 - base[i].X : base[i].X, c.Tolerance)
                << int(c.Kind) << " point " << i;
            EXPECT_NEAR(variant[i].Y, c.MirrorY ? 100 - base[i].Y : base[i].Y, c.Tolerance)
                << int(c.Kind) << " point " << i;
        }
    }
    // The mirrored bolt in a box twice as wide as tall mirrors the plain one in the centred square.
    auto bolt = IEShapePolygon(IEShapeLightning, 0, 0, 200, 100);
    auto mirrored = IEShapePolygon(IEShapeLightningMirrored, 0, 0, 200, 100);
    ASSERT_EQ(bolt.size(), mirrored.size());
    EXPECT_EQ(bolt[0].X, 149);   // (1, 0.19) in the square from 50 to 149
    for (size_t i = 0; i < bolt.size(); ++i) {
        EXPECT_EQ(mirrored[i].X, 50 + 149 - bolt[i].X) << i;
        EXPECT_EQ(mirrored[i].Y, bolt[i].Y) << i;
    }
    // A tall box keeps its width for the bolt; the explosion always fills the whole box.
    EXPECT_EQ(IEShapePolygon(IEShapeLightning, 0, 0, 50, 200)[6].Y, 199);
    EXPECT_EQ(IEShapePolygon(IEShapeExplosion, 0, 0, 201, 101)[6].X, 200);
}

TEST(ShapeRegions, CrossAndHeartParts)
{
    TIECrossBars cross = IECrossBars(0, 0, 100, 100, IECrossBarPosition);
    ExpectRect(cross.Vertical, 42, 0, 57, 100);     // width cut to 75 at 12, bars 15 thick
    ExpectRect(cross.Horizontal, 12, 28, 87, 43);
    cross = IECrossBars(0, 0, 50, 100, IECrossBarPosition);   // narrow enough: no cut
    ExpectRect(cross.Vertical, 20, 0, 30, 100);
    ExpectRect(cross.Horizontal, 0, 30, 50, 40);

    TIEHeartParts heart = IEHeartParts(0, 0, 100, 100);
    ExpectRect(heart.LeftLobe, 0, 0, 52, 52);
    ExpectRect(heart.RightLobe, 48, 0, 100, 52);
    EXPECT_TRUE(heart.Triangle[0] == (TIEPoint{5, 40}));
    EXPECT_TRUE(heart.Triangle[1] == (TIEPoint{95, 40}));
    EXPECT_TRUE(heart.Triangle[2] == (TIEPoint{50, 100}));
    ExpectRect(heart.Notch, 26, 26, 74, 52);
    heart = IEHeartParts(10, 0, 120, 100);   // centred square
    ExpectRect(heart.LeftLobe, 20, 0, 72, 52);
    EXPECT_TRUE(heart.Triangle[2] == (TIEPoint{70, 100}));
}
