// Panels: the enabled state passed to children, gradients, borders, background pictures from a
// shared store, the theme switch, dropped files and the window-message hooks.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ExtCtrls.h"
#include "KWControl.h"
#include "KWSharePicture.h"
#include "Themes.h"
#include "controls_test_util.h"

namespace {

struct TPanelHost {
    std::unique_ptr<TForm> Form = MakeHostForm(200, 150);
    TKWPanel* Panel;
    explicit TPanelHost(int32_t w = 50, int32_t h = 100) {
        Panel = new TKWPanel(Form.get());
        Panel->SetParent(Form.get());
        Panel->SetBounds(0, 0, w, h);
    }
    void Render(TBitmap& bmp) { RenderControl(Panel, bmp, clBlack); }
};

int32_t RedOf(TBitmap& bmp, int32_t x, int32_t y) { return PixelOf(bmp, x, y) & 0xFF; }

}  // namespace

TEST(KWPanel, StartsPlainWithoutCaptionOrBevel) {
    TKWPanel panel(nullptr);
    EXPECT_EQ(panel.Caption(), L"");
    EXPECT_EQ(panel.BevelOuter(), bvNone);
    EXPECT_TRUE(panel.UseTheme());
    EXPECT_EQ(panel.GPercent(), 100);
    EXPECT_EQ(panel.GColor1(), clBtnFace);
    EXPECT_EQ(panel.SelfBorderColor(TKWPanel::bpOuter), clGray);
    EXPECT_EQ(panel.SelfBorderColor(TKWPanel::bpBottom), clWhite);
}

TEST(KWPanel, ChildrenFollowTheEnabledState) {
    auto form = MakeHostForm(100, 100);
    auto* panel = new TKWCustomPanel(form.get());
    panel->SetParent(form.get());
    auto* a = new TPanel(form.get());
    a->SetParent(panel);
    auto* b = new TPanel(form.get());
    b->SetParent(panel);
    auto* grandchild = new TPanel(form.get());
    grandchild->SetParent(a);
    b->SetEnabled(false);

    panel->SetEnabled(false);
    EXPECT_FALSE(a->Enabled());
    EXPECT_FALSE(b->Enabled());
    EXPECT_TRUE(grandchild->Enabled());   // direct children only
    panel->SetEnabled(true);
    EXPECT_TRUE(a->Enabled());
    EXPECT_TRUE(b->Enabled());   // also the one disabled before

    panel->SetChildControlEnabled(false);
    panel->SetEnabled(false);
    EXPECT_TRUE(a->Enabled());
    panel->SetChildControlEnabled(true);   // applies the panel's state at once
    EXPECT_FALSE(a->Enabled());
    EXPECT_FALSE(b->Enabled());
}

TEST(KWPanel, GPercentIsClamped) {
    TKWPanel panel(nullptr);
    for (auto [in, out] : std::vector<std::pair<int32_t, int32_t>>{{0, 1}, {-7, 1}, {250, 100}, {30, 30}}) {
        panel.SetGPercent(in);
        EXPECT_EQ(panel.GPercent(), out) << in;
    }
}

TEST(KWPanel, WritingAnotherColourSwitchesTheThemeOff) {
    TKWPanel panel(nullptr);
    panel.SetColor(panel.Color());
    EXPECT_TRUE(panel.UseTheme());
    panel.SetColor(clTeal);
    EXPECT_FALSE(panel.UseTheme());
    EXPECT_EQ(panel.Color(), clTeal);
}

TEST(KWPanel, PlainPanelWithoutThemeFillsWithItsColour) {
    TPanelHost h(30, 20);
    h.Panel->SetColor(clOlive);
    TBitmap bmp;
    h.Render(bmp);
    EXPECT_TRUE(AllPixels(bmp, RECT{0, 0, 30, 20}, clOlive));
}

// Bands of a gradient part: size q = 1 when the largest channel step covers the length, else
// the length shared out; the colour of band k is c1 + ((c2 - c1) x 100 div n x k) div 100.
TEST(KWPanel, VerticalGradientPixels) {
    TPanelHost h(50, 100);
    h.Panel->SetGColor1(RGB(0, 0, 0));
    h.Panel->SetGColor2(RGB(200, 0, 0));
    h.Panel->SetGActive(true);
    TBitmap bmp;
    h.Render(bmp);
    // 200 steps over 100 rows: one row a band, n = 100, red = 2 x row.
    for (int32_t y : {0, 1, 37, 99}) EXPECT_EQ(RedOf(bmp, 25, y), 2 * y) << y;
    EXPECT_EQ(PixelOf(bmp, 0, 37), PixelOf(bmp, 49, 37));

    // 3 steps over 100 rows: bands of 34 rows, n = 2, red 0, 1 (150 div 100), then 3.
    h.Panel->SetGColor2(RGB(3, 0, 0));
    h.Render(bmp);
    const std::vector<std::pair<int32_t, int32_t>> expected = {{0, 0}, {33, 0}, {34, 1}, {67, 1}, {68, 3}, {99, 3}};
    for (auto [y, red] : expected) EXPECT_EQ(RedOf(bmp, 10, y), red) << y;
}

TEST(KWPanel, TwoPartHorizontalGradient) {
    TPanelHost h(100, 10);
    h.Panel->SetGVertical(false);
    h.Panel->SetGColor1(RGB(0, 0, 0));
    h.Panel->SetGColor2(RGB(60, 0, 0));
    h.Panel->SetGColor3(RGB(60, 140, 0));
    h.Panel->SetGPercent(30);
    h.Panel->SetGActive(true);
    TBitmap bmp;
    h.Render(bmp);
    // First 30 columns: 60 steps, one column a band, red = 2 x column.
    EXPECT_EQ(PixelOf(bmp, 0, 5), RGB(0, 0, 0));
    EXPECT_EQ(PixelOf(bmp, 29, 5), RGB(58, 0, 0));
    // Remaining 70 columns: 140 steps in green, green = 2 x (column - 30).
    EXPECT_EQ(PixelOf(bmp, 30, 5), RGB(60, 0, 0));
    EXPECT_EQ(PixelOf(bmp, 64, 5), RGB(60, 68, 0));
    EXPECT_EQ(PixelOf(bmp, 99, 5), RGB(60, 138, 0));
}

TEST(KWPanel, GradientKeepsColourAndTheme) {
    TPanelHost h(20, 20);
    const TColor before = h.Panel->Color();
    h.Panel->SetGColor1(clRed);
    h.Panel->SetGActive(true);
    TBitmap bmp;
    h.Render(bmp);
    EXPECT_EQ(PixelOf(bmp, 10, 0), clRed);
    EXPECT_EQ(h.Panel->Color(), before);
    EXPECT_TRUE(h.Panel->UseTheme());
}

TEST(KWPanel, GradientInsideTheBevels) {
    TPanelHost h(40, 40);
    ThemeServices()->SetEnabled(false);
    h.Panel->SetBevelOuter(bvRaised);
    h.Panel->SetBevelInner(bvLowered);
    h.Panel->SetBevelWidth(2);
    h.Panel->SetGColor1(RGB(0, 0, 0));
    h.Panel->SetGColor2(RGB(250, 0, 0));
    h.Panel->SetGActive(true);
    TBitmap bmp;
    h.Render(bmp);
    ThemeServices()->SetEnabled(true);
    // The area starts 4 pixels in; 250 steps over 32 rows: one row a band, n = 32.
    EXPECT_EQ(PixelOf(bmp, 20, 0), (TColor)ColorToRGB(clBtnHighlight));   // raised outer bevel, top edge
    EXPECT_EQ(PixelOf(bmp, 20, 3), (TColor)ColorToRGB(clBtnShadow));      // lowered inner bevel, top edge
    EXPECT_EQ(RedOf(bmp, 20, 4), 0);
    EXPECT_EQ(RedOf(bmp, 20, 5), 250 * 100 / 32 / 100);
}

TEST(KWPanel, EqualGradientColoursPaintNoGradient) {
    struct TCase {
        TColor C1, C2;
    };
    const std::vector<TCase> cases = {{clYellow, clYellow}, {clBtnFace, (TColor)ColorToRGB(clBtnFace)}};
    for (const TCase& c : cases) {
        TPanelHost h(30, 30);
        TBitmap plain;
        h.Render(plain);
        h.Panel->SetGColor1(c.C1);
        h.Panel->SetGColor2(c.C2);
        h.Panel->SetGActive(true);
        TBitmap gradient;
        h.Render(gradient);
        EXPECT_EQ(DifferentPixels(plain, gradient, RECT{0, 0, 30, 30}), 0);
    }
}

TEST(KWPanel, SideBordersMeetDiagonallyUnlessForcedSolid) {
    TPanelHost h(20, 20);
    h.Panel->SetColor(clBlack);
    h.Panel->SetSelfBorderWidth(TKWPanel::bpTop, 3);
    h.Panel->SetSelfBorderColor(TKWPanel::bpTop, clRed);
    h.Panel->SetSelfBorderWidth(TKWPanel::bpLeft, 3);
    h.Panel->SetSelfBorderColor(TKWPanel::bpLeft, clBlue);
    h.Panel->SetSelfBorderWidth(TKWPanel::bpRight, 1);
    h.Panel->SetSelfBorderColor(TKWPanel::bpRight, clLime);
    TBitmap bmp;
    h.Render(bmp);
    EXPECT_EQ(PixelOf(bmp, 0, 0), clBlue);   // the left border is drawn after the top one
    EXPECT_EQ(PixelOf(bmp, 1, 0), clRed);
    EXPECT_EQ(PixelOf(bmp, 2, 0), clRed);
    EXPECT_EQ(PixelOf(bmp, 2, 2), clBlue);
    EXPECT_EQ(PixelOf(bmp, 3, 2), clRed);
    EXPECT_EQ(PixelOf(bmp, 0, 19), clBlue);
    EXPECT_EQ(PixelOf(bmp, 2, 18), clBlack);   // the third line stops at H - 3
    EXPECT_EQ(PixelOf(bmp, 19, 0), clLime);
    EXPECT_EQ(PixelOf(bmp, 18, 0), clRed);
    EXPECT_EQ(PixelOf(bmp, 17, 2), clBlack);   // the top's third line ends at W - 4

    h.Panel->SetSelfBorderForceSolid(TKWPanel::bpLeft, true);
    h.Render(bmp);
    for (int32_t y : {0, 1, 2, 19}) EXPECT_EQ(PixelOf(bmp, 2, y), clBlue) << y;
    h.Panel->SetSelfBorderForceSolid(TKWPanel::bpTop, true);
    h.Render(bmp);
    EXPECT_EQ(PixelOf(bmp, 17, 2), clRed);
    EXPECT_EQ(PixelOf(bmp, 18, 2), clRed);
}

TEST(KWPanel, FramesComeFirstAndPushTheSidesIn) {
    TPanelHost h(20, 20);
    h.Panel->SetColor(clBlack);
    h.Panel->SetSelfBorderWidth(TKWPanel::bpOuter, 2);
    h.Panel->SetSelfBorderColor(TKWPanel::bpOuter, clGreen);
    h.Panel->SetSelfBorderWidth(TKWPanel::bpInner, 1);
    h.Panel->SetSelfBorderColor(TKWPanel::bpInner, clYellow);
    h.Panel->SetSelfBorderWidth(TKWPanel::bpBottom, 1);
    h.Panel->SetSelfBorderColor(TKWPanel::bpBottom, clRed);
    h.Panel->SetSelfBorderWidth(TKWPanel::bpLeft, -4);   // counts as 0
    TBitmap bmp;
    h.Render(bmp);
    EXPECT_EQ(PixelOf(bmp, 0, 0), clGreen);
    EXPECT_EQ(PixelOf(bmp, 1, 10), clGreen);
    EXPECT_EQ(PixelOf(bmp, 19, 19), clGreen);
    EXPECT_EQ(PixelOf(bmp, 2, 2), clYellow);
    EXPECT_EQ(PixelOf(bmp, 17, 17), clYellow);
    EXPECT_EQ(PixelOf(bmp, 10, 16), clRed);
    EXPECT_EQ(PixelOf(bmp, 3, 16), clRed);
    EXPECT_EQ(PixelOf(bmp, 10, 15), clBlack);
    EXPECT_EQ(h.Panel->SelfBorderWidth(TKWPanel::bpLeft), 0);
}

TEST(KWPanel, BackgroundPictureFromTheStoreOrItsOwn) {
    TPanelHost h(20, 20);
    h.Panel->SetColor(clBlack);
    TKWSharePicture store(nullptr);
    TspPicture* item = store.Pictures()->Add();
    item->ID = L"bg";
    FillPicture(item->Picture(), 4, 4, clAqua);

    h.Panel->SetKWSharePicture(&store);
    EXPECT_EQ(store.ClientCount(), 1);
    EXPECT_FALSE(h.Panel->BackGroundEnabled());
    h.Panel->SetImageIDforBackGround(L"BG");
    EXPECT_TRUE(h.Panel->BackGroundEnabled());
    h.Panel->SetBackGroundOffSetX(3);
    h.Panel->SetBackGroundOffSetY(5);
    TBitmap out;
    h.Render(out);
    EXPECT_EQ(PixelOf(out, 3, 5), clAqua);
    EXPECT_EQ(PixelOf(out, 6, 8), clAqua);
    EXPECT_EQ(PixelOf(out, 7, 8), clBlack);
    EXPECT_EQ(PixelOf(out, 2, 5), clBlack);
    h.Panel->SetBackGroundStretch(true);
    h.Render(out);
    EXPECT_TRUE(AllPixels(out, RECT{0, 0, 20, 20}, clAqua));

    // Its own picture, made transparent (its bottom-left colour is not drawn), when the store
    // has nothing under that ID.
    TPicture own;
    FillPicture(&own, 2, 2, clWhite)->Canvas()->SetPixel(1, 0, clRed);
    h.Panel->SetBackGround(&own);
    EXPECT_TRUE(h.Panel->BackGround()->Graphic()->Transparent());
    h.Panel->SetBackGroundStretch(false);
    h.Panel->SetImageIDforBackGround(L"none");
    h.Render(out);
    EXPECT_EQ(PixelOf(out, 4, 5), clRed);
    EXPECT_EQ(PixelOf(out, 3, 5), clBlack);
}

TEST(KWPanel, StoreChangesRepaintAndAGoneStoreIsForgotten) {
    TPanelHost h(20, 20);
    h.Form->SetVisible(true);
    auto store = std::make_unique<TKWSharePicture>(nullptr);
    TspPicture* item = store->Pictures()->Add();
    h.Panel->SetKWSharePicture(store.get());
    h.Panel->SetKWSharePicture(store.get());
    EXPECT_EQ(store->ClientCount(), 1);
    HWND wnd = h.Panel->Handle();
    ValidateRect(wnd, nullptr);
    RECT r;
    EXPECT_FALSE(GetUpdateRect(wnd, &r, FALSE));
    item->Picture()->Bitmap()->SetSize(3, 3);
    EXPECT_TRUE(GetUpdateRect(wnd, &r, FALSE));

    store.reset();
    EXPECT_EQ(h.Panel->KWSharePicture(), nullptr);
    EXPECT_FALSE(h.Panel->BackGroundEnabled());

    TKWSharePicture other(nullptr);
    {
        TKWPanel temporary(nullptr);
        temporary.SetKWSharePicture(&other);
        EXPECT_EQ(other.ClientCount(), 1);
    }
    EXPECT_EQ(other.ClientCount(), 0);
}

TEST(KWPanel, InvalidationReachesControlsBehindAndChildren) {
    auto form = MakeHostForm(200, 150);
    form->SetVisible(true);
    auto* behind = new TPanel(form.get());
    behind->SetParent(form.get());
    behind->SetBounds(0, 0, 100, 100);
    auto* panel = new TKWPanel(form.get());
    panel->SetParent(form.get());
    panel->SetBounds(20, 20, 100, 100);
    auto* above = new TPanel(form.get());
    above->SetParent(form.get());
    above->SetBounds(150, 0, 40, 40);
    auto* child = new TPanel(form.get());
    child->SetParent(panel);
    child->SetBounds(5, 5, 20, 20);
    Application->ProcessMessages();
    for (TWinControl* c : std::vector<TWinControl*>{behind, panel, above, child}) ValidateRect(c->Handle(), nullptr);
    panel->Invalidate();
    RECT r;
    EXPECT_TRUE(GetUpdateRect(behind->Handle(), &r, FALSE));
    EXPECT_TRUE(GetUpdateRect(panel->Handle(), &r, FALSE));
    EXPECT_TRUE(GetUpdateRect(child->Handle(), &r, FALSE));
    EXPECT_FALSE(GetUpdateRect(above->Handle(), &r, FALSE));
}

TEST(KWPanel, EraseIsSkippedWhenSomethingElsePaintsTheBackground) {
    TPanelHost h(20, 20);
    HWND wnd = h.Panel->Handle();
    TBitmap bmp;
    MakeCanvasBitmap(bmp, 20, 20, clBlack);
    HDC dc = bmp.Canvas()->Handle();
    EXPECT_NE(SendMessageW(wnd, WM_ERASEBKGND, (WPARAM)dc, 0), 0);
    h.Panel->DisableEraseBkGnd = true;
    EXPECT_EQ(SendMessageW(wnd, WM_ERASEBKGND, (WPARAM)dc, 0), 0);
    h.Panel->DisableEraseBkGnd = false;
    h.Panel->SetTransparent(true);
    wnd = h.Panel->Handle();
    EXPECT_TRUE(GetWindowLongW(wnd, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
    EXPECT_EQ(h.Panel->Brush()->Style(), bsClear);
    EXPECT_EQ(SendMessageW(wnd, WM_ERASEBKGND, (WPARAM)dc, 0), 0);
    h.Panel->SetTransparent(false);
    wnd = h.Panel->Handle();
    EXPECT_FALSE(GetWindowLongW(wnd, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
    EXPECT_EQ(h.Panel->Brush()->Style(), bsSolid);
}

TEST(KWPanel, HitTestHookMayChangeTheAnswer) {
    TPanelHost h(20, 20);
    HWND wnd = h.Panel->Handle();
    RECT r;
    GetWindowRect(wnd, &r);
    const LPARAM inside = MAKELPARAM(r.left + 5, r.top + 5);
    EXPECT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, inside), HTCLIENT);
    LRESULT seen = -1;
    h.Panel->OnNCHitTest = [&](TObject* s, TMessage& m) {
        EXPECT_EQ(s, h.Panel);
        seen = m.Result;
        m.Result = HTCAPTION;
    };
    EXPECT_EQ(SendMessageW(wnd, WM_NCHITTEST, 0, inside), HTCAPTION);
    EXPECT_EQ(seen, HTCLIENT);
}

TEST(KWPanel, DroppedFilesArriveInDropOrder) {
    TPanelHost h(20, 20);
    h.Panel->SetAllowDropFile(true);
    EXPECT_TRUE(GetWindowLongW(h.Panel->Handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
    const std::vector<std::wstring> paths = {L"C:\\a\\一.txt", L"C:\\b.bin", L"Z:\\c"};
    std::wstring list;
    for (auto& p : paths) list += p + L'\0';
    list += L'\0';
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* df = static_cast<DROPFILES*>(GlobalLock(mem));
    df->pFiles = sizeof(DROPFILES);
    df->fWide = TRUE;
    std::memcpy(reinterpret_cast<uint8_t*>(df) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(mem);
    std::vector<std::wstring> got;
    h.Panel->OnDropFile = [&](TObject*, const std::vector<std::wstring>& files) { got = files; };
    SendMessageW(h.Panel->Handle(), WM_DROPFILES, (WPARAM)mem, 0);   // DragFinish frees it
    EXPECT_EQ(got, paths);

    h.Panel->SetAllowDropFile(false);
    EXPECT_FALSE(GetWindowLongW(h.Panel->Handle(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
}
