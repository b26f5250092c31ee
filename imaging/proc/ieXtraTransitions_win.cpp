// The table of transitions, the rectangle-region builder and the helpers the drawing procedures
// share.
#include "ieXtraTransitions.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>


const TEffect IEExtraEffects[IEExtraEffectCount] = {
    {L"Cross Fade", nullptr, 256},   // 1
    {L"Fade Out", nullptr, 17},   // 2
    {L"Fade In", nullptr, 17},   // 3
    {L"Fade Out then In", nullptr, 0},   // 4
    {L"Wipe Left to Right", nullptr, 257},   // 5
    {L"Wipe Left to Right 2", nullptr, 257},   // 6
    {L"Wipe Right to Left", nullptr, 257},   // 7
    {L"Wipe Right to Left 2", nullptr, 257},   // 8
    {L"Wipe Top to Bottom", nullptr, 257},   // 9
    {L"Wipe Top to Bottom 2", nullptr, 257},   // 10
    {L"Wipe Bottom to Top", nullptr, 257},   // 11
    {L"Wipe Bottom to Top 2", nullptr, 257},   // 12
    {L"Slide from Top Left", nullptr, 9},   // 13
    {L"Slide from Top Right", nullptr, 9},   // 14
    {L"Slide from Bottom Left", nullptr, 9},   // 15
    {L"Slide from Bottom Right", nullptr, 9},   // 16
    {L"Push Left to Right", nullptr, 10},   // 17
    {L"Slide Out Left to Right", nullptr, 9},   // 18
    {L"Push Right to Left", nullptr, 10},   // 19
    {L"Slide Out Right to Left", nullptr, 9},   // 20
    {L"Push Top to Bottom", nullptr, 10},   // 21
    {L"Slide Out Top to Bottom", nullptr, 9},   // 22
    {L"Push Bottom to Top", nullptr, 10},   // 23
    {L"Slide Out Bottom to Top", nullptr, 9},   // 24
    {L"Random Points", nullptr, 270},   // 25
    {L"Random Boxes", nullptr, 270},   // 26
    {L"Wipe Out from Center", nullptr, 257},   // 27
    {L"Wipe In to Center", nullptr, 257},   // 28
    {L"Expand Out from Center", nullptr, 12},   // 29
    {L"Expand In to Center", nullptr, 12},   // 30
    {L"Expand from Left", IEExpandFromLeft, 12},   // 31
    {L"Expand from Right", IEExpandFromRight, 12},   // 32
    {L"Expand from Top", IEExpandFromTop, 12},   // 33
    {L"Expand from Bottom", IEExpandFromBottom, 12},   // 34
    {L"Expand from Top Left", IEExpandFromTopLeft, 12},   // 35
    {L"Expand from Top Right", IEExpandFromTopRight, 12},   // 36
    {L"Expand from Bottom Left", IEExpandFromBottomLeft, 12},   // 37
    {L"Expand from Bottom Right", IEExpandFromBottomRight, 12},   // 38
    {L"Expand in from Left", IEExpandInFromLeft, 12},   // 39
    {L"Expand in from Right", IEExpandInFromRight, 12},   // 40
    {L"Expand in from Top", IEExpandInFromTop, 12},   // 41
    {L"Expand in from Bottom", IEExpandInFromBottom, 12},   // 42
    {L"Expand in to Vertical Center", IEExpandInToVerticalCenter, 12},   // 43
    {L"Expand in to Horizon", IEExpandInToHorizon, 12},   // 44
    {L"Expand in from Sides", IEExpandInFromSides, 12},   // 45
    {L"Expand in from Top and Bottom", IEExpandInFromTopAndBottom, 12},   // 46
    {L"Expand out from Horizon", IEExpandOutFromHorizon, 12},   // 47
    {L"Expand out from Vertical Center", IEExpandOutFromVerticalCenter, 12},   // 48
    {L"Wipe from Top Left", IEWipeFromTopLeft, 257},   // 49
    {L"Wipe from Top Right", IEWipeFromTopRight, 257},   // 50
    {L"Wipe from Bottom Left", IEWipeFromBottomLeft, 257},   // 51
    {L"Wipe from Bottom Right", IEWipeFromBottomRight, 257},   // 52
    {L"Wipe in from Top and Bottom", IEWipeInFromTopAndBottom, 257},   // 53
    {L"Wipe from Horizon", IEWipeFromHorizon, 257},   // 54
    {L"Wipe in from Sides", IEWipeInFromSides, 257},   // 55
    {L"Wipe out from Vertical Center", IEWipeOutFromVerticalCenter, 257},   // 56
    {L"Build up from Left", IEBuildUpFromLeft, 16},   // 57
    {L"Build up from Right", IEBuildUpFromRight, 16},   // 58
    {L"Build up from Top", IEBuildUpFromTop, 16},   // 59
    {L"Build up from Bottom", IEBuildUpFromBottom, 16},   // 60
    {L"Unroll from Left", IEUnrollFromLeft, 258},   // 61
    {L"Unroll from Right", IEUnrollFromRight, 258},   // 62
    {L"Unroll from Top", IEUnrollFromTop, 258},   // 63
    {L"Unroll from Bottom", IEUnrollFromBottom, 258},   // 64
    {L"Slide in from Left", IESlideInFromLeft, 9},   // 65
    {L"Slide in from Right", IESlideInFromRight, 9},   // 66
    {L"Slide in from Top", IESlideInFromTop, 9},   // 67
    {L"Slide in from Bottom", IESlideInFromBottom, 9},   // 68
    {L"Shrink to Top Left", IEShrinkToTopLeft, 11},   // 69
    {L"Shrink to Top Right", IEShrinkToTopRight, 11},   // 70
    {L"Shrink to Bottom Left", IEShrinkToBottomLeft, 11},   // 71
    {L"Shrink to Bottom Right", IEShrinkToBottomRight, 11},   // 72
    {L"Shrink to Center", IEShrinkToCenter, 11},   // 73
    {L"Quarters Wipe in to Center", IEQuartersWipeInToCenter, 257},   // 74
    {L"Quarters Expand to Center", IEQuartersExpandToCenter, 12},   // 75
    {L"Quarters Slide in to Center", IEQuartersSlideInToCenter, 9},   // 76
    {L"Curved Wipe from Left", IECurvedWipeFromLeft, 259},   // 77
    {L"Curved Wipe from Right", IECurvedWipeFromRight, 259},   // 78
    {L"Curved Wipe from Top", IECurvedWipeFromTop, 259},   // 79
    {L"Curved Wipe from Bottom", IECurvedWipeFromBottom, 259},   // 80
    {L"Curved Wipe from Top Left", IECurvedWipeFromTopLeft, 259},   // 81
    {L"Curved Wipe from Top Right", IECurvedWipeFromTopRight, 259},   // 82
    {L"Curved Wipe from Bottom Left", IECurvedWipeFromBottomLeft, 259},   // 83
    {L"Curved Wipe from Bottom Right", IECurvedWipeFromBottomRight, 259},   // 84
    {L"Bars in from Left", IEBarsInFromLeft, 264},   // 85
    {L"Bars in from Right", IEBarsInFromRight, 264},   // 86
    {L"Bars from Top", IEBarsFromTop, 264},   // 87
    {L"Bars from Bottom", IEBarsFromBottom, 264},   // 88
    {L"Bars Left then Right", IEBarsLeftThenRight, 264},   // 89
    {L"Bars Right then Left", IEBarsRightThenLeft, 264},   // 90
    {L"Bars Top then Bottom", IEBarsTopThenBottom, 264},   // 91
    {L"Bars Bottom then Top", IEBarsBottomThenTop, 264},   // 92
    {L"Bars from both Sides", IEBarsFromBothSides, 264},   // 93
    {L"Bars from Top and Bottom", IEBarsFromTopAndBottom, 264},   // 94
    {L"Shredded from Left", IEShreddedFromLeft, 263},   // 95
    {L"Shredded from Right", IEShreddedFromRight, 263},   // 96
    {L"Shredded from Top", IEShreddedFromTop, 263},   // 97
    {L"Shredded from Bottom", IEShreddedFromBottom, 263},   // 98
    {L"Shredded from Top and Left", IEShreddedFromTopAndLeft, 263},   // 99
    {L"Shredded from Top and Right", IEShreddedFromTopAndRight, 263},   // 100
    {L"Shredded from Bottom and Left", IEShreddedFromBottomAndLeft, 263},   // 101
    {L"Shredded from Bottom and Right", IEShreddedFromBottomAndRight, 263},   // 102
    {L"Shredded from Horizon and Left", IEShreddedFromHorizonAndLeft, 263},   // 103
    {L"Shredded from Horizon and Right", IEShreddedFromHorizonAndRight, 263},   // 104
    {L"Shredded from Top and Vertical Center", IEShreddedFromTopAndVerticalCenter, 263},   // 105
    {L"Shredded from Bottom and Vertical Center", IEShreddedFromBottomAndVerticalCenter, 263},   // 106
    {L"Shredded from Center", IEShreddedFromCenter, 263},   // 107
    {L"Shredded to Center", IEShreddedToCenter, 263},   // 108
    {L"Shredded in to Horizon", IEShreddedInToHorizon, 263},   // 109
    {L"Shredded in to Vertical Center", IEShreddedInToVerticalCenter, 263},   // 110
    {L"Shredded out from Horizon", IEShreddedOutFromHorizon, 263},   // 111
    {L"Shredded out from Vertical Center", IEShreddedOutFromVerticalCenter, 263},   // 112
    {L"Expanding Rectangles", IEExpandingRectangles, 269},   // 113
    {L"Expanding Triangles", IEExpandingTriangles, 269},   // 114
    {L"Expanding Circles", IEExpandingCircles, 269},   // 115
    {L"Expanding Diamonds", IEExpandingDiamonds, 269},   // 116
    {L"Circular Wipe from Center", IECircularWipeFromCenter, 261},   // 117
    {L"Circular Wipe to Center", IECircularWipeToCenter, 261},   // 118
    {L"Crisscross Wipe from Top Left", IECrisscrossWipeFromTopLeft, 264},   // 119
    {L"Crisscross Wipe from Top Right", IECrisscrossWipeFromTopRight, 264},   // 120
    {L"Crisscross Wipe from Bottom Left", IECrisscrossWipeFromBottomLeft, 264},   // 121
    {L"Crisscross Wipe from Bottom Right", IECrisscrossWipeFromBottomRight, 264},   // 122
    {L"Crisscross Wipe Bounce from Top Left", IECrisscrossWipeBounceFromTopLeft, 264},   // 123
    {L"Crisscross Wipe Bounce from Top Right", IECrisscrossWipeBounceFromTopRight, 264},   // 124
    {L"Crisscross Wipe Bounce from Bottom Left", IECrisscrossWipeBounceFromBottomLeft, 264},   // 125
    {L"Crisscross Wipe Bounce from Bottom Right", IECrisscrossWipeBounceFromBottomRight, 264},   // 126
    {L"Crisscross Wipe from Left Right and Top", IECrisscrossWipeFromLeftRightAndTop, 264},   // 127
    {L"Crisscross Wipe from Left Right and Bottom", IECrisscrossWipeFromLeftRightAndBottom, 264},   // 128
    {L"Crisscross Wipe from Left Top and Bottom", IECrisscrossWipeFromLeftTopAndBottom, 264},   // 129
    {L"Crisscross Wipe from Top Left Right and Bottom", IECrisscrossWipeFromTopLeftRightAndBottom, 264},   // 130
    {L"Crisscross Wipe from Right Top and Bottom", IECrisscrossWipeFromRightTopAndBottom, 264},   // 131
    {L"Crisscross Wipe from Bottom Left Top Right", IECrisscrossWipeFromBottomLeftTopRight, 264},   // 132
    {L"Wipe diagonal from Top Left", IEWipeDiagonalFromTopLeft, 260},   // 133
    {L"Wipe diagonal from Top Right", IEWipeDiagonalFromTopRight, 260},   // 134
    {L"Wipe diagonal from Bottom Left", IEWipeDiagonalFromBottomLeft, 260},   // 135
    {L"Wipe diagonal from Bottom Right", IEWipeDiagonalFromBottomRight, 260},   // 136
    {L"Diagonal Sweep Clockwise", IEDiagonalSweepClockwise, 271},   // 137
    {L"Diagonal Sweep Counter-Clockwise", IEDiagonalSweepCounterClockwise, 271},   // 138
    {L"Sweep Clockwise", IESweepClockwise, 271},   // 139
    {L"Sweep Counter-Clockwise", IESweepCounterClockwise, 271},   // 140
    {L"Starburst Clockwise", IEStarburstClockwise, 271},   // 141
    {L"Starburst Counter-Clockwise", IEStarburstCounterClockwise, 271},   // 142
    {L"Rotational Rectangle Clockwise", IERotationalRectangleClockwise, 15},   // 143
    {L"Rotational Rectangle Counter-Clockwise", IERotationalRectangleCounterClockwise, 15},   // 144
    {L"Rotational Star Clockwise", IERotationalStarClockwise, 271},   // 145
    {L"Rotational Star Counter-Clockwise", IERotationalStarCounterClockwise, 271},   // 146
    {L"Speckled Wipe from Left", IESpeckledWipeFromLeft, 258},   // 147
    {L"Speckled Wipe from Right", IESpeckledWipeFromRight, 258},   // 148
    {L"Speckled Wipe from Top", IESpeckledWipeFromTop, 258},   // 149
    {L"Speckled Wipe from Bottom", IESpeckledWipeFromBottom, 258},   // 150
    {L"Push Left and Slide out", IEPushLeftAndSlideOut, 10},   // 151
    {L"Push Right and Slide out", IEPushRightAndSlideOut, 10},   // 152
    {L"Push up and Slide out", IEPushUpAndSlideOut, 10},   // 153
    {L"Push down and Slide out", IEPushDownAndSlideOut, 10},   // 154
    {L"Push and Squeeze Left", IEPushAndSqueezeLeft, 10},   // 155
    {L"Push and Squeeze Right", IEPushAndSqueezeRight, 10},   // 156
    {L"Push and Squeeze up", IEPushAndSqueezeUp, 10},   // 157
    {L"Push and Squeeze down", IEPushAndSqueezeDown, 10},   // 158
    {L"Horizontal Blinds", IEHorizontalBlinds, 272},   // 159
    {L"Vertical Blinds", IEVerticalBlinds, 272},   // 160
    {L"Uneven Blinds from Left", IEUnevenBlindsFromLeft, 272},   // 161
    {L"Uneven Blinds from Right", IEUnevenBlindsFromRight, 272},   // 162
    {L"Uneven Blinds from Top", IEUnevenBlindsFromTop, 272},   // 163
    {L"Uneven Blinds from Bottom", IEUnevenBlindsFromBottom, 272},   // 164
    {L"Rectangles from the Left", IERectanglesFromTheLeft, 273},   // 165
    {L"Rectangles from the Right", IERectanglesFromTheRight, 273},   // 166
    {L"Rectangles from the Top", IERectanglesFromTheTop, 273},   // 167
    {L"Rectangles from the Bottom", IERectanglesFromTheBottom, 273},   // 168
    {L"Spiralling Rectangle Clockwise", IESpirallingRectangleClockwise, 15},   // 169
    {L"Spiralling Rectangle Counter-Clockwise", IESpirallingRectangleCounterClockwise, 15},   // 170
    {L"Arrow Wipe from Left", IEArrowWipeFromLeft, 260},   // 171
    {L"Arrow Wipe from Right", IEArrowWipeFromRight, 260},   // 172
    {L"Arrow Wipe from Top", IEArrowWipeFromTop, 260},   // 173
    {L"Arrow Wipe from Bottom", IEArrowWipeFromBottom, 260},   // 174
    {L"Horizontal Bow Tie Wipe", IEHorizontalBowTieWipe, 260},   // 175
    {L"Vertical Bow Tie Wipe", IEVerticalBowTieWipe, 260},   // 176
    {L"Diagonal Cross from Center", IEDiagonalCrossFromCenter, 261},   // 177
    {L"Diagonal Cross to Center", IEDiagonalCrossToCenter, 261},   // 178
    {L"Zigzag Wipe from Horizon", IEZigzagWipeFromHorizon, 260},   // 179
    {L"Zigzag Wipe from Vertical Center", IEZigzagWipeFromVerticalCenter, 260},   // 180
    {L"Diamond Wipe from Center", IEDiamondWipeFromCenter, 261},   // 181
    {L"Diamond Wipe to Center", IEDiamondWipeToCenter, 261},   // 182
    {L"Diamond Wipe In and Out", IEDiamondWipeInAndOut, 262},   // 183
    {L"Triangular Wipe", IETriangularWipe, 260},   // 184
    {L"Random Big Boxes", IERandomBigBoxes, 270},   // 185
    {L"Page Flip", nullptr, 0},   // 186
    {L"Page Flip 2", nullptr, 0},   // 187
    {L"Reverse Page Flip", nullptr, 0},   // 188
    {L"Reverse Page Flip 2", nullptr, 0},   // 189
    {L"Zigzag Wipe To Horizon", IEZigzagWipeToHorizon, 260},   // 190
    {L"Zigzag Wipe To Vertical Center", IEZigzagWipeToVerticalCenter, 260},   // 191
    {L"Random Hearts", IERandomHearts, 270},   // 192
    {L"Random 5 Pointed Stars", IERandom5PointedStars, 270},   // 193
    {L"Random 6 Pointed Stars", IERandom6PointedStars, 270},   // 194
    {L"Random Explosions", IERandomExplosions, 270},   // 195
    {L"Expanding Hearts", IEExpandingHearts, 269},   // 196
    {L"Expanding 5 Pointed Stars", IEExpanding5PointedStars, 269},   // 197
    {L"Expanding 6 Pointed Stars", IEExpanding6PointedStars, 269},   // 198
    {L"Expanding Explosions", IEExpandingExplosions, 269},   // 199
    {L"Expanding Lightning Bolts", IEExpandingLightningBolts, 269},   // 200
    {L"Heart Wipe from Center", IEHeartWipeFromCenter, 261},   // 201
    {L"Heart Wipe to Center", IEHeartWipeToCenter, 261},   // 202
    {L"5 Pointed Star Wipe from Center", IE5PointedStarWipeFromCenter, 261},   // 203
    {L"5 Pointed Star Wipe to Center", IE5PointedStarWipeToCenter, 261},   // 204
    {L"6 Pointed Star Wipe from Center", IE6PointedStarWipeFromCenter, 261},   // 205
    {L"6 Pointed Star Wipe to Center", IE6PointedStarWipeToCenter, 261},   // 206
    {L"Explosion Wipe from Center", IEExplosionWipeFromCenter, 261},   // 207
    {L"Explosion Wipe to Center", IEExplosionWipeToCenter, 261},   // 208
    {L"Cross Wipe from Center", IECrossWipeFromCenter, 261},   // 209
    {L"Cross Wipe to Center", IECrossWipeToCenter, 261},   // 210
    {L"Heart Wipe In and Out", IEHeartWipeInAndOut, 262},   // 211
    {L"5 Pointed Star Wipe In and Out", IE5PointedStarWipeInAndOut, 262},   // 212
    {L"6 Pointed Star Wipe In and Out", IE6PointedStarWipeInAndOut, 262},   // 213
    {L"Explosion Wipe In and Out", IEExplosionWipeInAndOut, 262},   // 214
    {L"Cube Rotate from Left", nullptr, 256},   // 215
    {L"Cube Rotate from Right", nullptr, 256},   // 216
    {L"Cube Rotate from Top", nullptr, 256},   // 217
    {L"Cube Rotate from Bottom", nullptr, 256},   // 218
    {L"Soft Wipe from Left", nullptr, 258},   // 219
    {L"Soft Wipe from Right", nullptr, 258},   // 220
    {L"Soft Wipe from Top", nullptr, 258},   // 221
    {L"Soft Wipe from Bottom", nullptr, 258},   // 222
    {L"Twist In", IETwistIn, 260},   // 223
    {L"Twist Out", IETwistOut, 260},   // 224
    {L"Multiple Twist In", IEMultipleTwistIn, 260},   // 225
    {L"Multiple Twist Out", IEMultipleTwistOut, 260},   // 226
};

const TEffect* IEExtraEffect(int32_t AEffect)
{
    if (AEffect < 1 || AEffect > IEExtraEffectCount)
        return nullptr;
    return &IEExtraEffects[AEffect - 1];
}

void IEGetTransitionSizes(const RECT& ARect, int32_t Progress, int32_t& W, int32_t& H, int32_t& X, int32_t& Y)
{
    IEGetTransitionSizes(TIERect{ARect.left, ARect.top, ARect.right, ARect.bottom}, Progress, W, H, X, Y);
}

// ---- TComplexRegion --------------------------------------------------------------------------------

namespace {
constexpr int32_t kHeaderBytes = 32;   // RGNDATAHEADER
constexpr int32_t kRectBytes = 16;     // RECT
constexpr int32_t kGrowBy = 500;
constexpr int32_t kChunk = 64;
// The largest capacity whose block size (header, 4-byte tail, rectangles) fits in 32 bits.
constexpr int32_t kMaxCapacity = (0x7FFFFFFF - kHeaderBytes - 4) / kRectBytes;
}

TComplexRegion::TComplexRegion()
{
    Clear();
}

TComplexRegion::~TComplexRegion()
{
    std::free(FRgnData);
}

void TComplexRegion::Clear()
{
    std::free(FRgnData);
    FRgnData = nullptr;
    FNextRect = nullptr;
    FCount = 0;
    FCapacity = 0;
    FBounds = RECT{2147483647, 2147483647, -2147483647, -2147483647};
}

void TComplexRegion::AddRect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom)
{
    if (FCount == FCapacity) {
        if (FCapacity > kMaxCapacity - kGrowBy)
            throw std::bad_alloc();
        int32_t capacity = FCapacity + kGrowBy;
        void* block = std::realloc(FRgnData, (size_t)kHeaderBytes + 4 + (size_t)kRectBytes * capacity);
        if (!block)
            throw std::bad_alloc();
        FRgnData = static_cast<uint8_t*>(block);
        FCapacity = capacity;
        FNextRect = FRgnData + kHeaderBytes + (size_t)kRectBytes * FCount;
    }
    RECT r{Left, Top, Right, Bottom};
    std::memcpy(FNextRect, &r, sizeof r);
    FNextRect += kRectBytes;
    ++FCount;
    if (Left < FBounds.left)
        FBounds.left = Left;
    if (Top < FBounds.top)
        FBounds.top = Top;
    if (Right > FBounds.right)
        FBounds.right = Right;
    if (Bottom > FBounds.bottom)
        FBounds.bottom = Bottom;
}

HRGN TComplexRegion::CreateRegion()
{
    if (!FRgnData)
        return nullptr;
    RGNDATAHEADER header;
    header.dwSize = kHeaderBytes;
    header.iType = RDH_RECTANGLES;
    header.nCount = (DWORD)FCount;
    header.nRgnSize = kRectBytes;
    header.rcBound = FBounds;
    std::memcpy(FRgnData, &header, sizeof header);
    if (FCount <= kChunk)
        return ExtCreateRegion(nullptr, (DWORD)(kHeaderBytes + 4 + kRectBytes * FCount),
                               reinterpret_cast<const RGNDATA*>(FRgnData));
    TIERegionUnion parts;
    std::vector<uint8_t> chunk((size_t)kHeaderBytes + 4 + (size_t)kRectBytes * kChunk);
    for (int32_t start = 0; start < FCount; start += kChunk) {
        int32_t n = std::min(kChunk, FCount - start);
        header.nCount = (DWORD)n;
        std::memcpy(chunk.data(), &header, sizeof header);
        std::memcpy(chunk.data() + kHeaderBytes, FRgnData + kHeaderBytes + (size_t)kRectBytes * start,
                    (size_t)kRectBytes * n);
        parts.Add(ExtCreateRegion(nullptr, (DWORD)(kHeaderBytes + 4 + kRectBytes * n),
                                  reinterpret_cast<const RGNDATA*>(chunk.data())));
    }
    return parts.Union();
}

// ---- Shared helpers --------------------------------------------------------------------------------

HRGN IECreatePolygonRegion(const int32_t* Coords, size_t Count)
{
    size_t points = Count / 2;
    if (points == 0)
        return nullptr;
    static_assert(sizeof(POINT) == 2 * sizeof(int32_t), "POINT is two 32-bit values");
    return CreatePolygonRgn(reinterpret_cast<const POINT*>(Coords), (int)points, WINDING);
}

HRGN IECreateShapeRegionInRect(uint8_t Kind, const RECT& R)
{
    return IECreateShapeRegion(Kind, R.left, R.top, R.right - R.left, R.bottom - R.top);
}

TIERegionUnion::~TIERegionUnion()
{
    for (HRGN part : FParts)
        DeleteObject(part);
}

void TIERegionUnion::Add(HRGN Part)
{
    if (!Part)
        return;
    try {
        FParts.push_back(Part);
    } catch (...) {
        DeleteObject(Part);
        throw;
    }
}

HRGN TIERegionUnion::Union()
{
    // Each round joins neighbours, halving the count; the joined parts are deleted at once.
    while (FParts.size() > 1) {
        size_t kept = 0;
        for (size_t i = 0; i < FParts.size(); i += 2) {
            HRGN joined = FParts[i];
            if (i + 1 < FParts.size()) {
                CombineRgn(joined, joined, FParts[i + 1], RGN_OR);
                DeleteObject(FParts[i + 1]);
            }
            FParts[kept++] = joined;
        }
        FParts.resize(kept);
    }
    HRGN result = FParts.empty() ? nullptr : FParts[0];
    FParts.clear();
    return result;
}

void IERevealThroughRegion(TCanvas* Canvas, TBitmap* Image, HRGN Region)
{
    TIERegionHolder holder(Region);
    if (!Region)
        return;
    HDC dc = Canvas->Handle();
    SelectClipRgn(dc, Region);
    BitBlt(dc, 0, 0, Image->Width(), Image->Height(), Image->Canvas()->Handle(), 0, 0, SRCCOPY);
    SelectClipRgn(dc, nullptr);
}

TIETransitionSeedFunc IETransitionSeedHook = nullptr;

uint32_t IETransitionSeed(TBitmap* NewImage)
{
    if (IETransitionSeedHook)
        return IETransitionSeedHook(NewImage);
    return (uint32_t)(uintptr_t)NewImage->Handle();
}

void IEForRandomCells(TBitmap* NewImage, int32_t W, int32_t H, int32_t Spacing, int32_t Progress,
                      const std::function<void(int32_t X, int32_t Y)>& Shown)
{
    TIERandSeedKeeper keeper;
    RandSeed = IETransitionSeed(NewImage);
    for (int32_t x = Spacing; x - Spacing < W; x += 2 * Spacing)
        for (int32_t y = Spacing; y - Spacing < H; y += 2 * Spacing)
            if (Random(100) < Progress)
                Shown(x, y);
}
