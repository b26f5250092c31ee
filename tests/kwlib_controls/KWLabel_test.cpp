// The label: captions from a list of lines, wrapping by characters, sizing in one direction,
// centring inside the parent and the hot-tracking fonts.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ExtCtrls.h"
#include "KWLabel.h"
#include "controls_test_util.h"

namespace {

struct TLabelHost {
    std::unique_ptr<TForm> Form = MakeHostForm(300, 200);
    TPanel* Panel;
    TKWLabel* Label;
    TLabelHost() {
        Panel = new TPanel(Form.get());
        Panel->SetParent(Form.get());
        Panel->SetBevelOuter(bvNone);
        Panel->SetBounds(0, 0, 200, 100);
        Label = new TKWLabel(Form.get());
        Label->SetParent(Panel);
    }
    int32_t WidthOf(const std::wstring& text) {
        HDC dc = GetDC(nullptr);
        HGDIOBJ old = SelectObject(dc, Label->Font()->Handle());
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), (int)text.size(), &size);
        SelectObject(dc, old);
        ReleaseDC(nullptr, dc);
        return size.cx;
    }
};

TStringList Lines(std::initializer_list<const wchar_t*> lines) {
    TStringList list;
    for (const wchar_t* l : lines) list.Add(l);
    return list;
}

}  // namespace

TEST(KWLabel, CaptionFromTheLines) {
    TLabelHost h;
    TStringList lines = Lines({L"上の行", L"", L"下の行"});
    h.Label->SetCaptions(&lines);
    EXPECT_EQ(h.Label->Caption(), L"上の行\r\r下の行");
    EXPECT_EQ(h.Label->Captions()->GetCount(), 3);

    // An empty list keeps the caption as its only line.
    TKWLabel other(nullptr);
    other.SetCaption(L"そのまま");
    TStringList empty;
    other.SetCaptions(&empty);
    EXPECT_EQ(other.Caption(), L"そのまま");
    ASSERT_EQ(other.Captions()->GetCount(), 1);
    EXPECT_EQ(other.Captions()->GetStrings(0), L"そのまま");
}

TEST(KWLabel, WrapsLinesByCharacters) {
    TLabelHost h;
    h.Label->SetAutoSize(false);
    h.Label->SetBounds(0, 0, h.WidthOf(L"000") + 1, 40);
    TStringList lines = Lines({L"0000000", L"00"});
    h.Label->SetCaptions(&lines);
    EXPECT_EQ(h.Label->Caption(), L"0000000\r00");   // WordWrapSelf off
    h.Label->SetWordWrapSelf(true);
    EXPECT_EQ(h.Label->Caption(), L"000\r000\r0\r00");
    EXPECT_EQ(h.Label->WrapLine(L""), L"");

    h.Label->SetWidth(1);   // narrower than any character: one a line
    EXPECT_EQ(h.Label->WrapLine(L"あいう"), L"あ\rい\rう");

    h.Label->SetAutoSize(true);   // automatic sizing switches the wrapping off
    EXPECT_EQ(h.Label->WrapLine(L"0000000"), L"0000000");
}

// Japanese line breaking: no line starts with a closing mark or small kana or ends with an opening
// bracket, numbers stay whole, blanks at a break go; a line without any allowed break breaks at
// the width.
TEST(KWLabel, WrapsWhereJapaneseTextMayBreak) {
    TLabelHost h;
    h.Label->SetAutoSize(false);
    h.Label->SetWordWrapSelf(true);
    h.Label->SetWidth(h.WidthOf(L"あいう") + 1);
    const struct {
        const wchar_t* Line;
        const wchar_t* Wrapped;
    } cases[] = {
        {L"あいうえおか", L"あいう\rえおか"},
        {L"あいう。えお", L"あい\rう。え\rお"},
        {L"あいう」えお", L"あい\rう」え\rお"},
        {L"あいっ", L"あいっ"},
        {L"あいうっえ", L"あい\rうっえ"},
        {L"あいうー", L"あい\rうー"},
        {L"あい「うえ", L"あい\r「うえ"},
        {L"ーーーーー", L"ーーー\rーー"},
    };
    for (const auto& c : cases) EXPECT_EQ(h.Label->WrapLine(c.Line), c.Wrapped) << WideToUtf8(c.Line);

    h.Label->SetWidth(h.WidthOf(L"あ 1234") + 1);
    EXPECT_EQ(h.Label->WrapLine(L"あ 12345"), L"あ\r12345");

    // Sizing the height only keeps the width the caller gave, and wraps to it.
    h.Label->SetWidth(h.WidthOf(L"あいう") + 1);
    h.Label->SetAutoSizeMode(asHeight);
    h.Label->SetAutoSize(true);
    TStringList one = Lines({L"あ"});
    h.Label->SetCaptions(&one);
    const int32_t lineHeight = h.Label->Height();
    TStringList lines = Lines({L"あいう。えお"});
    h.Label->SetCaptions(&lines);
    EXPECT_EQ(h.Label->Caption(), L"あい\rう。え\rお");
    EXPECT_EQ(h.Label->Width(), h.WidthOf(L"あいう") + 1);
    EXPECT_EQ(h.Label->Height(), 3 * lineHeight);
}

TEST(KWLabel, SizesInOneDirectionOnly) {
    TLabelHost h;
    h.Label->SetBounds(10, 10, 150, 5);
    h.Label->SetAutoSizeMode(asWidth);
    h.Label->SetCaption(L"000");
    EXPECT_EQ(h.Label->Width(), h.WidthOf(L"000"));
    EXPECT_EQ(h.Label->Height(), 5);
    EXPECT_EQ(h.Label->Left(), 10);

    h.Label->SetBounds(10, 10, 150, 5);
    h.Label->SetAutoSizeMode(asHeight);
    h.Label->SetCaption(L"0000");
    EXPECT_EQ(h.Label->Width(), 150);
    EXPECT_GT(h.Label->Height(), 5);

    // Right-justified: the right edge stays.
    h.Label->SetBounds(10, 10, 150, 5);
    h.Label->SetAlignment(taRightJustify);
    h.Label->SetAutoSizeMode(asWidth);
    h.Label->SetCaption(L"00000");
    EXPECT_EQ(h.Label->Left() + h.Label->Width(), 160);

    h.Label->SetAutoSizeMode(asBoth);
    h.Label->SetAlignment(taLeftJustify);
    h.Label->SetCaption(L"0");
    EXPECT_EQ(h.Label->Width(), h.WidthOf(L"0"));
}

TEST(KWLabel, CentresInsideItsParent) {
    TLabelHost h;
    h.Label->SetAutoSize(false);
    h.Label->SetBounds(7, 5, 40, 13);
    h.Label->SetAlignmentForParentInside(aiVAlign);
    h.Label->SetCaption(L"x");
    EXPECT_EQ(h.Label->Top(), 43);
    EXPECT_EQ(h.Label->Left(), 7);
    h.Label->SetAlignmentForParentInside(aiHAlign);
    h.Label->SetCaption(L"y");
    EXPECT_EQ(h.Label->Left(), 80);
    h.Label->SetBounds(0, 0, 41, 14);
    h.Label->SetAlignmentForParentInside(aiBoth);
    h.Label->SetCaption(L"z");
    EXPECT_EQ(h.Label->Left(), 79);
    EXPECT_EQ(h.Label->Top(), 43);
}

TEST(KWLabel, HotTrackingFonts) {
    TLabelHost h;
    h.Label->SetCaption(L"リンク");
    TFont hot, click;
    hot.SetColor(clRed);
    click.SetColor(clBlue);
    click.SetStyle(fsBold);
    h.Label->SetFontOfHotTrack(&hot);
    h.Label->SetFontOfClick(&click);
    h.Label->SetFontOfClick(nullptr);   // ignored
    h.Label->Font()->SetColor(clGreen);

    h.Label->Perform(CM_MOUSEENTER);   // without HotTrack nothing changes
    EXPECT_EQ(h.Label->Font()->Color(), clGreen);
    h.Label->Perform(CM_MOUSELEAVE);

    h.Label->SetHotTrack(true);
    h.Label->Perform(CM_MOUSEENTER);
    EXPECT_EQ(h.Label->Font()->Color(), clRed);
    h.Label->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    EXPECT_EQ(h.Label->Font()->Color(), clBlue);
    EXPECT_EQ(h.Label->Font()->Style(), fsBold);
    h.Label->Perform(WM_LBUTTONUP, 0, MAKELPARAM(2, 2));   // released inside
    EXPECT_EQ(h.Label->Font()->Color(), clRed);
    h.Label->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    h.Label->Perform(WM_LBUTTONUP, 0, MAKELPARAM(-50, 2));   // released outside
    EXPECT_EQ(h.Label->Font()->Color(), clGreen);
    h.Label->Perform(CM_MOUSEENTER);
    h.Label->Perform(CM_MOUSELEAVE);
    EXPECT_EQ(h.Label->Font()->Color(), clGreen);
    EXPECT_EQ(h.Label->Font()->Style(), 0);
}

// Anti-aliased captions keep the label's size and go through the text renderer, not the plain
// drawing.
TEST(KWLabel, AntialiasedCaptionsGoThroughTheTextRenderer) {
    TLabelHost h;
    h.Label->SetCaption(L"ラベル");
    TBitmap plain, smooth;
    RenderControl(h.Label, plain, clWhite);
    const int32_t width = h.Label->Width(), height = h.Label->Height();
    h.Label->SetCaptionAntialias(true);
    h.Label->SetCaption(L"ラベル ");
    h.Label->SetCaption(L"ラベル");
    EXPECT_EQ(h.Label->Width(), width);
    EXPECT_EQ(h.Label->Height(), height);
    RenderControl(h.Label, smooth, clWhite);
    EXPECT_GT(DifferentPixels(plain, smooth, RECT{0, 0, width, height}), 0);
}
