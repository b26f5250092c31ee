// Controls over windows: notifications, ownership, painting into memory, reflection, alignment,
// mouse routing to windowless controls, focus and dialog keys.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <memory>

#include "Controls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "Themes.h"
#include "ui_test_util.h"

namespace {

// A windowed control that fills itself with one colour and counts its notifications.
class TProbe : public TCustomControl {
public:
    explicit TProbe(TComponent* owner, bool* destroyed = nullptr) : TCustomControl(owner), FDestroyed(destroyed) {}
    ~TProbe() override {
        if (FDestroyed) *FDestroyed = true;
    }
    TColor Fill = clBlue;
    int NEnabled = 0, NVisible = 0, NFont = 0, NColor = 0, NText = 0, Enter = 0, Leave = 0, Paints = 0, Posted = 0;
    using TWinControl::ControlStyle;

protected:
    void Paint() override {
        ++Paints;
        Canvas()->Brush()->SetColor(Fill);
        Canvas()->FillRect(GetClientRect());
    }
    void WndProc(TMessage& m) override {
        if (m.Msg == WM_APP + 1) {
            ++Posted;
            return;
        }
        TCustomControl::WndProc(m);
    }
    void CMEnabledChanged(TMessage& m) override { ++NEnabled; TCustomControl::CMEnabledChanged(m); }
    void CMVisibleChanged(TMessage& m) override { ++NVisible; TCustomControl::CMVisibleChanged(m); }
    void CMFontChanged(TMessage& m) override { ++NFont; TCustomControl::CMFontChanged(m); }
    void CMColorChanged(TMessage& m) override { ++NColor; TCustomControl::CMColorChanged(m); }
    void CMTextChanged(TMessage& m) override { ++NText; TCustomControl::CMTextChanged(m); }
    void CMMouseEnter(TMessage& m) override { ++Enter; TCustomControl::CMMouseEnter(m); }
    void CMMouseLeave(TMessage& m) override { ++Leave; TCustomControl::CMMouseLeave(m); }

private:
    bool* FDestroyed;
};

// A windowless control that fills itself and counts mouse entries.
class TGraphicProbe : public TGraphicControl {
public:
    explicit TGraphicProbe(TComponent* owner, bool* destroyed = nullptr) : TGraphicControl(owner), FDestroyed(destroyed) {
        ControlStyle |= csClickEvents | csCaptureMouse;
    }
    ~TGraphicProbe() override {
        if (FDestroyed) *FDestroyed = true;
    }
    TColor Fill = clLime;
    int Enter = 0, Leave = 0, Downs = 0, Paints = 0;

protected:
    void Paint() override {
        ++Paints;
        Canvas()->Brush()->SetColor(Fill);
        Canvas()->FillRect(GetClientRect());
    }
    void CMMouseEnter(TMessage& m) override { ++Enter; TGraphicControl::CMMouseEnter(m); }
    void CMMouseLeave(TMessage& m) override { ++Leave; TGraphicControl::CMMouseLeave(m); }
    void MouseDown(TMouseButton b, TShiftState s, int32_t x, int32_t y) override {
        ++Downs;
        TGraphicControl::MouseDown(b, s, x, y);
    }

private:
    bool* FDestroyed;
};

// A framed child: its parent draws a sunken frame around it.
class TFramedProbe : public TProbe {
public:
    explicit TFramedProbe(TComponent* owner) : TProbe(owner) { ControlStyle |= csFramed; }
};

std::unique_ptr<TForm> MakeForm(int32_t cw, int32_t ch) {
    std::unique_ptr<TForm> form(new TForm(nullptr));
    form->SetBorderStyle(bsDialog);
    form->SetClientSize(cw, ch);
    return form;
}

LPARAM Pos(int x, int y) { return MAKELPARAM(x, y); }

}  // namespace

TEST(Control, NotificationsFireOncePerChange) {
    auto form = MakeForm(100, 100);
    auto* p = new TProbe(form.get());
    p->SetParent(form.get());
    p->HandleNeeded();
    p->NEnabled = p->NVisible = p->NFont = p->NColor = p->NText = 0;

    p->SetEnabled(false);
    p->SetEnabled(false);
    p->SetVisible(false);
    p->SetVisible(false);
    p->Font()->SetHeight(-20);
    p->Font()->SetHeight(-20);
    p->SetColor(clRed);
    p->SetColor(clRed);
    p->SetText(L"abc");
    p->SetText(L"abc");
    EXPECT_EQ(p->NEnabled, 1);
    EXPECT_EQ(p->NVisible, 1);
    EXPECT_EQ(p->NFont, 1);
    EXPECT_EQ(p->NColor, 1);
    EXPECT_EQ(p->NText, 1);
    EXPECT_FALSE(IsWindowEnabled(p->Handle()));
    EXPECT_EQ(p->GetText(), L"abc");
    wchar_t buf[16] = {};
    GetWindowTextW(p->Handle(), buf, 16);
    EXPECT_STREQ(buf, L"abc");
}

TEST(Control, ParentFontAndColourFlowDownUntilTheChildSetsItsOwn) {
    auto form = MakeForm(100, 100);
    auto* panel = new TPanel(form.get());
    panel->SetParent(form.get());
    auto* child = new TProbe(form.get());
    child->SetParent(panel);
    panel->Font()->SetHeight(-15);
    panel->SetColor(clYellow);
    EXPECT_EQ(child->Font()->Height(), -15);
    EXPECT_TRUE(child->ParentFont());
    EXPECT_EQ(child->Color(), clYellow);
    EXPECT_TRUE(child->ParentColor());

    child->Font()->SetHeight(-9);
    child->SetColor(clRed);
    EXPECT_FALSE(child->ParentFont());
    EXPECT_FALSE(child->ParentColor());
    panel->Font()->SetHeight(-30);
    panel->SetColor(clAqua);
    EXPECT_EQ(child->Font()->Height(), -9);
    EXPECT_EQ(child->Color(), clRed);

    child->SetParentColor(true);
    EXPECT_EQ(child->Color(), clAqua);
}

TEST(Control, OwnerAndParentFreeTheirControls) {
    bool ownedGone = false, parentedGone = false, graphicGone = false;
    TProbe* unowned = nullptr;
    {
        auto form = MakeForm(100, 100);
        auto* panel = new TPanel(form.get());
        panel->SetParent(form.get());
        auto* owned = new TProbe(form.get(), &ownedGone);
        owned->SetParent(panel);
        unowned = new TProbe(nullptr, &parentedGone);   // no owner: the parent frees it
        unowned->SetParent(panel);
        auto* g = new TGraphicProbe(form.get(), &graphicGone);
        g->SetParent(panel);
        EXPECT_EQ(panel->ControlCount(), 3);
        EXPECT_EQ(panel->Controls(0), g);   // windowless controls come first
        EXPECT_EQ(form->GetComponentCount(), 3);
        delete owned;   // leaves both its parent and its owner
        EXPECT_TRUE(ownedGone);
        EXPECT_EQ(panel->ControlCount(), 2);
        EXPECT_EQ(form->GetComponentCount(), 2);
    }
    EXPECT_TRUE(parentedGone);
    EXPECT_TRUE(graphicGone);
}

TEST(Control, FormWithPanelGraphicControlAndEditPaintsIntoMemory) {
    auto form = MakeForm(200, 150);
    auto* panel = new TPanel(form.get());
    panel->SetParent(form.get());
    panel->SetBevelOuter(bvNone);
    panel->SetParentBackground(false);
    panel->SetColor(clRed);
    panel->SetBounds(10, 10, 80, 40);
    auto* inner = new TGraphicProbe(form.get());
    inner->Fill = clNavy;
    inner->SetParent(panel);
    inner->SetBounds(5, 5, 10, 10);
    auto* g = new TGraphicProbe(form.get());
    g->Fill = clBlue;
    g->SetParent(form.get());
    g->SetBounds(120, 10, 30, 30);
    auto* edit = new TEdit(form.get());
    edit->SetParent(form.get());
    edit->SetBounds(10, 80, 150, 24);
    edit->SetText(L"WWWWWWWW");

    TBitmap bmp;
    MakeCanvasBitmap(bmp, 200, 150, clBlack);
    form->PaintTo(bmp.Canvas()->Handle(), 0, 0);

    EXPECT_EQ(PixelOf(bmp, 5, 5), ColorToRGB(clBtnFace));      // form background
    EXPECT_EQ(PixelOf(bmp, 50, 30), clRed);                    // panel
    EXPECT_EQ(PixelOf(bmp, 20, 20), clNavy);                   // windowless child of the panel
    EXPECT_EQ(PixelOf(bmp, 135, 25), clBlue);                  // windowless child of the form
    EXPECT_EQ(PixelOf(bmp, 155, 25), ColorToRGB(clBtnFace));
    // The edit: sunken border, window background, dark text pixels somewhere inside.
    EXPECT_EQ(PixelOf(bmp, 10, 80), ColorToRGB(clBtnShadow));
    EXPECT_EQ(PixelOf(bmp, 150, 92), ColorToRGB(clWindow));
    int dark = 0;
    for (int x = 12; x < 150; ++x)
        for (int y = 82; y < 102; ++y)
            if (PixelOf(bmp, x, y) == ColorToRGB(clWindowText)) ++dark;
    EXPECT_GT(dark, 10);
}

TEST(Control, ParentDrawsSunkenFramesAroundFramedChildren) {
    auto form = MakeForm(100, 100);
    auto* f = new TFramedProbe(form.get());
    f->SetParent(form.get());
    f->SetBounds(20, 20, 30, 30);
    TBitmap bmp;
    MakeCanvasBitmap(bmp, 100, 100, clBlack);
    form->PaintTo(bmp.Canvas()->Handle(), 0, 0);
    EXPECT_EQ(PixelOf(bmp, 19, 19), ColorToRGB(clBtnShadow));
    EXPECT_EQ(PixelOf(bmp, 50, 50), ColorToRGB(clBtnHighlight));
    EXPECT_EQ(PixelOf(bmp, 30, 30), clBlue);

    f->SetCtl3D(false);
    MakeCanvasBitmap(bmp, 100, 100, clBlack);
    form->PaintTo(bmp.Canvas()->Handle(), 0, 0);
    EXPECT_EQ(PixelOf(bmp, 19, 19), ColorToRGB(clBtnFace));
}

TEST(Control, PrintClientAndDoubleBufferedPaintDrawTheControl) {
    auto form = MakeForm(100, 100);
    auto* p = new TProbe(form.get());
    p->SetParent(form.get());
    p->SetBounds(0, 0, 40, 40);
    p->DoubleBuffered = true;
    p->Fill = clFuchsia;
    TBitmap bmp;
    MakeCanvasBitmap(bmp, 40, 40, clBlack);
    SendMessageW(p->Handle(), WM_PRINTCLIENT, (WPARAM)bmp.Canvas()->Handle(), PRF_CLIENT | PRF_ERASEBKGND);
    EXPECT_EQ(PixelOf(bmp, 20, 20), clFuchsia);

    // A real paint of the shown window goes through the off-screen buffer.
    form->Show();
    const int before = p->Paints;
    RedrawWindow(p->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_GT(p->Paints, before);
    form->Hide();
}

namespace {

// A container with the system's plain window procedure (as a tab sheet is): its windowless
// children are painted by it.
std::unique_ptr<TForm> MakeFormWithHost(TWinControl*& host, TGraphicProbe*& label) {
    auto form = MakeForm(200, 150);
    host = new TWinControl(form.get());
    host->ControlStyle |= csAcceptsControls;
    host->SetParent(form.get());
    host->SetBounds(0, 0, 200, 150);
    host->SetColor(clYellow);
    label = new TGraphicProbe(form.get());
    label->SetParent(host);
    label->SetBounds(10, 10, 40, 12);
    return form;
}

bool PendingRepaint(HWND wnd, const RECT& inside) {
    RECT r{};
    if (!GetUpdateRect(wnd, &r, FALSE)) return false;
    return r.left <= inside.left && r.top <= inside.top && r.right >= inside.right && r.bottom >= inside.bottom;
}

}  // namespace

// WM_PRINTCLIENT and PaintTo draw into the given context only: a repaint that the window has
// pending is still there afterwards, and still reaches the windowless children.
TEST(Control, PaintingIntoAContextKeepsThePendingRepaint) {
    TWinControl* host;
    TGraphicProbe* label;
    auto form = MakeFormWithHost(host, label);
    form->Show();
    Application->ProcessMessages();
    const RECT area = label->BoundsRect();
    TBitmap bmp;
    const std::function<void(HDC)> painters[] = {
        [&](HDC dc) { SendMessageW(host->Handle(), WM_PRINTCLIENT, (WPARAM)dc, PRF_CLIENT | PRF_ERASEBKGND); },
        [&](HDC dc) { host->PaintTo(dc, 0, 0); },
    };
    // With the windowless child, then with no child at all.
    for (int withLabel = 1; withLabel >= 0; --withLabel) {
        label->SetParent(withLabel ? host : nullptr);
        for (size_t i = 0; i < std::size(painters); ++i) {
            SCOPED_TRACE(testing::Message() << "painter " << i << ", label " << withLabel);
            Application->ProcessMessages();
            InvalidateRect(host->Handle(), &area, TRUE);
            MakeCanvasBitmap(bmp, 200, 150, clBlack);
            painters[i](bmp.Canvas()->Handle());
            EXPECT_EQ(PixelOf(bmp, 100, 100), clYellow);   // the background went into the context
            EXPECT_EQ(PixelOf(bmp, 20, 15), withLabel ? clLime : clYellow);
            EXPECT_TRUE(PendingRepaint(host->Handle(), area));
            const int before = label->Paints;
            Application->ProcessMessages();
            EXPECT_FALSE(PendingRepaint(host->Handle(), area));
            if (withLabel) {
                EXPECT_GT(label->Paints, before);
            }
        }
    }
}

// A page switch: the new page and its children are erased at once, and a panel that shows its
// parent's background has the page print itself into the panel's context. The page's own
// repaint, due later, must still paint its windowless label.
TEST(Control, ChildDrawingTheParentBackgroundLeavesTheParentsRepaint) {
    ASSERT_TRUE(ThemeServices()->ThemesEnabled());
    TWinControl* page;
    TGraphicProbe* label;
    auto form = MakeFormWithHost(page, label);
    auto* panel = new TPanel(form.get());
    panel->SetParent(page);
    panel->SetBevelOuter(bvLowered);
    panel->SetBounds(10, 40, 150, 80);
    ASSERT_TRUE(panel->ParentBackground());
    auto* other = new TWinControl(form.get());
    other->SetParent(form.get());
    other->SetBounds(0, 0, 200, 150);
    page->SetVisible(false);
    form->Show();
    Application->ProcessMessages();
    ASSERT_EQ(label->Paints, 0);

    page->SetVisible(true);
    other->SetVisible(false);
    Application->ProcessMessages();
    EXPECT_GT(label->Paints, 0);

    // The same through an immediate erase of the page and its children.
    const int before = label->Paints;
    RedrawWindow(page->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_ERASENOW);
    Application->ProcessMessages();
    EXPECT_GT(label->Paints, before);
}

TEST(Control, AlignPlacesChildrenInOrder) {
    auto form = MakeForm(300, 200);
    auto* top = new TPanel(form.get());
    top->SetParent(form.get());
    top->SetHeight(30);
    top->SetAlign(alTop);
    auto* bottom = new TPanel(form.get());
    bottom->SetParent(form.get());
    bottom->SetHeight(40);
    bottom->SetAlign(alBottom);
    auto* line = new TBevel(form.get());
    line->SetParent(form.get());
    line->SetBounds(0, 100, 10, 4);   // above the bottom panel
    line->SetAlign(alBottom);
    auto* client = new TPanel(form.get());
    client->SetParent(form.get());
    client->SetAlign(alClient);

    EXPECT_EQ(top->BoundsRect().bottom, 30);
    EXPECT_EQ(top->Width(), 300);
    EXPECT_EQ(bottom->Top(), 160);
    EXPECT_EQ(line->Top(), 156);
    EXPECT_EQ(line->Width(), 300);
    EXPECT_EQ(client->Top(), 30);
    EXPECT_EQ(client->Height(), 126);

    // Hiding an aligned control gives its room to the others.
    top->SetVisible(false);
    EXPECT_EQ(client->Top(), 0);
    EXPECT_EQ(client->Height(), 156);
}

TEST(Control, ButtonClicksAreReflectedFromTheParent) {
    auto form = MakeForm(200, 100);
    auto* panel = new TPanel(form.get());
    panel->SetParent(form.get());
    auto* button = new TButton(form.get());
    button->SetParent(panel);
    button->SetCaption(L"次へ");
    int clicks = 0;
    TObject* sender = nullptr;
    button->OnClick = [&](TObject* s) { ++clicks; sender = s; };
    HWND bh = button->Handle();
    wchar_t cls[64] = {};
    GetClassNameW(bh, cls, 64);
    EXPECT_STRNE(cls, L"Button");   // our own class over the system's

    SendMessageW(panel->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(bh), BN_CLICKED), (LPARAM)bh);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(sender, button);
    form->Show();
    SendMessageW(bh, BM_CLICK, 0, 0);
    EXPECT_EQ(clicks, 2);
    form->Hide();

    // Other notifications of the child are reflected too, and unknown windows are left alone.
    EXPECT_EQ(SendMessageW(panel->Handle(), WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), (LPARAM)panel->Handle()), 0);
    EXPECT_EQ(clicks, 2);
}

TEST(Control, CheckBoxTogglesAndReportsEveryChange) {
    auto form = MakeForm(200, 100);
    auto* box = new TCheckBox(form.get());
    box->SetParent(form.get());
    box->SetCaption(L"以上の契約に同意します");
    int clicks = 0;
    box->OnClick = [&](TObject*) { ++clicks; };
    box->SetChecked(true);
    box->SetChecked(true);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(SendMessageW(box->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
    SendMessageW(form->Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(box->Handle()), BN_CLICKED),
                 (LPARAM)box->Handle());
    EXPECT_FALSE(box->Checked());
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(SendMessageW(box->Handle(), BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

TEST(Control, WindowlessChildrenGetMouseMessagesEnterAndLeave) {
    auto form = MakeForm(200, 100);
    auto* g = new TGraphicProbe(form.get());
    g->SetParent(form.get());
    g->SetBounds(50, 20, 40, 40);
    int clicks = 0;
    int32_t downX = -1;
    g->OnClick = [&](TObject*) { ++clicks; };
    g->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int32_t x, int32_t) { downX = x; };
    HWND h = form->Handle();
    SendMessageW(h, WM_MOUSEMOVE, 0, Pos(10, 10));
    EXPECT_EQ(g->Enter, 0);
    SendMessageW(h, WM_MOUSEMOVE, 0, Pos(60, 30));
    EXPECT_EQ(g->Enter, 1);
    SendMessageW(h, WM_MOUSEMOVE, 0, Pos(61, 31));
    EXPECT_EQ(g->Enter, 1);
    SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, Pos(60, 30));
    EXPECT_EQ(downX, 10);   // in the control's own coordinates
    SendMessageW(h, WM_LBUTTONUP, 0, Pos(61, 31));
    EXPECT_EQ(clicks, 1);
    SendMessageW(h, WM_MOUSEMOVE, 0, Pos(5, 5));
    EXPECT_EQ(g->Leave, 1);
    // A press inside and a release outside is no click.
    SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, Pos(60, 30));
    SendMessageW(h, WM_LBUTTONUP, 0, Pos(150, 90));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(g->Downs, 2);
    g->SetEnabled(false);
    SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, Pos(60, 30));
    EXPECT_EQ(g->Downs, 2);
}

TEST(Control, TabMovesTheFocusAndEnterPressesTheDefaultButton) {
    auto form = MakeForm(200, 120);
    form->SetPosition(poScreenCenter);
    auto* e1 = new TEdit(form.get());
    e1->SetParent(form.get());
    e1->SetBounds(10, 10, 100, 21);
    auto* e2 = new TEdit(form.get());
    e2->SetParent(form.get());
    e2->SetBounds(10, 40, 100, 21);
    auto* ok = new TButton(form.get());
    ok->SetParent(form.get());
    ok->SetBounds(10, 70, 75, 25);
    ok->SetDefault(true);
    int clicks = 0;
    ok->OnClick = [&](TObject*) { ++clicks; };
    form->Show();
    Application->ProcessMessages();
    EXPECT_EQ(form->Left(), (GetSystemMetrics(SM_CXSCREEN) - form->Width()) / 2);
    form->SetActiveControl(e1);
    e1->SetFocus();
    Application->ProcessMessages();
    ASSERT_EQ(GetFocus(), e1->Handle());
    EXPECT_EQ(form->ActiveControl(), e1);

    PostMessageW(e1->Handle(), WM_KEYDOWN, VK_TAB, 0);
    Application->ProcessMessages();
    EXPECT_EQ(GetFocus(), e2->Handle());
    EXPECT_EQ(form->ActiveControl(), e2);

    PostMessageW(e2->Handle(), WM_KEYDOWN, VK_RETURN, 0);
    Application->ProcessMessages();
    EXPECT_EQ(clicks, 1);

    // Hiding the focused control hands the focus back.
    e2->SetVisible(false);
    EXPECT_NE(form->ActiveControl(), e2);
    form->Hide();
}

TEST(Control, LabelSizesItselfAndPaintsItsText) {
    auto form = MakeForm(300, 100);
    auto* label = new TLabel(form.get());
    label->SetParent(form.get());
    label->SetBounds(10, 10, 5, 5);
    label->SetCaption(L"インストールを実行しています。");
    TBitmap probe;
    MakeCanvasBitmap(probe, 1, 1, clWhite);
    probe.Canvas()->SetFont(label->Font());
    const SIZE ext = probe.Canvas()->TextExtent(L"インストールを実行しています。");
    EXPECT_EQ(label->Width(), ext.cx);
    EXPECT_EQ(label->Height(), ext.cy);

    label->SetCaption(L"A\rB");   // a carriage return breaks the line
    EXPECT_EQ(label->Height(), 2 * ext.cy);
    label->SetAutoSize(false);
    label->SetCaption(L"WWWWWWWWWWWWWWWWWWWW");
    EXPECT_EQ(label->Height(), 2 * ext.cy);

    TBitmap bmp;
    MakeCanvasBitmap(bmp, 300, 100, clBlack);
    form->PaintTo(bmp.Canvas()->Handle(), 0, 0);
    int ink = 0;
    for (int x = 10; x < 10 + label->Width(); ++x)
        for (int y = 10; y < 10 + label->Height(); ++y)
            if (PixelOf(bmp, x, y) == ColorToRGB(clWindowText)) ++ink;
    EXPECT_GT(ink, 5);
    EXPECT_EQ(PixelOf(bmp, 10 + label->Width() + 2, 12), ColorToRGB(clBtnFace));
}

TEST(Control, ImageShowsItsPictureAtSizeOrStretched) {
    auto form = MakeForm(100, 100);
    auto* image = new TImage(form.get());
    image->SetParent(form.get());
    image->SetBounds(0, 0, 40, 40);
    TBitmap* b = image->Picture()->Bitmap();
    MakeCanvasBitmap(*b, 10, 10, clRed);
    TBitmap bmp;
    MakeCanvasBitmap(bmp, 100, 100, clBlack);
    form->PaintTo(bmp.Canvas()->Handle(), 0, 0);
    EXPECT_EQ(PixelOf(bmp, 5, 5), clRed);
    EXPECT_EQ(PixelOf(bmp, 30, 30), ColorToRGB(clBtnFace));
    image->SetStretch(true);
    form->PaintTo(bmp.Canvas()->Handle(), 0, 0);
    EXPECT_EQ(PixelOf(bmp, 30, 30), clRed);
}

TEST(Control, BevelDrawsItsLines) {
    auto form = MakeForm(100, 100);
    auto* bevel = new TBevel(form.get());
    bevel->SetParent(form.get());
    bevel->SetBounds(10, 10, 50, 4);
    bevel->SetShape(bsTopLine);
    TBitmap bmp;
    MakeCanvasBitmap(bmp, 100, 100, clBlack);
    form->PaintTo(bmp.Canvas()->Handle(), 0, 0);
    EXPECT_EQ(PixelOf(bmp, 30, 10), ColorToRGB(clBtnShadow));
    EXPECT_EQ(PixelOf(bmp, 30, 11), ColorToRGB(clBtnHighlight));
    bevel->SetShape(bsFrame);
    bevel->SetBounds(10, 10, 50, 50);
    form->PaintTo(bmp.Canvas()->Handle(), 0, 0);
    EXPECT_EQ(PixelOf(bmp, 10, 30), ColorToRGB(clBtnShadow));
    EXPECT_EQ(PixelOf(bmp, 11, 30), ColorToRGB(clBtnHighlight));
}

TEST(Control, MemoLinesAndComboItemsWorkWithAndWithoutWindows) {
    auto form = MakeForm(300, 200);
    auto* memo = new TMemo(form.get());
    memo->SetParent(form.get());
    memo->SetReadOnly(true);
    memo->SetScrollBars(ssVertical);
    memo->Lines()->Add(L"一行目");
    memo->Lines()->Add(L"");
    memo->Lines()->Add(L"三行目");
    EXPECT_EQ(memo->Lines()->GetCount(), 3);
    EXPECT_EQ(memo->Lines()->GetStrings(2), L"三行目");
    memo->HandleNeeded();
    EXPECT_EQ(memo->GetText(), L"一行目\r\n\r\n三行目\r\n");
    EXPECT_TRUE(GetWindowLongW(memo->Handle(), GWL_STYLE) & ES_READONLY);
    EXPECT_TRUE(GetWindowLongW(memo->Handle(), GWL_STYLE) & WS_VSCROLL);
    TMemoryStream s;
    const char text[] = "licence\r\nline two";
    s.WriteBuffer(text, sizeof text - 1);
    s.SetPosition(0);
    memo->Lines()->LoadFromStream(&s);
    EXPECT_EQ(memo->Lines()->GetCount(), 2);
    EXPECT_EQ(memo->Lines()->GetStrings(1), L"line two");
    memo->Lines()->Delete(0);
    EXPECT_EQ(memo->GetText(), L"line two\r\n");

    auto* combo = new TComboBox(form.get());
    combo->SetStyle(csDropDownList);
    combo->SetParent(form.get());
    combo->SetVisible(false);
    combo->Items()->Add(L"C ドライブ - ");
    combo->Items()->Add(L"D ドライブ - DATA");
    combo->SetItemIndex(1);
    EXPECT_EQ(combo->ItemIndex(), 1);
    HWND ch = combo->Handle();
    EXPECT_EQ(SendMessageW(ch, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(combo->ItemIndex(), 1);
    combo->Items()->Clear();
    EXPECT_EQ(SendMessageW(ch, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(combo->ItemIndex(), -1);
    combo->SetItemIndex(5);
    EXPECT_EQ(combo->ItemIndex(), -1);
}

TEST(Themes, ThemedAndClassicPathsBothRun) {
    TThemeServices* t = ThemeServices();
    ASSERT_TRUE(t->Enabled());
    auto form = MakeForm(100, 100);
    form->SetColor(clGreen);
    auto* panel = new TPanel(form.get());
    panel->SetParent(form.get());
    panel->SetBevelOuter(bvNone);
    panel->SetBounds(10, 10, 50, 50);
    panel->SetColor(clRed);
    panel->SetParentBackground(true);

    TBitmap bmp;
    // Wine turns a visual theme on by default: both paths run here.
    EXPECT_TRUE(t->ThemesAvailable());
    if (t->ThemesAvailable()) {
        EXPECT_TRUE(t->ThemesEnabled());
        HTHEME theme = t->OpenThemeData(form->Handle(), L"BUTTON");
        ASSERT_NE(theme, nullptr);
        MakeCanvasBitmap(bmp, 60, 30, clBlack);
        EXPECT_TRUE(t->DrawThemeBackground(theme, bmp.Canvas()->Handle(), BP_PUSHBUTTON, PBS_NORMAL, RECT{0, 0, 60, 30}));
        EXPECT_NE(PixelOf(bmp, 30, 15), clBlack);
        t->CloseThemeData(theme);
        // Themed: the panel shows its parent's background.
        MakeCanvasBitmap(bmp, 100, 100, clBlack);
        form->PaintTo(bmp.Canvas()->Handle(), 0, 0);
        EXPECT_EQ(PixelOf(bmp, 30, 30), clGreen);
    }
    t->SetEnabled(false);
    EXPECT_FALSE(t->ThemesEnabled());
    EXPECT_EQ(t->OpenThemeData(form->Handle(), L"BUTTON"), nullptr);
    MakeCanvasBitmap(bmp, 100, 100, clBlack);
    form->PaintTo(bmp.Canvas()->Handle(), 0, 0);
    EXPECT_EQ(PixelOf(bmp, 30, 30), clRed);   // classic: its own colour
    t->SetEnabled(true);
}
