// The progress bar: range and position writes, the fill width and caption computed in extended
// precision, the cached gradient strip, the caption's halo, the border, the parent's sunken frame
// and the marquee.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "KWProgressBar.h"
#include "controls_test_util.h"

namespace {

struct TBarHost {
    std::unique_ptr<TForm> Form = MakeHostForm(600, 100);
    TKWProgressBar* Bar;
    TBarHost(int32_t w = 100, int32_t h = 20) {
        Bar = new TKWProgressBar(Form.get());
        Bar->SetParent(Form.get());
        Bar->SetBounds(10, 10, w, h);
    }
    // A flat bar in one colour on white, without border or caption.
    void Flat(TColor fill) {
        Bar->SetForeColor1(fill);
        Bar->SetForeColor2(fill);
        Bar->SetBorderStyle(bsNone);
        Bar->SetText(L"");
    }
    // The number of columns of a row that hold the colour.
    int32_t Columns(TColor color, int32_t y = 5) {
        TBitmap bmp;
        RenderControl(Bar, bmp);
        int32_t n = 0;
        for (int32_t x = 0; x < Bar->Width(); ++x) n += PixelOf(bmp, x, y) == color ? 1 : 0;
        return n;
    }
};

}  // namespace

TEST(KWProgressBar, Defaults) {
    TKWProgressBar bar(nullptr);
    EXPECT_EQ(bar.Width(), 100);
    EXPECT_EQ(bar.Height(), 20);
    EXPECT_EQ(bar.Min(), 0);
    EXPECT_EQ(bar.Max(), 100);
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_EQ(bar.Text(), L"%d%%");
    EXPECT_EQ(bar.Style(), sDithered);
    EXPECT_EQ(bar.ForeColor1(), 0xFF0000);
    EXPECT_EQ(bar.ForeColor2(), 0x0000FF);
    EXPECT_EQ(bar.BorderStyle(), bsSingle);
    EXPECT_TRUE(bar.Frame());
    EXPECT_FALSE(bar.InfinityActive());
}

TEST(KWProgressBar, RangeAndPositionWrites) {
    TKWProgressBar bar(nullptr);
    bar.SetPosition(50);
    bar.SetPosition(150);   // outside: ignored
    EXPECT_EQ(bar.Position(), 50);
    bar.SetPosition(-1);
    EXPECT_EQ(bar.Position(), 50);
    bar.SetMax(40);   // the position follows the maximum down
    EXPECT_EQ(bar.Max(), 40);
    EXPECT_EQ(bar.Position(), 40);
    bar.SetMax(100);
    bar.SetMin(200);   // would cross the maximum: ignored, but the position is raised
    EXPECT_EQ(bar.Min(), 0);
    EXPECT_EQ(bar.Position(), 200);
    bar.SetMin(50);
    bar.SetMax(20);   // would cross the minimum: ignored, but the position is lowered
    EXPECT_EQ(bar.Max(), 100);
    EXPECT_EQ(bar.Min(), 50);
    EXPECT_EQ(bar.Position(), 20);
    const int64_t big = 1LL << 40;
    bar.SetMax(big);
    bar.SetPosition(big - 1);
    EXPECT_EQ(bar.Position(), big - 1);
}

TEST(KWProgressBar, CaptionFromItsTemplate) {
    struct TCase {
        std::wstring Text;
        int64_t Min, Max, Position;
        std::wstring Caption;
    };
    const std::vector<TCase> cases = {
        {L"%d%%", 0, 100, 50, L"50%"},
        {L"%d%%", 0, 100, 0, L"0%"},
        {L"%d%%", 50, 100, 50, L"50%"},   // the minimum plays no part
        {L"%c / %m", 0, 10, 3, L"3 / 10"},
        {L"%d%%", 0, 8, 1, L"12%"},       // 12.5 rounds to even
        {L"%d%%", 0, 8, 3, L"38%"},       // 37.5 rounds to even
        {L"%%d", 0, 100, 7, L"7"},        // "%%" becomes "%" first, which then forms "%d"
        {L"%D %C", 0, 100, 7, L"%D %C"},  // case-sensitive
        {L"%c", 0, 1LL << 40, 1LL << 39, L"549755813888"},
    };
    for (const TCase& c : cases) {
        TKWProgressBar bar(nullptr);
        bar.SetText(c.Text);
        bar.SetMax(c.Max);
        bar.SetMin(c.Min);
        bar.SetPosition(c.Position);
        EXPECT_EQ(bar.CaptionText(), c.Caption) << WideToUtf8(c.Text);
    }
}

TEST(KWProgressBar, CaptionIsDrawnCentredFromTheTemplate) {
    TBarHost templ(120, 24), literal(120, 24);
    for (TBarHost* h : {&templ, &literal}) {
        h->Bar->SetBorderStyle(bsNone);
        h->Bar->SetMax(10);
        h->Bar->SetPosition(3);
    }
    templ.Bar->SetText(L"%c/%m");
    literal.Bar->SetText(L"3/10");
    TBitmap a, b, none;
    RenderControl(templ.Bar, a);
    RenderControl(literal.Bar, b);
    EXPECT_EQ(DifferentPixels(a, b, RECT{0, 0, 120, 24}), 0);
    literal.Bar->SetText(L"");
    RenderControl(literal.Bar, none);
    EXPECT_GT(DifferentPixels(a, none, RECT{0, 0, 120, 24}), 10);
    EXPECT_EQ(DifferentPixels(a, none, RECT{0, 0, 40, 24}), 0);   // the text sits in the middle
}

// round(Width / Max x Position), in extended precision with halves to even.
TEST(KWProgressBar, FillWidthRoundsInExtendedPrecision) {
    struct TCase {
        int32_t Width;
        int64_t Max, Position;
        int32_t Fill;
    };
    const std::vector<TCase> cases = {
        {537, 100, 50, 268},   // the wizard's bar: 268.5 to even
        {537, 30, 25, 448},    // 447.5 exactly in extended precision (447.49999... in double)
        {50, 100, 1, 0},       // 0.5
        {50, 100, 3, 2},       // 1.5
        {50, 100, 5, 2},       // 2.5
        {50, 100, 100, 50},
        {100, 100, 0, 0},
    };
    for (const TCase& c : cases) {
        TBarHost h(c.Width, 10);
        h.Flat(clRed);
        h.Bar->SetMax(c.Max);
        h.Bar->SetPosition(c.Position);
        EXPECT_EQ(h.Bar->FillWidth(), c.Fill) << c.Width << " " << c.Max << " " << c.Position;
        EXPECT_EQ(h.Columns(clRed), c.Fill) << c.Width << " " << c.Max << " " << c.Position;
    }
}

TEST(KWProgressBar, ZeroMaximumShowsAnEmptyBar) {
    TBarHost h(100, 20);
    h.Flat(clRed);
    h.Bar->SetMin(-10);
    h.Bar->SetMax(0);
    EXPECT_EQ(h.Bar->Max(), 0);
    EXPECT_EQ(h.Bar->FillWidth(), 0);
    h.Bar->SetText(L"%d%%");
    EXPECT_EQ(h.Bar->CaptionText(), L"0%");
    EXPECT_EQ(h.Columns(clRed), 0);
}

TEST(KWProgressBar, DitheredStripMovesOneUnitPerStrip) {
    TBarHost h(512, 10);
    h.Bar->SetBorderStyle(bsNone);
    h.Bar->SetText(L"");
    h.Bar->SetForeColor1(RGB(0, 200, 10));
    h.Bar->SetForeColor2(RGB(255, 100, 10));
    h.Bar->SetPosition(100);
    TBitmap bmp;
    RenderControl(h.Bar, bmp);
    // Strip i (columns 2i and 2i + 1) has each channel moved i + 1 units, up to its target.
    const std::vector<int32_t> strips = {0, 1, 99, 100, 150, 255};
    for (int32_t i : strips) {
        const TColor expected = RGB(std::min(i + 1, 255), std::max(200 - (i + 1), 100), 10);
        EXPECT_EQ(PixelOf(bmp, 2 * i, 5), expected) << i;
        EXPECT_EQ(PixelOf(bmp, 2 * i + 1, 5), expected) << i;
    }

    h.Bar->SetForeColor2(RGB(0, 200, 10));   // equal colours: a flat bar
    RenderControl(h.Bar, bmp);
    EXPECT_TRUE(AllPixels(bmp, RECT{0, 0, 512, 10}, RGB(0, 200, 10)));
    h.Bar->SetStyle(sSolid);
    h.Bar->SetForeColor2(clRed);
    RenderControl(h.Bar, bmp);
    EXPECT_TRUE(AllPixels(bmp, RECT{0, 0, 512, 10}, RGB(0, 200, 10)));
}

TEST(KWProgressBar, BorderAndBackground) {
    TBarHost h(40, 12);
    h.Bar->SetText(L"");
    h.Bar->SetBackColor(clYellow);
    h.Bar->SetBorderColor(clNavy);
    TBitmap bmp;
    RenderControl(h.Bar, bmp);
    for (auto p : std::vector<POINT>{{0, 0}, {39, 0}, {0, 11}, {39, 11}, {20, 0}, {0, 6}}) EXPECT_EQ(PixelOf(bmp, p.x, p.y), clNavy);
    EXPECT_TRUE(AllPixels(bmp, RECT{1, 1, 39, 11}, clYellow));
    h.Bar->SetBorderStyle(bsNone);
    RenderControl(h.Bar, bmp);
    EXPECT_TRUE(AllPixels(bmp, RECT{0, 0, 40, 12}, clYellow));
}

TEST(KWProgressBar, TextHaloSurroundsTheCaption) {
    TBarHost plain(120, 24), framed(120, 24);
    for (TBarHost* h : {&plain, &framed}) {
        h->Flat(clBlack);
        h->Bar->SetText(L"%d%%");
        h->Bar->SetPosition(0);
        h->Bar->SetBackColor(clBlack);
        h->Bar->Font()->SetColor(clBlue);
    }
    framed.Bar->SetTextFraming(true);
    framed.Bar->SetTextFramingColor(clLime);
    TBitmap a, b;
    RenderControl(plain.Bar, a);
    RenderControl(framed.Bar, b);
    int32_t halo = 0, textA = 0, textB = 0;
    for (int32_t y = 0; y < 24; ++y) {
        for (int32_t x = 0; x < 120; ++x) {
            halo += PixelOf(b, x, y) == clLime ? 1 : 0;
            textA += PixelOf(a, x, y) != clBlack ? 1 : 0;
            textB += PixelOf(b, x, y) != clBlack ? 1 : 0;
            if (PixelOf(a, x, y) == clLime) ADD_FAILURE() << "halo without framing";
        }
    }
    EXPECT_GT(halo, 0);
    EXPECT_GT(textB, textA);
}

TEST(KWProgressBar, RepaintsWhenTheCaptionChangesAlone) {
    TBarHost h(10, 10);
    h.Form->SetVisible(true);
    h.Bar->SetMax(1000);
    h.Bar->SetText(L"%c");
    HWND wnd = h.Bar->Handle();
    Application->ProcessMessages();
    RECT r;
    ValidateRect(wnd, nullptr);
    h.Bar->SetPosition(1);   // fill width 0 before and after, caption "0" to "1"
    EXPECT_TRUE(GetUpdateRect(wnd, &r, FALSE));
    h.Bar->SetText(L"%d%%");
    ValidateRect(wnd, nullptr);
    h.Bar->SetPosition(2);   // "0%" stays, the fill stays: nothing to repaint
    EXPECT_FALSE(GetUpdateRect(wnd, &r, FALSE));
    h.Bar->SetPosition(100);   // 1 pixel, "10%"
    EXPECT_TRUE(GetUpdateRect(wnd, &r, FALSE));
}

TEST(KWProgressBar, ParentDrawsASunkenFrame) {
    TBarHost h(50, 10);
    h.Form->SetColor(clBlack);
    TBitmap bmp;
    RenderControl(h.Form.get(), bmp);
    const TColor shadow = ColorToRGB(clBtnShadow), light = ColorToRGB(clBtnHighlight);
    EXPECT_EQ(PixelOf(bmp, 9, 9), shadow);       // (Left - 1, Top - 1)
    EXPECT_EQ(PixelOf(bmp, 30, 9), shadow);
    EXPECT_EQ(PixelOf(bmp, 60, 20), light);      // (Left + Width, Top + Height)
    EXPECT_EQ(PixelOf(bmp, 60, 15), light);
    h.Bar->SetFrame(false);
    RenderControl(h.Form.get(), bmp);
    EXPECT_EQ(PixelOf(bmp, 9, 9), clBlack);
    EXPECT_EQ(PixelOf(bmp, 60, 20), clBlack);
}

TEST(KWProgressBar, MarqueeBlockRunsUntilStopped) {
    TBarHost h(200, 10);
    h.Form->SetVisible(true);
    h.Bar->SetBorderStyle(bsNone);
    h.Bar->SetForeColor1(clRed);
    h.Bar->SetBackColor(clWhite);
    h.Bar->SetText(L"");
    h.Bar->SetPosition(50);
    h.Bar->Step = 0;   // the block stays where it starts: centred on x = 0
    h.Bar->StartInfinity();
    EXPECT_TRUE(h.Bar->InfinityActive());
    TBitmap bmp;
    RenderControl(h.Bar, bmp);
    // A block of 140 columns, ForeColor1 between the two fades (columns 57 to 83), drawn from x = -70.
    EXPECT_EQ(PixelOf(bmp, 0, 5), clRed);
    EXPECT_EQ(PixelOf(bmp, 13, 5), clRed);
    EXPECT_EQ(PixelOf(bmp, 150, 5), clWhite);
    EXPECT_NE(PixelOf(bmp, 60, 5), clRed);   // fading towards BackColor
    h.Bar->StopInfinity();
    EXPECT_FALSE(h.Bar->InfinityActive());
    EXPECT_EQ(h.Columns(clWhite), 100);   // half filled, no block
    h.Bar->StopInfinity();   // nothing to stop
}
