// The rich-text control's layout with fixed metrics (characters 10 pixels wide, lines 20 high):
// wrapping, alignment, margins, line heights, zoom and the caret's moves over the laid-out lines;
// then the drawing with a real font and a selection, read back from a memory bitmap.
#include <gtest/gtest.h>

#include <algorithm>

#include "Forms.h"
#include "WinApi.h"
#include "ietextc_test_support.h"

namespace {

std::unique_ptr<TIETextControl> Laid(const std::string& Text, TIETextMetrics* m, int32_t Width, int32_t Height,
                                     uint8_t Align = kIEAlignLeft) {
    auto c = MakeTextControl("", m);
    c->Alignment = Align;
    c->TextBuf = Text;
    c->LoadText();
    c->CaptureText = true;
    Layout(*c, Width, Height);
    return c;
}

}  // namespace

TEST(TIETextLayout, WrapsAtTheAreaWidth) {
    TFixedTextMetrics m;
    struct Case {
        const char* Text;
        int32_t Width;
        const char* Lines;
    } cases[] = {
        {"aaa bbb ccc", 82, "aaa bbb \nccc\n"},        // after the last space that fits
        {"abcdefghij", 52, "abcd\nefgh\nij\n"},        // a word longer than the area breaks before the misfit
        {"ab\n\ncd", 200, "ab\n\ncd\n"},               // line feeds end lines, an empty one too
        {"abc", 12, ""},                               // the first character alone does not fit: nothing
    };
    for (const Case& k : cases) {
        auto c = Laid(k.Text, &m, k.Width, 200);
        EXPECT_EQ(c->CapturedText, k.Lines) << k.Text;
    }
    auto c = Laid("aaa bbb ccc", &m, 82, 200);
    EXPECT_EQ(c->CharY[7], 1);
    EXPECT_EQ(c->CharX[8], 1);
    EXPECT_EQ(c->CharY[8], 21);
    auto stopped = Laid("abc", &m, 12, 200);
    EXPECT_EQ(stopped->CharX[1], -1);
}

TEST(TIETextLayout, AlignmentOffsets) {
    TFixedTextMetrics m;
    // Box 102: area 100 wide from x 1. "ab" is 20 wide.
    EXPECT_EQ(Laid("ab", &m, 102, 50, kIEAlignLeft)->CharX[0], 1);
    auto right = Laid("ab", &m, 102, 50, kIEAlignRight);
    EXPECT_EQ(right->CharX[0], 79);
    EXPECT_EQ(right->CharX[1] + 10, 99);   // ends at Wa - 1: 2 pixels before the area's right edge
    EXPECT_EQ(Laid("ab", &m, 102, 50, kIEAlignCenter)->CharX[0], 1 + (100 - 21) / 2);
    // Trailing spaces do not count for the alignment.
    EXPECT_EQ(Laid("ab  ", &m, 102, 50, kIEAlignRight)->CharX[0], 79);

    // Justified: the first line fills the area, every position scaled by one factor; the
    // paragraph's last line stays left-aligned.
    auto j = Laid("aa bb cc", &m, 62, 100, kIEAlignJustify);
    EXPECT_EQ(j->CapturedText, "aa bb \ncc\n");
    const long double factor = 60.0L / 52.0L;
    for (int i = 0; i <= 4; ++i) EXPECT_EQ(j->CharX[i], 1 + static_cast<int32_t>(10 * i * factor)) << i;
    EXPECT_EQ(j->CharX[6], 1);
    EXPECT_EQ(j->CharX[7], 11);
}

TEST(TIETextLayout, MarginsLineHeightsAndSpacing) {
    TFixedTextMetrics m;
    auto c = MakeTextControl("ab", &m);
    c->MarginLeft = c->MarginTop = c->MarginRight = c->MarginBottom = 10;
    Layout(*c, 200, 100);
    EXPECT_EQ(c->CharX[0], 21);
    EXPECT_EQ(c->CharY[0], 11);

    // A fixed line height replaces the font's, whatever its size; line spacing adds to it.
    auto f = MakeTextControl("a\nb\nc", &m);
    f->Font()->SetHeight(-40);
    f->Formats.clear();   // the records are made anew from the font
    f->CharFormats.clear();
    f->TextBuf = "a\nb\nc";
    f->LoadText();
    f->FixedLineHeight = 20;
    Layout(*f, 200, 200);
    EXPECT_EQ(f->CharY[2], 21);
    EXPECT_EQ(f->CharY[4], 41);
    f->LineSpacing = 5;
    f->Update();
    Layout(*f, 200, 200);
    EXPECT_EQ(f->CharY[4], 51);
}

TEST(TIETextLayout, CaretAtZoom50_100_200) {
    TFixedTextMetrics m;
    struct Case {
        double Zoom;
        int32_t X, Height;
    } cases[] = {{1.0, 31, 20}, {2.0, 62, 40}, {0.5, 15, 10}};
    for (const Case& k : cases) {
        auto c = MakeTextControl("abcdef", &m);
        c->Zoom = k.Zoom;
        c->CaretPos = 3;
        Layout(*c, 200, 100);
        EXPECT_EQ(c->CaretX, k.X) << k.Zoom;
        EXPECT_EQ(c->CaretY, static_cast<int32_t>(1 * k.Zoom)) << k.Zoom;
        EXPECT_EQ(c->CaretHeight, k.Height) << k.Zoom;
        EXPECT_EQ(c->CharX[5], static_cast<int32_t>(51 * k.Zoom)) << k.Zoom;
    }
    // An empty text puts the caret at the area's corner with the font's height.
    auto e = MakeTextControl("", &m);
    Layout(*e, 200, 100);
    EXPECT_EQ(e->CaretX, 1);
    EXPECT_EQ(e->CaretY, 1);
    EXPECT_EQ(e->CaretHeight, 20);
    // A line feed before the caret puts it at the start of the next line.
    auto lf = MakeTextControl("ab\n", &m);
    lf->CaretPos = 3;
    Layout(*lf, 200, 100);
    EXPECT_EQ(lf->CaretX, 1);
    EXPECT_EQ(lf->CaretY, 21);
}

TEST(TIETextLayout, CaretMovesOverLaidOutLines) {
    TFixedTextMetrics m;
    auto c = MakeTextControl("abcd\nef\nghij", &m);
    auto key = [&](uint16_t k, TShiftState s = 0) {
        Layout(*c, 200, 200);
        c->KeyDown(k, s);
        return c->CaretPos;
    };
    c->CaretPos = 3;
    EXPECT_EQ(key(VK_DOWN), 7);    // the shorter line: its end
    EXPECT_EQ(key(VK_DOWN), 10);   // straight below
    EXPECT_EQ(key(VK_UP), 7);
    EXPECT_EQ(key(VK_UP), 2);
    EXPECT_EQ(key(VK_UP), 2);      // no line above
    c->CaretPos = 10;
    EXPECT_EQ(key(VK_HOME), 8);
    EXPECT_EQ(key(VK_END), 12);
    EXPECT_EQ(key(VK_HOME, ssCtrl), 0);
    Layout(*c, 200, 200);
    c->CaretFromPoint(15, 25);     // inside "f"
    EXPECT_EQ(c->CaretPos, 6);
    c->CaretFromPoint(150, 45);    // right of the last line: the end
    EXPECT_EQ(c->CaretPos, 12);

    // Down from a longer line onto a shorter last line: that line's end.
    auto d = MakeTextControl("abcdef\nab", &m);
    d->CaretPos = 5;
    Layout(*d, 200, 200);
    uint16_t down = VK_DOWN;
    d->KeyDown(down, 0);
    EXPECT_EQ(d->CaretPos, 9);
}

// A point left of a centred or right-aligned line lands at that line's start, not on the line
// above it.
TEST(TIETextLayout, PointLeftOfAnIndentedLineStaysOnIt) {
    TFixedTextMetrics m;
    for (uint8_t align : {kIEAlignCenter, kIEAlignRight}) {
        auto c = Laid("ab\ncd\nef", &m, 100, 100, align);
        ASSERT_GT(c->CharX[3], 20) << int(align);
        c->CaretFromPoint(5, 25);   // the second line
        EXPECT_EQ(c->CaretPos, 3) << int(align);
        c->CaretFromPoint(5, 45);   // the last line
        EXPECT_EQ(c->CaretPos, 6) << int(align);
    }
}

// Drawing with a real font: glyphs, the selection inverted, the frame of the box; with plain GDI
// (exact colours), through GDI+ (the box through GDI+, text always through GDI), and at zoom 2.
TEST(TIETextLayout, RenderingWithSelectionOnAMemoryBitmap) {
    const wchar_t* font = L"Z:\\usr\\share\\fonts\\opentype\\ipafont-gothic\\ipag.ttf";
    ASSERT_GT(AddFontResourceExW(font, FR_PRIVATE, nullptr), 0);
    IEGdiPlusResetState();   // GDI+ allowed (the library's start-up does the same)
    struct Case {
        bool Gdip;
        double Zoom;
    } cases[] = {{false, 1.0}, {true, 1.0}, {false, 2.0}};
    for (const Case& k : cases) {
        if (k.Gdip) IEGdiPlusAcquire();
        auto c = MakeTextControl("", nullptr);
        c->Font()->SetName(L"IPAGothic");
        c->Font()->SetHeight(-24);
        c->TextBuf = "H  H";
        c->LoadText();
        c->SelStart = 1;   // the two spaces
        c->SelEnd = 3;
        c->Zoom = k.Zoom;
        TBitmap bmp;
        bmp.SetPixelFormat(pf24bit);
        bmp.SetSize(static_cast<int32_t>(160 * k.Zoom), static_cast<int32_t>(60 * k.Zoom));
        {
            TIECanvas canvas(*bmp.Canvas(), k.Gdip, false);
            EXPECT_EQ(canvas.GetUseGdiPlus(), k.Gdip);
            c->Render(canvas, 0, 0, 160, 60);
        }
        TCanvas& p = *bmp.Canvas();
        ASSERT_GT(c->CharWidths[0], 4);
        const int32_t z = static_cast<int32_t>(k.Zoom);
        const int32_t baseline = c->CharY[0] + (c->CharHeights[0] - c->CharLeadings[0]) * z;
        const int32_t w = c->CharWidths[1] * z;
        const std::string what = (k.Gdip ? "GDI+ zoom " : "GDI zoom ") + std::to_string(z);
        EXPECT_EQ(p.GetPixel(c->CharX[1] + w / 2, baseline - 5 * z), clBlack) << what;   // selected: inverted
        EXPECT_EQ(p.GetPixel(c->CharX[2] + w / 2, baseline - 5 * z), clBlack) << what;
        EXPECT_EQ(p.GetPixel(c->CharX[3] + c->CharWidths[3] * z + 4, baseline - 5 * z), clWhite) << what;
        int ink = 0;   // the black strokes of both "H"
        for (int y = baseline - 20 * z; y < baseline; ++y)
            for (int i : {0, 3})
                for (int x = c->CharX[i]; x < c->CharX[i] + c->CharWidths[i] * z; ++x) ink += p.GetPixel(x, y) == clBlack;
        EXPECT_GT(ink, 40 * z * z) << what;
        EXPECT_LT(std::min(ColorToRGB(p.GetPixel(0, 30)), ColorToRGB(p.GetPixel(1, 30))) & 0xFF, 0x80)
            << what;                                                    // the border pen (black) on the left edge
        EXPECT_EQ(p.GetPixel(150 * z, 50 * z), clWhite) << what;        // the box's background
        if (k.Gdip) IEGdiPlusRelease();
    }
    RemoveFontResourceExW(font, FR_PRIVATE, nullptr);
}

// On a form the control grows to its text and paints through its off-screen bitmap, over the part
// of a background bitmap that lies under it when its background brush is clear.
TEST(TIETextLayout, AutoHeightAndPaintOnAForm) {
    TFixedTextMetrics m;
    TForm form(nullptr);
    form.SetClientSize(300, 200);
    auto c = MakeTextControl("a\nb\nc", &m);
    c->SetParent(&form);
    c->SetBounds(10, 0, 100, 50);
    c->AutoHeight = true;
    Layout(*c, 100, 50);
    // The third line's baseline (59) and descent pass the area's bottom (49): height for it.
    EXPECT_EQ(c->Height(), 59 + 4 + 20);

    TBitmap background;
    background.SetPixelFormat(pf24bit);
    background.SetSize(300, 200);
    background.Canvas()->Brush()->SetColor(clRed);
    background.Canvas()->FillRect(RECT{0, 0, 300, 200});
    c->BackgroundBitmap = &background;
    c->GetBackgroundBrush()->SetStyle(bsClear);
    c->GetBorderPen()->SetColor(clBlue);
    c->AutoHeight = false;
    TBitmap shot;
    shot.SetPixelFormat(pf24bit);
    shot.SetSize(c->Width(), c->Height());
    c->PaintTo(shot.Canvas()->Handle(), 0, 0);
    EXPECT_EQ(shot.Canvas()->GetPixel(0, 40), clBlue);   // the frame
    EXPECT_EQ(shot.Canvas()->GetPixel(50, 40), clRed);   // the background bitmap shows through
    EXPECT_EQ(c->GetOffscreenBitmap()->Width(), c->ClientWidth());
    EXPECT_EQ(c->CaretHeight, 20);
    c->BackgroundBitmap = nullptr;
    c->SetParent(nullptr);
}
