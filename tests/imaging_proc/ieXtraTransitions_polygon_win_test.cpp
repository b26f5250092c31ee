// The polygon-region transitions on flat old (red) and new (blue) images, and their fan and
// rotation helpers.
#include <gtest/gtest.h>

#include <cmath>

#include "TransitionTestUtil.h"
#include "ieXtraTransitions.h"

using namespace transition_test;

TEST(PolygonTransitions, OldAndNewAreasAtZeroHalfAndFull) {
    // 200 x 100 frames: X = 100, Y = 50, the centre (100, 50) at Progress 50.
    std::vector<TFrameCase> cases = {
        {77, 50, {{20, 50, 'N'}, {180, 4, 'O'}}},
        {78, 50, {{180, 50, 'N'}, {20, 4, 'O'}}},
        {79, 50, {{100, 30, 'N'}, {4, 70, 'O'}}},
        {80, 50, {{100, 70, 'N'}, {4, 30, 'O'}}},
        {81, 50, {{20, 20, 'N'}, {180, 92, 'O'}}},
        {82, 50, {{180, 20, 'N'}, {20, 92, 'O'}}},
        {83, 50, {{20, 80, 'N'}, {180, 8, 'O'}}},
        {84, 50, {{180, 80, 'N'}, {20, 8, 'O'}}},
        {133, 50, {{20, 20, 'N'}, {180, 80, 'O'}}},
        {134, 50, {{180, 20, 'N'}, {20, 80, 'O'}}},
        {135, 50, {{20, 80, 'N'}, {180, 20, 'O'}}},
        {136, 50, {{180, 80, 'N'}, {20, 20, 'O'}}},
        {137, 50, {{180, 8, 'N'}, {20, 92, 'N'}, {20, 20, 'O'}, {180, 80, 'O'}}},
        {138, 50, {{10, 80, 'N'}, {190, 20, 'N'}, {80, 20, 'O'}, {120, 80, 'O'}}},
        {139, 50, {{150, 50, 'N'}, {50, 50, 'O'}}},
        {140, 50, {{50, 50, 'N'}, {150, 50, 'O'}}},
        {141, 50, {{60, 10, 'N'}, {140, 10, 'O'}}},
        {142, 50, {{140, 10, 'N'}, {60, 10, 'O'}}},
        // Half a turn: the rectangle (50, 25)-(150, 75) as it started.
        {143, 50, {{100, 50, 'N'}, {10, 5, 'O'}, {160, 50, 'O'}}},
        {144, 50, {{100, 50, 'N'}, {10, 5, 'O'}, {160, 50, 'O'}}},
        {169, 50, {{100, 50, 'N'}, {10, 5, 'O'}, {160, 50, 'O'}}},
        {170, 50, {{100, 50, 'N'}, {10, 5, 'O'}, {160, 50, 'O'}}},
        {145, 50, {{100, 50, 'N'}, {10, 47, 'N'}, {5, 5, 'O'}}},
        {146, 50, {{100, 50, 'N'}, {10, 47, 'N'}, {5, 5, 'O'}}},
        {171, 50, {{20, 50, 'N'}, {180, 5, 'O'}}},
        {172, 50, {{180, 50, 'N'}, {20, 5, 'O'}}},
        {173, 50, {{100, 20, 'N'}, {5, 95, 'O'}}},
        {174, 50, {{100, 80, 'N'}, {5, 5, 'O'}}},
        {175, 50, {{20, 50, 'N'}, {180, 50, 'N'}, {100, 5, 'O'}}},
        {176, 50, {{100, 20, 'N'}, {100, 80, 'N'}, {5, 50, 'O'}}},
        {178, 50, {{5, 50, 'N'}, {195, 50, 'N'}, {100, 5, 'N'}, {100, 95, 'N'}, {100, 50, 'O'}, {5, 5, 'O'}}},
        {177, 50, {{5, 50, 'O'}, {195, 50, 'O'}, {100, 5, 'O'}, {100, 50, 'N'}, {5, 5, 'N'}}},
        {181, 50, {{100, 50, 'N'}, {5, 5, 'O'}}},
        {182, 50, {{100, 50, 'O'}, {5, 5, 'N'}}},
        // A band about the middle: 20 to 80 rows deep (columns 40 to 160) give or take the zigzag.
        {179, 50, {{100, 50, 'N'}, {100, 3, 'O'}, {100, 97, 'O'}}},
        {180, 50, {{100, 50, 'N'}, {5, 50, 'O'}, {195, 50, 'O'}}},
        {190, 50, {{100, 50, 'O'}, {100, 3, 'N'}, {100, 97, 'N'}}},
        {191, 50, {{100, 50, 'O'}, {5, 50, 'N'}, {195, 50, 'N'}}},
        {114, 50, {{21, 2, 'N'}, {0, 15, 'O'}}},
        {116, 50, {{11, 11, 'N'}, {0, 0, 'O'}}},
        // 8 x 8 cells of 25 x 12 pixels, right angles at (gx - 12, gy - 6).
        {184, 50, {{16, 8, 'N'}, {35, 16, 'O'}}},
        {114, 100, {{0, 15, 'N'}}},
        {184, 100, {{35, 16, 'N'}}},
        {177, 0, {{5, 5, 'O'}, {195, 95, 'O'}}},
        {190, 100, {}, 'N'},
        {191, 100, {}, 'N'},
        {143, 100, {}, 'N'},
        {144, 100, {}, 'N'},
        {169, 100, {}, 'N'},
        {170, 100, {}, 'N'},
        {177, 100, {}, 'N'},
    };
    // The curved and diagonal wipes, the arrows and the bow ties start from nothing and cover the
    // whole frame at the end.
    for (int32_t effect : {77, 78, 79, 80, 81, 82, 83, 84, 133, 134, 135, 136, 171, 172, 173, 174, 175, 176}) {
        cases.push_back({effect, 0, {}, 'O'});
        cases.push_back({effect, 100, {}, 'N'});
    }
    for (int32_t effect : {137, 138, 139, 140, 141, 142, 143, 144, 145, 146, 169, 170, 178, 181})
        cases.push_back({effect, 0, {}, 'O'});
    CheckFrames(200, 100, cases);
}

TEST(PolygonTransitions, FanStopsOneStepShortOfItsEnd) {
    // "Sweep Clockwise" at Progress 25 on 200 x 100: 25 steps of pi/50 from 12 o'clock, the last
    // edge at 86.4 degrees.
    const long double pi = 3.14159265358979323846L;
    HRGN fan = IECreatePieRegion(100, 50, 112, -pi / 2, 25 * pi / 50 - pi / 2, 25);
    ASSERT_NE(fan, nullptr);
    auto at = [&](long double degrees) {   // clockwise from 12 o'clock, 50 pixels out
        const long double a = (degrees - 90) * pi / 180;
        return PtInRegion(fan, 100 + (int)std::lround(50 * std::cos(a)), 50 + (int)std::lround(50 * std::sin(a))) != 0;
    };
    EXPECT_TRUE(at(10));
    EXPECT_TRUE(at(80));
    EXPECT_FALSE(at(89));
    EXPECT_FALSE(at(120));
    EXPECT_FALSE(at(-10));
    DeleteObject(fan);
    // At Progress 0 and 1 the fan has no area.
    for (int32_t progress : {0, 1}) {
        HRGN empty = IECreatePieRegion(100, 50, 112, -pi / 2, progress * pi / 50 - pi / 2, progress);
        RECT box;
        if (empty) {
            EXPECT_EQ(GetRgnBox(empty, &box), NULLREGION) << progress;
            DeleteObject(empty);
        }
    }
}

TEST(PolygonTransitions, RotationTurnsClockwiseOnScreen) {
    POINT points[2] = {{110, 50}, {100, 40}};
    IERotatePointArray(points, 2, 100, 50, 3.14159265358979323846L / 2);
    EXPECT_EQ(points[0].x, 100);
    EXPECT_EQ(points[0].y, 60);
    EXPECT_EQ(points[1].x, 110);
    EXPECT_EQ(points[1].y, 50);
}
