// The page control and its tab sheets: the wizard's road (hidden tabs, ActivePage writes with
// focus hand-over), page membership, tab selection by clicks and keys, hiding all tabs, the
// enabled state, owner-drawn tabs with close buttons, dragging tabs and docked forms.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "KWControl.h"
#include "StdCtrls.h"
#include "controls_test_util.h"

namespace {

struct TPagesHost {
    std::unique_ptr<TForm> Form = MakeHostForm(400, 300);
    TKWPageControl* Pages;
    std::vector<TKWTabSheet*> Sheets;
    std::vector<std::wstring> Events;

    explicit TPagesHost(int32_t count, bool show = false) {
        if (show) Form->SetVisible(true);
        Pages = new TKWPageControl(Form.get());
        Pages->SetParent(Form.get());
        Pages->SetBounds(0, 0, 400, 300);
        for (int32_t i = 0; i < count; ++i) AddSheet(std::wstring(1, (wchar_t)(L'A' + i)));
    }
    TKWTabSheet* AddSheet(const std::wstring& caption) {
        auto* s = new TKWTabSheet(Form.get());
        s->SetCaption(caption);
        s->SetPageControl(Pages);
        s->OnShow = [this, caption](TObject*) { Events.push_back(L"show " + caption); };
        s->OnHide = [this, caption](TObject*) { Events.push_back(L"hide " + caption); };
        Sheets.push_back(s);
        return s;
    }
    std::wstring TabCaptions() {
        std::wstring all;
        for (int32_t i = 0; i < Pages->Tabs()->GetCount(); ++i) all += Pages->Tabs()->GetStrings(i);
        return all;
    }
    POINT CentreOf(int32_t tab) {
        RECT r = Pages->TabRect(tab);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
};

// Brings a shown form to the foreground so that it holds the focus.
void Activate(TForm* form) {
    SetForegroundWindow(form->Handle());
    SetActiveWindow(form->Handle());
    Application->ProcessMessages();
}

}  // namespace

TEST(KWPageControl, SheetsJoinInOrderWithTheirTabs) {
    TPagesHost h(3);
    EXPECT_EQ(h.Pages->GetPageCount(), 3);
    EXPECT_EQ(h.Pages->GetPage(1), h.Sheets[1]);
    EXPECT_EQ(h.TabCaptions(), L"ABC");
    EXPECT_EQ(h.Sheets[2]->PageIndex(), 2);
    EXPECT_EQ(h.Sheets[2]->TabIndex(), 2);
    EXPECT_EQ(h.Sheets[0]->Parent(), h.Pages);
    EXPECT_EQ(h.Pages->Tabs()->GetObjects(1), h.Sheets[1]);
    ASSERT_NE(h.Pages->ActivePage(), nullptr);
    EXPECT_TRUE(h.Pages->ActivePage()->Visible());
    int32_t visible = 0;
    for (auto* s : h.Sheets) visible += s->Visible() ? 1 : 0;
    EXPECT_EQ(visible, 1);
    EXPECT_THROW(h.Pages->GetPage(3), EListError);

    // A page control as parent makes the sheet a page; another parent takes it out.
    auto* d = new TKWTabSheet(h.Form.get());
    d->SetCaption(L"D");
    d->SetParent(h.Pages);
    EXPECT_EQ(d->PageControl(), h.Pages);
    EXPECT_EQ(h.TabCaptions(), L"ABCD");
    d->SetParent(h.Form.get());
    EXPECT_EQ(d->PageControl(), nullptr);
    EXPECT_EQ(h.TabCaptions(), L"ABC");
    delete h.Sheets[1];
    EXPECT_EQ(h.TabCaptions(), L"AC");
    EXPECT_EQ(h.Pages->GetPageCount(), 2);
}

TEST(KWPageControl, WizardRoadWithAllTabsHidden) {
    TPagesHost h(0);
    h.Pages->SetStyle(tsFlatButtons);
    h.Pages->SetChildControlEnabled(false);
    for (int32_t i = 0; i < 9; ++i) h.AddSheet(std::to_wstring(i));
    for (auto* s : h.Sheets) s->SetTabVisible(false);
    EXPECT_EQ(h.Pages->Tabs()->GetCount(), 0);
    EXPECT_EQ(h.Pages->ActivePage(), nullptr);
    h.Events.clear();

    h.Pages->SetActivePage(h.Sheets[0]);
    EXPECT_EQ(h.Events, (std::vector<std::wstring>{L"show 0"}));
    h.Pages->SetActivePage(h.Sheets[4]);
    EXPECT_EQ(h.Events, (std::vector<std::wstring>{L"show 0", L"show 4", L"hide 0"}));
    EXPECT_EQ(h.Pages->ActivePage(), h.Sheets[4]);
    EXPECT_TRUE(h.Sheets[4]->Visible());
    EXPECT_FALSE(h.Sheets[0]->Visible());
    EXPECT_EQ(h.Pages->TabIndex(), -1);
    EXPECT_EQ(h.Sheets[4]->TabIndex(), -1);

    // The same page again: nothing happens.
    int changes = 0;
    h.Pages->OnChange = [&](TObject*) { ++changes; };
    h.Events.clear();
    h.Pages->SetActivePage(h.Sheets[4]);
    EXPECT_TRUE(h.Events.empty());
    EXPECT_EQ(changes, 0);

    // A sheet of another page control is ignored.
    TPagesHost other(1);
    h.Pages->SetActivePage(other.Sheets[0]);
    EXPECT_EQ(h.Pages->ActivePage(), h.Sheets[4]);
    EXPECT_EQ(other.Sheets[0]->PageControl(), other.Pages);
}

TEST(KWPageControl, FocusMovesWithThePage) {
    TPagesHost h(2, true);
    Activate(h.Form.get());
    auto* edit1 = new TEdit(h.Form.get());
    edit1->SetParent(h.Sheets[0]);
    auto* edit2 = new TEdit(h.Form.get());
    edit2->SetParent(h.Sheets[1]);
    edit2->SetTabStop(true);
    h.Pages->SetActivePage(h.Sheets[0]);
    edit1->SetFocus();
    ASSERT_EQ(h.Form->ActiveControl(), edit1);
    h.Pages->SetActivePage(h.Sheets[1]);
    EXPECT_EQ(h.Pages->ActivePage(), h.Sheets[1]);
    EXPECT_EQ(h.Form->ActiveControl(), edit2);   // the first control of the new page in tab order
}

TEST(KWPageControl, PageStaysWhenTheFocusedControlHoldsOn) {
    TPagesHost h(2, true);
    Activate(h.Form.get());
    auto* edit = new TEdit(h.Form.get());
    edit->SetParent(h.Sheets[0]);
    h.Pages->SetActivePage(h.Sheets[0]);
    edit->SetFocus();
    ASSERT_EQ(h.Form->ActiveControl(), edit);
    edit->OnExit = [edit](TObject*) { edit->SetFocus(); };
    h.Pages->SetActivePage(h.Sheets[1]);
    EXPECT_EQ(h.Pages->ActivePage(), h.Sheets[0]);
    EXPECT_TRUE(h.Sheets[0]->Visible());
    EXPECT_FALSE(h.Sheets[1]->Visible());
    EXPECT_EQ(h.Pages->TabIndex(), 0);
}

TEST(KWPageControl, RemovingTheActivePageActivatesTheNextWithAVisibleTab) {
    TPagesHost h(4);
    h.Sheets[0]->SetTabVisible(false);
    h.Pages->SetActivePage(h.Sheets[3]);
    h.Sheets[3]->SetPageControl(nullptr);   // wraps past the end, skips A
    EXPECT_EQ(h.Pages->ActivePage(), h.Sheets[1]);
    EXPECT_FALSE(h.Sheets[3]->Visible());
    EXPECT_EQ(h.Sheets[3]->PageControl(), nullptr);
    EXPECT_EQ(h.TabCaptions(), L"BC");

    h.Sheets[2]->SetTabVisible(false);
    h.Sheets[1]->SetPageControl(nullptr);   // only hidden tabs remain
    EXPECT_EQ(h.Pages->ActivePage(), nullptr);
}

TEST(KWPageControl, TabIndexAndClicksSelectThePageOfTheTab) {
    TPagesHost h(3);
    h.Sheets[1]->SetTabVisible(false);   // tabs: A C
    h.Pages->SetActivePage(h.Sheets[0]);
    EXPECT_EQ(h.TabCaptions(), L"AC");
    h.Pages->SetTabIndex(1);
    EXPECT_EQ(h.Pages->ActivePage(), h.Sheets[2]);

    h.Pages->SetActivePage(h.Sheets[0]);
    int changes = 0;
    std::vector<int32_t> clicks;
    h.Pages->OnChange = [&](TObject*) { ++changes; };
    h.Pages->OnTabClick = [&](TObject*, int32_t i) { clicks.push_back(i); };
    POINT p = h.CentreOf(1);
    ClickAt(h.Pages->Handle(), p.x, p.y);
    EXPECT_EQ(h.Pages->ActivePage(), h.Sheets[2]);
    EXPECT_EQ(h.Pages->TabIndex(), 1);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(clicks, (std::vector<int32_t>{1}));
}

TEST(KWPageControl, OnTabDeleteNamesTheDeletedTab) {
    TPagesHost h(3);
    h.Pages->SetActivePage(h.Sheets[0]);
    std::vector<int32_t> deleted;
    h.Pages->OnTabDelete = [&](TObject*, int32_t i) { deleted.push_back(i); };
    h.Sheets[2]->SetTabVisible(false);
    h.Sheets[1]->SetTabVisible(false);
    EXPECT_EQ(deleted, (std::vector<int32_t>{2, 1}));
    EXPECT_EQ(h.Pages->ActivePage(), h.Sheets[0]);

    // Hiding the active page's tab selects the tab now at its place.
    h.Sheets[1]->SetTabVisible(true);
    h.Pages->SetActivePage(h.Sheets[0]);
    h.Sheets[0]->SetTabVisible(false);
    EXPECT_EQ(h.Pages->ActivePage(), h.Sheets[1]);
    EXPECT_EQ(h.Pages->TabIndex(), 0);
}

TEST(KWPageControl, CtrlTabCyclesThroughVisibleTabs) {
    TPagesHost h(4, true);
    Activate(h.Form.get());
    h.Sheets[0]->SetTabVisible(false);
    h.Pages->SetActivePage(h.Sheets[3]);
    h.Pages->SetFocus();
    Application->ProcessMessages();
    ASSERT_EQ(GetFocus(), h.Pages->Handle());
    int changes = 0;
    h.Pages->OnChange = [&](TObject*) { ++changes; };
    auto press = [&](bool shift) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(keys);
        PostMessageW(h.Pages->Handle(), WM_KEYDOWN, VK_TAB, 1);
        Application->ProcessMessages();
        keys[VK_CONTROL] = 0;
        keys[VK_SHIFT] = 0;
        SetKeyboardState(keys);
    };
    press(false);
    EXPECT_EQ(h.Pages->ActivePage(), h.Sheets[1]);   // wraps, skips the hidden tab of A
    EXPECT_EQ(changes, 1);
    press(true);
    EXPECT_EQ(h.Pages->ActivePage(), h.Sheets[3]);
    EXPECT_EQ(changes, 2);
    h.Pages->OnChanging = [](TObject*, bool& allow) { allow = false; };
    press(false);
    EXPECT_EQ(h.Pages->ActivePage(), h.Sheets[3]);
}

TEST(KWPageControl, FindNextPageWrapsAndChecksTabs) {
    TPagesHost h(3);
    h.Sheets[1]->SetTabVisible(false);
    EXPECT_EQ(h.Pages->FindNextPage(h.Sheets[0], true, true), h.Sheets[2]);
    EXPECT_EQ(h.Pages->FindNextPage(h.Sheets[0], true, false), h.Sheets[1]);
    EXPECT_EQ(h.Pages->FindNextPage(h.Sheets[0], false, true), h.Sheets[2]);
    EXPECT_EQ(h.Pages->FindNextPage(nullptr, true, true), h.Sheets[0]);
    EXPECT_EQ(h.Pages->FindNextPage(nullptr, false, true), h.Sheets[2]);
    TKWPageControl empty(nullptr);
    EXPECT_EQ(empty.FindNextPage(nullptr, true, true), nullptr);
}

TEST(KWPageControl, HideAllTabRemembersStyleAndPosition) {
    TPagesHost h(3);
    h.Pages->SetStyle(tsButtons);
    h.Pages->SetHideAllTab(true);
    EXPECT_EQ(h.Pages->Style(), tsTabs);
    EXPECT_EQ(h.Pages->TabPosition(), tpBottom);
    EXPECT_EQ(h.Pages->Tabs()->GetCount(), 0);
    for (auto* s : h.Sheets) EXPECT_FALSE(s->TabVisible());
    auto* late = h.AddSheet(L"L");
    EXPECT_FALSE(late->TabVisible());
    h.Pages->SetStyle(tsFlatButtons);   // only remembered
    EXPECT_EQ(h.Pages->Style(), tsTabs);
    h.Pages->SetHideAllTab(false);
    EXPECT_EQ(h.Pages->Style(), tsFlatButtons);
    EXPECT_EQ(h.Pages->TabPosition(), tpTop);
    EXPECT_EQ(h.TabCaptions(), L"ABCL");
}

TEST(KWPageControl, PageIndexMovesPagesAndTabs) {
    TPagesHost h(3);
    h.Sheets[2]->SetPageIndex(0);
    EXPECT_EQ(h.TabCaptions(), L"CAB");
    EXPECT_EQ(h.Pages->GetPage(0), h.Sheets[2]);
    try {
        h.Sheets[0]->SetPageIndex(5);
        FAIL() << "no error";
    } catch (EListError& e) {
        EXPECT_EQ(e.Message(), L"PageIndex には 5 を設定できません。PageIndex は 0 から 2 までの値でなければなりません。");
    }
    EXPECT_EQ(h.TabCaptions(), L"CAB");
    h.Sheets[1]->SetTabVisible(false);
    h.Sheets[1]->SetPageIndex(0);   // a page without a tab moves alone
    EXPECT_EQ(h.TabCaptions(), L"CA");
    EXPECT_EQ(h.Pages->GetPage(0), h.Sheets[1]);
    h.Sheets[0]->SetCaption(L"a");
    EXPECT_EQ(h.TabCaptions(), L"Ca");
}

TEST(KWPageControl, EnabledStateGoesToPagesAndTheirControls) {
    TPagesHost h(2);
    auto* edit = new TEdit(h.Form.get());
    edit->SetParent(h.Sheets[0]);
    h.Pages->SetEnabled(false);
    EXPECT_FALSE(h.Sheets[0]->Enabled());
    EXPECT_FALSE(h.Sheets[1]->Enabled());
    EXPECT_FALSE(edit->Enabled());
    EXPECT_TRUE(IsWindowEnabled(h.Pages->Handle()));   // the strip keeps taking input
    h.Pages->SetEnabled(true);
    EXPECT_TRUE(edit->Enabled());

    h.Sheets[0]->SetChildControlEnabled(false);
    h.Sheets[0]->SetEnabled(false);
    EXPECT_TRUE(edit->Enabled());
    h.Sheets[0]->SetChildControlEnabled(true);
    EXPECT_FALSE(edit->Enabled());
}

TEST(KWPageControl, ErrorsInShowHandlersDoNotStopTheChange) {
    TPagesHost h(2);
    h.Pages->SetActivePage(h.Sheets[0]);
    std::vector<std::wstring> shown;
    auto old = Application->OnException;
    Application->OnException = [&](TObject*, Exception& e) { shown.push_back(e.Message()); };
    h.Sheets[1]->OnShow = [](TObject*) { throw Exception(L"show failed"); };
    h.Sheets[0]->OnHide = [](TObject*) { throw Exception(L"hide failed"); };
    h.Pages->SetActivePage(h.Sheets[1]);
    Application->OnException = old;
    EXPECT_EQ(h.Pages->ActivePage(), h.Sheets[1]);
    EXPECT_EQ(shown, (std::vector<std::wstring>{L"show failed", L"hide failed"}));
}

TEST(KWPageControl, SheetColourFillsItsBackground) {
    TPagesHost h(1);
    h.Pages->SetActivePage(h.Sheets[0]);
    h.Sheets[0]->Colors()->SetColor(clMaroon);
    TBitmap bmp;
    RenderControl(h.Pages, bmp);
    const RECT r = h.Sheets[0]->BoundsRect();
    EXPECT_TRUE(AllPixels(bmp, RECT{r.left, r.top, r.left + 20, r.top + 20}, clMaroon));
    EXPECT_EQ(PixelOf(bmp, r.right - 1, r.bottom - 1), clMaroon);
}

TEST(KWPageControl, OwnerDrawnTabsUseTheSheetColoursAndKeepTheCaption) {
    TPagesHost h(2);
    h.Pages->SetCloseBtn(true);
    EXPECT_TRUE(h.Pages->OwnerDraw());
    h.Sheets[0]->SetCaption(L" A ");
    for (auto* s : h.Sheets) {
        s->Colors()->SetActiveFill1(clRed);
        s->Colors()->SetInActivefill1(clBlue);
    }
    h.Pages->SetActivePage(h.Sheets[1]);
    TBitmap bmp;
    RenderControl(h.Pages, bmp);
    RenderControl(h.Pages, bmp);
    EXPECT_EQ(h.Sheets[0]->Caption(), L" A ");
    EXPECT_EQ(h.Pages->Tabs()->GetStrings(0), L" A ");
    RECT r0 = h.Pages->TabRect(0), r1 = h.Pages->TabRect(1);
    EXPECT_EQ(PixelOf(bmp, r0.left + 2, r0.top + 2), clBlue);
    EXPECT_EQ(PixelOf(bmp, r1.left + 2, r1.top + 2), clRed);
    // The close button: a 12 x 12 box 4 pixels from the tab's end, drawn in the tab's fill.
    RECT box = h.Pages->GetCloseBtnRect(1);
    EXPECT_EQ(box.right - box.left, 12);
    EXPECT_EQ(box.bottom - box.top, 12);
    EXPECT_EQ(box.right, r1.right - 4);
    EXPECT_EQ(box.top, r1.top + (r1.bottom - r1.top - 12) / 2);
    h.Pages->SetSmallCloseBtn(false);
    RECT large = h.Pages->GetCloseBtnRect(1);
    EXPECT_EQ(large.left, std::max<LONG>(r1.right - 20, r1.left));
    EXPECT_EQ(large.right, r1.right);
    EXPECT_EQ(large.top, r1.top);
}

// 256 strips, strip k from left + k x w / 256, colour from + k x (to - from) / 255.
TEST(KWGradientFill, StripsLeftToRightAndTopToBottom) {
    TBitmap bmp;
    MakeCanvasBitmap(bmp, 320, 20, clBlack);
    KWGradientFill(bmp.Canvas(), RECT{10, 0, 310, 10}, RGB(0, 255, 10), RGB(255, 0, 20), 0);
    const std::vector<std::pair<int32_t, int32_t>> stripOfX = {{10, 0}, {11, 1}, {12, 2}, {160, 128}, {299, 247}, {309, 255}};
    for (auto [x, k] : stripOfX) {
        EXPECT_EQ(PixelOf(bmp, x, 5), (TColor)RGB(k, 255 - k, 10 + k * 10 / 255)) << x;
        EXPECT_EQ(PixelOf(bmp, x, 15), clBlack) << x;
    }
    EXPECT_EQ(PixelOf(bmp, 9, 5), clBlack);
    EXPECT_EQ(PixelOf(bmp, 310, 5), clBlack);

    TBitmap tall;
    MakeCanvasBitmap(tall, 4, 512, clBlack);
    KWGradientFill(tall.Canvas(), RECT{0, 0, 4, 512}, RGB(200, 0, 0), RGB(0, 0, 0), 1);
    for (int32_t k : {0, 1, 100, 255}) {
        EXPECT_EQ(PixelOf(tall, 2, 2 * k), (TColor)RGB(200 - k * 200 / 255, 0, 0)) << k;
        EXPECT_EQ(PixelOf(tall, 2, 2 * k + 1), PixelOf(tall, 2, 2 * k)) << k;
    }
}

TEST(KWPageControl, TabGradientRunsAcrossTheTab) {
    TPagesHost h(2);
    h.Pages->SetOwnerDraw(true);
    h.Pages->SetTabFillGradient(true);
    for (auto* s : h.Sheets) {
        s->Colors()->SetActiveFill2(RGB(0, 0, 0));
        s->Colors()->SetActiveFill1(RGB(255, 0, 0));
        s->SetCaption(L"");
    }
    h.Pages->SetActivePage(h.Sheets[0]);
    TBitmap bmp;
    RenderControl(h.Pages, bmp);
    RECT r = h.Pages->TabRect(0);
    const int32_t y = (r.top + r.bottom) / 2;
    int32_t previous = -1;
    for (int32_t x = r.left + 3; x < r.right - 3; ++x) {
        const int32_t red = PixelOf(bmp, x, y) & 0xFF;
        EXPECT_GE(red, previous) << x;
        previous = red;
    }
    EXPECT_LT(PixelOf(bmp, r.left + 3, y) & 0xFF, 40);
    EXPECT_GT(PixelOf(bmp, r.right - 4, y) & 0xFF, 215);
}

TEST(KWPageControl, CloseButtonTakesThePageOutWhenAllowed) {
    TPagesHost h(2);
    h.Pages->SetCloseBtn(true);
    h.Pages->SetActivePage(h.Sheets[1]);
    std::vector<int32_t> asked;
    bool allow = false;
    h.Pages->OnTabClose = [&](TObject*, int32_t i, bool& can) {
        asked.push_back(i);
        can = allow;
    };
    RECT box = h.Pages->GetCloseBtnRect(1);
    const int32_t x = (box.left + box.right) / 2, y = (box.top + box.bottom) / 2;
    ClickAt(h.Pages->Handle(), x, y);
    EXPECT_EQ(h.Sheets[1]->PageControl(), h.Pages);
    allow = true;
    ClickAt(h.Pages->Handle(), x, y);
    EXPECT_EQ(asked, (std::vector<int32_t>{1, 1}));
    EXPECT_EQ(h.Sheets[1]->PageControl(), nullptr);   // out, not destroyed
    EXPECT_EQ(h.Sheets[1]->Caption(), L"B");
    EXPECT_EQ(h.TabCaptions(), L"A");

    // With OnMouseDown assigned, it alone runs.
    int downs = 0;
    h.Pages->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int32_t, int32_t) { ++downs; };
    RECT b0 = h.Pages->GetCloseBtnRect(0);
    ClickAt(h.Pages->Handle(), (b0.left + b0.right) / 2, (b0.top + b0.bottom) / 2);
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(h.Sheets[0]->PageControl(), h.Pages);
}

TEST(KWPageControl, DraggingATabReordersThePages) {
    TPagesHost h(3);
    h.Pages->SetTabDragDrop(true);
    h.Pages->SetActivePage(h.Sheets[0]);
    POINT from = h.CentreOf(0), to = h.CentreOf(2);
    SendMessageW(h.Pages->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
    SendMessageW(h.Pages->Handle(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x, to.y));
    SendMessageW(h.Pages->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
    EXPECT_EQ(h.TabCaptions(), L"BCA");
    EXPECT_EQ(h.Sheets[0]->PageIndex(), 2);

    bool refused = false;
    h.Pages->OnDragOver = [&](TObject*, TObject*, int32_t, int32_t, bool& accept) {
        accept = false;
        refused = true;
    };
    from = h.CentreOf(2);
    to = h.CentreOf(0);
    SendMessageW(h.Pages->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(from.x, from.y));
    SendMessageW(h.Pages->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(to.x, to.y));
    EXPECT_TRUE(refused);
    EXPECT_EQ(h.TabCaptions(), L"BCA");
}

TEST(KWPageControl, DockedFormsBecomePages) {
    TPagesHost h(1, true);
    auto* docked = new TForm(h.Form.get());
    docked->SetCaption(L"Dock me\r\nsecond line");
    auto* edit = new TEdit(docked);
    edit->SetParent(docked);
    EXPECT_TRUE(h.Pages->IsDockSiteFor(docked));

    h.Pages->DockForm(docked);   // hidden form: a page without a tab
    TKWTabSheet* sheet = h.Pages->SheetOfForm(docked);
    ASSERT_NE(sheet, nullptr);
    EXPECT_FALSE(h.Pages->IsDockSiteFor(docked));
    EXPECT_EQ(sheet->Caption(), L"Dock me");
    EXPECT_EQ(docked->Parent(), sheet);
    EXPECT_EQ(docked->Align(), alClient);
    EXPECT_FALSE(sheet->TabVisible());
    EXPECT_EQ(h.Pages->ActivePage(), h.Sheets[0]);

    docked->SetVisible(true);   // its visibility sets the tab
    EXPECT_TRUE(sheet->TabVisible());
    EXPECT_EQ(h.TabCaptions(), L"ADock me");
    h.Pages->SetActivePage(sheet);
    Application->ProcessMessages();
    EXPECT_EQ(GetParent(docked->Handle()), sheet->Handle());
    docked->SetCaption(L"Renamed");
    EXPECT_EQ(sheet->Caption(), L"Renamed");
    EXPECT_EQ(h.TabCaptions(), L"ARenamed");

    h.Pages->UndockForm(docked, h.Form.get());
    EXPECT_EQ(docked->Parent(), h.Form.get());
    EXPECT_EQ(h.Pages->SheetOfForm(docked), nullptr);
    EXPECT_EQ(h.Pages->GetPageCount(), 1);
    EXPECT_EQ(h.Pages->ActivePage(), h.Sheets[0]);
    EXPECT_EQ(h.TabCaptions(), L"A");
}

TEST(KWPageControl, AVisibleDockedFormIsShownAndAFreedOneTakesItsPage) {
    TPagesHost h(1);
    auto* docked = new TForm(nullptr);
    docked->SetCaption(L"Tool");
    docked->SetVisible(true);
    h.Pages->DockForm(docked);
    TKWTabSheet* sheet = h.Pages->SheetOfForm(docked);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(h.Pages->ActivePage(), sheet);
    EXPECT_EQ(h.Pages->GetPageCount(), 2);
    delete docked;
    EXPECT_EQ(h.Pages->GetPageCount(), 1);
    EXPECT_EQ(h.TabCaptions(), L"A");
}
