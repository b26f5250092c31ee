// The transition player on a fake view painting into a memory bitmap, driven by a manual clock and
// manual timers: timing curves, the end of a transition, its own effects and pan and zoom.
#include <gtest/gtest.h>

#include <cstring>

#include "Clock.h"
#include "TransitionTestUtil.h"
#include "iebitmap.h"
#include "picturaproc_transitions.h"

using namespace transition_test;

namespace {

// A view whose canvas is a bitmap, counting what the player asks of it.
class TFakeView : public TIETransitionView {
public:
    TFakeView(int32_t W, int32_t H) { Fill(Screen, W, H, kBlack); }
    TObject* GetTransitionSender() override { return &Sender; }
    TCanvas* GetTransitionCanvas() override { return Screen.Canvas(); }
    int32_t GetTransitionClientWidth() override { return Screen.Width(); }
    int32_t GetTransitionClientHeight() override { return Screen.Height(); }
    TIEBitmap* GetTransitionBitmap() override { return Image; }
    void TransitionHoldPaint() override { ++Holds; }
    void TransitionReleasePaintNoUpdate() override { ++Releases; }
    void TransitionUpdate() override { ++Updates; }
    bool TransitionDrawBackground(TCanvas* Canvas) override {
        if (!HasBackground) return false;
        Canvas->Brush()->SetColor(clLime);
        Canvas->Brush()->SetStyle(bsSolid);
        Canvas->FillRect(RECT{0, 0, Screen.Width(), Screen.Height()});
        return true;
    }

    TObject Sender;
    TBitmap Screen;
    TIEBitmap* Image = nullptr;
    bool HasBackground = false;
    int32_t Holds = 0, Releases = 0, Updates = 0;
};

class TransitionPlayer : public ::testing::Test {
protected:
    void SetUp() override {
        SetClock(&FClock);
        SetTimerSource(&FTimers);
        FClock.Set(5000);
    }
    void TearDown() override {
        FPlayer.reset();
        SetTimerSource(nullptr);
        SetClock(nullptr);
    }
    // A player on a W x H view, running AEffect from an old picture in Old to a new one in New.
    TIETransitionEffects& Start(uint8_t AEffect, int32_t W = 200, int32_t H = 100, TBgr Old = kGreen,
                                TBgr New = kBlue, int32_t ADuration = 1000) {
        FView = std::make_unique<TFakeView>(W, H);
        FPlayer = std::make_unique<TIETransitionEffects>(FView.get());
        Fill(FOld, W, H, Old);
        Fill(FNew, W, H, New);
        FPlayer->Run(&FOld, &FNew, AEffect, ADuration);
        return *FPlayer;
    }
    // The frame of step S (FirstFrame as the start leaves it when First).
    void Paint(int32_t S, bool First = false) {
        FPlayer->Step = S;
        FPlayer->FirstFrame = First;
        FPlayer->PaintFrame(FView->Screen.Canvas());
    }
    char At(int32_t X, int32_t Y, TBgr Old = kGreen, TBgr New = kBlue) {
        return Classify(PixelAt(*FPlayer->Frame, X, Y), Old, New);
    }

    TManualClock FClock;
    TManualTimerSource FTimers;   // fires ticks without moving the clock
    std::unique_ptr<TFakeView> FView;
    std::unique_ptr<TIETransitionEffects> FPlayer;
    TBitmap FOld, FNew;
};

}  // namespace

TEST_F(TransitionPlayer, TimingCurvesGiveTheNextStep) {
    struct TCase {
        TIETransitionTiming Timing;
        uint32_t Elapsed;
        int32_t Step;
    };
    const TCase cases[] = {
        {ttLinear, 0, 0},          {ttLinear, 500, 512},        {ttLinear, 999, 1022},
        {ttLinear, 1000, 1024},    {ttExponential, 0, 6},       {ttExponential, 500, 82},
        {ttExponential, 1000, 1003}, {ttLogarithmic, 0, 0},     {ttLogarithmic, 6, 0},
        {ttLogarithmic, 500, 886}, {ttLogarithmic, 1000, 1024}, {(TIETransitionTiming)7, 500, 0},
    };
    for (const TCase& c : cases) {
        FClock.Set(5000);
        TIETransitionEffects& player = Start(1);
        player.Timing = c.Timing;
        FClock.Set(5000 + c.Elapsed);
        player.TimerStep(nullptr);
        EXPECT_EQ(player.Step, c.Step) << "timing " << (int)c.Timing << " after " << c.Elapsed << " ms";
        EXPECT_EQ(player.Running, c.Elapsed < 1000) << (int)c.Timing << ", " << c.Elapsed;
        EXPECT_FALSE(player.FirstFrame);
    }
}

TEST_F(TransitionPlayer, TicksPaintTheStepComputedBeforeAndEndWithTheNewImage) {
    TIETransitionEffects& player = Start(1);
    player.UpdateOnStop = true;
    std::vector<int32_t> steps, painted;
    std::vector<TBitmap*> bitmaps;
    int32_t stops = 0;
    TObject* sender = nullptr;
    player.OnTransitionStep = [&](TObject* s, int32_t step) {
        sender = s;
        steps.push_back(step);
    };
    player.SetOnTransitionPaint([&](TObject*, TBitmap* b, TIETransitionEffects* t, int32_t step) {
        EXPECT_EQ(t, &player);
        bitmaps.push_back(b);
        painted.push_back(step);
    });
    player.OnTransitionStop = [&](TObject* s) {
        EXPECT_EQ(s, &FView->Sender);
        ++stops;
    };
    EXPECT_EQ(FView->Holds, 1);
    EXPECT_TRUE(player.Timer->Enabled());
    FClock.Set(5001);
    FTimers.Advance(1);   // the timer drives the ticks: the first paints step 0
    FClock.Set(5500);
    player.TimerStep(nullptr);
    FClock.Set(6000);
    player.TimerStep(nullptr);
    EXPECT_EQ(sender, &FView->Sender);
    EXPECT_EQ(steps, (std::vector<int32_t>{0, 1, 512}));
    EXPECT_EQ(painted, (std::vector<int32_t>{0, 1, 512, 1024}));
    ASSERT_EQ(bitmaps.size(), 4u);
    EXPECT_EQ(bitmaps[2], player.Frame.get());
    EXPECT_EQ(bitmaps[3], player.NewImage.get());
    EXPECT_EQ(player.FrameCount, 3);
    EXPECT_EQ(Classify(PixelAt(FView->Screen, 100, 50), kGreen, kBlue), 'N') << "the new image ends on the view";
    EXPECT_FALSE(player.Running);
    EXPECT_FALSE(player.Timer->Enabled());
    EXPECT_EQ(FTimers.ActiveCount(), 0);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(FView->Releases, 1);
    EXPECT_EQ(FView->Updates, 1);
    for (TBitmap* b : {player.OldImage.get(), player.NewImage.get(), player.Frame.get()}) {
        EXPECT_EQ(b->Width(), 1);
        EXPECT_EQ(b->Height(), 1);
    }
    // A second stop, and a tick after the end, do nothing.
    player.Stop();
    player.TimerStep(nullptr);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(FView->Releases, 1);
    EXPECT_EQ(player.FrameCount, 3);
}

TEST_F(TransitionPlayer, TicksComposeTheFrameWithoutAView) {
    // With no view the frames take the old picture's size, and each tick still composes the frame
    // that OnTransitionPaint receives.
    TIETransitionEffects player(nullptr);
    Fill(FOld, 40, 20, kBlack);
    Fill(FNew, 40, 20, kWhite);
    player.Run(&FOld, &FNew, 1, 1000);
    ASSERT_TRUE(player.Running);
    std::vector<uint8_t> seen;
    player.SetOnTransitionPaint([&](TObject* Sender, TBitmap* b, TIETransitionEffects*, int32_t) {
        EXPECT_EQ(Sender, nullptr);
        seen.push_back(PixelAt(*b, 10, 10).g);
    });
    FClock.Set(5500);
    player.TimerStep(nullptr);   // paints step 0, computes 512
    player.TimerStep(nullptr);   // paints step 512
    EXPECT_EQ(seen, (std::vector<uint8_t>{0, 127}));
    player.Stop();
}

TEST_F(TransitionPlayer, ZeroDurationEndsAtTheFirstTick) {
    TIETransitionEffects& player = Start(5, 200, 100, kGreen, kBlue, 0);
    int32_t stops = 0;
    player.OnTransitionStop = [&](TObject*) { ++stops; };
    player.TimerStep(nullptr);
    EXPECT_FALSE(player.Running);
    EXPECT_EQ(player.Step, 1024);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(FView->Updates, 0) << "no update without UpdateOnStop";
}

TEST_F(TransitionPlayer, StopWhileRunningGivesBackTheLock) {
    TIETransitionEffects& player = Start(1);
    player.Stop();
    EXPECT_FALSE(player.Running);
    EXPECT_EQ(FView->Releases, 1);
    player.Stop();
    EXPECT_EQ(FView->Releases, 1);
}

TEST_F(TransitionPlayer, CrossFadeAndPushesComputeEveryPixel) {
    // Black to white at 512: (0 * 512 + 255 * 512) >> 10.
    Start(1, 200, 100, kBlack, kWhite);
    Paint(512);
    const TBgr mid = PixelAt(*FPlayer->Frame, 7, 9);
    EXPECT_EQ(mid.b, 127);
    EXPECT_EQ(mid.g, 127);
    EXPECT_EQ(mid.r, 127);
    // The fades go through the background colour.
    Start(4, 200, 100, kBlack, kWhite).Background = clRed;
    Paint(256);
    EXPECT_EQ(PixelAt(*FPlayer->Frame, 0, 0).r, 127);
    EXPECT_EQ(PixelAt(*FPlayer->Frame, 0, 0).b, 0);
    Paint(768);
    EXPECT_EQ(PixelAt(*FPlayer->Frame, 0, 0).r, (255 * 512 + 255 * 512) >> 10);
    EXPECT_EQ(PixelAt(*FPlayer->Frame, 0, 0).b, 127);

    // Effect 20 at 512 on 100 columns: the old image's right 50 columns, then the new image's
    // columns 50..99 in place.
    TIETransitionEffects& player = Start(20, 100, 10);
    GdiFlush();
    for (int32_t x = 0; x < 100; ++x) {
        player.OldRows[3][3 * x] = (uint8_t)x;
        player.NewRows[3][3 * x] = (uint8_t)(100 + x);
    }
    Paint(512);
    for (int32_t x = 0; x < 100; ++x)
        EXPECT_EQ(PixelAt(*player.Frame, x, 3).b, x < 50 ? 50 + x : 100 + x) << x;
}

TEST_F(TransitionPlayer, OwnEffectsShowOldAndNewAreas) {
    // Old green, new blue, 200 x 100. Each case paints the start first, then its step.
    struct TCase {
        uint8_t Effect;
        int32_t Step;
        std::vector<TPixel> Pixels;
    };
    const TCase cases[] = {
        {5, 512, {{50, 50, 'N'}, {150, 50, 'O'}}},
        {6, 512, {{50, 50, 'N'}, {100, 50, 'R'}, {150, 50, 'O'}}},
        {6, 1024, {{0, 50, 'N'}, {199, 50, 'N'}}},   // the line at x = W, outside the frame
        {7, 512, {{150, 50, 'N'}, {50, 50, 'O'}}},
        {8, 512, {{150, 50, 'N'}, {100, 50, 'R'}, {50, 50, 'O'}}},
        {9, 512, {{100, 25, 'N'}, {100, 75, 'O'}}},
        {10, 512, {{100, 25, 'N'}, {100, 50, 'R'}, {100, 75, 'O'}}},
        {11, 512, {{100, 75, 'N'}, {100, 25, 'O'}}},
        {12, 512, {{100, 75, 'N'}, {100, 50, 'R'}}},
        {13, 512, {{50, 25, 'N'}, {150, 25, 'O'}, {50, 75, 'O'}}},
        {14, 512, {{150, 25, 'N'}, {50, 25, 'O'}, {150, 75, 'O'}}},
        {15, 512, {{50, 75, 'N'}, {50, 25, 'O'}, {150, 75, 'O'}}},
        {16, 512, {{150, 75, 'N'}, {50, 75, 'O'}, {150, 25, 'O'}}},
        {17, 512, {{50, 50, 'N'}, {150, 50, 'O'}}},
        {18, 512, {{50, 50, 'N'}, {150, 50, 'O'}}},
        {19, 512, {{50, 50, 'O'}, {150, 50, 'N'}}},
        {21, 512, {{100, 25, 'N'}, {100, 75, 'O'}}},
        {22, 512, {{100, 25, 'N'}, {100, 75, 'O'}}},
        {23, 512, {{100, 25, 'O'}, {100, 75, 'N'}}},
        {24, 512, {{100, 25, 'O'}, {100, 75, 'N'}}},
        {27, 512, {{100, 50, 'N'}, {10, 10, 'O'}, {190, 90, 'O'}}},
        {28, 512, {{100, 50, 'O'}, {10, 10, 'N'}, {190, 90, 'N'}}},
        {29, 512, {{100, 50, 'N'}, {10, 10, 'O'}}},
        {30, 512, {{100, 50, 'O'}, {10, 10, 'N'}}},
        {186, 512, {{50, 50, 'O'}, {150, 50, 'N'}, {100, 50, 'K'}}},
        {186, 256, {{50, 50, 'O'}, {125, 50, 'O'}, {175, 50, '?'}, {150, 50, 'K'}}},
        {186, 768, {{25, 50, '?'}, {75, 50, 'N'}, {150, 50, 'N'}, {50, 50, 'K'}}},
        {188, 512, {{50, 50, 'N'}, {150, 50, 'O'}, {100, 50, 'K'}}},
        {188, 256, {{25, 50, '?'}, {75, 50, 'O'}, {150, 50, 'O'}, {50, 50, 'K'}}},
        {219, 512, {{100, 20, 'N'}, {100, 80, 'O'}}},
        {220, 512, {{100, 20, 'O'}, {100, 80, 'N'}}},
        {221, 512, {{50, 50, 'O'}, {150, 50, 'N'}}},
        {222, 512, {{50, 50, 'N'}, {150, 50, 'O'}}},
        {215, 1024, {{0, 0, 'N'}, {199, 99, 'N'}}},
        {217, 0, {{0, 0, 'O'}, {199, 99, 'O'}}},
        // A table procedure reached with Progress 50.
        {31, 512, {{20, 50, 'N'}, {180, 50, 'O'}}},
        // An effect no one draws keeps the old image.
        {240, 512, {{20, 50, 'O'}, {180, 50, 'O'}}},
    };
    for (const TCase& c : cases) {
        Start(c.Effect);
        Paint(0, true);
        Paint(c.Step);
        for (const TPixel& p : c.Pixels)
            EXPECT_EQ(At(p.X, p.Y), p.Shows) << "effect " << (int)c.Effect << " at step " << c.Step << ", pixel ("
                                             << p.X << ", " << p.Y << ")";
        EXPECT_EQ(Classify(PixelAt(FView->Screen, 20, 50), kGreen, kBlue), At(20, 50)) << "frame copied to the view";
    }
}

TEST_F(TransitionPlayer, CubeShadesBothFacesTowardsTheBackground) {
    // Step 512: e1 = e2 = Round(768.6667) = 769; old image on the left, new on the right.
    Start(215, 200, 100, kWhite, kWhite).Background = clBlack;
    Paint(512);
    EXPECT_EQ(PixelAt(*FPlayer->Frame, 50, 50).r, (255 * 769) >> 10);
    EXPECT_EQ(PixelAt(*FPlayer->Frame, 150, 50).g, (255 * 769) >> 10);
}

TEST_F(TransitionPlayer, SecondPageFlipsDrawAsTheFirst) {
    for (uint8_t pair : {186, 188}) {
        std::vector<std::vector<uint8_t>> frames[2];
        for (int32_t k = 0; k < 2; ++k) {
            Start((uint8_t)(pair + k), 60, 20, kGreen, kBlue);
            for (int32_t s : {0, 300, 512, 700, 1024}) {
                Paint(s, s == 0);
                std::vector<uint8_t> bytes;
                for (int32_t y = 0; y < 20; ++y) {
                    const uint8_t* row = (const uint8_t*)FPlayer->Frame->ScanLine(y);
                    bytes.insert(bytes.end(), row, row + 60 * 3);
                }
                frames[k].push_back(bytes);
            }
        }
        EXPECT_EQ(frames[0], frames[1]) << (int)pair;
    }
}

TEST_F(TransitionPlayer, SoftWipeOnAFlatFrameHasAHardEdge) {
    // Four rows: no blend band; at 512 the edge is at row 2.
    Start(219, 50, 4);
    Paint(512);
    for (int32_t y = 0; y < 4; ++y) EXPECT_EQ(At(10, y), y < 2 ? 'N' : 'O') << y;
    Start(222, 4, 50);
    Paint(1024);
    for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(At(x, 10), 'N') << x;
}

TEST_F(TransitionPlayer, RandomPointsAndBoxesCoverTheFrameByTheEnd) {
    for (uint8_t effect : {25, 26}) {
        RandSeed = 12345;
        TIETransitionEffects& player = Start(effect);
        Paint(0, true);
        EXPECT_EQ(CountOther(*player.Frame, kGreen, kBlue, 'O'), 0);
        Paint(512);
        const int32_t half = CountOther(*player.Frame, kGreen, kBlue, 'O');
        const int32_t countHalf = player.RandomCount;
        Paint(1024);
        const int32_t end = CountOther(*player.Frame, kGreen, kBlue, 'O');
        EXPECT_GT(half, 0) << (int)effect;
        EXPECT_GT(end, half) << (int)effect;
        EXPECT_GT(end, 200 * 100 * 98 / 100) << (int)effect;
        EXPECT_GT(player.RandomCount, countHalf);
        EXPECT_EQ(CountOther(*player.Frame, kGreen, kBlue, 'O') + CountOther(*player.Frame, kGreen, kBlue, 'N'),
                  200 * 100)
            << "only old and new pixels";
    }
    // The same seed draws the same frame.
    RandSeed = 99;
    Start(25);
    Paint(0, true);
    Paint(700);
    const int32_t first = CountOther(*FPlayer->Frame, kGreen, kBlue, 'O');
    RandSeed = 99;
    Start(25);
    Paint(0, true);
    Paint(700);
    EXPECT_EQ(CountOther(*FPlayer->Frame, kGreen, kBlue, 'O'), first);
}

namespace {

// A 200 x 200 image in four quadrants: red, green / blue, white.
std::unique_ptr<TIEBitmap> Quadrants(int32_t W, int32_t H) {
    auto image = std::make_unique<TIEBitmap>(W, H, ie24RGB);
    for (int32_t y = 0; y < H; ++y) {
        uint8_t* row = image->GetScanline(y);
        for (int32_t x = 0; x < W; ++x) {
            const TBgr c = y < H / 2 ? (x < W / 2 ? kRed : kGreen) : (x < W / 2 ? kBlue : kWhite);
            std::memcpy(row + 3 * x, &c, 3);
        }
    }
    return image;
}

}  // namespace

TEST_F(TransitionPlayer, PanZoomOfOneRectangleShowsItThroughout) {
    auto image = Quadrants(400, 200);
    FView = std::make_unique<TFakeView>(200, 100);
    FPlayer = std::make_unique<TIETransitionEffects>(FView.get());
    FView->Image = image.get();
    FPlayer->StartRect = FPlayer->EndRect = RECT{100, 50, 300, 150};
    Fill(FOld, 200, 100, kBlack);
    FPlayer->Run(&FOld, &FOld, IEPanZoomEffect, 1000);
    ASSERT_EQ(FPlayer->PanZoomImage, image.get());
    for (int32_t s : {0, 300, 1024}) {
        Paint(s, s == 0);
        EXPECT_TRUE(Same(PixelAt(*FPlayer->Frame, 50, 25), kRed)) << s;
        EXPECT_TRUE(Same(PixelAt(*FPlayer->Frame, 150, 25), kGreen)) << s;
        EXPECT_TRUE(Same(PixelAt(*FPlayer->Frame, 50, 75), kBlue)) << s;
        EXPECT_TRUE(Same(PixelAt(*FPlayer->Frame, 150, 75), kWhite)) << s;
        EXPECT_TRUE(Same(PixelAt(*FPlayer->Frame, 0, 0), kRed)) << s;
        EXPECT_TRUE(Same(PixelAt(*FPlayer->Frame, 199, 99), kWhite)) << s;
    }
}

TEST_F(TransitionPlayer, PanZoomClipsFitsAndCentresOverTheBackground) {
    // A rectangle wider than the square image: clipped to 200 x 200, fitted into 100 x 100 in the
    // middle of the frame, the rest the view's background or, without one, Background.
    auto image = Quadrants(200, 200);
    for (bool viewBackground : {true, false}) {
        FView = std::make_unique<TFakeView>(200, 100);
        FView->HasBackground = viewBackground;
        FPlayer = std::make_unique<TIETransitionEffects>(FView.get());
        FPlayer->PanZoomImage = image.get();
        FPlayer->Background = clYellow;
        FPlayer->StartRect = FPlayer->EndRect = RECT{-50, 0, 250, 200};
        Fill(FOld, 200, 100, kBlack);
        FPlayer->Run(&FOld, &FOld, IEPanZoomEffect, 1000);
        Paint(0, true);
        const TBgr back = viewBackground ? kGreen : kYellow;
        EXPECT_TRUE(Same(PixelAt(*FPlayer->Frame, 10, 50), back)) << viewBackground;
        EXPECT_TRUE(Same(PixelAt(*FPlayer->Frame, 190, 50), back)) << viewBackground;
        EXPECT_TRUE(Same(PixelAt(*FPlayer->Frame, 60, 10), kRed)) << viewBackground;
        EXPECT_TRUE(Same(PixelAt(*FPlayer->Frame, 140, 90), kWhite)) << viewBackground;
    }
    // A rectangle of no width draws nothing: the frame keeps what it held.
    FView = std::make_unique<TFakeView>(200, 100);
    FPlayer = std::make_unique<TIETransitionEffects>(FView.get());
    FPlayer->PanZoomImage = image.get();
    FPlayer->StartRect = FPlayer->EndRect = RECT{10, 10, 10, 50};
    FPlayer->Run(&FOld, &FOld, IEPanZoomEffect, 1000);
    Paint(0, true);
    Paint(512);
    EXPECT_EQ(CountOther(*FPlayer->Frame, kBlack, kBlack, 'O'), 0);
}

TEST_F(TransitionPlayer, PanZoomEdgesMoveOneWayFromTheLeftEdge) {
    // A rectangle shrinking towards the image's left edge: its left edge stays at 0 and its right
    // edge only moves left, frame after frame (a left edge of 0 does not reset the limits).
    auto image = Quadrants(400, 200);
    FView = std::make_unique<TFakeView>(200, 100);
    FPlayer = std::make_unique<TIETransitionEffects>(FView.get());
    FPlayer->PanZoomImage = image.get();
    FPlayer->StartRect = RECT{0, 0, 400, 200};
    FPlayer->EndRect = RECT{0, 0, 200, 100};
    Fill(FOld, 200, 100, kBlack);
    FPlayer->Run(&FOld, &FOld, IEPanZoomEffect, 1000);
    Paint(0, true);
    int32_t lastRight = FPlayer->PanZoomLimits[6];
    EXPECT_EQ(lastRight, 400);
    for (int32_t s : {200, 400, 700, 1024}) {
        Paint(s);
        EXPECT_EQ(FPlayer->PanZoomLimits[0], 0) << s;
        EXPECT_LT(FPlayer->PanZoomLimits[6], lastRight) << s;
        lastRight = FPlayer->PanZoomLimits[6];
    }
    EXPECT_EQ(lastRight, 200);
    EXPECT_EQ(FPlayer->PanZoomLimits[7], 400) << "the greatest right edge seen";
}
