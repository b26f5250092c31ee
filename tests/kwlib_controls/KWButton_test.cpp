// The owner-drawn button: always owner-drawn, the state it draws in, themed and classic looks,
// the hot state and double clicks.
#include <gtest/gtest.h>

#include <vssym32.h>

#include <memory>
#include <vector>

#include "ExtCtrls.h"
#include "KWButton.h"
#include "KWSkinEn.h"
#include "Themes.h"
#include "controls_test_util.h"

namespace {

struct TButtonHost {
    std::unique_ptr<TForm> Form = MakeHostForm(200, 100);
    TKWButton* Button;
    TButtonHost() {
        Button = new TKWButton(Form.get());
        Button->SetParent(Form.get());
        Button->SetBounds(10, 10, 96, 31);
        Button->SetCaption(L"次へ");
    }
    void Render(TBitmap& bmp) { RenderControl(Button, bmp, clFuchsia); }
    void Press(bool down) { SendMessageW(Button->Handle(), BM_SETSTATE, down ? TRUE : FALSE, 0); }
};

// Themes off for the length of a scope.
struct TClassicLook {
    TClassicLook() { ThemeServices()->SetEnabled(false); }
    ~TClassicLook() { ThemeServices()->SetEnabled(true); }
};

int32_t CountColour(TBitmap& bmp, TColor color) {
    int32_t n = 0;
    for (int32_t y = 0; y < bmp.Height(); ++y)
        for (int32_t x = 0; x < bmp.Width(); ++x) n += PixelOf(bmp, x, y) == color ? 1 : 0;
    return n;
}

}  // namespace

TEST(KWButton, AlwaysOwnerDrawnAlsoAsTheDefaultButton) {
    TButtonHost h;
    EXPECT_EQ(GetWindowLongW(h.Button->Handle(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    EXPECT_TRUE(h.Button->DoubleBuffered);
    h.Button->SetDefault(true);
    EXPECT_TRUE(h.Button->IsDefault());
    EXPECT_EQ(GetWindowLongW(h.Button->Handle(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
    h.Button->SetDefault(false);
    EXPECT_FALSE(h.Button->IsDefault());
}

TEST(KWButton, StateNumberFromTheItemState) {
    TButtonHost h;
    h.Button->HandleNeeded();
    h.Button->SetDefault(true);
    EXPECT_EQ(h.Button->StateNumber(0), PBS_DEFAULTED);
    EXPECT_EQ(h.Button->StateNumber(ODS_SELECTED), PBS_PRESSED);   // default and pressed: pressed
    EXPECT_EQ(h.Button->StateNumber(ODS_SELECTED | ODS_DISABLED), PBS_DISABLED);
    h.Button->SetForceHotlight(true);
    EXPECT_EQ(h.Button->StateNumber(0), PBS_HOT);
    EXPECT_EQ(h.Button->StateNumber(ODS_SELECTED), PBS_PRESSED);
    h.Button->SetForceHotlight(false);
    h.Button->SetDefault(false);
    EXPECT_EQ(h.Button->StateNumber(ODS_FOCUS), PBS_NORMAL);
    h.Button->Perform(CM_MOUSEENTER);
    EXPECT_TRUE(h.Button->IsHot());
    EXPECT_EQ(h.Button->StateNumber(0), PBS_HOT);
    h.Button->Perform(CM_MOUSELEAVE);
    EXPECT_FALSE(h.Button->IsHot());
}

TEST(KWButton, ThemedDefaultAndPressedDrawsAsPressed) {
    if (!ThemeServices()->ThemesEnabled()) GTEST_SKIP() << "no visual theme";
    TButtonHost h;
    TBitmap pressedDefault, pressedPlain, defaultOnly, hot, forcedHot;
    h.Button->SetDefault(true);
    h.Press(true);
    h.Render(pressedDefault);
    h.Button->SetDefault(false);
    h.Render(pressedPlain);
    h.Press(false);
    h.Button->SetDefault(true);
    h.Render(defaultOnly);
    const RECT all{0, 0, 96, 31};
    EXPECT_EQ(DifferentPixels(pressedDefault, pressedPlain, all), 0);
    EXPECT_GT(DifferentPixels(pressedDefault, defaultOnly, all), 0);

    h.Button->SetDefault(false);
    h.Button->Perform(CM_MOUSEENTER);
    h.Render(hot);
    h.Button->Perform(CM_MOUSELEAVE);
    h.Button->SetForceHotlight(true);
    h.Render(forcedHot);
    EXPECT_EQ(DifferentPixels(hot, forcedHot, all), 0);
    EXPECT_EQ(CountColour(hot, clFuchsia) > 0, CountColour(forcedHot, clFuchsia) > 0);
}

TEST(KWButton, ClassicDisabledCaptionIsEmbossedWithoutFocusRect) {
    TClassicLook classic;
    TButtonHost h;
    h.Button->SetCaption(L"WWWW");
    TBitmap enabled, disabled;
    h.Render(enabled);
    h.Button->SetEnabled(false);
    h.Render(disabled);
    const TColor text = ColorToRGB(clBtnText), light = ColorToRGB(clBtnHighlight), shadow = ColorToRGB(clBtnShadow);
    const RECT inside{4, 4, 92, 27};
    auto count = [&](TBitmap& b, TColor c) {
        int32_t n = 0;
        for (int32_t y = inside.top; y < inside.bottom; ++y)
            for (int32_t x = inside.left; x < inside.right; ++x) n += PixelOf(b, x, y) == c ? 1 : 0;
        return n;
    };
    EXPECT_GT(count(enabled, text), 10);
    EXPECT_EQ(count(disabled, text), 0);
    EXPECT_GT(count(disabled, light), 10);
    EXPECT_GT(count(disabled, shadow), 10);
    // The frame: the system's push-button edge, white at the top left, dark at the bottom right.
    EXPECT_EQ(PixelOf(disabled, 0, 0), light);
    EXPECT_EQ(PixelOf(disabled, 95, 30), (TColor)ColorToRGB(cl3DDkShadow));
}

TEST(KWButton, ClassicPressedDefaultHasFrameAndSunkenFace) {
    TClassicLook classic;
    TButtonHost h;
    h.Button->SetCaption(L"");
    h.Button->SetDefault(true);
    h.Press(true);
    TBitmap bmp;
    h.Render(bmp);
    EXPECT_EQ(PixelOf(bmp, 0, 0), (TColor)ColorToRGB(clWindowFrame));
    EXPECT_EQ(PixelOf(bmp, 95, 30), (TColor)ColorToRGB(clWindowFrame));
    EXPECT_EQ(PixelOf(bmp, 1, 1), (TColor)ColorToRGB(clBtnShadow));
    EXPECT_EQ(PixelOf(bmp, 94, 29), (TColor)ColorToRGB(clBtnShadow));
    EXPECT_TRUE(AllPixels(bmp, RECT{2, 2, 94, 29}, ColorToRGB(clBtnFace)));
}

TEST(KWButton, SkinEngineWritesNeedPermission) {
    TKWSkinEn engine(nullptr);   // a real engine: the button registers with it
    TKWButton button(nullptr);
    button.SetSkinEnIsAllow(false);
    button.SetSkinEn(&engine);
    EXPECT_EQ(button.SkinEn(), nullptr);
    button.SetSkinEnIsAllow(true);
    button.SetSkinEn(&engine);
    EXPECT_EQ(button.SkinEn(), &engine);
    EXPECT_EQ(button.SkinEnEnabled(), engine.Loaded());
    button.SetSkinEnIsAllow(false);
    EXPECT_FALSE(button.SkinEnEnabled());
    button.SetSkinEnIsAllow(true);
    button.SetSkinEn(nullptr);
    EXPECT_EQ(button.SkinEn(), nullptr);
}

TEST(KWButton, DoubleClickCountsAsASecondPress) {
    TButtonHost h;
    h.Form->SetVisible(true);
    int clicks = 0;
    h.Button->OnClick = [&](TObject*) { ++clicks; };
    HWND wnd = h.Button->Handle();
    SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(wnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    SendMessageW(wnd, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(wnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(clicks, 2);
}

TEST(KWButton, DrawnWhereverItsParentsPutIt) {
    auto form = MakeHostForm(574, 384);
    auto* outer = new TPanel(form.get());
    outer->SetParent(form.get());
    outer->SetBounds(0, 0, 574, 384);
    auto* inner = new TPanel(form.get());
    inner->SetParent(outer);
    inner->SetBounds(0, 343, 574, 41);
    auto* button = new TKWButton(form.get());
    button->SetParent(inner);
    button->SetBounds(473, 5, 96, 31);
    button->SetCaption(L"WWW");
    TBitmap alone, nested;
    RenderControl(button, alone, clFuchsia);
    RenderControl(outer, nested, clFuchsia);
    int32_t differences = 0;
    for (int32_t y = 0; y < 31; ++y)
        for (int32_t x = 0; x < 96; ++x)
            differences += PixelOf(alone, x, y) != PixelOf(nested, 473 + x, 348 + y) ? 1 : 0;
    EXPECT_EQ(differences, 0);
}
