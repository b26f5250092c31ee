// The transitions' catalogue, the rectangle-region builder, the shape regions and the banded and
// shape families drawn on flat old and new images (Windows: GDI regions).
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "TransitionTestUtil.h"
#include "ieXtraTransitions.h"
#include "iexShapes_win.h"

using namespace transition_test;

namespace {

// The catalogue as the application offers it: names by number, family codes and the drawing
// family by number ranges.
const wchar_t* const kNames[IEExtraEffectCount] = {
    L"Cross Fade", L"Fade Out", L"Fade In", L"Fade Out then In", L"Wipe Left to Right", L"Wipe Left to Right 2",
    L"Wipe Right to Left", L"Wipe Right to Left 2", L"Wipe Top to Bottom", L"Wipe Top to Bottom 2",
    L"Wipe Bottom to Top", L"Wipe Bottom to Top 2", L"Slide from Top Left", L"Slide from Top Right",
    L"Slide from Bottom Left", L"Slide from Bottom Right", L"Push Left to Right", L"Slide Out Left to Right",
    L"Push Right to Left", L"Slide Out Right to Left", L"Push Top to Bottom", L"Slide Out Top to Bottom",
    L"Push Bottom to Top", L"Slide Out Bottom to Top", L"Random Points", L"Random Boxes",
    L"Wipe Out from Center", L"Wipe In to Center", L"Expand Out from Center", L"Expand In to Center",
    L"Expand from Left", L"Expand from Right", L"Expand from Top", L"Expand from Bottom",
    L"Expand from Top Left", L"Expand from Top Right", L"Expand from Bottom Left", L"Expand from Bottom Right",
    L"Expand in from Left", L"Expand in from Right", L"Expand in from Top", L"Expand in from Bottom",
    L"Expand in to Vertical Center", L"Expand in to Horizon", L"Expand in from Sides",
    L"Expand in from Top and Bottom", L"Expand out from Horizon", L"Expand out from Vertical Center",
    L"Wipe from Top Left", L"Wipe from Top Right", L"Wipe from Bottom Left", L"Wipe from Bottom Right",
    L"Wipe in from Top and Bottom", L"Wipe from Horizon", L"Wipe in from Sides",
    L"Wipe out from Vertical Center", L"Build up from Left", L"Build up from Right", L"Build up from Top",
    L"Build up from Bottom", L"Unroll from Left", L"Unroll from Right", L"Unroll from Top",
    L"Unroll from Bottom", L"Slide in from Left", L"Slide in from Right", L"Slide in from Top",
    L"Slide in from Bottom", L"Shrink to Top Left", L"Shrink to Top Right", L"Shrink to Bottom Left",
    L"Shrink to Bottom Right", L"Shrink to Center", L"Quarters Wipe in to Center", L"Quarters Expand to Center",
    L"Quarters Slide in to Center", L"Curved Wipe from Left", L"Curved Wipe from Right",
    L"Curved Wipe from Top", L"Curved Wipe from Bottom", L"Curved Wipe from Top Left",
    L"Curved Wipe from Top Right", L"Curved Wipe from Bottom Left", L"Curved Wipe from Bottom Right",
    L"Bars in from Left", L"Bars in from Right", L"Bars from Top", L"Bars from Bottom", L"Bars Left then Right",
    L"Bars Right then Left", L"Bars Top then Bottom", L"Bars Bottom then Top", L"Bars from both Sides",
    L"Bars from Top and Bottom", L"Shredded from Left", L"Shredded from Right", L"Shredded from Top",
    L"Shredded from Bottom", L"Shredded from Top and Left", L"Shredded from Top and Right",
    L"Shredded from Bottom and Left", L"Shredded from Bottom and Right", L"Shredded from Horizon and Left",
    L"Shredded from Horizon and Right", L"Shredded from Top and Vertical Center",
    L"Shredded from Bottom and Vertical Center", L"Shredded from Center", L"Shredded to Center",
    L"Shredded in to Horizon", L"Shredded in to Vertical Center", L"Shredded out from Horizon",
    L"Shredded out from Vertical Center", L"Expanding Rectangles", L"Expanding Triangles", L"Expanding Circles",
    L"Expanding Diamonds", L"Circular Wipe from Center", L"Circular Wipe to Center",
    L"Crisscross Wipe from Top Left", L"Crisscross Wipe from Top Right", L"Crisscross Wipe from Bottom Left",
    L"Crisscross Wipe from Bottom Right", L"Crisscross Wipe Bounce from Top Left",
    L"Crisscross Wipe Bounce from Top Right", L"Crisscross Wipe Bounce from Bottom Left",
    L"Crisscross Wipe Bounce from Bottom Right", L"Crisscross Wipe from Left Right and Top",
    L"Crisscross Wipe from Left Right and Bottom", L"Crisscross Wipe from Left Top and Bottom",
    L"Crisscross Wipe from Top Left Right and Bottom", L"Crisscross Wipe from Right Top and Bottom",
    L"Crisscross Wipe from Bottom Left Top Right", L"Wipe diagonal from Top Left",
    L"Wipe diagonal from Top Right", L"Wipe diagonal from Bottom Left", L"Wipe diagonal from Bottom Right",
    L"Diagonal Sweep Clockwise", L"Diagonal Sweep Counter-Clockwise", L"Sweep Clockwise",
    L"Sweep Counter-Clockwise", L"Starburst Clockwise", L"Starburst Counter-Clockwise",
    L"Rotational Rectangle Clockwise", L"Rotational Rectangle Counter-Clockwise", L"Rotational Star Clockwise",
    L"Rotational Star Counter-Clockwise", L"Speckled Wipe from Left", L"Speckled Wipe from Right",
    L"Speckled Wipe from Top", L"Speckled Wipe from Bottom", L"Push Left and Slide out",
    L"Push Right and Slide out", L"Push up and Slide out", L"Push down and Slide out", L"Push and Squeeze Left",
    L"Push and Squeeze Right", L"Push and Squeeze up", L"Push and Squeeze down", L"Horizontal Blinds",
    L"Vertical Blinds", L"Uneven Blinds from Left", L"Uneven Blinds from Right", L"Uneven Blinds from Top",
    L"Uneven Blinds from Bottom", L"Rectangles from the Left", L"Rectangles from the Right",
    L"Rectangles from the Top", L"Rectangles from the Bottom", L"Spiralling Rectangle Clockwise",
    L"Spiralling Rectangle Counter-Clockwise", L"Arrow Wipe from Left", L"Arrow Wipe from Right",
    L"Arrow Wipe from Top", L"Arrow Wipe from Bottom", L"Horizontal Bow Tie Wipe", L"Vertical Bow Tie Wipe",
    L"Diagonal Cross from Center", L"Diagonal Cross to Center", L"Zigzag Wipe from Horizon",
    L"Zigzag Wipe from Vertical Center", L"Diamond Wipe from Center", L"Diamond Wipe to Center",
    L"Diamond Wipe In and Out", L"Triangular Wipe", L"Random Big Boxes", L"Page Flip", L"Page Flip 2",
    L"Reverse Page Flip", L"Reverse Page Flip 2", L"Zigzag Wipe To Horizon", L"Zigzag Wipe To Vertical Center",
    L"Random Hearts", L"Random 5 Pointed Stars", L"Random 6 Pointed Stars", L"Random Explosions",
    L"Expanding Hearts", L"Expanding 5 Pointed Stars", L"Expanding 6 Pointed Stars", L"Expanding Explosions",
    L"Expanding Lightning Bolts", L"Heart Wipe from Center", L"Heart Wipe to Center",
    L"5 Pointed Star Wipe from Center", L"5 Pointed Star Wipe to Center", L"6 Pointed Star Wipe from Center",
    L"6 Pointed Star Wipe to Center", L"Explosion Wipe from Center", L"Explosion Wipe to Center",
    L"Cross Wipe from Center", L"Cross Wipe to Center", L"Heart Wipe In and Out",
    L"5 Pointed Star Wipe In and Out", L"6 Pointed Star Wipe In and Out", L"Explosion Wipe In and Out",
    L"Cube Rotate from Left", L"Cube Rotate from Right", L"Cube Rotate from Top", L"Cube Rotate from Bottom",
    L"Soft Wipe from Left", L"Soft Wipe from Right", L"Soft Wipe from Top", L"Soft Wipe from Bottom",
    L"Twist In", L"Twist Out", L"Multiple Twist In", L"Multiple Twist Out",
};

struct TNumbers {
    int32_t Value;
    const char* Numbers;   // "13-16, 18, 20"
};

const TNumbers kFlags[] = {
    {0, "4, 186-189"}, {9, "13-16, 18, 20, 22, 24, 65-68, 76"}, {10, "17, 19, 21, 23, 151-158"},
    {11, "69-73"}, {12, "29-48, 75"}, {15, "143, 144, 169, 170"}, {16, "57-60"}, {17, "2, 3"},
    {256, "1, 215-218"}, {257, "5-12, 27, 28, 49-56, 74"}, {258, "61-64, 147-150, 219-222"}, {259, "77-84"},
    {260, "133-136, 171-176, 179, 180, 184, 190, 191, 223-226"}, {261, "117, 118, 177, 178, 181, 182, 201-210"},
    {262, "183, 211-214"}, {263, "95-112"}, {264, "85-94, 119-132"}, {269, "113-116, 196-200"},
    {270, "25, 26, 185, 192-195"}, {271, "137-142, 145, 146"}, {272, "159-164"}, {273, "165-168"},
};

std::vector<int32_t> ParseNumbers(const char* text)
{
    std::vector<int32_t> out;
    std::istringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        size_t dash = part.find('-');
        int32_t first = std::stoi(part.substr(0, dash));
        int32_t last = dash == std::string::npos ? first : std::stoi(part.substr(dash + 1));
        for (int32_t n = first; n <= last; ++n)
            out.push_back(n);
    }
    return out;
}

const char* const kPlayerDrawn = "1-30, 186-189, 215-222";
const char* const kBanded = "85-113, 119-132, 147-150, 159-168, 185";
const char* const kShapes = "115, 117, 118, 183, 192-214";

uint32_t gSeed = 0;
uint32_t FixedSeed(TBitmap*) { return gSeed; }

bool Inside(HRGN region, int32_t x, int32_t y) { return PtInRegion(region, x, y) != FALSE; }

} // namespace

TEST(ExtraEffects, NamesFamilyCodesAndDrawers)
{
    std::vector<int32_t> flags(IEExtraEffectCount + 1, -1);
    for (const TNumbers& f : kFlags)
        for (int32_t n : ParseNumbers(f.Numbers)) {
            ASSERT_EQ(flags[n], -1) << n;
            flags[n] = f.Value;
        }
    std::set<int32_t> player;
    for (int32_t n : ParseNumbers(kPlayerDrawn))
        player.insert(n);
    std::set<TEffectProc> procs;
    for (int32_t n = 1; n <= IEExtraEffectCount; ++n) {
        const TEffect* e = IEExtraEffect(n);
        ASSERT_EQ(e, &IEExtraEffects[n - 1]);
        EXPECT_EQ(std::wstring(e->Name), std::wstring(kNames[n - 1])) << n;
        EXPECT_EQ(e->Flags, flags[n]) << n;
        EXPECT_EQ(e->Proc == nullptr, player.count(n) == 1) << n;
        if (e->Proc)
            procs.insert(e->Proc);
    }
    EXPECT_EQ(player.size(), 42u);
    EXPECT_EQ(procs.size(), 184u);   // one procedure per transition
    EXPECT_EQ(std::wstring(IEExtraEffect(1)->Name), L"Cross Fade");
    EXPECT_EQ(std::wstring(IEExtraEffect(226)->Name), L"Multiple Twist Out");
    EXPECT_EQ(IEExtraEffect(0), nullptr);
    EXPECT_EQ(IEExtraEffect(227), nullptr);   // the player's pan and zoom has no entry
    EXPECT_EQ(IEExtraEffect(-1), nullptr);
}

TEST(TComplexRegion, EmptyUntilARectangleIsAdded)
{
    TComplexRegion region;
    EXPECT_EQ(region.CreateRegion(), nullptr);
    EXPECT_EQ(region.Count(), 0);
    EXPECT_EQ(region.Bounds().left, 2147483647);
    EXPECT_EQ(region.Bounds().right, -2147483647);
    region.AddRect(5, 5, 5, 5);   // empty, kept as given
    HRGN empty = region.CreateRegion();
    ASSERT_NE(empty, nullptr);
    RECT box;
    EXPECT_EQ(GetRgnBox(empty, &box), NULLREGION);
    DeleteObject(empty);
    EXPECT_EQ(region.Capacity(), 500);
    region.Clear();
    EXPECT_EQ(region.Capacity(), 0);
    EXPECT_EQ(region.CreateRegion(), nullptr);
}

TEST(TComplexRegion, GrowsByFiveHundredAndMakesTheUnion)
{
    TComplexRegion region;
    HRGN expected = CreateRectRgn(0, 0, 0, 0);
    for (int32_t i = 0; i < 501; ++i) {
        int32_t x = (i * 37) % 300, y = (i * 53) % 200;
        region.AddRect(x, y, x + 3 + i % 5, y + 2 + i % 3);
        HRGN one = CreateRectRgn(x, y, x + 3 + i % 5, y + 2 + i % 3);
        CombineRgn(expected, expected, one, RGN_OR);
        DeleteObject(one);
    }
    EXPECT_EQ(region.Count(), 501);
    EXPECT_EQ(region.Capacity(), 1000);
    HRGN made = region.CreateRegion();
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(EqualRgn(made, expected));
    RECT expectedBox;
    GetRgnBox(expected, &expectedBox);
    EXPECT_EQ(region.Bounds().left, expectedBox.left);
    EXPECT_EQ(region.Bounds().bottom, expectedBox.bottom);
    DeleteObject(made);
    DeleteObject(expected);
}

TEST(TransitionRegions, PolygonFromPairsAndJoins)
{
    HRGN triangle = IECreatePolygonRegion({0, 0, 20, 0, 0, 20, 99});   // the unpaired 99 is left out
    ASSERT_NE(triangle, nullptr);
    RECT box;
    GetRgnBox(triangle, &box);
    EXPECT_LE(box.right, 20);
    EXPECT_LE(box.bottom, 20);
    EXPECT_TRUE(Inside(triangle, 3, 3));
    EXPECT_FALSE(Inside(triangle, 15, 15));
    EXPECT_EQ(IECreatePolygonRegion({5}), nullptr);

    HRGN joined = IEJoinRegion(nullptr, CreateRectRgn(0, 0, 10, 10), RGN_OR);
    joined = IEJoinRegion(joined, CreateRectRgn(20, 0, 30, 10), RGN_OR);
    joined = IEJoinRegion(joined, nullptr, RGN_OR);
    EXPECT_TRUE(Inside(joined, 25, 5));
    joined = IEJoinRegion(joined, triangle, RGN_XOR);
    EXPECT_FALSE(Inside(joined, 3, 3));
    EXPECT_TRUE(Inside(joined, 12, 5));
    DeleteObject(joined);

    TIERegionUnion parts;
    EXPECT_EQ(parts.Union(), nullptr);
    HRGN expected = CreateRectRgn(0, 0, 0, 0);
    for (int32_t i = 0; i < 7; ++i) {   // an odd count leaves one part over in each round
        parts.Add(CreateRectRgn(i * 10, i, i * 10 + 5 + i, 5 + i));
        HRGN one = CreateRectRgn(i * 10, i, i * 10 + 5 + i, 5 + i);
        CombineRgn(expected, expected, one, RGN_OR);
        DeleteObject(one);
    }
    parts.Add(nullptr);
    HRGN all = parts.Union();
    EXPECT_TRUE(EqualRgn(all, expected));
    EXPECT_EQ(parts.Union(), nullptr);   // handed over
    DeleteObject(all);
    DeleteObject(expected);
}

TEST(ShapeRegions, RegionsOfTheShapes)
{
    EXPECT_EQ(IECreateShapeRegion(16, 0, 0, 100, 100), nullptr);
    EXPECT_EQ(IECreateShapeRegion(127, 0, 0, 100, 100), nullptr);
    for (uint8_t kind = 0; kind < 16; ++kind) {
        TIERegionHolder plain(IECreateShapeRegion(kind, 3, 4, 90, 70));
        TIERegionHolder high(IECreateShapeRegion((uint8_t)(kind + 128), 3, 4, 90, 70));
        TIERegionHolder inRect(IECreateShapeRegionInRect(kind, RECT{3, 4, 93, 74}));
        ASSERT_NE(plain.Get(), nullptr) << int(kind);
        EXPECT_TRUE(EqualRgn(plain.Get(), high.Get())) << int(kind);
        EXPECT_TRUE(EqualRgn(plain.Get(), inRect.Get())) << int(kind);
    }
    struct Probe { uint8_t Kind; int32_t X, Y; bool In; };
    const Probe probes[] = {
        {IEShapeStar5, 100, 50, true},  {IEShapeStar5, 52, 2, false},   // the star of 201 x 101 at 50
        {IEShapeCross, 50, 5, true},    {IEShapeCross, 15, 35, true},   {IEShapeCross, 5, 35, false},
        {IEShapeCross, 20, 5, false},   {IEShapeCross, 41, 5, false},   {IEShapeCross, 57, 5, false},
        {IEShapeHeart, 26, 26, true},   {IEShapeHeart, 50, 45, true},   {IEShapeHeart, 50, 97, true},
        {IEShapeHeart, 5, 90, false},   {IEShapeHeart, 50, 2, false},
    };
    for (const Probe& p : probes) {
        int32_t w = p.Kind == IEShapeStar5 ? 201 : 100, h = p.Kind == IEShapeStar5 ? 101 : 100;
        TIERegionHolder region(IECreateShapeRegion(p.Kind, 0, 0, w, h));
        EXPECT_EQ(Inside(region.Get(), p.X, p.Y), p.In) << int(p.Kind) << " (" << p.X << ", " << p.Y << ")";
    }
}

TEST(BandedTransitions, BarsRegionInBothPhases)
{
    // "Bars in from Right" on 500 x 400: bars 9 thick, at Progress 25 (extent 250) the first phase,
    // at 75 (extent 750) the second.
    TIERegionHolder first(IECreateBarsRegion(250, 0, 500, 400, 1, 0));
    EXPECT_TRUE(Inside(first.Get(), 250, 0));
    EXPECT_TRUE(Inside(first.Get(), 499, 8));
    EXPECT_FALSE(Inside(first.Get(), 249, 0));
    EXPECT_FALSE(Inside(first.Get(), 400, 9));
    EXPECT_TRUE(Inside(first.Get(), 400, 18));
    EXPECT_TRUE(Inside(first.Get(), 400, 26));
    TIERegionHolder second(IECreateBarsRegion(750, 0, 500, 400, 1, 0));
    EXPECT_TRUE(Inside(second.Get(), 0, 0));
    EXPECT_TRUE(Inside(second.Get(), 0, 26));
    EXPECT_TRUE(Inside(second.Get(), 250, 9));
    EXPECT_TRUE(Inside(second.Get(), 499, 17));
    EXPECT_FALSE(Inside(second.Get(), 249, 9));
    EXPECT_FALSE(Inside(second.Get(), 249, 35));
    // Mode 3 fills both bars of a pair, one from each side.
    TIERegionHolder both(IECreateBarsRegion(0, 100, 500, 400, 0, 3));
    EXPECT_TRUE(Inside(both.Get(), 0, 399));
    EXPECT_FALSE(Inside(both.Get(), 0, 100));
    EXPECT_TRUE(Inside(both.Get(), 9, 0));
    EXPECT_FALSE(Inside(both.Get(), 9, 300));
}

TEST(BandedTransitions, SpecksAheadOfTheSolidPart)
{
    // 500 x 400 at extent 100: a zone 50 deep of 2-pixel specks, the one next to the edge always.
    RandSeed = 99;
    TIERegionHolder specks(IECreateSpeckleRegion(100, 0, 500, 400, 2, 0));
    for (int32_t y = 0; y < 400; y += 37) {
        EXPECT_TRUE(Inside(specks.Get(), 99, y));
        EXPECT_TRUE(Inside(specks.Get(), 101, y));
        EXPECT_FALSE(Inside(specks.Get(), 150, y));
    }
    RECT box;
    GetRgnBox(specks.Get(), &box);
    EXPECT_EQ(box.right, 150);   // the farthest speck, cell 25, is drawn now and then
}

TEST(BandedTransitions, OldAndNewAreasAtZeroHalfAndFull)
{
    // 200 x 100 frames: X = 100, Y = 50 at Progress 50.
    CheckFrames(200, 100, {
        {85, 0, {{0, 0, 'O'}, {199, 99, 'O'}}},
        {85, 50, {{199, 1, 'N'}, {5, 4, 'O'}, {100, 97, 'N'}, {100, 99, 'O'}}},
        {85, 100, {{5, 4, 'N'}, {0, 0, 'N'}, {199, 99, 'N'}}},
        {86, 25, {{150, 1, 'N'}, {50, 1, 'O'}, {150, 4, 'O'}}},
        {94, 50, {{1, 75, 'N'}, {1, 25, 'O'}, {4, 25, 'N'}, {4, 75, 'O'}}},
        {94, 100, {{1, 25, 'N'}, {4, 75, 'N'}}},
        {132, 0, {{1, 1, 'O'}, {100, 50, 'O'}}},
        {132, 50, {{1, 1, 'N'}, {4, 4, 'O'}}},
        {132, 100, {{0, 0, 'N'}, {4, 4, 'N'}, {199, 99, 'N'}}},
        {95, 0, {{100, 50, 'O'}}},
        {95, 50, {{50, 50, 'N'}, {150, 50, 'O'}}},
        {95, 100, {{199, 99, 'N'}, {0, 0, 'N'}}},
        {107, 50, {{100, 50, 'N'}, {10, 5, 'O'}}},
        {107, 100, {{0, 0, 'N'}, {199, 99, 'N'}}},
        {108, 50, {{10, 50, 'N'}, {100, 50, 'O'}}},
        {147, 0, {{100, 50, 'O'}}},
        {147, 50, {{50, 50, 'N'}, {150, 50, 'O'}}},
        {147, 100, {{199, 99, 'N'}, {100, 0, 'N'}}},
        {148, 50, {{150, 50, 'N'}, {50, 50, 'O'}}},
        {159, 0, {{10, 2, 'O'}}},
        {159, 50, {{10, 2, 'N'}, {10, 5, 'O'}, {10, 6, 'O'}, {10, 8, 'N'}}},
        {159, 100, {{10, 5, 'N'}, {10, 99, 'N'}}},
        {160, 50, {{5, 50, 'N'}, {12, 50, 'O'}}},
        {161, 0, {{0, 50, 'O'}}},
        {161, 50, {{25, 50, 'N'}, {75, 50, 'O'}, {125, 50, 'N'}, {175, 50, 'O'}}},
        {161, 100, {{0, 0, 'N'}, {199, 99, 'N'}}},
        {164, 50, {{10, 90, 'N'}, {10, 60, 'O'}, {10, 40, 'N'}, {10, 10, 'O'}}},
        {165, 0, {{25, 0, 'O'}}},
        {165, 50, {{75, 0, 'O'}, {75, 10, 'N'}, {25, 0, 'N'}}},
        {168, 50, {{0, 60, 'O'}, {20, 60, 'N'}, {0, 90, 'N'}}},
        {113, 0, {{11, 11, 'O'}}},
        {113, 50, {{11, 11, 'N'}, {22, 22, 'O'}}},
        {113, 100, {{22, 22, 'N'}, {199, 99, 'N'}}},
        {185, 0, {{0, 0, 'O'}, {100, 50, 'O'}}},
        {185, 100, {{0, 0, 'N'}, {100, 50, 'N'}, {199, 99, 'N'}}},
    });
}

TEST(BandedTransitions, EveryOneCoversTheWholeFrameAtTheEnd)
{
    gSeed = 3;
    IETransitionSeedHook = FixedSeed;
    TFrames frames(200, 100);
    for (int32_t n : ParseNumbers(kBanded)) {
        frames.Reset();
        frames.Draw(n, 100);
        int32_t old = 0;
        for (int32_t y = 0; y < 100; ++y)
            for (int32_t x = 0; x < 200; ++x)
                old += frames.At(x, y) != 'N';
        EXPECT_EQ(old, 0) << "effect " << n;
    }
    IETransitionSeedHook = nullptr;
}

TEST(ShapeTransitions, OldAndNewAreasAtZeroHalfAndFull)
{
    gSeed = 4321;
    IETransitionSeedHook = FixedSeed;
    CheckFrames(200, 100, {
        {117, 0, {{100, 50, 'O'}}},
        {117, 50, {{100, 50, 'N'}, {0, 0, 'O'}, {199, 99, 'O'}}},
        {117, 100, {{0, 0, 'N'}, {199, 99, 'N'}}},
        {118, 0, {{0, 0, 'O'}, {100, 50, 'O'}}},
        {118, 50, {{0, 0, 'N'}, {100, 50, 'O'}}},
        {118, 100, {{0, 0, 'N'}, {100, 50, 'N'}}},
        {201, 0, {{0, 0, 'O'}}},
        {201, 50, {{100, 50, 'N'}, {0, 0, 'O'}}},
        {201, 100, {{100, 50, 'N'}, {0, 0, 'N'}}},
        {183, 0, {{100, 50, 'O'}, {0, 0, 'O'}}},
        {183, 50, {{100, 50, 'O'}, {100, 10, 'N'}, {2, 2, 'O'}}},
        {183, 100, {{100, 50, 'N'}, {5, 5, 'N'}}},
        {211, 0, {{100, 50, 'O'}}},
        {211, 50, {{100, 50, 'O'}, {100, 5, 'N'}}},
        {211, 100, {{100, 20, 'N'}, {0, 0, 'N'}}},
        {115, 0, {{11, 11, 'O'}}},
        {115, 50, {{11, 11, 'N'}, {22, 22, 'O'}}},
        {115, 100, {{22, 22, 'N'}, {0, 0, 'N'}}},
        {197, 0, {{11, 11, 'O'}}},
        {197, 50, {{11, 11, 'N'}}},
        {200, 0, {{11, 11, 'O'}}},
        {192, 0, {{5, 5, 'O'}}},
        {192, 100, {{5, 5, 'N'}, {95, 45, 'N'}}},
        {193, 100, {{3, 3, 'N'}}},
    });
    IETransitionSeedHook = nullptr;
}

TEST(ShapeTransitions, CrossKeepsTheOldImageOutsideItWhateverTheFrameHeld)
{
    TFrames frames(200, 100);
    for (int32_t progress : {0, 50, 100}) {
        frames.Reset(kGreen);
        frames.Draw(209, progress);
        EXPECT_EQ(frames.At(10, 80), 'O') << progress;
        EXPECT_EQ(frames.At(190, 80), 'O') << progress;
        EXPECT_EQ(frames.At(100, 50), progress == 0 ? 'O' : 'N') << progress;
    }
    frames.Reset(kGreen);
    frames.Draw(209, 50);
    EXPECT_EQ(frames.At(10, 10), 'N');   // the crossbar reaches past the frame's sides
}

TEST(RandomTransitions, FixedOrderGrowsAndTheGeneratorIsRestored)
{
    gSeed = 777;
    IETransitionSeedHook = FixedSeed;
    for (int32_t effect : {185, 192, 195}) {
        TFrames frames(200, 100);
        std::vector<std::string> shown;
        for (int32_t progress : {20, 21, 60, 61}) {
            frames.Reset();
            RandSeed = 0xABCDEF01u;
            frames.Draw(effect, progress);
            EXPECT_EQ(RandSeed, 0xABCDEF01u) << effect;
            std::string row;
            for (int32_t y = 0; y < 100; y += 3)
                for (int32_t x = 0; x < 200; x += 3)
                    row += frames.At(x, y);
            shown.push_back(row);
        }
        size_t news = 0;
        for (size_t i = 0; i < shown[0].size(); ++i) {
            if (shown[0][i] == 'N') {
                EXPECT_EQ(shown[2][i], 'N') << "effect " << effect << " sample " << i;   // once shown, shown
                ++news;
            }
        }
        EXPECT_GT(news, 0u) << effect;
        EXPECT_LT(news, shown[0].size()) << effect;
    }
    // The same seed gives the same frame; another seed another one.
    TFrames a(200, 100), b(200, 100);
    gSeed = 1;
    a.Draw(185, 50);
    b.Draw(185, 50);
    gSeed = 2;
    TFrames c(200, 100);
    c.Draw(185, 50);
    std::string sa, sb, sc;
    for (int32_t y = 0; y < 100; y += 5)
        for (int32_t x = 0; x < 200; x += 5) {
            sa += a.At(x, y);
            sb += b.At(x, y);
            sc += c.At(x, y);
        }
    EXPECT_EQ(sa, sb);
    EXPECT_NE(sa, sc);
    IETransitionSeedHook = nullptr;
}

TEST(BandedAndShapeTransitions, EveryProcedureLeavesNoClipRegionAndDrawsOnlyTheTwoImages)
{
    gSeed = 5;
    IETransitionSeedHook = FixedSeed;
    std::vector<int32_t> effects = ParseNumbers(kBanded);
    for (int32_t n : ParseNumbers(kShapes))
        effects.push_back(n);
    EXPECT_EQ(effects.size(), 58u + 27u);
    TFrames frames(61, 37);   // odd sizes
    for (int32_t n : effects)
        for (int32_t progress : {0, 1, 37, 99, 100}) {
            frames.Reset();
            frames.Draw(n, progress);   // checks the clip region
            for (int32_t y = 0; y < 37; y += 4)
                for (int32_t x = 0; x < 61; x += 4) {
                    char c = frames.At(x, y);
                    ASSERT_TRUE(c == 'O' || c == 'N') << "effect " << n << " at " << progress;
                }
        }
    // Frames so small that the random shapes' spacing truncates to 0 still end (spacing 1).
    TFrames tiny(5, 5);
    for (int32_t n = 192; n <= 195; ++n)
        tiny.Draw(n, 100);
    IETransitionSeedHook = nullptr;
}
