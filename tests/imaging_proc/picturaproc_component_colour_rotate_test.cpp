// The processing component's colour reduction, grey conversion and rotation: the examples worked
// by hand (the ordered dither of a flat 250 grey, 30 degrees of 100 x 50, quarter turns of every
// path), the undo entries and events each operation leaves, the alpha channel turned along, and
// the shear blend staying between its neighbours.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ProcFakeView.h"
#include "iebitmap.h"
#include "picturaproc_component.h"
#include "picturaproc_pixels.h"
#include "picturaproc_rotate.h"
#include "picturaproc_shears.h"

namespace {

void FillRGB(TIEBitmap& B, TIERGB C) {
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) B.SetPixelRGB(x, y, C);
}

// Every pixel different from its neighbours, in any format (1-bit: a pattern of bits).
std::unique_ptr<TIEBitmap> Pattern(int32_t W, int32_t H, TIEPixelFormat Format) {
    auto bmp = std::make_unique<TIEBitmap>(W, H, Format);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
            const uint8_t v = (uint8_t)(x * 37 + y * 11 + 5);
            if (Format == ie24RGB) bmp->SetPixelRGB(x, y, TIERGB{v, (uint8_t)(v ^ 0x5A), (uint8_t)(x * 7 + y)});
            else if (Format == ie1g) IESetBit(bmp->GetScanline(y), x, (x * 3 + y * 5) % 7 < 3);
            else bmp->SetPixelByte(x, y, v);
        }
    return bmp;
}

// The pixel as a number, whatever the format.
uint32_t Px(TIEBitmap* B, int32_t X, int32_t Y) {
    switch (B->GetPixelFormat()) {
    case ie1g: return IEGetBit(B->GetScanline(Y), X) ? 1 : 0;
    case ie24RGB: {
        const TIERGB c = B->GetPixelRGB(X, Y);
        return (uint32_t)c.r << 16 | (uint32_t)c.g << 8 | c.b;
    }
    default: return B->GetPixelByte(X, Y);
    }
}

// What an operation left behind: progress values, finish events, undo entries and captions.
struct TRecorder {
    std::vector<int32_t> Progress;
    int32_t Finished = 0;
    void Attach(TPicturaProc& Proc) {
        Proc.OnProgress = [this](TObject*, int32_t pc) { Progress.push_back(pc); };
        Proc.OnFinishWork = [this](TObject*) { ++Finished; };
    }
};

std::wstring TopCaption(TPicturaProc& Proc) {
    std::wstring caption = L"(none)";
    Proc.GetUndoCaptions(0, caption);
    return caption;
}

// A road through Rotate: the image's format, antialiasing and quality mode.
struct TRotatePath {
    TIEPixelFormat Format;
    bool AntiAlias;
    uint8_t Quality;
};

int32_t CountClear(TIEBitmap& B) {
    int32_t clear = 0;
    for (int32_t y = 0; y < B.GetHeight(); ++y)
        for (int32_t x = 0; x < B.GetWidth(); ++x) clear += !IEGetBit(B.GetScanline(y), x);
    return clear;
}

}  // namespace

TEST(TPicturaProcColour, ConvertToTwoColoursDithersAndThresholds) {
    // Flat (250, 250, 250): grey 250 div 4 = 62 loses against the matrix entries 62 and 63 only,
    // so 2 of every 64 pixels turn black; pure white beats every entry.
    const struct {
        TIERGB Colour;
        int32_t NumColors;
        TIEDitherMethod Method;
        int32_t Black;   // pixels clear in the 8 x 8 result
    } cases[] = {
        {{250, 250, 250}, 2, iedmOrdered, 2},
        {{255, 255, 255}, 2, iedmOrdered, 0},
        {{255, 255, 255}, 1, iedmOrdered, 0},
        {{250, 250, 250}, 0, iedmThreshold, 0},   // the average's own grey is not below itself
        {{250, 250, 250}, -5, iedmOrdered, 2},    // any count below 3
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.NumColors);
        TIEBitmap bmp(8, 8, ie24RGB);
        FillRGB(bmp, c.Colour);
        auto proc = TPicturaProc::CreateFromBitmap(&bmp);
        TRecorder rec;
        rec.Attach(*proc);
        proc->ConvertTo(c.NumColors, c.Method);
        ASSERT_EQ(bmp.GetPixelFormat(), ie1g);
        EXPECT_EQ(CountClear(bmp), c.Black);
        EXPECT_EQ(rec.Finished, 1);
        ASSERT_FALSE(rec.Progress.empty());
        EXPECT_EQ(rec.Progress.back(), 100);
        EXPECT_LE(*std::max_element(rec.Progress.begin(), rec.Progress.end()), 100);
    }
    // The threshold path splits a two-level image at the average's grey.
    TIEBitmap half(4, 2, ie24RGB);
    FillRGB(half, TIERGB{20, 20, 20});
    for (int32_t y = 0; y < 2; ++y) half.SetPixelRGB(3, y, TIERGB{240, 240, 240});
    auto proc = TPicturaProc::CreateFromBitmap(&half);
    proc->ConvertTo(2, iedmThreshold);
    ASSERT_EQ(half.GetPixelFormat(), ie1g);
    EXPECT_EQ(CountClear(half), 6);
    EXPECT_TRUE(IEGetBit(half.GetScanline(1), 3));
}

TEST(TPicturaProcColour, UndoEntriesCaptionsAndWhatEachCountLeaves) {
    auto src = Pattern(20, 12, ie24RGB);
    TIEBitmap bmp;
    bmp.Assign(src.get());
    auto proc = TPicturaProc::CreateFromBitmap(&bmp);
    proc->AutoUndo = true;
    proc->UndoLimit = 10;
    TRecorder rec;
    rec.Attach(*proc);

    // Above 1024 colours the pixels stay, but the entry is saved and the operation finishes.
    proc->ConvertTo(2000, iedmOrdered);
    EXPECT_TRUE(IEBitmapsEqual(&bmp, src.get()));
    EXPECT_EQ(proc->GetUndoCount(), 1);
    EXPECT_EQ(TopCaption(*proc), L"ConvertTo 2000");
    EXPECT_EQ(rec.Finished, 1);

    // ConvertToPalette with 0 colours does nothing at all.
    std::vector<TIERGB> palette(18, TIERGB{7, 7, 7});
    proc->ConvertToPalette(0, palette.data(), iedmOrdered);
    EXPECT_EQ(proc->GetUndoCount(), 1);
    EXPECT_EQ(rec.Finished, 1);
    EXPECT_TRUE(IESameRGB(palette[0], TIERGB{7, 7, 7}));

    // 16 colours: the palette is filled and every pixel is one of its colours; the image stays
    // 24-bit.
    proc->ConvertToPalette(16, palette.data(), iedmOrdered);
    EXPECT_EQ(TopCaption(*proc), L"ConvertToPalette");
    ASSERT_EQ(bmp.GetPixelFormat(), ie24RGB);
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 20; ++x) {
            const TIERGB c = bmp.GetPixelRGB(x, y);
            ASSERT_TRUE(std::any_of(palette.begin(), palette.begin() + 16,
                                    [&](const TIERGB& p) { return IESameRGB(p, c); }));
        }
    EXPECT_TRUE(IESameRGB(palette[16], TIERGB{7, 7, 7}));   // nothing past NumColors

    // Undo brings the 24-bit original back exactly.
    proc->Undo(false);
    proc->ClearUndo();
    proc->Undo(false);
    EXPECT_TRUE(IEBitmapsEqual(&bmp, src.get()));

    // Two colours: black and white in the palette; one colour: black alone, nothing past it.
    proc->ConvertToPalette(2, palette.data(), iedmOrdered);
    EXPECT_TRUE(IESameRGB(palette[0], TIERGB{0, 0, 0}));
    EXPECT_TRUE(IESameRGB(palette[1], TIERGB{255, 255, 255}));
    EXPECT_EQ(bmp.GetPixelFormat(), ie1g);
    palette.assign(2, TIERGB{7, 7, 7});
    bmp.Assign(src.get());
    proc->ConvertToPalette(1, palette.data(), iedmThreshold);
    EXPECT_TRUE(IESameRGB(palette[0], TIERGB{0, 0, 0}));
    EXPECT_TRUE(IESameRGB(palette[1], TIERGB{7, 7, 7}));
    EXPECT_EQ(bmp.GetPixelFormat(), ie1g);
}

TEST(TPicturaProcColour, ConvertToGrayKeepsTwentyFourBitsAndFollowsTheFormatRules) {
    auto src = Pattern(9, 5, ie24RGB);
    TIEBitmap bmp;
    bmp.Assign(src.get());
    auto proc = TPicturaProc::CreateFromBitmap(&bmp);
    proc->AutoUndo = true;
    TRecorder rec;
    rec.Attach(*proc);
    proc->ConvertToGray();
    ASSERT_EQ(bmp.GetPixelFormat(), ie24RGB);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 9; ++x) {
            const TIERGB was = src->GetPixelRGB(x, y), now = bmp.GetPixelRGB(x, y);
            const uint8_t g = (uint8_t)((was.r * 21 + was.g * 71 + was.b * 8) / 100);
            ASSERT_TRUE(now.r == g && now.g == g && now.b == g);
        }
    EXPECT_EQ(TopCaption(*proc), L"ConvertToGray");
    EXPECT_EQ(rec.Finished, 1);
    EXPECT_LE(*std::max_element(rec.Progress.begin(), rec.Progress.end()), 100);

    // An 8-bit grey image is converted to 24 bits first; with AutoConvertFormat off it is left
    // alone: ConvertTo fires nothing, ConvertToGray has saved its entry before the test.
    TIEBitmap grey(6, 4, ie8g);
    grey.Fill(90);
    auto greyProc = TPicturaProc::CreateFromBitmap(&grey);
    greyProc->AutoUndo = true;
    greyProc->UndoLimit = 5;
    greyProc->AutoConvertFormat = false;
    TRecorder greyRec;
    greyRec.Attach(*greyProc);
    greyProc->ConvertTo(16, iedmOrdered);
    greyProc->ConvertToPalette(16, nullptr, iedmOrdered);
    EXPECT_EQ(greyProc->GetUndoCount(), 0);
    greyProc->ConvertToGray();
    EXPECT_EQ(greyProc->GetUndoCount(), 1);
    EXPECT_EQ(grey.GetPixelFormat(), ie8g);
    EXPECT_EQ(greyRec.Finished, 0);
    EXPECT_TRUE(greyRec.Progress.empty());
    greyProc->AutoConvertFormat = true;
    greyProc->ConvertToGray();
    EXPECT_EQ(grey.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(grey.GetPixelRGB(3, 2).g, 90);
}

TEST(TPicturaProcColour, ConvertToGrayGreysTheViewersSelectionOnly) {
    // A 10 x 5 selection with a hole: only its set pixels turn grey; the viewer is refreshed.
    TProcFakeView view;
    view.Image = Pattern(20, 12, ie24RGB);
    TIEBitmap before;
    before.Assign(view.Image.get());
    view.SelectBoxWithHole();
    TPicturaProc proc(nullptr);
    proc.SetAttachedPictura(&view);
    // A progress handler that raises stops the conversion: the copy of the selection's box goes
    // (the sanitizers see a leak otherwise) and nothing reaches the image.
    proc.OnProgress = [](TObject*, int32_t) { throw std::runtime_error("stop"); };
    EXPECT_THROW(proc.ConvertToGray(), std::runtime_error);
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 20; ++x)
            ASSERT_TRUE(IESameRGB(view.Image->GetPixelRGB(x, y), before.GetPixelRGB(x, y))) << x << "," << y;
    proc.OnProgress = nullptr;
    proc.ConvertToGray();
    for (int32_t y = 0; y < 12; ++y)
        for (int32_t x = 0; x < 20; ++x) {
            const TIERGB was = before.GetPixelRGB(x, y), now = view.Image->GetPixelRGB(x, y);
            if (view.Mask.GetPixel(x, y)) {
                const uint8_t g = (uint8_t)((was.r * 21 + was.g * 71 + was.b * 8) / 100);
                ASSERT_TRUE(now.r == g && now.g == g && now.b == g) << x << "," << y;
            } else {
                ASSERT_TRUE(IESameRGB(now, was)) << x << "," << y;
            }
        }
    EXPECT_GT(view.Updates, 0);
    proc.SetAttachedPictura(nullptr);
}

TEST(TPicturaProcRotate, ThirtyDegreesOfOneHundredByFiftyIsOneHundredTwelveByNinetyFour) {
    // t = tan 15, s = 1/2: W1 = Round(113.4 + 1) = 114, V = 7, H1 = 108, U = Round(13.67) = 14,
    // H2 = 94, W3 = Round(25.19 + 114 + 1 - 28) = 112.
    for (bool antiAlias : {true, false}) {
        SCOPED_TRACE(antiAlias);
        TIEBitmap bmp(100, 50, ie24RGB);
        FillRGB(bmp, TIERGB{30, 60, 90});
        auto proc = TPicturaProc::CreateFromBitmap(&bmp);
        proc->AutoUndo = true;
        proc->SetBackground(0x00332211);   // red 0x11, green 0x22, blue 0x33
        TRecorder rec;
        rec.Attach(*proc);
        // Without antialiasing the plain rotation runs: its own size rule.
        proc->Rotate(30, antiAlias, 0, -1);
        if (antiAlias) {
            ASSERT_EQ(bmp.GetWidth(), 112);
            ASSERT_EQ(bmp.GetHeight(), 94);
        } else {
            ASSERT_EQ(bmp.GetWidth(), 112);   // Round(86.60 + 25) and Round(43.30 + 50)
            ASSERT_EQ(bmp.GetHeight(), 93);
        }
        const int32_t w = bmp.GetWidth(), h = bmp.GetHeight();
        for (const auto& corner : {std::make_pair(0, 0), std::make_pair(w - 1, 0), std::make_pair(0, h - 1),
                                   std::make_pair(w - 1, h - 1)})
            EXPECT_EQ(Px(&bmp, corner.first, corner.second), 0x112233u);
        EXPECT_EQ(Px(&bmp, w / 2, h / 2), 0x5A3C1Eu);
        EXPECT_EQ(TopCaption(*proc), L"Rotate 30.00");
        EXPECT_EQ(rec.Finished, 1);
        EXPECT_EQ(rec.Progress.back(), 100);
        // Undo brings the 100 x 50 image back.
        proc->Undo(false);
        EXPECT_EQ(bmp.GetWidth(), 100);
        EXPECT_EQ(bmp.GetHeight(), 50);
        EXPECT_EQ(Px(&bmp, 0, 0), 0x5A3C1Eu);
    }
    // 0 and angles that are no number change nothing and save nothing.
    TIEBitmap bmp(10, 5, ie24RGB);
    auto proc = TPicturaProc::CreateFromBitmap(&bmp);
    proc->AutoUndo = true;
    TRecorder rec;
    rec.Attach(*proc);
    for (double angle : {0.0, -0.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
        proc->Rotate(angle, true, 0, -1);
    EXPECT_EQ(bmp.GetWidth(), 10);
    EXPECT_EQ(proc->GetUndoCount(), 0);
    EXPECT_EQ(rec.Finished, 0);
}

TEST(TPicturaProcRotate, QuarterTurnsMapPixelsExactlyOnEveryPath) {
    // CCW (90, -270): Dest(x, y) = Source(W - 1 - y, x); CW (-90, 270): Dest(x, y) = Source(y, H - 1 - x).
    const TRotatePath paths[] = {
        {ie24RGB, true, 0},    // shears: whole quarter turns, no blending
        {ie24RGB, true, 2},    // a right angle skips the interpolation
        {ie24RGB, false, 0},   // plain
        {ie1g, true, 0},       // the 1-bit nearest rotation
        {ie1g, false, 0},
        {ie8g, true, 1},       // plain for every other format
    };
    for (const auto& p : paths)
        for (double angle : {90.0, -270.0, -90.0, 270.0}) {
            SCOPED_TRACE(testing::Message() << (int)p.Format << " " << p.AntiAlias << " " << (int)p.Quality << " " << angle);
            auto src = Pattern(7, 4, p.Format);
            TIEBitmap bmp;
            bmp.Assign(src.get());
            bmp.GetAlphaChannel()->Fill(255);
            for (int32_t x = 0; x < 7; ++x) bmp.SetAlpha(x, 0, (uint8_t)(x * 30));
            auto proc = TPicturaProc::CreateFromBitmap(&bmp);
            proc->Rotate(angle, p.AntiAlias, p.Quality, 0);
            ASSERT_EQ(bmp.GetWidth(), 4);
            ASSERT_EQ(bmp.GetHeight(), 7);
            ASSERT_EQ(bmp.GetPixelFormat(), p.Format);
            const bool ccw = angle == 90 || angle == -270;
            for (int32_t y = 0; y < 7; ++y)
                for (int32_t x = 0; x < 4; ++x) {
                    const int32_t sx = ccw ? 6 - y : y, sy = ccw ? x : 3 - x;
                    ASSERT_EQ(Px(&bmp, x, y), Px(src.get(), sx, sy)) << x << "," << y;
                    ASSERT_EQ(bmp.GetAlpha(x, y), sy == 0 ? sx * 30 : 255) << x << "," << y;
                }
        }
    // Whole turns and half turns of an even-wide image: nothing repeated, nothing lost.
    for (const auto& p : paths)
        for (double angle : {360.0, -720.0, 180.0}) {
            SCOPED_TRACE(testing::Message() << (int)p.Format << " " << p.AntiAlias << " " << angle);
            auto src = Pattern(8, 3, p.Format);
            TIEBitmap bmp;
            bmp.Assign(src.get());
            auto proc = TPicturaProc::CreateFromBitmap(&bmp);
            proc->Rotate(angle, p.AntiAlias, p.Quality, 0);
            ASSERT_EQ(bmp.GetWidth(), 8);
            ASSERT_EQ(bmp.GetHeight(), 3);
            for (int32_t y = 0; y < 3; ++y)
                for (int32_t x = 0; x < 8; ++x)
                    ASSERT_EQ(Px(&bmp, x, y), angle == 180 ? Px(src.get(), 7 - x, 2 - y) : Px(src.get(), x, y));
        }
}

TEST(TPicturaProcRotate, TheAlphaChannelTurnsWithTransparentCornersOnEveryPath) {
    const TRotatePath paths[] = {
        {ie24RGB, true, 0}, {ie24RGB, true, 1}, {ie24RGB, true, 2}, {ie24RGB, false, 0},
        {ie1g, true, 0},    {ie8g, true, 0},
    };
    for (const auto& p : paths) {
        SCOPED_TRACE(testing::Message() << (int)p.Format << " " << p.AntiAlias << " " << (int)p.Quality);
        auto bmp = Pattern(30, 20, p.Format);
        bmp->GetAlphaChannel()->Fill(255);
        auto proc = TPicturaProc::CreateFromBitmap(bmp.get());
        proc->SetBackground(0x00FFFFFF);
        proc->Rotate(45, p.AntiAlias, p.Quality, -1);
        ASSERT_TRUE(bmp->HasAlphaChannel());
        TIEBitmap* alpha = bmp->GetAlphaChannel();
        EXPECT_TRUE(alpha->GetIsAlpha());
        ASSERT_EQ(alpha->GetWidth(), bmp->GetWidth());
        ASSERT_EQ(alpha->GetHeight(), bmp->GetHeight());
        ASSERT_GT(bmp->GetWidth(), 30);
        const int32_t w = bmp->GetWidth(), h = bmp->GetHeight();
        EXPECT_EQ(bmp->GetAlpha(0, 0), 0);
        EXPECT_EQ(bmp->GetAlpha(w - 1, h - 1), 0);
        EXPECT_EQ(bmp->GetAlpha(w / 2, h / 2), 255);
    }
}

TEST(TPicturaProcRotate, EachQualityGoesThroughItsRoutine) {
    // Interpolation for a 24-bit image at an angle that is not right, the shears otherwise.
    const struct {
        double Angle;
        bool AntiAlias;
        uint8_t Quality;
        void (*Expected)(TIEBitmap*, double);
    } cases[] = {
        {10, true, 1, [](TIEBitmap* b, double a) { IERotateHighQuality(b, 0x102030, 1, a); }},
        {-33.5, true, 2, [](TIEBitmap* b, double a) { IERotateHighQuality(b, 0x102030, 2, a); }},
        {10, true, 0, [](TIEBitmap* b, double a) { IERotateByShears(b, a, true, nullptr, IEColorToRGB(0x102030)); }},
        {90, true, 1, [](TIEBitmap* b, double a) { IERotateByShears(b, a, true, nullptr, IEColorToRGB(0x102030)); }},
        {10, false, 2, [](TIEBitmap* b, double a) { IERotatePlain(b, 0x102030, nullptr, a); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Angle << " " << c.AntiAlias << " " << (int)c.Quality);
        auto bmp = Pattern(23, 14, ie24RGB);
        TIEBitmap expect;
        expect.Assign(bmp.get());
        c.Expected(&expect, c.Angle);
        auto proc = TPicturaProc::CreateFromBitmap(bmp.get());
        proc->Rotate(c.Angle, c.AntiAlias, c.Quality, 0x102030);
        EXPECT_TRUE(IEBitmapsEqual(bmp.get(), &expect));
    }
}

TEST(IERotateByShears, TheAntialiasedBlendInterpolatesAndNeverOvershoots) {
    // Levels 100 and 200 on a background of 150: every blend of two of them lies within 100..200.
    // A whole shift rounded up with a negative fraction would extrapolate past them (up to about
    // 250 or down to 50).
    for (double angle : {7.3, -12.9, 30.0, 44.9, -44.9, 100.7, -170.2, 1.0}) {
        SCOPED_TRACE(angle);
        TIEBitmap rgb(23, 17, ie24RGB), grey(23, 17, ie8g);
        for (int32_t y = 0; y < 17; ++y)
            for (int32_t x = 0; x < 23; ++x) {
                const uint8_t v = ((x / 2 + y) % 3 == 0) ? 200 : 100;
                rgb.SetPixelRGB(x, y, TIERGB{v, (uint8_t)(300 - v), v});
                grey.SetPixelByte(x, y, v);
            }
        IERotateByShears(&rgb, angle, true, nullptr, TIERGB{150, 150, 150});
        IERotateByShears8(&grey, angle, true, 150);
        ASSERT_EQ(rgb.GetWidth(), grey.GetWidth());
        ASSERT_EQ(rgb.GetHeight(), grey.GetHeight());
        int32_t between = 0;
        for (int32_t y = 0; y < rgb.GetHeight(); ++y)
            for (int32_t x = 0; x < rgb.GetWidth(); ++x) {
                const TIERGB c = rgb.GetPixelRGB(x, y);
                for (uint8_t v : {c.r, c.g, c.b, grey.GetPixelByte(x, y)}) ASSERT_TRUE(v >= 100 && v <= 200) << x << "," << y;
                between += c.b != 100 && c.b != 200 && c.b != 150;
            }
        EXPECT_GT(between, 0);   // blending did happen
    }
}
