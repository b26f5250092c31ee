// KWControl: the tab strip over the system tab control, and its tab strings.
#include <algorithm>

#include "Forms.h"
#include "KWCanvasAttach.h"
#include "KWControl.h"
#include "Themes.h"

namespace {

const wchar_t kTabGetError[] = L"%d 番目のタブの参照に失敗しました";
const wchar_t kTabGetObjectError[] = L"%d 番目のタブのオブジェクトの取得に失敗しました";
const wchar_t kTabSetError[] = L"%1:d 番目のタブに \"%0:s\"を設定できませんでした";
const wchar_t kTabSetObjectError[] = L"%d 番目のタブにオブジェクトを設定することができませんでした";
const wchar_t kTabDeleteError[] = L"%d 番目のタブの削除に失敗しました";
const wchar_t kTabClearError[] = L"タブの全削除に失敗しました。";
const wchar_t kMultiLineError[] = L"TabPosition が tpLeft または tpRight の時は MultiLine は True でなければなりません。";
const wchar_t kTabStyleError[] = L"TabStyle で指定された値は現在の TabPosition の状態では指定できません";
const wchar_t kTabPositionError[] = L"TabPosition で指定された値は現在の TabStyle の状態では指定できません";
const wchar_t kPropertyRangeError[] = L"プロパティ %s の範囲を超えています";

const size_t kCaptionBufferSize = 4096;

// The character after the last single "&" of a caption, upper-cased; 0 when it has none.
bool IsAccel(wchar_t AChar, const std::wstring& ACaption) {
    for (size_t i = 0; i + 1 < ACaption.size(); ++i) {
        if (ACaption[i] != L'&') continue;
        if (ACaption[i + 1] == L'&') {
            ++i;
            continue;
        }
        return CharUpperW((LPWSTR)(uintptr_t)(uint16_t)ACaption[i + 1]) == CharUpperW((LPWSTR)(uintptr_t)(uint16_t)AChar);
    }
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TKWTabStrings
// ---------------------------------------------------------------------------------------------

// The tabs live in the window while there is one or one can be made; otherwise in the saved list.
bool TKWTabStrings::Saved() const { return !FTabControl->HandleAllocated() && !FTabControl->Parent(); }

int32_t TKWTabStrings::GetCount() const {
    if (Saved()) return FTabControl->FSaveTabs ? (int32_t)FTabControl->FSaveTabs->size() : 0;
    return (int32_t)SendMessageW(FTabControl->Handle(), TCM_GETITEMCOUNT, 0, 0);
}

std::wstring TKWTabStrings::GetStrings(int32_t Index) const {
    if (Saved()) {
        if (!FTabControl->FSaveTabs || Index < 0 || Index >= (int32_t)FTabControl->FSaveTabs->size())
            throw EListError(Format(kTabGetError, Index));
        return (*FTabControl->FSaveTabs)[(size_t)Index].Caption;
    }
    std::vector<wchar_t> buffer(kCaptionBufferSize, L'\0');
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = buffer.data();
    item.cchTextMax = (int)buffer.size();
    if (!SendMessageW(FTabControl->Handle(), TCM_GETITEMW, (WPARAM)Index, (LPARAM)&item))
        throw EListError(Format(kTabGetError, Index));
    buffer.back() = L'\0';
    return std::wstring(item.pszText);
}

TObject* TKWTabStrings::GetObjects(int32_t Index) const {
    if (Saved()) {
        if (!FTabControl->FSaveTabs || Index < 0 || Index >= (int32_t)FTabControl->FSaveTabs->size())
            throw EListError(Format(kTabGetObjectError, Index));
        return (*FTabControl->FSaveTabs)[(size_t)Index].Object;
    }
    TCITEMW item{};
    item.mask = TCIF_PARAM;
    if (!SendMessageW(FTabControl->Handle(), TCM_GETITEMW, (WPARAM)Index, (LPARAM)&item))
        throw EListError(Format(kTabGetObjectError, Index));
    return reinterpret_cast<TObject*>(item.lParam);
}

void TKWTabStrings::SetStrings(int32_t Index, const std::wstring& S) {
    if (Saved()) {
        if (!FTabControl->FSaveTabs || Index < 0 || Index >= (int32_t)FTabControl->FSaveTabs->size())
            throw EListError(Format(kTabSetError, S, Index));
        (*FTabControl->FSaveTabs)[(size_t)Index].Caption = S;
    } else {
        std::wstring text = S;
        TCITEMW item{};
        item.mask = TCIF_TEXT | TCIF_IMAGE;
        item.pszText = text.data();
        item.iImage = FTabControl->GetImageIndex(Index);
        if (!SendMessageW(FTabControl->Handle(), TCM_SETITEMW, (WPARAM)Index, (LPARAM)&item))
            throw EListError(Format(kTabSetError, S, Index));
    }
    FTabControl->TabsChanged();
}

void TKWTabStrings::SetObjects(int32_t Index, TObject* AObject) {
    if (Saved()) {
        if (!FTabControl->FSaveTabs || Index < 0 || Index >= (int32_t)FTabControl->FSaveTabs->size())
            throw EListError(Format(kTabSetObjectError, Index));
        (*FTabControl->FSaveTabs)[(size_t)Index].Object = AObject;
        return;
    }
    TCITEMW item{};
    item.mask = TCIF_PARAM;
    item.lParam = reinterpret_cast<LPARAM>(AObject);
    if (!SendMessageW(FTabControl->Handle(), TCM_SETITEMW, (WPARAM)Index, (LPARAM)&item))
        throw EListError(Format(kTabSetObjectError, Index));
}

void TKWTabStrings::Insert(int32_t Index, const std::wstring& S) {
    if (Saved()) {
        auto& saved = FTabControl->FSaveTabs;
        if (!saved) saved.reset(new std::vector<TKWCustomTabControl::TSavedTab>);
        if (Index < 0 || Index > (int32_t)saved->size()) throw EListError(Format(kTabSetError, S, Index));
        saved->insert(saved->begin() + Index, TKWCustomTabControl::TSavedTab{S, nullptr});
    } else {
        std::wstring text = S;
        TCITEMW item{};
        item.mask = TCIF_TEXT | TCIF_IMAGE;
        item.pszText = text.data();
        item.iImage = FTabControl->GetImageIndex(Index);
        if (SendMessageW(FTabControl->Handle(), TCM_INSERTITEMW, (WPARAM)Index, (LPARAM)&item) < 0)
            throw EListError(Format(kTabSetError, S, Index));
    }
    FTabControl->TabsChanged();
}

void TKWTabStrings::Delete(int32_t Index) {
    if (Saved()) {
        auto& saved = FTabControl->FSaveTabs;
        if (!saved || Index < 0 || Index >= (int32_t)saved->size()) throw EListError(Format(kTabDeleteError, Index));
        saved->erase(saved->begin() + Index);
        if (FTabControl->FSaveTabIndex >= (int32_t)saved->size()) FTabControl->FSaveTabIndex = -1;
    } else if (!SendMessageW(FTabControl->Handle(), TCM_DELETEITEM, (WPARAM)Index, 0)) {
        throw EListError(Format(kTabDeleteError, Index));
    }
    FTabControl->TabsChanged();
}

void TKWTabStrings::Clear() {
    if (Saved()) {
        FTabControl->FSaveTabs.reset();
        FTabControl->FSaveTabIndex = -1;
    } else if (!SendMessageW(FTabControl->Handle(), TCM_DELETEALLITEMS, 0, 0)) {
        throw EListError(kTabClearError);
    }
    FTabControl->TabsChanged();
}

void TKWTabStrings::BeginUpdate() {
    if (FUpdateCount++ == 0) SetUpdateState(true);
}

void TKWTabStrings::EndUpdate() {
    if (FUpdateCount > 0 && --FUpdateCount == 0) SetUpdateState(false);
}

void TKWTabStrings::SetUpdateState(bool Updating) {
    FTabControl->FUpdating = Updating;
    if (!FTabControl->HandleAllocated()) {
        if (!Updating) FTabControl->TabsChanged();
        return;
    }
    SendMessageW(FTabControl->Handle(), WM_SETREDRAW, Updating ? FALSE : TRUE, 0);
    if (!Updating) {
        FTabControl->Invalidate();
        FTabControl->TabsChanged();
    }
}

void TKWTabStrings::Move(int32_t CurIndex, int32_t NewIndex) {
    if (CurIndex == NewIndex) return;
    BeginUpdate();
    try {
        const std::wstring caption = GetStrings(CurIndex);
        TObject* object = GetObjects(CurIndex);
        Delete(CurIndex);
        InsertObject(NewIndex, caption, object);
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}


// ---------------------------------------------------------------------------------------------
// TKWCustomTabControl
// ---------------------------------------------------------------------------------------------

TKWCustomTabControl::TKWCustomTabControl(TComponent* AOwner)
    : TWinControl(AOwner), FTabs(new TKWTabStrings(this)), FCanvas(new TCanvas), FPicture(new TPicture) {
    ControlStyle = csAcceptsControls | csOpaque | csDoubleClicks;
    SetBounds(0, 0, 289, 193);
    SetTabStop(true);
    FPicture->OnChange = [this](TObject*) { Invalidate(); };
}

TKWCustomTabControl::~TKWCustomTabControl() {
    FPicture->OnChange = nullptr;
    // The window goes while this class is whole, so that the saved tabs are not needed.
    DestroyHandle();
    FSaveTabs.reset();
}

void TKWCustomTabControl::CreateParams(TCreateParams& Params) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES};
    if (!InitCommonControlsEx(&icc)) InitCommonControls();
    TWinControl::CreateParams(Params);
    CreateSubClass(Params, WC_TABCONTROLW);
    Params.Style |= WS_CLIPCHILDREN;
    const bool rtl = (Params.ExStyle & WS_EX_LAYOUTRTL) != 0;
    switch (FTabPosition) {
    case tpTop: break;
    case tpBottom: Params.Style |= TCS_BOTTOM; break;
    case tpLeft: Params.Style |= rtl ? (TCS_VERTICAL | TCS_RIGHT) : TCS_VERTICAL; break;
    case tpRight: Params.Style |= rtl ? TCS_VERTICAL : (TCS_VERTICAL | TCS_RIGHT); break;
    }
    switch (FStyle) {
    case tsTabs: break;
    case tsButtons: Params.Style |= TCS_BUTTONS; break;
    case tsFlatButtons: Params.Style |= TCS_BUTTONS | TCS_FLATBUTTONS; break;
    }
    if (FRaggedRight) Params.Style |= TCS_RAGGEDRIGHT;
    if (!TabStop()) Params.Style |= TCS_FOCUSNEVER;
    if (FMultiLine) Params.Style |= TCS_MULTILINE;
    if (FMultiSelect) Params.Style |= TCS_MULTISELECT;
    if (FOwnerDraw) Params.Style |= TCS_OWNERDRAWFIXED;
    if (FTabSize.cx != 0) Params.Style |= TCS_FIXEDWIDTH;
    if (FHotTrack) Params.Style |= TCS_HOTTRACK;
    if (FScrollOpposite) Params.Style |= TCS_SCROLLOPPOSITE;
    Params.WindowClass.style = (Params.WindowClass.style & ~(CS_HREDRAW | CS_VREDRAW)) | CS_DBLCLKS;
    Params.WinClassName = ClassName();
}

void TKWCustomTabControl::CreateWnd() {
    TWinControl::CreateWnd();
    if (FImages) SendMessageW(FHandle, TCM_SETIMAGELIST, 0, (LPARAM)FImages);
    if (FTabSize.cx != 0 || FTabSize.cy != 0) SendItemSize();
    if (FSaveTabs) {
        std::unique_ptr<std::vector<TSavedTab>> saved = std::move(FSaveTabs);
        const int32_t index = FSaveTabIndex;
        FSaveTabIndex = -1;
        FTabs->BeginUpdate();
        try {
            for (size_t i = 0; i < saved->size(); ++i) FTabs->InsertObject((int32_t)i, (*saved)[i].Caption, (*saved)[i].Object);
        } catch (...) {
            FTabs->EndUpdate();
            throw;
        }
        FTabs->EndUpdate();
        SendMessageW(FHandle, TCM_SETCURSEL, (WPARAM)index, 0);
    }
    // The page area is known only now.
    Realign();
}

void TKWCustomTabControl::DestroyWnd() {
    const int32_t count = (int32_t)SendMessageW(FHandle, TCM_GETITEMCOUNT, 0, 0);
    if (count > 0) {
        std::unique_ptr<std::vector<TSavedTab>> saved(new std::vector<TSavedTab>);
        for (int32_t i = 0; i < count; ++i) saved->push_back(TSavedTab{FTabs->GetStrings(i), FTabs->GetObjects(i)});
        FSaveTabIndex = (int32_t)SendMessageW(FHandle, TCM_GETCURSEL, 0, 0);
        FSaveTabs = std::move(saved);
    }
    HWND focus = GetFocus();
    if (focus && (focus == FHandle || IsChild(FHandle, focus)) && Parent()) RemoveFocus(false);
    TWinControl::DestroyWnd();
}

int32_t TKWCustomTabControl::TabIndex() {
    if (!HandleAllocated() && !Parent()) return FSaveTabIndex;
    return (int32_t)SendMessageW(Handle(), TCM_GETCURSEL, 0, 0);
}

void TKWCustomTabControl::SetTabIndex(int32_t AValue) {
    if (!HandleAllocated() && !Parent()) {
        FSaveTabIndex = AValue;
        return;
    }
    SendMessageW(Handle(), TCM_SETCURSEL, (WPARAM)AValue, 0);
}

void TKWCustomTabControl::SetHotTrack(bool AValue) {
    if (FHotTrack == AValue) return;
    FHotTrack = AValue;
    RecreateWnd();
}

void TKWCustomTabControl::SetOwnerDraw(bool AValue) {
    if (FOwnerDraw == AValue) return;
    FOwnerDraw = AValue;
    RecreateWnd();
}

void TKWCustomTabControl::SetCloseBtn(bool AValue) {
    FCloseBtn = AValue;
    FOwnerDraw = AValue;
    RecreateWnd();
}

void TKWCustomTabControl::SetFlat(bool AValue) {
    FFlat = AValue;
    RecreateWnd();
    Realign();
}

void TKWCustomTabControl::SetMultiLine(bool AValue) {
    if (FMultiLine == AValue) return;
    if (!AValue && (FTabPosition == tpLeft || FTabPosition == tpRight)) throw EListError(kMultiLineError);
    FMultiLine = AValue;
    if (!AValue) FScrollOpposite = false;
    RecreateWnd();
}

void TKWCustomTabControl::SetMultiSelect(bool AValue) {
    if (FMultiSelect == AValue) return;
    FMultiSelect = AValue;
    RecreateWnd();
}

void TKWCustomTabControl::SetScrollOpposite(bool AValue) {
    if (FScrollOpposite == AValue) return;
    FScrollOpposite = AValue;
    if (AValue) FMultiLine = true;
    RecreateWnd();
}

void TKWCustomTabControl::SetStyleBit(LONG ABit, bool AOn) {
    if (!HandleAllocated()) return;
    const LONG style = GetWindowLongW(FHandle, GWL_STYLE);
    SetWindowLongW(FHandle, GWL_STYLE, AOn ? (style | ABit) : (style & ~ABit));
}

void TKWCustomTabControl::SetRaggedRight(bool AValue) {
    if (FRaggedRight == AValue) return;
    FRaggedRight = AValue;
    SetStyleBit(TCS_RAGGEDRIGHT, AValue);
}

void TKWCustomTabControl::SetStyle(TKWTabStyle AValue) {
    if (FStyle == AValue) return;
    if (AValue != tsTabs && FTabPosition != tpTop) throw EInvalidOperation(kTabStyleError);
    FStyle = AValue;
    if (AValue == tsTabs) ControlStyle |= csParentBackground;
    else ControlStyle &= ~csParentBackground;
    RecreateWnd();
}

void TKWCustomTabControl::SetTabPosition(TKWTabPosition AValue) {
    if (FTabPosition == AValue) return;
    if (AValue != tpTop && FStyle != tsTabs) throw EInvalidOperation(kTabPositionError);
    FTabPosition = AValue;
    if (AValue == tpLeft || AValue == tpRight) FMultiLine = true;
    RecreateWnd();
    Realign();
}

void TKWCustomTabControl::SendItemSize() {
    if (!HandleAllocated()) return;
    SendMessageW(FHandle, TCM_SETITEMSIZE, 0,
                 (LPARAM)(((uint32_t)(uint16_t)FTabSize.cy << 16) | (uint32_t)(uint16_t)FTabSize.cx));
    TabsChanged();
}

void TKWCustomTabControl::SetTabWidth(int16_t AValue) {
    if (FTabSize.cx == AValue) return;
    if (AValue < 0) throw EInvalidOperation(Format(kPropertyRangeError, std::wstring(ClassName())));
    const bool recreate = (FTabSize.cx == 0) != (AValue == 0);
    FTabSize.cx = AValue;
    if (recreate) RecreateWnd();
    else SendItemSize();
}

void TKWCustomTabControl::SetTabHeight(int16_t AValue) {
    if (FTabSize.cy == AValue) return;
    if (AValue < 0) throw EInvalidOperation(Format(kPropertyRangeError, std::wstring(ClassName())));
    FTabSize.cy = AValue;
    SendItemSize();
}

void TKWCustomTabControl::SetImages(HIMAGELIST AValue) {
    FImages = AValue;
    if (HandleAllocated()) {
        SendMessageW(FHandle, TCM_SETIMAGELIST, 0, (LPARAM)AValue);
        if (AValue) UpdateTabImages();
    }
}

void TKWCustomTabControl::SetPicture(const TPicture* AValue) {
    FPicture->Assign(AValue);
    Invalidate();
}

void TKWCustomTabControl::SetSmallCloseBtn(bool AValue) {
    FSmallCloseBtn = AValue;
    Invalidate();
}

void TKWCustomTabControl::SetTabFillGradient(bool AValue) {
    FTabFillGradient = AValue;
    Invalidate();
}

RECT TKWCustomTabControl::DisplayRect() {
    RECT r = GetClientRect();
    if (!HandleAllocated()) return r;
    if (FTabPosition == tpTop) {
        SendMessageW(FHandle, TCM_ADJUSTRECT, FALSE, (LPARAM)&r);
        r.top += 2;
        return r;
    }
    // The system control's computation for tabs at the side or the bottom is not to be trusted:
    // a rectangle it turns inside out gives way to the last good one.
    SendMessageW(FHandle, TCM_ADJUSTRECT, FALSE, (LPARAM)&r);
    if (r.right < r.left || r.bottom < r.top) return FSavedAdjustRect;
    FSavedAdjustRect = r;
    return r;
}

void TKWCustomTabControl::AdjustClientRect(RECT& Rect) {
    Rect = DisplayRect();
    if (FFlat) InflateRect(&Rect, 4, 4);
}

RECT TKWCustomTabControl::TabRect(int32_t AIndex) {
    RECT r{0, 0, 0, 0};
    if (HandleAllocated() && !SendMessageW(FHandle, TCM_GETITEMRECT, (WPARAM)AIndex, (LPARAM)&r)) r = RECT{0, 0, 0, 0};
    return r;
}

int32_t TKWCustomTabControl::IndexOfTabAt(int32_t X, int32_t Y) {
    if (!HandleAllocated()) return -1;
    TCHITTESTINFO info{};
    info.pt = POINT{X, Y};
    return (int32_t)SendMessageW(FHandle, TCM_HITTEST, 0, (LPARAM)&info);
}

void TKWCustomTabControl::UpdateTabImages() {
    if (!HandleAllocated()) return;
    const int32_t count = FTabs->GetCount();
    for (int32_t i = 0; i < count; ++i) {
        TCITEMW item{};
        item.mask = TCIF_IMAGE;
        item.iImage = GetImageIndex(i);
        if (!SendMessageW(FHandle, TCM_SETITEMW, (WPARAM)i, (LPARAM)&item))
            throw EListError(Format(kTabSetError, FTabs->GetStrings(i), i));
    }
    TabsChanged();
}

int32_t TKWCustomTabControl::GetImageIndex(int32_t AIndex) {
    int32_t image = AIndex;
    if (OnGetImageIndex) OnGetImageIndex(this, AIndex, image);
    return image;
}

bool TKWCustomTabControl::CanChange() {
    bool allow = true;
    if (OnChanging) OnChanging(this, allow);
    return allow;
}

void TKWCustomTabControl::Change() {
    if (OnChange) OnChange(this);
}

void TKWCustomTabControl::TabsChanged() {
    if (FUpdating || !HandleAllocated()) return;
    RECT r;
    ::GetClientRect(FHandle, &r);
    SendMessageW(FHandle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.right - r.left, r.bottom - r.top));
    Realign();
}

void TKWCustomTabControl::DrawTab(int32_t AIndex, const RECT& ARect, bool AActive) {
    if (OnDrawTab) OnDrawTab(this, AIndex, ARect, AActive);
    else FCanvas->FillRect(ARect);
}

void TKWCustomTabControl::WndProc(TMessage& Message) {
    if (Message.Msg == WM_NOTIFYFORMAT) {
        Message.Result = DefWindowProcW(FHandle, Message.Msg, Message.WParam, Message.LParam);
        return;
    }
    TWinControl::WndProc(Message);
}

void TKWCustomTabControl::CNNotify(TMessage& Message) {
    auto* header = reinterpret_cast<NMHDR*>(Message.LParam);
    switch (header->code) {
    case TCN_SELCHANGING: Message.Result = CanChange() ? 0 : 1; return;
    case TCN_SELCHANGE: Change(); return;
    default: TWinControl::CNNotify(Message); return;
    }
}

void TKWCustomTabControl::CNDrawItem(TMessage& Message) {
    auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam);
    {
        TKWCanvasAttach attach(FCanvas.get(), item->hDC, this);
        DrawTab((int32_t)item->itemID, item->rcItem, (item->itemState & ODS_SELECTED) != 0);
    }
    Message.Result = 1;
}

void TKWCustomTabControl::CMDialogChar(TMessage& Message) {
    const wchar_t ch = (wchar_t)Message.WParam;
    const int32_t count = HandleAllocated() ? FTabs->GetCount() : 0;
    for (int32_t i = 0; i < count; ++i) {
        if (!IsAccel(ch, FTabs->GetStrings(i)) || !CanShowTab(i) || !CanFocus()) continue;
        Message.Result = 1;
        if (CanChange()) {
            SetTabIndex(i);
            Change();
        }
        return;
    }
    TWinControl::CMDialogChar(Message);
}

void TKWCustomTabControl::CMFontChanged(TMessage& Message) {
    TWinControl::CMFontChanged(Message);
    TabsChanged();
}

void TKWCustomTabControl::CMSysColorChange(TMessage& Message) {
    TWinControl::CMSysColorChange(Message);
    if (HandleAllocated()) SendMessageW(FHandle, WM_SYSCOLORCHANGE, 0, 0);
}

void TKWCustomTabControl::CMTabStopChanged(TMessage&) { RecreateWnd(); }

void TKWCustomTabControl::WMSize(TMessage& Message) {
    TWinControl::WMSize(Message);
    if (HandleAllocated()) RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
}

void TKWCustomTabControl::DrawPicture(HDC ADC) {
    TGraphic* g = FPicture->Graphic();
    if (!g || g->Empty() || TabIndex() >= 0) return;
    TCanvas canvas;
    canvas.SetHandle(ADC);
    canvas.StretchDraw(GetClientRect(), g);
    canvas.SetHandle(nullptr);
}

void TKWCustomTabControl::WMPaint(TMessage& Message) {
    TWinControl::WMPaint(Message);
    TGraphic* g = FPicture->Graphic();
    if (!g || g->Empty() || !HandleAllocated()) return;
    if (Message.WParam) {
        DrawPicture((HDC)Message.WParam);
    } else {
        HDC dc = GetDC(FHandle);
        DrawPicture(dc);
        ReleaseDC(FHandle, dc);
    }
}
