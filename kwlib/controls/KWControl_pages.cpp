// KWControl: the page control, its tab sheets and their colours.
#include <algorithm>

#include "Forms.h"
#include "KWCommonLib.h"
#include "KWControl.h"
#include "Themes.h"

namespace {

const wchar_t kPageIndexError[] =
    L"PageIndex には %d を設定できません。PageIndex は 0 から %d までの値でなければなりません。";

// Sets a flag for the length of a scope.
class TFlagScope {
public:
    explicit TFlagScope(bool& AFlag) : FFlag(AFlag), FOld(AFlag) { FFlag = true; }
    ~TFlagScope() { FFlag = FOld; }

private:
    bool& FFlag;
    bool FOld;
};

// The text up to its first line break.
std::wstring FirstLine(const std::wstring& AText) { return AText.substr(0, AText.find_first_of(L"\r\n")); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// TKWTabColors
// ---------------------------------------------------------------------------------------------

void TKWTabColors::Assign(const TPersistent* Source) {
    auto* s = dynamic_cast<const TKWTabColors*>(Source);
    if (!s) {
        TPersistent::Assign(Source);
        return;
    }
    if (s == this) return;
    FActiveFontColor = s->FActiveFontColor;
    FInActiveFontColor = s->FInActiveFontColor;
    FActiveFill1 = s->FActiveFill1;
    FActiveFill2 = s->FActiveFill2;
    FInActivefill1 = s->FInActivefill1;
    FInActivefill2 = s->FInActivefill2;
    SetColor(s->FColor);
    if (FSheet && FSheet->PageControl()) FSheet->PageControl()->Invalidate();
}

void TKWTabColors::SetColor(TColor AValue) {
    if (FColor == AValue) return;
    FColor = AValue;
    if (FSheet) FSheet->Invalidate();
}

void TKWTabColors::SetTabColor(TColor& AField, TColor AValue) {
    if (AField == AValue) return;
    AField = AValue;
    if (FSheet && FSheet->PageControl()) FSheet->PageControl()->Invalidate();
}

void TKWTabColors::SetActiveFontColor(TColor AValue) { SetTabColor(FActiveFontColor, AValue); }
void TKWTabColors::SetInActiveFontColor(TColor AValue) { SetTabColor(FInActiveFontColor, AValue); }
void TKWTabColors::SetActiveFill1(TColor AValue) { SetTabColor(FActiveFill1, AValue); }
void TKWTabColors::SetActiveFill2(TColor AValue) { SetTabColor(FActiveFill2, AValue); }
void TKWTabColors::SetInActivefill1(TColor AValue) { SetTabColor(FInActivefill1, AValue); }
void TKWTabColors::SetInActivefill2(TColor AValue) { SetTabColor(FInActivefill2, AValue); }

// ---------------------------------------------------------------------------------------------
// TKWTabSheet
// ---------------------------------------------------------------------------------------------

TKWTabSheet::TKWTabSheet(TComponent* AOwner) : TWinControl(AOwner), FColors(new TKWTabColors(this)) {
    ControlStyle = csAcceptsControls | csParentBackground;
    FVisible = false;
    SetAlign(alClient);
}

TKWTabSheet::~TKWTabSheet() {
    if (FPageControl) FPageControl->RemovePage(this);
}

void TKWTabSheet::SetPageControl(TKWPageControl* APageControl) {
    if (FPageControl == APageControl) return;
    if (FPageControl) FPageControl->RemovePage(this);
    TWinControl::SetParent(APageControl);
    if (APageControl) APageControl->InsertPage(this);
}

void TKWTabSheet::SetParent(TWinControl* AParent) {
    if (auto* pc = dynamic_cast<TKWPageControl*>(AParent)) {
        SetPageControl(pc);
        return;
    }
    if (FPageControl) FPageControl->RemovePage(this);
    TWinControl::SetParent(AParent);
}

void TKWTabSheet::SetTabVisible(bool AValue) {
    if (FTabVisible == AValue) return;
    FTabVisible = AValue;
    UpdateTabShowing();
}

void TKWTabSheet::UpdateTabShowing() { SetTabShowing(FPageControl && FTabVisible); }

void TKWTabSheet::SetTabShowing(bool AValue) {
    if (FTabShowing == AValue) return;
    if (AValue) {
        FTabShowing = true;
        FPageControl->InsertTab(this);
    } else {
        const int32_t index = TabIndex();
        FTabShowing = false;
        FPageControl->DeleteTab(this, index);
    }
}

int32_t TKWTabSheet::TabIndex() const {
    if (!FTabShowing || !FPageControl) return -1;
    int32_t index = 0;
    for (TKWTabSheet* p : FPageControl->FPages) {
        if (p == this) return index;
        if (p->FTabShowing) ++index;
    }
    return -1;
}

int32_t TKWTabSheet::PageIndex() const {
    if (!FPageControl) return -1;
    auto& pages = FPageControl->FPages;
    auto it = std::find(pages.begin(), pages.end(), this);
    return it == pages.end() ? -1 : (int32_t)(it - pages.begin());
}

void TKWTabSheet::SetPageIndex(int32_t AValue) {
    if (!FPageControl) return;
    const int32_t maxIndex = FPageControl->GetPageCount() - 1;
    if (AValue > maxIndex || AValue < 0) throw EListError(Format(kPageIndexError, AValue, maxIndex));
    const int32_t oldTab = TabIndex();
    auto& pages = FPageControl->FPages;
    pages.erase(pages.begin() + PageIndex());
    pages.insert(pages.begin() + AValue, this);
    if (oldTab >= 0) FPageControl->MoveTab(oldTab, TabIndex());
}

void TKWTabSheet::SetHighlighted(bool AValue) {
    FHighlighted = AValue;
    if (FTabShowing && FPageControl && FPageControl->HandleAllocated())
        SendMessageW(FPageControl->Handle(), TCM_HIGHLIGHTITEM, (WPARAM)TabIndex(), MAKELPARAM(AValue ? 1 : 0, 0));
}

void TKWTabSheet::SetImageIndex(int32_t AValue) {
    if (FImageIndex == AValue) return;
    FImageIndex = AValue;
    if (FTabShowing && FPageControl) FPageControl->Tabs()->SetStrings(TabIndex(), Caption());
}

void TKWTabSheet::SetChildControlEnabled(bool AValue) {
    if (FChildControlEnabled == AValue) return;
    FChildControlEnabled = AValue;
    if (AValue) KWSetChildrenEnabled(this);
}

void TKWTabSheet::CMEnabledChanged(TMessage& Message) {
    TWinControl::CMEnabledChanged(Message);
    if (FChildControlEnabled) KWSetChildrenEnabled(this);
    Invalidate();
    if (FPageControl) FPageControl->Invalidate();
}

void TKWTabSheet::CMVisibleChanged(TMessage& Message) {
    TWinControl::CMVisibleChanged(Message);
    if (FVisible) DoShow();
    else DoHide();
}

void TKWTabSheet::DoShow() {
    if (!OnShow) return;
    try {
        OnShow(this);
    } catch (...) {
        Application->HandleException(this);
    }
}

void TKWTabSheet::DoHide() {
    if (!OnHide) return;
    try {
        OnHide(this);
    } catch (...) {
        Application->HandleException(this);
    }
}

void TKWTabSheet::CMTextChanged(TMessage&) {
    if (FTabShowing && FPageControl) FPageControl->Tabs()->SetStrings(TabIndex(), Caption());
}

void TKWTabSheet::WMEraseBkgnd(TMessage& Message) {
    if (FColors->Color() == clNone) {
        TWinControl::WMEraseBkgnd(Message);
        return;
    }
    HBRUSH brush = CreateSolidBrush((COLORREF)ColorToRGB(FColors->Color()));
    RECT r = GetClientRect();
    FillRect((HDC)Message.WParam, &r, brush);
    DeleteObject(brush);
    Message.Result = 1;
}

void TKWTabSheet::WMPrintClient(TMessage& Message) {
    if (FColors->Color() == clNone && ThemeServices()->ThemesEnabled() && HandleAllocated())
        ThemeServices()->DrawParentBackground(FHandle, (HDC)Message.WParam, nullptr);
    TWinControl::WMPrintClient(Message);
}

void TKWTabSheet::CMShowingChanged(TMessage& Message) {
    TWinControl::CMShowingChanged(Message);
    if (FPageControl && Showing()) FPageControl->BindDockedWindows();
}

void TKWTabSheet::AlignControls(TControl* AControl, RECT& Rect) {
    TWinControl::AlignControls(AControl, Rect);
    if (FPageControl) FPageControl->CheckDockedForms();
}

// ---------------------------------------------------------------------------------------------
// TKWPageControl
// ---------------------------------------------------------------------------------------------

TKWPageControl::TKWPageControl(TComponent* AOwner) : TKWCustomTabControl(AOwner) {}

TKWPageControl::~TKWPageControl() {
    for (auto& d : FDocked) {
        d.Form->RemoveFreeNotification(this);
        UnbindDockedWindow(d);
    }
    FDocked.clear();
    for (TKWTabSheet* p : FPages) {
        p->FPageControl = nullptr;
        p->FTabShowing = false;
    }
    FPages.clear();
    FActivePage = nullptr;
}

TKWTabSheet* TKWPageControl::GetPage(int32_t AIndex) const {
    if (AIndex < 0 || AIndex >= GetPageCount()) throw EListError(Format(SListIndexError, AIndex));
    return FPages[(size_t)AIndex];
}

TKWTabSheet* TKWPageControl::PageOfTab(int32_t ATabIndex) const {
    if (ATabIndex < 0) return nullptr;
    int32_t index = 0;
    for (TKWTabSheet* p : FPages) {
        if (!p->FTabShowing) continue;
        if (index++ == ATabIndex) return p;
    }
    return nullptr;
}

void TKWPageControl::InsertPage(TKWTabSheet* APage) {
    FPages.push_back(APage);
    APage->FPageControl = this;
    APage->FTabVisible = !FHideAllTab;
    APage->UpdateTabShowing();
}

void TKWPageControl::RemovePage(TKWTabSheet* APage) {
    TKWTabSheet* next = FindNextPage(APage, true, true);
    if (next == APage) next = nullptr;
    APage->SetTabShowing(false);
    APage->FPageControl = nullptr;
    FPages.erase(std::remove(FPages.begin(), FPages.end(), APage), FPages.end());
    SetActivePage(next);
}

void TKWPageControl::InsertTab(TKWTabSheet* APage) {
    Tabs()->InsertObject(APage->TabIndex(), APage->Caption(), APage);
    UpdateActivePage();
}

// OnTabDelete hears of the tab that goes, by its own index.
void TKWPageControl::DeleteTab(TKWTabSheet* APage, int32_t AIndex) {
    if (OnTabDelete) OnTabDelete(this, AIndex);
    Tabs()->Delete(AIndex);
    if (APage == FActivePage) {
        const int32_t count = Tabs()->GetCount();
        if (AIndex >= count) AIndex = count - 1;
        TKWCustomTabControl::SetTabIndex(AIndex);
    }
    UpdateActivePage();
}

void TKWPageControl::MoveTab(int32_t ACurIndex, int32_t ANewIndex) { Tabs()->Move(ACurIndex, ANewIndex); }

void TKWPageControl::UpdateActivePage() {
    const int32_t index = TabIndex();
    SetActivePage(index >= 0 ? dynamic_cast<TKWTabSheet*>(Tabs()->GetObjects(index)) : nullptr);
}

void TKWPageControl::SetActivePage(TKWTabSheet* APage) {
    if (APage && APage->FPageControl != this) return;
    TFlagScope scope(FInSetActivePage);
    ChangeActivePage(APage);
    if (!APage) SetTabIndex(-1);
    else if (APage == FActivePage) SetTabIndex(APage->TabIndex());
}

void TKWPageControl::ChangeActivePage(TKWTabSheet* APage) {
    if (FActivePage == APage) return;
    TCustomForm* form = GetParentForm(this);
    if (form && FActivePage && FActivePage->ContainsControl(form->ActiveControl())) {
        form->SetActiveControl(FActivePage);
        if (form->ActiveControl() != FActivePage) {
            SetTabIndex(FActivePage->TabIndex());
            return;
        }
    }
    if (APage) {
        APage->BringToFront();
        if (APage->HandleAllocated())
            SetWindowPos(APage->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        APage->SetVisible(true);
        if (form && FActivePage && form->ActiveControl() == FActivePage) {
            if (APage->CanFocus()) form->SetActiveControl(APage);
            else form->SetActiveControl(this);
        }
    }
    if (FActivePage) FActivePage->SetVisible(false);
    FActivePage = APage;
    if (form && FActivePage && form->ActiveControl() == FActivePage) FActivePage->SelectFirst();
}

// The tab index selects the page of that tab (hidden tabs count for nothing).
void TKWPageControl::SetTabIndex(int32_t AValue) {
    TKWCustomTabControl::SetTabIndex(AValue);
    if (FInSetActivePage) return;
    if (TKWTabSheet* page = PageOfTab(AValue)) {
        if (page->TabVisible()) SetActivePage(page);
    }
}

void TKWPageControl::Change() {
    UpdateActivePage();
    TKWCustomTabControl::Change();
}

TKWTabSheet* TKWPageControl::FindNextPage(TKWTabSheet* ACurrent, bool AGoForward, bool ACheckTabVisible) {
    const int32_t count = GetPageCount();
    if (count == 0) return nullptr;
    auto it = std::find(FPages.begin(), FPages.end(), ACurrent);
    const int32_t start = it == FPages.end() ? (AGoForward ? count - 1 : 0) : (int32_t)(it - FPages.begin());
    int32_t i = start;
    do {
        if (AGoForward) {
            if (++i == count) i = 0;
        } else {
            if (i == 0) i = count;
            --i;
        }
        TKWTabSheet* page = FPages[(size_t)i];
        if (!ACheckTabVisible || page->TabVisible()) return page;
    } while (i != start);
    return nullptr;
}

void TKWPageControl::SelectNextPage(bool AGoForward, bool ACheckTabVisible) {
    TKWTabSheet* page = FindNextPage(FActivePage, AGoForward, ACheckTabVisible);
    if (!page || page == FActivePage || !CanChange()) return;
    SetActivePage(page);
    TKWCustomTabControl::Change();
}

void TKWPageControl::SetStyle(TKWTabStyle AValue) {
    if (FHideAllTab) {
        FSavedStyle = AValue;
        return;
    }
    TKWCustomTabControl::SetStyle(AValue);
}

void TKWPageControl::SetHideAllTab(bool AValue) {
    if (FHideAllTab == AValue) return;
    if (AValue) {
        FSavedStyle = Style();
        FSavedTabPosition = TabPosition();
        TKWCustomTabControl::SetStyle(tsTabs);
        SetTabPosition(tpBottom);
        FHideAllTab = true;
        for (TKWTabSheet* p : std::vector<TKWTabSheet*>(FPages)) p->SetTabVisible(false);
    } else {
        FHideAllTab = false;
        SetTabPosition(FSavedTabPosition);
        TKWCustomTabControl::SetStyle(FSavedStyle);
        for (TKWTabSheet* p : std::vector<TKWTabSheet*>(FPages)) p->SetTabVisible(true);
    }
}

void TKWPageControl::SetChildControlEnabled(bool AValue) {
    if (FChildControlEnabled == AValue) return;
    FChildControlEnabled = AValue;
    if (AValue) KWSetChildrenEnabled(this);
}

bool TKWPageControl::CanShowTab(int32_t AIndex) {
    TKWTabSheet* page = PageOfTab(AIndex);
    return page && page->Enabled();
}

int32_t TKWPageControl::GetImageIndex(int32_t AIndex) {
    if (OnGetImageIndex) return TKWCustomTabControl::GetImageIndex(AIndex);
    int32_t visible = 0;
    for (TKWTabSheet* p : FPages) {
        if (!p->TabVisible()) continue;
        if (visible++ == AIndex) return p->ImageIndex();
    }
    return -1;
}

void TKWPageControl::ShowControl(TControl* AControl) {
    auto* sheet = dynamic_cast<TKWTabSheet*>(AControl);
    if (sheet && sheet->FPageControl == this) SetActivePage(sheet);
    TKWCustomTabControl::ShowControl(AControl);
}

// The enabled state goes to the pages; the strip itself keeps taking input.
void TKWPageControl::CMEnabledChanged(TMessage&) {
    if (FChildControlEnabled) KWSetChildrenEnabled(this);
    Invalidate();
}

void TKWPageControl::WMEraseBkgnd(TMessage& Message) {
    if (DisableEraseBkGnd || (ThemeServices()->ThemesEnabled() && ParentBackground())) {
        Message.Result = 1;
        return;
    }
    TKWCustomTabControl::WMEraseBkgnd(Message);
}

void TKWPageControl::CMDialogKey(TMessage& Message) {
    HWND focus = GetFocus();
    if (HandleAllocated() && (focus == FHandle || IsChild(FHandle, focus)) && Message.WParam == VK_TAB &&
        GetKeyState(VK_CONTROL) < 0) {
        SelectNextPage(GetKeyState(VK_SHIFT) >= 0, true);
        Message.Result = 1;
        return;
    }
    TKWCustomTabControl::CMDialogKey(Message);
}

// ---- Close buttons and owner-drawn tabs -------------------------------------------------------

RECT TKWPageControl::GetCloseBtnRect(int32_t AIndex) {
    RECT r = TabRect(AIndex);
    if (TabHeight() > r.bottom - r.top) r.bottom = r.top + TabHeight();
    const int32_t margin = 4, box = 12;
    switch (TabPosition()) {
    case tpTop:
    case tpBottom: {
        const LONG left = std::max<LONG>(r.right - box - 2 * margin, r.left);
        if (SmallCloseBtn()) {
            const LONG top = r.top + (r.bottom - r.top - box) / 2;
            return RECT{left + margin, top, left + margin + box, top + box};
        }
        return RECT{left, r.top, r.right, r.bottom};
    }
    case tpLeft:
        if (SmallCloseBtn()) return RECT{r.left + margin, r.bottom - 16, r.left + margin + box, r.bottom - 16 + box};
        return RECT{r.left, r.top, r.right, r.top + 20};
    case tpRight:
        if (SmallCloseBtn()) return RECT{r.right - 16, r.bottom - 16, r.right - 16 + box, r.bottom - 16 + box};
        return RECT{r.left, r.bottom - 20, r.right, r.bottom};
    }
    return r;
}

// The tab's caption as drawn: trimmed, with room for the close button. The sheet's caption
// itself is left as it is.
void TKWPageControl::DrawTab(int32_t AIndex, const RECT& ARect, bool AActive) {
    TKWTabSheet* page = PageOfTab(AIndex);
    if (!page) {
        TKWCustomTabControl::DrawTab(AIndex, ARect, AActive);
        return;
    }
    TCanvas* c = Canvas();
    TKWTabColors* colors = page->Colors();
    const TColor fill = AActive ? colors->ActiveFill1() : colors->InActivefill1();
    c->Brush()->SetStyle(bsSolid);
    c->Brush()->SetColor(fill);
    c->SetFont(page->Font());
    const TKWTabPosition position = TabPosition();
    const bool sideways = position == tpLeft || position == tpRight;
    if (!TabFillGradient() || HotTrack()) {
        c->FillRect(ARect);
    } else {
        RECT g = ARect;
        if (AActive) {
            InflateRect(&g, -1, 0);
            KWGradientFill(c, g, colors->ActiveFill2(), colors->ActiveFill1(), sideways ? 1 : 0);
        } else {
            switch (position) {
            case tpTop: InflateRect(&g, -1, 1); OffsetRect(&g, 0, 1); break;
            case tpBottom: InflateRect(&g, -1, 1); OffsetRect(&g, 0, -1); break;
            case tpLeft: InflateRect(&g, 1, 0); OffsetRect(&g, 1, 0); break;
            case tpRight: InflateRect(&g, 1, 0); OffsetRect(&g, -1, 0); break;
            }
            KWGradientFill(c, g, colors->InActivefill1(), colors->InActivefill2(), sideways ? 1 : 0);
        }
    }
    c->Font()->SetColor(AActive ? colors->ActiveFontColor() : colors->InActiveFontColor());
    c->Brush()->SetStyle(bsClear);

    RECT t = ARect;
    int imageW = 0, imageH = 0;
    if (Images()) ImageList_GetIconSize(Images(), &imageW, &imageH);
    if (Images()) {
        switch (position) {
        case tpTop:
        case tpBottom: t.left += imageW + 5; break;
        case tpLeft: t.bottom -= imageH + 5; break;
        case tpRight: t.top += imageH + 5; break;
        }
    }
    std::wstring text = KWTrim(page->Caption());
    if (CloseBtn()) text += L"     ";

    POINT pos{0, 0};
    SIZE size{0, 0};
    DrawTabText(t, text, AActive, pos, size);

    if (Images()) {
        HDC dc = c->Handle();
        switch (position) {
        case tpTop:
        case tpBottom:
            ImageList_Draw(Images(), page->ImageIndex(), dc, pos.x - imageW - 5, pos.y - 2, ILD_NORMAL);
            break;
        case tpLeft:
            ImageList_Draw(Images(), page->ImageIndex(), dc, pos.x + (AActive ? 0 : 2), pos.y + size.cx + 5, ILD_NORMAL);
            break;
        case tpRight:
            ImageList_Draw(Images(), page->ImageIndex(), dc, pos.x - (AActive ? 0 : 2), pos.y - imageH - 5, ILD_NORMAL);
            break;
        }
    }
    if (CloseBtn()) {
        RECT box = GetCloseBtnRect(AIndex);
        c->Brush()->SetStyle(bsSolid);
        c->Brush()->SetColor(fill);
        c->FillRect(box);
        const bool hot = FCloseHot && AIndex == TabIndex();
        DrawFrameControl(c->Handle(), &box, DFC_CAPTION, DFCS_CAPTIONCLOSE | DFCS_FLAT | (hot ? DFCS_HOT : 0));
    }
}

void TKWPageControl::DrawTabText(const RECT& ATextRect, const std::wstring& AText, bool AActive, POINT& ATextPos,
                                 SIZE& ATextSize) {
    TCanvas* c = Canvas();
    ATextSize = c->TextExtent(AText);
    const int32_t tw = ATextSize.cx, th = ATextSize.cy;
    const int32_t rw = ATextRect.right - ATextRect.left, rh = ATextRect.bottom - ATextRect.top;
    const TKWTabPosition position = TabPosition();
    if (position == tpTop || position == tpBottom) {
        ATextPos.x = ATextRect.left + (rw - tw) / 2;
        ATextPos.y = ATextRect.top + (rh - th) / 2;
        if (!AActive) ATextPos.y += position == tpTop ? 2 : -2;
        c->TextRect(ATextRect, ATextPos.x, ATextPos.y, AText);
        return;
    }
    ATextPos.x = ATextRect.left + (rw - th) / 2;
    ATextPos.y = ATextRect.top + (rh - tw) / 2;
    LOGFONTW lf = c->Font()->GetLogFont();
    const int32_t angle = position == tpLeft ? 900 : 2700;
    lf.lfEscapement = angle;
    lf.lfOrientation = angle;
    lf.lfOutPrecision = OUT_TT_ONLY_PRECIS;
    HFONT turned = CreateFontIndirectW(&lf);
    HDC dc = c->Handle();
    c->TextExtent(L"");   // the canvas selects its own objects first, so they can be put back
    HGDIOBJ old = SelectObject(dc, turned);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, (COLORREF)ColorToRGB(c->Font()->Color()));
    if (position == tpLeft) ExtTextOutW(dc, ATextPos.x, ATextPos.y + tw, 0, nullptr, AText.c_str(), (UINT)AText.size(), nullptr);
    else ExtTextOutW(dc, ATextPos.x + th, ATextPos.y, 0, nullptr, AText.c_str(), (UINT)AText.size(), nullptr);
    SelectObject(dc, old);
    DeleteObject(turned);
}

// ---- Mouse, drag and drop -------------------------------------------------------------------

void TKWPageControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (OnMouseDown) {
        OnMouseDown(this, Button, Shift, X, Y);
        return;
    }
    const int32_t selected = TabIndex();
    RECT box = GetCloseBtnRect(selected);
    if (CloseBtn() && selected >= 0 && PtInRect(&box, POINT{X, Y})) {
        bool canClose = true;
        if (OnTabClose) OnTabClose(this, selected, canClose);
        if (canClose) {
            if (TKWTabSheet* page = PageOfTab(selected)) page->SetPageControl(nullptr);
        }
        return;
    }
    if (OnTabClick) OnTabClick(this, selected);
    if (TabDragDrop() && Button == mbLeft && selected >= 0) {
        FDragging = true;
        SetMouseCapture(true);
    }
}

void TKWPageControl::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
    const int32_t selected = TabIndex();
    RECT box = GetCloseBtnRect(selected);
    const bool hot = CloseBtn() && selected >= 0 && PtInRect(&box, POINT{X, Y});
    if (hot != FCloseHot) {
        FCloseHot = hot;
        if (HandleAllocated()) InvalidateRect(FHandle, &box, FALSE);
    }
    TKWCustomTabControl::MouseMove(Shift, X, Y);
}

void TKWPageControl::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    if (FDragging && Button == mbLeft) {
        FDragging = false;
        SetMouseCapture(false);
        if (DragOver(this, X, Y)) DragDrop(this, X, Y);
    }
    TKWCustomTabControl::MouseUp(Button, Shift, X, Y);
}

bool TKWPageControl::DragOver(TObject* ASource, int32_t X, int32_t Y) {
    bool accept = true;
    if (OnDragOver) OnDragOver(this, ASource, X, Y, accept);
    return accept;
}

// Dropped on a tab, the active page moves to the place of that tab's page.
void TKWPageControl::DragDrop(TObject* ASource, int32_t X, int32_t Y) {
    if (OnDragDrop) {
        OnDragDrop(this, ASource, X, Y);
        return;
    }
    if (!FActivePage) return;
    const int32_t count = Tabs()->GetCount();
    for (int32_t i = 0; i < count; ++i) {
        RECT r = TabRect(i);
        if (!PtInRect(&r, POINT{X, Y})) continue;
        if (TKWTabSheet* target = PageOfTab(i)) FActivePage->SetPageIndex(target->PageIndex());
        return;
    }
}

void TKWPageControl::DblClick() {
    TKWCustomTabControl::DblClick();
    if (!HandleAllocated()) return;
    POINT p;
    GetCursorPos(&p);
    ::ScreenToClient(FHandle, &p);
    TKWTabSheet* page = PageOfTab(IndexOfTabAt(p.x, p.y));
    if (!page) return;
    for (auto& d : FDocked) {
        if (d.Sheet == page) {
            UndockForm(d.Form, nullptr);
            return;
        }
    }
}

// ---- Docking of forms -----------------------------------------------------------------------

namespace {

const UINT_PTR kDockSubclassId = 0x4B57;   // "KW"

// Watches a docked form's window for caption changes and reports them to the page control.
LRESULT CALLBACK DockedFormProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    LRESULT result = DefSubclassProc(wnd, msg, wParam, lParam);
    if (msg == WM_SETTEXT) {
        auto* pc = reinterpret_cast<TKWPageControl*>(data);
        if (auto* form = dynamic_cast<TCustomForm*>(TWinControl::FindControl(wnd)))
            pc->DockClientChanged(form, CM_TEXTCHANGED);
    }
    return result;
}

}  // namespace

bool TKWPageControl::IsDockSiteFor(TCustomForm* AForm) const { return AForm && !SheetOfForm(AForm); }

TKWTabSheet* TKWPageControl::SheetOfForm(TCustomForm* AForm) const {
    for (auto& d : FDocked)
        if (d.Form == AForm) return d.Sheet;
    return nullptr;
}

void TKWPageControl::DockForm(TCustomForm* AForm) {
    if (!IsDockSiteFor(AForm)) return;
    std::unique_ptr<TKWTabSheet> sheet(new TKWTabSheet(this));
    FNewDockSheet = sheet.get();
    try {
        sheet->SetCaption(FirstLine(AForm->Caption()));
        sheet->SetPageControl(this);
        AForm->SetParent(sheet.get());
        AForm->SetAlign(alClient);
        sheet->SetTabVisible(AForm->Visible());
    } catch (...) {
        FNewDockSheet = nullptr;
        if (AForm->Parent() == sheet.get()) AForm->SetParent(nullptr);
        throw;
    }
    FNewDockSheet = nullptr;
    TKWTabSheet* s = sheet.release();
    FDocked.push_back(TDockedForm{AForm, s, AForm->Visible()});
    AForm->FreeNotification(this);
    if (AForm->Visible()) SetActivePage(s);
    BindDockedWindows();
}

void TKWPageControl::UndockForm(TCustomForm* AForm, TWinControl* ANewParent) {
    auto it = std::find_if(FDocked.begin(), FDocked.end(), [AForm](const TDockedForm& d) { return d.Form == AForm; });
    if (it == FDocked.end()) return;
    TDockedForm docked = *it;
    FDocked.erase(it);
    FUndockingPage = docked.Sheet;
    AForm->RemoveFreeNotification(this);
    UnbindDockedWindow(docked);
    AForm->SetAlign(alNone);
    AForm->SetParent(ANewParent);
    if (!ANewParent && AForm->Visible()) {
        // Floating again: the form shows as a window of its own.
        AForm->Hide();
        AForm->Show();
    }
    if (!Destroying()) {
        SelectNextPage(true);
        std::unique_ptr<TKWTabSheet> gone(FUndockingPage);
        FUndockingPage = nullptr;
    }
    FUndockingPage = nullptr;
}

void TKWPageControl::DockClientChanged(TCustomForm* AForm, UINT AMsg) {
    auto it = std::find_if(FDocked.begin(), FDocked.end(), [AForm](const TDockedForm& d) { return d.Form == AForm; });
    if (it == FDocked.end()) return;
    if (AMsg == CM_TEXTCHANGED) {
        it->Sheet->SetCaption(FirstLine(AForm->Caption()));
    } else if (AMsg == CM_VISIBLECHANGED) {
        it->Visible = AForm->Visible();
        it->Sheet->SetTabVisible(AForm->Visible());
    }
}

// A docked form's visibility change realigns its sheet, which brings the change here.
void TKWPageControl::CheckDockedForms() {
    for (auto& d : std::vector<TDockedForm>(FDocked)) {
        if (d.Form->Visible() != d.Visible) DockClientChanged(d.Form, CM_VISIBLECHANGED);
    }
}

// Forms make top-level windows; a docked form's window becomes a child of its sheet's window.
void TKWPageControl::BindDockedWindows() {
    for (auto& d : FDocked) {
        if (!d.Sheet->HandleAllocated() || !d.Form->HandleAllocated()) continue;
        HWND wnd = d.Form->Handle();
        const LONG style = GetWindowLongW(wnd, GWL_STYLE);
        if (GetParent(wnd) != d.Sheet->Handle() || !(style & WS_CHILD)) {
            SetWindowLongW(wnd, GWL_STYLE,
                           (style & ~(WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) |
                               WS_CHILD);
            ::SetParent(wnd, d.Sheet->Handle());
            RECT r = d.Sheet->GetClientRect();
            SetWindowPos(wnd, nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
                         SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        }
        SetWindowSubclass(wnd, DockedFormProc, kDockSubclassId, (DWORD_PTR)this);
    }
}

void TKWPageControl::UnbindDockedWindow(const TDockedForm& ADocked) {
    if (ADocked.Form->HandleAllocated()) RemoveWindowSubclass(ADocked.Form->Handle(), DockedFormProc, kDockSubclassId);
}

void TKWPageControl::Notification(TComponent* AComponent, TOperation Operation) {
    if (Operation == opRemove) {
        auto it = std::find_if(FDocked.begin(), FDocked.end(),
                               [AComponent](const TDockedForm& d) { return d.Form == AComponent; });
        if (it != FDocked.end()) {
            TKWTabSheet* sheet = it->Sheet;
            FDocked.erase(it);
            if (!Destroying()) delete sheet;
        }
    }
    TKWCustomTabControl::Notification(AComponent, Operation);
}
