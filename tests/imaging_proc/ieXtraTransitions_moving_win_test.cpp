// The moving and stretching transitions on flat old (red) and new (blue) images, the mirrored
// stretch of the unroll family and the parallelogram copy of the twists.
#include <gtest/gtest.h>

#include "TransitionTestUtil.h"
#include "ieXtraTransitions.h"
#include "ieXtraTransitions_moving.h"

using namespace transition_test;

namespace {

// A bitmap whose pixel (x, y) is (x, y, 7) as B, G, R, so that every source pixel is known.
void FillCoded(TBitmap& Bitmap, int32_t W, int32_t H) {
    Bitmap.SetPixelFormat(pf24bit);
    Bitmap.SetSize(W, H);
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = static_cast<uint8_t*>(Bitmap.ScanLine(y));
        for (int32_t x = 0; x < W; ++x) {
            row[3 * x] = (uint8_t)x;
            row[3 * x + 1] = (uint8_t)y;
            row[3 * x + 2] = 7;
        }
    }
}

// The coded source pixel a destination pixel took, or (-1, -1) for one left black.
POINT SourceOf(TBitmap& Bitmap, int32_t X, int32_t Y) {
    const TBgr p = PixelAt(Bitmap, X, Y);
    if (p.r != 7) return POINT{-1, -1};
    return POINT{p.b, p.g};
}

}  // namespace

TEST(MovingTransitions, OldAndNewAreasAtZeroHalfAndFull) {
    // 200 x 100 frames: X = 100, Y = 50 at Progress 50.
    std::vector<TFrameCase> cases = {
        {31, 50, {{20, 50, 'N'}, {180, 50, 'O'}}},
        {32, 50, {{180, 50, 'N'}, {20, 50, 'O'}}},
        {33, 50, {{100, 20, 'N'}, {100, 80, 'O'}}},
        {34, 50, {{100, 80, 'N'}, {100, 20, 'O'}}},
        {35, 50, {{20, 20, 'N'}, {180, 20, 'O'}, {20, 80, 'O'}, {180, 80, 'O'}}},
        {36, 50, {{180, 20, 'N'}, {20, 20, 'O'}, {180, 80, 'O'}}},
        {37, 50, {{20, 80, 'N'}, {180, 80, 'O'}, {20, 20, 'O'}}},
        {38, 50, {{180, 80, 'N'}, {20, 20, 'O'}, {20, 80, 'O'}}},
        {45, 50, {{20, 50, 'N'}, {100, 50, 'O'}, {180, 50, 'N'}}},
        {46, 50, {{100, 10, 'N'}, {100, 50, 'O'}, {100, 90, 'N'}}},
        {47, 50, {{100, 50, 'N'}, {100, 10, 'O'}, {100, 90, 'O'}}},
        {48, 50, {{100, 50, 'N'}, {20, 50, 'O'}, {180, 50, 'O'}}},
        {75, 50, {{20, 10, 'N'}, {180, 10, 'N'}, {20, 90, 'N'}, {180, 90, 'N'}, {100, 50, 'O'}}},
        {49, 50, {{20, 20, 'N'}, {180, 20, 'O'}, {20, 80, 'O'}}},
        {50, 50, {{180, 20, 'N'}, {20, 20, 'O'}, {180, 80, 'O'}}},
        {51, 50, {{20, 80, 'N'}, {180, 80, 'O'}, {20, 20, 'O'}}},
        {52, 50, {{180, 80, 'N'}, {20, 20, 'O'}, {180, 20, 'O'}}},
        {53, 50, {{100, 10, 'N'}, {100, 50, 'O'}, {100, 90, 'N'}}},
        {54, 50, {{100, 50, 'N'}, {100, 10, 'O'}, {100, 90, 'O'}}},
        {55, 50, {{20, 50, 'N'}, {100, 50, 'O'}, {180, 50, 'N'}}},
        {56, 50, {{100, 50, 'N'}, {20, 50, 'O'}, {180, 50, 'O'}}},
        {74, 50, {{20, 10, 'N'}, {180, 10, 'N'}, {20, 90, 'N'}, {180, 90, 'N'}, {100, 50, 'O'}}},
        {65, 50, {{20, 50, 'N'}, {180, 50, 'O'}}},
        {66, 50, {{180, 50, 'N'}, {20, 50, 'O'}}},
        {67, 50, {{100, 20, 'N'}, {100, 80, 'O'}}},
        {68, 50, {{100, 80, 'N'}, {100, 20, 'O'}}},
        // Each quarter from its own side: top left from the left, top right from the top, bottom
        // right from the right, bottom left from the bottom.
        {76, 50, {{20, 20, 'N'}, {80, 20, 'O'}, {120, 10, 'N'}, {120, 40, 'O'}, {180, 70, 'N'}, {120, 70, 'O'},
                  {20, 90, 'N'}, {20, 60, 'O'}}},
        // Strip of W div 10 (H div 10) next to the revealed part.
        {61, 50, {{20, 50, 'N'}, {110, 50, 'N'}, {125, 50, 'O'}}},
        {62, 50, {{180, 50, 'N'}, {90, 50, 'N'}, {75, 50, 'O'}}},
        {63, 50, {{100, 20, 'N'}, {100, 55, 'N'}, {100, 65, 'O'}}},
        {64, 50, {{100, 80, 'N'}, {100, 45, 'N'}, {100, 35, 'O'}}},
        {151, 50, {{180, 50, 'N'}, {20, 50, 'O'}}},
        {152, 50, {{20, 50, 'N'}, {180, 50, 'O'}}},
        {153, 50, {{100, 80, 'N'}, {100, 20, 'O'}}},
        {154, 50, {{100, 20, 'N'}, {100, 80, 'O'}}},
        {155, 50, {{180, 50, 'N'}, {20, 50, 'O'}}},
        {156, 50, {{20, 50, 'N'}, {180, 50, 'O'}}},
        {157, 50, {{100, 80, 'N'}, {100, 20, 'O'}}},
        {158, 50, {{100, 20, 'N'}, {100, 80, 'O'}}},
        // The twisted image on the parallelogram (50, 25), (200, 0), (0, 100).
        {223, 50, {{100, 50, 'N'}, {5, 5, 'O'}, {195, 95, 'O'}}},
        {224, 50, {{100, 50, 'O'}, {5, 5, 'N'}, {195, 95, 'N'}}},
        // 33 x 25 cells: the cell's top-left corner pulled in by (8, 6).
        {225, 50, {{1, 1, 'O'}, {16, 12, 'N'}, {49, 37, 'N'}}},
        {226, 50, {{1, 1, 'N'}, {16, 12, 'O'}, {49, 37, 'O'}}},
        // The grid of 6 cells of 33 pixels stops short of the frame's two last columns.
        {225, 100, {{100, 50, 'N'}, {199, 50, 'O'}}},
        {226, 0, {{100, 50, 'O'}, {199, 50, 'N'}}},
        {226, 100, {{2, 2, 'N'}, {25, 20, 'N'}, {5, 5, 'N'}}},
    };
    // At Progress 0 nothing of the new image shows, except in the build-ups, which stretch the new
    // image's band next to the starting edge over the whole frame; at 100 the new image is all.
    for (int32_t effect = 31; effect <= 76; ++effect) {
        const bool buildUp = effect >= 57 && effect <= 60;
        cases.push_back({effect, 0, {}, buildUp ? 'N' : 'O'});
        cases.push_back({effect, 100, {}, 'N'});
    }
    for (int32_t effect : {151, 152, 153, 154, 155, 156, 157, 158, 223, 224, 225})
        cases.push_back({effect, 0, {}, 'O'});
    for (int32_t effect : {151, 152, 153, 154, 155, 156, 157, 158, 223, 224}) cases.push_back({effect, 100, {}, 'N'});
    CheckFrames(200, 100, cases);
}

TEST(MovingTransitions, PiecesLeaveTheMiddleColumnOfAnOddWidth) {
    // 201 pixels: the two halves of 100 columns leave column 100 to the old image.
    CheckFrames(201, 100, {{55, 100, {{99, 50, 'N'}, {100, 50, 'O'}, {101, 50, 'N'}}},
                           {74, 100, {{100, 10, 'O'}, {10, 10, 'N'}}}});
}

TEST(MovingTransitions, UnrollStripWidthFollowsTheExtent) {
    // 100 x 50: X div 2 while X < 20, 10 up to X = 80, (100 - X) div 2 beyond.
    struct TCase {
        int32_t Progress, LastNew;
    };
    for (const TCase& c : {TCase{10, 14}, TCase{50, 59}, TCase{90, 94}}) {
        TFrames frames(100, 50);
        frames.Draw(61, c.Progress);
        EXPECT_EQ(frames.At(c.LastNew, 25), 'N') << c.Progress;
        EXPECT_EQ(frames.At(c.LastNew + 1, 25), 'O') << c.Progress;
    }
}

TEST(MovingTransitions, SqueezeMovesTheStripOfThePreviousFrameToo) {
    TFrames frames(200, 100);
    frames.Draw(155, 10);   // old squeezed into 0..179, new in 180..199
    EXPECT_EQ(frames.At(190, 50), 'N');
    frames.Draw(155, 20);   // the whole frame into 0..159: the strip lands in 144..159
    EXPECT_EQ(frames.At(150, 50), 'N');
    EXPECT_EQ(frames.At(138, 50), 'O');
    EXPECT_EQ(frames.At(170, 50), 'N');
}

TEST(IEStretchMirrored, MirrorsOntoExactlyTheDestination) {
    TBitmap source, frame;
    FillCoded(source, 60, 20);
    Fill(frame, 60, 20, kBlack);
    IEStretchMirrored(frame.Canvas(), RECT{10, 0, 20, 20}, &source, RECT{30, 0, 40, 20}, true, false);
    EXPECT_EQ(SourceOf(frame, 10, 5).x, 39);
    EXPECT_EQ(SourceOf(frame, 19, 5).x, 30);
    EXPECT_EQ(SourceOf(frame, 10, 5).y, 5);
    EXPECT_EQ(SourceOf(frame, 9, 5).x, -1) << "the column before Dest stays";
    EXPECT_EQ(SourceOf(frame, 20, 5).x, -1) << "the column after Dest stays";

    Fill(frame, 60, 20, kBlack);
    IEStretchMirrored(frame.Canvas(), RECT{0, 4, 60, 8}, &source, RECT{0, 10, 60, 14}, false, true);
    EXPECT_EQ(SourceOf(frame, 5, 4).y, 13);
    EXPECT_EQ(SourceOf(frame, 5, 7).y, 10);
    EXPECT_EQ(SourceOf(frame, 5, 3).y, -1);
    EXPECT_EQ(SourceOf(frame, 5, 8).y, -1);

    // A source running past the bitmap is clipped and what remains fills the whole strip.
    Fill(frame, 60, 20, kBlack);
    IEStretchMirrored(frame.Canvas(), RECT{0, 0, 10, 20}, &source, RECT{55, 0, 65, 20}, false, false);
    EXPECT_EQ(SourceOf(frame, 0, 0).x, 55);
    EXPECT_EQ(SourceOf(frame, 9, 0).x, 59);
    EXPECT_EQ(SourceOf(frame, 10, 0).x, -1);
}

TEST(IEPlgBlt, CopiesRotatesAndShearsWithNearestPixels) {
    TBitmap source, frame;
    FillCoded(source, 8, 4);

    // The identity parallelogram is a plain copy.
    Fill(frame, 20, 20, kBlack);
    const POINT same[3] = {{2, 3}, {10, 3}, {2, 7}};
    EXPECT_TRUE(IEPlgBlt(frame.Canvas()->Handle(), same, &source, 0, 0, 8, 4));
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 8; ++x) {
            EXPECT_EQ(SourceOf(frame, x + 2, y + 3).x, x);
            EXPECT_EQ(SourceOf(frame, x + 2, y + 3).y, y);
        }
    EXPECT_EQ(SourceOf(frame, 1, 3).x, -1);
    EXPECT_EQ(SourceOf(frame, 10, 3).x, -1);
    EXPECT_EQ(SourceOf(frame, 2, 7).x, -1);

    // A quarter turn clockwise (y down): source (u, v) lands at (5 - v, u), which Wine's own PlgBlt
    // does not draw at all.
    Fill(frame, 20, 20, kBlack);
    const POINT turned[3] = {{6, 0}, {6, 8}, {2, 0}};
    EXPECT_TRUE(IEPlgBlt(frame.Canvas()->Handle(), turned, &source, 0, 0, 8, 4));
    for (int32_t v = 0; v < 4; ++v)
        for (int32_t u = 0; u < 8; ++u) {
            EXPECT_EQ(SourceOf(frame, 5 - v, u).x, u) << u << ", " << v;
            EXPECT_EQ(SourceOf(frame, 5 - v, u).y, v) << u << ", " << v;
        }
    EXPECT_EQ(SourceOf(frame, 6, 0).x, -1);
    EXPECT_EQ(SourceOf(frame, 1, 0).x, -1);

    // A shear: row v moves right by 2v pixels.
    Fill(frame, 20, 20, kBlack);
    const POINT sheared[3] = {{0, 0}, {8, 0}, {8, 4}};
    EXPECT_TRUE(IEPlgBlt(frame.Canvas()->Handle(), sheared, &source, 0, 0, 8, 4));
    for (int32_t v = 0; v < 4; ++v) {
        EXPECT_EQ(SourceOf(frame, 2 * v + 1, v).x, 0) << v;
        EXPECT_EQ(SourceOf(frame, 2 * v + 8, v).x, 7) << v;
        EXPECT_EQ(SourceOf(frame, 2 * v + 9, v).x, -1) << v;
        if (v > 0) {
            EXPECT_EQ(SourceOf(frame, 2 * v - 1, v).x, -1) << v;
        }
    }

    // Three points on a line, or an empty source, draw nothing.
    Fill(frame, 20, 20, kBlack);
    const POINT flat[3] = {{0, 0}, {8, 4}, {4, 2}};
    EXPECT_FALSE(IEPlgBlt(frame.Canvas()->Handle(), flat, &source, 0, 0, 8, 4));
    EXPECT_FALSE(IEPlgBlt(frame.Canvas()->Handle(), same, &source, 0, 0, 0, 4));
    EXPECT_EQ(CountOther(frame, kBlack, kBlack, 'O'), 0);
}

TEST(IEPlgBlt, KeepsToTheClipRegionAndTheSourceBitmap) {
    TBitmap source, frame;
    FillCoded(source, 8, 4);
    Fill(frame, 20, 20, kBlack);
    HDC dc = frame.Canvas()->Handle();
    HRGN clip = CreateRectRgn(0, 0, 6, 20);
    SelectClipRgn(dc, clip);
    DeleteObject(clip);
    // Twice the source's width asked for: the half past the bitmap is not read.
    const POINT wide[3] = {{0, 0}, {16, 0}, {0, 4}};
    EXPECT_TRUE(IEPlgBlt(dc, wide, &source, 0, 0, 16, 4));
    SelectClipRgn(dc, nullptr);
    EXPECT_EQ(SourceOf(frame, 5, 2).x, 5);
    EXPECT_EQ(SourceOf(frame, 6, 2).x, -1) << "outside the clip region";
    Fill(frame, 20, 20, kBlack);
    EXPECT_TRUE(IEPlgBlt(frame.Canvas()->Handle(), wide, &source, 0, 0, 16, 4));
    EXPECT_EQ(SourceOf(frame, 7, 2).x, 7);
    EXPECT_EQ(SourceOf(frame, 8, 2).x, -1) << "past the source bitmap";
}
