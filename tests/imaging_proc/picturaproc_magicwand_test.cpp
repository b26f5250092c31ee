// The magic wand: connected fill into a mask, its outline along pixel edges, and the colour match.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "iebitmap.h"
#include "iemask.h"
#include "picturaproc_magicwand.h"

namespace {

// An image drawn as text: '.' white, '#' black, 'r' (254, 0, 0), 'o' (250, 0, 0).
std::unique_ptr<TIEBitmap> Picture(const std::vector<std::string>& rows) {
    const int32_t w = (int32_t)rows[0].size(), h = (int32_t)rows.size();
    auto b = std::make_unique<TIEBitmap>(w, h, ie24RGB);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const char c = rows[(size_t)y][(size_t)x];
            b->SetPixelRGB(x, y, c == '.' ? IECreateRGB(255, 255, 255)
                                 : c == '#' ? IECreateRGB(0, 0, 0)
                                 : c == 'r' ? IECreateRGB(254, 0, 0)
                                            : IECreateRGB(250, 0, 0));
        }
    return b;
}

std::vector<std::string> MaskText(TIEMask& m) {
    std::vector<std::string> rows;
    for (int32_t y = 0; y < m.Height; ++y) {
        std::string row;
        for (int32_t x = 0; x < m.Width; ++x) row += m.GetPixel(x, y) ? 'x' : '.';
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::pair<int32_t, int32_t>> Outline(TIEBitmap* b, int32_t x, int32_t y, bool dilate, int32_t tolerance) {
    int32_t count = -1;
    auto points = IEMagicWandOutline(b, x, y, dilate, tolerance, count);
    std::vector<std::pair<int32_t, int32_t>> v;
    for (int32_t i = 0; i < count; ++i) v.emplace_back(points[(size_t)i].X, points[(size_t)i].Y);
    return v;
}

// True when Actual is Expected started at some vertex (same direction).
bool SameCycle(std::vector<std::pair<int32_t, int32_t>> actual, const std::vector<std::pair<int32_t, int32_t>>& expected) {
    for (size_t i = 0; i < actual.size(); ++i) {
        if (actual == expected) return true;
        std::rotate(actual.begin(), actual.begin() + 1, actual.end());
    }
    return false;
}

using Points = std::vector<std::pair<int32_t, int32_t>>;

}  // namespace

TEST(IEMagicWand, UniformImageGivesTheWholeRectangle) {
    auto b = Picture({"......", "......", "......"});
    EXPECT_TRUE(SameCycle(Outline(b.get(), 2, 1, false, 0), Points{{0, 0}, {6, 0}, {6, 3}, {0, 3}}));
    TIEMask m;
    m.Allocate(6, 3, 1);
    IEMagicWandFill(b.get(), 4, 2, false, 0, &m, 1);
    EXPECT_EQ(MaskText(m), (std::vector<std::string>{"xxxxxx", "xxxxxx", "xxxxxx"}));

    auto one = Picture({"#"});
    EXPECT_TRUE(SameCycle(Outline(one.get(), 0, 0, true, 0), Points{{0, 0}, {1, 0}, {1, 1}, {0, 1}}));
}

TEST(IEMagicWand, LonePixelAndConcaveRegion) {
    auto b = Picture({".....", "..#..", ".....", "....."});
    EXPECT_TRUE(SameCycle(Outline(b.get(), 2, 1, false, 0), Points{{2, 1}, {3, 1}, {3, 2}, {2, 2}}));

    // An L: six corners, the inner one at (2, 2).
    auto l = Picture({"##...", "##...", "####.", "####."});
    EXPECT_TRUE(SameCycle(Outline(l.get(), 0, 3, false, 0), Points{{0, 0}, {2, 0}, {2, 2}, {4, 2}, {4, 4}, {0, 4}}));
    // The white part around it: its outer edge runs along the image's top and right.
    EXPECT_TRUE(SameCycle(Outline(l.get(), 4, 0, false, 0), Points{{2, 0}, {5, 0}, {5, 4}, {4, 4}, {4, 2}, {2, 2}}));
}

TEST(IEMagicWand, ToleranceIsPerChannel) {
    auto b = Picture({"rrro", "rr.o"});
    TIEMask m;
    m.Allocate(4, 2, 8);
    IEMagicWandFill(b.get(), 0, 0, false, 3, &m, 255);
    EXPECT_EQ(MaskText(m), (std::vector<std::string>{"xxx.", "xx.."}));
    m.Clear();
    IEMagicWandFill(b.get(), 0, 0, false, 4, &m, 255);
    EXPECT_EQ(MaskText(m), (std::vector<std::string>{"xxxx", "xx.x"}));
}

TEST(IEMagicWand, FillIsConnectedColourMatchIsNot) {
    auto b = Picture({"##..#", "##.##", ".....", "#...#"});
    TIEMask fill, match;
    fill.Allocate(5, 4, 1);
    match.Allocate(5, 4, 1);
    IEMagicWandFill(b.get(), 1, 1, false, 0, &fill, 1);
    IEMagicWandColorMatch(b.get(), 1, 1, 0, &match, 1);
    EXPECT_EQ(MaskText(fill), (std::vector<std::string>{"xx...", "xx...", ".....", "....."}));
    EXPECT_EQ(MaskText(match), (std::vector<std::string>{"xx..x", "xx.xx", ".....", "x...x"}));

    // Dilate: the fill grows by one pixel within the image; the outline keeps its box.
    TIEMask grown;
    grown.Allocate(5, 4, 1);
    IEMagicWandFill(b.get(), 0, 0, true, 0, &grown, 1);
    EXPECT_EQ(MaskText(grown), (std::vector<std::string>{"xxx..", "xxx..", "xxx..", "....."}));
    EXPECT_TRUE(SameCycle(Outline(b.get(), 0, 0, true, 0), Points{{0, 0}, {2, 0}, {2, 2}, {0, 2}}));
}

TEST(IEMagicWand, OutsideTheImageChangesNothing) {
    auto b = Picture({"..", ".."});
    TIEMask m;
    m.Allocate(2, 2, 1);
    for (auto [x, y] : Points{{-1, 0}, {0, -1}, {2, 0}, {0, 2}}) {
        int32_t count = 7;
        EXPECT_EQ(IEMagicWandOutline(b.get(), x, y, false, 0, count), nullptr);
        EXPECT_EQ(count, 0);
        IEMagicWandFill(b.get(), x, y, true, 0, &m, 1);
        IEMagicWandColorMatch(b.get(), x, y, 0, &m, 1);
    }
    EXPECT_TRUE(m.IsEmpty());
}

// The span fill against a plain breadth-first fill on random two-colour images (mazes of every
// shape the spans must turn around).
TEST(IEMagicWand, FillMatchesAPlainFloodFill) {
    std::mt19937 rng(5);
    for (int round = 0; round < 40; ++round) {
        const int32_t w = 1 + (int32_t)(rng() % 30), h = 1 + (int32_t)(rng() % 30);
        std::vector<std::string> rows((size_t)h, std::string((size_t)w, '.'));
        for (auto& row : rows)
            for (auto& c : row) c = rng() % 5 < 2 ? '#' : '.';
        auto b = Picture(rows);
        const int32_t sx = (int32_t)(rng() % w), sy = (int32_t)(rng() % h);
        std::vector<std::string> expected((size_t)h, std::string((size_t)w, '.'));
        std::deque<std::pair<int32_t, int32_t>> queue{{sx, sy}};
        const char seed = rows[(size_t)sy][(size_t)sx];
        expected[(size_t)sy][(size_t)sx] = 'x';
        while (!queue.empty()) {
            auto [x, y] = queue.front();
            queue.pop_front();
            for (auto [dx, dy] : Points{{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
                const int32_t nx = x + dx, ny = y + dy;
                if (nx < 0 || ny < 0 || nx >= w || ny >= h || expected[(size_t)ny][(size_t)nx] == 'x' ||
                    rows[(size_t)ny][(size_t)nx] != seed)
                    continue;
                expected[(size_t)ny][(size_t)nx] = 'x';
                queue.emplace_back(nx, ny);
            }
        }
        TIEMask m;
        m.Allocate(w, h, 1);
        IEMagicWandFill(b.get(), sx, sy, false, 0, &m, 1);
        ASSERT_EQ(MaskText(m), expected) << "round " << round;
        int32_t count = 0;
        auto outline = IEMagicWandOutline(b.get(), sx, sy, false, 0, count);
        ASSERT_GE(count, 4);
        for (int32_t i = 0; i < count; ++i) {   // every vertex on the region's box
            EXPECT_GE(outline[(size_t)i].X, m.X1);
            EXPECT_LE(outline[(size_t)i].X, m.X2 + 1);
            EXPECT_GE(outline[(size_t)i].Y, m.Y1);
            EXPECT_LE(outline[(size_t)i].Y, m.Y2 + 1);
        }
    }
}
