#include "StdCtrls.h"

// ---------------------------------------------------------------------------------------------
// TButton
// ---------------------------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner) {
    ControlStyle = csSetCaption | csDoubleClicks;
    SetBounds(0, 0, 75, 25);
    SetTabStop(true);
}

void TButton::CreateParams(TCreateParams& Params) {
    TWinControl::CreateParams(Params);
    CreateSubClass(Params, L"BUTTON");
    Params.Style |= FDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    Params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TButton::CreateWnd() {
    TWinControl::CreateWnd();
    FActive = FDefault;
}

void TButton::Click() {
    if (ModalResult != mrNone) {
        if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(ModalResult);
    }
    TWinControl::Click();
}

void TButton::SetDefault(bool value) {
    if (FDefault == value) return;
    FDefault = value;
    if (HandleAllocated()) {
        TCustomForm* form = GetParentForm(this);
        Perform(CM_FOCUSCHANGED, 0, (LPARAM)(form ? form->ActiveControl() : nullptr));
    }
}

void TButton::SetButtonStyle(bool ADefault) {
    if (!HandleAllocated()) return;
    const LONG style = ADefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    if ((GetWindowLongW(FHandle, GWL_STYLE) & 0xF) != style) SendMessageW(FHandle, BM_SETSTYLE, style, 1);
}

void TButton::CNCommand(TMessage& Message) {
    if (HIWORD(Message.WParam) == BN_CLICKED) Click();
}

void TButton::CMDialogKey(TMessage& Message) {
    const uint16_t key = (uint16_t)Message.WParam;
    const bool plain = GetKeyState(VK_MENU) >= 0 && GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_SHIFT) >= 0;
    if (plain && ((key == VK_RETURN && FActive) || (key == VK_ESCAPE && Cancel)) && CanFocus()) {
        Click();
        Message.Result = 1;
        return;
    }
    TWinControl::CMDialogKey(Message);
}

void TButton::CMFocusChanged(TMessage& Message) {
    auto* sender = reinterpret_cast<TWinControl*>(Message.LParam);
    FActive = dynamic_cast<TButton*>(sender) ? sender == this : FDefault;
    SetButtonStyle(FActive);
    TWinControl::CMFocusChanged(Message);
}

// ---------------------------------------------------------------------------------------------
// TCheckBox
// ---------------------------------------------------------------------------------------------

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner) {
    ControlStyle = csSetCaption | csDoubleClicks;
    SetBounds(0, 0, 97, 17);
    SetTabStop(true);
}

void TCheckBox::CreateParams(TCreateParams& Params) {
    TWinControl::CreateParams(Params);
    CreateSubClass(Params, L"BUTTON");
    Params.Style |= BS_3STATE | (FAlignment == taLeftJustify ? BS_LEFTTEXT : 0);
    Params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TCheckBox::CreateWnd() {
    TWinControl::CreateWnd();
    SendMessageW(FHandle, BM_SETCHECK, (WPARAM)FState, 0);
}

void TCheckBox::SetState(TCheckBoxState value) {
    if (FState == value) return;
    FState = value;
    if (HandleAllocated()) SendMessageW(FHandle, BM_SETCHECK, (WPARAM)FState, 0);
    Click();
}

void TCheckBox::SetAlignment(TAlignment value) {
    if (FAlignment == value) return;
    FAlignment = value;
    RecreateWnd();
}

void TCheckBox::Toggle() {
    switch (FState) {
    case cbUnchecked: SetState(AllowGrayed ? cbGrayed : cbChecked); break;
    case cbChecked: SetState(cbUnchecked); break;
    case cbGrayed: SetState(cbChecked); break;
    }
}

void TCheckBox::CNCommand(TMessage& Message) {
    if (HIWORD(Message.WParam) == BN_CLICKED) Toggle();
}

// ---------------------------------------------------------------------------------------------
// TCustomEdit, TMemo
// ---------------------------------------------------------------------------------------------

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
    ControlStyle = csClickEvents | csSetCaption | csDoubleClicks | csFixedHeight;
    SetBounds(0, 0, 121, 21);
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
}

void TCustomEdit::CreateParams(TCreateParams& Params) {
    TWinControl::CreateParams(Params);
    CreateSubClass(Params, L"EDIT");
    Params.Style |= ES_AUTOHSCROLL | ES_AUTOVSCROLL | (FReadOnly ? ES_READONLY : 0);
    if (FBorderStyle == bsSingle) {
        if (Ctl3D()) Params.ExStyle |= WS_EX_CLIENTEDGE;
        else Params.Style |= WS_BORDER;
    }
    Params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TCustomEdit::SetReadOnly(bool value) {
    if (FReadOnly == value) return;
    FReadOnly = value;
    if (HandleAllocated()) SendMessageW(FHandle, EM_SETREADONLY, value, 0);
}

void TCustomEdit::SetBorderStyle(TBorderStyle value) {
    if (FBorderStyle == value) return;
    FBorderStyle = value;
    RecreateWnd();
}

void TCustomEdit::SetText(const std::wstring& value) {
    TWinControl::SetText(value);
}

void TCustomEdit::CNCommand(TMessage& Message) {
    if (HIWORD(Message.WParam) == EN_CHANGE) Change();
}

void TCustomEdit::CMCtl3DChanged(TMessage& Message) {
    RecreateWnd();
    TWinControl::CMCtl3DChanged(Message);
}

void TCustomEdit::Change() {
    if (OnChange) OnChange(this);
}

TMemo::TMemo(TComponent* AOwner) : TCustomEdit(AOwner), FLines(new TMemoStrings(this)) {
    ControlStyle &= ~csFixedHeight;
    SetBounds(0, 0, 185, 89);
}

TMemo::~TMemo() = default;

void TMemo::CreateParams(TCreateParams& Params) {
    TCustomEdit::CreateParams(Params);
    Params.Style &= ~(ES_AUTOHSCROLL | WS_HSCROLL | WS_VSCROLL);
    Params.Style |= ES_MULTILINE | (FWordWrap ? 0 : ES_AUTOHSCROLL);
    if (FScrollBars == ssVertical || FScrollBars == ssBoth) Params.Style |= WS_VSCROLL;
    if (FScrollBars == ssHorizontal || FScrollBars == ssBoth) Params.Style |= WS_HSCROLL;
}

void TMemo::SetScrollBars(TScrollStyle value) {
    if (FScrollBars == value) return;
    FScrollBars = value;
    RecreateWnd();
}

void TMemo::SetWordWrap(bool value) {
    if (FWordWrap == value) return;
    FWordWrap = value;
    RecreateWnd();
}

void TMemo::WndProc(TMessage& Message) {
    if (Message.Msg == WM_GETDLGCODE) {
        TCustomEdit::WndProc(Message);
        if (WantTabs) Message.Result |= DLGC_WANTTAB;
        else Message.Result &= ~DLGC_WANTTAB;
        if (!WantReturns) Message.Result &= ~DLGC_WANTALLKEYS;
        return;
    }
    TCustomEdit::WndProc(Message);
}

std::vector<std::wstring> TMemoStrings::Split() const {
    std::vector<std::wstring> lines;
    const std::wstring text = FMemo->GetText();
    if (text.empty()) return lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
        if (start == text.size()) break;   // a final line break ends the last line
    }
    return lines;
}

void TMemoStrings::Join(const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const std::wstring& l : lines) {
        text += l;
        text += L"\r\n";
    }
    FMemo->SetText(text);
}

int32_t TMemoStrings::GetCount() const { return (int32_t)Split().size(); }

std::wstring TMemoStrings::GetStrings(int32_t Index) const {
    auto lines = Split();
    if (Index < 0 || Index >= (int32_t)lines.size()) Error(SListIndexError, Index);
    return lines[Index];
}

TObject* TMemoStrings::GetObjects(int32_t Index) const {
    if (Index < 0 || Index >= GetCount()) Error(SListIndexError, Index);
    return nullptr;
}

void TMemoStrings::SetStrings(int32_t Index, const std::wstring& S) {
    auto lines = Split();
    if (Index < 0 || Index >= (int32_t)lines.size()) Error(SListIndexError, Index);
    lines[Index] = S;
    Join(lines);
}

void TMemoStrings::Insert(int32_t Index, const std::wstring& S) {
    auto lines = Split();
    if (Index < 0 || Index > (int32_t)lines.size()) Error(SListIndexError, Index);
    lines.insert(lines.begin() + Index, S);
    Join(lines);
}

void TMemoStrings::Delete(int32_t Index) {
    auto lines = Split();
    if (Index < 0 || Index >= (int32_t)lines.size()) Error(SListIndexError, Index);
    lines.erase(lines.begin() + Index);
    Join(lines);
}

void TMemoStrings::Clear() { FMemo->SetText(L""); }

// ---------------------------------------------------------------------------------------------
// TComboBox
// ---------------------------------------------------------------------------------------------

void TComboBoxStrings::SetStrings(int32_t Index, const std::wstring& S) {
    TObject* obj = FList.GetObjects(Index);
    Delete(Index);
    InsertObject(Index, S, obj);
}

void TComboBoxStrings::Insert(int32_t Index, const std::wstring& S) {
    FList.Insert(Index, S);
    if (FCombo->HandleAllocated()) SendMessageW(FCombo->FHandle, CB_INSERTSTRING, (WPARAM)Index, (LPARAM)S.c_str());
}

void TComboBoxStrings::Delete(int32_t Index) {
    FList.Delete(Index);
    if (FCombo->HandleAllocated()) SendMessageW(FCombo->FHandle, CB_DELETESTRING, (WPARAM)Index, 0);
    if (FCombo->FItemIndex >= FList.GetCount()) FCombo->FItemIndex = -1;
}

void TComboBoxStrings::Clear() {
    FList.Clear();
    FCombo->FItemIndex = -1;
    if (FCombo->HandleAllocated()) SendMessageW(FCombo->FHandle, CB_RESETCONTENT, 0, 0);
}

TComboBox::TComboBox(TComponent* AOwner) : TWinControl(AOwner), FItems(new TComboBoxStrings(this)) {
    ControlStyle = csSetCaption | csDoubleClicks | csFixedHeight;
    SetBounds(0, 0, 145, 21);
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
}

TComboBox::~TComboBox() = default;

int32_t TComboBox::ListHeight() const { return 16 * (DropDownCount > 0 ? DropDownCount : 8) + 4; }

void TComboBox::CreateParams(TCreateParams& Params) {
    TWinControl::CreateParams(Params);
    CreateSubClass(Params, L"COMBOBOX");
    Params.Style |= WS_VSCROLL | CBS_AUTOHSCROLL | (FStyle == csDropDownList ? CBS_DROPDOWNLIST : CBS_DROPDOWN);
    // The window's height includes the drop-down list.
    Params.Height = FHeight + ListHeight();
    Params.WindowClass.style &= ~(CS_HREDRAW | CS_VREDRAW);
}

void TComboBox::CreateWnd() {
    TWinControl::CreateWnd();
    for (int32_t i = 0; i < FItems->FList.GetCount(); ++i)
        SendMessageW(FHandle, CB_ADDSTRING, 0, (LPARAM)FItems->FList.GetStrings(i).c_str());
    SendMessageW(FHandle, CB_SETCURSEL, (WPARAM)FItemIndex, 0);
}

void TComboBox::DestroyWnd() {
    FItemIndex = (int32_t)SendMessageW(FHandle, CB_GETCURSEL, 0, 0);
    TWinControl::DestroyWnd();
}

void TComboBox::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
    if (!HandleAllocated()) {
        TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
        return;
    }
    // The system keeps the edit part's height; the list below it needs room of its own.
    SetWindowPos(FHandle, nullptr, ALeft, ATop, AWidth, AHeight + ListHeight(), SWP_NOZORDER | SWP_NOACTIVATE);
    RECT r;
    GetWindowRect(FHandle, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(FHandle), (POINT*)&r, 2);
    const int32_t oldW = FWidth, oldH = FHeight;
    FLeft = r.left;
    FTop = r.top;
    FWidth = r.right - r.left;
    FHeight = r.bottom - r.top;
    BoundsChanged(oldW, oldH);
}

int32_t TComboBox::ItemIndex() const {
    if (HandleAllocated()) return (int32_t)SendMessageW(FHandle, CB_GETCURSEL, 0, 0);
    return FItemIndex;
}

void TComboBox::SetItemIndex(int32_t value) {
    if (value < -1 || value >= FItems->GetCount()) value = -1;
    FItemIndex = value;
    if (HandleAllocated()) SendMessageW(FHandle, CB_SETCURSEL, (WPARAM)value, 0);
}

void TComboBox::SetStyle(TComboBoxStyle value) {
    if (FStyle == value) return;
    FStyle = value;
    RecreateWnd();
}

void TComboBox::CNCommand(TMessage& Message) {
    switch (HIWORD(Message.WParam)) {
    case CBN_SELCHANGE:
        FItemIndex = (int32_t)SendMessageW(FHandle, CB_GETCURSEL, 0, 0);
        Change();
        break;
    case CBN_EDITCHANGE:
        if (FStyle == csDropDown) Change();
        break;
    default: break;
    }
}

void TComboBox::Change() {
    if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------------------------
// TCustomLabel
// ---------------------------------------------------------------------------------------------

TCustomLabel::TCustomLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
    ControlStyle = csCaptureMouse | csClickEvents | csSetCaption | csOpaque | csReplicatable | csDoubleClicks;
    SetBounds(0, 0, 65, 17);
}

void TCustomLabel::DoDrawText(RECT& Rect, UINT Flags) {
    std::wstring text = GetLabelText();
    if ((Flags & DT_CALCRECT) && (text.empty() || (FShowAccelChar && text == L"&"))) text += L' ';
    if (!FShowAccelChar) Flags |= DT_NOPREFIX;
    if (FEllipsisPosition != epNone && !FAutoSize) {
        Flags &= ~DT_EXPANDTABS;
        Flags |= FEllipsisPosition == epPathEllipsis  ? DT_PATH_ELLIPSIS
                 : FEllipsisPosition == epEndEllipsis ? DT_END_ELLIPSIS
                                                      : DT_WORD_ELLIPSIS;
    }
    TCanvas* c = Canvas();
    c->SetFont(Font());
    if (!FEnabled) {
        OffsetRect(&Rect, 1, 1);
        c->Font()->SetColor(clBtnHighlight);
        DrawTextW(c->Handle(), text.c_str(), (int)text.size(), &Rect, Flags);
        OffsetRect(&Rect, -1, -1);
        c->Font()->SetColor(clBtnShadow);
        DrawTextW(c->Handle(), text.c_str(), (int)text.size(), &Rect, Flags);
    } else {
        DrawTextW(c->Handle(), text.c_str(), (int)text.size(), &Rect, Flags);
    }
}

void TCustomLabel::Paint() {
    TCanvas* c = Canvas();
    RECT rect = GetClientRect();
    if (!FTransparent) {
        c->Brush()->SetColor(FColor);
        c->Brush()->SetStyle(bsSolid);
        c->FillRect(rect);
    }
    c->Brush()->SetStyle(bsClear);
    UINT flags = DT_EXPANDTABS | (FWordWrap ? DT_WORDBREAK : 0) |
                 (FAlignment == taRightJustify ? DT_RIGHT : FAlignment == taCenter ? DT_CENTER : DT_LEFT);
    if (FLayout != tlTop) {
        RECT calc = rect;
        DoDrawText(calc, flags | DT_CALCRECT);
        const int32_t offset = FLayout == tlBottom ? FHeight - calc.bottom : (FHeight - calc.bottom) / 2;
        OffsetRect(&rect, 0, offset);
    }
    DoDrawText(rect, flags);
}

void TCustomLabel::AdjustBounds() {
    if (!FAutoSize) return;
    RECT rect = GetClientRect();
    HDC dc = GetDC(nullptr);
    Canvas()->Lock();
    Canvas()->SetHandle(dc);
    try {
        DoDrawText(rect, DT_EXPANDTABS | DT_CALCRECT | (FWordWrap ? DT_WORDBREAK : 0));
    } catch (...) {
        Canvas()->SetHandle(nullptr);
        Canvas()->Unlock();
        ReleaseDC(nullptr, dc);
        throw;
    }
    Canvas()->SetHandle(nullptr);
    Canvas()->Unlock();
    ReleaseDC(nullptr, dc);
    int32_t x = FLeft;
    if (FAlignment == taRightJustify) x += FWidth - rect.right;
    SetBounds(x, FTop, rect.right, rect.bottom);
}

#define KW_LABEL_SETTER(Name, Field, Type, Then) \
    void TCustomLabel::Set##Name(Type value) {   \
        if (Field == value) return;              \
        Field = value;                           \
        Then;                                    \
    }
KW_LABEL_SETTER(Alignment, FAlignment, TAlignment, Invalidate())
KW_LABEL_SETTER(AutoSize, FAutoSize, bool, AdjustBounds())
KW_LABEL_SETTER(WordWrap, FWordWrap, bool, (AdjustBounds(), Invalidate()))
KW_LABEL_SETTER(ShowAccelChar, FShowAccelChar, bool, (AdjustBounds(), Invalidate()))
KW_LABEL_SETTER(Layout, FLayout, TTextLayout, Invalidate())
KW_LABEL_SETTER(EllipsisPosition, FEllipsisPosition, TEllipsisPosition, Invalidate())
#undef KW_LABEL_SETTER

void TCustomLabel::SetTransparent(bool value) {
    if (FTransparent == value) return;
    FTransparent = value;
    if (value) ControlStyle &= ~csOpaque;
    else ControlStyle |= csOpaque;
    Invalidate();
}

void TCustomLabel::CMTextChanged(TMessage&) {
    Invalidate();
    AdjustBounds();
}

void TCustomLabel::CMFontChanged(TMessage& Message) {
    TGraphicControl::CMFontChanged(Message);
    AdjustBounds();
}
