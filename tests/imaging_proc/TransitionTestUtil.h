// Flat-coloured frames for the transition tests: which areas of a frame show the old image, the new
// one or another colour, read back from 24-bit bitmaps (Windows: GDI drawing).
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "Graphics.h"
#include "ieXtraTransitions.h"

namespace transition_test {

// 24-bit pixels as B, G, R.
struct TBgr {
    uint8_t b, g, r;
};
constexpr TBgr kRed{0, 0, 255}, kBlue{255, 0, 0}, kGreen{0, 255, 0}, kBlack{0, 0, 0}, kYellow{0, 255, 255},
    kWhite{255, 255, 255};

inline void Fill(TBitmap& Bitmap, int32_t W, int32_t H, TBgr Colour) {
    Bitmap.SetPixelFormat(pf24bit);
    Bitmap.SetSize(W, H);
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = static_cast<uint8_t*>(Bitmap.ScanLine(y));
        for (int32_t x = 0; x < W; ++x) std::memcpy(row + 3 * x, &Colour, 3);
    }
}

inline TBgr PixelAt(TBitmap& Bitmap, int32_t X, int32_t Y) {
    TBgr p;
    std::memcpy(&p, static_cast<const uint8_t*>(Bitmap.ScanLine(Y)) + 3 * X, 3);
    return p;
}

inline bool Same(TBgr A, TBgr B) { return A.b == B.b && A.g == B.g && A.r == B.r; }

// 'O' for the old colour, 'N' for the new one, 'R' red, 'K' black, '?' anything else.
inline char Classify(TBgr P, TBgr Old, TBgr New) {
    if (Same(P, Old)) return 'O';
    if (Same(P, New)) return 'N';
    if (Same(P, kRed)) return 'R';
    if (Same(P, kBlack)) return 'K';
    return '?';
}

// The pixels of the frame that do not show Shows.
inline int32_t CountOther(TBitmap& Frame, TBgr Old, TBgr New, char Shows) {
    int32_t other = 0;
    for (int32_t y = 0; y < Frame.Height(); ++y)
        for (int32_t x = 0; x < Frame.Width(); ++x) other += Classify(PixelAt(Frame, x, y), Old, New) != Shows;
    return other;
}

struct TPixel {
    int32_t X, Y;
    char Shows;
};

// One frame to check: Effect at Progress, the pixels named, or the whole frame when Whole is set.
struct TFrameCase {
    int32_t Effect;
    int32_t Progress;
    std::vector<TPixel> Pixels;
    char Whole = 0;
};

// An old image in red and a new one in blue; the frame starts as the old image.
class TFrames {
public:
    TFrames(int32_t W, int32_t H) : FW(W), FH(H) {
        Fill(Old, W, H, kRed);
        Fill(New, W, H, kBlue);
        Fill(Frame, W, H, kRed);
    }
    // The frame back to the old image, or to another colour that no transition draws.
    void Reset(TBgr Colour = kRed) { Fill(Frame, FW, FH, Colour); }

    // One frame of transition AEffect drawn as the player draws it: HALFTONE, ARect the frame, the
    // step that gives Progress (at least 1: the player never calls a procedure at step 0).
    void Draw(int32_t AEffect, int32_t Progress) {
        const TEffect* effect = IEExtraEffect(AEffect);
        ASSERT_NE(effect, nullptr);
        ASSERT_NE(effect->Proc, nullptr);
        HDC dc = Frame.Canvas()->Handle();
        SetStretchBltMode(dc, HALFTONE);
        const int32_t step = Progress == 0 ? 1 : (Progress * 1024 + 50) / 100;
        effect->Proc(Frame.Canvas(), &Old, &New, RECT{0, 0, FW, FH}, step, Progress);
        HRGN probe = CreateRectRgn(0, 0, 1, 1);
        EXPECT_EQ(GetClipRgn(dc, probe), 0) << "effect " << AEffect << " left a clip region";
        DeleteObject(probe);
    }
    char At(int32_t X, int32_t Y) { return Classify(PixelAt(Frame, X, Y), kRed, kBlue); }

    TBitmap Old, New, Frame;

private:
    int32_t FW, FH;
};

// Draws every case on a fresh W x H frame and checks the pixels it names.
inline void CheckFrames(int32_t W, int32_t H, const std::vector<TFrameCase>& Cases) {
    TFrames frames(W, H);
    for (const TFrameCase& c : Cases) {
        frames.Reset();
        frames.Draw(c.Effect, c.Progress);
        for (const TPixel& p : c.Pixels)
            EXPECT_EQ(frames.At(p.X, p.Y), p.Shows)
                << "effect " << c.Effect << " at " << c.Progress << ", pixel (" << p.X << ", " << p.Y << ")";
        if (c.Whole) {
            EXPECT_EQ(CountOther(frames.Frame, kRed, kBlue, c.Whole), 0)
                << "effect " << c.Effect << " at " << c.Progress << " should show '" << c.Whole << "' everywhere";
        }
    }
}

}  // namespace transition_test
